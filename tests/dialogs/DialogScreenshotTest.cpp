// Draws the import dialogs, the about box and both forms with data offscreen and
// saves them as PNG files in the build folder, for a reviewer to look at.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "DialogTestSupport.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/CsvImportDialog.h"
#include "dialogs/FeedbackForms.h"

namespace {

using testing_support::DialogTest;

class DialogScreenshotTest : public DialogTest {
protected:
    void TearDown() override {
        dialogs::CloseFeedback();
        DialogTest::TearDown();
    }
};

TEST_F(DialogScreenshotTest, ImportDialogs) {
    auto& program = started();
    dialogs::AddressBookImportDialog book(program);
    book.oCsv()->click();
    book.tCSVFileSpec()->setText("/home/user/Documents/contacts.csv");
    EXPECT_TRUE(screenshot(book, "dialog-addressbook-import.png"));

    std::string rows = "Name,E-mail,Phone\r\n\"Smith, Bob\",bob@example.com,555-0100\r\n";
    for (int i = 0; i < 30; ++i) rows += "Friend " + std::to_string(i) + ",f" + std::to_string(i) + "@example.org,\r\n";
    dialogs::CSVImportDialog csv(program, file("contacts.csv", rows));
    ASSERT_TRUE(csv.Form_Load());
    EXPECT_TRUE(screenshot(csv, "dialog-csv-import.png"));
    bool shot = false;
    dialogs::ImportRun::SetStepHook([&](std::size_t line) {
        if (line == 12) shot = screenshot(csv, "dialog-csv-import-running.png");
    });
    csv.OkButton_Click();
    EXPECT_TRUE(shot);
}

TEST_F(DialogScreenshotTest, AboutBoxAndForms) {
    auto& program = started();
    dialogs::AboutDialog about;
    EXPECT_TRUE(screenshot(about, "dialog-about.png"));

    program.MainForm()->cmdFeedback_Click();
    dialogs::FeedbackForm()->txtBody()->setPlainText("The import found all my contacts. Could it also read\n"
                                                     "the address book of my phone?");
    dialogs::FeedbackForm()->txtEmail()->setText("me@example.com");
    EXPECT_TRUE(screenshot(*dialogs::FeedbackForm(), "dialog-feedback.png"));

    program.MainForm()->cmdTell_Click();
    dialogs::frmTellAFriend* tell = dialogs::TellAFriendForm();
    tell->txtFromName()->setText("Pat Example");
    tell->txtEmail(1)->setText("friend@example.org");
    EXPECT_TRUE(screenshot(*tell, "dialog-tellafriend.png"));
}

}  // namespace
