#pragma once
// The multi-line answer a Pop3ServerSession is producing: a message file read piece
// by piece (RETR, and TOP with its body-line budget), or a listing (LIST, UIDL).
// Internal to the session's two source files.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "protocol/Pop3ServerSession.h"

struct Pop3ServerSession::Transfer {
    enum class Kind { File, Listing };

    explicit Transfer(Kind k) : kind(k) {}
    ~Transfer() {
        if (file) std::fclose(file);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // TOP: how much of the next piece of the file may go out (see the source).
    std::size_t topCut(std::string_view piece, bool& done);

    Kind kind;
    std::string record;  // what the log records as the server's last packet

    // Kind::File
    std::FILE* file = nullptr;
    long long bodyLinesLeft = -1;  // TOP: body lines still to send; -1: the whole file
    bool inHeader = true;
    bool atLineStart = true;
    std::uint64_t sent = 0;
    std::uint64_t size = 0;  // the file's size when it was opened
    char last = 0;
    char beforeLast = 0;

    // Kind::Listing: the next mailbox entry to list, and whether the listing gives
    // unique-ids (UIDL) rather than sizes (LIST)
    std::size_t next = 0;
    bool uids = false;
};
