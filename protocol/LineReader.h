#pragma once
// LineReader: bytes in, whole lines out, for every session that reads a peer line by
// line (commands from a mail program, replies from a server). A line ends at LF, with
// or without a CR before it; the line handed out keeps its end.
//
// The cap is the caller's. It counts the line with its end (SMTP's way: 1000 octets
// with CR LF), or without it (LF and a CR before it not counted). A line over the cap
// is TooLong, and so is a line not yet ended that can no longer end within it: a
// peer cannot hold the reader open with a line that never ends. TooLong takes nothing
// from the buffer; the caller ends the conversation or clears the reader.
//
// Taking lines costs one search of the new bytes: a line that arrives in many small
// pieces is not searched again from its start, and taken lines are dropped from the
// front only when the buffer is compacted on a later append.

#include <cstddef>
#include <string>
#include <string_view>

namespace engines {

class LineReader {
public:
    static constexpr std::size_t kNoCap = static_cast<std::size_t>(-1);
    enum class CapCounts { WithLineEnd, WithoutLineEnd };
    enum class Result { Line, NeedMore, TooLong };

    explicit LineReader(std::size_t maxLine = kNoCap, CapCounts counts = CapCounts::WithLineEnd)
        : cap_(maxLine), counts_(counts) {}

    // A new cap for the lines not taken yet.
    void setCap(std::size_t maxLine, CapCounts counts = CapCounts::WithLineEnd) {
        cap_ = maxLine;
        counts_ = counts;
    }
    void append(std::string_view bytes);
    // Line: line holds the next whole line with its end, valid until the next append,
    // take or clear.
    Result next(std::string_view& line);

    // The bytes not taken yet: a line not yet ended, or every line still waiting.
    std::string_view pending() const { return std::string_view(data_).substr(start_); }
    std::size_t size() const { return data_.size() - start_; }
    bool empty() const { return size() == 0; }
    std::string takeAll();
    void clear();

private:
    bool overCap(std::string_view line, bool ended) const;

    std::string data_;
    std::size_t start_ = 0;    // the first byte not taken
    std::size_t scanned_ = 0;  // searched for a line end up to here
    std::size_t cap_;
    CapCounts counts_;
};

// The line without its LF and a CR before it.
std::string_view WithoutLineEnd(std::string_view line);

}  // namespace engines
