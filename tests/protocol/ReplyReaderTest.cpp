// Server replies (SMTP multi-line replies, POP3 status lines and data) assembled from
// bytes however they are split, and the caps on what a server may send.
#include "protocol/ReplyReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using engines::ReplyReader;
using engines::ServerReply;

namespace {

// Feeds the pieces and returns every reply, as "code|text" (POP3: 1 or -1 for the code).
std::vector<std::string> Read(ReplyReader::Mode mode, const std::vector<std::string>& pieces) {
    ReplyReader reader;
    reader.reset(mode);
    std::vector<std::string> out;
    for (const std::string& piece : pieces) {
        reader.feed(piece);
        while (std::optional<ServerReply> r = reader.next()) {
            const int code = mode == ReplyReader::Mode::Smtp ? r->code : (r->positive ? 1 : -1);
            out.push_back(std::to_string(code) + (r->tooLong ? "!" : "") + "|" + r->text());
        }
    }
    return out;
}

std::vector<std::string> Bytes(const std::string& text) {
    std::vector<std::string> out;
    for (char c : text) out.emplace_back(1, c);
    return out;
}

constexpr std::size_t kNoCap = 1u << 30;
constexpr ReplyReader::Caps kPop3Caps{64 * 1024, 0, 0};

// Feeds a POP3 reply that carries data in pieces of `piece` (0: whole) and returns it.
std::optional<ServerReply> ReadData(const std::string& bytes, std::size_t piece, std::size_t maxData,
                                    std::size_t maxLine = 0, ReplyReader* reader = nullptr) {
    ReplyReader own;
    if (reader == nullptr) {
        reader = &own;
        reader->reset(ReplyReader::Mode::Pop3, kPop3Caps);
    }
    reader->expectData(maxData, maxLine);
    if (piece == 0) piece = bytes.empty() ? 1 : bytes.size();
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        reader->feed(std::string_view(bytes).substr(at, piece));
        if (std::optional<ServerReply> r = reader->next()) return r;
    }
    return std::nullopt;
}

}  // namespace

TEST(ReplyReader, AssemblesWholeSmtpRepliesFromAnyPieces) {
    using V = std::vector<std::string>;
    const auto smtp = ReplyReader::Mode::Smtp;
    const V ehloRaw{"250-a.test\r\n250-AUTH PLAIN\r\n250 HELP\r\n"};
    EXPECT_EQ(Read(smtp, ehloRaw), V{"250|250-a.test\r\n250-AUTH PLAIN\r\n250 HELP"});
    EXPECT_EQ(Read(smtp, Bytes(ehloRaw[0])), Read(smtp, ehloRaw)) << "byte by byte";
    EXPECT_EQ(Read(smtp, {"250-a.te", "st\r", "\n250 HE", "LP\r\n"}), (V{"250|250-a.test\r\n250 HELP"}));
    EXPECT_EQ(Read(smtp, {"220 hi\r\n250 ok\r\n354 go"}), (V{"220|220 hi", "250|250 ok"}))
        << "several replies in one piece; a line waits for its end";
    EXPECT_EQ(Read(smtp, {"250 bare LF\n334\n"}), (V{"250|250 bare LF", "334|334"}));

    ReplyReader reader;
    reader.reset(smtp);
    reader.feed("250-one\n250 two\r\n");
    const std::optional<ServerReply> r = reader.next();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->raw, "250-one\n250 two\r\n") << "the bytes as received, for a proxy to pass on";
    EXPECT_EQ(r->lastLineText(), "two");
}

TEST(ReplyReader, LinesThatAreNoReplyLinesGiveCodeZero) {
    using V = std::vector<std::string>;
    const auto smtp = ReplyReader::Mode::Smtp;
    EXPECT_EQ(Read(smtp, {"hello\r\n"}), V{"0|hello"});
    EXPECT_EQ(Read(smtp, {"25 short\r\n"}), V{"0|25 short"});
    EXPECT_EQ(Read(smtp, {"2500 glued\r\n"}), V{"0|2500 glued"});
    EXPECT_EQ(Read(smtp, {"250-one\r\n550 other code\r\n"}), V{"0|250-one\r\n550 other code"});
    EXPECT_EQ(Read(smtp, {"250-one\r\nnot a line\r\n250 ok\r\n"}), (V{"0|250-one\r\nnot a line", "250|250 ok"}));
    // A continuation line keeps the reply open whatever its code, so the reply after
    // it still pairs with the next command.
    EXPECT_EQ(Read(smtp, {"250-one\r\n550-two\r\n550 three\r\n221 bye\r\n"}),
              (V{"0|250-one\r\n550-two\r\n550 three", "221|221 bye"}));
}

TEST(ReplyReader, Pop3StatusLines) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Read(ReplyReader::Mode::Pop3, {"+OK\r\n+OK ready\r\n-ERR no\r\n+OKAY\r\n+\r\n535 x\r\n\r\n"}),
              (V{"1|+OK", "1|+OK ready", "-1|-ERR no", "-1|+OKAY", "-1|+", "-1|535 x", "-1|"}));
}

TEST(ReplyReader, GivesUpOnOverLongLinesRepliesAndFloods) {
    const auto smtp = ReplyReader::Mode::Smtp;
    const std::size_t cap = ReplyReader::kMaxLineOctets;
    // A line at the cap (line end included) passes; one over it fails even before its
    // end arrives.
    const std::string atCap = "250 " + std::string(cap - 6, 'x') + "\r\n";
    EXPECT_EQ(Read(smtp, {atCap}).at(0).substr(0, 4), "250|");
    EXPECT_EQ(Read(smtp, {atCap.substr(0, cap - 2) + "yy"}), std::vector<std::string>{"0!|"});

    std::string many;
    while (many.size() <= ReplyReader::kMaxReplyOctets) many += "250-" + std::string(500, 'z') + "\r\n";
    const std::vector<std::string> tooMany = Read(smtp, {many + "250 end\r\n"});
    ASSERT_EQ(tooMany.size(), 1u);
    EXPECT_EQ(tooMany[0].substr(0, 5), "0!|25");

    std::string flood;
    for (std::size_t i = 0; i < 100; ++i) flood += "250 ok\r\n";
    ReplyReader reader;
    reader.reset(smtp);
    reader.feed(flood);
    std::size_t count = 0;
    bool gaveUp = false;
    while (std::optional<ServerReply> r = reader.next()) {
        ++count;
        gaveUp = gaveUp || r->tooLong;
    }
    EXPECT_TRUE(gaveUp);
    EXPECT_LE(count, ReplyReader::kMaxQueuedReplies + 1);
    EXPECT_TRUE(reader.failed());
    reader.feed("250 more\r\n");
    EXPECT_FALSE(reader.next().has_value()) << "nothing after giving up";
    reader.reset(smtp);
    reader.feed("220 new connection\r\n");
    EXPECT_EQ(reader.next()->code, 220);

    reader.reset(smtp, {cap, ReplyReader::kMaxReplyOctets, 0});
    reader.feed(flood);
    for (count = 0; std::optional<ServerReply> r = reader.next(); ++count) ASSERT_FALSE(r->tooLong);
    EXPECT_EQ(count, 100u) << "no queue cap: each reply in turn";
}

TEST(ReplyReader, Pop3DataEndsAtTheDotLineHoweverSplit) {
    const struct {
        const char* name;
        std::string wire;
        std::string data;
    } cases[] = {
        {"empty", "+OK\r\n.\r\n", ""},
        {"plain", "+OK 2 octets\r\nA: b\r\n\r\n.\r\n", "A: b\r\n\r\n"},
        {"stuffed lines stay stuffed", "+OK\r\nA: b\r\n\r\n..\r\n..x\r\n.\r\n", "A: b\r\n\r\n..\r\n..x\r\n"},
        {"a line starting with a dot is no end", "+OK\r\nx\r\n.x\r\n. \r\n.\r\n", "x\r\n.x\r\n. \r\n"},
        {"bare line feeds", "+OK\nA: b\n\n.\n", "A: b\n\n"},
        {"dot CR without LF is no end", "+OK\r\nx\r\n.\ry\r\n.\r\n", "x\r\n.\ry\r\n"},
        // A message the server did not dot-stuff: its bare-LF "." line is data.
        {"bare-LF dot from a CR LF server is data", "+OK\r\nbody\n.\nend\r\n.\r\n", "body\n.\nend\r\n"},
        {"a bare-LF last line before the end", "+OK\r\nbody\n.\nend\n.\r\n", "body\n.\nend\n"},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {0u, 1u, 2u, 3u, 7u}) {
            SCOPED_TRACE(std::string(c.name) + " in pieces of " + std::to_string(piece));
            ReplyReader reader;
            reader.reset(ReplyReader::Mode::Pop3, kPop3Caps);
            const std::optional<ServerReply> reply = ReadData(c.wire, piece, kNoCap, 100, &reader);
            ASSERT_TRUE(reply.has_value());
            EXPECT_FALSE(reply->tooLong);
            EXPECT_TRUE(reply->positive);
            EXPECT_EQ(reply->data, c.data);
            EXPECT_EQ(reader.buffered(), 0u);
        }
    }
}

TEST(ReplyReader, Pop3NegativeStatusEndsADataReplyAndLaterBytesWait) {
    const std::optional<ServerReply> refused = ReadData("-ERR no such message\r\n", 1, kNoCap);
    ASSERT_TRUE(refused.has_value());
    EXPECT_FALSE(refused->positive);
    EXPECT_EQ(refused->status(), "-ERR no such message");
    EXPECT_EQ(refused->data, "");

    ReplyReader reader;
    reader.reset(ReplyReader::Mode::Pop3, kPop3Caps);
    reader.expectData(kNoCap);
    reader.feed("+OK\r\nA: b\r\n\r\n.\r\n+OK 1 2\r\n-ERR");
    EXPECT_EQ(reader.next()->data, "A: b\r\n\r\n");
    const std::optional<ServerReply> status = reader.next();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->status(), "+OK 1 2");
    EXPECT_EQ(status->data, "") << "data only for the reply it was announced for";
    EXPECT_FALSE(reader.next().has_value());
    reader.feed("\r\n");
    EXPECT_FALSE(reader.next()->positive);
}

TEST(ReplyReader, Pop3CapsEndTheReply) {
    const struct {
        const char* name;
        std::string wire;
        std::size_t piece, maxData, maxLine;
        bool tooLong;
    } cases[] = {
        {"a status line without an end", std::string(64 * 1024, 'x'), 4096, kNoCap, 0, true},
        {"a data line over the line cap, even before it ends", "+OK\r\nA: b\r\n" + std::string(65, 'x'), 1,
         kNoCap, 64, true},
        {"a long line that arrives whole with the end", "+OK\r\n" + std::string(65, 'x') + "\r\n.\r\n", 0, kNoCap,
         64, true},
        {"a line at the line cap, its CR counted", "+OK\r\n" + std::string(63, 'x') + "\r\n.\r\n", 0, kNoCap, 64,
         false},
        {"long lines pass without a line cap", "+OK\r\n" + std::string(150, 'x') + "\r\n.\r\n", 10, 200, 0, false},
        {"data over the data cap", "+OK\r\n" + std::string(250, 'x'), 10, 200, 0, true},
        {"data at the data cap", "+OK\r\n" + std::string(198, 'x') + "\r\n.\r\n", 10, 200, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<ServerReply> reply = ReadData(c.wire, c.piece, c.maxData, c.maxLine);
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->tooLong, c.tooLong);
    }
}

TEST(ReplyReader, ALargePop3ReplyInSmallPiecesKeepsItsBytes) {
    std::string body;
    for (int i = 0; body.size() < (4u << 20); ++i) body += (i % 7 == 0 ? ".." : "") + std::to_string(i) + " line\r\n";
    const std::optional<ServerReply> reply = ReadData("+OK\r\n" + body + ".\r\n", 1000, kNoCap);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->data, body);
}
