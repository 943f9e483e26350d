// The reply reader gives the same SMTP replies however the server's bytes are split,
// each reply's bytes exactly those it was read from. The SMTP client's session against
// any server bytes, in any pieces: it never sends a
// command with a line break inside, never puts a password or AUTH data in its error
// text (unless the server said it), and ends once the connection does. The data block
// of any message has only CR LF line ends and its one lone "." line at the end.
//
// Input: the first byte picks the piece size (1..16), the next byte a timeout after
// every n-th piece; the rest is what the server says, and its first 64 bytes the
// message to send.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/Digest.h"
#include "protocol/ReplyReader.h"
#include "protocol/SmtpClientSession.h"
#include "protocol/SmtpText.h"

namespace {

void checkDataBlock(std::string_view message) {
    const std::string block = SmtpText::DataBlock(message);
    if (block.size() < 3 || block.substr(block.size() - 3) != ".\r\n") std::abort();
    for (std::size_t i = 0; i < block.size(); ++i) {
        const bool crlf = block[i] == '\r' && i + 1 < block.size() && block[i + 1] == '\n';
        if (block[i] == '\r' && !crlf) std::abort();
        if (block[i] == '\n' && (i == 0 || block[i - 1] != '\r')) std::abort();
    }
    if (block.find("\r\n.\r\n") != block.size() - 5 && block != ".\r\n") std::abort();
}

// Every send is one command line, or the data block that ends with the lone ".".
void checkActions(const std::vector<engines::SmtpAction>& actions) {
    for (const engines::SmtpAction& a : actions) {
        if (a.kind != engines::SmtpAction::Kind::Send) continue;
        const std::string& t = a.text;
        if (t.size() < 2 || t.substr(t.size() - 2) != "\r\n") std::abort();
        const bool block = t.size() >= 5 && t.substr(t.size() - 5) == "\r\n.\r\n";
        if (!block && t.find_first_of("\r\n") != t.size() - 2) std::abort();
    }
}

// The replies, their codes and the bytes they were read from, as one text.
std::string readReplies(std::string_view bytes, std::size_t piece) {
    engines::ReplyReader reader;
    reader.reset(engines::ReplyReader::Mode::Smtp, {engines::ReplyReader::kMaxLineOctets,
                                                     engines::ReplyReader::kMaxReplyOctets, 0});
    std::string out, raw;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        reader.feed(bytes.substr(at, piece));
        while (const std::optional<engines::ServerReply> r = reader.next()) {
            out += std::to_string(r->code) + (r->tooLong ? "!" : "") + "|" + r->raw + "|";
            if (!r->tooLong) raw += r->raw;
        }
    }
    // Whole replies are the input's bytes in order, nothing left out or added.
    if (bytes.substr(0, raw.size()) != raw) std::abort();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t piece = 1 + data[0] % 16;
    const std::size_t timeoutEvery = data[1];
    const std::string_view server(reinterpret_cast<const char*>(data) + 2, size - 2);
    checkDataBlock(server.substr(0, 64));
    if (readReplies(server, piece) != readReplies(server, server.size() + 1)) std::abort();

    engines::SmtpSessionConfig config;
    config.pop3Host = (data[1] & 1) ? "127.0.0.1" : "";
    config.pop3User = "alice";
    config.pop3Password = "pop-secret-1";
    config.smtpHost = "127.0.0.1";
    config.authUser = "alice";
    config.authPassword = "smtp-secret-2";
    config.hostName = "client.example.test";
    config.mailFrom = "me@example.test";
    config.rcptTo = "you@example.test";
    config.message = std::string(server.substr(0, 64));
    // STARTTLS and STLS on some inputs: each upgrade the session asks for passes, or
    // fails on some, after one more piece fed during the handshake.
    config.smtpSecurity = (data[1] & 2) ? 1 : 0;
    config.pop3Security = (data[1] & 4) ? 1 : 0;
    const bool failUpgrades = (data[1] & 8) != 0;
    engines::SmtpClientSession session(config);
    bool upgradeAsked = false;
    const auto perform = [&](const std::vector<engines::SmtpAction>& actions) {
        for (const engines::SmtpAction& a : actions)
            if (a.kind == engines::SmtpAction::Kind::StartTls) upgradeAsked = true;
        checkActions(actions);
    };
    perform(session.start());
    perform(session.connected("127.0.0.1"));
    for (std::size_t at = 0, n = 1; at < server.size() && !session.finished(); at += piece, ++n) {
        const bool handshaking = upgradeAsked;
        perform(session.received(server.substr(at, piece)));
        if (handshaking) {
            upgradeAsked = false;
            perform(failUpgrades ? session.tlsFailed("handshake failed") : session.tlsStarted());
        }
        if (timeoutEvery != 0 && n % timeoutEvery == 0) perform(session.timedOut());
    }
    for (int i = 0; i < 3 && !session.finished(); ++i) checkActions(session.closed());
    if (!session.finished()) std::abort();
    const std::string& error = session.outcome().lastError;
    const std::string secrets[] = {"pop-secret-1", "smtp-secret-2", MiscFuncs::Base64Encode("smtp-secret-2"),
                                   MiscFuncs::Base64Encode(std::string("\0alice\0smtp-secret-2", 20))};
    for (const std::string& secret : secrets) {
        // What the server said itself may come back in "Server replied: ".
        if (error.find(secret) != std::string::npos && server.find(secret) == std::string_view::npos) std::abort();
    }
    return 0;
}
