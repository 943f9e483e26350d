#pragma once
// ProgramSettings: the [options] section of the options file (glimmerpost.ini), the
// program settings that the engines, the dialogs and the setup wizard all read.
//
// Every key has a stored form ("0"/"1" for switches, decimal text for numbers, a
// ScrambledText for the message texts) and a value that a blank, missing or unusable
// entry stands for:
// - a switch is on only when it is "1" (blanks around it ignored);
// - a number is read by NumberOfSetting; a text that does not convert, or a number
//   outside the key's limits, takes the key's default (the value the options dialog
//   starts with), so a hand-edited or half-written file never yields an empty number.
//
// The object reads the file at every call (the settings file keeps a shared parsed
// copy, so a read is a lookup), so a change by the options dialog or by hand is seen
// at once. Setters write the stored form and return whether it reached the disk.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/CIniFile.h"

// A setting as a whole number: blanks around it, an optional sign, decimal digits and
// an optional decimal fraction, rounded to the nearest whole number (halves to the
// even one). Anything else, and a number beyond 18 digits, is no number.
std::optional<std::int64_t> NumberOfSetting(std::string_view text);

namespace OptionKeys {
inline constexpr std::string_view kSection = "options";

// Written by the options dialog, in the order in which it writes them.
inline constexpr std::string_view AutoApproveRecepients = "AutoApproveRecepients";
inline constexpr std::string_view AutoDeleteBounced = "AutoDeleteBounced";
inline constexpr std::string_view AutoDeleteUnregistered = "AutoDeleteUnregistered";
inline constexpr std::string_view AutoDeleteUnregisteredInterval = "AutoDeleteUnregisteredInterval";
inline constexpr std::string_view LimitMessagesFromUnknown = "LimitMessagesFromUnknown";
inline constexpr std::string_view MaxMessagesCountFromUnknown = "MaxMessagesCountFromUnknown";
inline constexpr std::string_view AutoSendRegRequests = "AutoSendRegRequests";
inline constexpr std::string_view AutoRejectSendersExceedingLimit = "AutoRejectSendersExceedingLimit";
inline constexpr std::string_view RegDialogShowInterval = "RegDialogShowInterval";
inline constexpr std::string_view RegRequestText1 = "msg_RegRequest_Text1";
inline constexpr std::string_view RegRequestText2 = "msg_RegRequest_Text2";
inline constexpr std::string_view RegRequestText3 = "msg_RegRequest_Text3";
inline constexpr std::string_view ConfText1 = "msg_Conf_Text1";
inline constexpr std::string_view ConfText2 = "msg_Conf_Text2";
inline constexpr std::string_view SendAutoDelNote = "msg_RegRequest_SendAutoDelNote";
inline constexpr std::string_view StartWithWindows = "StartWithWindows";
inline constexpr std::string_view UseConfirmations = "UseConfirmations";
inline constexpr std::string_view ShowRegDialogs = "ShowRegDialogs";
inline constexpr std::string_view SMTPServerPort = "SMTPServerPort";
inline constexpr std::string_view POP3ServerPort = "POP3ServerPort";
inline constexpr std::string_view ServerTimeouts = "ServerTimeouts";  // the servers spell it ServerTimeOuts

// Read by the program, edited only by hand.
inline constexpr std::string_view LogLevel = "LogLevel";
inline constexpr std::string_view MaxLogSize = "MaxLogSize";
inline constexpr std::string_view MaxUnsentMessages = "MaxUnsentMessages";
inline constexpr std::string_view MaxRelayingDeniedAttempts = "MaxRelayingDeniedAttempts";
inline constexpr std::string_view UseMessageDate = "UseMessageDate";
inline constexpr std::string_view TTLForDeletedMessages = "TTLForDeletedMessages";
inline constexpr std::string_view NoAutoWildCardsInRules = "NoAutoWildCardsInRules";
// The approval service the registration requests link to (and show the button from).
inline constexpr std::string_view ApprovalServiceAddress = "ApprovalServiceAddress";
}  // namespace OptionKeys

// The five message texts of the options dialog's editor.
enum class MessageText { RegRequest1, RegRequest2, RegRequest3, Conf1, Conf2 };

// Which date goes with a stored message or a sender entry.
enum class MessageDateSource {
    Default = 0,     // the file's modification time (message store) or now (filter, collector)
    DateHeader = 1,  // the message's Date header
    Received = 2,    // its Received date
};

namespace SettingDefaults {
inline constexpr int kAutoDeleteIntervalDays = 4;
inline constexpr int kMaxMessagesFromUnknown = 5;
inline constexpr int kRegDialogShowMinutes = 1;
inline constexpr int kLocalPOP3Port = 3110;
inline constexpr int kLocalSMTPPort = 3025;
inline constexpr int kServerTimeoutMinutes = 15;
inline constexpr std::int16_t kLogLevel = 0;
inline constexpr int kMaxLogSizeKB = 32;
inline constexpr int kMaxUnsentMessages = 1;
inline constexpr int kMaxRelayingDeniedAttempts = 5;
inline constexpr int kTTLForDeletedMessagesDays = 100;
}  // namespace SettingDefaults

class ProgramSettings {
public:
    // On the options file in the program folder.
    ProgramSettings();
    explicit ProgramSettings(std::string_view optionsIniPath);

    CIniFile& Ini() { return ini_; }
    const CIniFile& Ini() const { return ini_; }

    // The stored text of any [options] key, as it is ("" when missing).
    std::string Text(std::string_view key) const;
    bool SetText(std::string_view key, std::string_view value);

    // Switches: on only when stored as "1"; setters write "1" or "0".
    // Three switches name what the program always did before they were offered, and
    // a fresh installation keeps doing it: they are off only when stored as "0" (the
    // proxy approves the recipients, a bounced request is deleted from the server,
    // destructive actions are confirmed).
    bool AutoApproveRecepients() const { return FlagUnlessOff(OptionKeys::AutoApproveRecepients); }
    bool AutoDeleteBounced() const { return FlagUnlessOff(OptionKeys::AutoDeleteBounced); }
    bool AutoDeleteUnregistered() const { return Flag(OptionKeys::AutoDeleteUnregistered); }
    bool LimitMessagesFromUnknown() const { return Flag(OptionKeys::LimitMessagesFromUnknown); }
    bool AutoSendRegRequests() const { return Flag(OptionKeys::AutoSendRegRequests); }
    bool AutoRejectSendersExceedingLimit() const { return Flag(OptionKeys::AutoRejectSendersExceedingLimit); }
    bool SendAutoDelNote() const { return Flag(OptionKeys::SendAutoDelNote); }
    bool UseConfirmations() const { return FlagUnlessOff(OptionKeys::UseConfirmations); }
    bool ShowRegDialogs() const { return Flag(OptionKeys::ShowRegDialogs); }
    bool NoAutoWildCardsInRules() const { return Flag(OptionKeys::NoAutoWildCardsInRules); }
    bool StartWithWindows() const { return Flag(OptionKeys::StartWithWindows); }
    // StartWithWindows as a number, for the start-hidden decision; nothing when the
    // stored text is no number.
    std::optional<std::int64_t> StartWithWindowsNumber() const;

    bool SetFlag(std::string_view key, bool on);

    // Days after which unknown senders are deleted: at least 1, else 4.
    int AutoDeleteUnregisteredInterval() const;
    // Messages kept from one unknown sender: at least 1, else 5.
    int MaxMessagesCountFromUnknown() const;
    // Minutes the registration pop-up waits: 0 or more, else 1.
    int RegDialogShowInterval() const;
    // The program's own POP3 and SMTP ports: 1 to 65535, else 3110 and 3025.
    int LocalPOP3Port() const;
    int LocalSMTPPort() const;
    // Session time-out of the local servers in minutes: 1 to 15, else 15.
    int ServerTimeoutMinutes() const;
    int ServerTimeoutSeconds() const { return ServerTimeoutMinutes() * 60; }
    // The highest program-log level written: a 16-bit number, else 0.
    std::int16_t LogLevel() const;
    // The size logs are cut to, in kilobytes: 1 to 4194304, else 32.
    int MaxLogSizeKB() const;
    std::int64_t MaxLogSizeBytes() const { return static_cast<std::int64_t>(MaxLogSizeKB()) * 1024; }
    // Queued mails per account before start-up warns: values below 1 count as 1.
    int MaxUnsentMessages() const;
    // Relaying refusals before a request is parked: values below 1 count as 1; else 5.
    int MaxRelayingDeniedAttempts() const;
    // Days a message stays in Recycled: 0 or more, else 100.
    int TTLForDeletedMessages() const;
    MessageDateSource UseMessageDate() const;

    bool SetNumber(std::string_view key, std::int64_t value);
    bool SetAutoDeleteUnregisteredInterval(int days) { return SetNumber(OptionKeys::AutoDeleteUnregisteredInterval, days); }
    bool SetMaxMessagesCountFromUnknown(int n) { return SetNumber(OptionKeys::MaxMessagesCountFromUnknown, n); }
    bool SetRegDialogShowInterval(int minutes) { return SetNumber(OptionKeys::RegDialogShowInterval, minutes); }
    bool SetLocalPOP3Port(int port) { return SetNumber(OptionKeys::POP3ServerPort, port); }
    bool SetLocalSMTPPort(int port) { return SetNumber(OptionKeys::SMTPServerPort, port); }
    bool SetServerTimeoutMinutes(int minutes) { return SetNumber(OptionKeys::ServerTimeouts, minutes); }

    // A message text in plain; false (and "") when it does not unscramble. A text that
    // was never stored (missing or blank) is its default (DefaultMessageText): a fresh
    // installation's mails say who asks and why. The setter stores the ScrambledText
    // (an empty text as "0000", so a text the user emptied stays empty).
    bool ReadMessageText(MessageText which, std::string& plain) const;
    bool SetMessageText(MessageText which, std::string_view plain);
    static std::string_view KeyOf(MessageText which);

private:
    bool Flag(std::string_view key) const;
    bool FlagUnlessOff(std::string_view key) const;
    // The stored number when it converts and lies within [low, high], else fallback.
    std::int64_t Number(std::string_view key, std::int64_t low, std::int64_t high, std::int64_t fallback) const;

    CIniFile ini_;
};

// The text a message part has until the user writes his own.
std::string_view DefaultMessageText(MessageText which);

// What the options dialog shows and writes, in the form its controls hold it: the
// switches as check boxes, the number fields as the text typed, the slider as its
// value, the message texts in plain.
struct DialogOptions {
    bool autoApproveRecepients = false, autoDeleteBounced = false, autoDeleteUnregistered = false;
    std::string autoDeleteUnregisteredInterval;
    bool limitMessagesFromUnknown = false;
    std::string maxMessagesCountFromUnknown;
    bool autoSendRegRequests = false, autoRejectSendersExceedingLimit = false;
    std::string regDialogShowInterval;
    std::string messageTexts[5];  // indexed by MessageText
    bool sendAutoDelNote = false, startWithWindows = false, useConfirmations = false, showRegDialogs = false;
    std::string smtpServerPort, pop3ServerPort;
    int serverTimeouts = SettingDefaults::kServerTimeoutMinutes;
};

// The dialog's fields from the file: texts as stored, a text that does not unscramble
// left empty, the slider at 15 unless a time-out of 1 to 15 is stored. A number field
// whose key is missing or blank shows the value the dialog starts with (4 days,
// 5 messages, 1 minute, local ports 3110 and 3025).
DialogOptions LoadDialogOptions(const ProgramSettings& settings);

// Why the fields cannot be saved: the field at fault and the message for the user;
// nothing when they can. Each number field must be a whole number within its
// limits (days and messages 1 to 99, the pop-up interval 0 to 60, the local ports
// 1 to 65535 and different from each other); a blank is refused, so it never means 0.
enum class DialogOptionField { AutoDeleteInterval, MaxMessages, RegDialogInterval, LocalSMTPPort, LocalPOP3Port };
struct DialogOptionsFault {
    DialogOptionField field;
    std::string message;
};
std::optional<DialogOptionsFault> CheckDialogOptions(const DialogOptions& options);
// Writes every key of the dialog in its order, as one change of the file. The caller
// sets or removes the start-with-Windows entry afterwards (core/AutoStart.h).
bool SaveDialogOptions(ProgramSettings& settings, const DialogOptions& options);
