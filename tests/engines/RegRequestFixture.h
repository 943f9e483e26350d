#pragma once
// A program folder with two accounts, the sender list over an empty message store,
// the outgoing queue (its timer kept off) and the registration pop-up, for the
// pop-up's tests. Reply files are written by hand in the reply-file format; the
// pop-up's timers are fired by the tests.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/ProgramFiles.h"
#include "core/Prompt.h"
#include "core/TempFolder.h"
#include "engines/OutBoxMessage.h"
#include "engines/RegRequestForm.h"
#include "engines/SMTPSpooler.h"
#include "platform/EventWait.h"

namespace testing_support {

inline const std::string kHome = "me@home.test";
inline const std::string kOther = "other@home.test";

class RegRequestTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::InstallEventPump();
        MiscFuncs::SetLogLevel(4);
        CIniFile accounts(ProgramFiles::AccountsIniPath().string());
        for (const std::string& a : {kHome, kOther}) accounts.Value(a, "AccountEnabled", "1");
        std::filesystem::create_directories(ProgramFiles::AccountsFolder());
        setOption("ShowRegDialogs", "1");
        setOption("RegDialogShowInterval", "1");
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts.push_back(r.text);
            return Prompt::DefaultAnswer(r);
        });
        senders = std::make_unique<CSenders>();
        senders->AttachMessageStore(store);
        spooler = std::make_unique<SMTPSpooler>();
        spooler->PollTimer().setEnabled(false);
        form = std::make_unique<RegRequestForm>(*senders, &store, hooks());
    }
    void TearDown() override {
        form.reset();
        spooler.reset();
        if (senders) senders->DetachMessageStore();
        senders.reset();
        Prompt::SetPrompt(nullptr);
        TempFolderTest::TearDown();
    }

    RegRequestForm::Hooks hooks() {
        return {[this](MessageType type, std::string_view account, std::string_view recipient,
                       std::string_view subject) {
            ++confirmations;
            if (onConfirm) onConfirm();
            const bool queued = spooler->AddNewMessage(type, account, recipient, subject);
            spooler->PollTimer().setEnabled(false);
            return queued;
        }};
    }

    static void setOption(const std::string& key, const std::string& value) {
        CIniFile ini(ProgramFiles::OptionsIniPath().string());
        ini.Value("options", key, value);
    }
    static std::string option(const std::string& key) {
        return CIniFile(ProgramFiles::OptionsIniPath().string()).Value("options", key);
    }
    static std::filesystem::path folder(const std::string& account, const std::string& leaf) {
        return ProgramFiles::InAccountsFolder(account) / "MailDir" / leaf;
    }

    // A reply file in the account's InBox, as the reply handler leaves it.
    static std::filesystem::path reply(const std::string& account, const std::string& name, const std::string& from,
                                       const std::string& sender, const std::string& reason) {
        const std::filesystem::path file = folder(account, "InBox") / name;
        WriteFile(file, "[RegRequest]\r\nAuthRequestName=" + sender + "\r\nAuthRequestReason=" + reason +
                            "\r\nAuthRequestFrom=" + from + "\r\nAuthRequestTime=12/08/2026 07:50:00\r\n");
        return file;
    }
    // A message of the sender held in the account's WaitingAuth, indexed.
    std::string hold(const std::string& account, const std::string& address, const std::string& id = "1") {
        const std::string name = address + " <" + id + "@far.test>.eml";
        WriteFile(folder(account, "WaitingAuth") / name,
                  "From: " + address + "\r\nSubject: hello\r\nDate: Tue, 10 Dec 2002 13:45:12 +0100\r\n\r\nbody\r\n");
        EXPECT_TRUE(store.AddMessage(account, name, "MailDir\\WaitingAuth")) << name;
        return name;
    }
    bool stored(const std::string& account, const std::string& leaf, const std::string& name) const {
        return std::filesystem::exists(folder(account, leaf) / name) &&
               store.Find(account + "\\MailDir\\" + leaf + "\\" + name) != nullptr;
    }

    // The mails queued in the account's OutBox.
    static std::vector<OutBox::Contents> queued(const std::string& account) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(OutBox::FolderOf(account), ec)) {
            names.push_back(e.path().string());
        }
        std::sort(names.begin(), names.end());
        std::vector<OutBox::Contents> mails;
        for (const std::string& n : names) mails.push_back(OutBox::Read(CIniFile(n)));
        return mails;
    }

    bool poll() { return form->PollTimer().fire(); }
    bool tickShow() { return form->ShowTimer().fire(); }
    template <typename T> T* control(const char* name) const { return form->findChild<T*>(QString::fromLatin1(name)); }
    std::string label(const char* name) const { return control<QLabel>(name)->text().toStdString(); }
    void click(const char* name) const { control<QPushButton>(name)->click(); }

    CMessages store{CMessages::Start::Empty};
    std::unique_ptr<CSenders> senders;
    std::unique_ptr<SMTPSpooler> spooler;
    std::unique_ptr<RegRequestForm> form;
    std::vector<std::string> prompts;
    std::function<void()> onConfirm;
    int confirmations = 0;
};

}  // namespace testing_support
