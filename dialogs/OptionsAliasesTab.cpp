#include "dialogs/OptionsAliasesTab.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

#include "core/Confirmations.h"
#include "core/Address.h"
#include "core/Prompt.h"
#include "platform/Text8.h"

namespace dialogs {

OptionsAliasesTab::OptionsAliasesTab(QWidget* parent) : QWidget(parent) {
    setObjectName("OptionsFrame3");
    tAliasEmailAddress = new QLineEdit(this);
    tAliasEmailAddress->setObjectName("tAliasEmailAddress");
    AddButton = new QPushButton("Add", this);
    AddButton->setObjectName("AddButton");
    lbAliases = new QListWidget(this);
    lbAliases->setObjectName("lbAliases");
    DeleteButton = new QPushButton("Delete", this);
    DeleteButton->setObjectName("DeleteButton");
    lAliasesDescription = new QLabel(
        "List here every other e-mail address of yours, so that mail from them is always accepted. "
        "To cover every mailbox of a domain, replace the mailbox name by an asterisk, for example *@example.com.",
        this);
    lAliasesDescription->setObjectName("lAliasesDescription");
    lAliasesDescription->setWordWrap(true);

    auto* layout = new QGridLayout(this);
    layout->addWidget(lAliasesDescription, 0, 0, 1, 2);
    layout->addWidget(tAliasEmailAddress, 1, 0);
    layout->addWidget(AddButton, 1, 1);
    layout->addWidget(lbAliases, 2, 0);
    layout->addWidget(DeleteButton, 2, 1, Qt::AlignTop);

    connect(AddButton, &QPushButton::clicked, this, &OptionsAliasesTab::addAlias);
    connect(tAliasEmailAddress, &QLineEdit::returnPressed, this, &OptionsAliasesTab::addAlias);
    connect(DeleteButton, &QPushButton::clicked, this, &OptionsAliasesTab::deleteAlias);
}

bool OptionsAliasesTab::IsAcceptedAlias(const std::string& text) {
    if (!text.empty() && text[0] == '*') return MiscFuncs::IsValidEmail("mailbox" + text.substr(1));
    return MiscFuncs::IsValidEmail(text);
}

void OptionsAliasesTab::Fill(const std::vector<std::string>& aliases) {
    lbAliases->clear();
    for (const std::string& a : aliases) lbAliases->addItem(platform::FromText8(a));
}

std::vector<std::string> OptionsAliasesTab::Aliases() const {
    std::vector<std::string> out;
    for (int i = 0; i < lbAliases->count(); ++i) out.push_back(lbAliases->item(i)->text().toStdString());
    return out;
}

void OptionsAliasesTab::addAlias() {
    const std::string text = tAliasEmailAddress->text().trimmed().toStdString();
    if (!IsAcceptedAlias(text)) {
        Prompt::Ask("Entered e-mail address is invalid", window()->windowTitle().toStdString(), Prompt::Buttons::OK,
                    Prompt::Kind::Exclamation);
        return;
    }
    lbAliases->addItem(QString::fromStdString(text));
    tAliasEmailAddress->clear();
    emit edited();
}

void OptionsAliasesTab::deleteAlias() {
    const QListWidgetItem* item = lbAliases->currentItem();
    if (!item || !item->isSelected()) return;
    const QString alias = item->text();
    const QPointer<OptionsAliasesTab> alive(this);
    const Prompt::Answer answer =
        Confirmations::AskToConfirm("Are you sure you want to delete alias?", "Alias deletion", Prompt::Kind::Question, 2);
    if (!alive || answer != Prompt::Answer::Yes) return;
    // The list may have changed while the question was open: the alias is found again.
    const QList<QListWidgetItem*> found = lbAliases->findItems(alias, Qt::MatchExactly);
    if (found.isEmpty()) return;
    delete lbAliases->takeItem(lbAliases->row(found.front()));
    emit edited();
}

}  // namespace dialogs
