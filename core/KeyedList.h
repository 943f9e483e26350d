#pragma once
// KeyedList: an ordered collection of values, each under a unique text key, with
// keys compared without regard to ASCII letter case. It keeps the order of adding
// and the key in the case it was added with; adding, finding and removing by key
// take constant time on average, and no operation lists the whole collection.
//
// The key is stored beside the value (KeyedList<V>: Add(key, value)), or it is a
// part of the value that a KeyOf function object shows (KeyedList<V, KeyOf>:
// Add(value)), which saves a copy when values are texts that hold their key. Such
// a key must not change while its value is in the list. With KeyShown<KeyOf> the
// items also show that key as `key`, as the items of a list with the key beside
// the value do; each item keeps a view of it, so its value must not change at all
// while it is in the list.
//
// Items never move: a pointer or reference to a value stays valid until that item
// is removed (or the list cleared or assigned), whatever else is added or removed
// meanwhile. Iteration yields the items in order; an item's key cannot be changed
// in place (remove it and add it again under the new key, at the end).
//
// One user-interface thread uses it; it is not safe to share between threads.

#include <cstddef>
#include <iterator>
#include <memory>
#include <optional>
#include <type_traits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/CaselessText.h"

namespace MiscFuncs {

// The default key policy: the key is a string kept beside the value.
struct KeyBeside {};

template <typename V, typename KeyOf>
struct KeyedItem {
    explicit KeyedItem(V&& v) : value(std::move(v)) {}
    explicit KeyedItem(const V& v) : value(v) {}
    std::string_view Key() const { return KeyOf{}(value); }
    V value;
};

template <typename V>
struct KeyedItem<V, KeyBeside> {
    KeyedItem(std::string k, V v) : key(std::move(k)), value(std::move(v)) {}
    std::string_view Key() const { return key; }
    const std::string key;
    V value;
};

// The key policy of values that hold their key (KeyOf shows it) and whose items
// show it as `key`.
template <typename KeyOf>
struct KeyShown : KeyOf {};

// The key of such an item: a view into its value that also converts to a string.
struct KeyText : std::string_view {
    operator std::string() const { return std::string(data(), size()); }
};

template <typename V, typename KeyOf>
struct KeyedItem<V, KeyShown<KeyOf>> {
    explicit KeyedItem(V&& v) : value(std::move(v)), key{KeyOf{}(value)} {}
    explicit KeyedItem(const V& v) : value(v), key{KeyOf{}(value)} {}
    // A copy views its own value.
    KeyedItem(const KeyedItem& other) : value(other.value), key{KeyOf{}(value)} {}
    KeyedItem& operator=(const KeyedItem&) = delete;
    std::string_view Key() const { return key; }
    V value;
    const KeyText key;
};

template <typename V, typename KeyOf = KeyBeside>
class KeyedList {
    struct Node;

public:
    using Item = KeyedItem<V, KeyOf>;
    static constexpr bool kKeyBeside = std::is_same_v<KeyOf, KeyBeside>;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Item;
        using difference_type = std::ptrdiff_t;
        using pointer = const Item*;
        using reference = const Item&;
        const_iterator() = default;
        reference operator*() const { return *node_->item; }
        pointer operator->() const { return &*node_->item; }
        const_iterator& operator++() {
            node_ = node_->next;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            node_ = node_->next;
            return before;
        }
        bool operator==(const const_iterator& o) const { return node_ == o.node_; }

    private:
        friend KeyedList;
        explicit const_iterator(const Node* node) : node_(node) {}
        const Node* node_ = nullptr;
    };

    KeyedList() = default;
    KeyedList(const KeyedList& other) { *this = other; }
    KeyedList& operator=(const KeyedList& other) {
        if (this == &other) return *this;
        Clear();
        Reserve(other.count_);
        for (const Item& item : other) emplace(CaseInsensitiveHash{}(item.Key()), item);  // copies
        return *this;
    }
    KeyedList(KeyedList&& other) noexcept { swap(other); }
    KeyedList& operator=(KeyedList&& other) noexcept {
        KeyedList gone(std::move(other));
        swap(gone);
        return *this;
    }

    // Appends value under key. Returns the stored value, or nullptr (and stores
    // nothing) when the key is already present in any letter case.
    V* Add(std::string key, V value)
        requires kKeyBeside
    {
        const std::size_t hash = CaseInsensitiveHash{}(key);
        return AddHashed(std::move(key), std::move(value), hash);
    }
    V* AddHashed(std::string key, V value, std::size_t hash)
        requires kKeyBeside
    {
        if (findSlot(key, hash) != kNone) return nullptr;
        return emplace(hash, std::move(key), std::move(value));
    }
    // Appends value under the key it holds; nullptr when that key is present.
    V* Add(V value)
        requires(!kKeyBeside)
    {
        const std::size_t hash = CaseInsensitiveHash{}(KeyOf{}(value));
        return AddHashed(std::move(value), hash);
    }
    // The ...Hashed forms are for a caller that computed the key's hash (HashOf)
    // ahead, for example to Prefetch its place while it prepares other values.
    V* AddHashed(V&& value, std::size_t hash)
        requires(!kKeyBeside)
    {
        // The value shows its key only when a stored key has the same hash: a new key
        // seldom meets one.
        const auto sameKey = [&value](std::string_view stored) { return CaseInsensitiveEqual{}(stored, KeyOf{}(value)); };
        if (probe(hash, sameKey) != kNone) return nullptr;
        return emplace(hash, std::move(value));
    }
    static std::size_t HashOf(std::string_view key) { return CaseInsensitiveHash{}(key); }
    // Asks the processor to fetch the table's place for a hash; only a hint.
    void Prefetch(std::size_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    }

    V* Find(std::string_view key) {
        Item* item = FindItem(key);
        return item ? &item->value : nullptr;
    }
    const V* Find(std::string_view key) const { return const_cast<KeyedList*>(this)->Find(key); }
    // The item, with its key as it was added; nullptr when there is none.
    Item* FindItem(std::string_view key) { return FindItemHashed(key, CaseInsensitiveHash{}(key)); }
    Item* FindItemHashed(std::string_view key, std::size_t hash) {
        const std::size_t slot = findSlot(key, hash);
        return slot == kNone ? nullptr : &*slots_[slot].node->item;
    }
    const Item* FindItem(std::string_view key) const { return const_cast<KeyedList*>(this)->FindItem(key); }
    bool Contains(std::string_view key) const { return findSlot(key, CaseInsensitiveHash{}(key)) != kNone; }

    // Removes the item under key; false when there is none.
    bool Remove(std::string_view key) {
        const std::size_t slot = findSlot(key, CaseInsensitiveHash{}(key));
        if (slot == kNone) return false;
        Node* node = slots_[slot].node;
        slots_[slot].node = tombstone();
        ++tombstones_;
        (node->prev ? node->prev->next : head_) = node->next;
        (node->next ? node->next->prev : tail_) = node->prev;
        node->item.reset();
        node->next = free_;
        free_ = node;
        --count_;
        return true;
    }

    void Clear() {
        KeyedList empty;
        swap(empty);
    }
    // Makes room for count items without growing the table again.
    void Reserve(std::size_t count) {
        if ((count + tombstones_) * 10 >= slots_.size() * 7) rebuildTable(count);
    }

    std::size_t Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    const_iterator begin() const { return const_iterator(head_); }
    const_iterator end() const { return const_iterator(nullptr); }
    const Item& Front() const { return *head_->item; }

private:
    // Nodes live in blocks that never move; a removed item's node is kept for the
    // next one added.
    struct Node {
        std::optional<Item> item;
        std::size_t hash = 0;
        Node* prev = nullptr;
        Node* next = nullptr;  // in order, or the next free node
    };
    static constexpr std::size_t kBlockNodes = 256;
    // The table: open addressing with linear probing over a power-of-two array of
    // (hash, node); a removed key leaves a tombstone until the next rebuild.
    struct Slot {
        std::size_t hash = 0;
        Node* node = nullptr;
    };
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    static Node* tombstone() {
        static Node stone;
        return &stone;
    }

    template <typename... Args>
    V* emplace(std::size_t hash, Args&&... args) {
        growIfFull();
        Node* node = newNode();
        node->item.emplace(std::forward<Args>(args)...);
        node->hash = hash;
        placeInTable(node);
        node->prev = tail_;
        (tail_ ? tail_->next : head_) = node;
        tail_ = node;
        ++count_;
        return &node->item->value;
    }
    std::size_t findSlot(std::string_view key, std::size_t hash) const {
        return probe(hash, [key](std::string_view stored) { return CaseInsensitiveEqual{}(stored, key); });
    }
    // The slot of the item whose hash is hash and whose key sameKey accepts.
    template <typename SameKey>
    std::size_t probe(std::size_t hash, const SameKey& sameKey) const {
        if (slots_.empty()) return kNone;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& s = slots_[i];
            if (!s.node) return kNone;
            if (s.hash == hash && s.node != tombstone() && sameKey(s.node->item->Key())) return i;
        }
    }
    void placeInTable(Node* node) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = node->hash & mask;
        while (slots_[i].node && slots_[i].node != tombstone()) i = (i + 1) & mask;
        if (slots_[i].node == tombstone()) --tombstones_;
        slots_[i] = Slot{node->hash, node};
    }
    void growIfFull() {
        if ((count_ + tombstones_ + 1) * 10 >= slots_.size() * 7) rebuildTable(count_ + 1);
    }
    void rebuildTable(std::size_t count) {
        std::size_t size = 16;
        while (size * 7 <= count * 2 * 10) size *= 2;  // at most 35% full after a rebuild
        slots_.assign(size, Slot{});
        tombstones_ = 0;
        for (Node* n = head_; n; n = n->next) placeInTable(n);
    }
    Node* newNode() {
        if (free_) {
            Node* node = free_;
            free_ = node->next;
            node->next = nullptr;
            return node;
        }
        if (blocks_.empty() || usedInLastBlock_ == kBlockNodes) {
            blocks_.emplace_back(new Node[kBlockNodes]);  // no zero-filling: each node sets itself up
            usedInLastBlock_ = 0;
        }
        return &blocks_.back()[usedInLastBlock_++];
    }
    void swap(KeyedList& o) noexcept {
        blocks_.swap(o.blocks_);
        slots_.swap(o.slots_);
        std::swap(usedInLastBlock_, o.usedInLastBlock_);
        std::swap(head_, o.head_);
        std::swap(tail_, o.tail_);
        std::swap(free_, o.free_);
        std::swap(count_, o.count_);
        std::swap(tombstones_, o.tombstones_);
    }

    std::vector<std::unique_ptr<Node[]>> blocks_;
    std::vector<Slot> slots_;
    std::size_t usedInLastBlock_ = 0;
    Node *head_ = nullptr, *tail_ = nullptr, *free_ = nullptr;
    std::size_t count_ = 0, tombstones_ = 0;
};

}  // namespace MiscFuncs
