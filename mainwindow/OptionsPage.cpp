#include "mainwindow/OptionsPage.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace mainwindow {
namespace {

QLabel* description(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* button(const QString& name, const char* caption, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(name);
    b->setMinimumWidth(130);
    return b;
}

}  // namespace

OptionsPage::OptionsPage(QWidget* parent) : QWidget(parent) {
    setObjectName("MainFormPages(4)");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(12);
    column->addWidget(optionsFrame());
    column->addWidget(addressesFrame());
    column->addStretch(1);
}

QGroupBox* OptionsPage::optionsFrame() {
    auto* frame = new QGroupBox("Options", this);
    frame->setObjectName("frOptions");
    auto* column = new QVBoxLayout(frame);
    column->addWidget(description("lOptionsDialogDescription",
                                  "Change the program's settings, your e-mail accounts and aliases, and the texts "
                                  "of the registration requests and confirmations sent to your correspondents.",
                                  frame));
    auto* row = new QHBoxLayout;
    const char* captions[] = {"General settings...", "E-mail accounts...", "Aliases...", "Message texts..."};
    for (int i = 0; i < 4; ++i) {
        options_[i] = button(QString("bOptions(%1)").arg(i + 1), captions[i], frame);
        connect(options_[i], &QPushButton::clicked, this, [this, i] { emit optionsClicked(i + 1); });
        row->addWidget(options_[i]);
    }
    row->addStretch(1);
    column->addLayout(row);
    return frame;
}

QGroupBox* OptionsPage::addressesFrame() {
    auto* frame = new QGroupBox("Address book", this);
    frame->setObjectName("frAddresses");
    auto* column = new QVBoxLayout(frame);
    column->addWidget(description("lImportABDescription",
                                  "Import the addresses of your address book, your contacts or a CSV file as "
                                  "approved senders, so that their mail is accepted at once.",
                                  frame));
    auto* row = new QHBoxLayout;
    import_ = button("bImportAddressBook", "Import addresses...", frame);
    connect(import_, &QPushButton::clicked, this, &OptionsPage::importClicked);
    row->addWidget(import_);
    row->addStretch(1);
    column->addLayout(row);
    return frame;
}

QPushButton* OptionsPage::bOptions(int index) const {
    return index >= 1 && index <= 4 ? options_[index - 1] : nullptr;
}

}  // namespace mainwindow
