#include "core/ProgramSettings.h"

#include <algorithm>
#include <array>
#include <limits>

#include "core/MiscUtils.h"
#include "core/Numbers.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"

namespace {

constexpr int kMaxDigits = 18;  // below 2^63, so the sum cannot overflow

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Rounds digits.fraction to the nearest whole number, halves to the even one.
std::int64_t roundFraction(std::int64_t whole, std::string_view fraction) {
    if (fraction.empty() || fraction[0] < '5') return whole;
    if (fraction[0] > '5') return whole + 1;
    for (char c : fraction.substr(1))
        if (c != '0') return whole + 1;
    return (whole % 2 == 0) ? whole : whole + 1;
}

constexpr std::array<MessageText, 5> kAllTexts = {MessageText::RegRequest1, MessageText::RegRequest2,
                                                  MessageText::RegRequest3, MessageText::Conf1, MessageText::Conf2};

}  // namespace

std::optional<std::int64_t> NumberOfSetting(std::string_view text) {
    std::string_view s = MiscFuncs::TrimBlanksAndTabs(text);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    const auto point = s.find('.');
    const std::string_view whole = s.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : s.substr(point + 1);
    if ((whole.empty() && fraction.empty()) || whole.size() > kMaxDigits) return std::nullopt;
    const std::optional<std::int64_t> digits = whole.empty() ? std::optional<std::int64_t>(0)
                                                             : MiscFuncs::DigitsNumber(whole, kMaxDigits);
    if (!digits) return std::nullopt;
    std::int64_t value = *digits;
    for (char c : fraction)
        if (!isDigit(c)) return std::nullopt;
    value = roundFraction(value, fraction);
    return negative ? -value : value;
}

ProgramSettings::ProgramSettings() : ini_(ProgramFiles::OptionsIniPath().string()) {}

ProgramSettings::ProgramSettings(std::string_view optionsIniPath) : ini_(optionsIniPath) {}

std::string ProgramSettings::Text(std::string_view key) const { return ini_.Value(OptionKeys::kSection, key); }

bool ProgramSettings::SetText(std::string_view key, std::string_view value) {
    return ini_.Value(OptionKeys::kSection, key, value);
}

bool ProgramSettings::Flag(std::string_view key) const { return MiscFuncs::IsFlagSet(Text(key)); }

bool ProgramSettings::FlagUnlessOff(std::string_view key) const { return MiscFuncs::TrimBlanks(Text(key)) != "0"; }

bool ProgramSettings::SetFlag(std::string_view key, bool on) { return SetText(key, on ? "1" : "0"); }

bool ProgramSettings::SetNumber(std::string_view key, std::int64_t value) {
    return SetText(key, std::to_string(value));
}

std::int64_t ProgramSettings::Number(std::string_view key, std::int64_t low, std::int64_t high,
                                     std::int64_t fallback) const {
    const auto n = NumberOfSetting(Text(key));
    return (n && *n >= low && *n <= high) ? *n : fallback;
}

std::optional<std::int64_t> ProgramSettings::StartWithWindowsNumber() const {
    return NumberOfSetting(Text(OptionKeys::StartWithWindows));
}

// The upper limits below only keep a hand-typed giant from overflowing a caller's
// arithmetic (minutes times 60, kilobytes times 1024, days as a date offset).
constexpr std::int64_t kLargeCount = std::numeric_limits<std::int16_t>::max();

int ProgramSettings::AutoDeleteUnregisteredInterval() const {
    // A blank interval once meant 0 days, which deleted every unknown sender at start-up.
    return static_cast<int>(Number(OptionKeys::AutoDeleteUnregisteredInterval, 1, kLargeCount,
                                   SettingDefaults::kAutoDeleteIntervalDays));
}

int ProgramSettings::MaxMessagesCountFromUnknown() const {
    return static_cast<int>(
        Number(OptionKeys::MaxMessagesCountFromUnknown, 1, kLargeCount, SettingDefaults::kMaxMessagesFromUnknown));
}

int ProgramSettings::RegDialogShowInterval() const {
    return static_cast<int>(
        Number(OptionKeys::RegDialogShowInterval, 0, kLargeCount, SettingDefaults::kRegDialogShowMinutes));
}

int ProgramSettings::LocalPOP3Port() const {
    return static_cast<int>(Number(OptionKeys::POP3ServerPort, 1, 65535, SettingDefaults::kLocalPOP3Port));
}

int ProgramSettings::LocalSMTPPort() const {
    return static_cast<int>(Number(OptionKeys::SMTPServerPort, 1, 65535, SettingDefaults::kLocalSMTPPort));
}

int ProgramSettings::ServerTimeoutMinutes() const {
    return static_cast<int>(Number(OptionKeys::ServerTimeouts, 1, 15, SettingDefaults::kServerTimeoutMinutes));
}

std::int16_t ProgramSettings::LogLevel() const {
    return static_cast<std::int16_t>(Number(OptionKeys::LogLevel, std::numeric_limits<std::int16_t>::min(),
                                            std::numeric_limits<std::int16_t>::max(), SettingDefaults::kLogLevel));
}

int ProgramSettings::MaxLogSizeKB() const {
    return static_cast<int>(Number(OptionKeys::MaxLogSize, 1, 4194304, SettingDefaults::kMaxLogSizeKB));
}

int ProgramSettings::MaxUnsentMessages() const {
    const auto n = NumberOfSetting(Text(OptionKeys::MaxUnsentMessages));
    if (!n) return SettingDefaults::kMaxUnsentMessages;
    return static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(*n, 1), kLargeCount));
}

int ProgramSettings::MaxRelayingDeniedAttempts() const {
    const auto n = NumberOfSetting(Text(OptionKeys::MaxRelayingDeniedAttempts));
    if (!n) return SettingDefaults::kMaxRelayingDeniedAttempts;
    return static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(*n, 1), kLargeCount));
}

int ProgramSettings::TTLForDeletedMessages() const {
    return static_cast<int>(
        Number(OptionKeys::TTLForDeletedMessages, 0, 3650000, SettingDefaults::kTTLForDeletedMessagesDays));
}

MessageDateSource ProgramSettings::UseMessageDate() const {
    const std::string stored = Text(OptionKeys::UseMessageDate);
    const std::string_view v = MiscFuncs::TrimBlanks(stored);
    if (v == "1") return MessageDateSource::DateHeader;
    if (v == "2") return MessageDateSource::Received;
    return MessageDateSource::Default;
}

std::string_view ProgramSettings::KeyOf(MessageText which) {
    switch (which) {
        case MessageText::RegRequest1: return OptionKeys::RegRequestText1;
        case MessageText::RegRequest2: return OptionKeys::RegRequestText2;
        case MessageText::RegRequest3: return OptionKeys::RegRequestText3;
        case MessageText::Conf1: return OptionKeys::ConfText1;
        case MessageText::Conf2: return OptionKeys::ConfText2;
    }
    return OptionKeys::RegRequestText1;
}

namespace {

constexpr std::string_view kDefaultMessageTexts[5] = {
    "This is an automatic answer from the mail filter that guards this mailbox against unwanted mail. "
    "Your message has been kept and not read yet, because your address is not on the list of senders "
    "whose mail comes straight through. Please confirm that you are a person writing to me, not a "
    "machine sending mail in bulk.",
    "On that page, give your name and say in a few words why you are writing. Your message is then "
    "delivered, and your later mail will reach me directly.",
    "If you did not write to this address, somebody else used yours: please ignore this mail.",
    "Thank you for confirming yourself. Your message has been delivered, and your mail to this address "
    "will reach me directly from now on.",
    "",
};

}  // namespace

std::string_view DefaultMessageText(MessageText which) { return kDefaultMessageTexts[static_cast<int>(which)]; }

bool ProgramSettings::ReadMessageText(MessageText which, std::string& plain) const {
    plain.clear();
    const std::string stored = Text(KeyOf(which));
    if (stored.empty()) {
        plain = DefaultMessageText(which);
        return true;
    }
    std::string text;
    if (!MiscFuncs::UnscrambleText(stored, text)) return false;
    plain = std::move(text);
    return true;
}

bool ProgramSettings::SetMessageText(MessageText which, std::string_view plain) {
    return SetText(KeyOf(which), MiscFuncs::ScrambleText(plain));
}

DialogOptions LoadDialogOptions(const ProgramSettings& s) {
    namespace K = OptionKeys;
    DialogOptions o;
    o.autoApproveRecepients = s.AutoApproveRecepients();
    o.autoDeleteBounced = s.AutoDeleteBounced();
    o.autoDeleteUnregistered = s.AutoDeleteUnregistered();
    o.autoDeleteUnregisteredInterval = s.Text(K::AutoDeleteUnregisteredInterval);
    o.limitMessagesFromUnknown = s.LimitMessagesFromUnknown();
    o.maxMessagesCountFromUnknown = s.Text(K::MaxMessagesCountFromUnknown);
    o.autoSendRegRequests = s.AutoSendRegRequests();
    o.autoRejectSendersExceedingLimit = s.AutoRejectSendersExceedingLimit();
    o.regDialogShowInterval = s.Text(K::RegDialogShowInterval);
    for (MessageText t : kAllTexts) s.ReadMessageText(t, o.messageTexts[static_cast<int>(t)]);
    o.sendAutoDelNote = s.SendAutoDelNote();
    o.startWithWindows = s.StartWithWindows();
    o.useConfirmations = s.UseConfirmations();
    o.showRegDialogs = s.ShowRegDialogs();
    o.smtpServerPort = s.Text(K::SMTPServerPort);
    o.pop3ServerPort = s.Text(K::POP3ServerPort);
    o.serverTimeouts = s.ServerTimeoutMinutes();
    namespace D = SettingDefaults;
    const std::pair<std::string*, int> numbers[] = {
        {&o.autoDeleteUnregisteredInterval, D::kAutoDeleteIntervalDays},
        {&o.maxMessagesCountFromUnknown, D::kMaxMessagesFromUnknown},
        {&o.regDialogShowInterval, D::kRegDialogShowMinutes},
        {&o.smtpServerPort, D::kLocalSMTPPort},
        {&o.pop3ServerPort, D::kLocalPOP3Port}};
    for (const auto& [field, fallback] : numbers)
        if (MiscFuncs::IsBlank(*field)) *field = std::to_string(fallback);
    return o;
}

std::optional<DialogOptionsFault> CheckDialogOptions(const DialogOptions& o) {
    // Digits only, as the fields accept them, within the limits.
    const auto number = [](const std::string& text, int low, int high) -> std::optional<int> {
        const auto n = MiscFuncs::DigitsNumber(MiscFuncs::TrimBlanks(text), 6, low, high);
        if (!n) return std::nullopt;
        return static_cast<int>(*n);
    };
    using F = DialogOptionField;
    if (!number(o.autoDeleteUnregisteredInterval, 1, 99))
        return DialogOptionsFault{F::AutoDeleteInterval,
                                  "Please enter the number of days after which messages from unknown senders are "
                                  "deleted (1 to 99)."};
    if (!number(o.maxMessagesCountFromUnknown, 1, 99))
        return DialogOptionsFault{F::MaxMessages,
                                  "Please enter the number of messages from unknown senders (1 to 99)."};
    if (!number(o.regDialogShowInterval, 0, 60))
        return DialogOptionsFault{F::RegDialogInterval,
                                  "Please enter the minutes of the registration dialogs (0 to 60)."};
    const auto smtp = number(o.smtpServerPort, 1, 65535);
    if (!smtp) return DialogOptionsFault{F::LocalSMTPPort, "Please enter a local SMTP server port from 1 to 65535."};
    const auto pop3 = number(o.pop3ServerPort, 1, 65535);
    if (!pop3) return DialogOptionsFault{F::LocalPOP3Port, "Please enter a local POP3 server port from 1 to 65535."};
    if (*smtp == *pop3)
        return DialogOptionsFault{F::LocalPOP3Port, "The local POP3 and SMTP server ports must differ."};
    return std::nullopt;
}

bool SaveDialogOptions(ProgramSettings& s, const DialogOptions& o) {
    namespace K = OptionKeys;
    CIniFile::Batch batch(s.Ini());
    s.SetFlag(K::AutoApproveRecepients, o.autoApproveRecepients);
    s.SetFlag(K::AutoDeleteBounced, o.autoDeleteBounced);
    s.SetFlag(K::AutoDeleteUnregistered, o.autoDeleteUnregistered);
    s.SetText(K::AutoDeleteUnregisteredInterval, o.autoDeleteUnregisteredInterval);
    s.SetFlag(K::LimitMessagesFromUnknown, o.limitMessagesFromUnknown);
    s.SetText(K::MaxMessagesCountFromUnknown, o.maxMessagesCountFromUnknown);
    s.SetFlag(K::AutoSendRegRequests, o.autoSendRegRequests);
    s.SetFlag(K::AutoRejectSendersExceedingLimit, o.autoRejectSendersExceedingLimit);
    s.SetText(K::RegDialogShowInterval, o.regDialogShowInterval);
    for (MessageText t : kAllTexts) s.SetMessageText(t, o.messageTexts[static_cast<int>(t)]);
    s.SetFlag(K::SendAutoDelNote, o.sendAutoDelNote);
    s.SetFlag(K::StartWithWindows, o.startWithWindows);
    s.SetFlag(K::UseConfirmations, o.useConfirmations);
    s.SetFlag(K::ShowRegDialogs, o.showRegDialogs);
    s.SetText(K::SMTPServerPort, o.smtpServerPort);
    s.SetText(K::POP3ServerPort, o.pop3ServerPort);
    s.SetNumber(K::ServerTimeouts, o.serverTimeouts);
    return batch.Commit();
}
