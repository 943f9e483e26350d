#pragma once
// AddressBookImportDialog: approves, in one step, every address found in a source:
// the mail program's contacts and the recipients of its sent messages, an address
// book file (the default one or another), or a CSV file (through CSVImportDialog).
// What each source reads is described in core/MailProgramData.h.
//
// Each source is read item by item with the progress shown and events running, then
// what it found is approved in one write of senders.ini; blocked senders stay blocked
// and the final box counts them; a failed write is reported as such. While a source
// is read the dialog cannot be closed (its buttons are off, Escape and the close box
// are ignored); a shut-down closes it and the import stops at the next item.


#include <functional>
#include <string>
#include <vector>

#include "core/AddressImport.h"
#include "dialogs/ImportDialogBase.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace mainwindow {
class GlimmerpostProgram;
}

namespace dialogs {

class ImportRun;

// The CSV file chosen in the dialog, read by CSVImportDialog.
std::string& CsvImportPath();

// The open-file dialog: title, filter (Qt form), owner; "" when cancelled.
using FileChooserFn = std::function<QString(const QString& title, const QString& filter, QWidget* owner)>;
// nullptr restores QFileDialog.
void SetFileChooser(FileChooserFn chooser);

class AddressBookImportDialog : public ImportDialogBase {
    Q_OBJECT

public:
    explicit AddressBookImportDialog(mainwindow::GlimmerpostProgram& program, QWidget* parent = nullptr);

    void SelectSource(int source);  // 1 mail program, 2 address book, 3 CSV file
    int source() const { return source_; }
    void ImportButton_Click();
    void bOpenWAB_Click();
    void bOpenCSV_Click();

    QRadioButton* oMSOutLook() const { return oOutlook_; }
    QRadioButton* oMSOutlookExpress() const { return oExpress_; }
    QRadioButton* oCsv() const { return oCsv_; }
    QCheckBox* cbContacts() const { return contacts_; }
    QCheckBox* cbSentFolder() const { return sent_; }
    QRadioButton* oDefaultWab() const { return defaultWab_; }
    QRadioButton* oOtherWab() const { return otherWab_; }
    QLineEdit* tWabFileSpec() const { return wabFile_; }
    QLineEdit* tCSVFileSpec() const { return csvFile_; }
    QPushButton* ImportButton() const { return import_; }

private:
    void build();
    QGroupBox* outlookFrame();
    QGroupBox* wabFrame();
    QGroupBox* csvFrame();
    void updateWabControls();
    void setBusy(bool busy);

    // Each collects into approvals.
    void ImportOutlookContacts(ImportRun& run, std::vector<SenderUpdate>& approvals);
    void ImportOutlookSentRecipients(ImportRun& run, std::vector<SenderUpdate>& approvals);
    void ImportWAB(ImportRun& run, std::vector<SenderUpdate>& approvals);
    void importCsv();
    void showTotals(const AddressImport::Totals& totals);

    mainwindow::GlimmerpostProgram& program_;
    int source_ = 0;
    QRadioButton *oOutlook_ = nullptr, *oExpress_ = nullptr, *oCsv_ = nullptr;
    QGroupBox *frOutlook_ = nullptr, *frExpress_ = nullptr, *frCsv_ = nullptr;
    QCheckBox *contacts_ = nullptr, *sent_ = nullptr;
    QRadioButton *defaultWab_ = nullptr, *otherWab_ = nullptr;
    QLineEdit *wabFile_ = nullptr, *csvFile_ = nullptr;
    QPushButton *openWab_ = nullptr, *openCsv_ = nullptr;
    QPushButton* import_ = nullptr;
};

// Shows the dialog modally over owner.
void ShowAddressBookImport(mainwindow::GlimmerpostProgram& program, QWidget* owner);

}  // namespace dialogs
