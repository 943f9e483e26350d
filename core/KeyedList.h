#pragma once
// KeyedList: an ordered collection of values, each under a unique text key, with
// keys compared without regard to ASCII letter case. It keeps the order of adding
// and the key in the case it was added with; adding, finding and removing by key
// take constant time on average, and no operation lists the whole collection.
//
// Items live in list nodes that never move: a pointer or reference to a value stays
// valid until that item is removed (or the list cleared), whatever else is added or
// removed meanwhile. Iteration yields the items in order; an item's key cannot be
// changed in place (remove it and add it again under the new key, at the end).
//
// One user-interface thread uses it; it is not safe to share between threads.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace MiscFuncs {

// Hash and equality of texts that ignore ASCII letter case; both take any text
// type convertible to std::string_view, so lookups need no copy of the key.
struct CaseInsensitiveHash {
    using is_transparent = void;
    // Eight bytes at a time. Not noexcept on purpose: libstdc++ then keeps each
    // key's hash code in its node, so walking a bucket or growing the table never
    // hashes (or even reads) the stored keys again.
    std::size_t operator()(std::string_view text) const {
        std::uint64_t h = 0x9E3779B97F4A7C15ull ^ text.size();
        const char* p = text.data();
        std::size_t n = text.size();
        for (; n >= 8; p += 8, n -= 8) h = mix(h, fold(load(p, 8)));
        if (n) h = mix(h, fold(load(p, n)));
        h ^= h >> 29;
        h *= 0xC4CEB9FE1A85EC53ull;
        return static_cast<std::size_t>(h ^ (h >> 32));
    }

private:
    static std::uint64_t load(const char* p, std::size_t n) noexcept {
        std::uint64_t w = 0;
        std::memcpy(&w, p, n);
        return w;
    }
    // ASCII "A" to "Z" to lower case in every byte; bytes from 0x80 stay as they are.
    static std::uint64_t fold(std::uint64_t x) noexcept {
        constexpr std::uint64_t kHigh = 0x8080808080808080ull;
        const std::uint64_t low = x & ~kHigh;
        const std::uint64_t atLeastA = low + 0x3F3F3F3F3F3F3F3Full;  // bit 7 set from 'A' on
        const std::uint64_t aboveZ = low + 0x2525252525252525ull;    // bit 7 set above 'Z'
        return x | ((atLeastA & ~aboveZ & ~x & kHigh) >> 2);
    }
    static std::uint64_t mix(std::uint64_t h, std::uint64_t w) noexcept {
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        return h ^ (h >> 32);
    }
};

struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            unsigned char x = a[i], y = b[i];
            if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
            if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
            if (x != y) return false;
        }
        return true;
    }
};

template <typename V>
class KeyedList {
public:
    struct Item {
        Item(std::string k, V v) : key(std::move(k)), value(std::move(v)) {}
        const std::string key;
        V value;
    };
    using const_iterator = typename std::list<Item>::const_iterator;

    KeyedList() = default;
    // Copies rebuild the lookup table, whose views point into the copy's own nodes.
    KeyedList(const KeyedList& other) { *this = other; }
    KeyedList& operator=(const KeyedList& other) {
        if (this == &other) return *this;
        Clear();
        for (const Item& item : other.items_) Add(item.key, item.value);
        return *this;
    }
    // Moving a std::list keeps its nodes, so the table's views stay valid.
    KeyedList(KeyedList&&) noexcept = default;
    KeyedList& operator=(KeyedList&&) noexcept = default;

    // Appends value under key. Returns the stored value, or nullptr (and stores
    // nothing) when the key is already present in any letter case.
    V* Add(std::string key, V value) {
        // One lookup: the node is made first and dropped again when the key is taken.
        items_.emplace_back(std::move(key), std::move(value));
        const auto last = std::prev(items_.end());
        if (index_.emplace(std::string_view(last->key), last).second) return &last->value;
        items_.pop_back();
        return nullptr;
    }

    V* Find(std::string_view key) {
        const auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->value;
    }
    const V* Find(std::string_view key) const {
        const auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->value;
    }
    // The key as it was added, or nullptr.
    const std::string* StoredKey(std::string_view key) const {
        const auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->key;
    }
    bool Contains(std::string_view key) const { return index_.find(key) != index_.end(); }

    // Removes the item under key; false when there is none.
    bool Remove(std::string_view key) {
        const auto it = index_.find(key);
        if (it == index_.end()) return false;
        const auto node = it->second;
        index_.erase(it);
        items_.erase(node);
        return true;
    }

    void Clear() {
        index_.clear();
        items_.clear();
    }
    void Reserve(std::size_t count) { index_.reserve(count); }

    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }
    const Item& Front() const { return items_.front(); }

private:
    using Node = typename std::list<Item>::iterator;
    std::list<Item> items_;
    std::unordered_map<std::string_view, Node, CaseInsensitiveHash, CaseInsensitiveEqual> index_;
};

}  // namespace MiscFuncs
