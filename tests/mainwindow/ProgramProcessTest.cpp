// The real program, end to end: it starts on a temporary data folder, a second start
// on the same folder ends at once and leaves the first one's files alone, and SIGTERM
// takes the orderly end with exit code 0.
#include <QProcess>
#include <QProcessEnvironment>

#include <filesystem>
#include <map>
#include <string>

#include "core/CIniFile.h"
#include "core/ProgramFiles.h"
#include "core/TempFolder.h"
#include "platform/EventWait.h"
#include "support/CommandLineRun.h"
#include "support/Peers.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr qint64 kStartMs = 20000;  // generous for the sanitizer build
constexpr qint64 kEndMs = 15000;

struct FileState {
    std::string bytes;
    fs::file_time_type written;
    bool operator==(const FileState&) const = default;
};

std::map<std::string, FileState> snapshot(const fs::path& folder) {
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = {ReadFile(entry.path()), entry.last_write_time()};
    return files;
}

class ProgramProcessTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::InstallEventPump();
        CIniFile accounts((dir() / "accounts.ini").string());
        accounts.Value("me@example.com", "AccountEnabled", "0");
        // The engines listen: on ports of their own, never on the defaults.
        CIniFile options(ProgramFiles::OptionsIniPath().string());
        options.Value("options", "POP3ServerPort", std::to_string(pop3Port.port()));
        options.Value("options", "SMTPServerPort", std::to_string(smtpPort.port()));
        for (const char* leaf : {"InBox", "OutBox", "WaitingAuth", "Recycled"})
            fs::create_directories(dir() / "accounts" / "me@example.com" / "MailDir" / leaf);
        // An old log above the default limit of 32 KB, for the trim at the end.
        std::string old;
        for (int i = 0; old.size() < 40000; ++i) old += "12-01-2026 10:00:00  i old line " + std::to_string(i) + "\r\n";
        WriteFile(dir() / "glplog.txt", old);
    }

    void startProgram(QProcess& p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("GLIMMERPOST_HOME");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(testing_support::ProgramPath("glimmerpost"), {"--home", QString::fromStdString(dir().string())});
    }

    // The engines' ports, held for the program until the test ends.
    const testing_support::ReservedPort pop3Port, smtpPort;
};

TEST_F(ProgramProcessTest, StartsOnceEndsOnSigtermAndASecondStartTouchesNothing) {
    QProcess first;
    startProgram(first);
    ASSERT_TRUE(first.waitForStarted(kStartMs));
    ASSERT_TRUE(platform::WaitUntil(
        [&] { return fs::exists(dir() / "glpcs.flg") || first.state() == QProcess::NotRunning; }, kStartMs));
    ASSERT_EQ(first.state(), QProcess::Running);
    EXPECT_TRUE(logHas("glimmerpost 1.0 is loading"));
    EXPECT_TRUE(logHas("glimmerpost has been loaded successfuly"));
    const auto before = snapshot(dir());

    QProcess second;
    startProgram(second);
    ASSERT_TRUE(second.waitForStarted(kStartMs));
    ASSERT_TRUE(platform::WaitUntil([&] { return second.state() == QProcess::NotRunning; }, kEndMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(snapshot(dir()) == before) << "the first instance's files are as they were";
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    ASSERT_TRUE(platform::WaitUntil([&] { return first.state() == QProcess::NotRunning; }, kEndMs));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_FALSE(fs::exists(dir() / "glpcs.flg"));
    const CIniFile options((dir() / "glimmerpost.ini").string());
    EXPECT_FALSE(options.Value("display", "windowstate").empty());
    EXPECT_FALSE(options.Value("display", "startupw").empty());
    const std::string log = programLog();
    EXPECT_TRUE(log.ends_with(" i glimmerpost closed\r\n"));
    EXPECT_LT(log.size(), 36000u) << "trimmed to about 32 KB";
    EXPECT_EQ(log.rfind("12-01-2026", 0), 0u) << "cut at a line boundary";
    EXPECT_NE(log.find("glimmerpost has been loaded successfuly"), std::string::npos) << "the newest lines stay";
    EXPECT_FALSE(fs::exists(dir() / "tmplog.txt"));
}

// --help and --version answer without a display or a data folder; a wrong option
// prints the usage and ends with 2, also without touching a data folder.
TEST(ProgramCommandLine, HelpVersionAndWrongOptions) {
    testing_support::ExpectCommandLine("glimmerpost",
                                       {
                                           {{"--version"}, 0, "glimmerpost 1.0.0\n"},
                                           {{"--help"}, 0, "Usage: glimmerpost [--home DIR]"},
                                           {{"-platform", "offscreen", "--bogus"}, 2, ""},
                                           {{"-platform", "offscreen", "--home"}, 2, ""},
                                       },
                                       "Usage: glimmerpost", kEndMs);
}

}  // namespace
