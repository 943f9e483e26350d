#pragma once
// The "Are you sure ...?" questions before a destructive action (deleting senders,
// domains, a rule, an alias or an account). They are asked only while [options]
// `UseConfirmations` ("Always use confirmation dialogs") is on, which it is unless
// stored as "0"; without them the action goes ahead as if Yes had been answered.
// While the program is closing nothing goes ahead (Prompt::Closing).

#include <string_view>

#include "core/Prompt.h"

namespace Confirmations {

// True when the questions are to be asked.
bool Wanted();

// Asks the Yes/No question, or answers Yes at once when the questions are off.
Prompt::Answer AskToConfirm(std::string_view question, std::string_view caption,
                            Prompt::Kind kind = Prompt::Kind::Question, int defaultButton = 2);

}  // namespace Confirmations
