// The senders page's actions on the selected rows: approve, block, add and delete
// senders, preview their messages, accept and delete stored messages.
#include <QAction>

#include <unordered_set>

#include "core/Confirmations.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/CaselessText.h"
#include "core/Log.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "mainwindow/MessagePreviewForm.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/SendersView.h"
#include "platform/AliveGuard.h"
#include "platform/GridControl.h"

namespace mainwindow {

namespace {

constexpr const char* kTitle = "Individual senders";

enum Button { kOk = 1, kBlock = 2, kUserAdd = 3, kUserDelete = 4, kPreview = 5 };
enum MessageAction { kAccept, kDelete, kAcceptFromSender };

// The distinct non-blank senders, in order.
std::vector<std::string> distinct(const std::vector<std::string>& senders) {
    std::vector<std::string> out;
    std::unordered_set<std::string_view, MiscFuncs::CaseInsensitiveHash, MiscFuncs::CaseInsensitiveEqual> seen;
    for (const std::string& s : senders)
        if (!MiscFuncs::IsBlank(s) && seen.insert(s).second) out.push_back(s);
    return out;
}

std::string deleteQuestion(const SendersSelection& sel) {
    if (sel.keys.size() < 2) return "Are you sure you want to delete " + sel.endKey + "?";
    return "Are you sure you want to delete " + std::to_string(sel.keys.size()) + " senders?";
}

void reportUnsaved(const CSenders& senders) {
    Prompt::Ask("Glimmerpost could not save the sender list " + senders.IniFile() +
                    ".\nThe change has not been made.",
                kTitle, Prompt::Buttons::OK, Prompt::Kind::Critical);
}

}  // namespace

// Refills wait while an action, a question or the menu holds them.
class SendersView::Hold {
public:
    explicit Hold(SendersView& view) : view_(&view) { view.hold(); }
    ~Hold() {
        if (view_) view_->release();
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    QPointer<SendersView> view_;
};

void SendersView::IndividualsToolBar_ButtonClick(int index) { act(index, takeSelection()); }
void SendersView::MenuButton(int index) { act(index, menuSelection_); }

void SendersView::AcceptMessages() { messageAction(kAccept, takeSelection()); }
void SendersView::DeleteMessages() { messageAction(kDelete, takeSelection()); }
void SendersView::AcceptMessagesFromSender() { messageAction(kAcceptFromSender, takeSelection()); }
void SendersView::MenuAcceptMessages() { messageAction(kAccept, menuSelection_); }
void SendersView::MenuDeleteMessages() { messageAction(kDelete, menuSelection_); }
void SendersView::MenuAcceptMessagesFromSender() { messageAction(kAcceptFromSender, menuSelection_); }

void SendersView::MenuApproveSendersDomain() {
    if (links_.approveSendersDomain && menuSelection_.listsRows && menuSelection_.tab != SendersTab::Messages)
        links_.approveSendersDomain(menuSelection_.currentSender, distinct(menuSelection_.senders));
}

void SendersView::MenuBlockSendersDomain() {
    if (links_.blockSendersDomain && menuSelection_.listsRows && menuSelection_.tab != SendersTab::Messages)
        links_.blockSendersDomain(menuSelection_.currentSender, distinct(menuSelection_.senders));
}

void SendersView::act(int button, const SendersSelection& sel) {
    if (button == kUserAdd) return addSender(sel);
    if (!sel.listsRows || sel.keys.empty()) return;
    if (button == kPreview) return preview(sel);
    if (button == kOk || button == kBlock || button == kUserDelete) changeStatus(button, sel);
}

void SendersView::addSender(const SendersSelection& sel) {
    // Only these tabs store what the editor returns.
    const SenderStatus status = sel.tab == SendersTab::Registered ? SenderStatus::Approved
                                : sel.tab == SendersTab::Blocked  ? SenderStatus::Blocked
                                                                  : SenderStatus::NotListed;
    if (status == SenderStatus::NotListed) return;
    const auto& edit = program_.Editors().editSender;
    if (!edit) {
        MiscFuncs::WriteLog(0, "i", "AddUserForm is not available");
        return;
    }
    std::string name, address;
    platform::AliveGuard alive(this);
    int result = 0;
    {
        Hold held(*this);
        result = edit(name, address, program_.MainForm());
    }
    if (!alive || result != 1) return;
    CSenders* senders = program_.Senders();
    if (!senders || MiscFuncs::IsBlank(address)) return;
    if (senders->ChangeStatus(name, address, status, "Added manualy by user") == StatusChange::Failed &&
        alive && program_.Senders() == senders)
        reportUnsaved(*senders);
}

void SendersView::preview(const SendersSelection& sel) {
    if (MiscFuncs::IsBlank(sel.endKey)) return;
    MessagePreviewForm* form = links_.preview ? links_.preview() : nullptr;
    if (!form) {
        MiscFuncs::WriteLog(0, "i", "MessagePreviewForm is not available");
        return;
    }
    if (sel.tab == SendersTab::Messages) form->ShowMessage(sel.endKey);
    else form->ShowMessagesFrom(sel.endKey);
}

void SendersView::changeStatus(int button, const SendersSelection& sel) {
    platform::AliveGuard alive(this);
    Hold held(*this);
    if (button == kUserDelete) {
        const Prompt::Answer answer =
            Confirmations::AskToConfirm(deleteQuestion(sel), kTitle, Prompt::Kind::Question, 2);
        if (!alive || answer != Prompt::Answer::Yes) return;
    }
    CSenders* senders = program_.Senders();
    if (!senders || !program_.Messages()) return;

    grid().SetRedraw(false);
    bool saved = true;
    {
        CSenders::BulkUpdate bulk(*senders);
        for (const std::string& address : distinct(sel.senders)) {
            if (button == kOk) {
                senders->SetStatus("", address, SenderStatus::Approved, "Manualy registered by user");
                MiscFuncs::WriteLog(2, "i", "Manual approval of " + address + ", emails approved for download");
            } else if (button == kBlock) {
                senders->SetStatus("", address, SenderStatus::Blocked, "Manualy blocked by user");
                MiscFuncs::WriteLog(2, "i", "Manual denial of " + address + ", emails deleted");
            } else {
                // senders.ini keeps the sender: the filter still knows his status.
                senders->DeleteSender(address);
                MiscFuncs::WriteLog(2, "i", "Manual deletion of sender " + address + ", emails deleted");
            }
        }
        saved = bulk.Commit();
    }
    if (!alive) return;
    if (!saved && program_.Senders() == senders) reportUnsaved(*senders);
    if (!alive) return;
    finishBulk();
}

void SendersView::messageAction(int what, const SendersSelection& sel) {
    if (!sel.listsRows || sel.keys.empty()) return;
    // The message items act on message rows, the sender item on sender rows.
    if ((what == kAcceptFromSender) == (sel.tab == SendersTab::Messages)) return;
    CMessages* messages = program_.Messages();
    CSenders* senders = program_.Senders();
    if (!messages || !senders) return;
    platform::AliveGuard alive(this);
    Hold held(*this);
    grid().SetRedraw(false);
    if (what == kAcceptFromSender) {
        for (const std::string& address : distinct(sel.senders)) {
            if (!alive || program_.Senders() != senders) return;
            senders->AcceptMessagesFrom(address);
        }
    } else {
        for (const std::string& key : sel.keys) {
            if (!alive || program_.Messages() != messages) return;
            if (MiscFuncs::IsBlank(key)) continue;
            if (what == kAccept) messages->MoveMessage(key, MessageKeys::kInBox);
            else messages->RemoveMessage(key);
        }
    }
    if (alive) finishBulk();
}

void SendersView::finishBulk() {
    grid().SetRedraw(true);
    if (GlimmerpostMainForm* form = program_.MainForm())
        form->activity().SetTrayState(TrayState::Rest, form->activity().tip());
    if (shown()) FillSendersGrid();
    else pending_ = true;
}

}  // namespace mainwindow
