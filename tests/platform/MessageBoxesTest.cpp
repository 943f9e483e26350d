#include "platform/MessageBoxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "platform/Text8.h"

namespace {

// Answers the next message box with `button` once it is up, recording what it showed.
struct BoxAnswerer {
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool seen = false;

    void arm(QMessageBox::StandardButton button) {
        auto* timer = new QTimer;
        const QDeadlineTimer deadline(5000);
        QObject::connect(timer, &QTimer::timeout, [this, timer, button, deadline] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box && !deadline.hasExpired()) return;
            timer->deleteLater();
            if (!box) return;
            seen = true;
            title = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            defaultButton = box->standardButton(box->defaultButton());
            box->button(button)->click();
        });
        timer->start(10);
    }
};

class MessageBoxesTest : public ::testing::Test {
protected:
    void SetUp() override { platform::InstallMessageBoxes(); }
    void TearDown() override { Prompt::SetPrompt(nullptr); }
};

TEST_F(MessageBoxesTest, TheBoxShowsTheRequestAndReturnsTheButtonPressed) {
    for (QMessageBox::StandardButton press : {QMessageBox::Yes, QMessageBox::No}) {
        BoxAnswerer answerer;
        answerer.arm(press);
        const Prompt::Answer a = Prompt::Ask("E-mail address a@b.c seems to be already configured\r\nContinue?",
                                             "Setup Wizard", Prompt::Buttons::YesNo, Prompt::Kind::Exclamation, 2);
        ASSERT_TRUE(answerer.seen);
        EXPECT_EQ(a, press == QMessageBox::Yes ? Prompt::Answer::Yes : Prompt::Answer::No);
        EXPECT_EQ(answerer.title, "Setup Wizard");
        EXPECT_EQ(answerer.text, "E-mail address a@b.c seems to be already configured\nContinue?");
        EXPECT_EQ(answerer.defaultButton, QMessageBox::No);
    }
}

TEST_F(MessageBoxesTest, AnEmptyCaptionShowsTheApplicationsName) {
    QApplication::setApplicationDisplayName("Glimmerpost");
    BoxAnswerer answerer;
    answerer.arm(QMessageBox::Ok);
    EXPECT_EQ(Prompt::Ask("Incorrect Format:\n\nSoftware"), Prompt::Answer::OK);
    EXPECT_TRUE(answerer.title.startsWith("Glimmerpost"));
    EXPECT_EQ(answerer.text, "Incorrect Format:\n\nSoftware");
    QApplication::setApplicationDisplayName(QString());
}

TEST(Text8Test, Utf8IsReadAsUtf8AndAnyOtherByteAsLatin1) {
    EXPECT_EQ(platform::FromText8("Caf\xc3\xa9"), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(platform::FromText8("Caf\xe9"), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(platform::FromText8(std::string_view("a\0b", 3)), QString::fromLatin1("a\0b", 3));
}

TEST_F(MessageBoxesTest, TextFromStrangersIsNeverReadAsMarkup) {
    BoxAnswerer answerer;
    answerer.arm(QMessageBox::Ok);
    Prompt::Ask("There are no messages from <b>x</b>@far.test", "Message preview");
    ASSERT_TRUE(answerer.seen);
    EXPECT_EQ(answerer.format, Qt::PlainText);
    EXPECT_EQ(answerer.text, "There are no messages from <b>x</b>@far.test");
}

}  // namespace
