// The domains page with the real domain editor: what the editor confirms (trimmed)
// is what Domains.ini holds, and a refusal keeps the editor open.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "dialogs/AddDomainForm.h"
#include "dialogs/DialogsAttach.h"
#include "mainwindow/DomainsPage.h"
#include "mainwindow/PagesTestSupport.h"

namespace {

using dialogs::AddDomainForm;

class DomainEditorFlowTest : public testing_support::PagesTest {
protected:
    void TearDown() override {
        program_.reset();
        dialogs_.reset();
        PagesTest::TearDown();
    }
    void start() {
        dialogs_ = std::make_unique<dialogs::ProgramDialogs>();
        startWithPages([this](mainwindow::GlimmerpostProgram& p) { dialogs_->Attach(p, engines_); });
    }
    // Runs the steps on the editor in turn, each while it is shown modally (it stays
    // open after a refusal).
    void inEditor(std::vector<std::function<void(AddDomainForm&)>> steps) {
        steps_ = std::move(steps);
        auto* timer = new QTimer(context_.get());
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [this, timer] {
            auto* form = qobject_cast<AddDomainForm*>(QApplication::activeModalWidget());
            if (!form) return;
            if (steps_.empty()) {
                timer->stop();
                timer->deleteLater();
                return;
            }
            auto step = std::move(steps_.front());
            steps_.erase(steps_.begin());
            step(*form);
        });
        timer->start();
    }

    std::unique_ptr<dialogs::ProgramDialogs> dialogs_;
    std::vector<std::function<void(AddDomainForm&)>> steps_;
};

TEST_F(DomainEditorFlowTest, AnAddedDomainIsStoredTrimmedAfterTheEditorRefusedABadOne) {
    start();
    answerer_ = [](const Prompt::Request& r) {
        return r.buttons == Prompt::Buttons::YesNo ? Prompt::Answer::No : Prompt::Answer::OK;
    };
    inEditor({[](AddDomainForm& form) {
                  form.tDomainName()->setText("nodot");
                  form.OkButton()->click();
              },
              [](AddDomainForm& form) {
                  EXPECT_TRUE(form.isVisible());
                  form.tDomainName()->setText("  friends.org ");
                  form.tDescription()->setText(" kin ");
                  form.OkButton()->click();
              }});
    program_->MainForm()->domainsPage()->button("DomainAdd")->trigger();
    EXPECT_EQ(promptTexts(),
              (std::vector<std::string>{
                  "Entered domain is invalid!",
                  "Would you like Glimmerpost to search for senders from this domain and approve them?"}));
    DomainLists lists;
    CDomains(ProgramFiles::DomainsIniPath().string()).LoadAllDomains(lists);
    EXPECT_EQ(lists[1], (std::vector<std::string>{"friends.org\tkin"}));
}

}  // namespace
