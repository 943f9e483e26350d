#pragma once
// A main window on a temporary program folder, with the message boxes, the tray's
// presence and the browser replaced, and every hook counted.

#include <gtest/gtest.h>

#include <QApplication>
#include <QUrl>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/CIniFile.h"
#include "core/Prompt.h"
#include "core/TempFolder.h"
#include "mainwindow/GlimmerpostMainForm.h"
#include "mainwindow/TrayPresence.h"
#include "platform/EventWait.h"
#include "platform/TrayIcon.h"
#include "platform/WebPages.h"

namespace testing_support {

class MainFormTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        options_ = std::make_unique<CIniFile>((dir() / "glimmerpost.ini").string());
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts_.push_back(r);
            return answer_;
        });
        mainwindow::SetTrayAvailable([this] { return trayAvailable_; });
        platform::SetWebPageOpener([this](const QUrl& url) {
            opened_.push_back(url.toString().toStdString());
            return true;
        });
    }
    void TearDown() override {
        form_.reset();
        MiscFuncs::RemoveTrayIcon();
        Prompt::SetPrompt(nullptr);
        mainwindow::SetTrayAvailable(nullptr);
        platform::SetWebPageOpener(nullptr);
        TempFolderTest::TearDown();
    }

    mainwindow::MainFormHooks countingHooks() {
        mainwindow::MainFormHooks h;
        h.checkForNewMail = [this] { ++calls_["checkForNewMail"]; };
        h.showOptions = [this](int tab) { optionTabs_.push_back(tab); };
        h.importAddressBook = [this] { ++calls_["importAddressBook"]; };
        h.showAbout = [this] { ++calls_["showAbout"]; };
        h.tellAFriend = [this] { ++calls_["tellAFriend"]; };
        h.sendFeedback = [this] { ++calls_["sendFeedback"]; };
        h.popupTrayMenu = [this](const QPoint&) { ++calls_["popupTrayMenu"]; };
        h.waitingSenders = [this] { return waiting_; };
        h.trayCloseMsgShown = [this] { return options_->Value("display", "TrayCloseMsgShow") == "1"; };
        h.setTrayCloseMsgShown = [this] { options_->Value("display", "TrayCloseMsgShow", "1"); };
        h.shutDown = [this] { ++calls_["shutDown"]; };
        h.quitApplication = [this] { ++calls_["quit"]; };
        return h;
    }

    mainwindow::GlimmerpostMainForm& makeForm(mainwindow::MainFormHooks hooks) {
        mainwindow::MainFormIdentity identity;
        identity.caption = "Glimmerpost 1.0.7";
        identity.productPage = "https://glimmerpost.example/";
        identity.helpPage = "https://glimmerpost.example/help";
        form_ = std::make_unique<mainwindow::GlimmerpostMainForm>(identity, std::move(hooks));
        return *form_;
    }
    mainwindow::GlimmerpostMainForm& makeForm() { return makeForm(countingHooks()); }

    // Shown, started as the program does, with the tray icon.
    mainwindow::GlimmerpostMainForm& startedForm() {
        auto& f = makeForm();
        f.ShowAtStart(false);
        f.MarkLoaded();
        f.AddTrayIcon();
        platform::PumpEvents();
        return f;
    }

    int calls(const std::string& hook) const {
        const auto it = calls_.find(hook);
        return it == calls_.end() ? 0 : it->second;
    }

    std::unique_ptr<CIniFile> options_;
    std::unique_ptr<mainwindow::GlimmerpostMainForm> form_;
    std::vector<Prompt::Request> prompts_;
    Prompt::Answer answer_ = Prompt::Answer::Yes;
    bool trayAvailable_ = true;
    std::vector<std::string> opened_;
    std::map<std::string, int> calls_;
    std::vector<int> optionTabs_;
    int waiting_ = 0;
};

}  // namespace testing_support
