#pragma once
// The setup wizard on a temporary program folder with a registry stand-in of its own
// (seeded from tests/data/mailclients), the message boxes and the input box answered
// and recorded, and the account test played by the test unless it asks for the real one.

// Before any Qt header: the registry store has a member named like a Qt macro.
#include "core/MailClientsFixture.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest/QTest>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/CIniFile.h"
#include "core/ProgramFiles.h"
#include "core/Prompt.h"
#include "dialogs/SetupWizard.h"
#include "platform/EventWait.h"
#include "platform/InputBox.h"

namespace testing_support {

class SetupWizardTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::InstallEventPump();
        seed("pop.example.com", 110, "smtp.example.com", 25);
        accounts_.IniFile(ProgramFiles::AccountsIniPath().string());
        aliases_.IniFile(ProgramFiles::AliasesIniPath().string());
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts_.push_back(r);
            if (!answers_.empty()) {
                const Prompt::Answer a = answers_.front();
                answers_.pop_front();
                return a;
            }
            return Prompt::DefaultAnswer(r);
        });
        platform::SetInputBox([this](const platform::InputRequest& r, QWidget*) {
            inputs_.push_back(r);
            return inputAnswer_;
        });
    }
    void TearDown() override {
        wizard_.reset();
        Prompt::SetPrompt(nullptr);
        Prompt::SetClosing(false);
        platform::SetInputBox(nullptr);
        Registry::SetRegistryFile({});
        TempFolderTest::TearDown();
    }
    void seed(const std::string& pop3Host, int pop3Port, const std::string& smtpHost, int smtpPort) {
        ASSERT_TRUE(SeedRegistry(dir(), MailClientsFixture(pop3Host, pop3Port, smtpHost, smtpPort)));
    }

    // A wizard whose account test passes when testPasses_ says so (or runs onTest_).
    dialogs::SetupWizard& make(bool realTest = false) {
        dialogs::SetupWizardServices s;
        s.accountsIni = &accounts_;
        s.aliasesIni = &aliases_;
        s.localPOP3Port = 3110;
        s.localSMTPPort = 3025;
        s.editAuth = [this](std::int16_t& type, std::string& user, std::string& password, QWidget*) {
            ++authEdits_;
            if (!authResult_) return 2;
            type = authResult_->type;
            user = authResult_->user;
            password = authResult_->password;
            return 1;
        };
        if (!realTest) {
            s.testAccount = [this](const MailAccount& a, std::string& error) {
                tested_.push_back(a);
                if (onTest_) onTest_();
                error = "Server replied: -ERR no";
                return testPasses_;
            };
        }
        wizard_ = std::make_unique<dialogs::SetupWizard>(std::move(s));
        wizard_->show();
        platform::PumpEvents();
        return *wizard_;
    }

    template <typename T> T* child(const char* name) const {
        T* w = wizard_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }

    // Page 2 with the given choice, then on to page 3.
    void toAccounts(const char* choice) {
        wizard_->NextClicked();
        child<QRadioButton>(choice)->setChecked(true);
        wizard_->NextClicked();
    }
    // From the accounts page past the aliases to the save (page 5 when it went through).
    void toSaved() {
        wizard_->NextClicked();
        wizard_->NextClicked();
    }
    void type(const char* edit, const QString& text) {
        QLineEdit* e = child<QLineEdit>(edit);
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    void setEmail(const QString& text) {
        child<QLineEdit>("tEMailAddress")->setText(text);
        emit child<QLineEdit>("tEMailAddress")->editingFinished();
    }
    void fillAccount(const QString& password, const QString& user = {}) {
        if (!user.isEmpty()) type("tPOP3UserName", user);
        type("tPOP3Password", password);
    }
    void selectAccount(int index) {
        QComboBox* list = child<QComboBox>("cbAccounts");
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    std::vector<std::string> promptTexts() const {
        std::vector<std::string> out;
        for (const auto& p : prompts_) out.push_back(p.text);
        return out;
    }
    bool testedShown() const { return child<QLabel>("lTested")->isVisible(); }

    struct Auth {
        std::int16_t type;
        std::string user, password;
    };

    CIniFile accounts_, aliases_;
    std::unique_ptr<dialogs::SetupWizard> wizard_;
    std::vector<Prompt::Request> prompts_;
    std::deque<Prompt::Answer> answers_;
    std::vector<platform::InputRequest> inputs_;
    std::optional<QString> inputAnswer_;
    std::vector<MailAccount> tested_;
    std::function<void()> onTest_;
    bool testPasses_ = true;
    std::optional<Auth> authResult_;
    int authEdits_ = 0;
};

}  // namespace testing_support
