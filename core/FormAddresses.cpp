#include "core/FormAddresses.h"

#include "core/ProductInfo.h"

namespace BrowserHelpers {
namespace {

bool unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

std::string UrlEscape(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (unreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string PageWithQuery(std::string_view page, const std::vector<QueryField>& fields) {
    std::string address(page);
    bool first = true;
    for (const auto& [key, value] : fields) {
        if (!first) address += '&';
        first = false;
        address.append(key).append("=").append(UrlEscape(value));
    }
    return address;
}

std::string FeedbackPage() { return std::string(ProductInfo::kSiteAddress) + "zshared/feedback.asp?"; }
std::string TellAFriendPage() { return std::string(ProductInfo::kSiteAddress) + "zshared/tellafriend.asp?"; }

std::string FeedbackBody(std::string_view comment, bool internetExplorer, std::string_view browserPath) {
    std::string body = "V" + ProductInfo::FullVersionText() + "\r\n" + std::string(comment);
    if (internetExplorer) return body + "\r\n\r\nInternet Explorer Browser ";
    const std::size_t tail = browserPath.size() > 15 ? browserPath.size() - 15 : 0;
    return body + "\r\n\r\nOther Browser: ..." + std::string(browserPath.substr(tail));
}

std::string TellAFriendBody(std::string_view message) {
    return std::string(message) + "\r\n\r\nv" + ProductInfo::FullVersionText();
}

std::string TellAFriendText(std::string_view productName) {
    return "I thought this might interest you... I was sick of all the junk email i get. I found " +
           std::string(productName) +
           ".  It has been working great.  I've not received any junk email since installing it. I was really "
           "impressed so I thought you might want to try it out yourself  at " +
           ProductInfo::HomePage() + " ";
}

}  // namespace BrowserHelpers
