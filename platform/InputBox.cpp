#include "platform/InputBox.h"

#include <QInputDialog>
#include <QPointer>

#include <utility>

#include "core/Prompt.h"

namespace platform {
namespace {

InputBoxFn& installed() {
    static InputBoxFn box;
    return box;
}

std::optional<QString> realBox(const InputRequest& r, QWidget* parent) {
    QPointer<QInputDialog> dialog = new QInputDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setWindowTitle(r.title);
    dialog->setLabelText(r.prompt);
    dialog->setTextValue(r.defaultText);
    const int result = dialog->exec();
    if (!dialog) return std::nullopt;
    std::optional<QString> text;
    if (result == QDialog::Accepted && !Prompt::Closing()) text = dialog->textValue();
    delete dialog.data();
    return text;
}

}  // namespace

std::optional<QString> InputBox(const InputRequest& request, QWidget* parent) {
    if (Prompt::Closing()) return std::nullopt;
    const std::optional<QString> answer = installed() ? installed()(request, parent) : realBox(request, parent);
    if (Prompt::Closing()) return std::nullopt;
    return answer;
}

void SetInputBox(InputBoxFn box) { installed() = std::move(box); }

}  // namespace platform
