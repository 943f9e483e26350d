#include "core/CRule.h"

#include "core/CIniFile.h"
#include "core/CMessage.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

void CRule::Pattern::Set(std::string_view pattern) {
    text = std::string(pattern);
    blank = MiscFuncs::IsBlank(pattern);
    const std::string lowered = MiscFuncs::LowerCase(pattern);
    whole = MiscFuncs::LikePattern(lowered);
    anywhere = MiscFuncs::LikePattern("*" + lowered + "*");
}

bool CRule::Pattern::Matches(std::string_view lowered, bool autoWildcards) const {
    return blank || (autoWildcards ? anywhere : whole).Matches(lowered);
}

CRule::Texts::Texts(const CMessage& message)
    : from(MiscFuncs::LowerCase(message.From)),
      to(MiscFuncs::LowerCase(message.MessageTo)),
      subject(MiscFuncs::LowerCase(message.Subject)) {}

bool CRule::Conforms(const Texts& texts, bool autoWildcards) const {
    return from_.Matches(texts.from, autoWildcards) && to_.Matches(texts.to, autoWildcards) &&
           subject_.Matches(texts.subject, autoWildcards);
}

bool CRule::MessageConforms(const CMessage& message, bool autoWildcards) const {
    return Conforms(Texts(message), autoWildcards);
}

bool CRule::MessageConforms(const CMessage& message) const {
    const CIniFile options(ProgramFiles::OptionsIniPath().string());
    return MessageConforms(message, AutoWildcardsIn(options));
}

bool CRule::AutoWildcardsIn(const CIniFile& options) {
    return options.Value("options", "NoAutoWildCardsInRules") != "1";
}
