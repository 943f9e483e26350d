#pragma once
// A program folder with accounts and stored InBox messages for the local POP3 server
// tests, and a transcript reader for its sessions. The server runs in the test's own
// thread; clients run through RunPython (support/Peers.h), which keeps events running.

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/MessageKey.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"
#include "core/Prompt.h"
#include "core/TempFolder.h"
#include "engines/POP3ServerForm.h"
#include "protocol/Pop3ServerSession.h"
#include "platform/EventWait.h"
#include "support/Peers.h"

namespace pop3test {

class Pop3ServerTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        messages = std::make_unique<CMessages>(CMessages::Start::Empty);
    }
    void TearDown() override {
        messages.reset();
        TempFolderTest::TearDown();
    }

    void addAccount(const std::string& account, const std::string& password) {
        CIniFile ini(ProgramFiles::AccountsIniPath().string());
        ini.Value(account, "POP3Password", MiscFuncs::ScrambleText(password));
    }
    void setOption(const std::string& key, const std::string& value) {
        CIniFile ini(ProgramFiles::OptionsIniPath().string());
        ini.Value("options", key, value);
    }
    std::filesystem::path inbox(const std::string& account) const {
        return dir() / "accounts" / account / "MailDir" / "InBox";
    }
    // Stores a message file as the collector does (wire form) and indexes it; the key.
    std::string store(const std::string& account, const std::string& name, std::string_view bytes) {
        testing_support::WriteFile(inbox(account) / name, bytes);
        EXPECT_TRUE(messages->AddMessage(account, name, MessageKeys::kInBox)) << name;
        return MessageKeys::MakeKey(account, MessageKeys::kInBox, name);
    }
    bool stored(const std::string& account, const std::string& name) const {
        return std::filesystem::exists(inbox(account) / name);
    }

    std::unique_ptr<CMessages> messages;
};

// A POP3ServerForm listening on a free port, with the account kAccount (password
// "secret"); started holds the slots of its sessions in the order they started.
// TearDown drops a test clock (platform::SetMonotonicClock) and a test prompt.
class Pop3FormTestBase : public Pop3ServerTest {
protected:
    static constexpr char kAccount[] = "alice@example.test";

    void SetUp() override {
        Pop3ServerTest::SetUp();
        addAccount(kAccount, "secret");
        form = std::make_unique<POP3ServerForm>(*messages);
        form->hooks.SessionStarted = [this](int slot) { started.push_back(slot); };
        port = testing_support::ListenOnFreePort([&](quint16 free) { return form->Form_Load(std::to_string(free)); });
        ASSERT_NE(port, 0);
    }
    void TearDown() override {
        form.reset();
        platform::SetMonotonicClock(nullptr);
        Prompt::SetPrompt(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Pop3ServerTest::TearDown();
    }

    std::unique_ptr<POP3ServerForm> form;
    quint16 port = 0;
    std::vector<int> started;
};

// A message in wire form: CR LF line ends.
inline std::string Mail(const std::string& subject, const std::string& body) {
    return "From: a@example.test\r\nTo: b@example.test\r\nSubject: " + subject + "\r\n\r\n" + body;
}

// A session read as a transcript: each send returns everything the server answered,
// multi-line answers produced to their end.
class Transcript {
public:
    explicit Transcript(CMessages& messages, std::string remote = "127.0.0.1")
        : session(messages, 1) {
        session.Open(remote, "127.0.0.1");
        greeting = drain();
    }
    std::string send(std::string_view bytes) {
        session.Receive(bytes);
        return drain();
    }
    std::string drain() {
        std::string out = session.TakeOutput();
        while (session.Sending()) {
            session.ContinueSending();
            out += session.TakeOutput();
        }
        return out;
    }
    std::string login(const std::string& user, const std::string& password) {
        return send("USER " + user + "\r\nPASS " + password + "\r\n");
    }

    Pop3ServerSession session;
    std::string greeting;
};

}  // namespace pop3test
