#include "dialogs/WizardPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace dialogs {
namespace {

QLabel* textLabel(const QString& text, QWidget* parent, bool bold = false) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

QSpinBox* portBox(const char* name, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(1, 65535);
    box->setMinimumWidth(80);
    return box;
}

QLineEdit* line(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(255);
    return edit;
}

}  // namespace

WizardWelcomePage::WizardWelcomePage(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    v->addWidget(textLabel(QStringLiteral("Welcome to the Glimmerpost account setup wizard! "), this, true));
    v->addWidget(textLabel(QStringLiteral("Please close all e-mail application that are currently running."), this));
    v->addWidget(textLabel(
        QStringLiteral("             IMPORTANT: If at some point of the setup process personal firewall software will "
                       "ask your permission to grant Glimmerpost application access the internet or to listen for "
                       "incoming connections, You MUST approve such actions. Otherwize  Glimmerpost will not be able "
                       "to function properly."),
        this));
    v->addWidget(textLabel(
        QStringLiteral("WARNING: Glimmerpost does not yet support Hotmail, Yahoo and other Web based (HTTP) mail services"),
        this));
    v->addStretch();
}

WizardClientPage::WizardClientPage(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    v->addWidget(textLabel(
        QStringLiteral("Please select your e-mail application from the list below. Glimmerpost will configure "
                       "selected application automaticaly.  If you have e-mail application that is not listed below, "
                       "please select \"Manual configuration\"."),
        this));
    auto* frame = new QGroupBox(QStringLiteral("E-mail applications"), this);
    auto* fv = new QVBoxLayout(frame);
    oOutlookExpress = new QRadioButton(QStringLiteral("Microsoft Outlook Express"), frame);
    oOutlook = new QRadioButton(QStringLiteral("Microsoft Outlook 98, 2000, 2002"), frame);
    oManual = new QRadioButton(QStringLiteral("Manual configuration"), frame);
    oOutlookExpress->setObjectName(QStringLiteral("oOutlookExpress"));
    oOutlook->setObjectName(QStringLiteral("oOutlook"));
    oManual->setObjectName(QStringLiteral("oManual"));
    oOutlookExpress->setChecked(true);
    for (QRadioButton* b : {oOutlookExpress, oOutlook, oManual}) fv->addWidget(b);
    v->addWidget(frame);
    v->addWidget(textLabel(
        QStringLiteral("You will be able to add accounts that are not configured in your e-mail application for "
                       "Glimmerpost to protect on the next screen and any time."),
        this));
    v->addStretch();
}

QComboBox* SecurityBox(const char* name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->addItems({QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    box->setToolTip(QStringLiteral("How the connection to this server is secured"));
    return box;
}

WizardAccountsPage::WizardAccountsPage(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    v->addWidget(textLabel(QStringLiteral("Please enter information about your e-mail account(s)"), this, true));
    v->addWidget(textLabel(QStringLiteral("Please verify all of the accounts settings by pressing \"TEST\" button "), this));

    auto* row = new QHBoxLayout;
    cbAccounts = new QComboBox(this);
    cbAccounts->setObjectName(QStringLiteral("cbAccounts"));
    cbAccounts->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbAccounts->setMinimumContentsLength(28);
    bAddAccount = new QPushButton(QStringLiteral("Add"), this);
    bAddAccount->setObjectName(QStringLiteral("bAddAccount"));
    bDeleteAcount = new QPushButton(QStringLiteral("Don't configure"), this);
    bDeleteAcount->setObjectName(QStringLiteral("bDeleteAcount"));
    bDeleteAcount->setToolTip(QStringLiteral("Do not configure this account to be protected by Glimmerpost"));
    row->addWidget(cbAccounts, 1);
    row->addWidget(bAddAccount);
    row->addWidget(bDeleteAcount);
    v->addLayout(row);

    auto* group = new QGroupBox(QStringLiteral("POP3 Account"), this);
    auto* form = new QFormLayout(group);
    tDisplayName = line("tDisplayName", group);
    tDisplayName->setToolTip(QStringLiteral("Your name, as the senders you ask to register will see it"));
    tEMailAddress = line("tEMailAddress", group);
    tPOP3UserName = line("tPOP3UserName", group);
    tPOP3Password = line("tPOP3Password", group);
    tPOP3Password->setEchoMode(QLineEdit::Password);
    tPOP3Server = line("tPOP3Server", group);
    tPOP3ServerPort = portBox("tPOP3ServerPort", group);
    cbPOP3Security = SecurityBox("cbPOP3Security", group);
    cbPOP3UseSPA = new QCheckBox(QStringLiteral("Use Secure Password Authentication"), group);
    cbPOP3UseSPA->setObjectName(QStringLiteral("cbPOP3UseSPA"));
    tSMTPServer = line("tSMTPServer", group);
    tSMTPServerPort = portBox("tSMTPServerPort", group);
    cbSMTPSecurity = SecurityBox("cbSMTPSecurity", group);
    cbSMTPServerRequiresAuthentication = new QCheckBox(QStringLiteral("SMTP Server requires authentication"), group);
    cbSMTPServerRequiresAuthentication->setObjectName(QStringLiteral("cbSMTPServerRequiresAuthentication"));
    bSMTPAuthConfig = new QToolButton(group);
    bSMTPAuthConfig->setObjectName(QStringLiteral("bSMTPAuthConfig"));
    bSMTPAuthConfig->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    bSMTPAuthConfig->setToolTip(QStringLiteral("Configure SMTP server authentication"));
    bSMTPAuthConfig->setEnabled(false);

    const auto withPort = [group](QLineEdit* server, QSpinBox* port, QComboBox* security) {
        auto* h = new QHBoxLayout;
        h->addWidget(server, 1);
        h->addWidget(textLabel(QStringLiteral("port"), group));
        h->addWidget(port);
        h->addWidget(textLabel(QStringLiteral("Security"), group));
        h->addWidget(security);
        return h;
    };
    form->addRow(QStringLiteral("Your name"), tDisplayName);
    form->addRow(QStringLiteral("E-mail address"), tEMailAddress);
    form->addRow(QStringLiteral("User name"), tPOP3UserName);
    form->addRow(QStringLiteral("Password"), tPOP3Password);
    form->addRow(QStringLiteral("POP3 server"), withPort(tPOP3Server, tPOP3ServerPort, cbPOP3Security));
    form->addRow(QString(), cbPOP3UseSPA);
    form->addRow(QStringLiteral("SMTP server"), withPort(tSMTPServer, tSMTPServerPort, cbSMTPSecurity));
    auto* auth = new QHBoxLayout;
    auth->addWidget(cbSMTPServerRequiresAuthentication);
    auth->addWidget(bSMTPAuthConfig);
    auth->addStretch();
    form->addRow(QString(), auth);
    v->addWidget(group);

    auto* testRow = new QHBoxLayout;
    bTest = new QPushButton(QStringLiteral("TEST"), this);
    bTest->setObjectName(QStringLiteral("bTest"));
    lTested = textLabel(QStringLiteral("TESTED! OK!"), this, true);
    lTested->setObjectName(QStringLiteral("lTested"));
    lTested->setStyleSheet(QStringLiteral("color: darkgreen"));
    lNotTested = textLabel(QStringLiteral("NOT TESTED!"), this, true);
    lNotTested->setObjectName(QStringLiteral("lNotTested"));
    lNotTested->setStyleSheet(QStringLiteral("color: darkred"));
    lNotTested->setMinimumWidth(lNotTested->sizeHint().width());
    testRow->addWidget(bTest);
    testRow->addWidget(lTested);
    testRow->addWidget(lNotTested);
    testRow->addStretch();
    v->addLayout(testRow);
    v->addStretch();
}

WizardAliasesPage::WizardAliasesPage(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    v->addWidget(textLabel(
        QStringLiteral("On this form please specify all of your other e-mail addresses that you might use that have "
                       "not specified on the previous screen.  If you are receiving messages addressed to multiple "
                       "mailboxes on a single domain you can add email address substituting mailbox name with "
                       "asterix (i.e. *@example.com)"),
        this));
    auto* row = new QHBoxLayout;
    row->addWidget(textLabel(QStringLiteral("E-mail address"), this));
    tAliasEmailAddress = line("tAliasEmailAddress", this);
    AddButton = new QPushButton(QStringLiteral("Add"), this);
    AddButton->setObjectName(QStringLiteral("AddButton"));
    row->addWidget(tAliasEmailAddress, 1);
    row->addWidget(AddButton);
    v->addLayout(row);
    auto* listRow = new QHBoxLayout;
    lbAliases = new QListWidget(this);
    lbAliases->setObjectName(QStringLiteral("lbAliases"));
    DeleteButton = new QPushButton(QStringLiteral("Delete"), this);
    DeleteButton->setObjectName(QStringLiteral("DeleteButton"));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(DeleteButton);
    buttons->addStretch();
    listRow->addWidget(lbAliases, 1);
    listRow->addLayout(buttons);
    v->addLayout(listRow, 1);
}

WizardDonePage::WizardDonePage(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    v->addWidget(textLabel(QStringLiteral("Congratulations!"), this, true));
    v->addWidget(textLabel(QStringLiteral("You have successfuly configured e-mail accounts.  Glimmerpost is now ready "
                                          "to protect your mailboxes from unwanted messages!"),
                           this));
    connectNote_ = textLabel(QString(), this);
    connectNote_->setObjectName(QStringLiteral("lConnectNote"));
    v->addWidget(connectNote_);
    v->addWidget(textLabel(
        QStringLiteral("It is recomended to pre-approve as many e-mail addresses of your friends, colleagues and other "
                       "senders as possible.  Address book import dialog will  help you to setup you \"white-list\""),
        this));
    cbOpenAddressBookImportDialog = new QCheckBox(QStringLiteral("Open Address Book Import dialog"), this);
    cbOpenAddressBookImportDialog->setObjectName(QStringLiteral("cbOpenAddressBookImportDialog"));
    cbOpenAddressBookImportDialog->setChecked(true);
    v->addWidget(cbOpenAddressBookImportDialog);
    v->addStretch();
}

void WizardDonePage::SetLocalPorts(int pop3Port, int smtpPort) {
    connectNote_->setText(
        QStringLiteral("Your e-mail application must now receive mail from POP3 server \"localhost\" port %1 and send "
                       "mail through SMTP server \"localhost\" port %2, logging in with the account's e-mail address "
                       "as user name and its password. Glimmerpost has changed the settings of the accounts it found "
                       "in your e-mail application; please change any other account by hand.")
            .arg(pop3Port)
            .arg(smtpPort));
}

}  // namespace dialogs
