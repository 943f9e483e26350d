#pragma once
// A registry stand-in of the test's own, seeded from tests/data/mailclients/fixture.reg.in:
// two Outlook Express accounts (alice, bob), a news account, alice again in an
// identity in other letter case, and an Outlook messaging-profile account (dave) with
// UTF-16LE texts. The servers and ports are filled in by the test.

#include <cstdio>
#include <string>
#include <vector>

#include "core/Prompt.h"
#include "core/Registry.h"
#include "core/RegistryStore.h"
#include "core/TempFolder.h"

namespace testing_support {

inline const std::string kOeKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts";
inline const std::string kAliceKey = kOeKey + "\\00000001";
inline const std::string kBobKey = kOeKey + "\\00000003";
inline const std::string kDaveKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles\\Outlook\\9375CFF0413111d3B88A00104B2A6676\\00000002";

inline std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

inline std::string DwordText(int n) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(n));
    return buf;
}

inline std::string MailClientsFixture(const std::string& pop3Host, int pop3Port, const std::string& smtpHost,
                                      int smtpPort) {
    std::string text = ReadFile(std::filesystem::path(GLP_TEST_DATA_DIR) / "mailclients" / "fixture.reg.in");
    text = Replace(text, "@POP3HOST@", pop3Host);
    text = Replace(text, "@SMTPHOST@", smtpHost);
    text = Replace(text, "@POP3PORT@", DwordText(pop3Port));
    return Replace(text, "@SMTPPORT@", DwordText(smtpPort));
}

// Points the registry at a file in the folder and seeds it.
inline bool SeedRegistry(const std::filesystem::path& folder, const std::string& text) {
    Registry::SetRegistryFile(folder / "registry.reg");
    return Registry::Store().ImportText(text);
}

// A test folder whose registry stand-in is let go at the end, with every question
// recorded and answered with answer_.
class RegistryPromptTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts_.push_back(r);
            return answer_;
        });
    }
    void TearDown() override {
        Prompt::SetPrompt(nullptr);
        Registry::SetRegistryFile({});
        TempFolderTest::TearDown();
    }

    std::vector<Prompt::Request> prompts_;
    Prompt::Answer answer_ = Prompt::Answer::No;
};

}  // namespace testing_support
