// The new-sender editor: its checks as a table, Cancel, Escape and the close box, a
// result that starts over at every Edit, the editor kept for the run, and a shut-down
// of the program while it, or its box, is open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "dialogs/AddUserForm.h"
#include "dialogs/DialogsAttach.h"
#include "mainwindow/ModalWindows.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramTestSupport.h"

namespace {

using dialogs::AddUserForm;
using testing_support::ProgramTest;

class AddUserFormTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        addAccount();
        program = &makeProgram();
        dialogs.Attach(*program, engines);
        ASSERT_EQ(program->Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        platform::PumpEvents();
    }
    void TearDown() override {
        program_.reset();
        ProgramTest::TearDown();
    }

    // Runs the editor through the program's hook; `whileOpen` acts on it once shown.
    int edit(std::string& name, std::string& address, std::function<void(AddUserForm&)> whileOpen) {
        QTimer::singleShot(0, context_.get(), [this, whileOpen] {
            auto* form = qobject_cast<AddUserForm*>(QApplication::activeModalWidget());
            if (!form) {
                ADD_FAILURE() << "the editor is not open";
                return;
            }
            seen = form;
            whileOpen(*form);
        });
        // An editor the test failed to reach must not hold the run forever.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { mainwindow::CloseModalWindows(); });
        guard.start(10000);
        return program->Editors().editSender(name, address, program->MainForm());
    }
    static void type(AddUserForm& form, const char* field, const std::string& text) {
        form.findChild<QLineEdit*>(field)->setText(QString::fromStdString(text));
    }
    static void press(AddUserForm& form, const char* button) { form.findChild<QPushButton*>(button)->click(); }

    mainwindow::ProgramEngines engines;
    dialogs::ProgramDialogs dialogs;
    mainwindow::GlimmerpostProgram* program = nullptr;
    QPointer<AddUserForm> seen;
};

TEST_F(AddUserFormTest, OkKeepsATrimmedValidAddressAndRefusesAnyOther) {
    struct Case {
        const char* name;
        const char* address;
        bool accepted;
        const char* keptName;
        const char* keptAddress;
    };
    const std::vector<Case> cases = {
        {"Ann", "ann@far.test", true, "Ann", "ann@far.test"},
        {"  Ann Lee  ", "   Ann.Lee@Far.Test  ", true, "Ann Lee", "Ann.Lee@Far.Test"},
        {"", "x_y-z@sub.far.museum", true, "", "x_y-z@sub.far.museum"},
        {"Ann", "", false, "", ""},
        {"Ann", "ann", false, "", ""},
        {"Ann", "ann@far", false, "", ""},
        {"Ann", "ann lee@far.test", false, "", ""},
        {"Ann", "<b>ann</b>@far.test", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        prompts_.clear();
        std::string name = "before", address = "before@far.test";
        bool focused = false;
        const int result = edit(name, address, [&](AddUserForm& form) {
            EXPECT_EQ(form.windowTitle().toStdString(), "New sender");
            EXPECT_EQ(form.findChild<QLineEdit*>("tDisplayName")->text().toStdString(), "before");
            EXPECT_EQ(form.findChild<QLineEdit*>("tEmail")->text().toStdString(), "before@far.test");
            type(form, "tDisplayName", c.name);
            type(form, "tEmail", c.address);
            press(form, "OkButton");
            if (c.accepted) return;
            // Refused: the editor stays open with the address field focused.
            EXPECT_TRUE(form.isVisible());
            focused = form.focusWidget() == form.findChild<QLineEdit*>("tEmail");
            press(form, "CancelButton");
        });
        if (c.accepted) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(name, c.keptName);
            EXPECT_EQ(address, c.keptAddress);
            EXPECT_TRUE(prompts_.empty());
        } else {
            EXPECT_EQ(result, 2);
            EXPECT_EQ(name, "before");
            EXPECT_EQ(address, "before@far.test");
            ASSERT_EQ(prompts_.size(), 1u);
            EXPECT_EQ(prompts_[0].text, "Entered email address is invalid!");
            EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Exclamation);
            EXPECT_TRUE(focused);
        }
    }
}

TEST_F(AddUserFormTest, EveryWayOfClosingButOkIsCancelAndTheEditorStaysForTheRun) {
    const std::vector<std::pair<const char*, std::function<void(AddUserForm&)>>> ways = {
        {"Cancel", [](AddUserForm& f) { press(f, "CancelButton"); }},
        {"Escape", [](AddUserForm& f) { QTest::keyClick(&f, Qt::Key_Escape); }},
        {"close box", [](AddUserForm& f) { f.close(); }},
    };
    QPointer<AddUserForm> first;
    for (const auto& [way, close] : ways) {
        SCOPED_TRACE(way);
        // A result of 1 from an earlier Edit never carries over.
        std::string name = "Ann", address = "ann@far.test";
        ASSERT_EQ(edit(name, address, [](AddUserForm& f) { press(f, "OkButton"); }), 1);
        if (!first) first = seen;
        std::string n2 = "Bob", a2 = "bob@near.test";
        EXPECT_EQ(edit(n2, a2,
                       [&](AddUserForm& f) {
                           type(f, "tEmail", "carl@other.test");
                           close(f);
                       }),
                  2);
        EXPECT_EQ(n2, "Bob");
        EXPECT_EQ(a2, "bob@near.test");
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen, first);  // the same editor, hidden between uses
        EXPECT_FALSE(seen->isVisible());
    }
}

TEST_F(AddUserFormTest, AShutDownClosesTheEditorAsCancelled) {
    std::string name = "Ann", address = "ann@far.test";
    EXPECT_EQ(edit(name, address,
                   [&](AddUserForm& f) {
                       type(f, "tEmail", "carl@other.test");
                       program->RequestShutDown();
                   }),
              2);
    EXPECT_EQ(address, "ann@far.test");
    ASSERT_TRUE(platform::WaitUntil([&] { return program->shutDownDone(); }, 3000));
    EXPECT_EQ(program->Senders(), nullptr);
}

TEST_F(AddUserFormTest, WhileTheProgramClosesTheEditorAnswersAtOnce) {
    Prompt::SetClosing(true);
    std::string name = "Ann", address = "ann@far.test";
    const int result = program->Editors().editSender(name, address, nullptr);
    Prompt::SetClosing(false);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(address, "ann@far.test");
}

TEST_F(AddUserFormTest, AShutDownInsideItsBoxAnswersAsCancelled) {
    answerer_ = [this](const Prompt::Request&) {
        program->RequestShutDown();
        return Prompt::Answer::OK;
    };
    std::string name = "Ann", address = "ann@far.test";
    EXPECT_EQ(edit(name, address,
                   [&](AddUserForm& f) {
                       type(f, "tEmail", "not an address");
                       press(f, "OkButton");
                   }),
              2);
    EXPECT_EQ(address, "ann@far.test");
    ASSERT_EQ(prompts_.size(), 1u);
    ASSERT_TRUE(platform::WaitUntil([&] { return program->shutDownDone(); }, 3000));
}

}  // namespace
