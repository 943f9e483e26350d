#include "dialogs/FeedbackForms.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/FormAddresses.h"
#include "core/Prompt.h"
#include "mainwindow/ProgramStartup.h"
#include "platform/BrowserHelpers.h"
#include "platform/SafeDelete.h"
#include "platform/Text8.h"

namespace dialogs {
namespace {

QPointer<frmFeedback>& feedbackForm() {
    static QPointer<frmFeedback> form;
    return form;
}
QPointer<frmTellAFriend>& tellForm() {
    static QPointer<frmTellAFriend> form;
    return form;
}

QLabel* caption(const char* text, QWidget* parent) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setWordWrap(true);
    return l;
}

QLineEdit* lineEdit(const char* name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(256);
    return e;
}

QPushButton* button(const char* name, const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(name);
    return b;
}

QHBoxLayout* buttonRow(QPushButton* send, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(send);
    row->addWidget(cancel);
    return row;
}

// What the user typed, as UTF-8 with CR LF line ends.
std::string typed(const QString& text) {
    QString t = text;
    t.replace("\r\n", "\n").replace('\r', '\n').replace('\n', "\r\n");
    return t.toStdString();
}

// Shown, restored from the task bar, raised above the other windows and given the focus.
void showInFront(QWidget* form) {
    if (form->isMinimized()) form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    form->show();
    form->raise();
    form->activateWindow();
}

void information(const std::string& text) {
    Prompt::Ask(text, "", Prompt::Buttons::OK, Prompt::Kind::Information);
}

}  // namespace

frmFeedback::frmFeedback(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmFeedback");
    setWindowTitle("Software -- Feedback");
    auto* column = new QVBoxLayout(this);
    column->addWidget(caption("Type in your question, comment, review, bug report, feature request, etc.  If you "
                              "supply your email address, we will reply to your question or comment as soon as "
                              "possible:",
                              this));
    body_ = new QPlainTextEdit(this);
    body_->setObjectName("txtBody");
    column->addWidget(body_, 1);
    column->addWidget(caption("Optional - Your Email Address *", this));
    email_ = lineEdit("txtEmail", this);
    column->addWidget(email_);
    send_ = button("cmdSend", "Send Comment", this);
    send_->setToolTip("Click here to send us your comments.  It will do this by launching a new browser window.  "
                      "Please be patient and thanks in advance!");
    cancel_ = button("cmdCancel", "&Close", this);
    column->addLayout(buttonRow(send_, cancel_));
    setMinimumSize(480, 360);
    connect(send_, &QPushButton::clicked, this, &frmFeedback::cmdSend_Click);
    connect(cancel_, &QPushButton::clicked, this, &QWidget::close);
}

void frmFeedback::Form_Load() {
    send_->setEnabled(true);
    if (BrowserHelpers::HasDefaultBrowser()) return;
    send_->setEnabled(false);
    information("We're sorry, but the Send Feedback function needs to open your browser to work properly.  "
                "However, your computer is not configured for a default browser.\r\n\r\n"
                "The Send Feedback function is disabled until you configure a default browser.");
}

void frmFeedback::cmdSend_Click() {
    if (body_->toPlainText().trimmed().isEmpty()) {
        information("Please enter a comment or question, then click Send Comment.  Thank you.");
        return;
    }
    const std::string body =
        BrowserHelpers::FeedbackBody(typed(body_->toPlainText()), BrowserHelpers::IsInternetExplorerDefault(),
                                     BrowserHelpers::FindAssociatedProgram("htm"));
    const std::string email = typed(email_->text().trimmed());
    BrowserHelpers::TheirBrowser2(BrowserHelpers::PageWithQuery(
        BrowserHelpers::FeedbackPage(), {{"prod", productName}, {"email", email}, {"body", body}}));
}

frmTellAFriend::frmTellAFriend(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmTellAFriend");
    setWindowTitle("Tell A Friend");
    auto* column = new QVBoxLayout(this);

    auto* message = new QGroupBox("Message:", this);
    auto* messageColumn = new QVBoxLayout(message);
    messageColumn->addWidget(caption("You may edit the following text that will be sent to your friend(s):  ", message));
    body_ = new QPlainTextEdit(message);
    body_->setObjectName("txtBody");
    messageColumn->addWidget(body_);
    column->addWidget(message, 1);

    auto* you = new QGroupBox("Your Information - OPTIONAL *", this);
    auto* youGrid = new QGridLayout(you);
    fromName_ = lineEdit("txtFromName", you);
    fromEmail_ = lineEdit("txtFromEmail", you);
    youGrid->addWidget(caption("Your Name:", you), 0, 0);
    youGrid->addWidget(fromName_, 0, 1);
    youGrid->addWidget(caption("Your Email Address:", you), 1, 0);
    youGrid->addWidget(fromEmail_, 1, 1);
    column->addWidget(you);

    auto* friends = new QGroupBox("Friends Email Address(s):", this);
    auto* friendsGrid = new QGridLayout(friends);
    for (int i = 0; i < 3; ++i) {
        const std::string name = "txtEmail" + std::to_string(i + 1);
        const std::string label = "Email " + std::to_string(i + 1) + ":";
        friends_[i] = lineEdit(name.c_str(), friends);
        friendsGrid->addWidget(caption(label.c_str(), friends), i, 0);
        friendsGrid->addWidget(friends_[i], i, 1);
    }
    column->addWidget(friends);

    send_ = button("cmdSend", "Send", this);
    cancel_ = button("cmdCancel", "&Close", this);
    column->addLayout(buttonRow(send_, cancel_));
    setMinimumSize(500, 540);
    connect(send_, &QPushButton::clicked, this, &frmTellAFriend::cmdSend_Click);
    connect(cancel_, &QPushButton::clicked, this, &QWidget::close);
}

void frmTellAFriend::Form_Load() {
    send_->setEnabled(true);
    if (BrowserHelpers::HasDefaultBrowser()) {
        body_->setPlainText(platform::FromText8(preparedText));
        return;
    }
    send_->setEnabled(false);
    information("We're sorry, but the 'Tell a Friend' function needs to open your browser to work properly (when "
                "you click the Send button).  However, your computer is not configured for a default browser."
                "\r\n\r\nThe 'Tell a Friend' function is disabled until you configure a default browser.");
}

void frmTellAFriend::cmdSend_Click() {
    if (body_->toPlainText().trimmed().isEmpty()) {
        information("Please enter a message that can be sent to your friends, then click the 'Send' button  "
                    "Thank you.");
        return;
    }
    const std::string first = typed(friends_[0]->text().trimmed());
    if (first.empty()) {
        information("Please supply one or more of your friends email addresses. Then click the 'Send' button  "
                    "Thank you.");
        return;
    }
    if (first.find('@') == std::string::npos || first.find('.') == std::string::npos) {
        information("The email address you supplied '" + first + "' does not appear to be valid. \r\n\r\n"
                    "Please supply one or more valid email addresses, Then click the 'Send' button  Thank you.");
        return;
    }
    const std::string body = BrowserHelpers::TellAFriendBody(typed(body_->toPlainText()));
    const std::string email2 = typed(friends_[1]->text().trimmed()), email3 = typed(friends_[2]->text().trimmed());
    const std::string fromEmail = typed(fromEmail_->text().trimmed()), fromName = typed(fromName_->text().trimmed());
    BrowserHelpers::TheirBrowser2(BrowserHelpers::PageWithQuery(
        BrowserHelpers::TellAFriendPage(), {{"prod", productName},
                                            {"email1", first},
                                            {"email2", email2},
                                            {"email3", email3},
                                            {"fromemail", fromEmail},
                                            {"fromname", fromName},
                                            {"body", body}}));
}

void ShowFeedback(std::string_view productName) {
    if (!feedbackForm()) feedbackForm() = new frmFeedback();
    frmFeedback* form = feedbackForm();
    form->productName = std::string(productName);
    showInFront(form);
    const QPointer<frmFeedback> alive(form);
    form->Form_Load();
    // The box about the browser took the focus, and gave it back to whatever window
    // was active before: the form comes to the front again, unless it was closed
    // (the program ending) while the box was up.
    if (alive) showInFront(form);
}

frmFeedback* FeedbackForm() { return feedbackForm(); }

void CloseFeedback() { platform::DeleteWhenSafe(feedbackForm().data()); }

void RegisterTellAFriend(mainwindow::GlimmerpostProgram& program) {
    mainwindow::LoadableWindow window;
    window.name = std::string(mainwindow::EngineSet::kTellAFriend);
    window.load = [](mainwindow::GlimmerpostProgram&) {
        if (!tellForm()) tellForm() = new frmTellAFriend();
    };
    window.unload = [] { platform::DeleteWhenSafe(tellForm().data()); };
    program.Engines().Register(std::move(window));
}

void ShowTellAFriend(mainwindow::GlimmerpostProgram& program, std::string_view productName) {
    program.Engines().Load(mainwindow::EngineSet::kTellAFriend, program);
    frmTellAFriend* form = tellForm();
    if (!form) return;
    form->productName = std::string(productName);
    form->preparedText = BrowserHelpers::TellAFriendText(productName);
    showInFront(form);
    const QPointer<frmTellAFriend> alive(form);
    form->Form_Load();
    if (alive) showInFront(form);
}

frmTellAFriend* TellAFriendForm() { return tellForm(); }

}  // namespace dialogs
