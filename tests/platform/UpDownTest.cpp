// The up-down control: steps of its buddy's number within the limits, by its arrows
// and by the Up and Down keys, and its enabled state following the buddy.
#include "platform/UpDown.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

TEST(UpDownTest, StepsTheBuddysNumberWithinTheLimits) {
    struct Case {
        const char* text;
        int minimum, maximum, steps;
        const char* after;
        bool stepped;
    };
    const Case cases[] = {
        {"4", 1, 99, 1, "5", true},          {"4", 1, 99, -1, "3", true},
        {"99", 1, 99, 1, "99", false},       {"1", 1, 99, -1, "1", false},
        {"150", 1, 99, 1, "99", true},       {"150", 1, 99, -1, "99", true},
        {"", 1, 99, 1, "1", true},           {"", 0, 60, -1, "0", true},
        {"0", 1, 99, -1, "1", true},         {"007", 0, 60, 1, "8", true},
        {"65535", 1, 65535, 1, "65535", false}, {"3110", 1, 65535, 1, "3111", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.steps));
        QWidget parent;
        auto* field = new QLineEdit(QString::fromLatin1(c.text), &parent);
        auto* ud = new platform::UpDown(field, c.minimum, c.maximum, &parent);
        QSignalSpy stepped(ud, &platform::UpDown::Stepped);
        (c.steps > 0 ? ud->UpButton() : ud->DownButton())->click();
        EXPECT_EQ(field->text().toStdString(), c.after);
        EXPECT_EQ(stepped.count(), c.stepped ? 1 : 0);
        if (c.stepped) {
            EXPECT_EQ(stepped.at(0).at(0).toString().toStdString(), c.after);
        }
    }
}

TEST(UpDownTest, ArrowKeysInTheBuddyStepAndTheControlFollowsItsEnabledState) {
    QWidget parent;
    auto* field = new QLineEdit("10", &parent);
    auto* ud = new platform::UpDown(field, 1, 99, &parent);
    QTest::keyClick(field, Qt::Key_Up);
    QTest::keyClick(field, Qt::Key_Up);
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(field->text(), "11");
    field->setEnabled(false);
    EXPECT_FALSE(ud->isEnabled());
    field->setEnabled(true);
    EXPECT_TRUE(ud->isEnabled());
}

}  // namespace
