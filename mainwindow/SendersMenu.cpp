// The senders grid's right-button menu: the selection it acts on, its states, and
// their application to the tray-menu window's mIndividuals.
#include <QAction>
#include <QMenu>

#include "core/Address.h"
#include "core/CSenders.h"
#include "core/Log.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/SendersView.h"
#include "mainwindow/SystrayMenuForm.h"
#include "platform/GridControl.h"

namespace mainwindow {

IndividualsMenuInput SendersView::menuInput(const SendersSelection& sel) const {
    IndividualsMenuInput in;
    in.tab = sel.tab;
    in.listsRows = sel.listsRows;
    in.several = sel.several();
    in.domainItems = links_.approveSendersDomain && links_.blockSendersDomain;
    if (!sel.listsRows) return in;
    in.address = sel.currentSender;
    in.domain = MiscFuncs::DomainOf(in.address);
    if (const CSenders* senders = program_.Senders()) {
        in.status = senders->StatusOf(in.address);
        if (sel.tab != SendersTab::Messages) in.storedMessages = senders->MessagesStored(sel.endKey);
    }
    in.messageInInBox = MessageImageKey(sel.currentKey) == "MessageOk";
    return in;
}

void SendersView::fgSenders_MouseUp(int row, const QPoint& globalPos) {
    platform::GridControl& g = grid();
    if (row < 0 || row >= g.Rows()) return;
    // A single selected row gives way to the row under the mouse; several stay.
    if (g.SelectionTop() == g.SelectionBottom()) g.SetSelection(row, row);
    g.viewport()->update();
    menuSelection_ = takeSelection();
    menu_ = IndividualsMenuState(menuInput(menuSelection_));
    if (!menu_.popup) return;
    SystrayMenuForm* form = links_.menu ? links_.menu() : nullptr;
    if (!form) {
        MiscFuncs::WriteLog(0, "i", "SystrayMenuForm is not available");
        return;
    }
    // The form got its pictures as it loaded; every item's state is set here.
    applyMenu(*form);
    // Refills wait while the menu is open; its items act on menuSelection_ anyway.
    hold();
    menuHeld_ = true;
    QPointer<SendersView> self(this);
    form->PopupIndividuals(globalPos);
    if (!self) return;
    QMenu* menu = form->mIndividuals();
    auto releaseMenu = [self] {
        if (!self || !self->menuHeld_) return;
        self->menuHeld_ = false;
        self->release();
    };
    if (menu && menu->isVisible())
        connect(menu, &QMenu::aboutToHide, this, releaseMenu, Qt::SingleShotConnection);
    else
        releaseMenu();
}

void SendersView::applyMenu(SystrayMenuForm& form) {
    for (const MenuItemState& s : menu_.items) {
        QAction* a = form.item(s.name);
        if (!a) continue;
        a->setVisible(s.visible);
        a->setEnabled(s.enabled);
        if (!a->isSeparator()) form.SetCaption(s.name, s.caption);
    }
}

}  // namespace mainwindow
