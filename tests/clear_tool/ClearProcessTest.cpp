// The real clearglp binary's command line: --help and --version answer without a
// display or a data folder; a wrong option prints the usage and ends with 2, also
// without touching a data folder.
#include <QProcess>
#include <QProcessEnvironment>

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(ClearCommandLine, HelpVersionAndWrongOptions) {
    const fs::path home = fs::temp_directory_path() / ("glp-clear-cmdline-" + std::to_string(::getpid()));
    fs::remove_all(home);
    struct Case {
        QStringList args;
        int code;
        const char* out;
    };
    const Case cases[] = {
        {{"--version"}, 0, "clearglp 1.0.0\n"},
        {{"--help"}, 0, "Usage: clearglp [--home DIR]"},
        {{"--home", "/nonexistent", "-h"}, 0, "Usage: clearglp [--home DIR]"},
        {{"-platform", "offscreen", "--bogus"}, 2, ""},
        {{"-platform", "offscreen", "--monitor"}, 2, ""},
        {{"-platform", "offscreen", "--home"}, 2, ""},
    };
    for (const Case& c : cases) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GLIMMERPOST_HOME", QString::fromStdString(home.string()));
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        p.start(QString::fromStdString((fs::path(GLP_BINARY_DIR) / "app" / "clearglp").string()), c.args);
        ASSERT_TRUE(p.waitForFinished(15000));
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), c.code);
        const std::string out = p.readAllStandardOutput().toStdString();
        EXPECT_EQ(out.rfind(c.out, 0), 0u) << out;
        if (c.code == 2) {
            const QByteArray err = p.readAllStandardError();
            EXPECT_NE(err.indexOf("Usage: clearglp"), -1) << err.toStdString();
        }
        EXPECT_FALSE(fs::exists(home));
    }
}

}  // namespace
