// The address-book import dialog: the mail program's contacts and sent items, the
// address book files, the CSV file, and how it is reached from the program.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "DialogTestSupport.h"
#include "core/CSenders.h"
#include "core/MailProgramData.h"
#include "dialogs/CsvImportDialog.h"
#include "mainwindow/OptionsPage.h"

namespace {

using dialogs::AddressBookImportDialog;
using testing_support::DialogTest;

constexpr const char* kOutlookNotice =
    "Due to security measures implemented in\r\nlatest versions of MS Outlook messages box may appear asking you "
    "\r\nto allow Glimmerpost to access Outlook data.\r\nPlease allow Glimmerpost to access Outlook data for 1 "
    "minute.";
constexpr const char* kNoneFound = "No valid e-mail addresses found in address book specified";

class AddressBookImportTest : public DialogTest {
protected:
    void writeMailProgram() {
        testing_support::WriteFile(MailProgram::ContactsFile(),
                                   "BEGIN:VCARD\nFN:Bob\nEMAIL:a@x.com\nEMAIL:b@x.com\nEMAIL:c@x.com\nEND:VCARD\n"
                                   "BEGIN:VCARD\nFN:Blocked\nEMAIL:blocked@x.com\nEND:VCARD\n");
        testing_support::WriteFile(MailProgram::SentItemsFolder() / "1.eml",
                                   "To: \"Dan D\" <dan@y.org>; eve@y.org\r\nBcc: fay@z.net\r\n\r\nhi\r\n");
    }
};

TEST_F(AddressBookImportTest, MailProgramSourcesCountWhatTheyApprove) {
    writeSenders("[blocked@x.com]\r\nAccessLevel=0\r\n");
    writeMailProgram();
    auto& program = started();
    const struct {
        bool contacts, sent;
        std::string result;
    } cases[] = {
        {true, false, "3 senders have been successfuly imported\r\n"
                      "1 addresses belong to senders you have blocked; they stay blocked"},
        {false, true, "3 senders have been successfuly imported"},
        {true, true, "6 senders have been successfuly imported\r\n"
                     "1 addresses belong to senders you have blocked; they stay blocked"},
        {false, false, kNoneFound},
    };
    for (const auto& c : cases) {
        AddressBookImportDialog dialog(program);
        dialog.show();
        dialog.cbContacts()->setChecked(c.contacts);
        dialog.cbSentFolder()->setChecked(c.sent);
        prompts_.clear();
        dialog.ImportButton_Click();
        EXPECT_EQ(promptTexts(), (std::vector<std::string>{kOutlookNotice, c.result}))
            << c.contacts << c.sent;
        EXPECT_TRUE(dialog.ImportButton()->isEnabled());
    }
    EXPECT_EQ(lastCaption(), "Address bok import");
    CSenders& senders = *program.Senders();
    EXPECT_EQ(senders.NameOf("c@x.com"), "Bob");
    EXPECT_EQ(senders.NameOf("dan@y.org"), "Dan D");
    EXPECT_EQ(senders.ReasonOf("fay@z.net"), "Imported sent messages");
    EXPECT_EQ(senders.StatusOf("blocked@x.com"), SenderStatus::Blocked);
}

TEST_F(AddressBookImportTest, AnUnreachableMailProgramFailsItsRoutine) {
    auto& program = started();
    AddressBookImportDialog dialog(program);
    dialog.show();
    dialog.ImportButton_Click();
    EXPECT_EQ(promptTexts(), (std::vector<std::string>{kOutlookNotice, "MS Outlook Contacts import failed!",
                                                       "MS Outlook Sent messages recipients import failed!",
                                                       kNoneFound}));
}

TEST_F(AddressBookImportTest, AddressBookFiles) {
    auto& program = started();
    const std::string book = file("book.vcf", "BEGIN:VCARD\nFN:Ann\nEMAIL:ann@x.com,ann@y.org\nEND:VCARD\n");
    const std::string other = file("book.wab", "\x9c\xcb\xcb\x8d binary");
    const struct {
        bool defaultBook;
        std::string path;
        std::vector<std::string> prompts;
    } cases[] = {
        {true, "", {"WAB file import failed", kNoneFound}},
        {false, (dir() / "missing.vcf").string(), {"File does not exist", kNoneFound}},
        {false, (dir() / "*.vcf").string(), {"File does not exist", kNoneFound}},
        {false, dir().string(), {"File does not exist", kNoneFound}},
        {false, other, {"WAB file import failed", kNoneFound}},
        {false, book, {"2 senders have been successfuly imported"}},
    };
    for (const auto& c : cases) {
        AddressBookImportDialog dialog(program);
        dialog.show();
        dialog.oMSOutlookExpress()->click();
        EXPECT_EQ(dialog.source(), 2);
        EXPECT_FALSE(dialog.tWabFileSpec()->isEnabled());
        if (!c.defaultBook) {
            dialog.oOtherWab()->click();
            EXPECT_TRUE(dialog.tWabFileSpec()->isEnabled());
            dialog.tWabFileSpec()->setText(QString::fromStdString(c.path));
        }
        prompts_.clear();
        dialog.ImportButton_Click();
        EXPECT_EQ(promptTexts(), c.prompts) << c.path;
    }
    EXPECT_EQ(program.Senders()->NameOf("ann@y.org"), "Ann");
    testing_support::WriteFile(AddressBook::DefaultAddressBook(), "BEGIN:VCARD\nFN:D\nEMAIL:d@x.com\nEND:VCARD\n");
    AddressBookImportDialog dialog(program);
    dialog.show();
    dialog.oMSOutlookExpress()->click();
    dialog.ImportButton_Click();
    EXPECT_EQ(lastPrompt(), "1 senders have been successfuly imported");
}

TEST_F(AddressBookImportTest, CsvFileMustExistBeforeItsDialogOpens) {
    auto& program = started();
    const std::string csv = file("c.csv", "Name,E-mail\nBob,bob@x.com\n");
    AddressBookImportDialog dialog(program);
    dialog.show();
    dialog.oCsv()->click();
    EXPECT_TRUE(dialog.tCSVFileSpec()->isEnabled());
    EXPECT_FALSE(dialog.cbContacts()->isEnabled());
    bool opened = false;
    whenModal<dialogs::CSVImportDialog>([&opened](dialogs::CSVImportDialog& csvDialog) {
        opened = true;
        csvDialog.OkButton_Click();
    });
    for (const std::string& path : {(dir() / "*.csv").string(), (dir() / "none.csv").string(), dir().string(),
                                    std::string()}) {
        prompts_.clear();
        dialog.tCSVFileSpec()->setText(QString::fromStdString(path));
        dialog.ImportButton_Click();
        EXPECT_EQ(promptTexts(), std::vector<std::string>{"File not found"}) << path;
        EXPECT_EQ(lastCaption(), "CSV import");
    }
    EXPECT_FALSE(opened);
    prompts_.clear();
    dialog.tCSVFileSpec()->setText(QString::fromStdString(csv));
    dialog.ImportButton_Click();
    EXPECT_TRUE(opened);
    EXPECT_EQ(dialogs::CsvImportPath(), csv);
    EXPECT_EQ(promptTexts(), std::vector<std::string>{"1 senders have been successfuly imported"});
}

TEST_F(AddressBookImportTest, BrowseButtonsFillTheFileBoxes) {
    auto& program = started();
    std::vector<std::string> asked;
    QString answer = "/data/book.vcf";
    dialogs::SetFileChooser([&](const QString& title, const QString&, QWidget*) {
        asked.push_back(title.toStdString());
        return answer;
    });
    AddressBookImportDialog dialog(program);
    dialog.bOpenWAB_Click();
    EXPECT_EQ(dialog.tWabFileSpec()->text(), answer);
    answer = "/data/c.csv";
    dialog.bOpenCSV_Click();
    EXPECT_EQ(dialog.tCSVFileSpec()->text(), answer);
    answer.clear();
    dialog.bOpenCSV_Click();
    EXPECT_EQ(dialog.tCSVFileSpec()->text(), "/data/c.csv") << "a cancelled choice changes nothing";
    EXPECT_EQ(asked, (std::vector<std::string>{"Select WAB file", "Select CSV file", "Select CSV file"}));
}

TEST_F(AddressBookImportTest, AShutDownStopsAnImportAtTheNextItem) {
    std::string book;
    for (int i = 0; i < 40; ++i) book += "BEGIN:VCARD\nFN:N\nEMAIL:a" + std::to_string(i) + "@x.com\nEND:VCARD\n";
    testing_support::WriteFile(AddressBook::DefaultAddressBook(), book);
    auto& program = started();
    AddressBookImportDialog dialog(program);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    dialog.oMSOutlookExpress()->click();
    std::size_t steps = 0;
    dialogs::ImportRun::SetStepHook([&](std::size_t done) {
        steps = done;
        if (done == 2) {
            EXPECT_FALSE(dialog.close()) << "the user cannot close it while it imports";
            QTimer::singleShot(0, context_.get(), [&program] { program.RequestShutDown(); });
        }
    });
    prompts_.clear();
    dialog.ImportButton_Click();
    EXPECT_LE(steps, 3u);
    EXPECT_FALSE(program.shutDownDone());
    EXPECT_TRUE(prompts_.empty()) << lastPrompt();
    EXPECT_TRUE(platform::WaitUntil([&] { return program.shutDownDone(); }, 5000));
    CSenders reloaded;
    EXPECT_EQ(reloaded.StatusOf("a0@x.com"), SenderStatus::Approved);
    EXPECT_EQ(reloaded.StatusOf("a39@x.com"), SenderStatus::NotListed);
}

TEST_F(AddressBookImportTest, RunsFromTheOptionsPage) {
    auto& program = started();
    bool shown = false;
    whenModal<AddressBookImportDialog>([&shown](AddressBookImportDialog& d) {
        shown = true;
        d.CancelButton()->click();
    });
    program.MainForm()->optionsPage()->bImportAddressBook()->click();
    EXPECT_TRUE(shown);
}

TEST_F(AddressBookImportTest, RunsAfterTheSetupWizardWhenAskedFor) {
    for (const bool asked : {false, true}) {
        std::filesystem::remove(ProgramFiles::AccountsIniPath());
        auto& program = makeProgram(false);
        dialogs_ = std::make_unique<dialogs::ProgramDialogs>();
        dialogs::AttachImports(*dialogs_, program);
        program.SetSetupWizard([this, asked](mainwindow::GlimmerpostProgram&, QWidget*) {
            addAccount();
            return mainwindow::SetupWizardResult{asked};
        });
        bool shown = false;
        QPointer<QTimer> watch = whenModal<AddressBookImportDialog>([&shown](AddressBookImportDialog& d) {
            shown = true;
            d.reject();
        });
        EXPECT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        platform::PumpEvents();
        EXPECT_EQ(shown, asked);
        delete watch.data();
        program_.reset();
    }
}

}  // namespace
