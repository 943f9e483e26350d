#include <QApplication>

#include "platform/DataFolder.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (platform::UseDataFolder(app.arguments()).isEmpty()) return 1;
    return 0;
}
