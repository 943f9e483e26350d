#include "mainwindow/TrayState.h"

#include <array>
#include <utility>

namespace mainwindow {
namespace {

constexpr std::array<std::pair<TrayState, std::string_view>, 6> kTexts{{
    {TrayState::Rest, "R"},
    {TrayState::RestAtOnce, "RI"},
    {TrayState::NewMail, "N"},
    {TrayState::Approval, "A"},
    {TrayState::Collecting, "D"},
    {TrayState::Sending, "U"},
}};

bool givesWay(TrayState shown) { return shown == TrayState::Rest || shown == TrayState::Approval; }

bool isSlow(TrayState state) { return state == TrayState::NewMail || state == TrayState::Approval; }

TrayStep restNow(TrayStatus s) {
    s.state = TrayState::Rest;
    s.timerOn = false;
    s.intervalMs = kTrayFastMs;
    s.pendingRest = false;
    return TrayStep{s, std::string("R"), false};
}

TrayStep startAnimation(TrayStatus s, TrayState requested) {
    s.state = requested;
    s.frame = 1;
    s.timerOn = true;
    // Collection and sending step fast even when they follow the slow waiting animation.
    s.intervalMs = isSlow(requested) ? kTraySlowMs : kTrayFastMs;
    s.pendingRest = false;
    return TrayStep{s, std::nullopt, false};
}

TrayStep endOfFrames(TrayStatus s, int frames, int waitingSenders) {
    if (!s.pendingRest) {
        // Loop: show the first picture again on this tick, so no tick is blank.
        const bool any = frames >= 1;
        std::optional<std::string> picture;
        if (any) picture = TrayFrameKey(s.state, 1);
        s.frame = any ? 2 : 1;
        return TrayStep{s, std::move(picture), false};
    }
    if (waitingSenders > 0) {
        s.state = TrayState::Rest;
        TrayStep step = startAnimation(s, TrayState::Approval);
        step.waitingTip = true;
        return step;
    }
    return restNow(s);
}

}  // namespace

std::string_view TrayStateText(TrayState state) {
    for (const auto& [value, text] : kTexts)
        if (value == state) return text;
    return "R";
}

std::optional<TrayState> TrayStateFromText(std::string_view text) {
    for (const auto& [value, name] : kTexts)
        if (name == text) return value;
    return std::nullopt;
}

std::string TrayFrameKey(TrayState state, int frame) {
    return std::string(TrayStateText(state)) + std::to_string(frame);
}

TrayStep RequestTrayState(const TrayStatus& now, TrayState requested) {
    if (requested == TrayState::RestAtOnce) return restNow(now);
    if (requested == TrayState::Rest) {
        TrayStatus s = now;
        s.pendingRest = true;
        return TrayStep{s, std::nullopt, false};
    }
    if (givesWay(now.state)) return startAnimation(now, requested);
    return TrayStep{now, std::nullopt, false};
}

TrayStep TrayTimerTick(const TrayStatus& now, int frames, int waitingSenders) {
    if (now.state == TrayState::Rest || now.state == TrayState::RestAtOnce) {
        // Nothing animates at rest: a tick here only stops the timer.
        TrayStatus s = now;
        s.timerOn = false;
        return TrayStep{s, std::nullopt, false};
    }
    if (now.frame >= 1 && now.frame <= frames) {
        TrayStatus s = now;
        ++s.frame;
        return TrayStep{s, TrayFrameKey(now.state, now.frame), false};
    }
    return endOfFrames(now, frames, waitingSenders);
}

}  // namespace mainwindow
