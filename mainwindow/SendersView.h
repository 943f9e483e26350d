#pragma once
// SendersView: the senders and messages page at work. It fills the grid of
// SendersPage from the program's sender lists and message store for the selected tab
// and search text, sorts it on header clicks, keeps the quick search, the tool tips,
// the double click, the toolbar and the right-button menu, and runs the actions on
// the selected rows (SendersActions.cpp, SendersMenu.cpp).
//
// Refills: a change of the sender list makes the sender tabs stale, one of the
// message store the Messages tab. A stale tab that is shown is refilled once on a
// short timer, however many changes came meanwhile; nothing is refilled while the
// page is hidden (it is refilled when shown) or while an action, a question or the
// menu holds refills. The selection survives a refill by the rows' keys.
//
// Actions take the keys of the selected rows first (a menu item those taken when the
// menu popped up) and act on exactly those, whatever refills meanwhile. After every
// question or editor they check that the program's lists still exist, and that the
// page does.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "mainwindow/SendersGridFill.h"
#include "mainwindow/SendersMenuState.h"

namespace platform {
class GridControl;
}

namespace mainwindow {

class GlimmerpostProgram;
class MessagePreviewForm;
class SendersPage;
class SystrayMenuForm;

// What the page reaches outside itself; each looked up when it is used.
struct SendersLinks {
    std::function<SystrayMenuForm*()> menu;
    std::function<MessagePreviewForm*()> preview;
    // Opens the registration pop-up for a listed sender.
    std::function<void(const std::string& address)> authorize;
    // The menu's domain items, given the current row's sender and every selected
    // row's sender; while empty, the items stay hidden.
    std::function<void(const std::string& current, const std::vector<std::string>& selected)> approveSendersDomain,
        blockSendersDomain;
};

// The selected rows as an action takes them.
struct SendersSelection {
    int tab = 0;
    bool listsRows = false;            // the grid had 6 columns
    std::vector<std::string> keys;     // column 4 of each selected row, top to bottom
    std::vector<std::string> senders;  // each row's sender: the key, or on the Messages tab its From's address
    std::string currentKey, currentSender;  // of the current row
    std::string endKey, endSender;          // of the selection-end row
    bool several() const { return keys.size() > 1; }
};

class SendersView : public QObject {
    Q_OBJECT

public:
    // Minimum time between two refills caused by changes; it grows with the cost of
    // the last fill.
    static constexpr int kRefillDelayMs = 250;

    SendersView(GlimmerpostProgram& program, SendersPage& page, SendersLinks links);
    ~SendersView() override;

    // The lists' change events.
    void SendersChanged();
    void MessagesChanged();

    void FillSendersGrid();
    void UpdateSendersGridHeader();
    void AdjustSendersGridColumns();

    // 1 to 6.
    int tab() const;
    const SendersSort& sort() const { return sort_; }
    bool QuickSearchBlocked() const { return quickSearchBlocked_; }
    bool refillPending() const { return pending_; }
    bool refillScheduled() const { return refillTimer_.isActive(); }
    int fillCount() const { return fills_; }
    platform::GridControl& grid() const;
    SendersPage& page() const { return page_; }
    SendersLinks& links() { return links_; }

    // The user's doings.
    void tsSenders_Click();
    void fgSenders_Click(int col);  // a header click
    void fgSenders_DblClick();
    void KeyPress(QChar c);         // the grid's and the search box's typed characters
    void fgSenders_MouseMove(int row, int col);
    void fgSenders_MouseUp(int row, const QPoint& globalPos);  // the right button

    // The toolbar (buttons 1 to 5) and the actions, on the rows selected now.
    void IndividualsToolBar_ButtonClick(int index);
    void AcceptMessages();
    void DeleteMessages();
    void AcceptMessagesFromSender();
    // The menu's items, on the rows taken when it popped up.
    void MenuButton(int index);
    void MenuAcceptMessages();
    void MenuDeleteMessages();
    void MenuAcceptMessagesFromSender();
    void MenuApproveSendersDomain();
    void MenuBlockSendersDomain();
    // The menu as the last pop-up computed it.
    const IndividualsMenu& lastMenu() const { return menu_; }

    SendersSelection takeSelection() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Hold;
    void changed(bool senders);
    void scheduleRefill();
    void refillNow();
    void hold() { ++holds_; }
    void release();
    bool shown() const;
    void applyButtons(const SendersButtons& b);
    void restoreSelection(const std::string& rowKey, const std::string& selKey, int rememberedRow);
    void searchChanged();

    // SendersActions.cpp
    void act(int button, const SendersSelection& sel);
    void addSender(const SendersSelection& sel);
    void preview(const SendersSelection& sel);
    void changeStatus(int button, const SendersSelection& sel);
    void messageAction(int what, const SendersSelection& sel);
    void finishBulk();
    // SendersMenu.cpp
    IndividualsMenuInput menuInput(const SendersSelection& sel) const;
    void applyMenu(SystrayMenuForm& form);

    GlimmerpostProgram& program_;
    SendersPage& page_;
    SendersLinks links_;
    SendersSort sort_;
    IndividualsMenu menu_;
    SendersSelection menuSelection_;
    QTimer refillTimer_;
    int lastFillMs_ = 0;
    int filledTab_ = 0;
    int fills_ = 0;
    int holds_ = 0;
    bool pending_ = false;
    bool quickSearchBlocked_ = false;
    bool menuHeld_ = false;
};

}  // namespace mainwindow
