#pragma once
// The input box: asks the user for one line of text. Replaceable, so that tests answer
// it; while the program is closing it answers as cancelled without asking.

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

namespace platform {

struct InputRequest {
    QString prompt;
    QString title;
    QString defaultText;
};

// The text entered, or nothing when the box was cancelled (Cancel, Escape, its close
// box, or the program closing).
using InputBoxFn = std::function<std::optional<QString>(const InputRequest&, QWidget* parent)>;

std::optional<QString> InputBox(const InputRequest& request, QWidget* parent = nullptr);

// nullptr restores the real box (QInputDialog).
void SetInputBox(InputBoxFn box);

}  // namespace platform
