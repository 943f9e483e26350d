#include "core/MessageIndexEntry.h"

#include <cstring>

#include "core/Address.h"
#include "core/Dates.h"

namespace {

void appendDisplay(std::string& out, std::string_view text) {
    std::size_t room = MessageIndexEntry::kMaxDisplayField;
    for (char c : text) {
        if (room == 0) break;
        if (c == '\t') continue;
        out += (c == '\r' || c == '\n') ? ' ' : c;
        --room;
    }
}

}  // namespace

std::string MessageIndexEntry::MakeText(std::string_view from, std::string_view subject, std::string_view dateText,
                                        std::string_view key, std::int32_t minutes) {
    std::string out;
    out.reserve(from.size() + subject.size() + dateText.size() + key.size() + 16);
    appendDisplay(out, from);
    out += '\t';
    appendDisplay(out, subject);
    out += '\t';
    appendDisplay(out, dateText);
    out += '\t';
    out.append(key);
    out += '\t';
    out += MiscFuncs::MinutesToText(minutes);
    return out;
}

MessageIndexEntry::MessageIndexEntry(std::string_view from, std::string_view subject, std::string_view dateText,
                                     std::string_view key, std::int32_t minutes)
    : own_(MakeText(from, subject, dateText, key, minutes)), minutes_(minutes) {
    text_ = own_.data();
    size_ = static_cast<std::uint32_t>(own_.size());
    const std::size_t lastTab = own_.rfind('\t');
    keyAt_ = static_cast<std::uint32_t>(lastTab - key.size());
    keySize_ = static_cast<std::uint32_t>(key.size());
    findSender();
}

MessageIndexEntry MessageIndexEntry::Viewing(std::string_view text, std::size_t keyAt, std::size_t keySize,
                                             std::int32_t minutes) {
    MessageIndexEntry e;
    e.text_ = text.data();
    e.size_ = static_cast<std::uint32_t>(text.size());
    e.keyAt_ = static_cast<std::uint32_t>(keyAt);
    e.keySize_ = static_cast<std::uint32_t>(keySize);
    e.minutes_ = minutes;
    e.findSender();
    return e;
}

void MessageIndexEntry::take(const MessageIndexEntry& other, std::string_view text) {
    text_ = text.data();
    size_ = other.size_;
    keyAt_ = other.keyAt_;
    keySize_ = other.keySize_;
    senderAt_ = other.senderAt_;
    senderSize_ = other.senderSize_;
    minutes_ = other.minutes_;
}

MessageIndexEntry::MessageIndexEntry(const MessageIndexEntry& other)
    : own_(other.Text()), fromSender_(other.fromSender_) {
    take(other, own_);
}

MessageIndexEntry::MessageIndexEntry(MessageIndexEntry&& other) noexcept : fromSender_(std::move(other.fromSender_)) {
    const bool owned = other.text_ == other.own_.data();
    own_ = std::move(other.own_);
    take(other, owned ? std::string_view(own_) : other.Text());
}

MessageIndexEntry& MessageIndexEntry::operator=(const MessageIndexEntry& other) {
    if (this != &other) {
        own_.assign(other.Text());
        fromSender_ = other.fromSender_;
        take(other, own_);
    }
    return *this;
}

MessageIndexEntry& MessageIndexEntry::operator=(MessageIndexEntry&& other) noexcept {
    if (this != &other) {
        const bool owned = other.text_ == other.own_.data();
        own_ = std::move(other.own_);
        fromSender_ = std::move(other.fromSender_);
        take(other, owned ? std::string_view(own_) : other.Text());
    }
    return *this;
}

std::string_view MessageIndexEntry::Sender() const {
    if (!fromSender_.empty()) return fromSender_;
    return {text_ + senderAt_, senderSize_};
}

void MessageIndexEntry::findSender() {
    const std::string_view key = Key();
    const void* lastSlash = key.empty() ? nullptr : ::memrchr(key.data(), '\\', key.size());
    const std::size_t fileAt = lastSlash ? static_cast<const char*>(lastSlash) - key.data() + 1 : 0;
    const std::size_t blank = key.find(' ', fileAt);
    fromSender_.clear();
    senderAt_ = senderSize_ = 0;
    if (blank != std::string_view::npos && blank > fileAt) {
        senderAt_ = static_cast<std::uint32_t>(keyAt_ + fileAt);
        senderSize_ = static_cast<std::uint32_t>(blank - fileAt);
        return;
    }
    std::string name;
    fromSender_ = MiscFuncs::ParseAddress(From(), name);
}

std::string_view MessageIndexEntry::field(int n) const {
    const std::string_view text = Text();
    std::size_t begin = 0;
    for (int i = 0; i < n; ++i) {
        begin = text.find('\t', begin);
        if (begin == std::string_view::npos) return {};
        ++begin;
    }
    const std::size_t end = text.find('\t', begin);
    return text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}
