// Assembling server replies from pieces, and the limits on what a server may send.
#include "protocol/SmtpReplyReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using engines::ServerReply;
using engines::SmtpReplyReader;

namespace {

// Feeds the pieces and returns every reply, as "code|text".
std::vector<std::string> Read(SmtpReplyReader::Mode mode, const std::vector<std::string>& pieces) {
    SmtpReplyReader reader;
    reader.reset(mode);
    std::vector<std::string> out;
    for (const std::string& piece : pieces) {
        reader.feed(piece);
        while (std::optional<ServerReply> r = reader.next()) {
            const int code = mode == SmtpReplyReader::Mode::Smtp ? r->code : (r->positive ? 1 : -1);
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

}  // namespace

TEST(SmtpReplyReader, AssemblesWholeRepliesFromAnyPieces) {
    using V = std::vector<std::string>;
    const auto smtp = SmtpReplyReader::Mode::Smtp;
    const V ehloRaw{"250-a.test\r\n250-AUTH PLAIN\r\n250 HELP\r\n"};
    EXPECT_EQ(Read(smtp, ehloRaw), V{"250|250-a.test\r\n250-AUTH PLAIN\r\n250 HELP"});
    EXPECT_EQ(Read(smtp, Bytes(ehloRaw[0])), Read(smtp, ehloRaw)) << "byte by byte";
    EXPECT_EQ(Read(smtp, {"250-a.te", "st\r", "\n250 HE", "LP\r\n"}), (V{"250|250-a.test\r\n250 HELP"}));
    EXPECT_EQ(Read(smtp, {"220 hi\r\n250 ok\r\n354 go"}), (V{"220|220 hi", "250|250 ok"}))
        << "several replies in one piece; a line waits for its end";
    EXPECT_EQ(Read(smtp, {"250 bare LF\n334\n"}), (V{"250|250 bare LF", "334|334"}));
}

TEST(SmtpReplyReader, LinesThatAreNoReplyLinesGiveCodeZero) {
    using V = std::vector<std::string>;
    const auto smtp = SmtpReplyReader::Mode::Smtp;
    EXPECT_EQ(Read(smtp, {"hello\r\n"}), V{"0|hello"});
    EXPECT_EQ(Read(smtp, {"25 short\r\n"}), V{"0|25 short"});
    EXPECT_EQ(Read(smtp, {"2500 glued\r\n"}), V{"0|2500 glued"});
    EXPECT_EQ(Read(smtp, {"250-one\r\n550 other code\r\n"}), V{"0|250-one\r\n550 other code"});
    EXPECT_EQ(Read(smtp, {"250-one\r\nnot a line\r\n250 ok\r\n"}), (V{"0|250-one\r\nnot a line", "250|250 ok"}));
}

TEST(SmtpReplyReader, Pop3StatusLines) {
    using V = std::vector<std::string>;
    const auto pop = SmtpReplyReader::Mode::Pop3;
    EXPECT_EQ(Read(pop, {"+OK\r\n+OK ready\r\n-ERR no\r\n+OKAY\r\n535 x\r\n"}),
              (V{"1|+OK", "1|+OK ready", "-1|-ERR no", "-1|+OKAY", "-1|535 x"}));
}

TEST(SmtpReplyReader, GivesUpOnOverLongLinesRepliesAndFloods) {
    const auto smtp = SmtpReplyReader::Mode::Smtp;
    const std::size_t cap = SmtpReplyReader::kMaxLineOctets;
    // A line at the cap (line end included) passes; one over it fails even before its
    // end arrives.
    const std::string atCap = "250 " + std::string(cap - 6, 'x') + "\r\n";
    EXPECT_EQ(Read(smtp, {atCap}).at(0).substr(0, 4), "250|");
    EXPECT_EQ(Read(smtp, {atCap.substr(0, cap - 2) + "yy"}), std::vector<std::string>{"0!|"});

    std::string many;
    while (many.size() <= SmtpReplyReader::kMaxReplyOctets) many += "250-" + std::string(500, 'z') + "\r\n";
    const std::vector<std::string> tooMany = Read(smtp, {many + "250 end\r\n"});
    ASSERT_EQ(tooMany.size(), 1u);
    EXPECT_EQ(tooMany[0].substr(0, 5), "0!|25");

    std::string flood;
    for (std::size_t i = 0; i < 100; ++i) flood += "250 ok\r\n";
    SmtpReplyReader reader;
    reader.reset(smtp);
    reader.feed(flood);
    std::size_t count = 0;
    bool gaveUp = false;
    while (std::optional<ServerReply> r = reader.next()) {
        ++count;
        gaveUp = gaveUp || r->tooLong;
    }
    EXPECT_TRUE(gaveUp);
    EXPECT_LE(count, SmtpReplyReader::kMaxQueuedReplies + 1);
    EXPECT_TRUE(reader.failed());
    reader.feed("250 more\r\n");
    EXPECT_FALSE(reader.next().has_value()) << "nothing after giving up";
    reader.reset(smtp);
    reader.feed("220 new connection\r\n");
    EXPECT_EQ(reader.next()->code, 220);
}
