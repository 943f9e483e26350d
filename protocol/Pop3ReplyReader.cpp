#include "protocol/Pop3ReplyReader.h"

namespace engines {

enum class EndCheck { No, Yes, NeedMore };

namespace {

// The end-of-data line "." may still be incomplete in the last bytes: its search
// steps back this far into what was already scanned.
constexpr std::size_t kEndLookBack = 4;

// Is the "." at dot the whole last line? Its line end is CR LF or a bare LF.
EndCheck endAt(const std::string& data, std::size_t dot, std::size_t& length) {
    if (dot + 1 >= data.size()) return EndCheck::NeedMore;
    if (data[dot + 1] == '\n') {
        length = 2;
        return EndCheck::Yes;
    }
    if (data[dot + 1] != '\r') return EndCheck::No;
    if (dot + 2 >= data.size()) return EndCheck::NeedMore;
    length = 3;
    return data[dot + 2] == '\n' ? EndCheck::Yes : EndCheck::No;
}

}  // namespace

void Pop3ReplyReader::expectLine() {
    phase_ = Phase::Status;
    multiLine_ = false;
    statusScan_ = 0;
    reply_ = {};
}

void Pop3ReplyReader::expectMultiLine(std::size_t maxData, std::size_t maxLine) {
    expectLine();
    multiLine_ = true;
    maxData_ = maxData;
    maxLine_ = maxLine;
}

void Pop3ReplyReader::append(std::string_view bytes) {
    if (phase_ == Phase::Data) data_.append(bytes);
    else pending_.append(bytes);
}

Pop3ReplyReader::Status Pop3ReplyReader::poll() {
    switch (phase_) {
        case Phase::Status: return pollStatus();
        case Phase::Data: return scanData();
        case Phase::Done: return Status::Complete;
        case Phase::Idle: break;
    }
    // Nothing was asked for: what the server says unasked waits, within the line cap.
    return pending_.size() > kMaxStatusLine ? Status::TooLong : Status::Incomplete;
}

Pop3Reply Pop3ReplyReader::take() {
    Pop3Reply out = std::move(reply_);
    reply_ = {};
    phase_ = Phase::Idle;
    return out;
}

Pop3ReplyReader::Status Pop3ReplyReader::pollStatus() {
    const std::size_t lf = pending_.find('\n', statusScan_);
    if (lf == std::string::npos) {
        statusScan_ = pending_.size();
        return pending_.size() > kMaxStatusLine ? Status::TooLong : Status::Incomplete;
    }
    if (lf > kMaxStatusLine) return Status::TooLong;
    const std::size_t end = lf > 0 && pending_[lf - 1] == '\r' ? lf - 1 : lf;
    reply_.status.assign(pending_, 0, end);
    reply_.positive = !reply_.status.empty() && reply_.status[0] == '+';
    pending_.erase(0, lf + 1);
    if (!multiLine_ || !reply_.positive) {
        phase_ = Phase::Done;
        return Status::Complete;
    }
    phase_ = Phase::Data;
    data_ = std::move(pending_);
    pending_.clear();
    dataScan_ = 0;
    lineStart_ = 0;
    return scanData();
}

Pop3ReplyReader::Status Pop3ReplyReader::scanData() {
    std::size_t dot = 0, length = 0;
    const EndCheck found = findEnd(dot, length);
    const std::size_t limit = found == EndCheck::Yes ? dot : data_.size();
    if (lineOverCap(limit) || limit > maxData_) return Status::TooLong;
    if (found == EndCheck::Yes) {
        finishData(dot, length);
        return Status::Complete;
    }
    dataScan_ = data_.size() > kEndLookBack ? data_.size() - kEndLookBack : 0;
    return Status::Incomplete;
}

EndCheck Pop3ReplyReader::findEnd(std::size_t& dot, std::size_t& length) const {
    // The first data line may be the end line itself (an empty reply).
    if (dataScan_ == 0 && !data_.empty() && data_[0] == '.') {
        const EndCheck first = endAt(data_, 0, length);
        if (first != EndCheck::No) return dot = 0, first;
    }
    for (std::size_t at = data_.find("\n.", dataScan_); at != std::string::npos; at = data_.find("\n.", at + 1)) {
        const EndCheck check = endAt(data_, at + 1, length);
        if (check != EndCheck::No) return dot = at + 1, check;
    }
    return EndCheck::No;
}

bool Pop3ReplyReader::lineOverCap(std::size_t limit) {
    if (maxLine_ == 0) return false;
    // No line end lies between lineStart_ and the bytes scanned last, so this stays linear.
    std::size_t begin = lineStart_;
    for (std::size_t at = data_.find('\n', begin); at != std::string::npos && at < limit;
         at = data_.find('\n', at + 1)) {
        if (at - begin > maxLine_) return true;
        begin = at + 1;
    }
    lineStart_ = begin;
    return limit - begin > maxLine_;
}

void Pop3ReplyReader::finishData(std::size_t dot, std::size_t endLength) {
    pending_.assign(data_, dot + endLength, std::string::npos);
    data_.resize(dot);
    reply_.data = std::move(data_);
    data_.clear();
    phase_ = Phase::Done;
}

}  // namespace engines
