// Server bytes from outside go through the collector's reply reader and its session.
//
// The reader must assemble a multi-line reply the same however the bytes are split
// (the first input byte chooses the piece size), and agree with a plain reading of the
// whole buffer. The same bytes then drive a whole session, which must end or wait,
// never misbehave, and hand over only data it has read; a registration reply body
// parses without fault.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Pop3ClientSession.h"
#include "protocol/ReplyReader.h"
#include "protocol/RegistrationReplies.h"

namespace {

constexpr std::size_t kCap = 1 << 16;

struct Reading {
    bool complete = false;
    bool positive = false;
    std::string data;
};

// The reply as read from the whole buffer at once, the plain way.
Reading plain(std::string_view bytes) {
    Reading r;
    const std::size_t lf = bytes.find('\n');
    if (lf == std::string_view::npos) return r;
    const std::string_view status = bytes.substr(0, lf);
    r.positive = status.substr(0, 3) == "+OK" &&
                 (status.size() == 3 || status[3] == ' ' || status[3] == '\t' || status.substr(3) == "\r");
    if (!r.positive) return r.complete = true, r;
    // A server whose status line ends in CR LF ends its data with "." CR LF only.
    const bool crlf = lf > 0 && bytes[lf - 1] == '\r';
    const std::string_view data = bytes.substr(lf + 1);
    // Line by line: the first line that is a lone "." ends the data.
    for (std::size_t at = 0; at < data.size();) {
        if (data.substr(at, 3) == ".\r\n" || (!crlf && data.substr(at, 2) == ".\n")) {
            r.complete = true;
            r.data = std::string(data.substr(0, at));
            return r;
        }
        const std::size_t next = data.find('\n', at);
        if (next == std::string_view::npos) break;
        at = next + 1;
    }
    return r;
}

Reading pieces(std::string_view bytes, std::size_t piece) {
    engines::ReplyReader reader;
    reader.reset(engines::ReplyReader::Mode::Pop3, {kCap + 1, 0, 0});
    reader.expectData(kCap);
    Reading r;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        reader.feed(bytes.substr(at, piece));
        const std::optional<engines::ServerReply> reply = reader.next();
        if (!reply) continue;
        if (reply->tooLong) std::abort();
        r.complete = true;
        r.positive = reply->positive;
        r.data = reply->data;
        break;
    }
    return r;
}

struct Owner : engines::Pop3SessionHandler {
    std::size_t handed = 0;
    engines::Classified classify(int, std::string data) override {
        handed += data.size();
        return {static_cast<FilterVerdict>(data.size() % 7), {}};
    }
    bool store(int number, const engines::Classified&, std::string data) override {
        handed += data.size();
        return number % 2 == 0;
    }
    bool commit() override { return handed % 3 != 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > kCap) return 0;
    const std::size_t piece = data[0] % 16 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const Reading whole = plain(bytes), split = pieces(bytes, piece);
    if (whole.complete != split.complete || (whole.complete && (whole.positive != split.positive ||
                                                                whole.data != split.data)))
        std::abort();

    // With STLS (every other input) the session asks for the upgrade at its point; the
    // piece after the request is fed while the handshake runs (it must be dropped),
    // then the upgrade passes or fails by the first byte. No USER before the upgrade.
    const bool startTls = (data[0] & 0x10) != 0;
    Owner owner;
    engines::Pop3ClientSession session({"me@home.test", "alice", "secret", startTls}, owner);
    std::size_t sent = 0;
    bool asked = false, upgraded = false;
    const auto perform = [&](const std::vector<engines::Pop3Action>& actions) {
        for (const engines::Pop3Action& a : actions) {
            sent += a.bytes.size();
            if (a.kind == engines::Pop3Action::Kind::StartTls) asked = true;
            if (startTls && !upgraded && a.bytes.rfind("USER", 0) == 0) std::abort();
        }
    };
    for (std::size_t at = 0; at < bytes.size() && !session.ended(); at += piece) {
        perform(session.received(bytes.substr(at, piece)));
        if (asked && !upgraded && !session.ended()) {
            if (session.state() != engines::Pop3ClientState::TlsHandshake) std::abort();
            upgraded = true;
            perform((data[0] & 0x20) ? session.tlsFailed("handshake failed") : session.tlsStarted());
        }
    }
    if (owner.handed > bytes.size() || sent > 64 * (bytes.size() + 1)) std::abort();

    RegistrationReplies::ParseReplyBody(bytes);
    RegistrationReplies::BouncedRecipient(bytes);
    return 0;
}
