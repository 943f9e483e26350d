#include "core/SenderFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Each record as "address|name|date|reason|level|unsent".
std::vector<std::string> parse(std::string text) {
    std::vector<std::string> out;
    SenderFile::Parse(text, [&](const SenderFile::SenderRecord& r) {
        out.push_back(std::string(r.address) + "|" + std::string(r.name) + "|" + std::string(r.modificationDate) +
                      "|" + std::string(r.authReason) + "|" + std::string(r.accessLevel) + "|" +
                      std::string(r.unsentRegRequest));
    });
    return out;
}

TEST(SenderFileTest, ReadsLinesAsTheSettingsFilesDo) {
    struct Case {
        const char* text;
        std::vector<std::string> records;
    } cases[] = {
        {"", {}},
        {"Name=before any section\r\n[a@x.com]\r\nAccessLevel=1\r\n", {"a@x.com||||1|"}},
        {"\xEF\xBB\xBF[a@x.com]\nName=A\n", {"a@x.com|A||||"}},
        {" \t[ A@X.com ] trailing\r\n  NAME = Ann Lee \t\r\nmodificationdate=1,5\r\n", {"A@X.com|Ann Lee|1,5|||"}},
        {"[a@x.com]\r\nAccessLevel=1\r\naccesslevel=3\r\n;AuthReason=c\r\n=x\r\nno equals\r\nOther=1\r\n",
         {"a@x.com||||1|"}},
        {"[a@x.com]\r\nAuthReason=a=b\r\nUnsentRegRequest=/p/1.emr", {"a@x.com|||a=b||/p/1.emr"}},
        {"[a]b]\r\n[]\r\n[\r\n", {"a]b|||||", "|||||"}},
        {"[a@x.com]\r\nName=x\ry\r\n[a@x.com]\r\nName=second\r\n", {"a@x.com|x y||||", "a@x.com|second||||"}},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(c.text), c.records) << c.text;
}

TEST(SenderFileTest, NulBytesCountAsBlanks) {
    const std::string text("[a@x.com]\r\nName=x\0y\r\n", 22);
    EXPECT_EQ(parse(text), std::vector<std::string>{"a@x.com|x y||||"});
}

}  // namespace
