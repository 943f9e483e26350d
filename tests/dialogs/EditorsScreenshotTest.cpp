// Draws the domain and rule editors with data offscreen and saves them in the build
// folder (editor-domain.png, editor-rule.png) for a reviewer to look at.
#include <gtest/gtest.h>

#include <QPixmap>

#include <filesystem>

#include "core/CRule.h"
#include "dialogs/AddDomainForm.h"
#include "dialogs/MailRuleForm.h"
#include "platform/EventWait.h"
#include "support/Screenshot.h"

namespace {

bool save(QWidget& widget, const char* name) {
    widget.show();
    platform::PumpEvents();
    const bool saved = testing_support::SaveScreenshot(widget, name);
    widget.hide();
    return saved;
}

TEST(EditorsScreenshot, DomainAndRuleEditors) {
    dialogs::AddDomainForm domain;
    domain.Fill("example.org", "Our partners & suppliers");
    EXPECT_TRUE(save(domain, "editor-domain.png"));

    dialogs::MailRuleForm rule;
    CRule r;
    r.Name("Junk from casinos");
    r.FromPattern("casino");
    r.SubjectPattern("you have won");
    r.Action(RuleAction::DeleteFromServer);
    rule.Edit(r);
    EXPECT_TRUE(save(rule, "editor-rule.png"));
}

}  // namespace
