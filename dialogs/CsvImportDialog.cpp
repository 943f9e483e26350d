#include "dialogs/CsvImportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/AddressImport.h"
#include "core/Prompt.h"
#include "dialogs/AddressBookImportDialog.h"
#include "dialogs/ImportRun.h"
#include "platform/AliveGuard.h"
#include "platform/Text8.h"

namespace dialogs {
namespace {

constexpr const char* kTitle = "CSV Import";
// Longer fields are cut in the lists and samples.
constexpr int kShownChars = 60;

QString shown(std::string_view field) {
    QString text = platform::FromText8(field).simplified();
    if (text.size() > kShownChars) text = text.left(kShownChars - 3) + "...";
    return text;
}

QLabel* sampleLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setMinimumWidth(220);
    return label;
}

}  // namespace

CSVImportDialog::CSVImportDialog(mainwindow::GlimmerpostProgram& program, std::string path, QWidget* parent)
    : ImportDialogBase(parent), program_(program), path_(std::move(path)) {
    setObjectName("CSVImportDialog");
    setWindowTitle("Import addresses from CSV file");
    build();
}

void CSVImportDialog::build() {
    auto* column = new QVBoxLayout(this);
    auto* frame = new QGroupBox("Select appropriate columns of the CSV file", this);
    auto* grid = new QGridLayout(frame);
    email_ = new QComboBox(frame);
    email_->setObjectName("cEMailColumn");
    name_ = new QComboBox(frame);
    name_->setObjectName("cNameColumn");
    testEMail_ = sampleLabel("lTestEMail", frame);
    testName_ = sampleLabel("lTestName", frame);
    grid->addWidget(new QLabel("E-Mail", frame), 0, 0);
    grid->addWidget(email_, 0, 1);
    grid->addWidget(testEMail_, 0, 2);
    grid->addWidget(new QLabel("Name", frame), 1, 0);
    grid->addWidget(name_, 1, 1);
    grid->addWidget(testName_, 1, 2);
    grid->setColumnStretch(2, 1);
    column->addWidget(frame);

    firstRow_ = new QCheckBox("First row contains column names (do not import first row)", this);
    firstRow_->setObjectName("cbDoNotImportFirstRow");
    column->addWidget(firstRow_);

    ok_ = addImportRows(*column, "Proceed", "OKButton", "Cancel");

    connect(email_, &QComboBox::currentIndexChanged, this, [this] {
        showSample(email_, testEMail_);
        updateButtons();
    });
    connect(name_, &QComboBox::currentIndexChanged, this, [this] { showSample(name_, testName_); });
    connect(ok_, &QPushButton::clicked, this, &CSVImportDialog::OkButton_Click);
}

bool CSVImportDialog::Form_Load() {
    bool badLine = false;
    CsvImport::ReadPreview(path_, preview_, CsvImport::kPreviewRows, &badLine);
    if (badLine) {
        Prompt::Ask("Invalid file structure", kTitle, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return false;
    }
    if (preview_.empty()) {
        Prompt::Ask("The file specified holds no records to import.", kTitle, Prompt::Buttons::OK,
                    Prompt::Kind::Exclamation);
        return false;
    }
    fillLists();
    return true;
}

void CSVImportDialog::fillLists() {
    const int guess = CsvImport::GuessEMailColumn(preview_);
    const CsvImport::Record& first = preview_.front();
    const int columns = static_cast<int>(CsvImport::ColumnCount(preview_));
    for (int i = 0; i < columns; ++i) {
        const std::string_view field = CsvImport::FieldOf(first, i);
        const QString caption = field.empty() ? QString("(column %1)").arg(i + 1) : shown(field);
        email_->addItem(caption);
        name_->addItem(caption);
    }
    name_->setCurrentIndex(0);
    email_->setCurrentIndex(guess);
    showSample(name_, testName_);
    showSample(email_, testEMail_);
    firstRow_->setChecked(!AddressImport::HoldsAddress(CsvImport::FieldOf(first, guess)));
    updateButtons();
}

void CSVImportDialog::showSample(QComboBox* list, QLabel* sample) {
    sample->setText(preview_.empty() ? QString() : shown(CsvImport::FieldOf(preview_.front(), list->currentIndex())));
}

void CSVImportDialog::updateButtons() {
    ok_->setEnabled(!importing_ && !preview_.empty() && email_->currentIndex() >= 0);
    cancel_->setEnabled(!importing_);
}

void CSVImportDialog::setControlsEnabled(bool enabled) {
    email_->setEnabled(enabled);
    name_->setEnabled(enabled);
    firstRow_->setEnabled(enabled);
    updateButtons();
}

void CSVImportDialog::OkButton_Click() {
    if (importing_ || preview_.empty() || email_->currentIndex() < 0) return;
    const AddressImport::CsvColumns columns{email_->currentIndex(), name_->currentIndex(), firstRow_->isChecked()};
    const platform::AliveGuard alive(this);  // events run after each line
    importing_ = true;
    setControlsEnabled(false);
    std::vector<SenderUpdate> approvals;
    AddressImport::Outcome outcome;
    AddressImport::Totals totals;
    AddressImport::Skipped skipped;
    {
        ImportRun run(program_, *this, *progress_, *description_);
        run.Begin(CsvImport::CountLines(path_), "Importing addresses from CSV file");
        outcome = AddressImport::CollectCsv(
            path_, columns, approvals, [&run](std::size_t line) { return run.Step(line); }, &skipped);
        if (outcome == AddressImport::Outcome::Done) progress_->setValue(progress_->maximum());
        const bool approved = run.Approve(approvals, totals);
        totals.skipped = skipped;
        run.End();
        if (!alive) return;
        importing_ = false;
        if (!approved) return;  // the program released its lists
        if (!run.goesOn()) return;  // closed for the program's end: no boxes
        setControlsEnabled(true);
    }
    showOutcome(outcome, totals);
    if (alive) accept();
}

void CSVImportDialog::showOutcome(AddressImport::Outcome outcome, const AddressImport::Totals& totals) {
    if (outcome == AddressImport::Outcome::Unreadable)
        Prompt::Ask("File not found", kTitle, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    else if (!totals.written)
        Prompt::Ask(AddressImport::NotSavedText(), kTitle, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    else if (totals.approved < 1 && totals.keptBlocked == 0)
        Prompt::Ask("No valid e-mail addresses found in file specified" + AddressImport::SkippedText(totals.skipped),
                    kTitle, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    else
        Prompt::Ask(AddressImport::ImportedText(totals), kTitle, Prompt::Buttons::OK, Prompt::Kind::Information);
}

void ShowCsvImport(mainwindow::GlimmerpostProgram& program, QWidget* owner) {
    CSVImportDialog dialog(program, CsvImportPath(), owner);
    if (dialog.Form_Load()) dialog.exec();
}

}  // namespace dialogs
