#include "core/IniLines.h"

#include <string>

#include "TempFolder.h"
#include "core/CIniFile.h"
#include "core/FormResources.h"

namespace {

using namespace MiscFuncs;

TEST(IniLinesTest, KeyValueAndSectionOfALine) {
    struct Case { const char* line; const char* key; const char* value; const char* section; };
    const Case cases[] = {
        {"Name = Bob ", "Name", "Bob", ""},
        {"=value", "", "", ""},
        {"a=", "a", "", ""},
        {"k=v=w", "k", "v=w", ""},
        {"no equals", "", "", ""},
        {"[bob@x.com]", "", "", "bob@x.com"},
        {"[ spaced ]", "", "", " spaced "},
        {"[]", "", "", ""},
        {" [a]", "", "", ""},
        {"[a] ", "", "", ""},
        {"[a=b]", "[a", "b]", "a=b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeyOfLine(c.line), c.key) << c.line;
        EXPECT_EQ(ValueOfLine(c.line), c.value) << c.line;
        EXPECT_EQ(SectionOfLine(c.line), c.section) << c.line;
    }
}

class FormResourcesTest : public testing_support::TempFolderTest {};

TEST_F(FormResourcesTest, CaptionsAndTipsInOrderUpToAKeyWithoutDot) {
    testing_support::WriteFile(dir() / "resources.ini",
                               "[AccountsOptionsDialog]\r\n"
                               "bOK.Caption=Save\r\n"
                               "bOK.Font=Arial\r\n"
                               "tName.ToolTipText=Your name\r\n"
                               "lTitle.caption=lower case is no caption\r\n"
                               "cbStart.Caption.Extra=odd\r\n"
                               "bOK.Caption=ignored duplicate\r\n"
                               "NoDot=stops here\r\n"
                               "lAfter.Caption=never applied\r\n");
    CIniFile resources((dir() / "resources.ini").string());
    const auto list = FormResources(resources, "accountsoptionsdialog");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].control, "bOK");
    EXPECT_EQ(list[0].property, kCaptionProperty);
    EXPECT_EQ(list[0].text, "Save");
    EXPECT_EQ(list[1].control, "tName");
    EXPECT_EQ(list[1].property, kToolTipProperty);
    EXPECT_EQ(list[1].text, "Your name");

    EXPECT_EQ(FormResourceText(resources, "AccountsOptionsDialog", "bok", kCaptionProperty), "Save");
    EXPECT_EQ(FormResourceText(resources, "AccountsOptionsDialog", "tName", kCaptionProperty), "");
    EXPECT_EQ(FormResourceText(resources, "AccountsOptionsDialog", "lAfter", kCaptionProperty), "");
    EXPECT_EQ(FormResourceText(resources, "OtherForm", "bOK", kCaptionProperty), "");
}

}  // namespace
