#pragma once
// The whole program on a temporary program folder: one configured account, the
// message boxes answered and recorded, the tray's presence chosen by the test, the
// end of the event loop recorded instead of taken, and (when asked for) a recording
// window in every slot of the EngineSet.

#include <gtest/gtest.h>

#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/CIniFile.h"
#include "core/ProgramFiles.h"
#include "core/Prompt.h"
#include "core/TempFolder.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/TrayPresence.h"
#include "platform/EventWait.h"
#include "platform/TrayIcon.h"
#include "platform/WebPages.h"

namespace testing_support {

inline constexpr const char* kAccount = "me@example.com";

class ProgramTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::InstallEventPump();
        context_ = std::make_unique<QObject>();
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts_.push_back(r);
            return answerer_ ? answerer_(r) : Prompt::DefaultAnswer(r);
        });
        mainwindow::SetTrayAvailable([this] { return trayAvailable_; });
        platform::SetWebPageOpener([](const QUrl&) { return true; });
    }
    void TearDown() override {
        program_.reset();
        // Events a test left pending die with it.
        context_.reset();
        MiscFuncs::RemoveTrayIcon();
        Prompt::SetPrompt(nullptr);
        mainwindow::SetTrayAvailable(nullptr);
        platform::SetWebPageOpener(nullptr);
        TempFolderTest::TearDown();
    }

    // An account in accounts.ini, with its folders unless told otherwise.
    void addAccount(const std::string& account = kAccount, bool withFolders = true) {
        CIniFile accounts(ProgramFiles::AccountsIniPath().string());
        accounts.Value(account, "AccountEnabled", "1");
        if (!withFolders) return;
        for (const char* leaf : {"InBox", "OutBox", "WaitingAuth", "Recycled"})
            std::filesystem::create_directories(dir() / "accounts" / account / "MailDir" / leaf);
    }
    void setValue(const std::string& section, const std::string& key, const std::string& value) {
        CIniFile(ProgramFiles::OptionsIniPath().string()).Value(section, key, value);
    }
    std::string value(const std::string& section, const std::string& key) const {
        return CIniFile(ProgramFiles::OptionsIniPath().string()).Value(section, key);
    }

    // A recording window in every slot: "load:<name>" and "unload:<name>" in events_,
    // and "ran:<name>" once the events pending after its load have run.
    void registerRecordingWindows(mainwindow::GlimmerpostProgram& program) {
        for (std::string_view slot : mainwindow::EngineSet::kUnloadOrder) {
            const std::string name(slot);
            mainwindow::LoadableWindow w;
            w.name = name;
            w.load = [this, name](mainwindow::GlimmerpostProgram& p) {
                events_.push_back("load:" + name);
                QTimer::singleShot(0, context_.get(), [this, name] { events_.push_back("ran:" + name); });
                if (onLoad_) onLoad_(name, p);
            };
            w.unload = [this, name] {
                events_.push_back("unload:" + name);
                if (onUnload_) onUnload_(name);
            };
            ASSERT_TRUE(program.Engines().Register(std::move(w))) << name;
        }
    }

    mainwindow::GlimmerpostProgram& makeProgram(bool recordingWindows = true) {
        program_.reset();
        events_.clear();
        program_ = std::make_unique<mainwindow::GlimmerpostProgram>();
        program_->SetQuit([this](int code) { quitCodes_.push_back(code); });
        program_->SetTrace([this](std::string_view what) { events_.emplace_back(what); });
        if (recordingWindows) registerRecordingWindows(*program_);
        return *program_;
    }

    mainwindow::GlimmerpostProgram::StartResult start(bool recordingWindows = true) {
        auto result = makeProgram(recordingWindows).Start();
        platform::PumpEvents();
        return result;
    }

    // The events of one kind ("load:", "unload:", ...), without the prefix.
    std::vector<std::string> eventsOf(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& e : events_)
            if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
        return out;
    }
    std::filesystem::path marker() const { return dir() / "glpcs.flg"; }

    std::unique_ptr<QObject> context_;
    std::unique_ptr<mainwindow::GlimmerpostProgram> program_;
    std::vector<std::string> events_;
    std::vector<int> quitCodes_;
    std::vector<Prompt::Request> prompts_;
    std::function<Prompt::Answer(const Prompt::Request&)> answerer_;
    std::function<void(const std::string&, mainwindow::GlimmerpostProgram&)> onLoad_;
    std::function<void(const std::string&)> onUnload_;
    bool trayAvailable_ = true;
};

}  // namespace testing_support
