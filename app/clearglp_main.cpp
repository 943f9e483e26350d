// ClearGLP: message boxes only; see clear_tool/ClearTool.h and clear_tool/ClearToolRun.h.
#include "clear_tool/ClearToolRun.h"
#include "platform/ProgramMain.h"

int main(int argc, char** argv) {
    return platform::RunProgramMain(argc, argv, modClear::kUsage, [](QApplication& a, const CommandLine::Parsed& p) {
        return modClear::RunProgram(a, p);
    });
}
