// Draws the domains page (both tabs) and the rules page with data offscreen and saves
// them in the build folder (mainwindow-domains.png, mainwindow-domains-blocked.png,
// mainwindow-rules.png) for a reviewer to look at.
#include <QPixmap>
#include <QTabBar>

#include "PagesTestSupport.h"
#include "mainwindow/DomainsPage.h"
#include "support/Screenshot.h"

namespace {

using testing_support::PagesTest;

using testing_support::SaveScreenshot;

TEST_F(PagesTest, ScreenshotsOfTheDomainsAndRulesPages) {
    listDomain("example.org", DomainStatus::Approved, "Our partners");
    listDomain("Friends.net", DomainStatus::Approved, "Family & friends <all of them>");
    listDomain("bank.example.com", DomainStatus::Approved, "");
    listDomain("casino-offers.biz", DomainStatus::Blocked, "Manualy blocked by user");
    {
        CMailRules rules(ProgramFiles::RulesIniPath().string(), ProgramFiles::OptionsIniPath().string());
        for (const char* name : {"Newsletters", "Junk from casinos", "Keep invoices on the server"}) {
            auto rule = std::make_shared<CRule>();
            rule->Name(name);
            rule->SubjectPattern("x");
            rules.Add(rule);
        }
        ASSERT_TRUE(rules.SaveRules());
    }
    auto& program = startWithPages();
    auto& form = *program.MainForm();
    form.resize(900, 560);
    form.ShowPage(2);
    platform::PumpEvents();
    EXPECT_TRUE(SaveScreenshot(form, "mainwindow-domains.png"));
    form.domainsPage()->tsDomains()->tabs()->setCurrentIndex(1);
    platform::PumpEvents();
    EXPECT_TRUE(SaveScreenshot(form, "mainwindow-domains-blocked.png"));
    form.ShowPage(3);
    platform::PumpEvents();
    EXPECT_TRUE(SaveScreenshot(form, "mainwindow-rules.png"));
}

}  // namespace
