// The tray menu window: both menus in their order with their captions and pictures,
// the default items, the literal captions the senders page sets, and every item
// reaching its target.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QEventLoop>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mainwindow/SystrayMenuForm.h"
#include "platform/EventWait.h"

namespace {

using mainwindow::SystrayMenuForm;

struct Item {
    const char* name;
    const char* caption;  // nullptr: a separator
    bool picture;
};

const std::vector<Item> kSystray = {
    {"mOpen", "Open application", true},       {"mCheckNewMail", "Check for new &mail", true},
    {"mDiv1", nullptr, false},                 {"mTellAFriend", "Tell a friend...", false},
    {"mSendFeedback", "Send feedback...", false}, {"mDiv1a", nullptr, false},
    {"mExit", "&Close Glimmerpost", true},
};

const std::vector<Item> kIndividuals = {
    {"mPreviewMessages", "Sender's messages", true},
    {"mAcceptMessages2", "Accept message(s)", true},
    {"mRemoveMessages", "Delete message(s)", true},
    {"mApproveSender", "Approve sender", true},
    {"mDenySender", "Block sender", true},
    {"mDiv3", nullptr, false},
    {"mAcceptMessages", "Accept these messages (do not approve sender yet)", false},
    {"mDiv2", nullptr, false},
    {"mAddSender", "Add sender", true},
    {"mDeleteSender", "Delete sender", true},
    {"mDiv4", nullptr, false},
    {"mApproveSendersDomain", "Approve sender's domain", true},
    {"mBlockMessagesFromThisDomain", "Block sender's domain", true},
};

class SystrayMenuTest : public ::testing::Test {
protected:
    SystrayMenuForm::Targets recording() {
        SystrayMenuForm::Targets t;
        auto record = [this](std::string what) { return [this, what] { calls.push_back(what); }; };
        t.open = record("open");
        t.checkNewMail = record("checkNewMail");
        t.tellAFriend = record("tellAFriend");
        t.sendFeedback = record("sendFeedback");
        t.exit = record("exit");
        t.individualsButton = [this](int button) { calls.push_back("button" + std::to_string(button)); };
        t.acceptMessages = record("acceptMessages");
        t.deleteMessages = record("deleteMessages");
        t.acceptMessagesFromSender = record("acceptMessagesFromSender");
        t.approveSendersDomain = record("approveSendersDomain");
        t.blockSendersDomain = record("blockSendersDomain");
        return t;
    }
    std::vector<std::string> calls;
};

void expectMenu(const QMenu& menu, const std::vector<Item>& expected) {
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Item& e = expected[i];
        const QAction* a = actions[static_cast<qsizetype>(i)];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(a->objectName().toStdString(), e.name);
        EXPECT_EQ(a->isSeparator(), e.caption == nullptr);
        if (e.caption) {
            EXPECT_EQ(a->text().toStdString(), e.caption);
        }
        EXPECT_EQ(!a->icon().isNull(), e.picture);
        EXPECT_TRUE(a->isVisible());
    }
}

TEST_F(SystrayMenuTest, BothMenusHoldEveryItemInOrderWithItsCaptionAndPicture) {
    SystrayMenuForm form(recording());
    for (const char* name : {"mDeleteSender", "mDiv2", "mAddSender"}) form.item(name)->setVisible(false);
    form.SetImages();
    EXPECT_EQ(form.mnuSystray()->title().toStdString(), "Systray");
    EXPECT_EQ(form.mIndividuals()->title().toStdString(), "Individuals");
    expectMenu(*form.mnuSystray(), kSystray);
    expectMenu(*form.mIndividuals(), kIndividuals);
    EXPECT_EQ(form.item("mNoSuchItem"), nullptr);
}

TEST_F(SystrayMenuTest, PopUpsShowTheirDefaultItemInBold) {
    SystrayMenuForm form(recording());
    form.SetImages();
    EXPECT_EQ(form.mnuSystray()->defaultAction(), form.item("mOpen"));
    EXPECT_EQ(form.mIndividuals()->defaultAction(), form.item("mPreviewMessages"));
    form.PopupSystray(QPoint(10, 10));
    ASSERT_TRUE(platform::WaitUntil([&] { return form.mnuSystray()->isVisible(); }, 2000));
    form.mnuSystray()->close();
    form.PopupIndividuals(QPoint(10, 10));
    ASSERT_TRUE(platform::WaitUntil([&] { return form.mIndividuals()->isVisible(); }, 2000));
    form.mIndividuals()->close();
}

TEST_F(SystrayMenuTest, EveryItemCallsItsTarget) {
    const std::map<std::string, std::string> expected = {
        {"mOpen", "open"},
        {"mCheckNewMail", "checkNewMail"},
        {"mTellAFriend", "tellAFriend"},
        {"mSendFeedback", "sendFeedback"},
        {"mExit", "exit"},
        {"mApproveSender", "button1"},
        {"mDenySender", "button2"},
        {"mAddSender", "button3"},
        {"mDeleteSender", "button4"},
        {"mPreviewMessages", "button5"},
        {"mAcceptMessages2", "acceptMessages"},
        {"mRemoveMessages", "deleteMessages"},
        {"mAcceptMessages", "acceptMessagesFromSender"},
        {"mApproveSendersDomain", "approveSendersDomain"},
        {"mBlockMessagesFromThisDomain", "blockSendersDomain"},
    };
    SystrayMenuForm form(recording());
    for (const auto& [item, target] : expected) {
        calls.clear();
        form.item(item)->trigger();
        EXPECT_TRUE(calls.empty()) << item << ": not inside the menu's own handler";
        platform::PumpEvents();
        EXPECT_EQ(calls, std::vector<std::string>{target}) << item;
    }
}

// "Close Glimmerpost" ends the program, which releases this form and its menus: the
// item's target runs after the menu's mouse-release handler has returned (in the
// program's event loop, as a queued call), and the menus, which Qt may still hold,
// go with deleteLater.
TEST_F(SystrayMenuTest, AClickedItemThatReleasesTheFormRunsAfterTheMenusHandler) {
    std::unique_ptr<SystrayMenuForm> form;
    QPointer<QMenu> menu;
    QEventLoop loop;
    bool clickReturnedFirst = false, menuClosed = false, menuStillThere = false;
    SystrayMenuForm::Targets targets;
    targets.exit = [&] {
        menuClosed = menu && !menu->isVisible();
        form.reset();
        menuStillThere = !menu.isNull();
        loop.quit();
    };
    form = std::make_unique<SystrayMenuForm>(targets);
    menu = form->mnuSystray();
    form->PopupSystray(QPoint(10, 10));
    ASSERT_TRUE(platform::WaitUntil([&] { return menu->isVisible(); }, 2000));
    QTimer::singleShot(0, &loop, [&] {
        const QPoint at = menu->actionGeometry(form->item("mExit")).center();
        QTest::mouseMove(menu, at);
        QTest::mouseClick(menu, Qt::LeftButton, {}, at);
        clickReturnedFirst = form != nullptr;
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(clickReturnedFirst) << "the release handler returned before the target ran";
    ASSERT_EQ(form, nullptr) << "the target ran";
    EXPECT_TRUE(menuClosed);
    EXPECT_TRUE(menuStillThere) << "released inside the event loop: deleted later";
    platform::PumpEvents();
    EXPECT_TRUE(menu.isNull());
}

TEST_F(SystrayMenuTest, ItemsWithoutATargetDoNothing) {
    SystrayMenuForm form(SystrayMenuForm::Targets{});
    for (QMenu* menu : {form.mnuSystray(), form.mIndividuals()})
        for (QAction* action : menu->actions()) action->trigger();
    platform::PumpEvents();
    SUCCEED();
}

TEST_F(SystrayMenuTest, CaptionsAreShownLiterally) {
    struct Case {
        const char* given;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {"Approve tom&jerry@cartoon.test", "Approve tom&&jerry@cartoon.test"},
        {"Block <b>bold</b>", "Block <b>bold</b>"},
        {"Tab\there", "Tab here"},
        {"Caf\xc3\xa9", "Caf\xc3\xa9"},
    };
    SystrayMenuForm form(recording());
    for (const Case& c : cases) {
        form.SetCaption("mApproveSender", c.given);
        EXPECT_EQ(form.item("mApproveSender")->text().toStdString(), c.shown) << c.given;
    }
    form.SetCaption("mDiv3", "not a caption");
    EXPECT_TRUE(form.item("mDiv3")->text().isEmpty());
    form.SetCaption("mNoSuchItem", "ignored");
}

}  // namespace
