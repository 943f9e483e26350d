#pragma once
// CSVImportDialog: approves the senders listed in a comma-separated file
// (CsvImportPath). It previews the first records, guesses the e-mail column, lets the
// user choose the e-mail and name columns and whether the first row is a header, and
// imports the whole file in one write of senders.ini.
//
// The lists offer one entry per column of the widest preview record, captioned with
// the first record's field. Proceed needs records and an e-mail column. While the
// import runs the dialog cannot be closed (Escape and the close box are ignored); a
// shut-down closes it, and the import stops at the next line, approving what it read.

#include <string>
#include <vector>

#include "core/AddressImport.h"
#include "core/CsvReader.h"
#include "dialogs/ImportDialogBase.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace mainwindow {
class GlimmerpostProgram;
}

namespace dialogs {

class CSVImportDialog : public ImportDialogBase {
    Q_OBJECT

public:
    CSVImportDialog(mainwindow::GlimmerpostProgram& program, std::string path, QWidget* parent = nullptr);

    // Reads the preview and fills the lists. False when the file is refused (its box
    // has been shown): the dialog is not to be shown.
    bool Form_Load();
    void OkButton_Click();

    QComboBox* cEMailColumn() const { return email_; }
    QComboBox* cNameColumn() const { return name_; }
    QCheckBox* cbDoNotImportFirstRow() const { return firstRow_; }
    QPushButton* OKButton() const { return ok_; }
    QLabel* lTestEMail() const { return testEMail_; }
    QLabel* lTestName() const { return testName_; }

private:
    void build();
    void fillLists();
    void showSample(QComboBox* list, QLabel* sample);
    void updateButtons();
    void setControlsEnabled(bool enabled);
    void showOutcome(AddressImport::Outcome outcome, const AddressImport::Totals& totals);

    mainwindow::GlimmerpostProgram& program_;
    std::string path_;
    std::vector<CsvImport::Record> preview_;
    QComboBox* email_ = nullptr;
    QComboBox* name_ = nullptr;
    QLabel* testEMail_ = nullptr;
    QLabel* testName_ = nullptr;
    QCheckBox* firstRow_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// Shows the dialog modally over owner for the file in CsvImportPath.
void ShowCsvImport(mainwindow::GlimmerpostProgram& program, QWidget* owner);

}  // namespace dialogs
