#include "core/AutoStart.h"

#include <cstdlib>
#include <string>

#include "TempFolder.h"
#include "core/Registry.h"

namespace {

using testing_support::ReadFile;
namespace fs = std::filesystem;

class AutoStartTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        Registry::SetRegistryFile(dir() / "registry.reg");
    }
    void TearDown() override {
        Registry::SetRegistryFile({});
        TempFolderTest::TearDown();
    }
    fs::path desktopFile() const { return dir() / "config" / "autostart" / "glimmerpost.desktop"; }
};

TEST_F(AutoStartTest, OnSetsTheRunValueAndTheDesktopEntryOffRemovesBoth) {
    ASSERT_TRUE(AutoStart::SetStartWithWindows(true, "/opt/glimmerpost/bin/glimmerpost", desktopFile()));
    EXPECT_EQ(AutoStart::RunValue(), "/opt/glimmerpost/bin/glimmerpost");
    const Registry::RegistryValues values = Registry::EnumRegistryValues(AutoStart::kRunKey);
    ASSERT_NE(values.Find("Glimmerpost"), nullptr);
    EXPECT_EQ(values.Find("Glimmerpost")->type, RegFile::kRegSz);
    EXPECT_EQ(ReadFile(desktopFile()),
              "[Desktop Entry]\nType=Application\nName=Glimmerpost\nExec=/opt/glimmerpost/bin/glimmerpost\n"
              "Terminal=false\nX-GNOME-Autostart-enabled=true\n");

    ASSERT_TRUE(AutoStart::SetStartWithWindows(false, "", desktopFile()));
    EXPECT_EQ(AutoStart::RunValue(), "");
    EXPECT_FALSE(fs::exists(desktopFile()));
    // Switching off what is already off succeeds.
    EXPECT_TRUE(AutoStart::SetStartWithWindows(false, "", desktopFile()));
}

TEST_F(AutoStartTest, ExecLineQuotesAndEscapesThePath) {
    struct Case { const char* path; const char* home; const char* exec; };
    const Case cases[] = {
        {"/usr/bin/glimmerpost", "", "Exec=/usr/bin/glimmerpost\n"},
        {"/home/a b/glimmerpost", "", "Exec=\"/home/a b/glimmerpost\"\n"},
        {"/opt/$x/\"q\"", "", "Exec=\"/opt/\\\\$x/\\\\\"q\\\\\"\"\n"},
        {"/opt/100%/g", "", "Exec=/opt/100%%/g\n"},
        {"/usr/bin/glimmerpost", "/srv/mail data", "Exec=/usr/bin/glimmerpost --home \"/srv/mail data\"\n"},
        {"/usr/bin/glimmerpost", "/srv/m", "Exec=/usr/bin/glimmerpost --home /srv/m\n"},
    };
    for (const Case& c : cases)
        EXPECT_NE(AutoStart::DesktopEntryText(c.path, c.home).find(c.exec), std::string::npos) << c.path;
    EXPECT_EQ(AutoStart::DesktopEntryText("/bin/x\nExec=/bin/evil"), "");
    EXPECT_EQ(AutoStart::DesktopEntryText("/bin/x", "/srv\nExec=/bin/evil"), "");
    EXPECT_EQ(AutoStart::DesktopEntryText(""), "");
    EXPECT_FALSE(AutoStart::SetStartWithWindows(true, "/bin/x\n", desktopFile()));
    EXPECT_FALSE(fs::exists(desktopFile()));
}

TEST_F(AutoStartTest, DefaultDesktopFileFollowsXdgConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(AutoStart::DefaultDesktopFile(), fs::path("/tmp/cfg/autostart/glimmerpost.desktop"));
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(AutoStart::DefaultDesktopFile(), fs::path(home) / ".config/autostart/glimmerpost.desktop");
    }
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
