#include "mainwindow/MessagePreviewForm.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <fstream>

#include "core/CMessage.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Log.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "mainwindow/ProgramStartup.h"
#include "platform/AliveGuard.h"
#include "platform/OpenFile.h"
#include "platform/Text8.h"
#include "platform/WindowHelpers.h"

namespace mainwindow {
namespace {

constexpr const char* kCaption = "Message preview";
// A header value longer than this is cut for its label.
constexpr std::size_t kShownFieldBytes = 2048;

QLabel* plainLabel(QWidget* parent, const char* name, const char* text = "") {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setOpenExternalLinks(false);
    return label;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

// The length of text cut to at most max bytes without splitting a UTF-8 sequence.
std::size_t cutAt(std::string_view text, std::size_t max) {
    if (text.size() <= max) return text.size();
    std::size_t end = max;
    for (int back = 0; back < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++back) --end;
    return end;
}

// Longer lines than this are not wrapped.
constexpr std::size_t kWrappedLineBytes = 8192;

std::size_t longestLine(std::string_view text) {
    std::size_t longest = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        longest = std::max(longest, end);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return longest;
}

// A header value for a one-line label: folded lines and control characters become blanks.
QString fieldText(std::string_view value) {
    std::string text(value.substr(0, cutAt(value, kShownFieldBytes)));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return platform::FromText8(text);
}

// The head of a stored file: enough for its header block and the part of the body
// that is shown, and whether the file holds more than that.
bool readHead(const std::filesystem::path& path, std::string& text, bool& more) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::size_t cap = CMessage::kMaxHeaderFileBytes + MessagePreviewForm::kShownBodyBytes;
    text.resize(cap + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    more = text.size() > cap;
    if (more) text.resize(cap);
    return !in.bad();
}

}  // namespace

MessagePreviewForm::MessagePreviewForm(GlimmerpostProgram& program, QWidget* owner)
    : QWidget(owner, Qt::Window), program_(program) {
    setObjectName(QStringLiteral("MessagePreviewForm"));
    buildWindow();
    reload_.setSingleShot(true);
    reload_.setInterval(kReloadDelayMs);
    connect(&reload_, &QTimer::timeout, this, &MessagePreviewForm::Reload);
    connect(bApprove, &QPushButton::clicked, this, &MessagePreviewForm::bApprove_Click);
    connect(bBlock, &QPushButton::clicked, this, &MessagePreviewForm::bBlock_Click);
    connect(bPrev, &QPushButton::clicked, this, &MessagePreviewForm::bPrev_Click);
    connect(bNext, &QPushButton::clicked, this, &MessagePreviewForm::bNext_Click);
    connect(bOpenInEmailClient, &QPushButton::clicked, this, &MessagePreviewForm::bOpenInEmailClient_Click);
    connect(CloseButton, &QPushButton::clicked, this, &MessagePreviewForm::CloseButton_Click);
}

MessagePreviewForm::~MessagePreviewForm() {
    // A store released before this window has taken its handlers with it.
    if (watched_ && program_.Messages() == watched_) watched_->Change.Unsubscribe(token_);
}

void MessagePreviewForm::buildWindow() {
    setWindowTitle(QString::fromLatin1(kCaption));
    lDateTime = plainLabel(this, "lDateTime", "Date:");
    lFromLabel = plainLabel(this, "lFromLabel", "From:");
    lSubjectLabel = plainLabel(this, "lSubjectLabel", "Subject:");
    lDateTimeValue = plainLabel(this, "lDateTimeValue");
    lFrom = plainLabel(this, "lFrom");
    lSubject = plainLabel(this, "lSubject");
    for (QLabel* value : {lDateTimeValue, lFrom, lSubject}) {
        // A long header must not widen the window.
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    tMessageText = new QPlainTextEdit(this);
    tMessageText->setObjectName(QStringLiteral("tMessageText"));
    tMessageText->setReadOnly(true);
    tMessageText->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    lCutNote = plainLabel(this, "lCutNote");
    lCutNote->hide();

    bApprove = button(this, "bApprove", "Approve sender");
    bBlock = button(this, "bBlock", "Block sender");
    bPrev = button(this, "bPrev", "< Previous");
    bNext = button(this, "bNext", "Next >");
    bOpenInEmailClient = button(this, "bOpenInEmailClient", "Open in email client");
    CloseButton = button(this, "CloseButton", "Close");

    auto* head = new QGridLayout;
    head->addWidget(lDateTime, 0, 0);
    head->addWidget(lDateTimeValue, 0, 1);
    head->addWidget(lFromLabel, 1, 0);
    head->addWidget(lFrom, 1, 1);
    head->addWidget(lSubjectLabel, 2, 0);
    head->addWidget(lSubject, 2, 1);
    head->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {bApprove, bBlock}) buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {bPrev, bNext}) buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {bOpenInEmailClient, CloseButton}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(tMessageText, 1);
    layout->addWidget(lCutNote);
    layout->addLayout(buttons);
    resize(640, 480);
}

void MessagePreviewForm::ShowMessagesFrom(const std::string& sender) {
    if (MiscFuncs::IsBlank(sender)) return;
    CSenders* senders = program_.Senders();
    if (!senders || !program_.Messages()) return;
    std::vector<std::string> keys = senders->MessageKeysStored(sender);
    if (keys.empty()) {
        // The window keeps what it shows: its list and sender stay those of that message.
        Prompt::Ask("There are no messages from " + sender, kCaption, Prompt::Buttons::OK, Prompt::Kind::None);
        return;
    }
    senderMode_ = true;
    sender_ = sender;
    keys_ = std::move(keys);
    index_ = 0;
    watchStore();
    DisplayCurrentMessage();
    updateButtons();
    showWindow();
}

void MessagePreviewForm::ShowMessage(const std::string& key) {
    const std::string found = resolve(key);
    if (found.empty()) {
        MiscFuncs::WriteLog(1, "!", "Message preview: no stored message " + std::string(key));
        return;
    }
    senderMode_ = false;
    sender_.clear();
    keys_ = {found};
    index_ = 0;
    watchStore();
    DisplayCurrentMessage();
    updateButtons();
    showWindow();
}

void MessagePreviewForm::showWindow() {
    show();
    raise();
    activateWindow();
}

void MessagePreviewForm::watchStore() {
    CMessages* store = program_.Messages();
    if (!store || store == watched_) return;
    watched_ = store;
    token_ = store->Change.Subscribe([this] { storeChanged(); });
}

void MessagePreviewForm::storeChanged() {
    // A hidden window is filled again by the next Show.
    if (isVisible()) reload_.start();
}

// The key as the store now holds it: where it was, or the folder its file moved to.
std::string MessagePreviewForm::resolve(const std::string& key) const {
    const CMessages* store = program_.Messages();
    if (!store || key.empty()) return {};
    if (const MessageIndexEntry* entry = store->Find(key)) return std::string(entry->Key());
    for (std::string_view folder : {MessageKeys::kWaitingAuth, MessageKeys::kInBox, MessageKeys::kRecycled}) {
        const std::string moved = MessageKeys::KeyInFolder(key, folder);
        if (moved.empty()) continue;
        if (const MessageIndexEntry* entry = store->Find(moved)) return std::string(entry->Key());
    }
    return {};
}

void MessagePreviewForm::Reload() {
    reload_.stop();
    if (keys_.empty()) return;
    const std::string followed = resolve(keys_[static_cast<std::size_t>(index_)]);
    std::vector<std::string> keys;
    if (senderMode_ && program_.Senders() && program_.Messages()) keys = program_.Senders()->MessageKeysStored(sender_);
    int index = -1;
    if (!followed.empty()) {
        const auto at = std::find_if(keys.begin(), keys.end(),
                                     [&](const std::string& k) { return MiscFuncs::EqualsIgnoreCase(k, followed); });
        if (at != keys.end()) index = static_cast<int>(at - keys.begin());
    }
    // The message on show moved out of the sender's list (blocked: to Recycled): it
    // stays on show, in its place among his other messages.
    if (index < 0 && !followed.empty()) {
        index = std::min(index_, static_cast<int>(keys.size()));
        keys.insert(keys.begin() + index, followed);
    }
    // It is gone: the one in its place, or the last one, is shown.
    if (index < 0 && !keys.empty()) index = std::min(index_, static_cast<int>(keys.size()) - 1);
    if (index < 0) {
        // Nothing of the list is stored any more.
        keys_.clear();
        index_ = 0;
        hide();
        return;
    }
    keys_ = std::move(keys);
    index_ = index;
    DisplayCurrentMessage();
    updateButtons();
}

void MessagePreviewForm::DisplayCurrentMessage() {
    CMessage message;
    std::string text;
    bool more = false;
    const std::string key = keys_.empty() ? std::string() : resolve(keys_[static_cast<std::size_t>(index_)]);
    const std::filesystem::path path = MessageKeys::PathOfKey(key);
    // An unreadable file shows empty fields.
    const bool read = !path.empty() && readHead(path, text, more) && message.CreateFromText(std::move(text));
    lDateTimeValue->setText(read ? fieldText(message.SendDate) : QString());
    lFrom->setText(read ? fieldText(message.From) : QString());
    lSubject->setText(read ? fieldText(message.Subject) : QString());
    const std::string body = read ? message.MessageBody() : std::string();
    const std::size_t shown = cutAt(body, kShownBodyBytes);
    const bool cut = more || shown < body.size();
    const std::string_view part = std::string_view(body).substr(0, shown);
    // Wrapping one line of hundreds of kilobytes takes seconds: such a body is shown
    // unwrapped (the old text goes first: changing the mode lays it out again).
    tMessageText->clear();
    tMessageText->setLineWrapMode(longestLine(part) > kWrappedLineBytes ? QPlainTextEdit::NoWrap
                                                                        : QPlainTextEdit::WidgetWidth);
    tMessageText->setPlainText(platform::FromText8(part));
    const QString note = QStringLiteral("Only the first %1 KB of this message are shown.").arg(kShownBodyBytes / 1024);
    lCutNote->setText(cut ? note : QString());
    lCutNote->setVisible(cut);
}

void MessagePreviewForm::updateButtons() {
    const int last = static_cast<int>(keys_.size()) - 1;
    bApprove->setEnabled(senderMode_);
    bBlock->setEnabled(senderMode_);
    bPrev->setEnabled(senderMode_ && index_ > 0);
    bNext->setEnabled(senderMode_ && index_ < last);
}

void MessagePreviewForm::bNext_Click() {
    if (index_ + 1 >= static_cast<int>(keys_.size())) return;
    ++index_;
    DisplayCurrentMessage();
    updateButtons();
}

void MessagePreviewForm::bPrev_Click() {
    if (index_ <= 0) return;
    --index_;
    DisplayCurrentMessage();
    updateButtons();
}

void MessagePreviewForm::bApprove_Click() { setStatus(SenderStatus::Approved, "Manualy registered by user"); }

void MessagePreviewForm::bBlock_Click() { setStatus(SenderStatus::Blocked, "Manualy blocked by user"); }

void MessagePreviewForm::setStatus(SenderStatus status, const char* reason) {
    CSenders* senders = program_.Senders();
    if (!senders || !senderMode_ || MiscFuncs::IsBlank(sender_) || keys_.empty()) return;
    const std::string sender = sender_;
    const platform::AliveGuard alive(this);
    bool saved = false;
    {
        CSenders::BulkUpdate bulk(*senders);
        senders->SetStatus("", sender, status, reason);
        // Raises the list's change: its listeners may let events run.
        saved = bulk.Commit();
    }
    if (!alive) return;
    senders = program_.Senders();
    if (!senders) return;
    if (!saved || senders->StatusOf(sender) != status) {
        MiscFuncs::WriteLog(0, "#", "Error in MessagePreviewForm::SetStatus " + std::string(sender));
        report("The status of " + sender + " could not be changed: " + senders->IniFile() +
               " could not be written.");
        if (!alive) return;
    }
    Reload();
}

void MessagePreviewForm::bOpenInEmailClient_Click() {
    if (keys_.empty()) return;
    const std::string key = resolve(keys_[static_cast<std::size_t>(index_)]);
    if (key.empty()) {
        Reload();
        return;
    }
    const std::filesystem::path path = MessageKeys::PathOfKey(key);
    const platform::OpenFileResult result = platform::OpenWithDesktop(path);
    if (result == platform::OpenFileResult::NoHandler) report("Could not find e-mail client");
    else if (result == platform::OpenFileResult::Failed) report("Message could not be open by e-mail client");
}

void MessagePreviewForm::report(const std::string& text) {
    Prompt::Ask(text, windowTitle().toStdString(), Prompt::Buttons::OK, Prompt::Kind::Exclamation);
}

bool MessagePreviewForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) MiscFuncs::SetBusyCursorForm(this);
    return QWidget::event(e);
}

void MessagePreviewForm::closeEvent(QCloseEvent* event) {
    // The window lives for the whole run: its close box hides it.
    event->ignore();
    reload_.stop();
    hide();
}

}  // namespace mainwindow
