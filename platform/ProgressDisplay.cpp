#include "platform/ProgressDisplay.h"

#include <QPointer>

#include <cmath>

#include "core/Progress.h"
#include "platform/Text8.h"

namespace modProgress {
namespace {

struct PairControls {
    ProgressPair numbers;
    QPointer<QLabel> label;
    QPointer<QProgressBar> bar;
};

PairControls g_collect;
PairControls g_send;

void attach(PairControls& pair, QLabel* label, QProgressBar* bar) {
    pair.label = label;
    pair.bar = bar;
    if (bar) bar->setRange(kBarMinimum, kBarMaximum);
}

void show(PairControls& pair, bool visible) {
    if (!visible) pair.numbers.Reset();
    if (pair.bar) {
        pair.bar->setValue(kBarMinimum);
        pair.bar->setVisible(visible);
    }
    if (pair.label) {
        pair.label->clear();
        pair.label->setVisible(visible);
    }
}

void setText(PairControls& pair, std::string_view text) {
    if (pair.label) pair.label->setText(platform::FromText8(text));
}

void setValue(PairControls& pair, std::int32_t value) {
    const std::optional<int> percent = pair.numbers.SetValue(value);
    if (percent && pair.bar) pair.bar->setValue(*percent);
}

}  // namespace

void AttachCollectControls(QLabel* label, QProgressBar* bar) { attach(g_collect, label, bar); }
void AttachSendControls(QLabel* label, QProgressBar* bar) { attach(g_send, label, bar); }
void ShowCollectProgress() { show(g_collect, true); }
void ShowSendProgress() { show(g_send, true); }
void HideCollectProgress() { show(g_collect, false); }
void HideSendProgress() { show(g_send, false); }
void SetCollectProgressText(std::string_view text) { setText(g_collect, text); }
void SetSendProgressText(std::string_view text) { setText(g_send, text); }
void SetCollectProgressMax(std::int32_t maximum) { g_collect.numbers.SetMax(maximum); }
void SetSendProgressMax(std::int32_t maximum) { g_send.numbers.SetMax(maximum); }
void SetCollectProgressValue(std::int32_t value) { setValue(g_collect, value); }
void SetSendProgressValue(std::int32_t value) { setValue(g_send, value); }
std::int32_t GetCollectProgressValue() { return g_collect.numbers.Value(); }
std::int32_t GetCollectProgressMax() { return g_collect.numbers.Max(); }
std::int32_t GetSendProgressValue() { return g_send.numbers.Value(); }
std::int32_t GetSendProgressMax() { return g_send.numbers.Max(); }

}  // namespace modProgress

namespace modTest {
namespace {

constexpr double kTwipsPerInch = 1440;

int toPixels(double twips, double twipsPerPixel) { return static_cast<int>(std::lround(twips / twipsPerPixel)); }

void place(QWidget* w, int left, int top, int width) {
    if (w) w->setGeometry(left, top, width, w->height());
}

}  // namespace

void LayoutProgressBars(QWidget* window, QWidget* grid, QLabel* label1, QProgressBar* bar1, QLabel* label2,
                        QProgressBar* bar2) {
    if (!window || !grid) return;
    const double tx = kTwipsPerInch / window->logicalDpiX();
    const double ty = kTwipsPerInch / window->logicalDpiY();
    const modTest::ProgressBarPlacement p =
        modTest::LayoutProgressBars(window->frameGeometry().height() * ty, grid->width() * tx);
    const int top = toPixels(p.top, ty);
    const int labelWidth = toPixels(p.labelWidth, tx);
    const int barWidth = toPixels(p.barWidth, tx);
    place(label1, label1 ? label1->x() : 0, top, labelWidth);
    place(bar1, toPixels(p.bar1Left, tx), top, barWidth);
    place(label2, toPixels(p.label2Left, tx), top, labelWidth);
    place(bar2, toPixels(p.bar2Left, tx), top, barWidth);
}

}  // namespace modTest
