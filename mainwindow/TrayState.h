#pragma once
// The state machine of the notification-area icon's animation.
//
// The engines report collections and sendings; each report asks for a state. A
// running animation ("D", "U", "N") is never replaced by another one: it is left
// only through a rest request "R" (taken when its frames have all been shown) or
// "RI" (at once). "R" and "A" give way to any new state. "RI" is honoured in every
// state, so a rest-at-once request can never leave the icon stuck.
//
// Everything here is a pure function of the status, the event and the counts, so the
// display (ActivityDisplay) only carries the results out on the icon and its timer.

#include <optional>
#include <string>
#include <string_view>

namespace mainwindow {

enum class TrayState {
    Rest,        // "R": the static icon, or a pending return to rest
    RestAtOnce,  // "RI": stop the animation and show the rest icon now (a request only)
    NewMail,     // "N"
    Approval,    // "A": senders wait for the user's approval
    Collecting,  // "D": a POP3 collection runs
    Sending,     // "U": mail is being sent
};

std::string_view TrayStateText(TrayState state);
std::optional<TrayState> TrayStateFromText(std::string_view text);

// Animation steps: 125 ms, 400 ms while new mail or waiting senders are shown.
inline constexpr int kTrayFastMs = 125;
inline constexpr int kTraySlowMs = 400;
// The display returns to rest this long after a collection ended.
inline constexpr int kRestAfterCollectionMs = 30000;

struct TrayStatus {
    TrayState state = TrayState::Rest;
    int frame = 1;             // the next picture of the animation, from 1
    bool pendingRest = false;  // rest was asked for; taken after the last frame
    bool timerOn = false;      // the animation timer runs
    int intervalMs = kTrayFastMs;
    bool operator==(const TrayStatus&) const = default;
};

struct TrayStep {
    TrayStatus next;
    std::optional<std::string> picture;  // the picture key to show now ("R", "D2", ...)
    bool waitingTip = false;             // the tip becomes the waiting-senders text
};

// A request for `requested` while `now` is shown.
TrayStep RequestTrayState(const TrayStatus& now, TrayState requested);

// One tick of the animation timer. `frames` is the number of pictures the shown
// state has (1..frames); `waitingSenders` the senders waiting for approval now.
TrayStep TrayTimerTick(const TrayStatus& now, int frames, int waitingSenders);

// The picture key of one animation frame: the state's text and the frame number.
std::string TrayFrameKey(TrayState state, int frame);

}  // namespace mainwindow
