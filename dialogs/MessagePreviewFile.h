#pragma once
// msgpreview.eml: the sample of one of the program's own mails that the options
// dialog writes into the program folder (replacing the last one) and hands to the
// desktop's mail program, so the user sees the texts being written as a recipient
// will. The sample is a multipart/alternative message (RFC 2046) with fixed sample
// addresses of reserved example domains (RFC 2606) and a fixed boundary.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "engines/OwnMails.h"

namespace dialogs {

inline constexpr std::string_view kPreviewFileName = "msgpreview.eml";
inline constexpr std::string_view kPreviewReturnPath = "registration@example.com";
inline constexpr std::string_view kPreviewUserAddress = "your.address@example.com";
inline constexpr std::string_view kPreviewSenderAddress = "unknown.sender@example.org";

// The texts as typed in the dialog.
struct PreviewTexts {
    MessageType kind = MessageType::RegistrationRequest;  // request or confirmation
    std::string account;                    // the first account's address
    std::string text1, text2, text3;        // header, middle, footer (request only)
    std::optional<std::string> noteDays;    // the deletion notice's days, when it is sent
};

// The whole file text, CR LF line ends.
std::string PreviewFileText(const PreviewTexts& texts);
// Writes it to msgpreview.eml in the program folder; the path, or nothing (logged)
// when it could not be written.
std::optional<std::filesystem::path> WritePreviewFile(const PreviewTexts& texts);

}  // namespace dialogs
