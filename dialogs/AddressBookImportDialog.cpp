#include "dialogs/AddressBookImportDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "core/AddressImport.h"
#include "core/MailProgramData.h"
#include "core/Prompt.h"
#include "dialogs/CsvImportDialog.h"
#include "dialogs/ImportRun.h"
#include "platform/AliveGuard.h"

namespace dialogs {
namespace {

constexpr const char* kCaption = "Import address book";
constexpr const char* kWabTitle = "Glimmerpost WAB import";

FileChooserFn& chooser() {
    static FileChooserFn fn;
    return fn;
}

QString chooseFile(const QString& title, const QString& filter, QWidget* owner) {
    if (chooser()) return chooser()(title, filter, owner);
    return QFileDialog::getOpenFileName(owner, title, QString(), filter);
}

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

void exclamation(const char* text, const char* title) {
    Prompt::Ask(text, title, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
}

QLineEdit* fileBox(const char* name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setMinimumWidth(280);
    return box;
}

QPushButton* browseButton(const char* name, QWidget* parent) {
    auto* b = new QPushButton("...", parent);
    b->setObjectName(name);
    b->setFixedWidth(32);
    return b;
}

}  // namespace

std::string& CsvImportPath() {
    static std::string path;
    return path;
}

void SetFileChooser(FileChooserFn fn) { chooser() = std::move(fn); }

AddressBookImportDialog::AddressBookImportDialog(mainwindow::GlimmerpostProgram& program, QWidget* parent)
    : ImportDialogBase(parent), program_(program) {
    setObjectName("AddressBookImportDialog");
    setWindowTitle(kCaption);
    build();
    // Form_Load: the mail program first, the default address book.
    defaultWab_->setChecked(true);
    oOutlook_->setChecked(true);
    SelectSource(1);
}

void AddressBookImportDialog::build() {
    auto* column = new QVBoxLayout(this);
    auto* intro = new QLabel("Select source for importing addresses and pre-approving senders", this);
    intro->setObjectName("lIntro");
    column->addWidget(intro);
    auto* sources = new QButtonGroup(this);
    oOutlook_ = new QRadioButton("Microsoft Outlook ", this);
    oOutlook_->setObjectName("oMSOutLook");
    oExpress_ = new QRadioButton("Microsoft Outlook Express (Windows address book)", this);
    oExpress_->setObjectName("oMSOutlookExpress");
    oCsv_ = new QRadioButton("Comma separated values file (CSV)", this);
    oCsv_->setObjectName("oCsv");
    int n = 1;
    for (QRadioButton* option : {oOutlook_, oExpress_, oCsv_}) {
        sources->addButton(option, n);
        connect(option, &QRadioButton::toggled, this, [this, n](bool on) {
            if (on) SelectSource(n);
        });
        ++n;
    }
    column->addWidget(oOutlook_);
    column->addWidget(outlookFrame());
    column->addWidget(oExpress_);
    column->addWidget(wabFrame());
    column->addWidget(oCsv_);
    column->addWidget(csvFrame());

    import_ = addImportRows(*column, "Import", "ImportButton", "Finish");
    connect(import_, &QPushButton::clicked, this, &AddressBookImportDialog::ImportButton_Click);
}

QGroupBox* AddressBookImportDialog::outlookFrame() {
    frOutlook_ = new QGroupBox(this);
    frOutlook_->setObjectName("frOutlook");
    auto* layout = new QVBoxLayout(frOutlook_);
    contacts_ = new QCheckBox("Contacts", frOutlook_);
    contacts_->setObjectName("cbContacts");
    contacts_->setChecked(true);
    sent_ = new QCheckBox("Recipients of messages in Sent folder", frOutlook_);
    sent_->setObjectName("cbSentFolder");
    sent_->setChecked(true);
    layout->addWidget(contacts_);
    layout->addWidget(sent_);
    return frOutlook_;
}

QGroupBox* AddressBookImportDialog::wabFrame() {
    frExpress_ = new QGroupBox(this);
    frExpress_->setObjectName("frOutlookExpress");
    auto* grid = new QGridLayout(frExpress_);
    auto* group = new QButtonGroup(frExpress_);
    defaultWab_ = new QRadioButton("Default Windows Address Book (WAB)", frExpress_);
    defaultWab_->setObjectName("oDefaultWab");
    otherWab_ = new QRadioButton("Other WAB file", frExpress_);
    otherWab_->setObjectName("oOtherWab");
    group->addButton(defaultWab_);
    group->addButton(otherWab_);
    wabFile_ = fileBox("tWabFileSpec", frExpress_);
    openWab_ = browseButton("bOpenWAB", frExpress_);
    grid->addWidget(defaultWab_, 0, 0, 1, 3);
    grid->addWidget(otherWab_, 1, 0);
    grid->addWidget(wabFile_, 1, 1);
    grid->addWidget(openWab_, 1, 2);
    grid->setColumnStretch(1, 1);
    connect(otherWab_, &QRadioButton::toggled, this, &AddressBookImportDialog::updateWabControls);
    connect(openWab_, &QPushButton::clicked, this, &AddressBookImportDialog::bOpenWAB_Click);
    return frExpress_;
}

QGroupBox* AddressBookImportDialog::csvFrame() {
    frCsv_ = new QGroupBox(this);
    frCsv_->setObjectName("frCSV");
    auto* row = new QHBoxLayout(frCsv_);
    auto* csvLabel = new QLabel("CSV file:", frCsv_);
    csvFile_ = fileBox("tCSVFileSpec", frCsv_);
    openCsv_ = browseButton("bOpenCSV", frCsv_);
    row->addWidget(csvLabel);
    row->addWidget(csvFile_, 1);
    row->addWidget(openCsv_);
    connect(openCsv_, &QPushButton::clicked, this, &AddressBookImportDialog::bOpenCSV_Click);
    return frCsv_;
}

void AddressBookImportDialog::SelectSource(int source) {
    if (source == source_ || source < 1 || source > 3) return;
    source_ = source;
    frOutlook_->setEnabled(source == 1);
    frExpress_->setEnabled(source == 2);
    frCsv_->setEnabled(source == 3);
    QRadioButton* option = source == 1 ? oOutlook_ : source == 2 ? oExpress_ : oCsv_;
    if (!option->isChecked()) option->setChecked(true);
    updateWabControls();
}

void AddressBookImportDialog::updateWabControls() {
    const bool other = otherWab_->isChecked();
    wabFile_->setEnabled(other);
    openWab_->setEnabled(other);
}

void AddressBookImportDialog::bOpenWAB_Click() {
    const QString file = chooseFile("Select WAB file", "Windows Address Book (*.wab *.vcf);;All files (*)", this);
    if (!file.isEmpty()) wabFile_->setText(file);
}

void AddressBookImportDialog::bOpenCSV_Click() {
    const QString file =
        chooseFile("Select CSV file", "Comma Separated Values file (*.csv *.txt);;All files (*)", this);
    if (!file.isEmpty()) csvFile_->setText(file);
}

void AddressBookImportDialog::setBusy(bool busy) {
    importing_ = busy;
    import_->setEnabled(!busy);
    cancel_->setEnabled(!busy);
    for (QRadioButton* option : {oOutlook_, oExpress_, oCsv_}) option->setEnabled(!busy);
    frOutlook_->setEnabled(!busy && source_ == 1);
    frExpress_->setEnabled(!busy && source_ == 2);
    frCsv_->setEnabled(!busy && source_ == 3);
}

void AddressBookImportDialog::ImportButton_Click() {
    if (importing_) return;
    platform::AliveGuard alive(this);
    if (source_ == 3) {
        importCsv();
        return;
    }
    if (source_ == 1) {
        Prompt::Ask("Due to security measures implemented in\r\n"
                    "latest versions of MS Outlook messages box may appear asking you \r\n"
                    "to allow Glimmerpost to access Outlook data.\r\n"
                    "Please allow Glimmerpost to access Outlook data for 1 minute.",
                    kCaption, Prompt::Buttons::OK, Prompt::Kind::Information);
        if (!alive || Prompt::Closing() || !isVisible()) return;
    }
    std::vector<SenderUpdate> approvals;
    AddressImport::Totals totals;
    bool approved = false, goesOn = false;
    {
        setBusy(true);
        ImportRun run(program_, *this, *progress_, *description_);
        if (source_ == 1) {
            if (contacts_->isChecked()) ImportOutlookContacts(run, approvals);
            // The contacts' events or failure box may have closed the dialog: asked first.
            if (run.goesOn() && sent_->isChecked()) ImportOutlookSentRecipients(run, approvals);
        } else {
            ImportWAB(run, approvals);
        }
        approved = run.Approve(approvals, totals);
        run.End();
        goesOn = run.goesOn();
        if (alive) setBusy(false);
    }
    if (approved && goesOn && alive) showTotals(totals);
}

void AddressBookImportDialog::showTotals(const AddressImport::Totals& totals) {
    if (!totals.written)
        exclamation(AddressImport::NotSavedText().c_str(), "Address book import");
    else if (totals.approved < 1 && totals.keptBlocked == 0)
        exclamation("No valid e-mail addresses found in address book specified", "Address bok import");
    else
        Prompt::Ask(AddressImport::ImportedText(totals), "Address book import", Prompt::Buttons::OK,
                    Prompt::Kind::Information);
}

void AddressBookImportDialog::ImportOutlookContacts(ImportRun& run, std::vector<SenderUpdate>& approvals) {
    std::vector<MailProgram::Contact> contacts;
    if (!MailProgram::ReadContacts(contacts)) {
        exclamation("MS Outlook Contacts import failed!", kCaption);
        return;
    }
    run.Begin(contacts.size(), "Importing Contacts");
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        AddressImport::CollectContact(contacts[i], approvals);
        if (!run.Step(i + 1)) break;
    }
}

void AddressBookImportDialog::ImportOutlookSentRecipients(ImportRun& run, std::vector<SenderUpdate>& approvals) {
    std::vector<std::filesystem::path> items;
    if (!MailProgram::ListSentItems(items)) {
        exclamation("MS Outlook Sent messages recipients import failed!", kCaption);
        return;
    }
    run.Begin(items.size(), "Importing recipients");
    for (std::size_t i = 0; i < items.size(); ++i) {
        MailProgram::SentItem item;
        if (!MailProgram::ReadSentItem(items[i], item)) {
            exclamation("MS Outlook Sent messages recipients import failed!", kCaption);
            break;
        }
        AddressImport::CollectSentItem(item, approvals);
        if (!run.Step(i + 1)) break;
    }
}

void AddressBookImportDialog::ImportWAB(ImportRun& run, std::vector<SenderUpdate>& approvals) {
    std::vector<AddressBook::WabEntry> entries;
    const std::string file = wabFile_->text().trimmed().toStdString();
    if (!defaultWab_->isChecked() && !isRegularFile(file)) {
        exclamation("File does not exist", kWabTitle);
        return;
    }
    if (AddressBook::WABImport(defaultWab_->isChecked() ? nullptr : file.c_str(), entries) != 0) {
        exclamation("WAB file import failed", kWabTitle);
        return;
    }
    run.Begin(entries.size(), "Importing addresses from WAB");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        AddressImport::CollectWabEntry(entries[i], approvals);
        if (!run.Step(i + 1)) break;
    }
}

void AddressBookImportDialog::importCsv() {
    const std::string file = csvFile_->text().trimmed().toStdString();
    if (!isRegularFile(file)) {
        exclamation("File not found", "CSV import");
        return;
    }
    CsvImportPath() = file;
    ShowCsvImport(program_, this);
}

void ShowAddressBookImport(mainwindow::GlimmerpostProgram& program, QWidget* owner) {
    AddressBookImportDialog dialog(program, owner);
    dialog.exec();
}

}  // namespace dialogs
