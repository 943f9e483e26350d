// Draws the domain and rule editors with data offscreen and saves them in the build
// folder (editor-domain.png, editor-rule.png) for a reviewer to look at.
#include <gtest/gtest.h>

#include <QPixmap>

#include <filesystem>

#include "core/CRule.h"
#include "dialogs/AddDomainForm.h"
#include "dialogs/MailRuleForm.h"
#include "platform/EventWait.h"

namespace {

bool save(QWidget& widget, const char* name) {
    widget.show();
    platform::PumpEvents();
    const QPixmap shot = widget.grab();
    widget.hide();
    const std::filesystem::path file = std::filesystem::path(GLP_BINARY_DIR) / name;
    return !shot.isNull() && shot.save(QString::fromStdString(file.string()), "PNG") &&
           std::filesystem::file_size(file) > 0;
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
