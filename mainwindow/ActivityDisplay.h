#pragma once
// The mail activity as the user sees it: the notification-area icon's animation and
// tip, and the "SendMail" and "GetMail" panels of the status bar.
//
// The engines call the four session callbacks: the collector POP3SessionStarted and
// POP3SessionEnded(new messages) around each account's session (POP3AccountResult
// before the end tells whether it failed, and why), the SMTP proxy and the
// outgoing queue SMTPSessionStarted and SMTPSessionEnded around each sending. The
// icon's state follows TrayState.h; the animation steps on `trayTimer` (125 ms, or
// 400 ms for new mail and waiting senders), and `statusBarGetTimer` returns the display
// to rest once, 30 seconds after a collection ended. Both timers are TimerControls,
// so tests fire them instead of waiting.
//
// The icon is reached through MiscFuncs::ModifyTrayIcon; before it has been added the
// display still keeps its state, tip and panels.

#include <QObject>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mainwindow/TrayState.h"
#include "platform/TimerControl.h"

namespace mainwindow {

class MainStatusBar;

// The icon's tip for an account's failure, within the tip's limit (63 characters)
// whatever the lengths: `before`, the account and "failed", then ": " and why as far
// as room is left ("..." where it was cut). When the account leaves no room for
// `before`, the tip is the account (cut and marked if need be) and " failed".
std::string FailureTrayTip(std::string_view account, std::string_view why,
                           std::string_view before = "Glimmerpost - ");

class ActivityDisplay : public QObject {
    Q_OBJECT

public:
    ActivityDisplay(QWidget* form, MainStatusBar* panels, QObject* parent = nullptr);

    // The number of senders waiting for the user's approval (the sender list of
    // status 2); none is assumed until it is set.
    void setWaitingSenders(std::function<int()> count) { waitingSenders_ = std::move(count); }

    // The state machine: stores the tip, then handles the request. An unknown state
    // text changes only the tip.
    void SetTrayState(std::string_view state, std::string_view tip);
    void SetTrayState(TrayState state, std::string_view tip);

    void POP3SessionStarted();
    void POP3SessionEnded(std::int32_t newMessages);
    // How the account's last session went: failure is why it failed ("" when it
    // succeeded). While any account has failed, the end of a collection shows that
    // failure in the "GetMail" panel and the tip instead of "No new messages", and
    // the rest after 30 seconds keeps it.
    void POP3AccountResult(std::string_view account, std::string_view failure);
    // The failure shown, "" when every account's last session succeeded.
    std::string failureText() const;
    // Every account whose last session failed, one line each: "Collecting <account>
    // failed: <why>", in the order they failed; "" when none.
    std::string failureDetails() const;
    void SMTPSessionStarted();
    void SMTPSessionEnded();

    // Back to the state after start-up: rest, frame 1, timers off.
    void reset();
    // Both timers off (shut-down).
    void stop();

    const TrayStatus& status() const { return status_; }
    const std::string& tip() const { return tip_; }
    // The key of the picture last given to the icon, "" before any.
    const std::string& shownPicture() const { return shownPicture_; }

signals:
    // An account's failure came or went (failureDetails changed).
    void failuresChanged();

public:
    platform::TimerControl& trayTimer() { return trayTimer_; }
    platform::TimerControl& statusBarGetTimer() { return statusBarGetTimer_; }

private:
    void TrayTimer_Timer();
    void StatusBarGetTimer_Timer();
    void apply(const TrayStep& step);
    void showPicture(const std::string& key);
    int waiting() const;

    QWidget* form_;
    MainStatusBar* panels_;
    std::function<int()> waitingSenders_;
    platform::TimerControl trayTimer_;
    platform::TimerControl statusBarGetTimer_;
    TrayStatus status_;
    std::string tip_ = "Glimmerpost";
    std::vector<std::pair<std::string, std::string>> failures_;  // account, why
    std::string shownPicture_;
};

}  // namespace mainwindow
