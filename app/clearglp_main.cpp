#include <QApplication>

#include "platform/DataFolder.h"
#include "platform/MessageBoxes.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::InstallMessageBoxes();
    if (platform::UseDataFolder(app.arguments()).isEmpty()) return 1;
    return 0;
}
