#include "dialogs/MessagePreviewFile.h"

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"

namespace dialogs {
namespace {

constexpr std::string_view kBoundary = "----=_12FF6BFDC25C41F095E5BA2C0EEDF76A_2";
constexpr std::string_view kCrLf = "\r\n";

std::string part(std::string_view type, std::string_view body) {
    std::string out = "--" + std::string(kBoundary) + "\r\nContent-Type: " + std::string(type) + ";\r\n";
    out += "Charset = \"us-ascii\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
    out.append(body);
    return out;
}

}  // namespace

std::string PreviewFileText(const PreviewTexts& t) {
    GeneratedMail mail;
    mail.UserText1 = t.text1;
    mail.UserText2 = t.text2;
    if (t.kind == MessageType::RegistrationRequest) mail.UserText3 = t.text3;
    OwnMails::GenerateFromTexts(t.kind, t.account, t.account, t.noteDays, mail);
    const std::string user(kPreviewUserAddress);
    std::string out;
    out += "Return-Path: <" + std::string(kPreviewReturnPath) + ">\r\n";
    out += "Delivered-To: " + user + "\r\n";
    out += "From: Your name <" + user + ">\r\n";
    out += "X-Priority: 3 (Normal)\r\n";
    out += "Message-ID: <1946178193.20030127234724>\r\n";
    out += "To: Unknown sender<" + std::string(kPreviewSenderAddress) + ">\r\n";
    out += "Subject: Re: Sender 's email subject\r\n";
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: multipart/alternative;\r\n";
    out += "        boundary = \"" + std::string(kBoundary) + "\"\r\n";
    out += kCrLf;
    out += part("text/plain", mail.TextBody);
    out += "\r\n\r\n" + part("text/html", mail.HtmlBody);
    out += "\r\n\r\n--" + std::string(kBoundary) + "--\r\n";
    return out;
}

std::optional<std::filesystem::path> WritePreviewFile(const PreviewTexts& texts) {
    const std::filesystem::path path = ProgramFiles::InProgramFolder(kPreviewFileName);
    std::string error;
    if (MiscFuncs::WriteFileAtomic(path, PreviewFileText(texts), MiscFuncs::Replace::Allow, nullptr, &error))
        return path;
    MiscFuncs::WriteLog(0, "#", "Error in AccountsOptionsDialog::PreviewMessage " + error);
    return std::nullopt;
}

}  // namespace dialogs
