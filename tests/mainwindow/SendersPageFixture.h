#pragma once
// The whole program with its pages attached, on a temporary program folder with one
// account: senders and held mail are added through the program's own lists, and the
// senders page is driven as a user drives it.

#include <QLineEdit>
#include <QTabBar>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ProgramTestSupport.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/MessageKey.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramPages.h"
#include "mainwindow/SendersPage.h"
#include "mainwindow/SendersView.h"
#include "platform/GridControl.h"

namespace testing_support {

class SendersPageTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        setenv("GLIMMERPOST_REGISTRY", (dir() / "registry.reg").c_str(), 1);
        addAccount();
    }
    void TearDown() override {
        ProgramTest::TearDown();
        unsetenv("GLIMMERPOST_REGISTRY");
    }

    // The program running with its pages; `before` fills hooks ahead of the start.
    mainwindow::GlimmerpostProgram& startWithPages(
        const std::function<void(mainwindow::GlimmerpostProgram&)>& before = nullptr) {
        auto& p = makeProgram(true);
        pages_.Attach(p, engines_);
        if (before) before(p);
        EXPECT_EQ(p.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        // Shown as the user sees it: a hidden page is not refilled.
        p.MainForm()->show();
        platform::PumpEvents();
        return p;
    }

    mainwindow::SendersView& view() { return *pages_.Senders(); }
    platform::GridControl& grid() { return view().grid(); }
    mainwindow::SendersPage& page() { return view().page(); }
    CSenders& senders() { return *program_->Senders(); }
    CMessages& messages() { return *program_->Messages(); }

    void sender(const std::string& address, SenderStatus status, const std::string& reason = "Mail came") {
        senders().SetStatus("", address, status, reason);
    }
    // A stored message from the address in the folder ("WaitingAuth", "InBox", ...).
    std::string message(const std::string& address, const std::string& id, const std::string& leaf = "WaitingAuth",
                        const std::string& subject = "Hello") {
        const std::string file = address + " " + id + "@x.eml";
        std::ofstream(folderOf(leaf) / file, std::ios::binary)
            << "From: " << address << "\r\nSubject: " << subject << "\r\nDate: Tue, 10 Dec 2002 13:45:12 +0100\r\n\r\nbody\r\n";
        EXPECT_TRUE(messages().AddMessage(kAccount, file, "MailDir\\" + leaf)) << file;
        return std::string(kAccount) + "\\MailDir\\" + leaf + "\\" + file;
    }
    std::filesystem::path folderOf(const std::string& leaf) const {
        return dir() / "accounts" / kAccount / "MailDir" / leaf;
    }
    bool inFolder(const std::string& leaf, const std::string& address, const std::string& id) const {
        return std::filesystem::exists(folderOf(leaf) / (address + " " + id + "@x.eml"));
    }

    // Shows a tab (1 to 6) as a click on it does.
    void showTab(int tab) {
        if (page().tsSenders()->tabs()->currentIndex() == tab - 1) view().tsSenders_Click();
        else page().tsSenders()->tabs()->setCurrentIndex(tab - 1);
        platform::PumpEvents();
    }
    // Waits for the refill that changes made due.
    bool refilled(int fillsBefore) {
        return platform::WaitUntil([&] { return view().fillCount() > fillsBefore && !view().refillPending(); }, 5000);
    }
    int rowOf(const std::string& key) { return grid().Model().FindRow(4, key); }
    std::string keyAt(int row) { return std::string(grid().Model().Text(row, 4)); }
    std::vector<std::string> keys() {
        std::vector<std::string> out;
        for (int r = 0; r < grid().Rows(); ++r) out.push_back(keyAt(r));
        return out;
    }
    std::string text(int row, int col) { return std::string(grid().Model().Text(row, col)); }
    void type(const QString& chars) {
        for (QChar c : chars) view().KeyPress(c);
        platform::PumpEvents();
    }

    mainwindow::ProgramEngines engines_;  // never attached: no engine runs
    mainwindow::ProgramPages pages_;
};

}  // namespace testing_support
