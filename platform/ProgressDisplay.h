#pragma once
// The main window's two progress pairs, driven by the engines: the collect pair
// (POP3 collector) and the send pair (SMTP client), each a label and a bar running
// from 0 to 100. The main window attaches its controls when it loads; until then, or
// once they are destroyed, the calls keep only the numbers. The arithmetic is
// core/Progress.h.

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <cstdint>
#include <string_view>

namespace modProgress {

void AttachCollectControls(QLabel* label, QProgressBar* bar);
void AttachSendControls(QLabel* label, QProgressBar* bar);

// Bar 0, label "", both shown.
void ShowCollectProgress();
void ShowSendProgress();
// Bar 0, label "", both hidden, maximum and value 0.
void HideCollectProgress();
void HideSendProgress();
void SetCollectProgressText(std::string_view text);
void SetSendProgressText(std::string_view text);
// The maximum alone does not move the bar.
void SetCollectProgressMax(std::int32_t maximum);
void SetSendProgressMax(std::int32_t maximum);
// The value, then the bar is redrawn (left as it is while the maximum is 0 or less).
void SetCollectProgressValue(std::int32_t value);
void SetSendProgressValue(std::int32_t value);
std::int32_t GetCollectProgressValue();
std::int32_t GetCollectProgressMax();
std::int32_t GetSendProgressValue();
std::int32_t GetSendProgressMax();

}  // namespace modProgress

namespace modTest {

// Places the four controls in one row below the senders grid (see
// core/Progress.h), converting the window's pixels to twips and back at the window's
// resolution. The window's height is its outer (frame) height; the first label keeps
// its left edge; heights are not changed.
void LayoutProgressBars(QWidget* window, QWidget* grid, QLabel* label1, QProgressBar* bar1, QLabel* label2,
                        QProgressBar* bar2);

}  // namespace modTest
