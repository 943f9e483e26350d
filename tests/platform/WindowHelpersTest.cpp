#include "platform/WindowHelpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <memory>

#include "platform/Online.h"

namespace {

bool busyPointerShown() {
    const QCursor* c = QGuiApplication::overrideCursor();
    return c && c->shape() == Qt::BusyCursor;
}

class BusyTest : public ::testing::Test {
protected:
    void TearDown() override {
        MiscFuncs::ResetBusyCursor();
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "override cursor stack left unbalanced";
    }
};

TEST_F(BusyTest, NestedSectionsKeepTheBusyPointerUntilTheLastEnds) {
    MiscFuncs::BeginBusy();
    MiscFuncs::BeginBusy();
    MiscFuncs::EndBusy();
    EXPECT_EQ(MiscFuncs::BusyCounter(), 1);
    EXPECT_TRUE(busyPointerShown());
    MiscFuncs::EndBusy();
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(BusyTest, UnmatchedEndLeavesTheCountAtZero) {
    MiscFuncs::EndBusy();
    MiscFuncs::EndBusy();
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    MiscFuncs::BeginBusy();  // one begin after them is enough for the busy pointer
    EXPECT_TRUE(busyPointerShown());
    MiscFuncs::EndBusy();
    EXPECT_FALSE(MiscFuncs::BusyCursorShown());
}

TEST_F(BusyTest, ResetForcesTheBusyStateOff) {
    for (int i = 0; i < 3; ++i) MiscFuncs::BeginBusy();
    MiscFuncs::ResetBusyCursor();
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    MiscFuncs::EndBusy();  // a section that was running when the reset came
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
}

TEST(BusyCursorFormTest, AClosedFormIsForgotten) {
    auto form = std::make_unique<QWidget>();
    MiscFuncs::SetBusyCursorForm(form.get());
    EXPECT_EQ(MiscFuncs::BusyCursorForm(), form.get());
    form.reset();
    EXPECT_EQ(MiscFuncs::BusyCursorForm(), nullptr);
}

TEST(TopmostTest, ShowsInPlaceWithOrWithoutTheOnTopBand) {
    QWidget w;
    w.setGeometry(120, 80, 300, 200);
    w.winId();
    const QRect where = w.geometry();
    const WId before = w.effectiveWinId();

    MiscFuncs::SetFormTopmost(&w, false);  // not on top already: only shown in place
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(w.effectiveWinId(), before);
    EXPECT_EQ(w.geometry(), where);

    MiscFuncs::SetFormTopmost(&w, true);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(w.geometry(), where);
    EXPECT_FALSE(w.testAttribute(Qt::WA_ShowWithoutActivating)) << "the quiet show must not stick";

    MiscFuncs::SetFormTopmost(&w, false);
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(w.geometry(), where);
    MiscFuncs::SetFormTopmost(nullptr, true);
}

QPixmap filled(Qt::GlobalColor color) {
    QPixmap p(16, 16);
    p.fill(color);
    return p;
}

TEST(MenuBitmapTest, FindsTheItemByMenuAndItemPosition) {
    QMainWindow w;
    QMenu* file = w.menuBar()->addMenu("File");
    file->addAction("Open");
    file->addSeparator();
    QAction* exit = file->addAction("Exit");
    w.menuBar()->addAction("Plain");

    EXPECT_TRUE(MiscFuncs::SetMenuItemBitmap(&w, 0, 2, filled(Qt::red), filled(Qt::green)));
    const QIcon icon = exit->icon();
    EXPECT_EQ(icon.pixmap(16, QIcon::Normal, QIcon::Off).toImage().pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(icon.pixmap(16, QIcon::Normal, QIcon::On).toImage().pixelColor(1, 1), QColor(Qt::green));

    struct Case { QWidget* window; int menu, item; };
    const Case missing[] = {{&w, 0, 1}, {&w, 0, 3}, {&w, 0, -1}, {&w, 1, 0}, {&w, 2, 0}, {nullptr, 0, 0}};
    for (const Case& c : missing)
        EXPECT_FALSE(MiscFuncs::SetMenuItemBitmap(c.window, c.menu, c.item, filled(Qt::red), QPixmap()))
            << c.menu << "/" << c.item;
}

TEST(MenuBitmapTest, APlainWindowWithAMenuBarWorksToo) {
    QWidget w;
    auto* bar = new QMenuBar(&w);
    QAction* item = bar->addMenu("Tray")->addAction("Check mail now");
    EXPECT_TRUE(MiscFuncs::SetMenuItemBitmap(&w, 0, 0, filled(Qt::blue), QPixmap()));
    EXPECT_FALSE(item->icon().isNull());
}

TEST(OnlineTest, TheSeamDecidesUntilRemoved) {
    MiscFuncs::SetOnlineCheck([] { return false; });
    EXPECT_FALSE(MiscFuncs::IsOnline());
    MiscFuncs::SetOnlineCheck([] { return true; });
    EXPECT_TRUE(MiscFuncs::IsOnline());
    MiscFuncs::SetOnlineCheck(nullptr);
}

}  // namespace
