#pragma once
// The product's name, version and web pages in one place.
//
// The version comes from the build (the project version, passed as GLP_VERSION_*);
// SetProductIdentity fills, once at start-up, the program-wide texts that name the
// product and point to its pages. Until it runs those texts are empty.
//
// Pages: the site address followed by "help.asp?ref=", "default.asp?ref=" or
// "terms.asp?ref=" and the referrer (empty), and "help.asp" without a referrer.

#include <string>
#include <string_view>

#ifndef GLP_VERSION_MAJOR
#define GLP_VERSION_MAJOR 1
#endif
#ifndef GLP_VERSION_MINOR
#define GLP_VERSION_MINOR 0
#endif
#ifndef GLP_VERSION_REVISION
#define GLP_VERSION_REVISION 0
#endif

namespace ProductInfo {

inline constexpr std::string_view kProductName = "Glimmerpost";
inline constexpr int kVersionMajor = GLP_VERSION_MAJOR;
inline constexpr int kVersionMinor = GLP_VERSION_MINOR;
inline constexpr int kVersionRevision = GLP_VERSION_REVISION;
inline constexpr std::string_view kSiteAddress = "http://www.glimmerpost.example/";

// "1.0": major and minor, as the logs and the window title show the version.
std::string VersionText();
// "1.0.0": major, minor and revision.
std::string FullVersionText();
// The main window's caption: "Glimmerpost " and the full version.
std::string MainWindowCaption();

// Sets every text below from the product name.
void SetProductIdentity(std::string_view productName);

const std::string& ProductName();
// ProductName, or kProductName while no identity was set: the name a window shows.
std::string DisplayName();
const std::string& ProductNameCopy();  // the second copy some windows keep
// The product name, a blank, a short description, " v" and VersionText().
const std::string& WindowTitle();
// The product name followed by a line on its purpose and makers (the About box).
const std::string& AboutLine();
const std::string& Referrer();
const std::string& HelpPage();
const std::string& HelpPageWithoutReferrer();
const std::string& HomePage();
const std::string& SiteAddress();
const std::string& TermsPage();

}  // namespace ProductInfo
