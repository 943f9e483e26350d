#include "platform/WebPages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TempFolder.h"

namespace {

class WebPagesTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::SetWebPageOpener([this](const QUrl& url) {
            opened_.push_back(url.toString().toStdString());
            return true;
        });
    }
    void TearDown() override {
        platform::SetWebPageOpener(nullptr);
        TempFolderTest::TearDown();
    }
    std::vector<std::string> opened_;
};

TEST_F(WebPagesTest, OnlyWebAddressesReachTheDesktop) {
    struct Case { std::string address; bool opens; };
    const Case cases[] = {
        {"https://glimmerpost.example/help?topic=1", true},
        {"  http://glimmerpost.example/  ", true},
        {"HTTPS://glimmerpost.example/", true},
        {"", false},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"glimmerpost.example", false},
        {"http://", false},
        {"https://glimmerpost.example/" + std::string(3000, 'a'), false},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::OpenWebPage(c.address), c.opens) << c.address.substr(0, 40);
    EXPECT_EQ(opened_.size(), 3u);
    EXPECT_NE(programLog().find("Not a web page address: file:///etc/passwd"), std::string::npos);
}

TEST_F(WebPagesTest, RefusedAddressIsLoggedOnOneLine) {
    EXPECT_FALSE(platform::OpenWebPage("ftp://x\r\nforged line"));
    const std::string log = programLog();
    EXPECT_NE(log.find("ftp://x forged line\r\n"), std::string::npos);
    EXPECT_EQ(log.find('\n'), log.size() - 1);
}

}  // namespace
