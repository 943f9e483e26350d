#include "mainwindow/MessagePreviewForm.h"

namespace mainwindow {

MessagePreviewForm::MessagePreviewForm(GlimmerpostProgram&, QWidget* owner) : QWidget(owner, Qt::Window) {}
MessagePreviewForm::~MessagePreviewForm() = default;
void MessagePreviewForm::ShowMessagesFrom(const std::string&) {}
void MessagePreviewForm::ShowMessage(const std::string&) {}

}  // namespace mainwindow
