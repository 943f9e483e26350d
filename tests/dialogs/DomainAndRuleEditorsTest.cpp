// The domain and rule editors: what OK accepts and refuses, with the messages shown,
// and how every way of closing them answers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <string>
#include <vector>

#include "core/CRule.h"
#include "core/Prompt.h"
#include "dialogs/AddDomainForm.h"
#include "dialogs/MailRuleForm.h"
#include "platform/EventWait.h"

namespace {

using dialogs::AddDomainForm;
using dialogs::MailRuleForm;

class EditorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts_.push_back(r);
            return answer_;
        });
    }
    void TearDown() override { Prompt::SetPrompt(nullptr); }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& p : prompts_) out.push_back(p.text);
        return out;
    }

    std::vector<Prompt::Request> prompts_;
    Prompt::Answer answer_ = Prompt::Answer::Yes;
};

enum class Editor { Domain, Rule };
enum class Option { Accept, Delete, Leave };

struct EditorCase {
    const char* what;
    Editor editor;
    // Domain: the domain and the description. Rule: the name and the three patterns.
    std::vector<const char*> fields;
    Option option;
    Prompt::Answer answer;  // to a question the editor asks
    bool accepted;
    std::vector<std::string> messages;
};

const char* const kHint =
    "It is not necessary to put wildcards in the beginning and in the end of the search string, they will be "
    "added automaticaly.";
const char* const kDeleteAll =
    "This rule matches every message, so all your mail would be deleted from the server unread.\r\nDo you want "
    "to save it all the same?";

const EditorCase kCases[] = {
    {"domain with a dot and a short last label", Editor::Domain, {"example.com", "friends"}, {}, {}, true, {}},
    {"domain trimmed", Editor::Domain, {"  mail.example.org ", "  kin "}, {}, {}, true, {}},
    {"domain with digits in its last label", Editor::Domain, {"host.ab12", ""}, {}, {}, true, {}},
    {"domain without a dot", Editor::Domain, {"localhost", ""}, {}, {}, false, {"Entered domain is invalid!"}},
    {"domain empty", Editor::Domain, {"   ", "text"}, {}, {}, false, {"Entered domain is invalid!"}},
    {"domain with an at sign", Editor::Domain, {"me@example.com", ""}, {}, {}, false, {"Entered domain is invalid!"}},
    {"domain with a blank inside", Editor::Domain, {"exa mple.com", ""}, {}, {}, false, {"Entered domain is invalid!"}},
    {"domain with a one-letter last label", Editor::Domain, {"example.c", ""}, {}, {}, false,
     {"Entered domain is invalid!"}},

    {"rule with one pattern", Editor::Rule, {"News", "news@", "", ""}, Option::Accept, {}, true, {}},
    {"rule name with [ refused first", Editor::Rule, {"a[b", "", "", ""}, Option::Accept, {}, false,
     {"Rule name can not contain characters \"[\" and \"]\""}},
    {"rule name with ]", Editor::Rule, {"ab]", "x", "", ""}, Option::Accept, {}, false,
     {"Rule name can not contain characters \"[\" and \"]\""}},
    {"rule name blank", Editor::Rule, {"   ", "x", "", ""}, Option::Accept, {}, false,
     {"Rule name can not be an empty string"}},
    {"rule name of another rule", Editor::Rule, {"junk", "x", "", ""}, Option::Accept, {}, false,
     {"A rule named junk already exists. Please choose another name."}},
    {"rule with stars at both ends: hint, saved", Editor::Rule, {"Lists", "*list*", "", ""}, Option::Leave, {},
     true, {kHint}},
    {"rule with three blank patterns: refused after the hint check", Editor::Rule, {"Empty", " ", "", "  "},
     Option::Accept, {}, false, {"Rule can not be empty, please fill atleast one of the fields"}},
    {"rule deleting every message, not confirmed", Editor::Rule, {"All", "*", "", ""}, Option::Delete,
     Prompt::Answer::No, false, {kHint, kDeleteAll}},
    {"rule deleting every message, confirmed", Editor::Rule, {"All", "**", "", ""}, Option::Delete,
     Prompt::Answer::Yes, true, {kHint, kDeleteAll}},
    {"rule deleting only some messages is not questioned", Editor::Rule, {"Spam", "*", "", "casino"},
     Option::Delete, {}, true, {kHint}},
    {"rule accepting every message is not questioned", Editor::Rule, {"All", "*", "", ""}, Option::Accept, {},
     true, {kHint}},
};

std::string trimmed(const char* text) {
    std::string s(text);
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

TEST_F(EditorsTest, OkAcceptsOrRefusesWithItsMessages) {
    AddDomainForm domainForm;
    MailRuleForm ruleForm;
    ruleForm.SetNameTaken([](std::string_view name) { return name == "junk"; });
    for (const EditorCase& c : kCases) {
        SCOPED_TRACE(c.what);
        prompts_.clear();
        answer_ = c.answer == Prompt::Answer{} ? Prompt::Answer::OK : c.answer;
        if (c.editor == Editor::Domain) {
            domainForm.Fill("old.example", "old");
            domainForm.tDomainName()->setText(c.fields[0]);
            domainForm.tDescription()->setText(c.fields[1]);
            domainForm.OkButton_Click();
            EXPECT_EQ(domainForm.Result(), c.accepted ? 1 : 2);
            if (c.accepted) {
                EXPECT_EQ(domainForm.Domain(), trimmed(c.fields[0]));
                EXPECT_EQ(domainForm.Description(), trimmed(c.fields[1]));
            }
        } else {
            CRule rule;
            rule.Name("Before");
            rule.FromPattern("before");
            ruleForm.Edit(rule);
            ruleForm.tRuleName()->setText(c.fields[0]);
            ruleForm.tFrom()->setText(c.fields[1]);
            ruleForm.tTo()->setText(c.fields[2]);
            ruleForm.tSubject()->setText(c.fields[3]);
            (c.option == Option::Accept   ? ruleForm.oAccept()
             : c.option == Option::Delete ? ruleForm.oDeleteFromServer()
                                          : ruleForm.oLeaveOnServer())
                ->setChecked(true);
            ruleForm.OkButton_Click();
            EXPECT_EQ(ruleForm.Result(), c.accepted ? 1 : 2);
            if (c.accepted) {
                EXPECT_EQ(rule.Name(), trimmed(c.fields[0]));
                EXPECT_EQ(rule.FromPattern(), trimmed(c.fields[1]));
                EXPECT_EQ(rule.ToPattern(), trimmed(c.fields[2]));
                EXPECT_EQ(rule.SubjectPattern(), trimmed(c.fields[3]));
                EXPECT_EQ(rule.Action(), c.option == Option::Accept   ? RuleAction::Accept
                                         : c.option == Option::Delete ? RuleAction::DeleteFromServer
                                                                      : RuleAction::LeaveOnServer);
            } else {
                // A refusal writes nothing into the rule.
                EXPECT_EQ(rule.Name(), "Before");
                EXPECT_EQ(rule.FromPattern(), "before");
            }
        }
        EXPECT_EQ(texts(), c.messages);
    }
}

TEST_F(EditorsTest, QuestionsAndRefusalsUseTheirIconsAndTheDeleteQuestionDefaultsToNo) {
    MailRuleForm form;
    CRule rule;
    form.Edit(rule);
    form.tRuleName()->setText("All");
    form.tFrom()->setText("*");
    form.oDeleteFromServer()->setChecked(true);
    answer_ = Prompt::Answer::No;
    form.OkButton_Click();
    ASSERT_EQ(prompts_.size(), 2u);
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Information);
    EXPECT_EQ(prompts_[1].buttons, Prompt::Buttons::YesNo);
    EXPECT_EQ(prompts_[1].defaultButton, 2);
    EXPECT_EQ(prompts_[1].caption, "Email rule - All");

    AddDomainForm domain;
    domain.Fill("nodot", "");
    domain.OkButton_Click();
    ASSERT_EQ(prompts_.size(), 3u);
    EXPECT_EQ(prompts_[2].kind, Prompt::Kind::Exclamation);
}

TEST_F(EditorsTest, CaptionFollowsTheNameAndTheFieldsFollowTheRule) {
    MailRuleForm form;
    CRule rule;
    rule.Name("Junk");
    rule.FromPattern("spam@");
    rule.ToPattern("me@");
    rule.SubjectPattern("win");
    rule.Action(RuleAction::LeaveOnServer);
    form.Edit(rule);
    EXPECT_EQ(form.windowTitle(), "Email rule - Junk");
    EXPECT_EQ(form.tFrom()->text(), "spam@");
    EXPECT_EQ(form.tTo()->text(), "me@");
    EXPECT_EQ(form.tSubject()->text(), "win");
    EXPECT_TRUE(form.oLeaveOnServer()->isChecked());
    EXPECT_FALSE(form.oAccept()->isChecked());
    form.tRuleName()->setText("Junk mail");
    EXPECT_EQ(form.windowTitle(), "Email rule - Junk mail");

    // A stored action the editor does not offer selects none of the options.
    CRule odd;
    odd.Name("Odd");
    odd.Action(RuleAction::NoRule);
    form.Edit(odd);
    EXPECT_FALSE(form.oAccept()->isChecked());
    EXPECT_FALSE(form.oDeleteFromServer()->isChecked());
    EXPECT_FALSE(form.oLeaveOnServer()->isChecked());
}

// Each way out of a shown editor, and what it leaves behind.
TEST_F(EditorsTest, EscapeCloseBoxAndCancelAnswerTwoAndChangeNothing) {
    enum class Way { Escape, CloseBox, Cancel, Ok };
    const struct {
        Way way;
        int result;
    } ways[] = {{Way::Escape, 2}, {Way::CloseBox, 2}, {Way::Cancel, 2}, {Way::Ok, 1}};
    AddDomainForm domainForm;
    MailRuleForm ruleForm;
    for (const auto& w : ways) {
        SCOPED_TRACE(static_cast<int>(w.way));
        const auto leave = [&w](QDialog& dialog, QPushButton* cancel, QPushButton* ok) {
            QTimer::singleShot(0, &dialog, [&w, &dialog, cancel, ok] {
                switch (w.way) {
                case Way::Escape: {
                    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(&dialog, &esc);
                    break;
                }
                case Way::CloseBox: dialog.close(); break;
                case Way::Cancel: cancel->click(); break;
                case Way::Ok: ok->click(); break;
                }
            });
        };
        leave(domainForm, domainForm.CancelButton(), domainForm.OkButton());
        EXPECT_EQ(domainForm.Edit("example.com", "desc", nullptr), w.result);
        EXPECT_FALSE(domainForm.isVisible());

        CRule rule;
        rule.Name("Kept");
        rule.SubjectPattern("old");
        ruleForm.Edit(rule);
        ruleForm.tSubject()->setText("new");
        leave(ruleForm, ruleForm.CancelButton(), ruleForm.OkButton());
        EXPECT_EQ(ruleForm.ShowModal(nullptr), w.result);
        EXPECT_FALSE(ruleForm.isVisible());
        EXPECT_EQ(rule.SubjectPattern(), w.result == 1 ? "new" : "old");
    }
    EXPECT_TRUE(prompts_.empty());
}

}  // namespace
