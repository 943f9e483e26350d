// The CSV import dialog: preview, guess and header box, the import in one write, the
// refused files, and a running import that only the program's end can close.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "DialogTestSupport.h"
#include "core/CSenders.h"
#include "core/IniStore.h"
#include "dialogs/CsvImportDialog.h"

namespace {

using testing_support::DialogTest;
using dialogs::CSVImportDialog;

class CsvImportDialogTest : public DialogTest {};

TEST_F(CsvImportDialogTest, PreviewsGuessesAndImportsInOneWrite) {
    writeSenders("[blocked@x.com]\r\nAccessLevel=0\r\n");
    auto& program = started();
    const std::string path = file("contacts.csv",
                                  "\xEF\xBB\xBFName,E-mail,Phone\r\n"
                                  "\"Smith, Bob\" ,bob@x.com,1\r\n"
                                  "Ann,\"ann@y.org; Ann Two <ann2@y.org>\"\r\n"
                                  "Blocked,blocked@x.com\r\n"
                                  "\r\n");
    CSVImportDialog dialog(program, path);
    ASSERT_TRUE(dialog.Form_Load());
    EXPECT_EQ(dialog.cEMailColumn()->count(), 3);
    EXPECT_EQ(dialog.cNameColumn()->itemText(1), "E-mail");
    EXPECT_EQ(dialog.cEMailColumn()->currentIndex(), 1);
    EXPECT_EQ(dialog.cNameColumn()->currentIndex(), 0);
    EXPECT_TRUE(dialog.cbDoNotImportFirstRow()->isChecked());
    EXPECT_EQ(dialog.lTestEMail()->text(), "E-mail");
    dialog.cNameColumn()->setCurrentIndex(2);
    EXPECT_EQ(dialog.lTestName()->text(), "Phone");
    dialog.cNameColumn()->setCurrentIndex(0);
    EXPECT_TRUE(dialog.OKButton()->isEnabled());

    int changes = 0;
    program.Senders()->Change.Subscribe([&changes] { ++changes; });
    dialog.show();
    dialog.OkButton_Click();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(lastCaption(), "CSV Import");
    EXPECT_EQ(lastPrompt(), "3 senders have been successfuly imported\r\n"
                            "1 addresses belong to senders you have blocked; they stay blocked");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.pbProgress()->value(), dialog.pbProgress()->maximum());
    CSenders& senders = *program.Senders();
    EXPECT_EQ(senders.StatusOf("bob@x.com"), SenderStatus::Approved);
    EXPECT_EQ(senders.NameOf("bob@x.com"), "Smith, Bob");
    EXPECT_EQ(senders.NameOf("ann2@y.org"), "Ann");
    EXPECT_EQ(senders.StatusOf("blocked@x.com"), SenderStatus::Blocked);
    EXPECT_EQ(senders.StatusOf("e-mail"), SenderStatus::NotListed);
    const std::string written = testing_support::ReadFile(sendersIni());
    EXPECT_NE(written.find("[ann@y.org]"), std::string::npos);
}

TEST_F(CsvImportDialogTest, RefusedFilesSayWhyAndDoNotShow) {
    auto& program = started();
    const struct {
        std::string bytes, text;
    } cases[] = {{"", "The file specified holds no records to import."},
                 {"\r\n\n\r\n", "The file specified holds no records to import."},
                 {std::string("a\0b,c@x.com\n", 12), "Invalid file structure"},
                 {std::string(70000, 'x') + "\n", "Invalid file structure"}};
    for (const auto& c : cases) {
        prompts_.clear();
        CSVImportDialog dialog(program, file("refused.csv", c.bytes));
        EXPECT_FALSE(dialog.Form_Load()) << c.text;
        EXPECT_EQ(promptTexts(), std::vector<std::string>{c.text});
    }
}

TEST_F(CsvImportDialogTest, WithoutAnAddressColumnProceedWaitsForAChoice) {
    auto& program = started();
    CSVImportDialog dialog(program, file("names.csv", "Bob,Smith\nAnn,Jones\n"));
    ASSERT_TRUE(dialog.Form_Load());
    EXPECT_EQ(dialog.cEMailColumn()->currentIndex(), -1);
    EXPECT_TRUE(dialog.cbDoNotImportFirstRow()->isChecked());
    EXPECT_FALSE(dialog.OKButton()->isEnabled());
    dialog.cEMailColumn()->setCurrentIndex(1);
    EXPECT_TRUE(dialog.OKButton()->isEnabled());
    dialog.show();
    dialog.OkButton_Click();
    EXPECT_EQ(lastPrompt(), "No valid e-mail addresses found in file specified");
    EXPECT_EQ(prompts_.back().kind, Prompt::Kind::Exclamation);
}

TEST_F(CsvImportDialogTest, OneColumnFileTakesNamesFromTheAddresses) {
    auto& program = started();
    CSVImportDialog dialog(program, file("list.txt", "bob@x.com\r\nAnn <ann@y.org>\r\n"));
    ASSERT_TRUE(dialog.Form_Load());
    EXPECT_EQ(dialog.cEMailColumn()->currentIndex(), 0);
    EXPECT_FALSE(dialog.cbDoNotImportFirstRow()->isChecked());
    dialog.show();
    dialog.OkButton_Click();
    EXPECT_EQ(lastPrompt(), "2 senders have been successfuly imported");
    EXPECT_EQ(program.Senders()->NameOf("ann@y.org"), "Ann");
    EXPECT_EQ(program.Senders()->NameOf("bob@x.com"), "");
}

TEST_F(CsvImportDialogTest, AFailedWriteIsNeverReportedAsSuccess) {
    writeSenders("[old@x.com]\r\nAccessLevel=3\r\n");
    auto& program = started();
    CSVImportDialog dialog(program, file("c.csv", "Bob,bob@x.com\n"));
    ASSERT_TRUE(dialog.Form_Load());
    ASSERT_TRUE(testing_support::SetFolderReadOnly(sendersIni().parent_path(), true));
    ASSERT_TRUE(testing_support::SetFileReadOnly(sendersIni(), true));
    dialog.show();
    dialog.OkButton_Click();
    testing_support::SetFileReadOnly(sendersIni(), false);
    testing_support::SetFolderReadOnly(sendersIni().parent_path(), false);
    EXPECT_EQ(lastPrompt(), AddressImport::NotSavedText());
    for (const std::string& text : promptTexts()) EXPECT_EQ(text.find("successfuly"), std::string::npos);
}

// The lists of the next start, read from disk: an import once wrote more than any
// reader takes, so that every list came up empty. Names are now capped where they
// come in, and a list that would still outgrow the limit is not written.
TEST_F(CsvImportDialogTest, AnImportPastTheOldLimitIsReadBackAtTheNextStart) {
    writeSenders("[old@x.com]\r\nAccessLevel=3\r\n");
    auto& program = started();
    const std::string name(60 * 1024, 'n');
    std::string rows;
    for (int i = 0; i < 1150; ++i) rows += name + ",a" + std::to_string(i) + "@x.com\n";
    ASSERT_GT(rows.size(), IniStore::kMaxFileSize);
    CSVImportDialog dialog(program, file("big.csv", rows));
    ASSERT_TRUE(dialog.Form_Load());
    dialog.show();
    dialog.OkButton_Click();
    EXPECT_EQ(lastPrompt(), "1150 senders have been successfuly imported");
    EXPECT_LE(std::filesystem::file_size(sendersIni()), IniStore::kMaxFileSize);

    const CSenders next;
    EXPECT_EQ(next.List(SenderStatus::Approved).Count(), 1151u);
    EXPECT_TRUE(next.List(SenderStatus::Approved).Contains("old@x.com"));
    EXPECT_EQ(next.StatusOf("a1149@x.com"), SenderStatus::Approved);
    EXPECT_EQ(next.NameOf("a7@x.com"), name.substr(0, 1024));
}

TEST_F(CsvImportDialogTest, AnImportThatWouldOutgrowTheLimitWritesNothingAndSaysSo) {
    // Near the limit already (ordinary senders reach it at about 410,000).
    writeSenders("[old@x.com]\r\nAccessLevel=3\r\nNote=" + std::string(IniStore::kMaxFileSize - 200, 'c') +
                 "\r\n");
    const auto before = std::filesystem::file_size(sendersIni());
    auto& program = started();
    CSVImportDialog dialog(program, file("c.csv", "Bob,bob@x.com\nAnn,ann@y.org\nCy,cy@z.net\n"));
    ASSERT_TRUE(dialog.Form_Load());
    dialog.show();
    dialog.OkButton_Click();
    EXPECT_EQ(lastPrompt(), AddressImport::NotSavedText());
    for (const std::string& text : promptTexts()) EXPECT_EQ(text.find("successfuly"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(sendersIni()), before);
    EXPECT_EQ(program.Senders()->StatusOf("bob@x.com"), SenderStatus::NotListed);
    EXPECT_FALSE(program.Senders()->List(SenderStatus::Approved).Contains("bob@x.com"));

    const CSenders next;
    EXPECT_TRUE(next.List(SenderStatus::Approved).Contains("old@x.com"));
    EXPECT_EQ(next.List(SenderStatus::Approved).Count(), 1u);
}

TEST_F(CsvImportDialogTest, ACutLineAfterThePreviewIsSkippedAndCounted) {
    auto& program = started();
    std::string text = "Name,E-mail\n";
    for (int i = 0; i < 12; ++i) text += "n" + std::to_string(i) + ",a" + std::to_string(i) + "@x.com\n";
    std::string cut = "Mallory,";
    cut += std::string(CsvImport::kMaxLineBytes - cut.size() - std::string(",victim@example.co").size(), 'x');
    text += cut + ",victim@example.com\n";
    CSVImportDialog dialog(program, file("c.csv", text));
    ASSERT_TRUE(dialog.Form_Load());
    dialog.show();
    dialog.OkButton_Click();
    EXPECT_EQ(lastPrompt(), "12 senders have been successfuly imported\r\n"
                            "1 line was not imported: it is longer than 65536 bytes");
    EXPECT_EQ(program.Senders()->StatusOf("victim@example.co"), SenderStatus::NotListed);
    EXPECT_EQ(program.Senders()->StatusOf("victim@example.com"), SenderStatus::NotListed);
}

std::string manyRows(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "n" + std::to_string(i) + ",a" + std::to_string(i) + "@x.com\n";
    return text;
}

TEST_F(CsvImportDialogTest, TheUserCannotCloseARunningImport) {
    auto& program = started();
    CSVImportDialog dialog(program, file("c.csv", manyRows(5)));
    ASSERT_TRUE(dialog.Form_Load());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    std::vector<bool> closed, buttons;
    dialogs::ImportRun::SetStepHook([&](std::size_t line) {
        if (line != 2) return;
        buttons.push_back(dialog.OKButton()->isEnabled() || dialog.CancelButton()->isEnabled());
        closed.push_back(dialog.close());
        dialog.reject();
        closed.push_back(!dialog.isVisible());
    });
    dialog.OkButton_Click();
    EXPECT_EQ(closed, (std::vector<bool>{false, false}));
    EXPECT_EQ(buttons, std::vector<bool>{false});
    EXPECT_EQ(lastPrompt(), "5 senders have been successfuly imported");
}

TEST_F(CsvImportDialogTest, AShutDownStopsTheImportAtTheNextLine) {
    auto& program = started();
    CSVImportDialog dialog(program, file("c.csv", manyRows(50)));
    ASSERT_TRUE(dialog.Form_Load());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    std::vector<std::size_t> steps;
    bool downDuringImport = false;
    dialogs::ImportRun::SetStepHook([&](std::size_t line) {
        steps.push_back(line);
        downDuringImport = downDuringImport || program.shutDownDone();
        if (line == 3) QTimer::singleShot(0, context_.get(), [&program] { program.RequestShutDown(); });
    });
    prompts_.clear();
    dialog.OkButton_Click();
    const bool downAfterImport = program.shutDownDone();
    EXPECT_LE(steps.size(), 4u) << "the import stops at the next line";
    EXPECT_FALSE(downDuringImport);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(prompts_.empty()) << "no box after a stop: " << lastPrompt();
    EXPECT_TRUE(platform::WaitUntil([&] { return program.shutDownDone(); }, 5000));
    EXPECT_FALSE(downAfterImport) << "the shut-down waits for the import to return";
    // What was read before the stop is approved, in the one write; the rest is not.
    CSenders reloaded;
    EXPECT_EQ(reloaded.StatusOf("a1@x.com"), SenderStatus::Approved);
    EXPECT_EQ(reloaded.StatusOf("a40@x.com"), SenderStatus::NotListed);
}

}  // namespace
