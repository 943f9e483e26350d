// POP3 replies assembled from bytes however they are split.
#include "protocol/Pop3ReplyReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using engines::Pop3Reply;
using engines::Pop3ReplyReader;

namespace {

using Status = Pop3ReplyReader::Status;

constexpr std::size_t kNoCap = 1u << 30;

// Feeds the bytes in pieces of `piece` (0: whole) and returns the reply once complete.
Status feed(Pop3ReplyReader& reader, const std::string& bytes, std::size_t piece, Pop3Reply& reply) {
    if (piece == 0) piece = bytes.size() ? bytes.size() : 1;
    Status status = Status::Incomplete;
    for (std::size_t at = 0; at < bytes.size() && status == Status::Incomplete; at += piece) {
        reader.append(std::string_view(bytes).substr(at, piece));
        status = reader.poll();
    }
    if (status == Status::Complete) reply = reader.take();
    return status;
}

}  // namespace

TEST(Pop3ReplyReaderTest, MultiLineDataEndsAtTheDotLineHoweverSplit) {
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
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {0u, 1u, 2u, 3u, 7u}) {
            SCOPED_TRACE(std::string(c.name) + " in pieces of " + std::to_string(piece));
            Pop3ReplyReader reader;
            reader.expectMultiLine(kNoCap, 100);
            Pop3Reply reply;
            ASSERT_EQ(feed(reader, c.wire, piece, reply), Status::Complete);
            EXPECT_TRUE(reply.positive);
            EXPECT_EQ(reply.data, c.data);
            EXPECT_EQ(reader.buffered(), 0u);
        }
    }
}

TEST(Pop3ReplyReaderTest, ANegativeStatusEndsAMultiLineReplyAtOnce) {
    Pop3ReplyReader reader;
    reader.expectMultiLine(kNoCap);
    Pop3Reply reply;
    ASSERT_EQ(feed(reader, "-ERR no such message\r\n", 1, reply), Status::Complete);
    EXPECT_FALSE(reply.positive);
    EXPECT_EQ(reply.status, "-ERR no such message");
    EXPECT_EQ(reply.data, "");
}

TEST(Pop3ReplyReaderTest, BytesAfterAReplyWaitForTheNext) {
    Pop3ReplyReader reader;
    reader.expectMultiLine(kNoCap);
    reader.append("+OK\r\nA: b\r\n\r\n.\r\n+OK 1 2\r\n-ERR");
    ASSERT_EQ(reader.poll(), Status::Complete);
    EXPECT_EQ(reader.take().data, "A: b\r\n\r\n");
    reader.expectLine();
    ASSERT_EQ(reader.poll(), Status::Complete);
    EXPECT_EQ(reader.take().status, "+OK 1 2");
    reader.expectLine();
    EXPECT_EQ(reader.poll(), Status::Incomplete);
    reader.append("\r\n");
    ASSERT_EQ(reader.poll(), Status::Complete);
    EXPECT_FALSE(reader.take().positive);
}

TEST(Pop3ReplyReaderTest, CapsEndTheReply) {
    {
        SCOPED_TRACE("a status line without an end");
        Pop3ReplyReader reader;
        reader.expectLine();
        Pop3Reply reply;
        EXPECT_EQ(feed(reader, std::string(Pop3ReplyReader::kMaxStatusLine + 1, 'x'), 4096, reply),
                  Status::TooLong);
    }
    {
        SCOPED_TRACE("a data line over the line cap, even before it ends");
        Pop3ReplyReader reader;
        reader.expectMultiLine(kNoCap, 64);
        Pop3Reply reply;
        EXPECT_EQ(feed(reader, "+OK\r\nA: b\r\n" + std::string(65, 'x'), 1, reply), Status::TooLong);
    }
    {
        SCOPED_TRACE("a long line that arrives whole with the end");
        Pop3ReplyReader reader;
        reader.expectMultiLine(kNoCap, 64);
        Pop3Reply reply;
        EXPECT_EQ(feed(reader, "+OK\r\n" + std::string(65, 'x') + "\r\n.\r\n", 0, reply), Status::TooLong);
    }
    {
        SCOPED_TRACE("long lines pass without a line cap, within the data cap");
        Pop3ReplyReader reader;
        reader.expectMultiLine(200);
        Pop3Reply reply;
        EXPECT_EQ(feed(reader, "+OK\r\n" + std::string(150, 'x') + "\r\n.\r\n", 10, reply), Status::Complete);
        reader.expectMultiLine(200);
        EXPECT_EQ(feed(reader, "+OK\r\n" + std::string(250, 'x'), 10, reply), Status::TooLong);
    }
}

TEST(Pop3ReplyReaderTest, ALargeReplyInSmallPiecesKeepsItsBytes) {
    std::string body;
    for (int i = 0; body.size() < (4u << 20); ++i) body += (i % 7 == 0 ? ".." : "") + std::to_string(i) + " line\r\n";
    Pop3ReplyReader reader;
    reader.expectMultiLine(kNoCap);
    Pop3Reply reply;
    ASSERT_EQ(feed(reader, "+OK\r\n" + body + ".\r\n", 1000, reply), Status::Complete);
    EXPECT_EQ(reply.data, body);
}
