// The logs are cut at shut-down to their newest lines: a large message log keeps the
// lines that fit in MaxLogSize, and the next start finds them.
#include <cstdio>

#include "ProgramTestSupport.h"
#include "core/NumberedLines.h"
#include "core/ProgramFiles.h"

namespace {

using Result = mainwindow::GlimmerpostProgram::StartResult;
using testing_support::ProgramTest;
using testing_support::ReadFile;
using testing_support::WriteFile;

// Lines of 38 characters and CR LF: 40 bytes each.
std::string numberedLines(int first, int last) { return testing_support::NumberedLines(first, last, "of the message log"); }

TEST_F(ProgramTest, AShutDownKeepsTheNewestLogLinesThatFitInTheLimit) {
    addAccount();
    WriteFile(ProgramFiles::MessageLogPath(), numberedLines(1, 20000));  // 800,000 bytes
    ASSERT_EQ(start(), Result::Running);
    program_->RequestShutDown();
    program_.reset();
    // MaxLogSize is blank: 32 KB, that is the newest 819 lines.
    const std::string kept = ReadFile(ProgramFiles::MessageLogPath());
    ASSERT_EQ(kept.size(), 819u * 40u);
    EXPECT_EQ(kept, numberedLines(19182, 20000));

    ASSERT_EQ(start(), Result::Running);
    EXPECT_EQ(ReadFile(ProgramFiles::MessageLogPath()).substr(0, kept.size()), kept);
    program_->RequestShutDown();
}

}  // namespace
