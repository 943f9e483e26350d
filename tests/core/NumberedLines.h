#pragma once
// Log lines "line 00001 <what>" padded to 38 characters, with CR LF: 40 bytes a line,
// for the tests of the log trim.

#include <cstdio>
#include <string>

namespace testing_support {

inline std::string NumberedLines(int first, int last, const char* what) {
    std::string out;
    for (int i = first; i <= last; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "line %05d %-27s\r\n", i, what);
        out += buf;
    }
    return out;
}

}  // namespace testing_support
