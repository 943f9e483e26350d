#pragma once
// Small helpers the setup wizard's files share: 8-bit text to and from the widgets, its
// message boxes (titled with the wizard's caption), a new account record and a port
// number read from its stored text.

#include <QString>

#include <string>
#include <string_view>

#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "dialogs/SetupWizard.h"
#include "platform/Text8.h"

namespace dialogs::wizard_detail {

inline std::string text8(const QString& s) { return s.toStdString(); }
inline QString q(std::string_view s) { return platform::FromText8(s); }

inline Prompt::Answer ask(const std::string& text, Prompt::Buttons buttons, Prompt::Kind kind,
                          int defaultButton = 1, std::string_view caption = SetupWizard::kCaption) {
    return Prompt::Ask(text, caption, buttons, kind, defaultButton);
}

inline MailAccount newRecord(std::string address) {
    MailAccount a;
    a.EMailAddress = std::move(address);
    a.POP3ServerPort = "110";
    a.SMTPServerPort = "25";
    a.POP3CollectorInterval = 10;
    return a;
}

// The port a stored port text gives (Accounts::ServerPort), fallback for a blank or
// unreadable one.
inline int portOf(const std::string& text, int fallback) {
    return Accounts::ServerPort(text, fallback).value_or(fallback);
}

}  // namespace dialogs::wizard_detail
