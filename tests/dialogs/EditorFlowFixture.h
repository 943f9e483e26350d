#pragma once
// A page with its real editor: the program started with its pages and the dialogs
// attached, and steps that act on the editor while it is shown modally.

#include <QApplication>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

#include "dialogs/DialogsAttach.h"
#include "mainwindow/PagesTestSupport.h"

namespace testing_support {

template <class Form>
class EditorFlowTest : public PagesTest {
protected:
    void TearDown() override {
        program_.reset();
        dialogs_.reset();
        PagesTest::TearDown();
    }

    mainwindow::GlimmerpostProgram& start() {
        dialogs_ = std::make_unique<dialogs::ProgramDialogs>();
        return startWithPages([this](mainwindow::GlimmerpostProgram& p) { dialogs_->Attach(p, engines_); });
    }

    // Acts on the editor once it is shown modally; each step runs in turn, the next one
    // after the editor is shown again (it stays open after a refusal).
    void inEditor(std::vector<std::function<void(Form&)>> steps) {
        steps_ = std::move(steps);
        auto* timer = new QTimer(context_.get());
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [this, timer] {
            auto* form = qobject_cast<Form*>(QApplication::activeModalWidget());
            if (!form) return;
            if (steps_.empty()) {
                timer->stop();
                timer->deleteLater();
                return;
            }
            auto step = std::move(steps_.front());
            steps_.erase(steps_.begin());
            step(*form);
            ++editorSteps_;
        });
        timer->start();
    }

    std::unique_ptr<dialogs::ProgramDialogs> dialogs_;
    std::vector<std::function<void(Form&)>> steps_;
    int editorSteps_ = 0;  // the steps taken so far
};

}  // namespace testing_support
