#include "core/CMailRules.h"

#include <unordered_map>

#include "core/CMessage.h"
#include "core/Log.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"

namespace {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

std::string keyOf(std::string_view name) { return CIniFile::StoredSectionName(name); }

// A name or value from the file or the editor as the log shows it: as it is stored.
std::string forLog(std::string_view text) { return keyOf(text); }

void logError(std::string_view procedure, const std::string& text) {
    MiscFuncs::WriteLog(0, "#", "Error in CMailRules::" + std::string(procedure) + ": " + text);
}

bool actionFromStored(std::string_view stored, RuleAction& action) {
    if (stored == "1") action = RuleAction::Accept;
    else if (stored == "2") action = RuleAction::DeleteFromServer;
    else if (stored == "3") action = RuleAction::LeaveOnServer;
    else return false;
    return true;
}

// "" for an action that has no stored form.
std::string_view storedAction(RuleAction action) {
    switch (action) {
        case RuleAction::Accept: return "1";
        case RuleAction::DeleteFromServer: return "2";
        case RuleAction::LeaveOnServer: return "3";
        default: return "";
    }
}

// The conforming rules of one action, the latest first.
struct RuleHits {
    bool hit = false;
    std::string names;
    void Add(const std::string& name) {
        hit = true;
        names.insert(0, name + ";");
    }
};

}  // namespace

CMailRules::CMailRules()
    : CMailRules(ProgramFiles::RulesIniPath().string(), ProgramFiles::OptionsIniPath().string()) {}

CMailRules::CMailRules(std::string_view rulesPath, std::string_view optionsPath)
    : rulesIni_(rulesPath), optionsIni_(optionsPath) {
    LoadRules();
}

RuleAction CMailRules::ActionForMessage(const CMessage& message, std::string& reason) const {
    if (rules_.empty()) return RuleAction::NoRule;
    const CRule::Texts texts(message);
    const bool autoWildcards = CRule::AutoWildcardsIn(optionsIni_);
    RuleHits accept, leave, remove;
    for (const auto& rule : rules_) {
        if (!rule->Conforms(texts, autoWildcards)) continue;
        switch (rule->Action()) {
            case RuleAction::Accept: accept.Add(rule->Name()); break;
            case RuleAction::LeaveOnServer: leave.Add(rule->Name()); break;
            case RuleAction::DeleteFromServer: remove.Add(rule->Name()); break;
            default: break;
        }
    }
    if (int(accept.hit) + int(leave.hit) + int(remove.hit) >= 2) MiscFuncs::WriteLog(1, "#", "Email rule conflict");
    if (accept.hit) {
        reason = "Rules(s): " + accept.names;
        return RuleAction::Accept;
    }
    if (leave.hit) {
        reason = "Rule(s): " + leave.names;
        return RuleAction::LeaveOnServer;
    }
    if (remove.hit) {
        reason = "Rule(s): " + remove.names;
        return RuleAction::DeleteFromServer;
    }
    return RuleAction::NoRule;
}

std::shared_ptr<CRule> CMailRules::RuleByName(std::string_view name) const {
    const std::size_t i = IndexOf(name);
    return i == kNotFound ? nullptr : rules_[i];
}

std::size_t CMailRules::IndexOf(std::string_view name) const {
    const std::string key = keyOf(name);
    for (std::size_t i = 0; i < rules_.size(); ++i)
        if (MiscFuncs::EqualsIgnoreCase(keyOf(rules_[i]->Name()), key)) return i;
    return kNotFound;
}

std::vector<std::string> CMailRules::RuleNames() const {
    std::vector<std::string> names;
    names.reserve(rules_.size());
    for (const auto& rule : rules_) names.push_back(rule->Name());
    return names;
}

bool CMailRules::Add(std::shared_ptr<CRule> rule) {
    if (!rule) return false;
    if (keyOf(rule->Name()).empty()) {
        logError("Add", "a rule needs a name");
        return false;
    }
    if (IndexOf(rule->Name()) != kNotFound) {
        logError("Add", "the name " + forLog(rule->Name()) + " belongs to another rule");
        return false;
    }
    rules_.push_back(std::move(rule));
    return true;
}

bool CMailRules::Delete(std::string_view name) {
    const std::string key = keyOf(name);
    if (key.empty()) return false;
    const std::size_t i = IndexOf(name);
    bool ok = true;
    {
        CIniFile::Batch batch(rulesIni_);
        ok = rulesIni_.ClearSection(key);
        // An unsaved rename leaves the rule's file entry under its old name.
        if (i != kNotFound) {
            const std::string& stored = rules_[i]->StoredName();
            if (!stored.empty() && stored != key && IndexOf(stored) == kNotFound)
                ok = rulesIni_.ClearSection(stored) && ok;
        }
        ok = batch.Commit() && ok;
    }
    if (!ok) {
        logError("Delete", rulesIni_.IniFile() + " could not be written");
        return false;
    }
    if (i != kNotFound) rules_.erase(rules_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

bool CMailRules::Forget(std::string_view name) {
    const std::size_t i = IndexOf(name);
    if (i == kNotFound) return false;
    rules_.erase(rules_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

bool CMailRules::SaveRules() {
    bool refused = false;
    const std::vector<bool> writable = WritableRules(refused);
    bool ok = true, renamed = false;
    {
        CIniFile::Batch batch(rulesIni_);
        // Old sections go first, so that rules trading names do not remove each other.
        for (std::size_t i = 0; i < rules_.size(); ++i) {
            const std::string& stored = rules_[i]->StoredName();
            if (!writable[i] || stored.empty() || stored == keyOf(rules_[i]->Name())) continue;
            ok = rulesIni_.ClearSection(stored) && ok;
            renamed = true;
        }
        for (std::size_t i = 0; i < rules_.size(); ++i)
            if (writable[i]) ok = WriteRule(*rules_[i], keyOf(rules_[i]->Name())) && ok;
        ok = batch.Commit() && ok;
    }
    if (!ok) {
        logError("SaveRules", rulesIni_.IniFile() + " could not be written");
        return false;
    }
    for (std::size_t i = 0; i < rules_.size(); ++i)
        if (writable[i]) rules_[i]->StoredName(keyOf(rules_[i]->Name()));
    if (renamed) LoadRules();
    return !refused;
}

std::vector<bool> CMailRules::WritableRules(bool& refused) {
    std::vector<bool> writable(rules_.size(), true);
    // Each pass gives at least one rule back its old name or leaves it out for good,
    // which can make room for or collide with another: repeat until nothing moves.
    for (bool changed = true; changed;) {
        changed = false;
        std::unordered_map<std::string, int> uses;
        for (std::size_t i = 0; i < rules_.size(); ++i)
            if (writable[i]) ++uses[MiscFuncs::LowerCase(keyOf(rules_[i]->Name()))];
        for (std::size_t i = 0; i < rules_.size(); ++i) {
            CRule& rule = *rules_[i];
            const std::string key = keyOf(rule.Name());
            const bool moved = key != rule.StoredName();
            if (!writable[i] || (!key.empty() && (!moved || uses[MiscFuncs::LowerCase(key)] < 2))) continue;
            const std::string why = key.empty() ? "a rule needs a name"
                                                : "the name " + forLog(key) + " belongs to another rule";
            if (!rule.StoredName().empty()) {
                logError("SaveRules", why + "; the rule keeps the name " + forLog(rule.StoredName()));
                rule.Name(rule.StoredName());
            } else {
                logError("SaveRules", why + "; the new rule is not saved");
                writable[i] = false;
            }
            changed = refused = true;
        }
    }
    return writable;
}

bool CMailRules::WriteRule(const CRule& rule, const std::string& section) {
    bool ok = rulesIni_.Value(section, "To", MiscFuncs::ScrambleText(rule.ToPattern()));
    ok = rulesIni_.Value(section, "From", MiscFuncs::ScrambleText(rule.FromPattern())) && ok;
    ok = rulesIni_.Value(section, "Subject", MiscFuncs::ScrambleText(rule.SubjectPattern())) && ok;
    // An action without a stored form must not leave an older one standing.
    const std::string_view action = storedAction(rule.Action());
    return (action.empty() ? rulesIni_.DeleteKey(section, "Action") : rulesIni_.Value(section, "Action", action)) && ok;
}

void CMailRules::LoadRules() {
    rules_.clear();
    for (const std::string& section : rulesIni_.AllSectionsArray())
        if (auto rule = ReadRule(section)) rules_.push_back(std::move(rule));
}

std::shared_ptr<CRule> CMailRules::ReadRule(const std::string& section) const {
    RuleAction action = RuleAction::NoRule;
    const std::string stored = rulesIni_.Value(section, "Action");
    if (!actionFromStored(stored, action)) {
        logError("LoadRules", "rule " + forLog(section) + " is skipped, its action \"" + forLog(stored) +
                                  "\" cannot be read");
        return nullptr;
    }
    std::string to, from, subject;
    if (!ReadPattern(section, "To", to) || !ReadPattern(section, "From", from) ||
        !ReadPattern(section, "Subject", subject))
        return nullptr;
    auto rule = std::make_shared<CRule>();
    rule->Name(section);
    rule->StoredName(section);
    rule->ToPattern(to);
    rule->FromPattern(from);
    rule->SubjectPattern(subject);
    rule->Action(action);
    return rule;
}

bool CMailRules::ReadPattern(const std::string& section, std::string_view key, std::string& pattern) const {
    const std::string stored = rulesIni_.Value(section, key);
    pattern.clear();
    if (stored.empty() || MiscFuncs::UnscrambleText(stored, pattern)) return true;
    logError("LoadRules", "rule " + forLog(section) + " is skipped, its " + std::string(key) +
                              " pattern cannot be read");
    return false;
}
