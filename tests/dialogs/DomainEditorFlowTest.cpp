// The domains page with the real domain editor: what the editor confirms (trimmed)
// is what Domains.ini holds, and a refusal keeps the editor open.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>

#include "EditorFlowFixture.h"
#include "dialogs/AddDomainForm.h"
#include "mainwindow/DomainsPage.h"

namespace {

using dialogs::AddDomainForm;

using DomainEditorFlowTest = testing_support::EditorFlowTest<AddDomainForm>;

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
