#pragma once
// RegRequestForm: the small window that asks the user about a sender who confirmed
// himself on the approval page. The registration-reply handler leaves one reply file
// (protocol/RegReplyFile.h) per such reply in the InBox of the account that received
// it; this window finds them, shows one request at a time and applies the answer.
//
// Contract:
// - PollTimer (30 s, on from the start) walks the accounts of accounts.ini in file
//   order (up to the first blank section) and, in each InBox, every reply file in
//   name order. It takes the first request whose sender is not waiting for approval
//   (status 2): a file left for a waiting sender stays where it is and never hides
//   the files after it. A damaged file is logged once and passed over until it
//   changes; a file that could not be deleted after its answer is passed over too,
//   so no sender is asked about, or confirmed, twice.
// - [options] ShowRegDialogs "0": each tick that finds a request approves it at once
//   (one request per tick). Anything else shows the window, not modal and without
//   taking the focus, and stops PollTimer; ShowTimer (30 s) then brings it to the
//   front RegDialogShowInterval × 2 times and, at the next tick, gives up: the sender
//   is set to waiting for approval (status 2) and the window hides.
// - Approve: status 3 (CSenders moves the held mail to InBox), the reply file goes,
//   the confirmation "Thank you for registering" is queued for the account that
//   received the reply. Reject: status 0 with the reason "Blocked because " and the
//   sender's reason (the held mail goes to Recycled); no mail. Time-out: status 2.
//   Every answer also removes the sender's other reply files: one answer per sender.
//   When the status change does not take, nothing else happens and the window stays.
// - "Automatically approve ..." ticked at an answer writes ShowRegDialogs "0".
// - Authrize(address) shows a listed sender without time limit; its confirmation
//   goes through the account that holds the sender's mail (the message store's keys
//   of the sender, WaitingAuth first), else the first account.
// - Closing the window is no answer: a polled request times out at once, one shown
//   by Authrize is put away; either way polling resumes.
// - The sender's name, address and reason are shown as plain text, never as markup.
// - The confirmation hook and the sender list may let events run (a message box, a
//   long folder listing); the form may be destroyed meanwhile and then touches
//   nothing of itself afterwards.
//
// Only the user-interface thread uses it.

#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ProgramSettings.h"
#include "engines/OwnMails.h"
#include "platform/TimerControl.h"

class CMessages;
class CSenders;
class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QPushButton;

namespace RegReplyFile {
struct Contents;
}

class RegRequestForm : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPollIntervalMs = 30000;
    static constexpr int kShowIntervalMs = 30000;
    static constexpr const char* kConfirmationSubject = "Thank you for registering";
    // Bytes of each text shown in the window.
    static constexpr std::size_t kMaxShownLength = 512;

    // SMTPSpooler::AddNewMessage of the running spooler; false when not queued.
    using QueueMail = std::function<bool(MessageType type, std::string_view account, std::string_view recipient,
                                         std::string_view subject)>;
    struct Hooks {
        QueueMail addNewMessage;
    };

    // The request on show.
    struct Request {
        std::string name;
        std::string emailText;  // as the reply gave it, or name, blank, address
        std::string reason;
        std::string file;       // the reply file; "" when shown through Authrize
        std::string account;    // the account that sends the confirmation
        std::string address;    // the sender's bare address
    };

    // The sender list must outlive the form; the message store, when given, too.
    RegRequestForm(CSenders& senders, const CMessages* store, Hooks hooks, QWidget* parent = nullptr);
    ~RegRequestForm() override;
    RegRequestForm(const RegRequestForm&) = delete;
    RegRequestForm& operator=(const RegRequestForm&) = delete;

    // Shows the window for a sender who is already listed (the senders page's
    // waiting-approval list). Does nothing while the window is shown.
    void Authrize(std::string_view address);
    // Brings the window to the front (normal state, shown in place, not activated,
    // outside the always-on-top band).
    void SetWindowToFrontForeground();

    void PollTimer_Timer();
    void ShowTimer_Timer();
    void bApprove_Click();
    void bReject_Click();

    platform::TimerControl& PollTimer() { return PollTimer_; }
    platform::TimerControl& ShowTimer() { return ShowTimer_; }
    const Request& request() const { return request_; }
    std::int16_t countdown() const { return countdown_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // What an earlier poll learnt of a reply file, valid while the file is unchanged.
    struct Known {
        std::filesystem::file_time_type stamp;
        std::string address;  // "" for a damaged file
        bool passOver = false;  // damaged, or answered and not deletable
    };

    // The accounts of accounts.ini in file order, up to the first blank section.
    static std::vector<std::string> accountNames();
    void buildWindow();
    void showRequest();
    void ProcessRequest();
    std::optional<Request> findRequest();
    std::optional<Request> takeFrom(const std::string& account);
    std::optional<Request> consider(const std::string& account, const std::filesystem::path& file);
    enum class Approval { Done, Failed, Gone };
    Approval approveSender();
    void deleteReplyFiles(const Request& request);
    void deleteOneFile(const std::filesystem::path& file);
    std::vector<std::filesystem::path> replyFilesOf(std::string_view address);
    std::optional<std::string> addressOf(const std::filesystem::path& file);
    void queueConfirmation(const Request& request);
    void applyAlwaysApprove();
    void timeOut();
    void finish();
    bool asking() const;
    std::string accountHolding(std::string_view address) const;
    void forgetVanished();

    CSenders& senders_;
    const CMessages* store_;
    Hooks hooks_;
    ProgramSettings settings_;
    platform::TimerControl PollTimer_;
    platform::TimerControl ShowTimer_;
    Request request_;
    std::int16_t countdown_ = 0;
    // An answer is being applied (it may let events run).
    bool answering_ = false;
    std::map<std::string, Known> known_;

    QLabel* Image1 = nullptr;
    QLabel* lNewRegRequest = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* lSenderName = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lSenderReason = nullptr;
    QLabel* lSendersName = nullptr;
    QLabel* lSendersEmail = nullptr;
    QLabel* lReason = nullptr;
    QCheckBox* cbAlwaysApprove = nullptr;
    QPushButton* bApprove = nullptr;
    QPushButton* bReject = nullptr;
};
