#include <QApplication>

#include "core/Log.h"
#include "platform/DataFolder.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (platform::UseDataFolder(app.arguments()).isEmpty()) return 1;
    MiscFuncs::WriteLog(0, "i", "glimmerpost 1.0 is loading");
    return 0;
}
