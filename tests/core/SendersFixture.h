#pragma once
// A program folder with one account, an empty message store and a senders.ini the
// test writes, for the sender list tests. The clock is pinned to 2026-12-08 07:52:06.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "MessageStoreFixture.h"
#include "core/AtomicFile.h"
#include "core/CSenders.h"
#include "core/Prompt.h"

namespace testing_support {

inline const std::string kAccount = "me@home.org";

class SendersTest : public MessageStoreTest {
protected:
    void SetUp() override {
        MessageStoreTest::SetUp();
        addAccounts({kAccount});
        std::filesystem::create_directories(ProgramFiles::AccountsFolder());
    }
    void TearDown() override {
        Prompt::SetPrompt(nullptr);
        senders_.reset();
        MessageStoreTest::TearDown();
    }

    static std::filesystem::path sendersIni() { return ProgramFiles::SendersIniPath(); }
    void writeSenders(const std::string& text) { WriteFile(sendersIni(), text); }

    // Loads the sender list (after senders.ini is written) and counts its Change events.
    CSenders& open() {
        senders_ = std::make_unique<CSenders>();
        changes = 0;
        senders_->Change.Subscribe([this] { ++changes; });
        return *senders_;
    }
    CSenders& openAttached() {
        open().AttachMessageStore(store);
        return *senders_;
    }

    // Stores a message file in the account's folder ("WaitingAuth", "InBox", ...) and
    // indexes it.
    void hold(const std::string& file, const std::string& leaf = "WaitingAuth", const std::string& from = "") {
        putMessage(kAccount, leaf, file, from.empty() ? file.substr(0, file.find(' ')) : from, "subject");
        ASSERT_TRUE(store.AddMessage(kAccount, file, "MailDir\\" + leaf)) << file;
    }
    bool stored(const std::string& leaf, const std::string& file) const {
        return std::filesystem::exists(folder(kAccount, leaf) / file) &&
               store.Find(kAccount + "\\MailDir\\" + leaf + "\\" + file) != nullptr;
    }

    static std::vector<std::string> keysOf(const SenderList& list) {
        std::vector<std::string> keys;
        for (const auto& item : list) keys.push_back(item.key);
        return keys;
    }
    static MiscFuncs::FileStamp stampOf(const std::filesystem::path& p) {
        MiscFuncs::FileStamp s;
        MiscFuncs::StampOf(p, s);
        return s;
    }

    CMessages store{CMessages::Start::Empty};
    std::unique_ptr<CSenders> senders_;
    int changes = 0;
};

}  // namespace testing_support
