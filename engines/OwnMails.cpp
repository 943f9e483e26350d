#include "engines/OwnMails.h"

#include <optional>

#include "core/Address.h"
#include "core/InstallationSecret.h"
#include "core/CIniFile.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "core/Scramble.h"
#include "core/ServiceAddresses.h"
#include "protocol/ApprovalRequest.h"
#include "protocol/OwnMailSignature.h"
#include "protocol/SmtpText.h"

#ifndef GLP_VERSION_MAJOR
#define GLP_VERSION_MAJOR 1
#endif

namespace OwnMails {

// The button picture, Base64 in lines of 76 characters joined by CR LF.
extern const std::string_view kButtonImageBase64;

namespace {

constexpr std::string_view kCrLf = "\r\n";

// The page head and the fragments of the HTML bodies; recipients' mail programs show
// them as they are, so they stay exactly as they always were.
constexpr std::string_view kPageHead =
    R"(<html><head><meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1"><title>Email registration request</title></head><body bgColor=#FFFFFF>)"
    R"(<center><table border=0 cellspacing=0  bgcolor="purple" width=590 bgcolor=#FFFFFF><tr><td width=100% valign=top><table border=0 cellpadding=0 cellspacing=0 width="100%" bgcolor=#FFFFFF><tr bgcolor="purple"><td align=center><font color="white" size="2" face="verdana"><b>)"
    R"(Glimmerpost Registration</b></font>)"
    R"(</td><td align="right"><font color="white" size="2" face="verdana"></font></td></tr>)"
    R"(<tr bgcolor="white"><td colspan="2"><table border="0" width="100%" bgcolor=#FFFFFF><tr><td valign="top">)"
    R"(<font face="verdana" size="1" color="purple"></font>&nbsp;<br><font face="Verdana" size="10" color="purple"><b></b>&nbsp;</font></td><td valign="top"><font size="2" face="verdana">)";
constexpr std::string_view kMailtoOpen = R"(<a href="mailto:)";
constexpr std::string_view kMailtoClose = R"(">)";
constexpr std::string_view kLinkTableOpen = R"(<table><tr><td><a href=")";
constexpr std::string_view kLinkTableClose =
    R"(">this link </a> or button to the left to request approval.</td></tr></table>)";
constexpr std::string_view kPageClose = R"(</td></tr></table></td></tr></table></td></tr><table></center></body><html>)";
constexpr std::string_view kButtonOpen = R"("><img src = ")";
constexpr std::string_view kButtonClose =
    R"(" border="0" width="196" height="128" alt="Click here to Register"></a></td><td>Click <a href=")";

CIniFile optionsFile() { return CIniFile(ProgramFiles::OptionsIniPath().string()); }

// Unscrambles a stored text; false when it does not unscramble (plain keeps what the
// decoder left). A text never stored is its default.
bool loadText(const CIniFile& options, MessageText which, std::string& plain) {
    const std::string stored = options.Value("options", ProgramSettings::KeyOf(which));
    if (stored.empty()) {
        plain = DefaultMessageText(which);
        return true;
    }
    return MiscFuncs::UnscrambleText(stored, plain);
}

std::string joinLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\n<br>";
            ++i;
        }
    }
    return out;
}

std::string mailtoFragment(std::string_view account) {
    std::string out(kMailtoOpen);
    out.append(account).append(kMailtoClose).append(account);
    return out;
}

// The token a preview's sample link shows: the preview goes to no stranger.
constexpr std::string_view kPreviewToken = "00000000000000000000000000000000";

void requestBodies(std::string_view account, const std::optional<std::string>& noteDays, const std::string& link,
                   GeneratedMail& mail) {
    const std::string twoBreaks = "\r\n\r\n";
    mail.TextBody = "You recently sent an email to " + std::string(account) + twoBreaks + mail.UserText1 +
                    twoBreaks + "Please copy the following link to address line in your browser" + twoBreaks +
                    link + twoBreaks + mail.UserText2 + twoBreaks + mail.UserText3;
    const std::string image = ApprovalRequest::ButtonAddress(ApprovalServiceBase());
    std::string html(kPageHead);
    html += "You recently sent an email to " + mailtoFragment(account) + "</a> " + twoBreaks + mail.UserText1 +
            twoBreaks;
    html.append(kLinkTableOpen).append(link).append(kButtonOpen).append(image).append(kButtonClose);
    html.append(link).append(kLinkTableClose);
    html += std::string(kCrLf) + mail.UserText2 + twoBreaks + mail.UserText3;
    mail.HtmlBody = std::move(html);
    if (noteDays) {
        const std::string note = twoBreaks + MiscFuncs::DeletionNoticeText(*noteDays);
        mail.TextBody += note;
        mail.HtmlBody += note;
    }
    mail.HtmlBody = joinLines(mail.HtmlBody + std::string(kPageClose));
    mail.ImagePart = ButtonImagePart();
}

void buildRequest(std::string_view recipient, std::string_view account, GeneratedMail& mail) {
    const CIniFile options = optionsFile();
    if (mail.UserText1.empty() && mail.UserText2.empty()) {
        bool ok = loadText(options, MessageText::RegRequest1, mail.UserText1);
        ok = loadText(options, MessageText::RegRequest2, mail.UserText2) && ok;
        ok = loadText(options, MessageText::RegRequest3, mail.UserText3) && ok;
        if (!ok) {
            Prompt::Ask("Please edit registration messages!", ProgramFiles::kExecutableName,
                        Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        }
    }
    std::optional<std::string> noteDays;
    if (MiscFuncs::IsFlagSet(options.Value("options", "msg_RegRequest_SendAutoDelNote")))
        noteDays = options.Value("options", "AutoDeleteUnregisteredInterval");
    requestBodies(account, noteDays, ApprovalLink(recipient, account), mail);
}

// The confirmation's second text, when there is one, follows the first after an empty line.
void confirmationBodies(std::string_view account, GeneratedMail& mail) {
    const std::string second = mail.UserText2.empty() ? std::string() : "\r\n\r\n" + mail.UserText2;
    mail.TextBody = "Messages to " + std::string(account) + " are accepted:\r\n\r\n" + mail.UserText1 + second;
    std::string html(kPageHead);
    html += "Messages to " + mailtoFragment(account) + "</a> are accepted:\r\n\r\n" + mail.UserText1 + second;
    mail.HtmlBody = joinLines(html + std::string(kPageClose));
}

void buildConfirmation(std::string_view account, GeneratedMail& mail) {
    const CIniFile options = optionsFile();
    loadText(options, MessageText::Conf1, mail.UserText1);
    loadText(options, MessageText::Conf2, mail.UserText2);
    confirmationBodies(account, mail);
}

void buildTest(GeneratedMail& mail) {
    mail.TextBody = "This is a test message with signature of Glimmerpost:" +
                    MiscFuncs::ScrambleText(std::to_string(ProgramMajorVersion()));
    mail.HtmlBody.clear();
}

std::string bareAddress(std::string_view value) {
    std::string name;
    return MiscFuncs::ParseAddress(value, name);
}

// One body part's head and body: 7bit as it is, or quoted-printable when it would
// not travel as 7-bit lines.
std::string bodyPart(std::string_view type, std::string_view body) {
    const bool encode = SmtpText::NeedsEncoding(body);
    std::string out = "Content-Type: " + std::string(type) + ";\r\n\tcharset=\"";
    out += SmtpText::HasEightBit(body) ? "iso-8859-1" : "us-ascii";
    out += "\"\r\nContent-Transfer-Encoding: ";
    out += encode ? "quoted-printable" : "7bit";
    out += "\r\n\r\n";
    out += encode ? SmtpText::QuotedPrintable(body) : std::string(body);
    return out;
}

std::string headerBlock(const MailHead& head) {
    std::string out = "From: \"" + SmtpText::QuotedString(head.displayName) + "\" <" +
                      SmtpText::HeaderValue(bareAddress(head.account)) + ">\r\n";
    out += "To:" + SmtpText::HeaderValue(head.recipient) + "\r\n";
    out += "Reply-To: " + SmtpText::HeaderValue(head.account) + "\r\n";
    out += head.kind == MessageType::RegistrationRequest ? "Subject: RE:" : "Subject: ";
    out += SmtpText::HeaderValue(head.subject) + "\r\n";
    out += "Message-ID: <" + head.messageId + "@" + head.messageIdDomain + ">\r\n";
    out += "X-GLP-RCPT: " + SmtpText::HeaderValue(bareAddress(head.recipient)) + "\r\n";
    out += "X-GLP-MESSAGE: " + std::string(MessageMarker(head.kind)) + "\r\n";
    return out;
}

}  // namespace

int ProgramMajorVersion() { return GLP_VERSION_MAJOR; }

std::string_view MessageMarker(MessageType kind) {
    switch (kind) {
    case MessageType::RegistrationRequest: return "REGREQUEST";
    case MessageType::Confirmation: return "CONFIRMATION";
    default: return "TEST";
    }
}

bool IsMultipart(MessageType kind) {
    return kind == MessageType::RegistrationRequest || kind == MessageType::Confirmation;
}

void Generate(MessageType kind, std::string_view recipient, std::string_view account, GeneratedMail& mail) {
    switch (kind) {
    case MessageType::RegistrationRequest: buildRequest(recipient, account, mail); break;
    case MessageType::Confirmation: buildConfirmation(account, mail); break;
    default: buildTest(mail); break;
    }
}

void GenerateFromTexts(MessageType kind, std::string_view recipient, std::string_view account,
                       const std::optional<std::string>& deletionNoteDays, GeneratedMail& mail) {
    switch (kind) {
    case MessageType::RegistrationRequest:
        requestBodies(account, deletionNoteDays,
                      ApprovalRequest::Link(ApprovalServiceBase(), recipient, account, kPreviewToken), mail);
        break;
    case MessageType::Confirmation: confirmationBodies(account, mail); break;
    default: buildTest(mail); break;
    }
}

std::string ApprovalServiceBase() {
    return ApprovalRequest::ServiceBase(optionsFile().Value("options", "ApprovalServiceAddress"));
}

std::string ApprovalLink(std::string_view recipient, std::string_view account) {
    const std::string token = OwnMailSignature::ApprovalToken(InstallationSecret::Key(), recipient, account);
    return ApprovalRequest::Link(ApprovalServiceBase(), recipient, account, token);
}

std::string ButtonImagePart() {
    std::string out =
        "Content-Type: image/gif;\r\n        name=\"register2.gif\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment;\r\n        filename=\"register2.gif\"\r\n\r\n";
    out.append(kButtonImageBase64);
    return out;
}

std::string NewBoundary() { return "----=_" + MiscFuncs::NewGuidString() + "_2"; }

std::string ComposeMessage(const MailHead& head, const GeneratedMail& mail) {
    std::string out = headerBlock(head);
    const std::size_t signatureAt = out.size();
    if (!IsMultipart(head.kind)) {
        out += bodyPart("text/plain", mail.TextBody) + "\r\n\r\n";
    } else {
        const std::string delimiter = "--" + head.boundary;
        out += "MIME-Version: 1.0\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"" + head.boundary + "\"\r\n\r\n";
        out += "This is a multi-part Message in MIME format.\r\n\r\n" + delimiter + "\r\n";
        out += bodyPart("text/plain", mail.TextBody) + "\r\n\r\n" + delimiter + "\r\n";
        out += bodyPart("text/html", mail.HtmlBody) + "\r\n\r\n" + delimiter + "--\r\n\r\n";
    }
    if (head.signingKey.empty()) return out;
    // Signed over the fields as written and the body as the receiver reads it (after
    // the header block's empty line); the verifier reads the same fields back.
    const std::string_view block = std::string_view(out).substr(0, signatureAt);
    const auto field = [&](std::string_view name) {
        return OwnMailSignature::FieldValue(block, name).value_or(std::string());
    };
    const std::string signature = OwnMailSignature::Sign(
        head.signingKey, field(OwnMailSignature::kMarkerField), field("Message-ID"), field("From"),
        field(OwnMailSignature::kRecipientField), OwnMailSignature::BodyOf(out));
    out.insert(signatureAt, std::string(OwnMailSignature::kSignatureField) + ": " + signature + "\r\n");
    return out;
}

}  // namespace OwnMails
