// A collection that fails, as the user meets it in the whole program: glplog.txt at the
// default LogLevel names the account and why, the main window shows the whole text
// where it can be read, and the tray tip, within its limit, names the account and says
// that it failed. The servers are real: dovecot refusing the password, a port where
// nothing listens, a server that stops answering.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>

#include "EnginesTestSupport.h"
#include "core/Log.h"
#include "core/Scramble.h"
#include "engines/POP3CollectorForm.h"
#include "mainwindow/MainStatusBar.h"
#include "mainwindow/ProgramEngines.h"
#include "support/Peers.h"
#include "support/Screenshot.h"

using namespace testing_support;

class FailureDisplayTest : public EnginesProgramTest {
protected:
    static void pointAt(quint16 port, const std::string& password = "secret") {
        CIniFile accounts(ProgramFiles::AccountsIniPath().string());
        CIniFile::Batch batch(accounts);
        accounts.Value(kAccount, "POP3Server", "127.0.0.1");
        accounts.Value(kAccount, "POP3ServerPort", std::to_string(port));
        accounts.Value(kAccount, "POP3UserName", "alice");
        accounts.Value(kAccount, "POP3Password", MiscFuncs::ScrambleText(password));
        accounts.Value(kAccount, "POP3CollectorInterval", "10");
        batch.Commit();
    }
    // The program started with its engines, its main window in view.
    mainwindow::GlimmerpostMainForm& startWithEngines() {
        mainwindow::GlimmerpostMainForm& form = *EnginesProgramTest::startWithEngines().MainForm();
        form.showNormal();
        form.resize(mainwindow::GlimmerpostMainForm::designSize());
        return form;
    }
    // Waits for the failure in the window and checks the three places it shows.
    void expectFailure(mainwindow::GlimmerpostMainForm& form, const std::string& why) {
        const std::string text = "Collecting " + std::string(kAccount) + " failed: " + why;
        QLabel* line = form.failureLine();
        ASSERT_TRUE(platform::WaitUntil([&] { return line->text().toStdString().starts_with(text); }, 15000))
            << line->text().toStdString();
        QApplication::processEvents();
        EXPECT_TRUE(line->isVisible());
        EXPECT_EQ(line->text().toStdString(), form.activity().failureDetails()) << "the whole text, not cut";
        EXPECT_TRUE(line->wordWrap());
        EXPECT_GE(line->height(), line->heightForWidth(line->width())) << "every wrapped line in view";
        EXPECT_LE(line->width(), form.width());

        EXPECT_EQ(MiscFuncs::LogLevel(), 0) << "the default";
        EXPECT_TRUE(logHas("# " + text)) << programLog();

        const std::string tip = form.activity().tip();
        EXPECT_LE(tip.size(), MiscFuncs::kTrayTipLength);
        EXPECT_TRUE(tip.starts_with("Glimmerpost - " + std::string(kAccount) + " failed")) << tip;
    }

};

TEST_F(FailureDisplayTest, APasswordDovecotRefuses) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    DovecotPeer dovecot;
    ASSERT_TRUE(dovecot.start()) << dovecot.error().toStdString();
    pointAt(dovecot.port(), "not-the-password");
    auto& form = startWithEngines();
    expectFailure(form, "the server refused: -ERR ");
    EXPECT_FALSE(logHas("not-the-password"));
    EXPECT_TRUE(SaveScreenshot(form, "failed-collection.png"));

    // The next session that succeeds takes the failure away.
    pointAt(dovecot.port(), "secret");
    engines->CheckMailNow();
    ASSERT_TRUE(platform::WaitUntil([&] { return form.failureLine()->isHidden(); }, 15000));
    EXPECT_EQ(form.activity().failureDetails(), "");
}

TEST_F(FailureDisplayTest, AServerNobodyListensOn) {
    const RefusingPort nobody;
    pointAt(nobody.port());
    auto& form = startWithEngines();
    expectFailure(form, "the server could not be reached: ");
}

TEST_F(FailureDisplayTest, AServerThatStopsAnswering) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer silent("sendline +OK ready\nexpect USER *\nstall\n");
    ASSERT_TRUE(silent.start()) << silent.error().toStdString();
    pointAt(silent.port());
    auto& form = startWithEngines();
    ASSERT_TRUE(silent.waitFor([](const ScriptEvent& e) { return e.event == "line"; }));
    POP3CollectorForm* collector = engines->Collector();
    ASSERT_NE(collector, nullptr);
    ASSERT_TRUE(platform::WaitUntil([&] { return collector->SessionState(1) == engines::Pop3ClientState::UserSent; },
                                    5000));
    // The time-out's timer fired at once instead of after two minutes.
    ASSERT_TRUE(collector->InactivityTimer(1)->fire());
    expectFailure(form, "the server stopped answering (no reply for 120 seconds)");
}
