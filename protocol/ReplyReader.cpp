#include "protocol/ReplyReader.h"

namespace engines {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The code of a reply line, 0 when the line is no reply line.
int lineCode(std::string_view line) {
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2])) return 0;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool endsInCrlf(std::string_view line) { return line.size() >= 2 && line.substr(line.size() - 2) == "\r\n"; }

// "+OK", alone or followed by a blank and text (RFC 1939 3); "+OKAY" is no "+OK".
bool positiveStatus(std::string_view status) {
    return status.substr(0, 3) == "+OK" && (status.size() == 3 || status[3] == ' ' || status[3] == '\t');
}

// "ddd-": another line of the same reply follows.
bool continues(std::string_view line) {
    return line.size() >= 4 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]) && line[3] == '-';
}

}  // namespace

std::string ServerReply::text() const {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += "\r\n";
        out += lines[i];
    }
    return out;
}

std::string ServerReply::lastLineText() const {
    if (lines.empty() || lines.back().size() <= 4) return {};
    return lines.back().substr(4);
}

std::string_view ServerReply::status() const { return lines.empty() ? std::string_view() : lines.front(); }

void ReplyReader::reset(Mode mode) { reset(mode, Caps{}); }

void ReplyReader::reset(Mode mode, Caps caps) {
    mode_ = mode;
    caps_ = caps;
    lines_.clear();
    lines_.setCap(caps_.line);
    phase_ = Phase::Reply;
    dataExpected_ = false;
    current_ = {};
    sinceFeed_ = 0;
    failed_ = false;
}

void ReplyReader::expectData(std::size_t maxData, std::size_t maxLine) {
    dataExpected_ = true;
    maxData_ = maxData;
    maxDataLine_ = maxLine;
}

void ReplyReader::feed(std::string_view bytes) {
    if (failed_) return;
    lines_.append(bytes);
    sinceFeed_ = 0;
}

std::optional<ServerReply> ReplyReader::next() {
    if (failed_) return std::nullopt;
    for (;;) {
        std::string_view line;
        const LineReader::Result result = lines_.next(line);
        if (result == LineReader::Result::TooLong) return fail();
        if (result == LineReader::Result::NeedMore) {
            if (phase_ == Phase::Data && current_.data.size() + lines_.size() > maxData_) return fail();
            return std::nullopt;
        }
        if (phase_ == Phase::Data) {
            if (endsData(line)) return finish();
            current_.data.append(line);
            if (current_.data.size() > maxData_) return fail();
            continue;
        }
        if (caps_.queued != 0 && sinceFeed_ >= caps_.queued) return fail();
        current_.raw.append(line);
        current_.lines.emplace_back(WithoutLineEnd(line));
        if (mode_ == Mode::Pop3) {
            current_.positive = positiveStatus(current_.lines.front());
            if (!dataExpected_ || !current_.positive) return finish();
            phase_ = Phase::Data;
            serverCrlf_ = endsInCrlf(line);
            // The data's lines have a cap of their own, CR counted, LF not.
            lines_.setCap(maxDataLine_ == 0 ? LineReader::kNoCap : maxDataLine_ + 1);
            continue;
        }
        if (current_.raw.size() > caps_.reply) return fail();
        if (!continues(line)) {
            current_.code = lineCode(current_.lines.front());
            for (const std::string& each : current_.lines)
                if (lineCode(each) != current_.code) current_.code = 0;
            return finish();
        }
    }
}

// From a server whose status line ends in CR LF only "." CR LF ends the data: a "."
// line with a bare LF is a line of a message the server did not dot-stuff, and taking
// it for the end would cut the message and delete the rest with it. A server that ends
// its lines in bare LF is read its own way.
bool ReplyReader::endsData(std::string_view line) const {
    if (WithoutLineEnd(line) != ".") return false;
    return !serverCrlf_ || endsInCrlf(line);
}

ServerReply ReplyReader::finish() {
    ServerReply out = std::move(current_);
    current_ = {};
    phase_ = Phase::Reply;
    dataExpected_ = false;
    lines_.setCap(caps_.line);
    ++sinceFeed_;
    return out;
}

ServerReply ReplyReader::fail() {
    failed_ = true;
    lines_.clear();
    ServerReply out;
    out.tooLong = true;
    out.lines = std::move(current_.lines);
    out.raw = std::move(current_.raw);
    current_ = {};
    return out;
}

}  // namespace engines
