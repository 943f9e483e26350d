#include "core/ProductInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(ProductInfoTest, VersionComesFromTheProjectVersion) {
    EXPECT_EQ(ProductInfo::kVersionMajor, 1);
    EXPECT_EQ(ProductInfo::kVersionMinor, 0);
    EXPECT_EQ(ProductInfo::VersionText(), "1.0");
    EXPECT_EQ(ProductInfo::FullVersionText(), "1.0.0");
    EXPECT_EQ(ProductInfo::MainWindowCaption(), "Glimmerpost 1.0.0");
}

TEST(ProductInfoTest, IdentityTextsNameTheProductAndItsPages) {
    ProductInfo::SetProductIdentity("Glimmerpost");
    EXPECT_EQ(ProductInfo::ProductName(), "Glimmerpost");
    EXPECT_EQ(ProductInfo::ProductNameCopy(), "Glimmerpost");
    const std::string& title = ProductInfo::WindowTitle();
    EXPECT_EQ(title.rfind("Glimmerpost ", 0), 0u);
    EXPECT_EQ(title.substr(title.size() - 5), " v1.0");
    EXPECT_EQ(ProductInfo::AboutLine().rfind("Glimmerpost", 0), 0u);
    EXPECT_EQ(ProductInfo::Referrer(), "");
    EXPECT_EQ(ProductInfo::SiteAddress(), "http://www.glimmerpost.example/");
    EXPECT_EQ(ProductInfo::HelpPage(), "http://www.glimmerpost.example/help.asp?ref=");
    EXPECT_EQ(ProductInfo::HelpPageWithoutReferrer(), "http://www.glimmerpost.example/help.asp");
    EXPECT_EQ(ProductInfo::HomePage(), "http://www.glimmerpost.example/default.asp?ref=");
    EXPECT_EQ(ProductInfo::TermsPage(), "http://www.glimmerpost.example/terms.asp?ref=");
}

}  // namespace
