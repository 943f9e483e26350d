#include "platform/FormResourcesApply.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "core/CIniFile.h"
#include "core/TempFolder.h"

namespace {

class FormResourcesApplyTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        form_.setObjectName("SomeForm");
        button_ = new QPushButton("OK", &form_);
        button_->setObjectName("bOK");
        label_ = new QLabel("old", &form_);
        label_->setObjectName("lText");
        frame_ = new QGroupBox("frame", &form_);
        frame_->setObjectName("frMain");
        action_ = new QAction("act", frame_);
        action_->setObjectName("mAct");
    }
    int apply(std::string_view ini) {
        testing_support::WriteFile(dir() / "resources.ini", ini);
        return MiscFuncs::ApplyFormResources(&form_, CIniFile((dir() / "resources.ini").string()));
    }

    QWidget form_;
    QPushButton* button_ = nullptr;
    QLabel* label_ = nullptr;
    QGroupBox* frame_ = nullptr;
    QAction* action_ = nullptr;
};

TEST_F(FormResourcesApplyTest, CaptionsAndTipsGoToTheNamedControlsOfAnyKind) {
    EXPECT_EQ(apply("[SomeForm]\r\nBOK.Caption=&Yes\r\nbOK.ToolTipText=Agree\r\nlText.Caption=\xe9t\xe9\r\n"
                    "frMain.Caption=Group\r\nmAct.Caption=Do it\r\nmAct.ToolTipText=Does it\r\n"
                    "lText.Font=Arial\r\n[OtherForm]\r\nbOK.Caption=wrong\r\n"),
              6);
    EXPECT_EQ(button_->text(), "&Yes");
    EXPECT_EQ(button_->toolTip(), "Agree");
    EXPECT_EQ(label_->text(), QString::fromUtf8("\xc3\xa9t\xc3\xa9")) << "Latin-1 text";
    EXPECT_EQ(frame_->title(), "Group");
    EXPECT_EQ(action_->text(), "Do it");
    EXPECT_EQ(action_->toolTip(), "Does it");
}

TEST_F(FormResourcesApplyTest, UnknownControlOrKeyWithoutDotEndsTheRun) {
    EXPECT_EQ(apply("[SomeForm]\r\nbOK.Caption=first\r\nmissing.Caption=x\r\nlText.Caption=late\r\n"), 1);
    EXPECT_EQ(button_->text(), "first");
    EXPECT_EQ(label_->text(), "old");
    EXPECT_EQ(apply("[SomeForm]\r\nnodot=1\r\nlText.Caption=late\r\n"), 0);
    EXPECT_EQ(label_->text(), "old");
    form_.setObjectName("");
    EXPECT_EQ(apply("[]\r\nlText.Caption=x\r\n"), 0);
}

}  // namespace
