#include "core/CommandLine.h"

#include <algorithm>
#include <cstdio>

#include "core/ProductInfo.h"

namespace CommandLine {
namespace {

bool isHelp(std::string_view a) { return a == "--help" || a == "-h"; }
bool isVersion(std::string_view a) { return a == "--version"; }

}  // namespace

Action EarlyAction(const std::vector<std::string>& arguments) {
    for (const std::string& a : arguments) {
        if (a == "--") break;
        if (isHelp(a)) return Action::Help;
        if (isVersion(a)) return Action::Version;
    }
    return Action::Run;
}

Parsed Parse(const std::vector<std::string>& arguments, const std::vector<Switch>& extra) {
    Parsed p;
    const auto fail = [&p](std::string why) {
        p.action = Action::Error;
        p.error = std::move(why);
        return p;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (isHelp(a)) return p.action = Action::Help, p;
        if (isVersion(a)) return p.action = Action::Version, p;
        if (a == "--home" || a.rfind("--home=", 0) == 0) {
            std::string value;
            if (a == "--home") {
                if (i + 1 >= arguments.size()) return fail("--home needs a folder");
                value = arguments[++i];
            } else {
                value = a.substr(7);
            }
            if (value.empty()) return fail("--home needs a folder");
            p.homeGiven = true;
            p.home = value;
            continue;
        }
        const auto known = std::find_if(extra.begin(), extra.end(), [&a](const Switch& s) { return s.name == a; });
        if (known != extra.end()) {
            p.switches.push_back(a);
            continue;
        }
        return fail("unknown option: " + a);
    }
    return p;
}

std::string UsageText(std::string_view program, std::string_view summary, const std::vector<Switch>& extra) {
    std::string t;
    t += "Usage: ";
    t += program;
    t += " [--home DIR]";
    for (const Switch& s : extra) {
        t += " [";
        t += s.name;
        t += "]";
    }
    t += "\n       ";
    t += program;
    t += " --help | --version\n\n";
    t += summary;
    t += "\n\n";
    t += "  --home DIR   the data folder (default: $GLIMMERPOST_HOME, else\n"
         "               $XDG_DATA_HOME/glimmerpost, else ~/.local/share/glimmerpost)\n";
    for (const Switch& s : extra) {
        std::string name(s.name);
        name.resize(std::max<std::size_t>(name.size() + 1, 13), ' ');
        t += "  " + name + std::string(s.help) + "\n";
    }
    t += "  --help       print this help and exit\n"
         "  --version    print the version and exit\n";
    return t;
}

std::string VersionLine(std::string_view program) {
    return std::string(program) + " " + ProductInfo::FullVersionText();
}

int Answer(const Usage& usage, Action action, std::string_view error) {
    const std::string text = UsageText(usage.program, usage.summary, usage.extra);
    switch (action) {
    case Action::Help: std::fputs(text.c_str(), stdout); return 0;
    case Action::Version: std::printf("%s\n", VersionLine(usage.program).c_str()); return 0;
    default:
        std::fprintf(stderr, "%s: %s\n%s", std::string(usage.program).c_str(), std::string(error).c_str(),
                     text.c_str());
        return 2;
    }
}

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
    std::vector<std::string> out;
    for (int i = 1; i < argc; ++i) out.emplace_back(argv[i] ? argv[i] : "");
    return out;
}

}  // namespace CommandLine
