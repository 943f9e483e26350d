#pragma once
// The message-box seam. Every question or notice the core puts to the user goes
// through Prompt::Ask, so that the windowed program can show a real message box, a
// program without windows can answer on its own, and a test can answer as it likes.
//
// With nothing installed, Ask answers with the box's default button, exactly as a
// user who pressed Enter would.

#include <functional>
#include <string>
#include <string_view>

namespace Prompt {

// The button sets of a message box.
enum class Buttons { OK, OKCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };

// The picture shown beside the text.
enum class Kind { None, Critical, Question, Exclamation, Information };

// The button the user pressed.
enum class Answer { OK, Cancel, Abort, Retry, Ignore, Yes, No };

struct Request {
    std::string text;       // 8-bit text; lines separated by LF or CR LF
    std::string caption;    // "" means the program's own title
    Buttons buttons = Buttons::OK;
    Kind kind = Kind::None;
    int defaultButton = 1;  // 1 = first button of the set, 2 = second, 3 = third
};

using PromptFn = std::function<Answer(const Request&)>;

// Shows the box (or hands it to the installed answerer) and returns the answer.
Answer Ask(const Request& request);
Answer Ask(std::string_view text, std::string_view caption = {}, Buttons buttons = Buttons::OK,
           Kind kind = Kind::None, int defaultButton = 1);

// Installs the answerer; nullptr restores the default-button answer.
void SetPrompt(PromptFn prompt);

// While the program is closing, no question may be answered with a button that acts:
// Ask then answers as the box's Cancel would (CancelAnswer), without asking, and a
// question that was open when the closing began answers the same, whatever the
// answerer said. A program sets it when its shut-down begins and clears it when it
// starts.
void SetClosing(bool closing);
bool Closing();

// What closing the box without a button means: Cancel when the set has it, else No,
// else Abort, else OK.
Answer CancelAnswer(const Request& request);

// The answer of the request's default button (the first button when the number is
// out of range for the set).
Answer DefaultAnswer(const Request& request);

}  // namespace Prompt
