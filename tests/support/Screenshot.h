#pragma once
// Saves what a widget draws as a PNG in the build folder, for a reviewer to look at.
// Header only: the window test programs need nothing else linked.

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <filesystem>
#include <string>

namespace testing_support {

// True when the picture was drawn and a non-empty file written.
inline bool SaveScreenshot(QWidget& widget, const std::string& name) {
    const QPixmap shot = widget.grab();
    const std::filesystem::path file = std::filesystem::path(GLP_BINARY_DIR) / name;
    std::error_code ec;
    return !shot.isNull() && shot.save(QString::fromStdString(file.string()), "PNG") &&
           std::filesystem::file_size(file, ec) > 0 && !ec;
}

}  // namespace testing_support
