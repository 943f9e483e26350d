#include "platform/ProgressDisplay.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class ProgressDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(800, 600);
        label_ = new QLabel("stale", &window_);
        bar_ = new QProgressBar(&window_);
        modProgress::AttachCollectControls(label_, bar_);
    }
    void TearDown() override {
        modProgress::HideCollectProgress();
        modProgress::AttachCollectControls(nullptr, nullptr);
    }
    QWidget window_;
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

TEST_F(ProgressDisplayTest, ShowSetAndHideACollection) {
    modProgress::ShowCollectProgress();
    EXPECT_FALSE(label_->isHidden());
    EXPECT_FALSE(bar_->isHidden());
    EXPECT_EQ(label_->text(), "");
    EXPECT_EQ(bar_->value(), 0);
    EXPECT_EQ(bar_->maximum(), 100);

    modProgress::SetCollectProgressValue(2);  // no maximum yet: the bar stays
    EXPECT_EQ(bar_->value(), 0);
    modProgress::SetCollectProgressMax(3);
    EXPECT_EQ(bar_->value(), 0);
    modProgress::SetCollectProgressValue(1);
    EXPECT_EQ(bar_->value(), 33);
    modProgress::SetCollectProgressText("Fetched msg 1 of 3");
    EXPECT_EQ(label_->text(), "Fetched msg 1 of 3");
    modProgress::SetCollectProgressValue(3);
    EXPECT_EQ(bar_->value(), 100);
    EXPECT_EQ(modProgress::GetCollectProgressValue(), 3);
    EXPECT_EQ(modProgress::GetCollectProgressMax(), 3);

    modProgress::HideCollectProgress();
    EXPECT_TRUE(label_->isHidden());
    EXPECT_TRUE(bar_->isHidden());
    EXPECT_EQ(bar_->value(), 0);
    EXPECT_EQ(modProgress::GetCollectProgressMax(), 0);
    modProgress::SetCollectProgressValue(2);  // the maximum went with the hide
    EXPECT_EQ(bar_->value(), 0);
}

TEST_F(ProgressDisplayTest, PairsAreIndependentAndSurviveTheirControls) {
    const int collectBar = bar_->value();
    auto label2 = std::make_unique<QLabel>();
    auto bar2 = std::make_unique<QProgressBar>();
    modProgress::AttachSendControls(label2.get(), bar2.get());
    modProgress::ShowSendProgress();
    modProgress::SetSendProgressMax(4);
    modProgress::SetSendProgressValue(2);
    modProgress::SetSendProgressText("Sending msg - Authenticating..");
    EXPECT_EQ(bar2->value(), 50);
    EXPECT_EQ(bar_->value(), collectBar);
    EXPECT_EQ(modProgress::GetCollectProgressMax(), 0);

    label2.reset();
    bar2.reset();
    modProgress::SetSendProgressValue(4);
    modProgress::SetSendProgressText("Sending msg - Completed");
    modProgress::HideSendProgress();
    EXPECT_EQ(modProgress::GetSendProgressMax(), 0);
}

TEST_F(ProgressDisplayTest, LayoutConvertsTwipsAtTheWindowsResolution) {
    // The figures are for 96 dpi, which the offscreen platform the tests run on has.
    ASSERT_EQ(window_.logicalDpiX(), 96);
    ASSERT_EQ(window_.logicalDpiY(), 96);
    QWidget grid(&window_);
    grid.resize(200, 300);  // 3000 twips: labels 600, bars 900
    auto* label2 = new QLabel(&window_);
    auto* bar2 = new QProgressBar(&window_);
    label_->setGeometry(7, 0, 10, 21);
    bar_->resize(10, 23);
    modTest::LayoutProgressBars(&window_, &grid, label_, bar_, label2, bar2);
    const int top = 527;  // (600 px x 15 - 1100) twips, rounded
    EXPECT_EQ(label_->geometry(), QRect(7, top, 40, 21));
    EXPECT_EQ(bar_->geometry(), QRect(41, top, 60, 23));
    EXPECT_EQ(label2->geometry().topLeft(), QPoint(101, top));
    EXPECT_EQ(label2->width(), 40);
    EXPECT_EQ(bar2->geometry().topLeft(), QPoint(141, top));
    EXPECT_EQ(bar2->width(), 60);
}

}  // namespace
