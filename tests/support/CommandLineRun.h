#pragma once
// Runs one of the real programs the build made (app/<name>) with arguments and an
// environment of the test's, and checks its command line: the output, the exit code,
// and that no data folder was made. Header only: the test programs that run a real
// binary need nothing else linked.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

inline QString ProgramPath(const std::string& name) {
    return QString::fromStdString((std::filesystem::path(GLP_BINARY_DIR) / "app" / name).string());
}

struct ProgramRun {
    bool finished = false;  // ended before the deadline
    bool normalExit = false;
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the program to its end (killed at the deadline); the environment is the
// system's with `set` added and `unset` removed.
inline ProgramRun RunProgram(const std::string& name, const QStringList& args,
                             const std::vector<std::pair<QString, QString>>& set, const QStringList& unset,
                             int deadlineMs) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [key, value] : set) env.insert(key, value);
    for (const QString& key : unset) env.remove(key);
    p.setProcessEnvironment(env);
    p.start(ProgramPath(name), args);
    ProgramRun run;
    run.finished = p.waitForFinished(deadlineMs);
    if (!run.finished) {
        p.kill();
        p.waitForFinished(deadlineMs);
    }
    run.normalExit = run.finished && p.exitStatus() == QProcess::NormalExit;
    run.exitCode = run.normalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput().toStdString();
    run.err = p.readAllStandardError().toStdString();
    return run;
}

struct CommandLineCase {
    QStringList args;
    int code;
    const char* out;  // what standard output begins with
};

// Each case runs without a display and with GLIMMERPOST_HOME on a folder that does not
// exist: it must end with its code and output, leave that folder unmade, and a wrong
// command line (code 2) must print `usage` on standard error.
inline void ExpectCommandLine(const std::string& name, const std::vector<CommandLineCase>& cases,
                              const std::string& usage, int deadlineMs) {
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("glp-" + name + "-cmdline-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    for (const CommandLineCase& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProgramRun run = RunProgram(name, c.args, {{"GLIMMERPOST_HOME", QString::fromStdString(home.string())}},
                                          {"DISPLAY", "QT_QPA_PLATFORM"}, deadlineMs);
        ASSERT_TRUE(run.finished);
        EXPECT_TRUE(run.normalExit);
        EXPECT_EQ(run.exitCode, c.code);
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out;
        if (c.code == 2) {
            EXPECT_NE(run.err.find(usage), std::string::npos) << run.err;
        }
        EXPECT_FALSE(std::filesystem::exists(home));
    }
}

}  // namespace testing_support
