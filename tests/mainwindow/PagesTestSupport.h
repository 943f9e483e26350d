#pragma once
// The whole program with its pages attached (the domains and rules pages on the
// program's real lists), on a temporary program folder, with the list files written
// before the start.

#include <QWidget>

#include <memory>
#include <string>

#include "ProgramTestSupport.h"
#include "core/CDomains.h"
#include "core/CMailRules.h"
#include "core/CSenders.h"
#include "core/ProgramFiles.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramPages.h"

namespace testing_support {

class PagesTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        std::filesystem::create_directories(dir() / "accounts");
    }
    void TearDown() override {
        program_.reset();
        pages_.reset();
        ProgramTest::TearDown();
    }

    // Started with recording engine windows; `attach` runs before the start.
    mainwindow::GlimmerpostProgram& startWithPages(
        const std::function<void(mainwindow::GlimmerpostProgram&)>& attach = {}) {
        addAccount();
        auto& program = makeProgram(true);
        pages_ = std::make_unique<mainwindow::ProgramPages>();
        pages_->Attach(program, engines_);
        if (attach) attach(program);
        EXPECT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        platform::PumpEvents();
        return program;
    }

    static void listDomain(const std::string& domain, DomainStatus status, const std::string& description = "") {
        CDomains(ProgramFiles::DomainsIniPath().string()).SetStatus(domain, status, description);
    }
    // A sender in senders.ini, as the list loads it at the start.
    static void listSender(const std::string& address, SenderStatus status) {
        CIniFile senders(ProgramFiles::SendersIniPath().string());
        senders.Value(address, "AccessLevel", std::to_string(static_cast<int>(status)));
        senders.Value(address, "ModificationDate", "46363.5");
    }
    // A held message of the sender in the account's WaitingAuth.
    void holdMessage(const std::string& address, const std::string& id) {
        WriteFile(dir() / "accounts" / kAccount / "MailDir" / "WaitingAuth" / (address + " " + id + ".eml"),
                  "From: " + address + "\r\nSubject: held\r\nMessage-ID: <" + id + ">\r\n\r\nbody\r\n");
        // The store indexes the folders at the start after a run that did not end.
        WriteFile(marker(), "46000.5");
    }
    std::vector<std::string> files(const std::string& folder) const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir() / "accounts" / kAccount / "MailDir" / folder))
            out.push_back(e.path().filename().string());
        return out;
    }

    std::vector<std::string> promptTexts() const {
        std::vector<std::string> out;
        for (const auto& p : prompts_) out.push_back(p.text);
        return out;
    }

    // Declared before the program's owner is reset: they outlive it.
    mainwindow::ProgramEngines engines_;
    std::unique_ptr<mainwindow::ProgramPages> pages_;
};

}  // namespace testing_support
