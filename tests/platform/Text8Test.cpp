// 8-bit texts through the widgets: what a field gives back for what it was filled with.
#include "platform/Text8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Text8Test, WhatWasNotEditedComesBackByteForByte) {
    struct Case {
        const char* name;
        std::string original;
        QString shown;  // what the field shows at OK
        std::string stored;
    };
    const std::string latin1("caf\xe9", 4), utf8("caf\xc3\xa9", 5);
    const Case cases[] = {
        {"Latin-1 bytes, unedited", latin1, platform::FromText8(latin1), latin1},
        {"UTF-8 bytes, unedited", utf8, platform::FromText8(utf8), utf8},
        {"Latin-1 bytes, a letter added", latin1, platform::FromText8(latin1) + "s", latin1 + "s"},
        {"Latin-1 bytes, a character beyond Latin-1 added", latin1, platform::FromText8(latin1) + QChar(0x20ac),
         utf8 + "\xe2\x82\xac"},
        {"UTF-8 bytes, a letter added", utf8, platform::FromText8(utf8) + "s", utf8 + "s"},
        {"a blank field typed in", "", QString::fromUtf8("\xc3\xa9"), "\xc3\xa9"},
        {"bytes that are no text", std::string("\xff\x01", 2), platform::FromText8(std::string("\xff\x01", 2)),
         std::string("\xff\x01", 2)},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::ToText8(c.shown, c.original), c.stored) << c.name;
}

}  // namespace
