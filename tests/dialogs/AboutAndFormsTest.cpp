// The about box and the feedback and recommendation forms: what they show, the checks
// before sending, and the page addresses they open with every field escaped whole.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <functional>

#include "DialogTestSupport.h"
#include "core/FormAddresses.h"
#include "core/ProductInfo.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/FeedbackForms.h"
#include "mainwindow/EngineSet.h"

namespace {

using testing_support::DialogTest;

class AboutAndFormsTest : public DialogTest {
protected:
    void TearDown() override {
        dialogs::CloseFeedback();
        DialogTest::TearDown();
    }
    static std::string site() { return std::string(ProductInfo::kSiteAddress); }
};

TEST_F(AboutAndFormsTest, AboutBoxShowsTitleVersionAndAboutLine) {
    auto& program = started();
    bool shown = false;
    whenModal<dialogs::AboutDialog>([&](dialogs::AboutDialog& about) {
        shown = true;
        EXPECT_EQ(about.windowTitle(), "About Glimmerpost");
        EXPECT_EQ(about.lblTitle()->text(), "Glimmerpost");
        EXPECT_EQ(about.lblVersion()->text(), QString::fromStdString("Version " + ProductInfo::FullVersionText()));
        EXPECT_EQ(about.lblVersion()->text(), "Version 1.0.0");
        EXPECT_EQ(about.lblDescription()->text().toStdString(), ProductInfo::AboutLine());
        about.cmdSysInfo()->click();
        about.cmdOK()->click();
    });
    program.MainForm()->MainToolBar_ButtonMenuClick("About");
    EXPECT_TRUE(shown);
    EXPECT_EQ(promptTexts(), std::vector<std::string>{"System Information Is Unavailable At This Time"});
    EXPECT_EQ(prompts_.back().buttons, Prompt::Buttons::OK);
}

TEST_F(AboutAndFormsTest, FeedbackSendsTheCommentAsTyped) {
    auto& program = started();
    program.MainForm()->cmdFeedback_Click();
    dialogs::frmFeedback* form = dialogs::FeedbackForm();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->cmdSend()->isEnabled());

    form->txtBody()->setPlainText("   \n ");
    form->cmdSend()->click();
    EXPECT_EQ(lastPrompt(), "Please enter a comment or question, then click Send Comment.  Thank you.");
    EXPECT_TRUE(opened_.empty());

    form->txtBody()->setPlainText(QString::fromUtf8("Why? a&b=c #1 + 100%\nnext line \xC3\xA9"));
    form->txtEmail()->setText("me@x.com");
    form->cmdSend()->click();
    ASSERT_EQ(opened_.size(), 1u);
    const std::string body = "V" + ProductInfo::FullVersionText() +
                             "\r\nWhy? a&b=c #1 + 100%\r\nnext line \xC3\xA9\r\n\r\nOther Browser: ...bin/firefox-esr";
    EXPECT_EQ(opened_[0], site() + "zshared/feedback.asp?prod=Glimmerpost&email=me%40x.com&body=" +
                              BrowserHelpers::UrlEscape(body));
    EXPECT_NE(opened_[0].find("Why%3F%20a%26b%3Dc%20%231%20%2B%20100%25%0D%0Anext%20line%20%C3%A9"),
              std::string::npos);
}

TEST_F(AboutAndFormsTest, FeedbackFailuresGetABox) {
    auto& program = started();
    const struct {
        std::string browser;
        bool opens;
        int length;
        std::string box;
    } cases[] = {
        {"/usr/bin/firefox-esr", false, 10, "Web Page not Opened"},
        {"/usr/bin/firefox-esr", true, 3000,
         "Web Page not Opened\r\n\r\nThe text is too long to be passed to the browser. Please shorten it and try "
         "again."},
        {"/bin/b", true, 10, "Could not find associated Browser"},
    };
    for (const auto& c : cases) {
        browser_ = c.browser;
        openerWorks_ = c.opens;
        program.MainForm()->cmdFeedback_Click();
        dialogs::frmFeedback* form = dialogs::FeedbackForm();
        form->cmdSend()->setEnabled(true);
        form->txtBody()->setPlainText(QString(c.length, 'x'));
        prompts_.clear();
        opened_.clear();
        form->cmdSend_Click();
        EXPECT_EQ(lastPrompt(), c.box);
        EXPECT_EQ(opened_.size(), c.opens ? 0u : 1u) << c.box;
    }
}

TEST_F(AboutAndFormsTest, WithoutABrowserBothFormsSayWhyAndCannotSend) {
    browser_.clear();
    auto& program = started();
    program.MainForm()->cmdFeedback_Click();
    EXPECT_FALSE(dialogs::FeedbackForm()->cmdSend()->isEnabled());
    EXPECT_EQ(lastPrompt().rfind("We're sorry, but the Send Feedback function needs to open your browser", 0), 0u);
    program.MainForm()->cmdTell_Click();
    EXPECT_FALSE(dialogs::TellAFriendForm()->cmdSend()->isEnabled());
    EXPECT_TRUE(dialogs::TellAFriendForm()->txtBody()->toPlainText().isEmpty());
    EXPECT_EQ(lastPrompt().rfind("We're sorry, but the 'Tell a Friend' function needs to open your browser", 0), 0u);
}

// The box about the browser takes the focus and, closing, gives it back to the
// window that had it before, the main window: each form still ends up in front,
// active, also when it was open already.
TEST_F(AboutAndFormsTest, EachFormComesToTheFrontAfterTheBoxAboutTheBrowser) {
    browser_.clear();
    auto& program = started();
    QWidget* main = program.MainForm();
    main->show();
    bool mainHadTheFocus = false;
    answerer_ = [&](const Prompt::Request& r) {
        main->activateWindow();
        mainHadTheFocus = platform::WaitUntil([&] { return QApplication::activeWindow() == main; }, 2000);
        return Prompt::DefaultAnswer(r);
    };
    const struct {
        const char* name;
        std::function<void()> open;
        std::function<QWidget*()> form;
    } cases[] = {
        {"feedback", [&] { program.MainForm()->cmdFeedback_Click(); }, [] { return dialogs::FeedbackForm(); }},
        {"tell a friend", [&] { program.MainForm()->cmdTell_Click(); }, [] { return dialogs::TellAFriendForm(); }},
    };
    for (int round = 0; round < 2; ++round)
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (round ? ", open already" : ""));
            mainHadTheFocus = false;
            c.open();
            EXPECT_TRUE(mainHadTheFocus);
            ASSERT_NE(c.form(), nullptr);
            EXPECT_TRUE(c.form()->isVisible());
            EXPECT_TRUE(platform::WaitUntil([&] { return QApplication::activeWindow() == c.form(); }, 2000));
        }
}

// The program may end while the box about the browser is up: the form it closes is
// not brought to the front afterwards.
TEST_F(AboutAndFormsTest, AFormClosedWhileTheBoxAboutTheBrowserIsUpIsLeftAlone) {
    browser_.clear();
    auto& program = started();
    answerer_ = [&](const Prompt::Request& r) {
        dialogs::CloseFeedback();
        program.Engines().Unload(mainwindow::EngineSet::kTellAFriend);
        return Prompt::DefaultAnswer(r);
    };
    program.MainForm()->cmdFeedback_Click();
    EXPECT_EQ(dialogs::FeedbackForm(), nullptr);
    program.MainForm()->cmdTell_Click();
    EXPECT_EQ(dialogs::TellAFriendForm(), nullptr);
}

TEST_F(AboutAndFormsTest, TellAFriendChecksThenSends) {
    auto& program = started();
    EXPECT_EQ(dialogs::TellAFriendForm(), nullptr);
    program.MainForm()->cmdTell_Click();
    dialogs::frmTellAFriend* form = dialogs::TellAFriendForm();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(program.Engines().IsLoaded("frmTellAFriend"));
    EXPECT_EQ(form->txtBody()->toPlainText().toStdString(), BrowserHelpers::TellAFriendText("Glimmerpost"));

    const struct {
        std::string message, first, box;
    } refusals[] = {
        {"", "a@x.com", "Please enter a message that can be sent to your friends, then click the 'Send' button  Thank you."},
        {"Hi", "", "Please supply one or more of your friends email addresses. Then click the 'Send' button  Thank you."},
        {"Hi", "ax.com", "The email address you supplied 'ax.com' does not appear to be valid. \r\n\r\nPlease supply "
                         "one or more valid email addresses, Then click the 'Send' button  Thank you."},
        {"Hi", "a@xcom", "The email address you supplied 'a@xcom' does not appear to be valid. \r\n\r\nPlease supply "
                         "one or more valid email addresses, Then click the 'Send' button  Thank you."},
    };
    for (const auto& r : refusals) {
        form->txtBody()->setPlainText(QString::fromStdString(r.message));
        form->txtEmail(1)->setText(QString::fromStdString(r.first));
        form->cmdSend_Click();
        EXPECT_EQ(lastPrompt(), r.box);
    }
    EXPECT_TRUE(opened_.empty());

    form->txtBody()->setPlainText("Try it?\nIt's good & free");
    form->txtEmail(1)->setText("a@x.com");
    form->txtFromName()->setText("Me + You");
    form->cmdSend_Click();
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], site() + "zshared/tellafriend.asp?prod=Glimmerpost&email1=a%40x.com&email2=&email3=" +
                              "&fromemail=&fromname=Me%20%2B%20You&body=" +
                              BrowserHelpers::UrlEscape("Try it?\r\nIt's good & free\r\n\r\nv" +
                                                        ProductInfo::FullVersionText()));

    program.RequestShutDown();
    EXPECT_EQ(dialogs::TellAFriendForm(), nullptr) << "the program's end unloads it";
}

}  // namespace
