#include "core/Prompt.h"

#include <utility>
#include <vector>

namespace Prompt {
namespace {

PromptFn g_prompt;
bool g_closing = false;

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

Answer CancelAnswer(const Request& request) {
    const std::vector<Answer> answers = answersOf(request.buttons);
    for (Answer wanted : {Answer::Cancel, Answer::No, Answer::Abort})
        for (Answer a : answers)
            if (a == wanted) return a;
    return answers.front();
}

Answer Ask(const Request& request) {
    if (g_closing) return CancelAnswer(request);
    const Answer answer = g_prompt ? g_prompt(request) : DefaultAnswer(request);
    // The program began to close while the question was open.
    return g_closing ? CancelAnswer(request) : answer;
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

void SetClosing(bool closing) { g_closing = closing; }
bool Closing() { return g_closing; }

}  // namespace Prompt
