#include "core/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using CommandLine::Action;

struct Case {
    std::vector<std::string> args;
    Action action;
    bool homeGiven;
    std::string home;
};

TEST(CommandLine, ParsesTheProgramsOptions) {
    const std::vector<CommandLine::Switch> extra = {{"--monitor", "show the connection monitor"}};
    const Case cases[] = {
        {{}, Action::Run, false, ""},
        {{"--home", "/tmp/x"}, Action::Run, true, "/tmp/x"},
        {{"--home=/tmp/y"}, Action::Run, true, "/tmp/y"},
        {{"--monitor", "--home", "d"}, Action::Run, true, "d"},
        {{"--help"}, Action::Help, false, ""},
        {{"-h", "--bogus"}, Action::Help, false, ""},
        {{"--version"}, Action::Version, false, ""},
        {{"--home"}, Action::Error, false, ""},
        {{"--home="}, Action::Error, false, ""},
        {{"--bogus"}, Action::Error, false, ""},
        {{"stray"}, Action::Error, false, ""},
        {{"--home", "d", "--bogus"}, Action::Error, true, "d"},
    };
    for (const Case& c : cases) {
        const auto p = CommandLine::Parse(c.args, extra);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(p.action, c.action);
        EXPECT_EQ(p.homeGiven, c.homeGiven);
        EXPECT_EQ(p.home, c.home);
        if (c.action == Action::Error) {
            EXPECT_FALSE(p.error.empty());
        }
    }
    EXPECT_EQ(CommandLine::Parse({"--monitor"}, extra).switches, std::vector<std::string>{"--monitor"});
    EXPECT_EQ(CommandLine::Parse({"--monitor"}).action, Action::Error);
}

TEST(CommandLine, EarlyActionSeesOnlyHelpAndVersion) {
    EXPECT_EQ(CommandLine::EarlyAction({"-platform", "offscreen", "--version"}), Action::Version);
    EXPECT_EQ(CommandLine::EarlyAction({"-platform", "offscreen"}), Action::Run);
    EXPECT_EQ(CommandLine::EarlyAction({"--", "--help"}), Action::Run);
}

TEST(CommandLine, UsageAndVersionTexts) {
    const std::string usage = CommandLine::UsageText("glimmerpost", "A mail filter.", {{"--monitor", "watch"}});
    EXPECT_EQ(usage.rfind("Usage: glimmerpost [--home DIR] [--monitor]\n", 0), 0u);
    EXPECT_NE(usage.find("  --monitor    watch\n"), std::string::npos);
    EXPECT_NE(usage.find("--version"), std::string::npos);
    EXPECT_EQ(CommandLine::VersionLine("clearglp"), "clearglp 1.0.0");
}

}  // namespace
