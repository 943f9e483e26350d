#include "platform/ProgramMain.h"

namespace platform {

int RunProgramMain(int argc, char** argv, const CommandLine::Usage& usage,
                   const std::function<int(QApplication&, const CommandLine::Parsed&)>& run) {
    const CommandLine::Action early = CommandLine::EarlyAction(CommandLine::ArgumentsOf(argc, argv));
    if (early != CommandLine::Action::Run) return CommandLine::Answer(usage, early);
    QApplication app(argc, argv);
    // The toolkit has taken its own options out of the list by now.
    const CommandLine::Parsed parsed = CommandLine::Parse(CommandLine::ArgumentsOf(argc, argv), usage.extra);
    if (parsed.action != CommandLine::Action::Run) return CommandLine::Answer(usage, parsed.action, parsed.error);
    return run(app, parsed);
}

int RunServiceMain(int argc, char** argv, const CommandLine::Usage& usage,
                   const std::function<int(QCoreApplication&, const std::vector<std::string>&)>& run) {
    const CommandLine::Action early = CommandLine::EarlyAction(CommandLine::ArgumentsOf(argc, argv));
    if (early != CommandLine::Action::Run) return CommandLine::Answer(usage, early);
    QCoreApplication app(argc, argv);
    return run(app, CommandLine::ArgumentsOf(argc, argv));
}

}  // namespace platform
