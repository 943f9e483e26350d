#pragma once
// CMailRules: the user's mail rules, kept in Rules.ini in the accounts folder, one
// section per rule named by the rule's name:
//   To, From, Subject   the patterns as ScrambledText (see core/Scramble.h)
//   Action              "1" Accept, "2" DeleteFromServer, "3" LeaveOnServer
// The filter asks ActionForMessage for every fetched message; the Rules page lists,
// adds, edits (through RuleByName and SaveRules) and deletes rules.
//
// Loading: the rules come in file order. A rule whose action cannot be read (no
// Action key, or not "1", "2" or "3"), or whose stored pattern fails its checksum,
// is left out with a log line, since guessing could delete mail unread from the
// server or widen a pattern to every message; its section stays in the file. A
// missing pattern key reads as a blank pattern.
//
// Names are keys: compared ignoring case, and taken as the settings file stores them
// (brackets as braces, CR, LF and NUL as blanks, ends trimmed). Add refuses a name
// that is in use; SaveRules keeps a rule under its old name when its new one belongs
// to another rule, so one section never holds two rules and a rename never leaves
// the old section behind.
//
// Rules are shared objects: a caller may keep one across a SaveRules that renames
// (which rebuilds the set from the file), but edits to it then no longer reach the
// set; take the set's own object from RuleByName again.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/CIniFile.h"
#include "core/CRule.h"

class CMessage;

class CMailRules {
public:
    // Opens Rules.ini in the accounts folder and the program settings file, and loads.
    CMailRules();
    CMailRules(std::string_view rulesPath, std::string_view optionsPath);

    // The action of the conforming rules: Accept before LeaveOnServer before
    // DeleteFromServer; reason becomes "Rules(s): " (Accept) or "Rule(s): " followed by
    // the names of that action's conforming rules, latest first, each with ";" after
    // it. Two or three different actions hit log "Email rule conflict". NoRule, and
    // reason untouched, when no rule conforms.
    RuleAction ActionForMessage(const CMessage& message, std::string& reason) const;

    // The set's own rule of that name, nullptr when there is none.
    std::shared_ptr<CRule> RuleByName(std::string_view name) const;

    // Writes every rule in one write of the file. A rule whose name changed leaves its
    // old section, and the set is then loaded again from the file (in file order). A
    // rule renamed to a name in use by another rule keeps its old name (and a new
    // rule in that case is not written); false then, or when the file could not be
    // written.
    bool SaveRules();

    // Adds the rule at the end, not yet saved. False for a null rule, a blank name,
    // or a name in use.
    bool Add(std::shared_ptr<CRule> rule);

    // Removes the rule's section from the file (and the section it was loaded from,
    // when it was renamed since) and the rule from the set. False when the file could
    // not be written; a name that is not in the set is no failure.
    bool Delete(std::string_view name);

    // Takes the rule off the set and leaves the file alone: for a rule that was
    // added but could not be saved. False when no rule has that name.
    bool Forget(std::string_view name);

    // The names in the order of the set, for the Rules page's list.
    std::vector<std::string> RuleNames() const;
    std::size_t Count() const { return rules_.size(); }

private:
    void LoadRules();
    std::shared_ptr<CRule> ReadRule(const std::string& section) const;
    bool ReadPattern(const std::string& section, std::string_view key, std::string& pattern) const;
    // Gives a renamed rule whose name is taken its old name back, and marks a new
    // one that cannot have its name as not writable; refused tells whether it did.
    std::vector<bool> WritableRules(bool& refused);
    bool WriteRule(const CRule& rule, const std::string& section);
    std::size_t IndexOf(std::string_view name) const;

    CIniFile rulesIni_, optionsIni_;
    std::vector<std::shared_ptr<CRule>> rules_;
};
