#pragma once
// A program folder with accounts and the four program-wide lists, for the filter, the
// registration replies and the collector. The message store starts empty and never
// touches the header caches; the sender list is attached to it.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CDomains.h"
#include "core/CIniFile.h"
#include "core/CMailRules.h"
#include "core/CMessage.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/ProgramFiles.h"
#include "core/Prompt.h"
#include "core/Scramble.h"
#include "core/TempFolder.h"
#include "engines/POP3CollectorForm.h"

namespace testing_support {

inline const std::string kMe = "me@home.test";

struct QueuedMail {
    MessageType type = MessageType::Test;
    std::string account, recipient, subject;
};

class CollectorTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        MiscFuncs::SetLogLevel(3);
        std::filesystem::create_directories(ProgramFiles::AccountsFolder());
        Prompt::SetPrompt([this](const Prompt::Request&) {
            ++prompts;
            return Prompt::Answer::OK;
        });
    }
    void TearDown() override {
        form.reset();
        if (senders) senders->DetachMessageStore();
        rules.reset();
        senders.reset();
        store.reset();
        domains.reset();
        Prompt::SetPrompt(nullptr);
        TempFolderTest::TearDown();
    }

    static void setOption(const std::string& key, const std::string& value) {
        CIniFile(ProgramFiles::OptionsIniPath().string()).Value("options", key, value);
    }
    static void setAccountKey(const std::string& account, const std::string& key, const std::string& value) {
        CIniFile(ProgramFiles::AccountsIniPath().string()).Value(account, key, value);
    }
    static void addAccount(const std::string& account, int port = 110, const std::string& user = "alice",
                           const std::string& password = "secret", int interval = 10) {
        CIniFile ini(ProgramFiles::AccountsIniPath().string());
        CIniFile::Batch batch(ini);
        ini.Value(account, "POP3CollectorInterval", interval);
        ini.Value(account, "POP3Server", "127.0.0.1");
        ini.Value(account, "POP3UserName", user);
        ini.Value(account, "POP3Password", MiscFuncs::ScrambleText(password));
        ini.Value(account, "POP3ServerPort", port);
        ini.Value(account, "AccountEnabled", "1");
        batch.Commit();
    }
    static void addAlias(const std::string& alias) {
        CIniFile(ProgramFiles::AliasesIniPath().string()).Value("Aliases", alias, "1");
    }

    // Creates the lists (after the settings files are written).
    void openLists() {
        domains = std::make_unique<CDomains>();
        store = std::make_unique<CMessages>(CMessages::Start::Empty);
        senders = std::make_unique<CSenders>();
        senders->AttachMessageStore(*store);
        rules = std::make_unique<CMailRules>();
    }
    POP3CollectorForm::Lists lists() { return {*domains, *senders, *store, *rules}; }

    POP3CollectorForm::Hooks recordingHooks() {
        POP3CollectorForm::Hooks hooks;
        hooks.sessionStarted = [this] { ++started; };
        hooks.sessionEnded = [this](std::int32_t n) { ended.push_back(n); };
        hooks.addNewMessage = [this](MessageType type, std::string_view account, std::string_view recipient,
                                     std::string_view subject) {
            queued.push_back({type, std::string(account), std::string(recipient), std::string(subject)});
            return true;
        };
        return hooks;
    }
    POP3CollectorForm& makeForm() {
        form = std::make_unique<POP3CollectorForm>(lists(), recordingHooks());
        return *form;
    }

    static CMessage message(const std::string& headers, const std::string& body = "") {
        CMessage m;
        m.CreateFromText(headers + "\r\n\r\n" + body);
        return m;
    }
    static std::filesystem::path folder(const std::string& account, const std::string& leaf) {
        return ProgramFiles::AccountsFolder() / account / "MailDir" / leaf;
    }
    static std::vector<std::string> filesIn(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string messageLog() const { return ReadFile(dir() / MiscFuncs::kMessageLogName); }

    std::unique_ptr<CDomains> domains;
    std::unique_ptr<CMessages> store;
    std::unique_ptr<CSenders> senders;
    std::unique_ptr<CMailRules> rules;
    std::unique_ptr<POP3CollectorForm> form;
    std::vector<QueuedMail> queued;
    std::vector<std::int32_t> ended;
    int started = 0;
    int prompts = 0;
};

}  // namespace testing_support
