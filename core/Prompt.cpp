#include "core/Prompt.h"

#include <utility>
#include <vector>

namespace Prompt {
namespace {

PromptFn g_prompt;

std::vector<Answer> answersOf(Buttons buttons) {
    switch (buttons) {
    case Buttons::OK: return {Answer::OK};
    case Buttons::OKCancel: return {Answer::OK, Answer::Cancel};
    case Buttons::AbortRetryIgnore: return {Answer::Abort, Answer::Retry, Answer::Ignore};
    case Buttons::YesNoCancel: return {Answer::Yes, Answer::No, Answer::Cancel};
    case Buttons::YesNo: return {Answer::Yes, Answer::No};
    case Buttons::RetryCancel: return {Answer::Retry, Answer::Cancel};
    }
    return {Answer::OK};
}

}  // namespace

Answer DefaultAnswer(const Request& request) {
    const std::vector<Answer> answers = answersOf(request.buttons);
    const int i = request.defaultButton - 1;
    if (i < 0 || i >= static_cast<int>(answers.size())) return answers.front();
    return answers[static_cast<std::size_t>(i)];
}

Answer Ask(const Request& request) {
    if (!g_prompt) return DefaultAnswer(request);
    return g_prompt(request);
}

Answer Ask(std::string_view text, std::string_view caption, Buttons buttons, Kind kind,
           int defaultButton) {
    Request r;
    r.text = std::string(text);
    r.caption = std::string(caption);
    r.buttons = buttons;
    r.kind = kind;
    r.defaultButton = defaultButton;
    return Ask(r);
}

void SetPrompt(PromptFn prompt) { g_prompt = std::move(prompt); }

}  // namespace Prompt
