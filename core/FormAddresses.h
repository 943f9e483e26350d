#pragma once
// The web addresses that carry the feedback and recommendation forms to the makers'
// pages: the page address, then "prod=" and the escaped product name, then "&", the
// next key, "=" and its escaped value, and so on.
//
// Values are percent-encoded whole: every byte but the letters, digits, "-", ".", "_"
// and "~" becomes "%" and two upper-case hex digits, so "?", "&", "#", "+", "%", CR
// and LF reach the page as typed. Texts are taken as UTF-8 (as the windows hand them
// over), so a non-ASCII character arrives as its UTF-8 bytes, each escaped.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace BrowserHelpers {

std::string UrlEscape(std::string_view text);

using QueryField = std::pair<std::string_view, std::string_view>;  // key, unescaped value

// The page address followed by key=value pairs joined by "&", values escaped.
std::string PageWithQuery(std::string_view page, const std::vector<QueryField>& fields);

// The makers' feedback and recommendation pages, under the product's site address.
std::string FeedbackPage();
std::string TellAFriendPage();

// The feedback's body: "V" and the full version, CR LF, the comment, then two CR LF
// and the browser line ("Internet Explorer Browser " or "Other Browser: ..." and the
// last 15 characters of the browser's path).
std::string FeedbackBody(std::string_view comment, bool internetExplorer, std::string_view browserPath);
// The recommendation's body: the message, two CR LF, "v" and the full version.
std::string TellAFriendBody(std::string_view message);
// The text the recommendation form starts with, naming the product and its home page.
std::string TellAFriendText(std::string_view productName);

}  // namespace BrowserHelpers
