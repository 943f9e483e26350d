#pragma once
// A program folder with accounts and stored message files, for the message index
// and header cache tests. Dates come from the Date header (UseMessageDate=1), so
// entries do not depend on file times.

#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/ProgramFiles.h"

namespace testing_support {

class MessageStoreTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        MiscFuncs::SetLogLevel(4);
        setOption("UseMessageDate", "1");
    }

    void setOption(const std::string& key, const std::string& value) {
        CIniFile ini(ProgramFiles::OptionsIniPath().string());
        ini.Value("options", key, value);
    }
    void addAccounts(const std::vector<std::string>& accounts) {
        CIniFile ini(ProgramFiles::AccountsIniPath().string());
        for (const std::string& a : accounts) ini.Value(a, "AccountEnabled", "1");
    }
    std::filesystem::path folder(const std::string& account, const std::string& leaf) const {
        return dir() / "accounts" / account / "MailDir" / leaf;
    }
    std::filesystem::path cacheFile(const std::string& account) const {
        return dir() / "accounts" / account / "MailDir" / "msgcache.txt";
    }
    // Stores a message file; returns its name.
    std::string putMessage(const std::string& account, const std::string& leaf, const std::string& name,
                           const std::string& from, const std::string& subject,
                           const std::string& date = "Tue, 10 Dec 2002 13:45:12 +0100") {
        WriteFile(folder(account, leaf) / name,
                  "From: " + from + "\r\nSubject: " + subject + "\r\nDate: " + date + "\r\n\r\nbody\r\n");
        return name;
    }
    void markRunning() { WriteFile(dir() / "glpcs.flg", "46000.5"); }

    static std::vector<std::string> keysOf(const CMessages& m) {
        std::vector<std::string> keys;
        for (const auto& item : m.MessageIndex()) keys.emplace_back(item.Key());
        return keys;
    }
};

}  // namespace testing_support
