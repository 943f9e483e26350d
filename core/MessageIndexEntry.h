#pragma once
// MessageIndexEntry: one line of the message index and of the header cache:
//   From TAB Subject TAB date "mm/dd/yy hh:MM" TAB key TAB MinutesSince2000
// No field holds a TAB, CR or LF, so every line has exactly five fields.
//
// An entry owns its text, or (for entries read from a header cache) views the
// cache's text, which the index keeps alive; a copy of an entry always owns its
// text, so copies outlive the index safely.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CMessages;

class MessageIndexEntry {
public:
    MessageIndexEntry() = default;
    // An entry of the fields given, which MakeText joins.
    MessageIndexEntry(std::string_view from, std::string_view subject, std::string_view dateText,
                      std::string_view key, std::int32_t minutes);
    MessageIndexEntry(const MessageIndexEntry& other);
    MessageIndexEntry(MessageIndexEntry&& other) noexcept;
    MessageIndexEntry& operator=(const MessageIndexEntry& other);
    MessageIndexEntry& operator=(MessageIndexEntry&& other) noexcept;
    ~MessageIndexEntry() = default;

    std::string_view Text() const { return {text_, size_}; }
    std::int32_t Minutes() const { return minutes_; }
    std::string_view From() const { return field(0); }
    std::string_view Subject() const { return field(1); }
    std::string_view DateText() const { return field(2); }
    std::string_view Key() const { return {text_ + keyAt_, keySize_}; }
    // The sender's bare address: the file name's text before its first blank (lower
    // case in the names the program makes), else the address in From, lower-cased.
    std::string_view Sender() const;

    // The line for the given fields: From and Subject lose their TABs, CR and LF
    // become blanks, and both are cut to kMaxDisplayField bytes.
    static std::string MakeText(std::string_view from, std::string_view subject, std::string_view dateText,
                                std::string_view key, std::int32_t minutes);
    static constexpr std::size_t kMaxDisplayField = 1024;

    // The key policy of the index: an entry is filed under the key it holds.
    struct KeyOf {
        std::string_view operator()(const MessageIndexEntry& e) const { return e.Key(); }
    };

private:
    friend class CMessages;
    struct SenderChain;
    // An entry viewing text that outlives it; keyAt and keySize place its key.
    static MessageIndexEntry Viewing(std::string_view text, std::size_t keyAt, std::size_t keySize,
                                     std::int32_t minutes);
    void findSender();
    void take(const MessageIndexEntry& other, std::string_view text);
    std::string_view field(int n) const;

    std::string own_;  // the text, unless the entry views a cache's text
    const char* text_ = "";
    std::uint32_t size_ = 0, keyAt_ = 0, keySize_ = 0, senderAt_ = 0, senderSize_ = 0;
    std::int32_t minutes_ = 0;
    std::string fromSender_;  // only for a file name without the address in front

    // The entry's place among its sender's entries; copies are in no chain.
    SenderChain* chain_ = nullptr;
    MessageIndexEntry* prevOfSender_ = nullptr;
    MessageIndexEntry* nextOfSender_ = nullptr;
};

struct MessageIndexEntry::SenderChain {
    MessageIndexEntry* head = nullptr;
    MessageIndexEntry* tail = nullptr;
    std::size_t count = 0;
};
