#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "core/CIniFile.h"
#include "core/CMailRules.h"
#include "core/CMessage.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"

namespace {

namespace fs = std::filesystem;
using MiscFuncs::ScrambleText;
using testing_support::ReadFile;
using testing_support::WriteFile;

CMessage message(std::string from, std::string to, std::string subject) {
    CMessage m;
    m.From = std::move(from);
    m.MessageTo = std::move(to);
    m.Subject = std::move(subject);
    return m;
}

std::shared_ptr<CRule> rule(std::string_view name, RuleAction action, std::string_view from,
                            std::string_view to = "", std::string_view subject = "") {
    auto r = std::make_shared<CRule>();
    r->Name(name);
    r->Action(action);
    r->FromPattern(from);
    r->ToPattern(to);
    r->SubjectPattern(subject);
    return r;
}

// One section as the rule set writes it.
std::string section(std::string_view name, std::string_view from, std::string_view action) {
    return "[" + std::string(name) + "]\r\nTo=" + ScrambleText("") + "\r\nFrom=" + ScrambleText(from) +
           "\r\nSubject=" + ScrambleText("") + "\r\nAction=" + std::string(action) + "\r\n";
}

class MailRulesTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        fs::create_directories(ProgramFiles::AccountsFolder());
    }
    std::string rulesFile() const { return ReadFile(ProgramFiles::RulesIniPath()); }
    void writeRules(std::string_view text) const { WriteFile(ProgramFiles::RulesIniPath(), text); }
    void noAutoWildcards(std::string_view value) const {
        CIniFile(ProgramFiles::OptionsIniPath().string()).Value("options", "NoAutoWildCardsInRules", value);
    }
    std::size_t count(const std::string& text, std::string_view what) const {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
};

TEST_F(MailRulesTest, PatternsIgnoreCaseAndMatchAnywhereUnlessTheOptionSaysNo) {
    enum Field { From, To, Subject };
    struct Case {
        Field field;
        const char* pattern;
        const char* header;
        bool anywhere, whole;
    };
    const Case cases[] = {
        {Subject, "invoice", "Your INVOICE 42", true, false},
        {Subject, "invoice", "INVOICE", true, true},
        {From, "BOB@EXAMPLE.COM", "bob@example.com", true, true},
        {From, "bob@example.com", "Bob Smith <BOB@example.com>", true, false},
        {To, "[a-c]?@example.com", "CX@example.com", true, true},
        {To, "[!a-c]?@example.com", "cx@example.com", false, false},
        {Subject, "order ###", "Re: Order 123 shipped", true, false},
        {Subject, "order ###", "Order 12x", false, false},
        {Subject, "[urgent", "[URGENT now", true, false},
        {Subject, "[urgent", "u", false, false},
        {Subject, "a*b", "xaYYbx", true, false},
        {Subject, "   ", "anything", true, true},
    };
    for (const Case& c : cases) {
        CRule r;
        CMessage m;
        if (c.field == From) {
            r.FromPattern(c.pattern);
            m.From = c.header;
        } else if (c.field == To) {
            r.ToPattern(c.pattern);
            m.MessageTo = c.header;
        } else {
            r.SubjectPattern(c.pattern);
            m.Subject = c.header;
        }
        EXPECT_EQ(r.MessageConforms(m, true), c.anywhere) << c.pattern << " / " << c.header;
        EXPECT_EQ(r.MessageConforms(m, false), c.whole) << c.pattern << " / " << c.header;
    }
}

TEST_F(MailRulesTest, EveryNonBlankPatternMustMatch) {
    const auto r = rule("r", RuleAction::Accept, "bob@", "", "offer");
    EXPECT_TRUE(r->MessageConforms(message("bob@example.com", "me@here.test", "An offer"), true));
    EXPECT_FALSE(r->MessageConforms(message("bob@example.com", "me@here.test", "Hello"), true));
    EXPECT_FALSE(r->MessageConforms(message("ann@example.com", "me@here.test", "An offer"), true));
    EXPECT_TRUE(CRule().MessageConforms(message("", "", ""), false));  // no condition at all
    // A pattern changed later is the one that counts.
    r->SubjectPattern("hello");
    EXPECT_TRUE(r->MessageConforms(message("bob@example.com", "", "Hello"), true));
}

TEST_F(MailRulesTest, TheOptionIsReadFromTheProgramSettings) {
    const auto r = rule("r", RuleAction::Accept, "", "", "invoice");
    const CMessage m = message("a@b.test", "c@d.test", "Your invoice");
    EXPECT_TRUE(r->MessageConforms(m));
    noAutoWildcards("1");
    EXPECT_FALSE(r->MessageConforms(m));

    CMailRules rules;
    rules.Add(r);
    std::string reason;
    EXPECT_EQ(rules.ActionForMessage(m, reason), RuleAction::NoRule);
    noAutoWildcards("0");  // changed while the rule set is loaded
    EXPECT_EQ(rules.ActionForMessage(m, reason), RuleAction::Accept);
}

TEST_F(MailRulesTest, ActionsTakePrecedenceAndNameTheirRulesLatestFirst) {
    struct Case {
        std::vector<RuleAction> conforming;  // rules r1, r2, ... in this order
        RuleAction result;
        const char* reason;
        std::size_t conflicts;
    };
    using A = RuleAction;
    const Case cases[] = {
        {{A::DeleteFromServer, A::Accept}, A::Accept, "Rules(s): r2;", 1},
        {{A::Accept, A::Accept}, A::Accept, "Rules(s): r2;r1;", 0},
        {{A::DeleteFromServer, A::DeleteFromServer}, A::DeleteFromServer, "Rule(s): r2;r1;", 0},
        {{A::DeleteFromServer, A::LeaveOnServer}, A::LeaveOnServer, "Rule(s): r2;", 1},
        {{A::LeaveOnServer, A::DeleteFromServer, A::Accept}, A::Accept, "Rules(s): r3;", 1},
        {{A::LeaveOnServer}, A::LeaveOnServer, "Rule(s): r1;", 0},
    };
    MiscFuncs::SetLogLevel(1);
    for (const Case& c : cases) {
        fs::remove(dir() / MiscFuncs::kProgramLogName);
        CMailRules rules;
        rules.Add(rule("other", RuleAction::Accept, "nobody@"));  // does not conform
        for (std::size_t i = 0; i < c.conforming.size(); ++i)
            rules.Add(rule("r" + std::to_string(i + 1), c.conforming[i], "", "", "sale"));
        std::string reason = "untouched";
        EXPECT_EQ(rules.ActionForMessage(message("x@y.test", "me@z.test", "Big SALE"), reason), c.result);
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(count(programLog(), "  # Email rule conflict\r\n"), c.conflicts) << c.reason;
    }
}

TEST_F(MailRulesTest, NoConformingRuleLeavesTheReason) {
    CMailRules rules;
    std::string reason = "as it was";
    const CMessage m = message("x@y.test", "me@z.test", "hello");
    EXPECT_EQ(rules.ActionForMessage(m, reason), RuleAction::NoRule);
    rules.Add(rule("r", RuleAction::DeleteFromServer, "spam@"));
    EXPECT_EQ(rules.ActionForMessage(m, reason), RuleAction::NoRule);
    EXPECT_EQ(reason, "as it was");
}

TEST_F(MailRulesTest, RulesSurviveARestartWithScrambledPatterns) {
    {
        CMailRules rules;
        EXPECT_TRUE(rules.Add(rule("Keep", RuleAction::LeaveOnServer, "boss@", "me@", "Report")));
        EXPECT_TRUE(rules.Add(rule("Junk", RuleAction::DeleteFromServer, "spam@")));
        EXPECT_TRUE(rules.Add(rule("Friends", RuleAction::Accept, "", "", "hi")));
        EXPECT_TRUE(rules.SaveRules());
    }
    const std::string text = rulesFile();
    EXPECT_EQ(text.find("boss@"), std::string::npos);
    EXPECT_EQ(text.substr(0, text.find("[Junk]")),
              "[Keep]\r\nTo=" + ScrambleText("me@") + "\r\nFrom=" + ScrambleText("boss@") +
                  "\r\nSubject=" + ScrambleText("Report") + "\r\nAction=3\r\n");
    EXPECT_NE(text.find("Action=2"), std::string::npos);

    CMailRules again;
    EXPECT_EQ(again.RuleNames(), (std::vector<std::string>{"Keep", "Junk", "Friends"}));
    const auto keep = again.RuleByName("KEEP");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->Action(), RuleAction::LeaveOnServer);
    EXPECT_EQ(keep->FromPattern(), "boss@");
    EXPECT_EQ(keep->ToPattern(), "me@");
    EXPECT_EQ(keep->SubjectPattern(), "Report");
    EXPECT_EQ(keep->StoredName(), "Keep");
    EXPECT_EQ(again.RuleByName("Junk")->Action(), RuleAction::DeleteFromServer);
    EXPECT_EQ(again.RuleByName("Friends")->Action(), RuleAction::Accept);
    EXPECT_EQ(again.RuleByName("nothing"), nullptr);
    std::string reason;
    EXPECT_EQ(again.ActionForMessage(message("boss@work.test", "me@home.test", "weekly report"), reason),
              RuleAction::LeaveOnServer);
}

TEST_F(MailRulesTest, ARenameLeavesOneSectionUnderTheNewName) {
    writeRules(section("First", "a@", "1") + section("Old", "b@", "2") + section("Last", "c@", "3"));
    CMailRules rules;
    rules.RuleByName("Old")->Name("New");
    EXPECT_TRUE(rules.SaveRules());
    CIniFile ini(ProgramFiles::RulesIniPath().string());
    EXPECT_EQ(ini.AllSectionsArray(), (std::vector<std::string>{"First", "Last", "New"}));
    EXPECT_EQ(rules.RuleNames(), (std::vector<std::string>{"First", "Last", "New"}));  // reloaded
    EXPECT_EQ(rules.RuleByName("Old"), nullptr);
    EXPECT_EQ(rules.RuleByName("New")->FromPattern(), "b@");
    // A change of letter case alone is a rename too.
    rules.RuleByName("New")->Name("NEW");
    EXPECT_TRUE(rules.SaveRules());
    EXPECT_EQ(ini.AllSectionsArray(), (std::vector<std::string>{"First", "Last", "NEW"}));
}

TEST_F(MailRulesTest, RulesTradingNamesKeepBothRules) {
    writeRules(section("A", "a@", "1") + section("B", "b@", "2"));
    CMailRules rules;
    const auto a = rules.RuleByName("A"), b = rules.RuleByName("B");
    a->Name("B");
    b->Name("A");
    EXPECT_TRUE(rules.SaveRules());
    CMailRules again;
    EXPECT_EQ(again.RuleByName("B")->FromPattern(), "a@");
    EXPECT_EQ(again.RuleByName("B")->Action(), RuleAction::Accept);
    EXPECT_EQ(again.RuleByName("A")->FromPattern(), "b@");
    EXPECT_EQ(again.RuleByName("A")->Action(), RuleAction::DeleteFromServer);
}

TEST_F(MailRulesTest, ANameOfAnotherRuleIsRefused) {
    writeRules(section("Alpha", "a@", "1") + section("Beta", "b@", "2"));
    CMailRules rules;
    EXPECT_FALSE(rules.Add(rule("ALPHA", RuleAction::Accept, "x@")));
    EXPECT_FALSE(rules.Add(rule("  ", RuleAction::Accept, "x@")));
    EXPECT_FALSE(rules.Add(nullptr));
    const auto beta = rules.RuleByName("Beta");
    beta->Name("alpha");
    beta->FromPattern("changed@");
    EXPECT_FALSE(rules.SaveRules());
    EXPECT_EQ(beta->Name(), "Beta");  // keeps its name, saved with its new pattern
    CMailRules again;
    EXPECT_EQ(again.RuleNames(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(again.RuleByName("Alpha")->FromPattern(), "a@");
    EXPECT_EQ(again.RuleByName("Beta")->FromPattern(), "changed@");
    EXPECT_NE(programLog().find("Error in CMailRules::SaveRules"), std::string::npos);
}

TEST_F(MailRulesTest, UnreadableRulesAreSkippedAndKeptInTheFile) {
    std::string damaged = section("BadPattern", "spam@", "1");
    damaged.replace(damaged.find("From=") + 9, 1, "0");  // a data digit no longer fits the checksum
    writeRules(section("NoAction", "a@", "1").substr(0, section("NoAction", "a@", "1").find("Action=")) +
               section("Four", "b@", "4") + section("Word", "c@", "x") + section("Empty", "d@", "") + damaged +
               "[Bare]\r\nAction=3\r\n" + section("Good", "e@", "2"));
    CMailRules rules;
    EXPECT_EQ(rules.RuleNames(), (std::vector<std::string>{"Bare", "Good"}));
    const auto bare = rules.RuleByName("Bare");  // missing patterns are blank
    EXPECT_EQ(bare->FromPattern() + bare->ToPattern() + bare->SubjectPattern(), "");
    EXPECT_EQ(bare->Action(), RuleAction::LeaveOnServer);
    const std::string log = programLog();
    EXPECT_EQ(count(log, "  # Error in CMailRules::LoadRules"), 5u) << log;
    EXPECT_NE(log.find("rule Four is skipped, its action \"4\" cannot be read"), std::string::npos) << log;
    EXPECT_NE(log.find("rule BadPattern is skipped, its From pattern cannot be read"), std::string::npos) << log;
    EXPECT_TRUE(rules.SaveRules());
    CIniFile ini(ProgramFiles::RulesIniPath().string());
    EXPECT_EQ(ini.AllSectionsArray().size(), 7u);
    EXPECT_EQ(ini.Value("Four", "Action"), "4");
}

TEST_F(MailRulesTest, AnActionWithoutAStoredFormIsNotSaved) {
    writeRules(section("R", "a@", "1"));
    {
        CMailRules rules;
        rules.RuleByName("R")->Action(static_cast<RuleAction>(42));
        EXPECT_TRUE(rules.SaveRules());
    }
    EXPECT_EQ(CIniFile(ProgramFiles::RulesIniPath().string()).FindValue("R", "Action"), std::nullopt);
    EXPECT_EQ(CMailRules().Count(), 0u);  // skipped when loaded, never taken as DeleteFromServer
}

TEST_F(MailRulesTest, DeleteRemovesTheSectionAndTheRule) {
    writeRules(section("A", "a@", "1") + section("B", "b@", "2") + section("C", "c@", "3"));
    CMailRules rules;
    EXPECT_TRUE(rules.Delete("b"));
    EXPECT_EQ(rules.RuleNames(), (std::vector<std::string>{"A", "C"}));
    rules.RuleByName("C")->Name("D");  // renamed, not yet saved
    EXPECT_TRUE(rules.Delete("D"));
    EXPECT_TRUE(rules.Delete("never there"));
    EXPECT_EQ(rules.RuleNames(), (std::vector<std::string>{"A"}));
    EXPECT_EQ(CIniFile(ProgramFiles::RulesIniPath().string()).AllSectionsArray(), (std::vector<std::string>{"A"}));
}

TEST_F(MailRulesTest, ForgetTakesAnUnsavedRuleOffTheSetAndLeavesTheFile) {
    writeRules(section("A", "a@", "1"));
    CMailRules rules;
    ASSERT_TRUE(rules.Add(rule("New", RuleAction::Accept, "n@")));
    EXPECT_TRUE(rules.Forget("new"));
    EXPECT_FALSE(rules.Forget("new"));
    EXPECT_EQ(rules.RuleNames(), (std::vector<std::string>{"A"}));
    EXPECT_EQ(rulesFile(), section("A", "a@", "1"));
}

TEST_F(MailRulesTest, NamesAreTakenAsTheFileStoresThem) {
    CMailRules rules;
    EXPECT_TRUE(rules.Add(rule("a[1]", RuleAction::Accept, "x@")));
    EXPECT_FALSE(rules.Add(rule("A{1}", RuleAction::Accept, "y@")));  // the same section
    EXPECT_TRUE(rules.SaveRules());
    CIniFile ini(ProgramFiles::RulesIniPath().string());
    EXPECT_EQ(ini.AllSectionsArray(), (std::vector<std::string>{"a{1}"}));
    EXPECT_NE(rules.RuleByName("a[1]"), nullptr);
    rules.RuleByName("a[1]")->Name("b");
    EXPECT_TRUE(rules.SaveRules());
    EXPECT_EQ(ini.AllSectionsArray(), (std::vector<std::string>{"b"}));
}

TEST_F(MailRulesTest, AFailedSaveKeepsTheOldNames) {
    writeRules(section("Old", "a@", "1"));
    const std::string before = rulesFile();
    CMailRules rules;
    ASSERT_TRUE(makeReadOnly(ProgramFiles::AccountsFolder()));
    const auto r = rules.RuleByName("Old");
    r->Name("New");
    EXPECT_FALSE(rules.SaveRules());
    EXPECT_EQ(r->StoredName(), "Old");
    EXPECT_FALSE(rules.Delete("New"));
    EXPECT_EQ(rules.Count(), 1u);
    EXPECT_EQ(rulesFile(), before);
}

TEST_F(MailRulesTest, AHugeToHeaderIsAnsweredAtOnce) {
    CMailRules rules;
    rules.Add(rule("r", RuleAction::DeleteFromServer, "", "a*a*a*b"));
    std::string reason;
    EXPECT_EQ(rules.ActionForMessage(message("x@y.test", std::string(100 * 1024, 'A'), ""), reason),
              RuleAction::NoRule);
}

}  // namespace
