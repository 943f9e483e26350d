#include "core/Utf8Cut.h"
#include "mainwindow/ActivityDisplay.h"

#include "mainwindow/MainPictures.h"
#include "mainwindow/MainStatusBar.h"
#include "platform/TrayIcon.h"

namespace mainwindow {
namespace {

constexpr std::string_view kRestTip = "Glimmerpost";

std::string newMessagesText(std::int32_t n) { return std::to_string(n) + " new message(s)"; }

// The icon's tip may be read as markup: no angle brackets or entities.
std::string tipSafe(std::string text) {
    for (char& c : text)
        if (c == '<' || c == '>' || c == '&') c = ' ';
    return text;
}

std::string failureTip(const std::pair<std::string, std::string>& failure, std::string_view before = "Glimmerpost - ") {
    return FailureTrayTip(failure.first, failure.second, before);
}

}  // namespace

std::string FailureTrayTip(std::string_view account, std::string_view why, std::string_view before) {
    constexpr std::size_t limit = MiscFuncs::kTrayTipLength;
    constexpr std::string_view failed = " failed", cut = "...";
    std::string tip = tipSafe(std::string(before) + std::string(account) + std::string(failed));
    if (tip.size() > limit) {
        // No room for the words before it: the account, cut if need be, and "failed".
        std::string name = tipSafe(std::string(account));
        if (name.size() + failed.size() > limit) name = std::string(MiscFuncs::Utf8Prefix(name, limit - failed.size() - cut.size())) + std::string(cut);
        return name + std::string(failed);
    }
    if (why.empty()) return tip;
    tip += ": " + tipSafe(std::string(why));
    if (tip.size() > limit) tip = std::string(MiscFuncs::Utf8Prefix(tip, limit - cut.size())) + std::string(cut);
    return tip;
}

ActivityDisplay::ActivityDisplay(QWidget* form, MainStatusBar* panels, QObject* parent)
    : QObject(parent), form_(form), panels_(panels) {
    trayTimer_.setEnabled(false);
    trayTimer_.setInterval(kTrayFastMs);
    statusBarGetTimer_.setEnabled(false);
    statusBarGetTimer_.setInterval(kRestAfterCollectionMs);
    connect(&trayTimer_, &platform::TimerControl::timer, this, &ActivityDisplay::TrayTimer_Timer);
    connect(&statusBarGetTimer_, &platform::TimerControl::timer, this, &ActivityDisplay::StatusBarGetTimer_Timer);
}

int ActivityDisplay::waiting() const { return waitingSenders_ ? waitingSenders_() : 0; }

void ActivityDisplay::SetTrayState(std::string_view state, std::string_view tip) {
    const std::optional<TrayState> parsed = TrayStateFromText(state);
    if (parsed) return SetTrayState(*parsed, tip);
    tip_ = std::string(tip);
}

void ActivityDisplay::SetTrayState(TrayState state, std::string_view tip) {
    tip_ = std::string(tip);
    apply(RequestTrayState(status_, state));
}

void ActivityDisplay::apply(const TrayStep& step) {
    const TrayStatus before = status_;
    status_ = step.next;
    if (step.waitingTip) tip_ = "There are " + std::to_string(waiting()) + " users waiting approval";
    if (step.picture) showPicture(*step.picture);
    if (trayTimer_.interval() != status_.intervalMs) trayTimer_.setInterval(status_.intervalMs);
    // A new animation starts its count afresh, also when the timer was running already.
    const bool started = status_.timerOn && (status_.state != before.state || !before.timerOn);
    if (started || trayTimer_.enabled() != status_.timerOn) trayTimer_.setEnabled(status_.timerOn);
}

void ActivityDisplay::showPicture(const std::string& key) {
    shownPicture_ = key;
    MiscFuncs::ModifyTrayIcon(form_, tip_, QIcon(TrayPicture(key)));
}

void ActivityDisplay::TrayTimer_Timer() {
    apply(TrayTimerTick(status_, TrayFrameCount(status_.state), waiting()));
}

void ActivityDisplay::POP3SessionStarted() {
    if (panels_) panels_->setPanel("GetMail", "GetMail", "Checking for new mail");
    SetTrayState(TrayState::Collecting, "Glimmerpost - Checking for new mail");
}

void ActivityDisplay::POP3AccountResult(std::string_view account, std::string_view failure) {
    const auto before = failures_;
    std::erase_if(failures_, [&](const auto& f) { return f.first == account; });
    if (!failure.empty()) failures_.emplace_back(std::string(account), std::string(failure));
    if (failures_ != before) emit failuresChanged();
}

std::string ActivityDisplay::failureDetails() const {
    std::string text;
    for (const auto& [account, why] : failures_) {
        if (!text.empty()) text += "\n";
        text += "Collecting " + account + " failed: " + why;
    }
    return text;
}

std::string ActivityDisplay::failureText() const {
    if (failures_.empty()) return {};
    std::string text = "Collecting " + failures_.back().first + " failed: " + failures_.back().second;
    if (failures_.size() > 1) text += " (and " + std::to_string(failures_.size() - 1) + " more account(s))";
    return text;
}

void ActivityDisplay::POP3SessionEnded(std::int32_t newMessages) {
    const std::string failure = failureText();
    if (newMessages < 1 && !failure.empty()) {
        if (panels_) panels_->setPanel("GetMail", "", failure);
        SetTrayState(TrayState::Rest, failureTip(failures_.back()));
    } else if (newMessages < 1) {
        if (panels_) panels_->setPanel("GetMail", "", "No new messages");
        SetTrayState(TrayState::Rest, kRestTip);
    } else {
        if (panels_) panels_->setPanel("GetMail", "NewMessages", newMessagesText(newMessages));
        std::string tip = "Glimmerpost - " + newMessagesText(newMessages);
        if (!failure.empty()) tip = failureTip(failures_.back(), tip + "; ");
        // The collection's animation stops at once; the new-mail one replaces it.
        SetTrayState(TrayState::RestAtOnce, tip);
        SetTrayState(TrayState::NewMail, tip);
    }
    statusBarGetTimer_.setEnabled(true);
}

void ActivityDisplay::SMTPSessionStarted() {
    if (panels_) panels_->setPanel("SendMail", "SendMail", "Sending mail");
    SetTrayState(TrayState::Sending, "Glimmerpost - Sending mail");
}

void ActivityDisplay::SMTPSessionEnded() {
    if (panels_) panels_->setPanel("SendMail", "", "");
    SetTrayState(TrayState::Rest, kRestTip);
}

void ActivityDisplay::StatusBarGetTimer_Timer() {
    statusBarGetTimer_.setEnabled(false);
    // A failure stays in view until the account's next session succeeds.
    const std::string failure = failureText();
    SetTrayState(TrayState::Rest, failure.empty() ? std::string(kRestTip) : failureTip(failures_.back()));
    if (panels_) panels_->setPanel("GetMail", "", failure);
}

void ActivityDisplay::reset() {
    stop();
    status_ = TrayStatus{};
    tip_ = std::string(kRestTip);
}

void ActivityDisplay::stop() {
    trayTimer_.setEnabled(false);
    statusBarGetTimer_.setEnabled(false);
    status_.timerOn = false;
}

}  // namespace mainwindow
