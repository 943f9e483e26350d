// The clean-up tool over a data folder with saved mail-client accounts, on a registry
// stand-in of the test's own.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "clear_tool/ClearTool.h"
#include "core/MailClientFiles.h"
#include "core/MailClients.h"
#include "core/Prompt.h"
#include "core/MailClientsFixture.h"
#include "platform/SingleInstance.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const std::string kSuccess = "Glimmerpost has restored Registry settings\r\nYou can uninstall Glimmerpost now";

class ClearToolTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        data_ = dir() / "data";
        fs::create_directories(data_);
        MiscFuncs::SetProgramFolder(data_);
        ASSERT_TRUE(SeedRegistry(dir(), MailClientsFixture("pop.example.com", 110, "smtp.example.com", 25)));
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts_.push_back(r);
            return r.buttons == Prompt::Buttons::YesNo ? answer_ : Prompt::Answer::OK;
        });
    }
    void TearDown() override {
        Prompt::SetPrompt(nullptr);
        Registry::SetRegistryFile({});
        TempFolderTest::TearDown();
    }
    // Saves and rewrites the account as the setup wizard does; returns its number.
    int takeOver(const std::string& key, std::int16_t kind) {
        int n = -1;
        std::string error;
        EXPECT_TRUE(UndoFiles::SaveAccountKey(data_, key, n, error)) << error;
        MailAccount a;
        a.EMailAddress = "x@example.com";
        a.ClientKeyPath = key;
        a.ClientKind = kind;
        EXPECT_TRUE(MailClients::RewriteAccount(a, 3110, 3025));
        return n;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& p : prompts_) out.push_back(p.text);
        return out;
    }
    bool noRegFiles() const {
        for (const auto& e : fs::directory_iterator(data_))
            if (e.path().extension() == ".reg") return false;
        return true;
    }

    fs::path data_;
    std::vector<Prompt::Request> prompts_;
    Prompt::Answer answer_ = Prompt::Answer::Yes;
};

TEST_F(ClearToolTest, RestoresEveryAccountKeyAsSavedAndRemovesTheFiles) {
    const std::vector<std::string> keys = {kAliceKey, kBobKey, kDaveKey};
    std::vector<std::string> before;
    for (const std::string& k : keys) before.push_back(Registry::Store().ExportText(k));
    // Numbers beyond 10 are handled too: taken files push the pairs to 11, 12 and 13.
    for (int n = 0; n < 11; ++n) WriteFile(UndoFiles::ExportFile(data_, n), "");
    takeOver(kAliceKey, 1);
    takeOver(kBobKey, 1);
    EXPECT_EQ(takeOver(kDaveKey, 2), 13);
    for (int n = 0; n < 11; ++n) fs::remove(UndoFiles::ExportFile(data_, n));
    ASSERT_EQ(UndoFiles::PairNumbers(data_), (std::vector<int>{13, 12, 11}));

    EXPECT_EQ(modClear::Main(data_), modClear::kRestored);
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(Registry::Store().ExportText(keys[i]), before[i]);
    EXPECT_TRUE(noRegFiles());
    ASSERT_EQ(prompts_.size(), 2u);
    EXPECT_EQ(prompts_[0].text, "Caution!\r\nYou should run this only if you plan to uninstall Glimmerpost.\r\nProceed?");
    EXPECT_EQ(prompts_[0].defaultButton, 2);
    EXPECT_EQ(prompts_[1].text, kSuccess);
}

// ClearGLP started with another registry stand-in than the one the wizard changed
// (sudo, another session, a moved file) restores nothing, says so and keeps the files.
TEST_F(ClearToolTest, ARegistryOtherThanTheOneTheWizardChangedIsNotRestoredInto) {
    const fs::path changed = Registry::RegistryFile();
    struct Env {
        const char* name;
        const char* value;  // nullptr: unset
    };
    struct Case {
        const char* name;
        std::vector<Env> env;  // the stand-in follows the environment
        bool moveFile;
        fs::path inUse;  // the stand-in ClearGLP then looks at
    };
    const std::vector<Case> cases = {
        {"GLIMMERPOST_REGISTRY of another user", {{"GLIMMERPOST_REGISTRY", "@/sudo/registry.reg"}}, false,
         dir() / "sudo" / "registry.reg"},
        {"HOME of another user",
         {{"GLIMMERPOST_REGISTRY", nullptr}, {"XDG_CONFIG_HOME", nullptr}, {"HOME", "@/root"}}, false,
         dir() / "root" / ".config" / "glimmerpost" / "registry.reg"},
        {"XDG_CONFIG_HOME of another session", {{"GLIMMERPOST_REGISTRY", nullptr}, {"XDG_CONFIG_HOME", "@/xdg"}},
         false, dir() / "xdg" / "glimmerpost" / "registry.reg"},
        {"the registry file was moved", {}, true, changed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts_.clear();
        Registry::SetRegistryFile(changed);
        const int n = takeOver(kAliceKey, 1);
        const std::string rewritten = Registry::Store().ExportText(kAliceKey);
        std::vector<std::pair<std::string, std::optional<std::string>>> saved;
        for (const Env& e : c.env) {
            const char* old = std::getenv(e.name);
            saved.emplace_back(e.name, old ? std::optional<std::string>(old) : std::nullopt);
            if (e.value) ::setenv(e.name, (dir().string() + (e.value + 1)).c_str(), 1);
            else ::unsetenv(e.name);
        }
        if (c.moveFile) fs::rename(changed, dir() / "moved.reg");
        Registry::SetRegistryFile(c.env.empty() ? changed : fs::path());
        ASSERT_EQ(Registry::RegistryFile(), c.inUse);

        EXPECT_EQ(modClear::Main(data_), modClear::kIncomplete);
        EXPECT_FALSE(fs::exists(c.inUse)) << "restored into a new file";
        EXPECT_TRUE(fs::exists(UndoFiles::UndoFile(data_, n)));
        EXPECT_TRUE(fs::exists(UndoFiles::ExportFile(data_, n)));
        ASSERT_FALSE(prompts_.empty());
        EXPECT_EQ(prompts_.back().text.find("You can uninstall"), std::string::npos) << prompts_.back().text;
        EXPECT_NE(prompts_.back().text.find(UndoFiles::UndoFile(data_, n).filename().string()), std::string::npos);

        for (const auto& [name, value] : saved) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
        if (c.moveFile) fs::rename(dir() / "moved.reg", changed);
        Registry::SetRegistryFile(changed);
        // The settings the mail program reads still point at the local servers, and a
        // run with the right stand-in restores them.
        EXPECT_EQ(Registry::Store().ExportText(kAliceKey), rewritten);
        prompts_.clear();
        EXPECT_EQ(modClear::Main(data_), modClear::kRestored);
        EXPECT_EQ(prompts_.back().text, kSuccess);
    }
}

TEST_F(ClearToolTest, NoFilesAsksThenShowsOnlyTheLastBox) {
    EXPECT_EQ(modClear::Main(data_), modClear::kRestored);
    EXPECT_EQ(texts().size(), 2u);
    EXPECT_EQ(texts().back(), kSuccess);
}

TEST_F(ClearToolTest, NoChangesNothing) {
    takeOver(kAliceKey, 1);
    const std::string registry = Registry::Store().Text();
    answer_ = Prompt::Answer::No;
    EXPECT_EQ(modClear::Main(data_), modClear::kDeclined);
    EXPECT_EQ(Registry::Store().Text(), registry);
    EXPECT_EQ(UndoFiles::PairNumbers(data_), std::vector<int>{0});
    EXPECT_EQ(prompts_.size(), 1u);
}

TEST_F(ClearToolTest, AFailedPairKeepsItsFilesAndIsNamedInTheLastBox) {
    const std::string bobBefore = Registry::Store().ExportText(kBobKey);
    const int alice = takeOver(kAliceKey, 1);
    const int bob = takeOver(kBobKey, 1);
    const int dave = takeOver(kDaveKey, 2);
    const std::string aliceRewritten = Registry::Store().ExportText(kAliceKey);
    WriteFile(UndoFiles::ExportFile(data_, alice), "REGEDIT4\r\n\r\n[broken\r\n");
    fs::remove(UndoFiles::ExportFile(data_, dave));
    WriteFile(UndoFiles::ExportFile(data_, 40), "lonely");

    EXPECT_EQ(modClear::Main(data_), modClear::kIncomplete);
    EXPECT_EQ(Registry::Store().ExportText(kBobKey), bobBefore);
    EXPECT_FALSE(fs::exists(UndoFiles::UndoFile(data_, bob)));
    EXPECT_EQ(Registry::Store().ExportText(kAliceKey), aliceRewritten);
    EXPECT_TRUE(fs::exists(UndoFiles::UndoFile(data_, alice)));
    EXPECT_TRUE(fs::exists(UndoFiles::ExportFile(data_, alice)));
    EXPECT_TRUE(fs::exists(UndoFiles::UndoFile(data_, dave)));
    EXPECT_TRUE(fs::exists(UndoFiles::ExportFile(data_, 40)));
    const Prompt::Request& last = prompts_.back();
    EXPECT_EQ(last.kind, Prompt::Kind::Critical);
    EXPECT_EQ(last.text.find("You can uninstall"), std::string::npos);
    for (const std::string& name : {UndoFiles::ExportFile(data_, alice).string(),
                                    UndoFiles::ExportFile(data_, dave).string(), std::string("Account40.reg")})
        EXPECT_NE(last.text.find(name), std::string::npos) << name << "\n" << last.text;
}

TEST_F(ClearToolTest, AFileThatCannotBeDeletedIsReportedAndStays) {
    const int n = takeOver(kAliceKey, 1);
    ASSERT_TRUE(makeReadOnly(data_));
    EXPECT_EQ(modClear::Main(data_), modClear::kIncomplete);
    const std::string expected = "Failed to delete file " + UndoFiles::UndoFile(data_, n).string();
    EXPECT_NE(std::find(texts().begin(), texts().end(), expected), texts().end());
    EXPECT_TRUE(fs::exists(UndoFiles::UndoFile(data_, n)));
    EXPECT_NE(prompts_.back().text.find(expected), std::string::npos);
}

TEST_F(ClearToolTest, RefusesWhileGlimmerpostRunsOnTheFolder) {
    takeOver(kAliceKey, 1);
    const std::string registry = Registry::Store().Text();
    const int fd = ::open((data_ / platform::SingleInstance::kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(modClear::Main(data_), modClear::kRefused);
    ::close(fd);
    EXPECT_EQ(Registry::Store().Text(), registry);
    EXPECT_EQ(UndoFiles::PairNumbers(data_), std::vector<int>{0});
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_NE(prompts_[0].text.find("Glimmerpost is running"), std::string::npos);
}

TEST_F(ClearToolTest, RefusesAMissingDataFolderWithoutCreatingIt) {
    const fs::path missing = dir() / "nowhere";
    EXPECT_EQ(modClear::Main(missing), modClear::kRefused);
    EXPECT_FALSE(fs::exists(missing));
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_NE(prompts_[0].text.find("does not exist"), std::string::npos);
}

}  // namespace
