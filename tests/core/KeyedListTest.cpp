#include "core/KeyedList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using MiscFuncs::KeyedList;

std::vector<std::string> keysOf(const KeyedList<int>& list) {
    std::vector<std::string> keys;
    for (const auto& item : list) keys.push_back(item.key);
    return keys;
}

TEST(KeyedListTest, KeysIgnoreCaseAndKeepTheirSpelling) {
    KeyedList<int> list;
    ASSERT_NE(list.Add("Alpha@X.com", 1), nullptr);
    EXPECT_EQ(list.Add("alpha@x.COM", 2), nullptr) << "a key in another letter case is the same key";
    EXPECT_EQ(list.Count(), 1u);
    ASSERT_NE(list.Find("ALPHA@x.com"), nullptr);
    EXPECT_EQ(*list.Find("ALPHA@x.com"), 1);
    EXPECT_EQ(list.FindItem("alpha@x.com")->key, "Alpha@X.com");
    EXPECT_FALSE(list.Contains("alpha@x.co"));
}

TEST(KeyedListTest, KeepsTheOrderOfAddingAcrossRemovals) {
    KeyedList<int> list;
    for (const char* k : {"a", "b", "c", "d"}) list.Add(k, 0);
    EXPECT_TRUE(list.Remove("B"));
    EXPECT_FALSE(list.Remove("b"));
    list.Add("b", 0);  // comes back at the end
    EXPECT_EQ(keysOf(list), (std::vector<std::string>{"a", "c", "d", "b"}));
    list.Clear();
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.Find("a"), nullptr);
}

TEST(KeyedListTest, ValuesStayPutWhileOthersComeAndGo) {
    KeyedList<int> list;
    int* first = list.Add("first", 7);
    for (int i = 0; i < 5000; ++i) list.Add("k" + std::to_string(i), i);
    for (int i = 0; i < 5000; i += 2) list.Remove("K" + std::to_string(i));
    EXPECT_EQ(list.Find("first"), first);
    EXPECT_EQ(*first, 7);
    EXPECT_EQ(list.Count(), 2501u);
    EXPECT_EQ(*list.Find("k4999"), 4999);
}

TEST(KeyedListTest, CopiesAndMovesAreIndependentAndWhole) {
    KeyedList<int> list;
    list.Add("one", 1);
    list.Add("two", 2);
    KeyedList<int> copy = list;
    list.Remove("one");
    *list.Find("two") = 20;
    ASSERT_NE(copy.Find("ONE"), nullptr);
    EXPECT_EQ(*copy.Find("two"), 2);
    KeyedList<int> moved = std::move(copy);
    EXPECT_EQ(keysOf(moved), (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(moved.Remove("one"));
    EXPECT_EQ(*moved.Find("Two"), 2);
}

TEST(KeyedListTest, CaseFoldingIsAsciiOnly) {
    KeyedList<int> list;
    list.Add("\xC4pfel", 1);  // 8-bit letters are compared as they are
    EXPECT_EQ(list.Find("\xE4pfel"), nullptr);
    EXPECT_NE(list.Find("\xC4PFEL"), nullptr);
}

}  // namespace

namespace {

// Every byte value at every place of keys of every length up to 20: a key and its
// ASCII case variant hash alike, and an 8-bit letter is not folded.
TEST(KeyedListTest, HashFollowsTheCaseFoldingOfTheEquality) {
    const MiscFuncs::CaseInsensitiveHash hash;
    const MiscFuncs::CaseInsensitiveEqual equal;
    for (std::size_t length = 1; length <= 20; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            for (int c = 0; c < 256; ++c) {
                std::string a(length, 'q'), b(length, 'Q');
                a[at] = static_cast<char>(c);
                b[at] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
                ASSERT_TRUE(equal(a, b));
                ASSERT_EQ(hash(a), hash(b)) << "length " << length << " byte " << c << " at " << at;
            }
        }
    }
    EXPECT_NE(hash("\xC4pfel"), hash("\xE4pfel"));
    EXPECT_NE(hash("ab"), hash(std::string("ab\0", 3)));
}

}  // namespace
