#include "dialogs/OptionsMessagesTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/MiscUtils.h"
#include "platform/Text8.h"

namespace dialogs {
namespace {

enum Buffer { Req1, Req2, Req3, Conf1, Conf2 };

QLabel* fixedLabel(QWidget* parent, const char* name, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet("color: #555;");
    return label;
}

QPlainTextEdit* textField(QWidget* parent, const char* name, const char* tip) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setObjectName(name);
    edit->setStatusTip(QString::fromUtf8(tip));
    edit->setToolTip(QString::fromUtf8(tip));
    edit->setTabChangesFocus(true);
    edit->setMinimumHeight(60);
    return edit;
}

}  // namespace

OptionsMessagesTab::OptionsMessagesTab(QWidget* parent) : QWidget(parent) {
    setObjectName("OptionsFrame4");
    cMessageSelect = new QComboBox(this);
    cMessageSelect->setObjectName("cMessageSelect");
    cMessageSelect->addItems({"Registration request", "Acceptance confirmation message!"});
    cMessageSelect->setStatusTip("Select message to customize");
    cMessageSelect->setToolTip("Select message to customize");
    auto* selectLabel = new QLabel("Message to customize", this);
    selectLabel->setObjectName("lMessageToCustomize");
    lTopMsgReg = fixedLabel(this, "lTopMsgReg", "You recently sent a message to <Recipient Email Address>");
    lTopMsgConf = fixedLabel(this, "lTopMsgConf", "Message to <Recipient Email Address> are accepted:");
    tMessageHeader = textField(this, "tMessageHeader", "Enter first message part here");
    lLinkToRegWebPage = fixedLabel(this, "lLinkToRegWebPage", "<Link to registration web page>");
    tMessageMiddle = textField(this, "tMessageMiddle", "Enter third message part here");
    tMessageFooter = textField(this, "tMessageFooter", "Enter third message part here");
    lTypeIn = fixedLabel(this, "lTypeIn", "<- Type in your name and/or reply email address");
    cbAutoRejectNotification = new QCheckBox(
        "Send notification of automatic rejection in case of failure to register", this);
    cbAutoRejectNotification->setObjectName("cbAutoRejectNotification");
    lAutoDeleteNotification = new QLabel(this);
    lAutoDeleteNotification->setObjectName("lAutoDeleteNotification");
    lAutoDeleteNotification->setTextFormat(Qt::PlainText);
    lAutoDeleteNotification->setWordWrap(true);
    bPreview = new QPushButton("Preview", this);
    bPreview->setObjectName("bPreview");

    auto* top = new QHBoxLayout;
    top->addWidget(selectLabel);
    top->addWidget(cMessageSelect, 1);
    top->addWidget(bPreview);
    auto* footer = new QHBoxLayout;
    footer->addWidget(tMessageFooter, 1);
    footer->addWidget(lTypeIn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lTopMsgReg);
    layout->addWidget(lTopMsgConf);
    layout->addWidget(tMessageHeader);
    layout->addWidget(lLinkToRegWebPage);
    layout->addWidget(tMessageMiddle);
    layout->addLayout(footer);
    layout->addWidget(cbAutoRejectNotification);
    layout->addWidget(lAutoDeleteNotification);

    connect(cMessageSelect, &QComboBox::currentIndexChanged, this, [this](int index) { SelectMessage(index); });
    for (QPlainTextEdit* field : {tMessageHeader, tMessageMiddle, tMessageFooter})
        connect(field, &QPlainTextEdit::textChanged, this, [this, field] {
            if (filling_) return;
            storeField(field);
            emit edited();
        });
    connect(cbAutoRejectNotification, &QCheckBox::clicked, this, [this] {
        enableNotice();
        emit edited();
    });
    connect(bPreview, &QPushButton::clicked, this, &OptionsMessagesTab::previewClicked);
}

void OptionsMessagesTab::Fill(const std::array<std::string, 5>& texts, bool sendDeletionNote) {
    buffers_ = texts;
    cbAutoRejectNotification->setChecked(sendDeletionNote);
    enableNotice();
    selected_ = -1;
    SelectMessage(cMessageSelect->currentIndex() < 0 ? 0 : cMessageSelect->currentIndex());
}

void OptionsMessagesTab::SelectMessage(int index) {
    if (index != 0 && index != 1) return;
    if (cMessageSelect->currentIndex() != index) {
        cMessageSelect->setCurrentIndex(index);  // comes back here through the signal
        return;
    }
    const bool request = index == 0;
    for (QWidget* w : std::initializer_list<QWidget*>{tMessageFooter, lLinkToRegWebPage, lTopMsgReg, lTypeIn,
                                                      cbAutoRejectNotification, lAutoDeleteNotification})
        w->setVisible(request);
    lTopMsgConf->setVisible(!request);
    selected_ = index;
    setField(tMessageHeader, buffers_[request ? Req1 : Conf1]);
    setField(tMessageMiddle, buffers_[request ? Req2 : Conf2]);
    setField(tMessageFooter, request ? buffers_[Req3] : std::string());
}

void OptionsMessagesTab::setField(QPlainTextEdit* field, const std::string& text) {
    std::string lf;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
    filling_ = true;
    field->setPlainText(platform::FromText8(lf));
    filling_ = false;
}

void OptionsMessagesTab::storeField(QPlainTextEdit* field) {
    // Line ends as the mails carry them.
    std::string text = field->toPlainText().toStdString();
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    if (selected_ == 0) {
        if (field == tMessageHeader) buffers_[Req1] = crlf;
        if (field == tMessageMiddle) buffers_[Req2] = crlf;
        if (field == tMessageFooter) buffers_[Req3] = crlf;
    } else if (selected_ == 1) {
        if (field == tMessageHeader) buffers_[Conf1] = crlf;
        if (field == tMessageMiddle) buffers_[Conf2] = crlf;
    }
}

void OptionsMessagesTab::ShowDeletionNotice(const QString& days) {
    lAutoDeleteNotification->setText(platform::FromText8(MiscFuncs::DeletionNoticeText(days.toStdString())));
}

void OptionsMessagesTab::enableNotice() { lAutoDeleteNotification->setEnabled(cbAutoRejectNotification->isChecked()); }

}  // namespace dialogs
