#pragma once
// The options dialog over a running program on a temporary program folder: recording
// windows in the engines' slots (or the real engines), the message boxes answered and
// recorded, a registry stand-in of the test's own, and the dialog's services recorded.

#include <QTest>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/AutoStart.h"
#include "core/CIniFile.h"
#include "core/ProgramFiles.h"
#include "core/Registry.h"
#include "dialogs/AccountsOptionsDialog.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramTestSupport.h"

namespace testing_support {

class OptionsDialogTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Registry::SetRegistryFile(dir() / "config" / "registry.reg");
        setValue("options", "LogLevel", "1");
    }
    void TearDown() override {
        dialog_.reset();
        program_.reset();
        engines_.reset();
        Registry::SetRegistryFile({});
        ProgramTest::TearDown();
    }

    // An account section written as the dialog would, tested and enabled as asked.
    void writeAccount(const std::string& address, bool enabled = false, bool folders = true) {
        CIniFile accounts(ProgramFiles::AccountsIniPath().string());
        accounts.Value(address, "DisplayName", "Owner of " + address);
        accounts.Value(address, "POP3CollectorInterval", "10");
        accounts.Value(address, "POP3Server", "pop.example.com");
        accounts.Value(address, "POP3UserName", "user");
        accounts.Value(address, "POP3ServerPort", "110");
        accounts.Value(address, "SMTPServer", "smtp.example.com");
        accounts.Value(address, "SMTPServerPort", "25");
        accounts.Value(address, "AccountTested", "1");
        accounts.Value(address, "AccountEnabled", enabled ? "1" : "0");
        if (!folders) return;
        for (const char* leaf : {"InBox", "OutBox", "WaitingAuth", "Recycled"})
            std::filesystem::create_directories(dir() / "accounts" / address / "MailDir" / leaf);
    }

    mainwindow::GlimmerpostProgram& startProgram(bool realEngines = false) {
        if (!realEngines) {
            EXPECT_EQ(start(), mainwindow::GlimmerpostProgram::StartResult::Running);
            return *program_;
        }
        engines_ = std::make_unique<mainwindow::ProgramEngines>();
        auto& program = makeProgram(false);
        engines_->Attach(program);
        EXPECT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        platform::PumpEvents();
        return program;
    }

    dialogs::AccountsOptionsDialog& openDialog(int tab = 1) {
        dialog_.reset();
        dialogs::OptionsDialogServices services;
        services.openFile = [this](const std::filesystem::path& file) {
            opened_.push_back(file);
            return openResult_;
        };
        services.setAutoStart = [this](bool on) {
            return AutoStart::SetStartWithWindows(on, "/usr/bin/glimmerpost", desktopFile(), "");
        };
        dialogs::AccountsOptionsDialog::OptionsStartTab = tab;
        dialog_ = std::make_unique<dialogs::AccountsOptionsDialog>(*program_, services);
        return *dialog_;
    }

    std::filesystem::path desktopFile() const { return dir() / "autostart" / "glimmerpost.desktop"; }

    // One section of a settings file as its text, header included.
    static std::string sectionText(const std::filesystem::path& file, const std::string& name) {
        const std::string text = ReadFile(file);
        const std::size_t begin = text.find("[" + name + "]");
        if (begin == std::string::npos) return "";
        const std::size_t end = text.find("\r\n[", begin);
        return text.substr(begin, end == std::string::npos ? std::string::npos : end + 2 - begin);
    }

    std::vector<std::string> promptTexts() const {
        std::vector<std::string> out;
        for (const Prompt::Request& r : prompts_) out.push_back(r.text);
        return out;
    }

    std::unique_ptr<mainwindow::ProgramEngines> engines_;
    std::unique_ptr<dialogs::AccountsOptionsDialog> dialog_;
    std::vector<std::filesystem::path> opened_;
    dialogs::OpenFileResult openResult_ = dialogs::OpenFileResult::Opened;
};

}  // namespace testing_support
