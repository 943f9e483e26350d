// The confirmation questions that "Always use confirmation dialogs" switches.
#include "core/Confirmations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "core/ProgramFiles.h"

namespace {

class ConfirmationsTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            asked.push_back(r.text);
            return Prompt::Answer::No;
        });
    }
    void TearDown() override {
        Prompt::SetPrompt(nullptr);
        Prompt::SetClosing(false);
        TempFolderTest::TearDown();
    }
    static void store(const std::string& value) {
        testing_support::WriteFile(ProgramFiles::OptionsIniPath(), "[options]\r\nUseConfirmations=" + value + "\r\n");
    }
    std::vector<std::string> asked;
};

TEST_F(ConfirmationsTest, TheQuestionsAreAskedUnlessSwitchedOff) {
    for (const char* v : {"", "1"}) {
        store(v);
        asked.clear();
        EXPECT_EQ(Confirmations::AskToConfirm("Are you sure?", "Title"), Prompt::Answer::No) << v;
        EXPECT_EQ(asked, std::vector<std::string>{"Are you sure?"});
    }
    store("0");
    asked.clear();
    EXPECT_FALSE(Confirmations::Wanted());
    EXPECT_EQ(Confirmations::AskToConfirm("Are you sure?", "Title"), Prompt::Answer::Yes);
    EXPECT_TRUE(asked.empty());
    // While the program closes nothing goes ahead, asked or not.
    Prompt::SetClosing(true);
    EXPECT_EQ(Confirmations::AskToConfirm("Are you sure?", "Title"), Prompt::Answer::No);
    EXPECT_TRUE(asked.empty());
}

}  // namespace
