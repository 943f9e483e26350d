#include "dialogs/ImportRun.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <climits>

#include "core/Prompt.h"
#include "mainwindow/ProgramStartup.h"
#include "platform/EventWait.h"
#include "platform/WindowHelpers.h"

namespace dialogs {
namespace {

std::function<void(std::size_t)>& stepHook() {
    static std::function<void(std::size_t)> hook;
    return hook;
}

int barValue(std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, INT_MAX)); }

}  // namespace

ImportRun::ImportRun(mainwindow::GlimmerpostProgram& program, QDialog& dialog, QProgressBar& bar,
                     QLabel& description)
    : program_(program), dialog_(&dialog), bar_(&bar), description_(&description) {}

ImportRun::~ImportRun() { End(); }

void ImportRun::Begin(std::size_t items, const QString& text) {
    bar_->setRange(0, std::max(barValue(items), 1));
    bar_->setValue(0);
    description_->setText(text);
    description_->show();
    if (!busy_) MiscFuncs::BeginBusy();
    busy_ = true;
}

bool ImportRun::goesOn() const { return dialog_ && dialog_->isVisible() && !Prompt::Closing(); }

bool ImportRun::Step(std::size_t done) {
    // The bar moves in steps of at most a 500th, so a long file is not a long repaint.
    if (bar_) {
        const int value = std::min(barValue(done), bar_->maximum());
        if (value == bar_->maximum() || value - bar_->value() >= std::max(1, bar_->maximum() / 500))
            bar_->setValue(value);
    }
    if (stepHook()) stepHook()(done);
    platform::PumpEvents();
    return goesOn() && program_.Senders() != nullptr;
}

bool ImportRun::Approve(const std::vector<SenderUpdate>& approvals, AddressImport::Totals& totals) {
    CSenders* senders = program_.Senders();
    if (!senders) return false;
    totals = AddressImport::Apply(*senders, approvals);
    return true;
}

void ImportRun::End() {
    if (description_) description_->hide();
    if (busy_) MiscFuncs::EndBusy();
    busy_ = false;
}

void ImportRun::SetStepHook(std::function<void(std::size_t)> hook) { stepHook() = std::move(hook); }

}  // namespace dialogs
