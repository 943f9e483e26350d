// The frame: pages, toolbar, tray commands, page 4's buttons, resources.ini, geometry.
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabBar>

#include "MainFormTestSupport.h"
#include "mainwindow/MainStatusBar.h"
#include "mainwindow/MainToolBar.h"
#include "mainwindow/OptionsPage.h"
#include "mainwindow/SendersPage.h"
#include "platform/SingleInstance.h"
#include "platform/WindowHelpers.h"

namespace {

using testing_support::MainFormTest;
using testing_support::WriteFile;

int visiblePage(const mainwindow::GlimmerpostMainForm& form) {
    int shown = 0;
    for (int n = 1; n <= mainwindow::GlimmerpostMainForm::kPages; ++n)
        if (form.page(n)->isVisibleTo(&form)) shown = shown ? -1 : n;
    return shown;
}

TEST_F(MainFormTest, ToolbarButtonsSwitchPagesAndKeepTheCurrentOnePressed) {
    auto& form = startedForm();
    EXPECT_EQ(form.currentPage(), 1);
    EXPECT_EQ(visiblePage(form), 1);
    for (int page : {2, 2, 4, 3, 1}) {
        form.mainToolBar()->button(page)->trigger();
        EXPECT_EQ(form.currentPage(), page);
        EXPECT_EQ(visiblePage(form), page) << "exactly one page shows";
        EXPECT_EQ(form.mainToolBar()->pressedPage(), page);
        EXPECT_TRUE(form.mainToolBar()->button(page)->isChecked());
    }
    for (int n = 2; n <= 4; ++n) EXPECT_EQ(form.page(n)->size(), form.page(1)->size());
    EXPECT_EQ(form.page(0), nullptr);
    EXPECT_EQ(form.page(5), nullptr);
}

TEST_F(MainFormTest, ToolbarCommandsReachTheirHooksAndPages) {
    auto& form = startedForm();
    form.mainToolBar()->button(5)->trigger();
    EXPECT_EQ(calls("checkForNewMail"), 1);
    form.mainToolBar()->button(6)->trigger();
    form.mainToolBar()->menuItem("OnlineHLP")->trigger();
    EXPECT_EQ(opened_, (std::vector<std::string>{"https://glimmerpost.example/", "https://glimmerpost.example/help"}));
    form.mainToolBar()->button(7)->trigger();
    form.mainToolBar()->menuItem("TellAFriend")->trigger();
    EXPECT_EQ(calls("tellAFriend"), 2);
    form.mainToolBar()->menuItem("About")->trigger();
    form.mainToolBar()->menuItem("SendFeedback")->trigger();
    EXPECT_EQ(calls("showAbout"), 1);
    EXPECT_EQ(calls("sendFeedback"), 1);
    EXPECT_EQ(form.currentPage(), 1) << "commands do not change the page";
}

TEST_F(MainFormTest, OptionsPageButtonsOpenTheirTabOrLogThatNoDialogIsThere) {
    auto& form = startedForm();
    form.optionsPage()->bOptions(3)->click();
    form.optionsPage()->bOptions(1)->click();
    form.optionsPage()->bImportAddressBook()->click();
    EXPECT_EQ(optionTabs_, (std::vector<int>{3, 1}));
    EXPECT_EQ(calls("importAddressBook"), 1);

    form_.reset();
    auto& bare = makeForm(mainwindow::MainFormHooks{});
    bare.optionsPage()->bOptions(2)->click();
    bare.optionsPage()->bImportAddressBook()->click();
    bare.mainToolBar()->button(5)->trigger();
    const std::string log = programLog();
    EXPECT_NE(log.find("The options dialog is not available"), std::string::npos);
    EXPECT_NE(log.find("The address-book import is not available"), std::string::npos);
    EXPECT_NE(log.find("The mail collector is not available"), std::string::npos);
}

TEST_F(MainFormTest, WebPagesWithoutAnAddressOrOfAnotherKindAreNotOpened) {
    mainwindow::MainFormIdentity identity;
    identity.productPage = "";
    identity.helpPage = "file:///etc/passwd";
    form_ = std::make_unique<mainwindow::GlimmerpostMainForm>(identity, countingHooks());
    form_->MainToolBar_ButtonClick(6);
    form_->MainToolBar_ButtonMenuClick("OnlineHLP");
    EXPECT_TRUE(opened_.empty());
    EXPECT_NE(programLog().find("The online help is not available"), std::string::npos);
}

TEST_F(MainFormTest, OpenGoesToTheWaitingTabWhenSendersWaitForApproval) {
    auto& form = startedForm();
    form.ShowPage(3);
    form.hide();
    form.mOpen_Click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.currentPage(), 3) << "nobody waits: the page stays";

    waiting_ = 2;
    form.hide();
    MiscFuncs::SetBusyCursorForm(&form);
    form.mOpen_Click();
    EXPECT_EQ(form.currentPage(), 1);
    EXPECT_EQ(visiblePage(form), 1);
    EXPECT_EQ(form.mainToolBar()->pressedPage(), 1);
    const QTabBar* tabs = form.sendersPage()->tsSenders()->tabs();
    EXPECT_EQ(tabs->tabData(tabs->currentIndex()).toString(), "WaitingAuth");
}

TEST_F(MainFormTest, TrayClicksOpenTheWindowOrPopUpTheMenu) {
    auto& form = startedForm();
    form.hide();
    QSystemTrayIcon* tray = MiscFuncs::TrayIcon();
    ASSERT_NE(tray, nullptr);
    emit tray->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(calls("popupTrayMenu"), 1);
    EXPECT_FALSE(form.isVisible());
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form.isVisible());
    form.hide();
    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form.isVisible());
    emit tray->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(calls("popupTrayMenu"), 1);
}

TEST_F(MainFormTest, ResourcesSetCaptionsAndTipsByObjectName) {
    WriteFile(dir() / "resources.ini",
              "[GlimmerpostMainForm]\r\n"
              "bOptions(2).Caption=Your accounts\r\n"
              "frOptions.Caption=Settings\r\n"
              "lImportABDescription.Caption=Bring in your contacts\r\n"
              "MainToolBar_CheckMail.ToolTipText=Collect now\r\n"
              "mainToolBarMenu_About.Caption=About us\r\n"
              "bImportAddressBook.Font=ignored\r\n"
              "NoSuchControl.Caption=x\r\n"
              "bImportAddressBook.Caption=never applied\r\n");
    const CIniFile resources((dir() / "resources.ini").string());
    auto& form = makeForm();
    form.ApplyResources(resources);
    EXPECT_EQ(form.optionsPage()->bOptions(2)->text(), "Your accounts");
    EXPECT_EQ(form.findChild<QGroupBox*>("frOptions")->title(), "Settings");
    EXPECT_EQ(form.findChild<QLabel*>("lImportABDescription")->text(), "Bring in your contacts");
    EXPECT_EQ(form.mainToolBar()->button(5)->toolTip(), "Collect now");
    EXPECT_EQ(form.mainToolBar()->menuItem("About")->text(), "About us");
    EXPECT_NE(form.optionsPage()->bImportAddressBook()->text(), "never applied");
}

TEST_F(MainFormTest, EveryNamedControlOfTheFrameExists) {
    auto& form = makeForm();
    for (const char* name : {"MainToolBar", "MainStatusBar", "MainFormPages(1)", "MainFormPages(2)",
                             "MainFormPages(3)", "MainFormPages(4)", "tsSenders", "tsDomains", "frOptions",
                             "bOptions(1)", "bOptions(4)", "lOptionsDialogDescription", "frAddresses",
                             "bImportAddressBook", "lImportABDescription", "prgProgress", "lblProgress",
                             "prgProgress2", "lblProgress2"})
        EXPECT_NE(form.findChild<QObject*>(name), nullptr) << name;
    form.SetListIcons();
    const QTabBar* tabs = form.sendersPage()->tsSenders()->tabs();
    EXPECT_EQ(tabs->count(), 6);
    for (int i = 0; i < tabs->count(); ++i) EXPECT_FALSE(tabs->tabIcon(i).isNull()) << i;
}

TEST_F(MainFormTest, WindowKeepsBetweenDesignSizeAndScreenAndRecordsItsPlace) {
    auto& form = makeForm();
    const QSize design = mainwindow::GlimmerpostMainForm::designSize();
    form.RestoreGeometry(100, 100, 40, 30);
    EXPECT_EQ(form.size(), design.boundedTo(form.maximumSize()));
    form.RestoreGeometry(100000, std::nullopt, std::nullopt, 50);
    EXPECT_EQ(form.width(), form.maximumWidth());
    EXPECT_EQ(form.pos(), QPoint(40, 50));
    const mainwindow::WindowGeometry g = form.recordedGeometry();
    EXPECT_EQ(g.x, 40);
    EXPECT_EQ(g.y, 50);
    EXPECT_EQ(g.width, form.width());
    EXPECT_EQ(g.height, form.height());
    EXPECT_TRUE(form.hiddenOrMinimised()) << "never shown";
}

TEST_F(MainFormTest, ActivationMaximisesAndMakesTheWindowTheLastActiveForm) {
    auto& form = startedForm();
    QWidget other;
    MiscFuncs::SetBusyCursorForm(&other);
    form.showNormal();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&form, &activate);
    EXPECT_TRUE(form.isMaximized());
    EXPECT_EQ(MiscFuncs::BusyCursorForm(), &form);
}

TEST_F(MainFormTest, StatusPanelsShareTheWidthHalfAndQuarters) {
    auto& form = startedForm();
    form.POP3SessionEnded(4);
    EXPECT_EQ(form.mainStatusBar()->panelText("GetMail"), "4 new message(s)");
    auto* caption = form.findChild<QWidget*>("MainStatusBar_Caption");
    auto* get = form.findChild<QWidget*>("MainStatusBar_GetMail");
    auto* send = form.findChild<QWidget*>("MainStatusBar_SendMail");
    ASSERT_TRUE(caption && get && send);
    EXPECT_EQ(get->width(), send->width());
    EXPECT_NEAR(caption->width(), 2 * get->width(), 1);
    EXPECT_LT(caption->width() + get->width() + send->width(), form.width());
}

}  // namespace

namespace {

TEST_F(MainFormTest, LaterStartOnTheSameFolderBringsTheHiddenWindowForward) {
    auto& form = startedForm();
    form.close();
    ASSERT_FALSE(form.isVisible());
    const QString folder = QString::fromStdString(dir().string());
    platform::SingleInstance first(folder);
    QObject::connect(&first, &platform::SingleInstance::activationRequested, &form,
                     &mainwindow::GlimmerpostMainForm::ActivateFromOtherInstance);
    ASSERT_EQ(first.start(), platform::SingleInstance::Role::First);

    platform::SingleInstance second(folder);
    EXPECT_EQ(second.start(), platform::SingleInstance::Role::Second);
    EXPECT_TRUE(platform::WaitUntil([&] { return form.isVisible(); }, 2000));
    EXPECT_EQ(calls("shutDown"), 0);
}

}  // namespace

namespace {

TEST_F(MainFormTest, WithoutATrayMenuOfItsOwnTheTrayOffersOpenCheckAndClose) {
    auto hooks = countingHooks();
    hooks.popupTrayMenu = nullptr;
    auto& form = makeForm(hooks);
    form.MarkLoaded();
    form.ShowTrayMenu();
    auto* menu = form.findChild<QMenu*>("mnuSystray");
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(menu->defaultAction(), nullptr);
    EXPECT_EQ(menu->defaultAction()->text(), "Open application");
    QStringList captions;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) captions << a->text();
    EXPECT_EQ(captions, (QStringList{"Open application", "Check for new &mail", "&Close Glimmerpost"}));
    menu->close();
    menu->actions().at(1)->trigger();
    EXPECT_EQ(calls("checkForNewMail"), 1);
    answer_ = Prompt::Answer::No;
    menu->actions().last()->trigger();
    EXPECT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(calls("shutDown"), 0);
}

}  // namespace
