#include "core/Registry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "MailClientsFixture.h"
#include "TempFolder.h"
#include "core/Prompt.h"
#include "core/RegistryStore.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Glimmer Test";

// A file in the editor's own form: every value kind, both escapes, the default value,
// wrapped binary lines and sub-keys under two roots.
const std::string kFixture =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Glimmer Test]\r\n"
    "@=\"default text\"\r\n"
    "\"Plain\"=\"C:\\\\Mail\\\\\\\"quoted\\\" end\"\r\n"
    "\"Empty\"=\"\"\r\n"
    "\"Port\"=dword:00000c26\r\n"
    "\"Short\"=hex:01,02,ff\r\n"
    "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
    "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b\r\n"
    "\"Bin\"=hex:ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,\\\r\n"
    "  ff,ff,ff,ff,ff,ff,ff\r\n"
    "\"Expand\"=hex(2):25,54,4d,50,25,00\r\n"
    "\"Unterminated\"=hex(1):61,62\r\n"
    "\"Nothing\"=hex(0):\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Glimmer Test\\Accounts]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Glimmer Test\\Accounts\\00000001]\r\n"
    "\"POP3 Server\"=\"pop.example.com\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Run]\r\n"
    "\"Glimmerpost\"=\"/opt/glimmerpost/Glimmerpost.exe\"\r\n"
    "\r\n";

std::string afterHeader(const std::string& text) { return text.substr(std::string("REGEDIT4\r\n\r\n").size()); }

class RegistryTest : public testing_support::RegistryPromptTest {
protected:
    void SetUp() override {
        RegistryPromptTest::SetUp();
        answer_ = Prompt::Answer::OK;
        file_ = dir() / "config" / "registry.reg";
        Registry::SetRegistryFile(file_);
    }
    void loadFixture() {
        WriteFile(dir() / "in.reg", kFixture);
        ASSERT_TRUE(Registry::ImportRegistryFile(dir() / "in.reg"));
    }

    fs::path file_;
};

TEST_F(RegistryTest, ImportThenExportReproducesTheFileByteForByte) {
    loadFixture();
    EXPECT_EQ(ReadFile(file_), kFixture);
    ASSERT_TRUE(Registry::ExportRegistryFile(dir() / "Account0.reg", kKey));
    const std::string hkcuPart = kFixture.substr(0, kFixture.find("[HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(ReadFile(dir() / "Account0.reg"), hkcuPart);

    // Importing the export into another registry gives the same export again.
    RegistryStore other(dir() / "other.reg");
    ASSERT_TRUE(other.ImportFile(dir() / "Account0.reg"));
    EXPECT_EQ(other.ExportText("hkey_current_user\\SOFTWARE\\glimmer test"), hkcuPart);
}

TEST_F(RegistryTest, ListingGivesTypedItems) {
    loadFixture();
    const Registry::RegistryValues values = Registry::EnumRegistryValues(kKey);
    ASSERT_EQ(values.Count(), 10u);
    EXPECT_EQ(values.begin()->name, "");
    EXPECT_EQ(values.Find("")->text, "default text");
    EXPECT_EQ(values.Find("plain")->text, "C:\\Mail\\\"quoted\" end");
    EXPECT_EQ(values.Find("Empty")->text, "");
    EXPECT_EQ(values.Find("Port")->type, RegFile::kRegDword);
    EXPECT_EQ(values.Find("Port")->number, 3110u);
    EXPECT_EQ(values.Find("Short")->text, std::string("\x01\x02\xff", 3));
    EXPECT_EQ(values.Find("Long")->text.size(), 60u);
    EXPECT_EQ(values.Find("Long")->text.back(), '\x3b');
    EXPECT_EQ(values.Find("Expand")->text, "%TMP%");
    EXPECT_EQ(values.Find("Unterminated")->text, "ab");
    EXPECT_EQ(values.Find("Missing"), nullptr);
    EXPECT_EQ(Registry::EnumRegistryKeys(kKey), std::vector<std::string>{"Accounts"});
}

TEST_F(RegistryTest, ImportAppliesKeyAndValueDeletions) {
    loadFixture();
    WriteFile(dir() / "undo.reg",
              "REGEDIT4\r\n\r\n"
              "[-HKEY_CURRENT_USER\\Software\\Glimmer Test\\Accounts]\r\n"
              "\"Ignored\"=hex:01,\\\r\n  02\r\n"
              "[HKEY_CURRENT_USER\\Software\\Glimmer Test]\r\n"
              "\"Long\"=-\r\n\"BIN\"=-\r\n\"Not There\"=-\r\n@=-\r\n"
              "[-HKEY_LOCAL_MACHINE\\Software\\Run]\r\n"
              "[-HKEY_USERS\\Never\\Existed]\r\n");
    ASSERT_TRUE(Registry::ImportRegistryFile(dir() / "undo.reg"));
    EXPECT_EQ(afterHeader(ReadFile(file_)),
              "[HKEY_CURRENT_USER\\Software\\Glimmer Test]\r\n"
              "\"Plain\"=\"C:\\\\Mail\\\\\\\"quoted\\\" end\"\r\n"
              "\"Empty\"=\"\"\r\n"
              "\"Port\"=dword:00000c26\r\n"
              "\"Short\"=hex:01,02,ff\r\n"
              "\"Expand\"=hex(2):25,54,4d,50,25,00\r\n"
              "\"Unterminated\"=hex(1):61,62\r\n"
              "\"Nothing\"=hex(0):\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\Software]\r\n"
              "\r\n");
}

TEST_F(RegistryTest, MalformedImportChangesNothing) {
    loadFixture();
    const std::string before = ReadFile(file_);
    const char* bad[] = {
        "",                                                          // no header
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\a]\r\n",
        "REGEDIT4\r\n\"v\"=\"before any key\"\r\n",
        "REGEDIT4\r\n[HKEY_NOWHERE\\a]\r\n",
        "REGEDIT4\r\n[HKEY_USERS\\a\\\\b]\r\n",                     // empty key name
        "REGEDIT4\r\n[HKEY_USERS\\a\r\n",                            // no closing bracket
        "REGEDIT4\r\n[HKEY_USERS\\a]\r\n\"v\"=\"open\r\n",
        "REGEDIT4\r\n[HKEY_USERS\\a]\r\n\"v\"=dword:123456789\r\n",
        "REGEDIT4\r\n[HKEY_USERS\\a]\r\n\"v\"=hex:1,2,xyz\r\n",
        "REGEDIT4\r\n[HKEY_USERS\\a]\r\n\"v\"=hex:01,\\\r\n",         // ends inside the value
        "REGEDIT4\r\n[HKEY_USERS\\a]\r\n\"v\"=word:1\r\n",
        "REGEDIT4\r\n[HKEY_USERS\\ok]\r\n\"v\"=\"fine\"\r\n[HKEY_USERS\\a]\r\nv=1\r\n",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(Registry::Store().ImportText(text)) << text;
        EXPECT_EQ(ReadFile(file_), before) << text;
    }
    EXPECT_FALSE(Registry::Store().KeyExists("HKEY_USERS\\ok"));
}

TEST_F(RegistryTest, OpeningAMissingKeyFailsAndCreatesNothing) {
    EXPECT_FALSE(Registry::SetStringValue("HKEY_CURRENT_USER\\Software\\Missing", "a", "b"));
    EXPECT_FALSE(Registry::SetDwordValue("HKEY_CURRENT_USER\\Software\\Missing", "a", 1));
    EXPECT_TRUE(Registry::EnumRegistryKeys("HKEY_CURRENT_USER\\Software\\Missing").empty());
    EXPECT_TRUE(Registry::EnumRegistryValues("HKEY_CURRENT_USER\\Software\\Missing").Empty());
    EXPECT_FALSE(fs::exists(file_.parent_path()));

    loadFixture();
    const std::string before = ReadFile(file_);
    const auto stamp = fs::last_write_time(file_);
    EXPECT_FALSE(Registry::SetBinaryValue(std::string(kKey) + "\\Nope", "x", "y"));
    EXPECT_FALSE(Registry::DeleteValue(std::string(kKey) + "\\Nope", "Port"));
    EXPECT_FALSE(Registry::DeleteValue(kKey, "No such value"));
    EXPECT_FALSE(Registry::Store().KeyExists(std::string(kKey) + "\\Nope"));
    EXPECT_EQ(ReadFile(file_), before);
    EXPECT_EQ(fs::last_write_time(file_), stamp);
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(RegistryTest, WrittenValuesReadBackWhole) {
    ASSERT_TRUE(Registry::Store().CreateKey(kKey));
    const std::string big(10000, '\xa5');  // beyond a 4096-byte first request
    const std::string utf16 = std::string("l\0o\0c\0a\0l\0h\0o\0s\0t\0\0\0", 20);
    EXPECT_TRUE(Registry::SetStringValue(kKey, "POP3 Server", "localhost"));
    EXPECT_TRUE(Registry::SetStringValue(kKey, "", "x"));
    EXPECT_TRUE(Registry::SetDwordValue(kKey, "POP3 Port", 0xfffffffeu));
    EXPECT_TRUE(Registry::SetBinaryValue(kKey, "Big", big));
    EXPECT_TRUE(Registry::SetBinaryValue(kKey, "SMTP Server", utf16));
    const Registry::RegistryValues v = Registry::EnumRegistryValues(kKey);
    EXPECT_EQ(v.Find("pop3 server")->text, "localhost");
    EXPECT_EQ(v.Find("")->text, "x");
    EXPECT_EQ(v.Find("POP3 Port")->number, 0xfffffffeu);
    EXPECT_EQ(v.Find("Big")->text, big);
    EXPECT_EQ(v.Find("SMTP Server")->text, utf16);
    EXPECT_NE(ReadFile(file_).find("\"POP3 Server\"=\"localhost\"\r\n"), std::string::npos);
}

TEST_F(RegistryTest, NamesMatchIgnoringCaseAndKeepTheirCase) {
    loadFixture();
    EXPECT_TRUE(Registry::SetDwordValue("HKEY_CURRENT_USER\\SOFTWARE\\glimmer TEST", "port", 25));
    EXPECT_TRUE(Registry::Store().CreateKey("HKEY_CURRENT_USER\\software\\GLIMMER test\\accounts\\New"));
    const std::string text = ReadFile(file_);
    EXPECT_NE(text.find("\"Port\"=dword:00000019\r\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Glimmer Test\\Accounts\\New]\r\n"), std::string::npos);
    EXPECT_EQ(Registry::EnumRegistryKeys(std::string(kKey) + "\\Accounts"),
              (std::vector<std::string>{"00000001", "New"}));
}

TEST_F(RegistryTest, RootNamesAreExactAndARootListsItsOwnSubKeys) {
    loadFixture();
    const std::string before = ReadFile(file_);
    EXPECT_FALSE(Registry::SetStringValue("hkey_current_user\\Software\\Glimmer Test", "a", "b"));
    EXPECT_TRUE(Registry::EnumRegistryKeys("hkey_current_user\\Software").empty());
    EXPECT_TRUE(Registry::EnumRegistryKeys("HKEY_NOT_A_ROOT").empty());
    EXPECT_EQ(ReadFile(file_), before);
    EXPECT_TRUE(prompts_.empty());
    EXPECT_EQ(Registry::EnumRegistryKeys("HKEY_CURRENT_USER"), std::vector<std::string>{"Software"});
    EXPECT_EQ(Registry::RootKeyFromName("HKEY_DYN_DATA"), 0x80000006u);
    EXPECT_EQ(Registry::RootKeyFromName("HKEY_Current_User"), 0u);
}

TEST_F(RegistryTest, MalformedPathShowsTheBoxAndWritesNothing) {
    loadFixture();
    const std::string before = ReadFile(file_);
    for (Prompt::Answer a : {Prompt::Answer::OK, Prompt::Answer::Cancel}) {
        answer_ = a;
        prompts_.clear();
        EXPECT_FALSE(Registry::SetStringValue("HKEY_CURRENT_USER\\Software\\Glimmer Test\\", "Port", "1"));
        ASSERT_EQ(prompts_.size(), 1u);
        EXPECT_EQ(prompts_[0].text, "Incorrect Format:\n\nHKEY_CURRENT_USER\\Software\\Glimmer Test\\");
        EXPECT_EQ(prompts_[0].buttons, Prompt::Buttons::OK);
        EXPECT_EQ(ReadFile(file_), before);
    }
    prompts_.clear();
    EXPECT_TRUE(Registry::EnumRegistryKeys("Software\\Glimmer Test").empty());
    EXPECT_TRUE(Registry::EnumRegistryValues("").Empty());
    ASSERT_EQ(prompts_.size(), 2u);
    EXPECT_EQ(prompts_[1].text, "Incorrect Format:\n\n");
}

TEST_F(RegistryTest, SplitKeyPathSeparatesRootAndSubKey) {
    struct Case { const char* in; bool ok; Registry::HKey root; const char* rest; };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE\\Software\\Run", true, 0x80000002u, "Software\\Run"},
        {"HKEY_USERS", true, 0x80000003u, ""},
        {"HKEY_users\\x", true, 0u, "x"},
        {"HKEY_LOCAL_MACHINE\\", false, 0u, "HKEY_LOCAL_MACHINE\\"},
        {"Software", false, 0u, "Software"},
    };
    for (const Case& c : cases) {
        std::string path = c.in;
        Registry::HKey root = 1;
        EXPECT_EQ(Registry::SplitKeyPath(path, root), c.ok) << c.in;
        EXPECT_EQ(root, c.root) << c.in;
        EXPECT_EQ(path, c.rest) << c.in;
    }
}

TEST_F(RegistryTest, TwoStoresOnOneFileSeeEachOthersWrites) {
    RegistryStore a(file_), b(file_);
    ASSERT_TRUE(a.CreateKey(kKey));
    ASSERT_TRUE(b.KeyExists(kKey));
    // b writes while a holds an older copy: a's next write keeps b's value.
    ASSERT_TRUE(b.SetValue(kKey, {"FromB", RegFile::kRegSz, std::string("b\0", 2)}));
    ASSERT_TRUE(a.SetValue(kKey, {"FromA", RegFile::kRegSz, std::string("a\0", 2)}));
    RegFile::RegValue v;
    EXPECT_TRUE(b.GetValue(kKey, "FromA", v));
    EXPECT_TRUE(a.GetValue(kKey, "FromB", v));
    ASSERT_TRUE(a.DeleteKey(kKey));
    EXPECT_FALSE(b.KeyExists(kKey));
    EXPECT_TRUE(b.KeyExists("HKEY_CURRENT_USER\\Software"));
    EXPECT_FALSE(b.DeleteKey("HKEY_CURRENT_USER"));
}

TEST_F(RegistryTest, TwoProgramsWritingAtOnceLoseNothing) {
    ASSERT_TRUE(Registry::Store().CreateKey(kKey));
    constexpr int kWrites = 40;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const char* prefix = child == 0 ? "Child" : "Parent";
    RegistryStore own(file_);
    bool ok = true;
    for (int i = 0; i < kWrites; ++i)
        ok &= own.SetValue(kKey, {prefix + std::to_string(i), RegFile::kRegDword, RegFile::DwordBytes(i)});
    if (child == 0) _exit(ok ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Registry::EnumRegistryValues(kKey).Count(), 2u * kWrites);
}

TEST_F(RegistryTest, ADamagedFileIsReadAsEmptyAndNeverOverwritten) {
    const std::string damaged = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Glimmer Test]\r\n\"a\"=dword:xyz\r\n";
    WriteFile(file_, damaged);
    EXPECT_FALSE(Registry::Store().KeyExists(kKey));
    EXPECT_FALSE(Registry::Store().CreateKey("HKEY_USERS\\New"));
    EXPECT_FALSE(Registry::Store().ImportText("REGEDIT4\r\n\r\n[HKEY_USERS\\New]\r\n"));
    EXPECT_EQ(ReadFile(file_), damaged);
    EXPECT_NE(programLog().find("Error in RegistryStore::Load"), std::string::npos);

    WriteFile(file_, kFixture);  // mended by hand: read again at once
    EXPECT_TRUE(Registry::Store().KeyExists(kKey));
}

TEST_F(RegistryTest, ExportOfAMissingKeyWritesNoFile) {
    loadFixture();
    EXPECT_FALSE(Registry::ExportRegistryFile(dir() / "Account1.reg", "HKEY_CURRENT_USER\\Nothing"));
    EXPECT_FALSE(fs::exists(dir() / "Account1.reg"));
    EXPECT_FALSE(Registry::ImportRegistryFile(dir() / "clracc9.reg"));
}

class RegistryLocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* n : {"GLIMMERPOST_REGISTRY", "XDG_CONFIG_HOME", "HOME"}) {
            const char* v = std::getenv(n);
            saved_.push_back({n, v ? v : "", v != nullptr});
        }
    }
    void TearDown() override {
        for (const Saved& s : saved_) {
            if (s.set) setenv(s.name, s.value.c_str(), 1);
            else unsetenv(s.name);
        }
    }
    struct Saved { const char* name; std::string value; bool set; };
    std::vector<Saved> saved_;
};

TEST_F(RegistryLocationTest, EnvironmentChoosesTheFile) {
    setenv("HOME", "/home/u", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    setenv("GLIMMERPOST_REGISTRY", "/tmp/r.reg", 1);
    EXPECT_EQ(Registry::DefaultRegistryFile(), "/tmp/r.reg");
    unsetenv("GLIMMERPOST_REGISTRY");
    EXPECT_EQ(Registry::DefaultRegistryFile(), "/cfg/glimmerpost/registry.reg");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(Registry::DefaultRegistryFile(), "/home/u/.config/glimmerpost/registry.reg");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Registry::DefaultRegistryFile(), "/home/u/.config/glimmerpost/registry.reg");
}

TEST(PromptTest, WithoutAnAnswererTheDefaultButtonAnswers) {
    using Prompt::Answer;
    using Prompt::Buttons;
    struct Case { Buttons buttons; int defaultButton; Answer answer; };
    const Case cases[] = {
        {Buttons::OK, 1, Answer::OK},          {Buttons::OKCancel, 2, Answer::Cancel},
        {Buttons::YesNo, 1, Answer::Yes},      {Buttons::YesNo, 2, Answer::No},
        {Buttons::YesNoCancel, 3, Answer::Cancel}, {Buttons::AbortRetryIgnore, 2, Answer::Retry},
        {Buttons::RetryCancel, 7, Answer::Retry},  {Buttons::YesNo, 0, Answer::Yes},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Prompt::Ask("text", "caption", c.buttons, Prompt::Kind::Question, c.defaultButton), c.answer);
}

}  // namespace
