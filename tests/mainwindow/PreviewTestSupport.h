#pragma once
// The whole program on a temporary folder with stored messages of some senders, and
// a preview window over its main window, with the desktop's mail program replaced.

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ProgramTestSupport.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/MessageKey.h"
#include "mainwindow/MessagePreviewForm.h"
#include "platform/OpenFile.h"

namespace testing_support {

class PreviewTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        addAccount();
        platform::SetFileOpener({[this](const std::filesystem::path&) { return handler_; },
                                 [this](const std::filesystem::path& file) {
                                     opened_.push_back(file);
                                     return openWorks_;
                                 }});
        ASSERT_EQ(start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        preview_ = new mainwindow::MessagePreviewForm(*program_, program_->MainForm());
    }
    void TearDown() override {
        platform::SetFileOpener({});
        ProgramTest::TearDown();
    }

    static std::filesystem::path folder(const std::string& leaf) {
        return ProgramFiles::InAccountsFolder(kAccount) / "MailDir" / leaf;
    }
    // A stored message of the sender in the folder ("WaitingAuth", "InBox", ...),
    // indexed; returns its key.
    std::string store(const std::string& sender, const std::string& id, const std::string& subject,
                      const std::string& leaf = "WaitingAuth", const std::string& body = "body\r\n") {
        const std::string name = sender + " <" + id + "@far.test>.eml";
        WriteFile(folder(leaf) / name, "From: " + sender + "\r\nSubject: " + subject +
                                           "\r\nDate: Tue, 10 Dec 2002 13:45:12 +0100\r\n\r\n" + body);
        EXPECT_TRUE(program_->Messages()->AddMessage(kAccount, name, "MailDir\\" + leaf)) << name;
        return MessageKeys::MakeKey(kAccount, "MailDir\\" + leaf, name);
    }
    // A waiting sender with n held messages, subjects "s1" .. "sn".
    std::vector<std::string> waitingSender(const std::string& sender, int n) {
        program_->Senders()->SetStatus("", sender, SenderStatus::WaitingAuth, "held");
        std::vector<std::string> keys;
        for (int i = 1; i <= n; ++i) keys.push_back(store(sender, std::to_string(i), "s" + std::to_string(i)));
        return keys;
    }

    template <typename T>
    T* child(const char* name) const {
        T* w = preview_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string text(const char* label) const { return child<QLabel>(label)->text().toStdString(); }
    std::string body() const { return child<QPlainTextEdit>("tMessageText")->toPlainText().toStdString(); }
    bool enabled(const char* button) const { return child<QPushButton>(button)->isEnabled(); }
    void click(const char* button) { child<QPushButton>(button)->click(); }
    // Approve, Block, Previous, Next enabled.
    std::vector<bool> buttons() const {
        return {enabled("bApprove"), enabled("bBlock"), enabled("bPrev"), enabled("bNext")};
    }

    mainwindow::MessagePreviewForm* preview_ = nullptr;  // owned by the main window
    std::string handler_ = "mail.desktop";
    bool openWorks_ = true;
    std::vector<std::filesystem::path> opened_;
};

}  // namespace testing_support
