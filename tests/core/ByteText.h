#pragma once
// Text from byte values, for the tests of byte-wise codes (digests, scrambling).

#include <initializer_list>
#include <string>

namespace testing_support {

inline std::string bytes(std::initializer_list<int> codes) {
    std::string s;
    for (int c : codes) s += static_cast<char>(c);
    return s;
}

}  // namespace testing_support
