#pragma once
// CRule: one mail rule. Up to three patterns, on the From header, the To header and
// the Subject of a message, and the action the filter takes for a message that every
// non-blank pattern matches (a rule with three blank patterns matches every message).
//
// Patterns are in the language of MiscFuncs::LikePattern and ignore letter case: the
// pattern and the header text are both lower-cased (ASCII). By default a pattern may
// match anywhere in its header, as if it had a "*" at either end; with [options]
// NoAutoWildCardsInRules = "1" of the program settings file it must match the whole
// header. The headers are taken raw, display names and comments included.
//
// A pattern is parsed when it is set, in both forms (with and without the automatic
// stars), so the option may change between messages and no message parses anything.

#include <string>
#include <string_view>

#include "core/Wildcard.h"

class CIniFile;
class CMessage;

// The values are those of the filter's verdicts, so an action is used as the
// verdict unchanged. NoRule is what a rule set gives when no rule applies.
enum class RuleAction : long { DeleteFromServer = 0, Accept = 1, NoRule = 3, LeaveOnServer = 6 };

class CRule {
public:
    // The rule's name: its key in the rule set and its section in Rules.ini.
    const std::string& Name() const { return name_; }
    void Name(std::string_view name) { name_ = std::string(name); }

    const std::string& FromPattern() const { return from_.text; }
    void FromPattern(std::string_view pattern) { from_.Set(pattern); }
    const std::string& ToPattern() const { return to_.text; }
    void ToPattern(std::string_view pattern) { to_.Set(pattern); }
    const std::string& SubjectPattern() const { return subject_.text; }
    void SubjectPattern(std::string_view pattern) { subject_.Set(pattern); }

    // The section the rule was last loaded from or saved to ("" for a new rule), so
    // that saving a renamed rule can remove the old section.
    const std::string& StoredName() const { return storedName_; }
    void StoredName(std::string_view name) { storedName_ = std::string(name); }

    RuleAction Action() const { return action_; }
    void Action(RuleAction action) { action_ = action; }

    // Reads NoAutoWildCardsInRules from the program settings file on each call.
    bool MessageConforms(const CMessage& message) const;
    bool MessageConforms(const CMessage& message, bool autoWildcards) const;

    // The lower-cased header texts of one message, made once for a whole rule set.
    struct Texts {
        explicit Texts(const CMessage& message);
        std::string from, to, subject;
    };
    bool Conforms(const Texts& texts, bool autoWildcards) const;

    // False when [options] NoAutoWildCardsInRules of the given settings file is "1".
    static bool AutoWildcardsIn(const CIniFile& options);

private:
    struct Pattern {
        std::string text;
        bool blank = true;
        MiscFuncs::LikePattern whole, anywhere;
        void Set(std::string_view pattern);
        bool Matches(std::string_view lowered, bool autoWildcards) const;
    };

    std::string name_, storedName_;
    Pattern from_, to_, subject_;
    RuleAction action_ = RuleAction::Accept;
};
