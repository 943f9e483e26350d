#include "mainwindow/SystrayMenuForm.h"

#include <QMenu>

namespace mainwindow {

SystrayMenuForm::SystrayMenuForm(Targets targets, QObject* parent) : QObject(parent), targets_(std::move(targets)) {}
SystrayMenuForm::~SystrayMenuForm() = default;
void SystrayMenuForm::SetImages() {}
QAction* SystrayMenuForm::item(std::string_view) const { return nullptr; }
void SystrayMenuForm::SetCaption(std::string_view, std::string_view) {}
void SystrayMenuForm::PopupSystray(const QPoint&) {}
void SystrayMenuForm::PopupIndividuals(const QPoint&) {}

}  // namespace mainwindow
