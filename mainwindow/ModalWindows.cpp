#include "mainwindow/ModalWindows.h"

#include <QApplication>
#include <QWidget>

namespace mainwindow {

int CloseModalWindows(int bound) {
    int closed = 0;
    while (closed < bound) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->close()) break;
        ++closed;
    }
    return closed;
}

}  // namespace mainwindow
