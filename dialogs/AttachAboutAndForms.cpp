// Attaches the about box and the feedback and recommendation forms to the main
// window's commands; the recommendation form lives in its EngineSet slot.
#include "core/ProductInfo.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/DialogsAttach.h"
#include "dialogs/FeedbackForms.h"
#include "mainwindow/ProgramStartup.h"

namespace dialogs {
namespace {

// The feedback form goes with the dialogs, at the latest.
struct FeedbackPart : ProgramDialogs::Part {
    ~FeedbackPart() override { CloseFeedback(); }
};

}  // namespace

void AttachAboutAndForms(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program) {
    dialogs.Keep<FeedbackPart>();
    RegisterTellAFriend(program);
    mainwindow::MainFormHooks& hooks = program.FormHooks();
    hooks.showAbout = [&program] {
        AboutDialog about(program.MainForm());
        about.exec();
    };
    hooks.sendFeedback = [] { ShowFeedback(ProductInfo::DisplayName()); };
    hooks.tellAFriend = [&program] { ShowTellAFriend(program, ProductInfo::DisplayName()); };
}

}  // namespace dialogs
