#pragma once
// The command line of the two programs: `--home DIR` (or `--home=DIR`) names the data
// folder; `--help` (-h) and `--version` print and end the program at once, before any
// window or data folder is made; anything else is an error that prints the usage and
// ends with exit code 2.
//
// `extra` names further switches a program takes (each without a value).

#include <string>
#include <string_view>
#include <vector>

namespace CommandLine {

enum class Action { Run, Help, Version, Error };

struct Parsed {
    Action action = Action::Run;
    bool homeGiven = false;
    std::string home;                 // the value of --home, when given
    std::vector<std::string> switches;  // the extra switches given, as written
    std::string error;                // what was wrong, for Action::Error
};

struct Switch {
    std::string_view name;  // "--monitor"
    std::string_view help;  // one line for the usage text
};

// arguments: without the program's name.
Parsed Parse(const std::vector<std::string>& arguments, const std::vector<Switch>& extra = {});
// Only whether --help or --version is asked for; everything else is left for later
// (the toolkit may still take its own options out of the list).
Action EarlyAction(const std::vector<std::string>& arguments);

// The usage text of a program: its name, what it does in a line, its switches.
std::string UsageText(std::string_view program, std::string_view summary, const std::vector<Switch>& extra = {});
// "<program> <major>.<minor>.<revision>"
std::string VersionLine(std::string_view program);

// What a program says about itself on its command line.
struct Usage {
    std::string_view program;  // "glimmerpost"
    std::string_view summary;  // what it does, for the usage text
    std::vector<Switch> extra;
};
// Answers an action other than Run: --help prints the usage and --version the version
// line on standard output, giving 0; an error prints "<program>: <error>" and the
// usage on standard error, giving 2.
int Answer(const Usage& usage, Action action, std::string_view error = {});

// argv[1..argc) as a list.
std::vector<std::string> ArgumentsOf(int argc, char** argv);

}  // namespace CommandLine
