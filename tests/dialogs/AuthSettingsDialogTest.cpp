// The SMTP authentication dialog, driven while it is modal.
#include "dialogs/AuthSettingsDialog.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "core/MailAccount.h"

namespace {

using dialogs::AuthSettingsDialog;

// Runs Edit and, once the dialog is up, `act` on it.
int editWith(AuthSettingsDialog& d, int type, const std::string& user, const std::string& password,
             const std::function<void(AuthSettingsDialog&)>& act) {
    QTimer::singleShot(0, &d, [&d, act] { act(d); });
    return d.Edit(type, user, password, nullptr);
}

TEST(AuthSettingsDialog, EditStartsFromItsArgumentsAndOnlyOkTakesTheFields) {
    AuthSettingsDialog d;
    struct Case {
        const char* name;
        int type;
        std::function<void(AuthSettingsDialog&)> act;
        int result, typeAfter;
        bool fieldsEnabled;  // as they were when the dialog was up
        const char* user;
        const char* password;
    };
    bool enabled = false;
    const auto look = [&enabled](AuthSettingsDialog& x) { enabled = x.tUserName()->isEnabled() && x.tPassword()->isEnabled(); };
    const std::vector<Case> cases = {
        {"POP3 first, OK untouched", 1, [&](AuthSettingsDialog& x) { look(x); x.OKButton()->click(); }, 1, 1, false,
         "name", "pw"},
        {"own login, switched to the POP3 login", 0,
         [&](AuthSettingsDialog& x) {
             look(x);
             x.oUsePOP3Setting()->click();
             EXPECT_FALSE(x.tUserName()->isEnabled());
             x.OKButton()->click();
         },
         1, 2, true, "name", "pw"},
        {"own login, typed", 0,
         [&](AuthSettingsDialog& x) {
             look(x);
             x.tUserName()->setText("other");
             x.tPassword()->setText("secret");
             x.OKButton()->click();
         },
         1, 0, true, "other", "secret"},
        {"Cancel", 0,
         [&](AuthSettingsDialog& x) {
             look(x);
             x.tUserName()->setText("ignored");
             x.CancelButton()->click();
         },
         2, 0, true, "name", "pw"},
        {"Escape after an earlier OK", 2,
         [&](AuthSettingsDialog& x) {
             look(x);
             QTest::keyClick(&x, Qt::Key_Escape);
         },
         2, 2, false, "name", "pw"},
        {"close box", 7, [&](AuthSettingsDialog& x) { look(x); x.close(); }, 2, 7, false, "name", "pw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(editWith(d, c.type, "name", "pw", c.act), c.result);
        EXPECT_EQ(d.Result, c.result);
        EXPECT_EQ(d.Type, c.typeAfter);
        EXPECT_EQ(enabled, c.fieldsEnabled);
        EXPECT_EQ(d.UserName, c.user);
        EXPECT_EQ(d.Password, c.password);
        EXPECT_FALSE(d.isVisible());
    }
    EXPECT_EQ(d.tPassword()->echoMode(), QLineEdit::Password);
    // A type outside 0 to 2 selects no option.
    editWith(d, 7, "", "", [](AuthSettingsDialog& x) {
        EXPECT_FALSE(x.oUseOtherAuthInfo()->isChecked() || x.oAuthPOP3First()->isChecked() ||
                     x.oUsePOP3Setting()->isChecked());
        x.CancelButton()->click();
    });
}

TEST(AuthSettingsDialog, OkGivesBackWhatWasNotEditedByteForByte) {
    AuthSettingsDialog d;
    const std::string user("Jos\xe9", 4), password("p\xe4ss\xff", 5);  // not UTF-8
    struct Case {
        const char* name;
        std::function<void(AuthSettingsDialog&)> edit;
        std::string user, password;
    };
    const std::vector<Case> cases = {
        {"nothing edited", [](AuthSettingsDialog&) {}, user, password},
        {"only the password edited", [](AuthSettingsDialog& x) { QTest::keyClicks(x.tPassword(), "1"); }, user,
         password + "1"},
        {"another option chosen", [](AuthSettingsDialog& x) { x.oUsePOP3Setting()->click(); }, user, password},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(editWith(d, 0, user, password,
                           [&](AuthSettingsDialog& x) {
                               x.tPassword()->end(false);
                               c.edit(x);
                               x.OKButton()->click();
                           }),
                  1);
        EXPECT_EQ(d.UserName, c.user);
        EXPECT_EQ(d.Password, c.password);
    }
}

TEST(AuthSettingsDialog, TheAccountTakesTheAnswerOnlyOnOk) {
    AuthSettingsDialog d;
    AuthSettingsDialog::SetLoaded(&d);
    MailAccount a;
    a.SMTPAuthType = 0;
    a.SMTPAuthUserName = "me";
    a.SMTPAuthPassword = "pw";
    QTimer::singleShot(0, &d, [&d] { d.oAuthPOP3First()->click(); d.OKButton()->click(); });
    const auto choice = dialogs::EditSmtpAuthentication(a, nullptr);
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->type, 1);
    EXPECT_EQ(choice->userName, "me");
    QTimer::singleShot(0, &d, [&d] { d.CancelButton()->click(); });
    EXPECT_FALSE(dialogs::EditSmtpAuthentication(a, nullptr).has_value());
    AuthSettingsDialog::SetLoaded(nullptr);
}

}  // namespace
