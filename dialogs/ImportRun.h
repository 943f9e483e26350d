#pragma once
// One run of an address import inside its dialog: the progress bar and the status
// label, the busy pointer, and the wait after each item that lets events run.
//
// Step() answers whether the import may go on: not when a stop was asked for (the
// program is closing and closed the dialog), when the dialog is gone, or when the
// program has released its sender list meanwhile. The caller then approves what it
// has collected through Approve(), which checks the list once more; nothing holds on
// to the list across a wait.

#include <QPointer>
#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

#include "core/AddressImport.h"

class QDialog;
class QLabel;
class QProgressBar;
class CSenders;

namespace mainwindow {
class GlimmerpostProgram;
}

namespace dialogs {

class ImportRun {
public:
    ImportRun(mainwindow::GlimmerpostProgram& program, QDialog& dialog, QProgressBar& bar, QLabel& description);
    ~ImportRun();
    ImportRun(const ImportRun&) = delete;
    ImportRun& operator=(const ImportRun&) = delete;

    // The bar runs from 0 to items; the label shows text.
    void Begin(std::size_t items, const QString& text);
    // After an item: the bar shows `done`, pending events run. False: stop now.
    bool Step(std::size_t done);
    // Approves what was collected in one write; false when the sender list is gone.
    bool Approve(const std::vector<SenderUpdate>& approvals, AddressImport::Totals& totals);
    // Hides the label and restores the pointer (also done at the end of the run).
    void End();

    // The dialog is still there and the program is not closing it.
    bool goesOn() const;

    // Tests: called at each step, before events run.
    static void SetStepHook(std::function<void(std::size_t done)> hook);

private:
    mainwindow::GlimmerpostProgram& program_;
    QPointer<QDialog> dialog_;
    QPointer<QProgressBar> bar_;
    QPointer<QLabel> description_;
    bool busy_ = false;
};

}  // namespace dialogs
