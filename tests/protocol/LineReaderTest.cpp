// Whole lines out of bytes however they are split, and the caps on them.
#include "protocol/LineReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using engines::LineReader;

namespace {

// Feeds the bytes in pieces of `piece` and returns every line taken, then "!" when
// the reader said TooLong (it stops there).
std::vector<std::string> Lines(LineReader reader, const std::string& bytes, std::size_t piece) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        reader.append(std::string_view(bytes).substr(at, piece));
        std::string_view line;
        for (;;) {
            const LineReader::Result result = reader.next(line);
            if (result == LineReader::Result::NeedMore) break;
            if (result == LineReader::Result::TooLong) return out.push_back("!"), out;
            out.emplace_back(line);
        }
    }
    return out;
}

}  // namespace

TEST(LineReader, HandsOutWholeLinesWithTheirEndsHoweverSplit) {
    using V = std::vector<std::string>;
    const std::string wire = "USER a\r\nbare\n\r\n\nPASS";
    for (std::size_t piece : {1u, 2u, 3u, 5u, 64u}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        LineReader reader;
        EXPECT_EQ(Lines(reader, wire, piece), (V{"USER a\r\n", "bare\n", "\r\n", "\n"}));
    }
    LineReader reader;
    reader.append("one\r\ntwo\r\npart");
    std::string_view line;
    ASSERT_EQ(reader.next(line), LineReader::Result::Line);
    EXPECT_EQ(reader.pending(), "two\r\npart") << "lines not taken stay pending";
    EXPECT_EQ(reader.size(), 9u);
    ASSERT_EQ(reader.next(line), LineReader::Result::Line);
    EXPECT_EQ(reader.next(line), LineReader::Result::NeedMore);
    EXPECT_EQ(reader.takeAll(), "part");
    EXPECT_TRUE(reader.empty());
}

// The cap counted with the line end (SMTP's 1000 octets with CR LF) or without it;
// a line not yet ended fails as soon as it can no longer end within the cap.
TEST(LineReader, CapsLinesEndedOrNot) {
    using Counts = LineReader::CapCounts;
    const struct {
        const char* name;
        Counts counts;
        std::string bytes;
        bool tooLong;
    } cases[] = {
        {"with end: CR LF line at the cap", Counts::WithLineEnd, std::string(8, 'x') + "\r\n", false},
        {"with end: one over", Counts::WithLineEnd, std::string(9, 'x') + "\r\n", true},
        {"with end: bare LF at the cap", Counts::WithLineEnd, std::string(9, 'x') + "\n", false},
        {"with end: not ended, one short of the cap", Counts::WithLineEnd, std::string(9, 'x'), false},
        {"with end: not ended, at the cap, cannot end", Counts::WithLineEnd, std::string(10, 'x'), true},
        {"without end: CR LF line at the cap", Counts::WithoutLineEnd, std::string(10, 'x') + "\r\n", false},
        {"without end: bare LF line over", Counts::WithoutLineEnd, std::string(11, 'x') + "\n", true},
        {"without end: not ended, at the cap", Counts::WithoutLineEnd, std::string(10, 'x'), false},
        {"without end: not ended, over", Counts::WithoutLineEnd, std::string(11, 'x'), true},
        {"without end: not ended, at the cap with its CR", Counts::WithoutLineEnd, std::string(10, 'x') + "\r", false},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {1u, 100u}) {
            SCOPED_TRACE(std::string(c.name) + " in pieces of " + std::to_string(piece));
            const std::vector<std::string> lines = Lines(LineReader(10, c.counts), "ok\n" + c.bytes, piece);
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.front(), "ok\n") << "a short line before it is taken";
            EXPECT_EQ(lines.back() == "!", c.tooLong);
        }
    }
}

TEST(LineReader, ALongLineInTinyPiecesIsSearchedOnce) {
    // Each piece is searched alone: a megabyte in bytes of one would take minutes if
    // every append searched the line from its start.
    LineReader reader;
    std::string_view line;
    for (int i = 0; i < (1 << 20); ++i) {
        reader.append("x");
        ASSERT_EQ(reader.next(line), LineReader::Result::NeedMore);
    }
    reader.append("\n");
    ASSERT_EQ(reader.next(line), LineReader::Result::Line);
    EXPECT_EQ(line.size(), (1u << 20) + 1);
}
