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

#include <QApplication>
#include <QTabWidget>
#include <QTimer>

#include "dialogs/AccountsOptionsDialog.h"
#include "dialogs/AuthSettingsDialog.h"
#include "mainwindow/ProgramTestSupport.h"

namespace {

class OptionsAttachTest : public testing_support::ProgramTest {};

TEST_F(OptionsAttachTest, TheOptionsButtonsOpenTheDialogOnTheirTabAndTheAuthenticationDialogHasItsSlot) {
    addAccount();
    mainwindow::ProgramEngines engines;
    dialogs::ProgramDialogs dialogs;
    auto& program = makeProgram(true);
    dialogs.Attach(program, engines);
    ASSERT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
    ASSERT_NE(dialogs::AuthSettingsDialog::Loaded(), nullptr);
    for (int tab = 1; tab <= 4; ++tab) {
        int shownTab = 0;
        QString caption;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<dialogs::AccountsOptionsDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            caption = d->windowTitle();
            shownTab = d->AccountsOptionsTabStrip()->currentIndex() + 1;
            d->reject();
        });
        program.FormHooks().showOptions(tab);
        EXPECT_EQ(shownTab, tab);
        EXPECT_EQ(caption, "E-mail accounts options");
    }
    program_.reset();
    EXPECT_EQ(dialogs::AuthSettingsDialog::Loaded(), nullptr);
}

}  // namespace
