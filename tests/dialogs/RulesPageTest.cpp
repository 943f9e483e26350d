// The rules page with the real rule editor on the program's real rule set: every
// command is checked against Rules.ini read back through a rule set of its own.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "EditorFlowFixture.h"
#include "dialogs/MailRuleForm.h"
#include "mainwindow/RulesPage.h"

namespace {

using dialogs::MailRuleForm;

struct RuleFields {
    const char* name;
    const char* from;
    const char* to;
    const char* subject;
    RuleAction action;
};

class RulesPageTest : public testing_support::EditorFlowTest<MailRuleForm> {
protected:
    // Junk (From spam@, delete) and Ads (Subject offer, leave) in Rules.ini.
    static void listRules() {
        CMailRules rules(ProgramFiles::RulesIniPath().string(), ProgramFiles::OptionsIniPath().string());
        for (const RuleFields& f : {RuleFields{"Junk", "spam@", "", "", RuleAction::DeleteFromServer},
                                    RuleFields{"Ads", "", "", "offer", RuleAction::LeaveOnServer}}) {
            auto rule = std::make_shared<CRule>();
            rule->Name(f.name);
            rule->FromPattern(f.from);
            rule->SubjectPattern(f.subject);
            rule->Action(f.action);
            rules.Add(rule);
        }
        ASSERT_TRUE(rules.SaveRules());
    }

    mainwindow::RulesPage& page() { return *program_->MainForm()->rulesPage(); }
    std::vector<std::string> listed() {
        std::vector<std::string> out;
        for (int row = 0; row < page().lbRules()->count(); ++row)
            out.push_back(page().lbRules()->item(row)->text().toStdString());
        return out;
    }
    void selectRule(const char* name) {
        const auto found = page().lbRules()->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        found.front()->setSelected(true);
    }
    // The rules as Rules.ini holds them: "name|from|to|subject|action" in file order.
    static std::vector<std::string> stored() {
        CMailRules rules(ProgramFiles::RulesIniPath().string(), ProgramFiles::OptionsIniPath().string());
        std::vector<std::string> out;
        for (const std::string& name : rules.RuleNames()) {
            const auto r = rules.RuleByName(name);
            out.push_back(r->Name() + "|" + r->FromPattern() + "|" + r->ToPattern() + "|" + r->SubjectPattern() + "|" +
                          std::to_string(static_cast<int>(r->Action())));
        }
        return out;
    }

    static std::function<void(MailRuleForm&)> fill(const RuleFields& f) {
        return [f](MailRuleForm& form) {
            form.tRuleName()->setText(f.name);
            form.tFrom()->setText(f.from);
            form.tTo()->setText(f.to);
            form.tSubject()->setText(f.subject);
            (f.action == RuleAction::Accept             ? form.oAccept()
             : f.action == RuleAction::DeleteFromServer ? form.oDeleteFromServer()
                                                        : form.oLeaveOnServer())
                ->setChecked(true);
            form.OkButton()->click();
        };
    }
    static std::function<void(MailRuleForm&)> cancel() {
        return [](MailRuleForm& form) { form.CancelButton()->click(); };
    }

};

const std::vector<std::string> kListed = {"Junk|spam@|||0", "Ads|||offer|6"};

TEST_F(RulesPageTest, NewRuleCancelledOrConfirmed) {
    listRules();
    start();
    EXPECT_EQ(listed(), (std::vector<std::string>{"Junk", "Ads"}));

    inEditor({cancel()});
    page().bCreate()->click();
    EXPECT_EQ(editorSteps_, 1);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Junk", "Ads"}));
    EXPECT_EQ(stored(), kListed);
    EXPECT_EQ(program_->Rules()->Count(), 2u);

    // The new rule starts as Accept; the editor leaves it so.
    inEditor({[](MailRuleForm& form) {
        EXPECT_TRUE(form.oAccept()->isChecked());
        EXPECT_EQ(form.tRuleName()->text(), "");
        form.tRuleName()->setText("News");
        form.tTo()->setText(" me@ ");
        form.OkButton()->click();
    }});
    page().bCreate()->click();
    EXPECT_EQ(listed(), (std::vector<std::string>{"Junk", "Ads", "News"}));
    EXPECT_EQ(stored(), (std::vector<std::string>{"Junk|spam@|||0", "Ads|||offer|6", "News||me@||1"}));
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(RulesPageTest, ModifyRenamesInPlaceAndRefusesANameInUseInsideTheEditor) {
    listRules();
    start();
    selectRule("Ads");
    inEditor({fill({"junk", "", "", "bargain", RuleAction::LeaveOnServer}),
              [this](MailRuleForm& form) {
                  // Refused and still open; nothing was written into the rule.
                  EXPECT_EQ(promptTexts(), (std::vector<std::string>{
                                               "A rule named junk already exists. Please choose another name."}));
                  EXPECT_EQ(program_->Rules()->RuleByName("Ads")->SubjectPattern(), "offer");
                  form.CancelButton()->click();
              }});
    page().bModify()->click();
    EXPECT_EQ(editorSteps_, 2);
    EXPECT_EQ(stored(), kListed);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Junk", "Ads"}));

    prompts_.clear();
    selectRule("Junk");
    inEditor({fill({"Spam", "spam@", "", "casino", RuleAction::DeleteFromServer})});
    page().bModify()->click();
    EXPECT_EQ(listed(), (std::vector<std::string>{"Spam", "Ads"}));
    EXPECT_EQ(stored(), (std::vector<std::string>{"Ads|||offer|6", "Spam|spam@||casino|0"}));
    EXPECT_EQ(program_->Rules()->RuleByName("Junk"), nullptr);

    // A change of letter case only is the same rule.
    selectRule("Spam");
    inEditor({fill({"SPAM", "spam@", "", "casino", RuleAction::DeleteFromServer})});
    page().bModify()->click();
    EXPECT_EQ(listed(), (std::vector<std::string>{"SPAM", "Ads"}));
    EXPECT_EQ(stored().size(), 2u);
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(RulesPageTest, DeleteAsksWithNoAsDefault) {
    listRules();
    start();
    answerer_ = [](const Prompt::Request&) { return Prompt::Answer::No; };
    selectRule("Junk");
    page().bDelete()->click();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "Are you sure You want to delete rule\r\nJunk");
    EXPECT_EQ(prompts_[0].buttons, Prompt::Buttons::YesNo);
    EXPECT_EQ(prompts_[0].defaultButton, 2);
    EXPECT_EQ(stored(), kListed);

    answerer_ = [](const Prompt::Request&) { return Prompt::Answer::Yes; };
    page().bDelete()->click();
    EXPECT_EQ(listed(), (std::vector<std::string>{"Ads"}));
    EXPECT_EQ(stored(), (std::vector<std::string>{"Ads|||offer|6"}));
}

TEST_F(RulesPageTest, ModifyAndDeleteWithoutASelectionDoNothing) {
    listRules();
    start();
    page().lbRules()->clearSelection();
    page().bModify()->click();
    page().bDelete()->click();
    EXPECT_EQ(editorSteps_, 0);
    EXPECT_TRUE(prompts_.empty());
    EXPECT_EQ(stored(), kListed);
}

TEST_F(RulesPageTest, AShutDownWhileTheEditorIsOpenCancelsItAndSavesNothing) {
    listRules();
    start();
    selectRule("Junk");
    inEditor({[this](MailRuleForm& form) {
        form.tRuleName()->setText("Renamed");
        program_->RequestShutDown();
    }});
    page().bModify()->click();
    EXPECT_FALSE(program_->Rules() && program_->Rules()->RuleByName("Renamed"));
    ASSERT_TRUE(platform::WaitUntil([this] { return program_->shutDownDone(); }, 5000));
    EXPECT_EQ(stored(), kListed);
}

TEST_F(RulesPageTest, AFailedWriteOfRulesIniLosesNothingAndIsTold) {
    listRules();
    start();
    // Root writes through permissions: a folder that takes no new entries (the
    // immutable flag), or else a folder where Rules.ini should be, refuses the write.
    const bool folderLocked = makeReadOnly(dir() / "accounts");
    std::vector<std::string> listedBefore = listed();
    if (!folderLocked) {
        std::filesystem::remove(ProgramFiles::RulesIniPath());
        std::filesystem::create_directory(ProgramFiles::RulesIniPath());
    }
    answerer_ = [](const Prompt::Request& r) {
        return r.buttons == Prompt::Buttons::YesNo ? Prompt::Answer::Yes : Prompt::Answer::OK;
    };
    const std::string notWritten = "\r\nRules.ini could not be written; the rules are as they were.";

    inEditor({fill({"News", "news@", "", "", RuleAction::Accept})});
    page().bCreate()->click();
    selectRule("Junk");
    inEditor({fill({"Spam", "spam@", "", "casino", RuleAction::DeleteFromServer})});
    page().bModify()->click();
    selectRule("Junk");
    page().bDelete()->click();

    EXPECT_EQ(promptTexts(), (std::vector<std::string>{"The rule News could not be saved." + notWritten,
                                                       "The rule Junk could not be saved." + notWritten,
                                                       "Are you sure You want to delete rule\r\nJunk",
                                                       "The rule Junk could not be deleted." + notWritten}));
    EXPECT_EQ(listed(), listedBefore);
    EXPECT_EQ(program_->Rules()->RuleNames(), (std::vector<std::string>{"Junk", "Ads"}));
    EXPECT_EQ(program_->Rules()->RuleByName("Junk")->SubjectPattern(), "");
    if (folderLocked) {
        EXPECT_EQ(stored(), kListed);
        testing_support::SetFolderReadOnly(dir() / "accounts", false);
    }
}

// Whatever the editor let through, a name that another rule has is told as taken
// (Rules.ini could be written all along), and nothing is saved.
TEST_F(RulesPageTest, ARenameOntoAnotherRulesNameSaysTheNameIsTaken) {
    listRules();
    start();
    const std::string before = testing_support::ReadFile(ProgramFiles::RulesIniPath());
    program_->Editors().editRule = [](CRule& rule, QWidget*) {
        rule.Name("JUNK");
        rule.SubjectPattern("bargain");
        return 1;
    };
    selectRule("Ads");
    page().bModify()->click();
    EXPECT_EQ(promptTexts(),
              (std::vector<std::string>{"A rule named JUNK already exists. The rule Ads has not been changed."}));
    EXPECT_EQ(testing_support::ReadFile(ProgramFiles::RulesIniPath()), before);
    EXPECT_EQ(stored(), kListed);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Junk", "Ads"}));
    EXPECT_EQ(program_->Rules()->RuleByName("Ads")->SubjectPattern(), "offer");
}

}  // namespace
