#include "protocol/LineReader.h"

namespace engines {

std::string_view WithoutLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

void LineReader::append(std::string_view bytes) {
    if (start_ > 0 && start_ >= data_.size() / 2) {
        data_.erase(0, start_);
        scanned_ -= start_;
        start_ = 0;
    }
    data_.append(bytes);
}

bool LineReader::overCap(std::string_view line, bool ended) const {
    if (cap_ == kNoCap) return false;
    if (counts_ == CapCounts::WithLineEnd) {
        // A line not yet ended still needs its LF.
        return ended ? line.size() > cap_ : line.size() >= cap_;
    }
    // A CR at the end of a line not yet ended may be the start of its CR LF.
    return WithoutLineEnd(line).size() > cap_;
}

LineReader::Result LineReader::next(std::string_view& line) {
    const std::size_t end = data_.find('\n', scanned_);
    if (end == std::string::npos) {
        scanned_ = data_.size();
        return overCap(pending(), false) ? Result::TooLong : Result::NeedMore;
    }
    const std::string_view found = std::string_view(data_).substr(start_, end + 1 - start_);
    scanned_ = end;  // a TooLong line stays where it is
    if (overCap(found, true)) return Result::TooLong;
    line = found;
    start_ = scanned_ = end + 1;
    return Result::Line;
}

std::string LineReader::takeAll() {
    std::string all = data_.substr(start_);
    clear();
    return all;
}

void LineReader::clear() {
    data_.clear();
    start_ = scanned_ = 0;
}

}  // namespace engines
