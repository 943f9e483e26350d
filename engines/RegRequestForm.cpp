#include "engines/RegRequestForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "core/Address.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "protocol/RegReplyFile.h"
#include "platform/Text8.h"
#include "platform/WindowHelpers.h"

namespace {

constexpr int kTextWidth = 320;

// A label for text from strangers: never read as markup or links.
QLabel* plainLabel(QWidget* parent, const char* objectName, const QString& text = {}) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setOpenExternalLinks(false);
    return label;
}

QString shown(std::string_view text) {
    return platform::FromText8(RegReplyFile::CutText(text, RegRequestForm::kMaxShownLength));
}

}  // namespace

std::vector<std::string> RegRequestForm::accountNames() {
    return Accounts::AccountNames(Accounts::ProgramAccounts());
}

RegRequestForm::RegRequestForm(CSenders& senders, const CMessages* store, Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), senders_(senders), store_(store), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("RegRequestForm"));
    buildWindow();
    PollTimer_.setInterval(kPollIntervalMs);
    PollTimer_.setEnabled(true);
    ShowTimer_.setInterval(kShowIntervalMs);
    ShowTimer_.setEnabled(false);
    connect(&PollTimer_, &platform::TimerControl::timer, this, &RegRequestForm::PollTimer_Timer);
    connect(&ShowTimer_, &platform::TimerControl::timer, this, &RegRequestForm::ShowTimer_Timer);
    connect(bApprove, &QPushButton::clicked, this, &RegRequestForm::bApprove_Click);
    connect(bReject, &QPushButton::clicked, this, &RegRequestForm::bReject_Click);
}

RegRequestForm::~RegRequestForm() = default;

void RegRequestForm::buildWindow() {
    setWindowTitle(QStringLiteral("Registration request"));
    setAttribute(Qt::WA_ShowWithoutActivating);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    lNewRegRequest = plainLabel(this, "lNewRegRequest", QStringLiteral("New registration request arrived!"));

    Frame1 = new QGroupBox(QStringLiteral("Sender information"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    lSenderName = plainLabel(Frame1, "lSenderName", QStringLiteral("Sender name:"));
    Label4 = plainLabel(Frame1, "Label4", QStringLiteral("Sender e-mail:"));
    lSenderReason = plainLabel(Frame1, "lSenderReason", QStringLiteral("Reason:"));
    lSendersName = plainLabel(Frame1, "lSendersName");
    lSendersEmail = plainLabel(Frame1, "lSendersEmail");
    lReason = plainLabel(Frame1, "lReason");
    for (QLabel* value : {lSendersName, lSendersEmail, lReason}) {
        value->setWordWrap(true);
        value->setFixedWidth(kTextWidth);
    }
    auto* grid = new QGridLayout(Frame1);
    grid->addWidget(lSenderName, 0, 0, Qt::AlignTop);
    grid->addWidget(lSendersName, 0, 1);
    grid->addWidget(Label4, 1, 0, Qt::AlignTop);
    grid->addWidget(lSendersEmail, 1, 1);
    grid->addWidget(lSenderReason, 2, 0, Qt::AlignTop);
    grid->addWidget(lReason, 2, 1);

    cbAlwaysApprove =
        new QCheckBox(QStringLiteral("Automatically approve senders who have passed registration process"), this);
    cbAlwaysApprove->setObjectName(QStringLiteral("cbAlwaysApprove"));
    bApprove = new QPushButton(QStringLiteral("Approve"), this);
    bApprove->setObjectName(QStringLiteral("bApprove"));
    bReject = new QPushButton(QStringLiteral("Reject"), this);
    bReject->setObjectName(QStringLiteral("bReject"));

    auto* head = new QHBoxLayout;
    head->addWidget(Image1);
    head->addWidget(lNewRegRequest, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bApprove);
    buttons->addWidget(bReject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(Frame1);
    layout->addWidget(cbAlwaysApprove);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// The request's texts into the window.
void RegRequestForm::showRequest() {
    lSendersName->setText(shown(request_.name));
    lSendersEmail->setText(shown(request_.emailText));
    lReason->setText(shown(request_.reason));
}

void RegRequestForm::Authrize(std::string_view address) {
    if (isVisible()) return;
    Request r;
    std::string displayName;
    r.address = MiscFuncs::ParseAddress(address, displayName);
    r.name = senders_.NameOf(address);
    r.emailText = MiscFuncs::IsBlank(r.name) ? std::string(address) : r.name + " " + std::string(address);
    r.reason = senders_.ReasonOf(address);
    r.account = accountHolding(r.address);
    request_ = std::move(r);
    showRequest();
    PollTimer_.setEnabled(false);
    ShowTimer_.setEnabled(false);
    MiscFuncs::WriteLog(3, "i", "Approving sender: " + request_.address);
    SetWindowToFrontForeground();
}

void RegRequestForm::SetWindowToFrontForeground() {
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    MiscFuncs::SetFormTopmost(this, false);
    raise();
}

// The account whose mail store holds the sender's messages, held ones first; the
// first account when none does.
std::string RegRequestForm::accountHolding(std::string_view address) const {
    const std::vector<std::string> accounts = accountNames();
    if (store_) {
        std::vector<std::string> keys = store_->SenderKeys(address, {}, MessageKeys::kWaitingAuth);
        if (keys.empty()) keys = store_->SenderKeys(address);
        for (const std::string& key : keys) {
            MessageKeys::KeyParts parts;
            if (!MessageKeys::SplitKey(key, parts)) continue;
            const auto found = std::find_if(accounts.begin(), accounts.end(), [&](const std::string& a) {
                return MiscFuncs::EqualsIgnoreCase(MiscFuncs::TrimBlanks(a), parts.account);
            });
            if (found != accounts.end()) return *found;
        }
    }
    return accounts.empty() ? std::string() : accounts.front();
}

void RegRequestForm::closeEvent(QCloseEvent* event) {
    // The window lives for the whole run: closing it only puts the request away.
    event->ignore();
    if (answering_) return;
    if (ShowTimer_.enabled()) {
        timeOut();
        return;
    }
    finish();
}
