#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

#include "platform/Text8.h"

namespace platform {
namespace {

using Prompt::Answer;
using Prompt::Buttons;

struct ButtonMap {
    Answer answer;
    QMessageBox::StandardButton button;
};

std::vector<ButtonMap> buttonsOf(Buttons buttons) {
    switch (buttons) {
    case Buttons::OK: return {{Answer::OK, QMessageBox::Ok}};
    case Buttons::OKCancel: return {{Answer::OK, QMessageBox::Ok}, {Answer::Cancel, QMessageBox::Cancel}};
    case Buttons::AbortRetryIgnore:
        return {{Answer::Abort, QMessageBox::Abort}, {Answer::Retry, QMessageBox::Retry},
                {Answer::Ignore, QMessageBox::Ignore}};
    case Buttons::YesNoCancel:
        return {{Answer::Yes, QMessageBox::Yes}, {Answer::No, QMessageBox::No},
                {Answer::Cancel, QMessageBox::Cancel}};
    case Buttons::YesNo: return {{Answer::Yes, QMessageBox::Yes}, {Answer::No, QMessageBox::No}};
    case Buttons::RetryCancel: return {{Answer::Retry, QMessageBox::Retry}, {Answer::Cancel, QMessageBox::Cancel}};
    }
    return {{Answer::OK, QMessageBox::Ok}};
}

QMessageBox::Icon iconOf(Prompt::Kind kind) {
    switch (kind) {
    case Prompt::Kind::Critical: return QMessageBox::Critical;
    case Prompt::Kind::Question: return QMessageBox::Question;
    case Prompt::Kind::Exclamation: return QMessageBox::Warning;
    case Prompt::Kind::Information: return QMessageBox::Information;
    case Prompt::Kind::None: break;
    }
    return QMessageBox::NoIcon;
}

QString captionOf(const Prompt::Request& request) {
    if (!request.caption.empty()) return FromText8(request.caption);
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QCoreApplication::applicationName() : name;
}

}  // namespace

Answer ShowMessageBox(const Prompt::Request& request, QWidget* parent) {
    QString text = FromText8(request.text);
    text.remove(QLatin1Char('\r'));
    QMessageBox box(iconOf(request.kind), captionOf(request), text, QMessageBox::NoButton,
                    parent ? parent : QApplication::activeWindow());
    // Texts often carry what strangers wrote (an address, a subject): never markup.
    box.setTextFormat(Qt::PlainText);
    const std::vector<ButtonMap> map = buttonsOf(request.buttons);
    for (const ButtonMap& m : map) box.addButton(m.button);
    const Answer fallback = Prompt::DefaultAnswer(request);
    for (const ButtonMap& m : map)
        if (m.answer == fallback) box.setDefaultButton(m.button);
    // A box closed without a button (its close box, or the program closing it while
    // it shuts down) answers as Cancel would: never with a button that acts.
    const Answer cancelled = Prompt::CancelAnswer(request);
    for (const ButtonMap& m : map)
        if (m.answer == cancelled) box.setEscapeButton(m.button);
    box.exec();
    if (!box.clickedButton()) return cancelled;
    const auto pressed = box.standardButton(box.clickedButton());
    for (const ButtonMap& m : map)
        if (m.button == pressed) return m.answer;
    return cancelled;
}

void InstallMessageBoxes() {
    Prompt::SetPrompt([](const Prompt::Request& r) { return ShowMessageBox(r); });
}

}  // namespace platform
