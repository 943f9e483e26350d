// The multi-line answers of a Pop3ServerSession: LIST, RETR and TOP, produced piece
// by piece.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "core/Log.h"
#include "core/MiscUtils.h"
#include "core/Numbers.h"
#include "protocol/Pop3ServerSession.h"
#include "protocol/Pop3ServerTransfer.h"

namespace {

// A message number or a line count: decimal digits only, at most 18 of them.
bool ParseCount(std::string_view text, long long& value) {
    const auto number = MiscFuncs::DigitsNumber(text, 18);
    if (!number) return false;
    value = *number;
    return true;
}

}  // namespace

// How much of piece TOP may still send. Counts the header's end (its first empty
// line) and then the body lines; done turns true once the budget is spent.
std::size_t Pop3ServerSession::Transfer::topCut(std::string_view piece, bool& done) {
    Transfer& t = *this;
    for (std::size_t i = 0; i < piece.size(); ++i) {
        const char c = piece[i];
        if (c != '\n') {
            if (c != '\r') t.atLineStart = false;
            continue;
        }
        if (t.inHeader) {
            if (t.atLineStart) t.inHeader = false;
        } else {
            --t.bodyLinesLeft;
        }
        t.atLineStart = true;
        if (!t.inHeader && t.bodyLinesLeft <= 0) {
            done = true;
            return i + 1;
        }
    }
    return piece.size();
}

Pop3ServerSession::Message* Pop3ServerSession::findMessage(std::string_view argument) {
    const std::string_view text = MiscFuncs::TrimBlanks(argument);
    long long number = 0;
    if (!ParseCount(text, number) || number < 1) {
        reply("-ERR invalid message number");
        badCommand();
        return nullptr;
    }
    if (static_cast<unsigned long long>(number) > mailbox_.size()) {
        reply("-ERR message not found");
        return nullptr;
    }
    Message& message = mailbox_[static_cast<std::size_t>(number - 1)];
    if (message.marked) {
        reply("-ERR message " + std::to_string(number) + " already deleted");
        return nullptr;
    }
    return &message;
}

void Pop3ServerSession::onList(std::string_view argument) {
    if (!MiscFuncs::TrimBlanks(argument).empty()) {
        const Message* message = findMessage(argument);
        if (message == nullptr) return;
        const std::size_t number = static_cast<std::size_t>(message - mailbox_.data()) + 1;
        reply("+OK " + std::to_string(number) + " " + std::to_string(message->size));
        return;
    }
    const std::string status = statusCounts();
    reply(status);
    transfer_ = std::make_unique<Transfer>(Transfer::Kind::Listing);
    transfer_->record = status;
    producePiece();
}

void Pop3ServerSession::onUidl(std::string_view argument) {
    if (!MiscFuncs::TrimBlanks(argument).empty()) {
        const Message* message = findMessage(argument);
        if (message == nullptr) return;
        const std::size_t index = static_cast<std::size_t>(message - mailbox_.data());
        reply("+OK " + std::to_string(index + 1) + " " + uniqueIdOf(index));
        return;
    }
    reply("+OK");
    transfer_ = std::make_unique<Transfer>(Transfer::Kind::Listing);
    transfer_->uids = true;
    transfer_->record = "+OK";
    producePiece();
}

void Pop3ServerSession::onRetr(std::string_view argument) {
    const Message* message = findMessage(argument);
    if (message != nullptr) startFile(*message, -1);
}

void Pop3ServerSession::onTop(std::string_view argument) {
    const std::string_view text = MiscFuncs::TrimBlanks(argument);
    const std::size_t blank = text.find(' ');
    long long lines = 0;
    if (blank == std::string_view::npos || !ParseCount(MiscFuncs::TrimBlanks(text.substr(blank + 1)), lines)) {
        reply("-ERR invalid line count");
        badCommand();
        return;
    }
    const Message* message = findMessage(text.substr(0, blank));
    if (message != nullptr) startFile(*message, lines);
}

void Pop3ServerSession::startFile(const Message& message, long long bodyLines) {
    std::FILE* file = std::fopen(message.path.c_str(), "rb");
    struct stat info {};
    if (file != nullptr && ::fstat(::fileno(file), &info) != 0) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr) {
        // Removed under the session (by the main window, say): nothing to send.
        reply("-ERR message not found");
        return;
    }
    reply("+OK " + std::to_string(info.st_size) + " octets");
    transfer_ = std::make_unique<Transfer>(Transfer::Kind::File);
    transfer_->file = file;
    transfer_->size = static_cast<std::uint64_t>(info.st_size);
    transfer_->bodyLinesLeft = bodyLines;
    transfer_->record = bodyLines < 0 ? "%%% MESSAGE CONTENTS %%%" : "%%% MESSAGE HEADER %%%";
    producePiece();
}

void Pop3ServerSession::producePiece() {
    if (transfer_->kind == Transfer::Kind::File) filePiece();
    else listPiece();
}

// Reads no more than the file's size and one byte (which tells a file that grew), so
// that a short read shows its end and the terminating line goes out in the same piece:
// a message of one piece leaves in one write.
void Pop3ServerSession::filePiece() {
    Transfer& t = *transfer_;
    const std::size_t start = output_.size();
    const std::uint64_t left = t.size > t.sent ? t.size - t.sent : 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, left + 1));
    output_.resize(start + want);
    const std::size_t got = std::fread(output_.data() + start, 1, want, t.file);
    output_.resize(start + got);
    const bool atEnd = got < want;
    if (atEnd && std::ferror(t.file)) {
        output_.resize(start);
        // The client must not take a cut message for a whole one: no terminator.
        MiscFuncs::WriteLog(0, "#", std::string("Error in GetStats ") + std::strerror(errno));
        end();
        return;
    }
    if (got == 0) {
        if (std::ferror(t.file)) {
            // The client must not take a cut message for a whole one: no terminator.
            MiscFuncs::WriteLog(0, "#", std::string("Error in GetStats ") + std::strerror(errno));
            end();
            return;
        }
        finishFile();
        return;
    }
    bool done = false;
    if (t.bodyLinesLeft >= 0) {
        output_.resize(start + t.topCut(std::string_view(output_).substr(start), done));
    }
    const std::size_t kept = output_.size() - start;
    t.beforeLast = kept >= 2 ? output_[output_.size() - 2] : t.last;
    t.last = output_.back();
    t.sent += kept;
    if (done || atEnd) finishFile();
}

// A stored file is in wire form already: only the terminating line is added, after
// a line end of our own when the file lacks one.
void Pop3ServerSession::finishFile() {
    const Transfer& t = *transfer_;
    const bool endsInLineEnd = t.sent == 0 || (t.beforeLast == '\r' && t.last == '\n');
    output_.append(endsInLineEnd ? ".\r\n" : "\r\n.\r\n");
    lastServerPacket_ = t.record + "\r\n";
    transfer_.reset();
}

void Pop3ServerSession::listPiece() {
    Transfer& t = *transfer_;
    std::size_t lines = 0;
    while (t.next < mailbox_.size() && lines < kListLinesPerPiece) {
        const Message& message = mailbox_[t.next++];
        if (message.marked) continue;
        output_.append(std::to_string(t.next)).append(" ");
        output_.append(t.uids ? uniqueIdOf(t.next - 1) : std::to_string(message.size)).append("\r\n");
        ++lines;
    }
    if (t.next < mailbox_.size()) return;
    output_.append(".\r\n");
    lastServerPacket_ = t.record + "\r\n";
    transfer_.reset();
}
