// The registration pop-up inside the whole program, when the program is asked to end:
// a pop-up still asking answers nothing (the sender and his reply stay for the next
// run), and a shut-down inside the box of an answer neither crashes nor lets the
// handler touch the released form or lists.
#include <gtest/gtest.h>

#include <QPushButton>

#include "EnginesTestSupport.h"
#include "core/CSenders.h"
#include "engines/RegRequestForm.h"
#include "mainwindow/ProgramEngines.h"
#include "support/Peers.h"

using namespace testing_support;

namespace {

class RegRequestShutdownTest : public EnginesProgramTest {
protected:
    void SetUp() override {
        EnginesProgramTest::SetUp();
        setValue("options", "ShowRegDialogs", "1");
        reply = ProgramFiles::InAccountsFolder(kAccount) / "MailDir" / "InBox" / "46364D3301.rrm";
        WriteFile(reply, "[RegRequest]\r\nAuthRequestName=Ann\r\nAuthRequestReason=hello\r\n"
                         "AuthRequestFrom=ann@far.test\r\nAuthRequestTime=12/08/2026 07:50:00\r\n");
        engines = std::make_unique<mainwindow::ProgramEngines>();
        auto& program = makeProgram(false);
        engines->Attach(program);
        ASSERT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        platform::PumpEvents();
        ASSERT_NE(engines->RegRequest(), nullptr);
        engines->RegRequest()->PollTimer_Timer();
        ASSERT_TRUE(engines->RegRequest()->isVisible());
    }
    std::string accessLevel() const {
        return CIniFile(ProgramFiles::SendersIniPath().string()).Value("ann@far.test", "AccessLevel");
    }

    std::filesystem::path reply;
};

TEST_F(RegRequestShutdownTest, APopUpStillAskingAnswersNothing) {
    program_->RequestShutDown();
    platform::PumpEvents();
    ASSERT_TRUE(program_->shutDownDone());
    EXPECT_EQ(engines->RegRequest(), nullptr);
    EXPECT_EQ(accessLevel(), "");
    EXPECT_TRUE(std::filesystem::exists(reply));
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(RegRequestShutdownTest, AShutDownInsideTheBoxOfAnAnswerEndsCleanly) {
    // The confirmation cannot be queued: the spooler says so in a box.
    const auto outBox = ProgramFiles::InAccountsFolder(kAccount) / "MailDir" / "OutBox";
    std::filesystem::remove_all(outBox);
    WriteFile(outBox, "not a folder");
    answerer_ = [this](const Prompt::Request& r) {
        program_->RequestShutDown();
        return Prompt::DefaultAnswer(r);
    };
    engines->RegRequest()->findChild<QPushButton*>("bApprove")->click();
    platform::PumpEvents();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_NE(prompts_[0].text.find("AddNewMessage"), std::string::npos);
    ASSERT_TRUE(program_->shutDownDone());
    EXPECT_EQ(engines->RegRequest(), nullptr);
    EXPECT_EQ(program_->Senders(), nullptr);
    EXPECT_TRUE(logHas(" closed"));
    // The approval had been saved before the box; the confirmation was never queued.
    EXPECT_EQ(accessLevel(), "3");
}

}  // namespace
