// Draws every page of the setup wizard, with data, as setupwizard-<n>.png in the build
// folder (and the account page during a test), so that a reviewer can look at them.
#include "SetupWizardFixture.h"
#include "support/Screenshot.h"

#include <QComboBox>
#include <QPixmap>

#include <filesystem>

using namespace testing_support;

namespace {

bool save(QWidget& w, const std::string& name) {
    platform::PumpEvents();
    return testing_support::SaveScreenshot(w, name);
}

TEST_F(SetupWizardTest, ScreenshotsOfEveryPage) {
    auto& w = make();
    EXPECT_TRUE(save(w, "setupwizard-1.png"));
    w.NextClicked();
    EXPECT_TRUE(save(w, "setupwizard-2.png"));
    w.NextClicked();
    ASSERT_EQ(w.Page(), 3);
    fillAccount("secret");
    onTest_ = [&] { EXPECT_TRUE(save(w, "setupwizard-3-testing.png")); };
    button("bTest")->click();
    onTest_ = nullptr;
    selectAccount(1);
    EXPECT_TRUE(save(w, "setupwizard-3.png"));
    child<QComboBox>("cbPOP3Security")->setCurrentIndex(2);
    child<QComboBox>("cbSMTPSecurity")->setCurrentIndex(1);
    EXPECT_TRUE(save(w, "setupwizard-3-security.png"));
    answers_ = {Prompt::Answer::No};
    w.NextClicked();
    ASSERT_EQ(w.Page(), 4);
    for (const char* alias : {"*@example.org", "me@home.example.net"}) {
        child<QLineEdit>("tAliasEmailAddress")->setText(QString::fromLatin1(alias));
        button("AddButton")->click();
    }
    EXPECT_TRUE(save(w, "setupwizard-4.png"));
    w.NextClicked();
    ASSERT_EQ(w.Page(), 5);
    EXPECT_TRUE(save(w, "setupwizard-5.png"));
}

}  // namespace
