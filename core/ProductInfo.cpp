#include "core/ProductInfo.h"

namespace ProductInfo {
namespace {

struct Identity {
    std::string productName, productNameCopy, windowTitle, aboutLine, referrer;
    std::string helpPage, helpPageWithoutReferrer, homePage, siteAddress, termsPage;
};

Identity& identity() {
    static Identity id;
    return id;
}

}  // namespace

std::string VersionText() { return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor); }

std::string FullVersionText() { return VersionText() + "." + std::to_string(kVersionRevision); }

std::string MainWindowCaption() { return std::string(kProductName) + " " + FullVersionText(); }

void SetProductIdentity(std::string_view productName) {
    Identity& id = identity();
    id.productName = id.productNameCopy = std::string(productName);
    id.windowTitle = id.productName + " sender-approval mail filter v" + VersionText();
    id.aboutLine = id.productName +
                   " admits mail only from senders you have approved. Made by the Glimmerpost developers.";
    id.referrer.clear();
    id.siteAddress = std::string(kSiteAddress);
    id.helpPage = id.siteAddress + "help.asp?ref=" + id.referrer;
    id.helpPageWithoutReferrer = id.siteAddress + "help.asp";
    id.homePage = id.siteAddress + "default.asp?ref=" + id.referrer;
    id.termsPage = id.siteAddress + "terms.asp?ref=" + id.referrer;
}

const std::string& ProductName() { return identity().productName; }
const std::string& ProductNameCopy() { return identity().productNameCopy; }
const std::string& WindowTitle() { return identity().windowTitle; }
const std::string& AboutLine() { return identity().aboutLine; }
const std::string& Referrer() { return identity().referrer; }
const std::string& HelpPage() { return identity().helpPage; }
const std::string& HelpPageWithoutReferrer() { return identity().helpPageWithoutReferrer; }
const std::string& HomePage() { return identity().homePage; }
const std::string& SiteAddress() { return identity().siteAddress; }
const std::string& TermsPage() { return identity().termsPage; }

std::string DisplayName() { return ProductName().empty() ? std::string(kProductName) : ProductName(); }

}  // namespace ProductInfo
