#include "mainwindow/ProgramPages.h"

#include "core/Log.h"
#include "engines/RegRequestForm.h"
#include "mainwindow/DomainActions.h"
#include "mainwindow/DomainsAndRulesPages.h"
#include "mainwindow/MessagePreviewForm.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/SendersPage.h"
#include "mainwindow/SendersView.h"
#include "mainwindow/SystrayMenuForm.h"
#include "platform/SafeDelete.h"

namespace mainwindow {

ProgramPages::ProgramPages() = default;
ProgramPages::~ProgramPages() = default;

SendersView* ProgramPages::Senders() const { return senders_.data(); }
MessagePreviewForm* ProgramPages::Preview() const { return preview_.data(); }

void ProgramPages::SetSendersDomainActions(SendersDomainAction approve, SendersDomainAction block) {
    approveDomain_ = std::move(approve);
    blockDomain_ = std::move(block);
    if (senders_) {
        senders_->links().approveSendersDomain = approveDomain_;
        senders_->links().blockSendersDomain = blockDomain_;
    }
}

void ProgramPages::Attach(GlimmerpostProgram& program, ProgramEngines& engines) {
    engines_ = &engines;
    ListViews& views = program.Views();
    // The first call is start-up's fill; later ones are the lists' changes.
    views.fillSenders = [this](GlimmerpostProgram& p) {
        if (senders_) return senders_->SendersChanged();
        if (SendersView* view = makeSendersView(p)) view->FillSendersGrid();
    };
    views.fillMessages = [this](GlimmerpostProgram& p) {
        if (senders_) return senders_->MessagesChanged();
        if (SendersView* view = makeSendersView(p)) view->FillSendersGrid();
    };

    LoadableWindow menu;
    menu.name = "SystrayMenuForm";
    menu.load = [this](GlimmerpostProgram& p) { loadTrayMenu(p); };
    menu.unload = [this] { trayMenu_.reset(); };
    program.Engines().Register(std::move(menu));

    LoadableWindow preview;
    preview.name = "MessagePreviewForm";
    preview.load = [this](GlimmerpostProgram& p) {
        if (!preview_) preview_ = new MessagePreviewForm(p, p.MainForm());
    };
    preview.unload = [this] { platform::DeleteWhenSafe(preview_.data()); };
    program.Engines().Register(std::move(preview));

    program.FormHooks().popupTrayMenu = [this, &program](const QPoint& at) {
        if (trayMenu_) trayMenu_->PopupSystray(at);
        else if (GlimmerpostMainForm* form = program.MainForm()) form->PopupFallbackTrayMenu(at);
    };

    domainsAndRules_ = AttachDomainsAndRulesPages(program);
    // Every selected sender's domain, or the current row's when none is selected.
    const auto senders = [](const std::string& current, const std::vector<std::string>& selected) {
        return selected.empty() ? std::vector<std::string>{current} : selected;
    };
    DomainActions& domains = DomainActionsOf(*domainsAndRules_);
    SetSendersDomainActions(
        [&domains, senders](const std::string& c, const std::vector<std::string>& s) {
            domains.ApproveSendersDomain(senders(c, s));
        },
        [&domains, senders](const std::string& c, const std::vector<std::string>& s) {
            domains.BlockSendersDomain(senders(c, s));
        });
}

void ProgramPages::loadTrayMenu(GlimmerpostProgram& program) {
    if (trayMenu_) return;
    auto form = [&program] { return program.MainForm(); };
    SystrayMenuForm::Targets t;
    t.open = [form] { if (auto* f = form()) f->mOpen_Click(); };
    t.checkNewMail = [form] { if (auto* f = form()) f->mCheckNewMail_Click(); };
    t.tellAFriend = [form] { if (auto* f = form()) f->cmdTell_Click(); };
    t.sendFeedback = [form] { if (auto* f = form()) f->cmdFeedback_Click(); };
    t.exit = [form] { if (auto* f = form()) f->mExit_Click(); };
    t.individualsButton = [this](int button) { if (senders_) senders_->MenuButton(button); };
    t.acceptMessages = [this] { if (senders_) senders_->MenuAcceptMessages(); };
    t.deleteMessages = [this] { if (senders_) senders_->MenuDeleteMessages(); };
    t.acceptMessagesFromSender = [this] { if (senders_) senders_->MenuAcceptMessagesFromSender(); };
    t.approveSendersDomain = [this] { if (senders_) senders_->MenuApproveSendersDomain(); };
    t.blockSendersDomain = [this] { if (senders_) senders_->MenuBlockSendersDomain(); };
    trayMenu_ = std::make_unique<SystrayMenuForm>(std::move(t));
    trayMenu_->SetImages();
}

SendersView* ProgramPages::makeSendersView(GlimmerpostProgram& program) {
    GlimmerpostMainForm* form = program.MainForm();
    if (!form || !form->sendersPage()) return nullptr;
    SendersLinks links;
    links.menu = [this] { return trayMenu_.get(); };
    links.preview = [this] { return preview_.data(); };
    links.authorize = [this](const std::string& address) {
        if (RegRequestForm* popup = engines_ ? engines_->RegRequest() : nullptr) popup->Authrize(address);
        else MiscFuncs::WriteLog(0, "i", "RegRequestForm is not available");
    };
    links.approveSendersDomain = approveDomain_;
    links.blockSendersDomain = blockDomain_;
    senders_ = new SendersView(program, *form->sendersPage(), std::move(links));
    return senders_.data();
}

}  // namespace mainwindow
