// The real clearglp binary's command line: --help and --version answer without a
// display or a data folder; a wrong option prints the usage and ends with 2, also
// without touching a data folder.
#include <gtest/gtest.h>

#include "support/CommandLineRun.h"

namespace {

TEST(ClearCommandLine, HelpVersionAndWrongOptions) {
    testing_support::ExpectCommandLine("clearglp",
                                       {
                                           {{"--version"}, 0, "clearglp 1.0.0\n"},
                                           {{"--help"}, 0, "Usage: clearglp [--home DIR]"},
                                           {{"--home", "/nonexistent", "-h"}, 0, "Usage: clearglp [--home DIR]"},
                                           {{"-platform", "offscreen", "--bogus"}, 2, ""},
                                           {{"-platform", "offscreen", "--monitor"}, 2, ""},
                                           {{"-platform", "offscreen", "--home"}, 2, ""},
                                       },
                                       "Usage: clearglp", 15000);
}

}  // namespace
