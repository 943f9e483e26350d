// The dialogs plug into a program before its start-up and are released after it.
#include <gtest/gtest.h>

#include "dialogs/DialogsAttach.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramStartup.h"

TEST(DialogsAttach, AttachesToAProgramAndOutlivesIt) {
    mainwindow::ProgramEngines engines;
    dialogs::ProgramDialogs dialogs;
    {
        mainwindow::GlimmerpostProgram program;
        engines.Attach(program);
        dialogs.Attach(program, engines);
    }
    SUCCEED();
}
