#include "protocol/SmtpReplyReader.h"

namespace engines {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The code of a reply line and whether more lines follow; code 0 when the line is
// no reply line.
int lineCode(std::string_view line, bool& more) {
    more = false;
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2])) return 0;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return 0;
    more = line.size() > 3 && line[3] == '-';
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool positiveStatus(std::string_view line) {
    return line.substr(0, 3) == "+OK" && (line.size() == 3 || line[3] == ' ');
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

void SmtpReplyReader::reset(Mode mode) {
    mode_ = mode;
    partial_.clear();
    current_ = {};
    currentOctets_ = 0;
    ready_.clear();
    failed_ = false;
}

void SmtpReplyReader::feed(std::string_view bytes) {
    while (!bytes.empty() && !failed_) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        // The cap counts the line end; a line that can no longer end within it fails
        // before its end arrives.
        if (partial_.size() + piece.size() + 1 > kMaxLineOctets) {
            fail();
            return;
        }
        partial_.append(piece);
        if (end == std::string_view::npos) return;
        bytes.remove_prefix(end + 1);
        std::string line;
        line.swap(partial_);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        takeLine(std::move(line));
    }
}

std::optional<ServerReply> SmtpReplyReader::next() {
    if (ready_.empty()) return std::nullopt;
    ServerReply reply = std::move(ready_.front());
    ready_.pop_front();
    return reply;
}

void SmtpReplyReader::takeLine(std::string line) {
    if (ready_.size() >= kMaxQueuedReplies) {
        fail();
        return;
    }
    if (mode_ == Mode::Smtp) {
        takeSmtpLine(std::move(line));
        return;
    }
    ServerReply reply;
    reply.positive = positiveStatus(line);
    reply.lines.push_back(std::move(line));
    ready_.push_back(std::move(reply));
}

void SmtpReplyReader::takeSmtpLine(std::string line) {
    bool more = false;
    const int code = lineCode(line, more);
    currentOctets_ += line.size() + 2;
    if (currentOctets_ > kMaxReplyOctets) {
        fail();
        return;
    }
    const bool first = current_.lines.empty();
    current_.lines.push_back(std::move(line));
    if (code == 0 || (!first && code != current_.code)) {
        current_.code = 0;
        finishReply();
        return;
    }
    current_.code = code;
    if (!more) finishReply();
}

void SmtpReplyReader::finishReply() {
    ready_.push_back(std::move(current_));
    current_ = {};
    currentOctets_ = 0;
}

void SmtpReplyReader::fail() {
    failed_ = true;
    partial_.clear();
    ServerReply reply;
    reply.tooLong = true;
    reply.lines = std::move(current_.lines);
    current_ = {};
    ready_.push_back(std::move(reply));
}

}  // namespace engines
