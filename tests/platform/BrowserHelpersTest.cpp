// Finding the default browser: $BROWSER first, then the desktop's opener, only for
// web pages; and the checks the forms make on what was found.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/BrowserHelpers.h"

namespace {

class BrowserHelpersTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = qgetenv("PATH");
        savedBrowser_ = qgetenv("BROWSER");
        ASSERT_TRUE(bin_.isValid());
        qputenv("PATH", bin_.path().toUtf8());
    }
    void TearDown() override {
        qputenv("PATH", savedPath_);
        if (savedBrowser_.isNull()) qunsetenv("BROWSER");
        else qputenv("BROWSER", savedBrowser_);
    }
    // An executable named `name` on the test's PATH; its full path.
    std::string program(const QString& name) {
        QFile f(QDir(bin_.path()).filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return f.fileName().toStdString();
    }

    QTemporaryDir bin_;
    QByteArray savedPath_, savedBrowser_;
};

TEST_F(BrowserHelpersTest, BrowserVariableThenTheDesktopOpener) {
    qunsetenv("BROWSER");
    EXPECT_EQ(BrowserHelpers::FindAssociatedProgram("htm"), "");
    EXPECT_FALSE(BrowserHelpers::HasDefaultBrowser());

    const std::string opener = program("xdg-open");
    EXPECT_EQ(BrowserHelpers::FindAssociatedProgram("htm"), opener);
    EXPECT_EQ(BrowserHelpers::FindAssociatedProgram("HTML"), opener);
    EXPECT_EQ(BrowserHelpers::FindAssociatedProgram("txt"), "") << "only web pages";

    const std::string browser = program("firefox");
    qputenv("BROWSER", "firefox --new-window:chromium");
    EXPECT_EQ(BrowserHelpers::FindAssociatedProgram("htm"), browser);
    qputenv("BROWSER", "no-such-browser");
    EXPECT_EQ(BrowserHelpers::FindAssociatedProgram("htm"), opener);
    EXPECT_TRUE(BrowserHelpers::HasDefaultBrowser());
    EXPECT_FALSE(BrowserHelpers::IsInternetExplorerDefault());
}

TEST_F(BrowserHelpersTest, ChecksOnTheBrowsersPath) {
    const struct {
        std::string path;
        bool hasBrowser, internetExplorer;
    } cases[] = {{"", false, false},
                 {"/bin/short", false, false},
                 {"  /usr/bin/firefox  ", true, false},
                 {"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE", true, true}};
    for (const auto& c : cases) {
        BrowserHelpers::SetAssociatedProgramFinder([&c](std::string_view) { return c.path; });
        EXPECT_EQ(BrowserHelpers::HasDefaultBrowser(), c.hasBrowser) << c.path;
        EXPECT_EQ(BrowserHelpers::IsInternetExplorerDefault(), c.internetExplorer) << c.path;
    }
    BrowserHelpers::SetAssociatedProgramFinder(nullptr);
}

}  // namespace
