// Glimmerpost: one instance per data folder, started and ended as one whole
// (app/ProgramRuns.h).
#include "app/ProgramRuns.h"
#include "platform/ProgramMain.h"

int main(int argc, char** argv) {
    return platform::RunProgramMain(argc, argv, app::kGlimmerpostUsage,
                                    [](QApplication& a, const CommandLine::Parsed& p) { return app::RunGlimmerpost(a, p); });
}
