#include "platform/TrayIcon.h"

#include <gtest/gtest.h>

#include <QPixmap>

#include <string>

namespace {

QIcon anIcon() {
    QPixmap p(16, 16);
    p.fill(Qt::darkGreen);
    return QIcon(p);
}

class TrayIconTest : public ::testing::Test {
protected:
    void TearDown() override {
        MiscFuncs::RemoveTrayIcon();
        EXPECT_EQ(MiscFuncs::TrayIcon(), nullptr);
    }
    QWidget form_;
};

TEST_F(TrayIconTest, TipIsCutToWhatTheIconShows) {
    struct Case { std::string tip, shown; };
    const Case cases[] = {
        {std::string(70, 'x'), std::string(63, 'x')},
        {std::string(63, 'y'), std::string(63, 'y')},
        {std::string("Glimmerpost\0hidden", 18), "Glimmerpost"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(MiscFuncs::TrayTipText(c.tip), c.shown);

    MiscFuncs::AddTrayIcon(&form_, std::string(70, 'a'), anIcon());
    ASSERT_NE(MiscFuncs::TrayIcon(), nullptr);
    EXPECT_EQ(MiscFuncs::TrayIcon()->toolTip(), QString(63, QLatin1Char('a')));
}

TEST_F(TrayIconTest, ModifyChangesPictureAndTipOfTheAddedIcon) {
    MiscFuncs::ModifyTrayIcon(&form_, "before add", anIcon());
    EXPECT_EQ(MiscFuncs::TrayIcon(), nullptr);

    MiscFuncs::AddTrayIcon(&form_, "Glimmerpost", QIcon());
    QSystemTrayIcon* tray = MiscFuncs::TrayIcon();
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(tray->icon().isNull());
    MiscFuncs::ModifyTrayIcon(&form_, "Glimmerpost - checking mail", anIcon());
    EXPECT_EQ(MiscFuncs::TrayIcon(), tray);
    EXPECT_FALSE(tray->icon().isNull());
    EXPECT_EQ(tray->toolTip(), "Glimmerpost - checking mail");
    // Without a notification area (offscreen) the icon exists but is never shown.
    EXPECT_EQ(tray->isVisible(), QSystemTrayIcon::isSystemTrayAvailable());
}

TEST_F(TrayIconTest, RemoveIsHarmlessTwiceAndTheFormTakesTheIconAlong) {
    MiscFuncs::RemoveTrayIcon();
    {
        QWidget owner;
        MiscFuncs::AddTrayIcon(&owner, "x", anIcon());
        EXPECT_NE(MiscFuncs::TrayIcon(), nullptr);
    }
    EXPECT_EQ(MiscFuncs::TrayIcon(), nullptr);
    MiscFuncs::ModifyTrayIcon(nullptr, "after the form closed", anIcon());
}

}  // namespace
