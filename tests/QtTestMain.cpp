// The main of the test programs whose tests need a QApplication (platform, engines,
// main window, dialogs): they run inside one (offscreen unless QT_QPA_PLATFORM says
// otherwise), with the core's event pump installed, as the program itself runs.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/EventWait.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    platform::InstallEventPump();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
