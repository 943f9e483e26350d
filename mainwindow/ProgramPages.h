#pragma once
// ProgramPages: the main window's pages joined to the program's lists, after the
// manner of ProgramEngines. Attach() fills the program's Views() (the senders page's
// refills: the sender list's changes and the message store's), the SystrayMenuForm
// and MessagePreviewForm slots of its EngineSet, the tray menu hook (the window's own
// small menu while the tray-menu window is missing) and the registration pop-up's
// Authrize for a double click on a waiting sender. The page code lives in its own
// files, one per concern; this only joins them.
//
// The object must outlive the program it is attached to (declare it first).

#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mainwindow {

class GlimmerpostProgram;
class MessagePreviewForm;
class ProgramEngines;
class SendersView;
class SystrayMenuForm;

class ProgramPages {
public:
    // The senders menu's domain items: the current row's sender and every selected
    // row's sender.
    using SendersDomainAction = std::function<void(const std::string& current, const std::vector<std::string>& selected)>;

    ProgramPages();
    ~ProgramPages();
    ProgramPages(const ProgramPages&) = delete;
    ProgramPages& operator=(const ProgramPages&) = delete;

    void Attach(GlimmerpostProgram& program, ProgramEngines& engines);

    // The senders page at work, from its first fill on; else null.
    SendersView* Senders() const;
    SystrayMenuForm* TrayMenu() const { return trayMenu_.get(); }
    MessagePreviewForm* Preview() const;

    // The domains page fills these; while either is empty the senders menu's domain
    // items stay hidden.
    void SetSendersDomainActions(SendersDomainAction approve, SendersDomainAction block);

private:
    SendersView* makeSendersView(GlimmerpostProgram& program);
    void loadTrayMenu(GlimmerpostProgram& program);

    ProgramEngines* engines_ = nullptr;
    QPointer<SendersView> senders_;
    std::unique_ptr<SystrayMenuForm> trayMenu_;
    QPointer<MessagePreviewForm> preview_;
    SendersDomainAction approveDomain_, blockDomain_;
    // The domains and rules pages' part, kept for the whole run.
    std::shared_ptr<struct DomainsAndRulesPages> domainsAndRules_;
};

}  // namespace mainwindow
