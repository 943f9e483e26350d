#include "core/Confirmations.h"

#include "core/ProgramSettings.h"

namespace Confirmations {

bool Wanted() { return ProgramSettings().UseConfirmations(); }

Prompt::Answer AskToConfirm(std::string_view question, std::string_view caption, Prompt::Kind kind,
                            int defaultButton) {
    if (Prompt::Closing()) return Prompt::Answer::No;
    if (!Wanted()) return Prompt::Answer::Yes;
    return Prompt::Ask(question, caption, Prompt::Buttons::YesNo, kind, defaultButton);
}

}  // namespace Confirmations
