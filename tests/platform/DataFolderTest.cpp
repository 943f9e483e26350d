#include "platform/DataFolder.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

struct EnvGuard {
    explicit EnvGuard(const char* name) : name_(name), had_(qEnvironmentVariableIsSet(name)),
                                          old_(qgetenv(name)) {}
    ~EnvGuard() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }
    const char* name_;
    bool had_;
    QByteArray old_;
};

TEST(DataFolder, HomeArgumentWinsOverEnvironment) {
    EnvGuard g("GLIMMERPOST_HOME");
    qputenv("GLIMMERPOST_HOME", "/tmp/from-env");
    EXPECT_EQ(platform::ResolveDataFolder({"glimmerpost", "--home", "/tmp/from-arg"}), "/tmp/from-arg");
    EXPECT_EQ(platform::ResolveDataFolder({"glimmerpost", "--home=/tmp/x"}), "/tmp/x");
    EXPECT_EQ(platform::ResolveDataFolder({"glimmerpost"}), "/tmp/from-env");
}

TEST(DataFolder, FallsBackToXdgDataHome) {
    EnvGuard g("GLIMMERPOST_HOME"), x("XDG_DATA_HOME");
    qunsetenv("GLIMMERPOST_HOME");
    qputenv("XDG_DATA_HOME", "/tmp/xdg");
    EXPECT_EQ(platform::ResolveDataFolder({"glimmerpost"}), "/tmp/xdg/glimmerpost");
    qputenv("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(platform::ResolveDataFolder({"glimmerpost"}), QDir::homePath() + "/.local/share/glimmerpost");
}

}  // namespace
