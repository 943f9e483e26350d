#pragma once
// A started program on a temporary data folder with the imports, the about box and
// the forms attached (no engines), the message boxes answered and recorded, the web
// pages recorded instead of opened, and helpers to act inside a modal dialog's loop.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/AtomicFile.h"
#include "core/ProgramFiles.h"
#include "dialogs/AddressBookImportDialog.h"
#include "dialogs/DialogsAttach.h"
#include "dialogs/ImportRun.h"
#include "mainwindow/ProgramTestSupport.h"
#include "platform/BrowserHelpers.h"
#include "platform/WebPages.h"
#include "support/Screenshot.h"

namespace testing_support {

class DialogTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        addAccount();
        platform::SetWebPageOpener([this](const QUrl& url) {
            opened_.push_back(url.toString(QUrl::FullyEncoded).toStdString());
            return openerWorks_;
        });
        BrowserHelpers::SetAssociatedProgramFinder([this](std::string_view) { return browser_; });
    }
    void TearDown() override {
        dialogs::ImportRun::SetStepHook(nullptr);
        dialogs::SetFileChooser(nullptr);
        BrowserHelpers::SetAssociatedProgramFinder(nullptr);
        program_.reset();
        dialogs_.reset();
        ProgramTest::TearDown();
    }

    mainwindow::GlimmerpostProgram& started() {
        auto& program = makeProgram(false);
        dialogs_ = std::make_unique<dialogs::ProgramDialogs>();
        dialogs::AttachImports(*dialogs_, program);
        dialogs::AttachAboutAndForms(*dialogs_, program);
        EXPECT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        platform::PumpEvents();
        return program;
    }

    static std::filesystem::path sendersIni() { return ProgramFiles::SendersIniPath(); }
    static void writeSenders(const std::string& text) { WriteFile(sendersIni(), text); }
    std::string file(const std::string& name, const std::string& bytes) {
        WriteFile(dir() / name, bytes);
        return (dir() / name).string();
    }

    std::vector<std::string> promptTexts() const {
        std::vector<std::string> texts;
        for (const auto& r : prompts_) texts.push_back(r.text);
        return texts;
    }
    std::string lastPrompt() const { return prompts_.empty() ? std::string() : prompts_.back().text; }
    std::string lastCaption() const { return prompts_.empty() ? std::string() : prompts_.back().caption; }

    // Runs act on the first modal window of type T once it is up (inside its exec).
    // The returned timer watches until then; delete it to stop watching.
    template <typename T>
    QTimer* whenModal(std::function<void(T&)> act) {
        auto* timer = new QTimer(context_.get());
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
            if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                act(*modal);
            }
        });
        timer->start();
        return timer;
    }

    static bool screenshot(QWidget& w, const char* name) {
        w.adjustSize();
        w.show();
        platform::PumpEvents();
        return testing_support::SaveScreenshot(w, name);
    }

    std::unique_ptr<dialogs::ProgramDialogs> dialogs_;
    std::vector<std::string> opened_;
    bool openerWorks_ = true;
    std::string browser_ = "/usr/bin/firefox-esr";
};

}  // namespace testing_support
