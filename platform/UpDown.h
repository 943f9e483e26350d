#pragma once
// UpDown: the platform's up-down control beside a text field, its buddy.
//
// Its two arrow buttons, and the Up and Down keys in the buddy, step the whole number
// in the buddy by one within [Minimum, Maximum]: a number beyond a limit steps to that
// limit, a text that is no number (a blank field) steps to Minimum. The buddy keeps
// what the user types as it is; only a step writes it, and Stepped tells of every
// step that changed the text. The control is enabled exactly when its buddy is.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace platform {

class UpDown : public QWidget {
    Q_OBJECT

public:
    UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent);

    QLineEdit* Buddy() const { return buddy_; }
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

    // One step up (+1) or down (-1), as a click of the arrow does.
    void StepBy(int steps);

signals:
    void Stepped(int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* buddy_;
    int minimum_, maximum_;
    QToolButton *up_ = nullptr, *down_ = nullptr;
};

}  // namespace platform
