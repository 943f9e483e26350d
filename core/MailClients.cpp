#include "core/MailClients.h"

#include <exception>
#include <optional>

#include "core/Address.h"
#include "core/CIniFile.h"
#include "core/Log.h"
#include "core/MiscUtils.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "core/RegFile.h"
#include "core/Registry.h"
#include "core/RegistryStore.h"

namespace MailClients {

const ValueNames kOutlookExpressNames{"SMTP Email Address", "POP3 Server", "SMTP Display Name", "POP3 User Name",
                                      "POP3 Port", "POP3 Use Sicily", "SMTP Server", "SMTP Port",
                                      "SMTP Use Sicily", "SMTP User Name"};
const ValueNames kProfileNames{"EMail", "POP3 Server", "Display Name", "POP3 User", "POP3 Port",
                               "POP3 Use SPA", "SMTP Server", "SMTP Port", "SMTP Use Auth", "SMTP User Name"};
const ValueNames kOmiNames{"SMTP Email Address", "POP3 Server", "SMTP Display Name", "POP3 User Name",
                           "POP3 Port", "POP3 Use Sicily", "SMTP Server", "SMTP Port",
                           "SMTP Use Auth", "SMTP User Name"};
const ValueNames kOutlook8Names{"SMTP Email Address", "POP3 Server", "SMTP Display Name", "POP3 User Name",
                                "POP3 Port", "POP3 Secure Connection", "SMTP Server", "SMTP Port",
                                "SMTP Secure Connection", "SMTP User Name"};

namespace {

std::string join(std::string_view a, std::string_view b) {
    std::string s(a);
    s += '\\';
    s += b;
    return s;
}

bool startsWith000(std::string_view name) { return name.substr(0, 3) == "000"; }

// One accounts key and how its sub-keys are read.
struct Source {
    std::string accountsKey;
    const ValueNames* names;
    bool only000;       // only sub-keys named "000..."
    bool newsCheck;     // "NNTP Server" marks a news account
    bool utf16Texts;    // texts are UTF-16LE binary values
    ClientKind kind;
};

std::optional<std::string> textOf(const Registry::RegistryValues& values, std::string_view name, bool utf16) {
    const Registry::RegistryItem* item = values.Find(name);
    if (!item) return std::nullopt;
    switch (item->type) {
    case RegFile::kRegDword: return std::to_string(item->number);
    case RegFile::kRegBinary:
        if (utf16) return CleanDetectedText(FromUtf16Le(item->text));
        return CleanDetectedText(item->text.substr(0, item->text.find('\0')));
    default: return CleanDetectedText(item->text);
    }
}

std::optional<std::int16_t> numberOf(const Registry::RegistryValues& values, std::string_view name, bool utf16) {
    const Registry::RegistryItem* item = values.Find(name);
    if (!item) return std::nullopt;
    if (item->type == RegFile::kRegDword) return static_cast<std::int16_t>(item->number);
    const auto n = NumberOfSetting(*textOf(values, name, utf16));
    if (!n || *n < INT16_MIN || *n > INT16_MAX) return std::int16_t{0};
    return static_cast<std::int16_t>(*n);
}

void readText(const Registry::RegistryValues& v, std::string_view name, bool utf16, std::string& field) {
    if (auto t = textOf(v, name, utf16)) field = std::move(*t);
}
void readNumber(const Registry::RegistryValues& v, std::string_view name, bool utf16, std::int16_t& field) {
    if (auto n = numberOf(v, name, utf16)) field = *n;
}

// The mail program's SSL switches, so that an account taken over keeps its security
// towards the provider: its POP3 "SSL" is TLS from the first byte; its SMTP "SSL" is
// TLS from the first byte on port 465 and STARTTLS on any other port. Without a switch
// set the port decides (995, 465), as for an account stored without the keys. A name
// that the source uses for another field (Outlook 98's "Secure Connection" values
// are its authentication settings) is not read as a switch.
void readSecurity(const Registry::RegistryValues& v, const ValueNames& n, bool utf16, MailAccount& a) {
    const auto on = [&](std::string_view name) {
        if (name == n.pop3UseSPA || name == n.smtpRequiresAuth) return false;
        const auto value = numberOf(v, name, utf16);
        return value && *value != 0;
    };
    a.POP3Security = on("POP3 Use SSL") || on("POP3 Secure Connection")
                         ? Accounts::kImplicitTls
                         : Accounts::SecurityOf("", a.POP3ServerPort, Accounts::kPop3TlsPort);
    const bool smtpSsl = on("SMTP Use SSL") || on("SMTP Secure Connection");
    const std::int16_t byPort = Accounts::SecurityOf("", a.SMTPServerPort, Accounts::kSmtpTlsPort);
    a.SMTPSecurity = smtpSsl && byPort != Accounts::kImplicitTls ? Accounts::kStartTls : byPort;
}

MailAccount recordOf(const Registry::RegistryValues& v, const Source& src, std::string keyPath) {
    MailAccount a;
    a.POP3ServerPort = "110";
    a.SMTPServerPort = "25";
    a.POP3CollectorInterval = 10;
    const ValueNames& n = *src.names;
    const bool u = src.utf16Texts;
    readText(v, n.email, u, a.EMailAddress);
    readText(v, n.pop3Server, u, a.POP3Server);
    readText(v, n.displayName, u, a.DisplayName);
    readText(v, n.pop3User, u, a.POP3UserName);
    readText(v, n.pop3Port, false, a.POP3ServerPort);
    readNumber(v, n.pop3UseSPA, u, a.POP3UseSPA);
    readText(v, n.smtpServer, u, a.SMTPServer);
    readText(v, n.smtpPort, false, a.SMTPServerPort);
    readNumber(v, n.smtpRequiresAuth, u, a.SMTPRequiresAuth);
    readText(v, n.smtpAuthUser, u, a.SMTPAuthUserName);
    readSecurity(v, n, u, a);
    a.ClientKeyPath = std::move(keyPath);
    a.ClientKind = src.kind;
    return a;
}

bool pointsAtLocalhost(const MailAccount& a) {
    const auto local = [](std::string_view s) { return MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(s)) == "localhost"; };
    return local(a.POP3Server) || local(a.SMTPServer);
}

bool askLocalhost(const MailAccount& a) {
    const std::string text = "E-mail address " + a.EMailAddress +
                             " seems to be already configured in Outlook by previous installation of Glimmerpost, "
                             "or some other application.\r\nIf you have previously installed Glimmerpost please "
                             "consult Online Help and FAQ. \r\nIf you are sure you that you want to continue "
                             "configuring this account select \"Yes\".";
    // Taking over such an account would save the local settings as the ones to
    // restore, so the box defaults to No.
    return Prompt::Ask(text, kWizardCaption, Prompt::Buttons::YesNo, Prompt::Kind::Exclamation, 2) ==
           Prompt::Answer::Yes;
}

class Detector {
public:
    explicit Detector(const CIniFile& ini) : ini_(ini) {}

    void ReadSource(const Source& src, std::string& step, std::string_view keysStep, std::string_view valuesStep) {
        step = keysStep;
        for (const std::string& sub : Registry::EnumRegistryKeys(src.accountsKey)) {
            if (MiscFuncs::IsBlank(sub) || (src.only000 && !startsWith000(sub))) continue;
            step = valuesStep;
            const std::string keyPath = join(src.accountsKey, sub);
            Consider(Registry::EnumRegistryValues(keyPath), src, keyPath);
        }
    }

    Detection Result() && { return std::move(result_); }

private:
    void Consider(const Registry::RegistryValues& values, const Source& src, const std::string& keyPath) {
        if (src.newsCheck) {
            const auto news = textOf(values, "NNTP Server", false);
            if (news && !MiscFuncs::IsBlank(*news)) return;
        }
        MailAccount a = recordOf(values, src, keyPath);
        if (MiscFuncs::IsBlank(a.EMailAddress) || !MiscFuncs::IsValidEmail(a.EMailAddress)) return;
        for (const MailAccount& taken : result_.accounts)
            if (MiscFuncs::EqualsIgnoreCase(taken.EMailAddress, a.EMailAddress)) return;
        if (const auto section = Accounts::FindAccountSection(ini_, a.EMailAddress))
            if (!MiscFuncs::IsBlank(Accounts::LoadAccount(ini_, *section).POP3UserName)) return;
        if (pointsAtLocalhost(a) && !askLocalhost(a)) return;
        result_.accounts.push_back(std::move(a));
        result_.found = true;
    }

    const CIniFile& ini_;
    Detection result_;
};

void tellNoneFound(std::string_view program) {
    Prompt::Ask("You do not seem to have any POP3 accounts " + std::string(program) +
                    " that can be configured by Glimmerpost.\r\nNo accounts will be added. Try other "
                    "application or use Manual Configuration",
                kWizardCaption, Prompt::Buttons::OK, Prompt::Kind::Information);
}

// A registry file that cannot be read hides every account; the user is told why,
// rather than that he has none. True when it can be read.
bool registryReadable() {
    const std::string why = Registry::Store().ReadError();
    if (why.empty()) return true;
    Prompt::Ask("The settings of your e-mail application could not be read from " + Registry::RegistryFile().string() +
                    ":\r\n" + why + "\r\nNo accounts will be added. Try other application or use Manual Configuration",
                kWizardCaption, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    return false;
}

// The profile's service key: the first whose own first sub-key is named "000...",
// else the last one looked at.
std::string profileServiceKey() {
    std::string chosen;
    for (const std::string& service : Registry::EnumRegistryKeys(kOutlookProfileKey)) {
        chosen = join(kOutlookProfileKey, service);
        const std::vector<std::string> subs = Registry::EnumRegistryKeys(chosen);
        if (!subs.empty() && startsWith000(subs.front())) break;
    }
    return chosen;
}

}  // namespace

OutlookKeyKind OutlookKeyKindOf(std::string_view keyPath) {
    if (keyPath.find(kOutlookOmiKey) != std::string_view::npos) return OutlookKeyKind::Omi;
    if (keyPath.find(kOutlook8Key) != std::string_view::npos) return OutlookKeyKind::Version8;
    return OutlookKeyKind::Profile;
}

std::string FromUtf16Le(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == 0) break;
        out += unit < 256 ? static_cast<char>(unit) : '?';
    }
    return out;
}

std::string ToUtf16LeZ(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2 + 2);
    for (char c : text) {
        out += c;
        out += '\0';
    }
    out.append(2, '\0');
    return out;
}

std::string CleanDetectedText(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n' && c != '\0') out += c;
    std::string trimmed(MiscFuncs::TrimBlanks(out));
    if (trimmed.size() > kMaxDetectedText) trimmed.resize(kMaxDetectedText);
    return trimmed;
}

bool IsAccountKey(std::string_view keyPath) {
    std::vector<std::string> parts;
    if (!RegFile::SplitPath(keyPath, parts)) return false;
    const auto below = [&](std::string_view base, std::size_t wildcardAt, std::size_t extra) {
        std::vector<std::string> baseParts;
        RegFile::SplitPath(base, baseParts);
        if (wildcardAt != 0) baseParts.insert(baseParts.begin() + static_cast<std::ptrdiff_t>(wildcardAt), "*");
        if (parts.size() != baseParts.size() + extra) return false;
        for (std::size_t i = 0; i < baseParts.size(); ++i)
            if (baseParts[i] != "*" && !MiscFuncs::EqualsIgnoreCase(baseParts[i], parts[i])) return false;
        return true;
    };
    const std::string identityAccounts = join(kIdentitiesKey, kIdentityAccountsSubKey);
    return below(kOutlookExpressKey, 0, 1) || below(identityAccounts, 2, 1) || below(kOutlookOmiKey, 0, 1) ||
           below(kOutlook8Key, 0, 1) || below(kOutlookProfileKey, 0, 2);
}

Detection GetOutlookAccounts(const CIniFile& accounts) {
    std::string step;
    if (!registryReadable()) return {};
    try {
        Detector d(accounts);
        d.ReadSource({std::string(kOutlookExpressKey), &kOutlookExpressNames, true, true, false, kOutlookExpress},
                     step, "EnumRegistryKeys 1", "EnumRegistryValues 1");
        step = "EnumRegistryKeys 2";
        for (const std::string& identity : Registry::EnumRegistryKeys(kIdentitiesKey)) {
            step = "EnumRegistryValues 2";
            const std::string key = join(join(kIdentitiesKey, identity), kIdentityAccountsSubKey);
            d.ReadSource({key, &kOutlookExpressNames, true, false, false, kOutlookExpress}, step,
                         "EnumRegistryValues 2", "EnumRegistryValues 3");
        }
        Detection result = std::move(d).Result();
        if (!result.found) tellNoneFound("in Microsoft Outlook Express");
        return result;
    } catch (const std::exception& e) {
        const std::string text = "Error in GetOutlookAccounts\r\n" + std::string(e.what()) +
                                 " Last called procedure " + step;
        MiscFuncs::WriteLog(0, "#", text);
        Prompt::Ask(text, kWizardCaption, Prompt::Buttons::OK, Prompt::Kind::Critical);
        return {};
    }
}

Detection GetMSOutlookAccounts(const CIniFile& accounts) {
    std::string step;
    if (!registryReadable()) return {};
    try {
        Detector d(accounts);
        const std::string service = profileServiceKey();
        if (!service.empty())
            d.ReadSource({service, &kProfileNames, true, false, true, kOutlook}, step, "", "");
        d.ReadSource({std::string(kOutlookOmiKey), &kOmiNames, true, false, false, kOutlook}, step, "", "");
        d.ReadSource({std::string(kOutlook8Key), &kOutlook8Names, false, false, false, kOutlook}, step, "", "");
        Detection result = std::move(d).Result();
        if (!result.found) tellNoneFound("Microsoft Outlook");
        return result;
    } catch (const std::exception& e) {
        MiscFuncs::WriteLog(0, "#", "Error in GetMSOutlookAccounts\r\n" + std::string(e.what()));
        return {};
    }
}

Detection Detect(ClientKind kind, const CIniFile& accounts) {
    return kind == kOutlook ? GetMSOutlookAccounts(accounts) : GetOutlookAccounts(accounts);
}

}  // namespace MailClients
