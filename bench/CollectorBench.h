#pragma once
// What the two collection benchmarks share: a mailbox of generated messages delivered
// afresh into the dovecot peer's maildir for every run, a program folder with the
// account and the senders approved, one timed collection by our collector, and the
// best time of each contender for the summary.
// Header only: bench/CMakeLists.txt makes a program of every bench_*.cpp.
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "core/CDomains.h"
#include "core/CMailRules.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Environment.h"
#include "core/Scramble.h"
#include "engines/POP3CollectorForm.h"
#include "platform/EventWait.h"
#include "support/Peers.h"

namespace CollectorBench {

constexpr std::size_t kMessageBytes = 20 * 1024;
constexpr int kSenders = 100;
constexpr int kDeadlineMs = 600000;
inline const std::string kAccount = "me@home.test";

enum Contender { kOurs, kFetchmail, kPoplib };

// The best time of each contender, for the summary after the runs.
struct BestTimes {
    double seconds[3] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                         std::numeric_limits<double>::max()};
    void note(Contender who, double s) { seconds[who] = std::min(seconds[who], s); }
    bool haveOurs() const { return seconds[kOurs] < std::numeric_limits<double>::max(); }
};

inline double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline std::string Sender(int i) { return "sender" + std::to_string(i % kSenders) + "@there.test"; }

// Message i of about `bytes` bytes, LF line ends as a maildir holds them, with lines
// that need dot-stuffing.
inline std::string MakeMessage(int i, std::size_t bytes) {
    std::string m = "From: Sender " + std::to_string(i % kSenders) + " <" + Sender(i) + ">\nTo: " + kAccount +
                    "\nSubject: message " + std::to_string(i) + "\nDate: Tue, 10 Dec 2002 13:45:12 +0100\n"
                    "Message-ID: <" + std::to_string(i) + "." + std::to_string(bytes) + "@bench.test>\n\n";
    const std::string line(75, 'a' + static_cast<char>(i % 26));
    for (int n = 0; m.size() < bytes; ++n) m += (n % 50 == 0 ? "." : "") + line + "\n";
    return m;
}

inline std::vector<std::string> MakeMailbox(int count) {
    std::vector<std::string> mailbox;
    for (int i = 0; i < count; ++i) mailbox.push_back(MakeMessage(i, kMessageBytes));
    return mailbox;
}

inline std::filesystem::path Maildir(const testing_support::DovecotPeer& peer) {
    return std::filesystem::path(peer.home().toStdString()) / "mail" / "alice" / "Maildir";
}

// Writes the messages into the maildir the way a delivery agent does.
inline bool Deliver(const testing_support::DovecotPeer& peer, const std::vector<std::string>& messages) {
    const struct passwd* mail = ::getpwnam("mail");
    if (!mail) return false;
    static int serial = 0;
    for (const std::string& m : messages) {
        const std::string name = "bench." + std::to_string(++serial);
        const std::filesystem::path temporary = Maildir(peer) / "tmp" / name;
        std::ofstream(temporary, std::ios::binary).write(m.data(), static_cast<std::streamsize>(m.size()));
        if (::chown(temporary.c_str(), mail->pw_uid, mail->pw_gid) != 0) return false;
        std::filesystem::rename(temporary, Maildir(peer) / "new" / name);
    }
    return true;
}

inline std::size_t LeftOnServer(const testing_support::DovecotPeer& peer) {
    std::size_t n = 0;
    for (const char* sub : {"new", "cur"})
        for (const auto& e : std::filesystem::directory_iterator(Maildir(peer) / sub)) n += e.is_regular_file();
    return n;
}

// A new program folder with the account on `port` (its extra accounts.ini lines in
// `accountKeys`, each ending in CR LF) and the senders approved.
inline std::filesystem::path MakeHome(int port, const std::string& accountKeys = "") {
    std::string tmpl = (std::filesystem::temp_directory_path() / "glp-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return {};
    const std::filesystem::path home = tmpl;
    std::filesystem::create_directories(home / "accounts");
    std::ofstream(home / "accounts.ini", std::ios::binary)
        << "[" << kAccount << "]\r\nPOP3CollectorInterval=10\r\nPOP3Server=127.0.0.1\r\nPOP3UserName=alice\r\n"
        << "POP3Password=" << MiscFuncs::ScrambleText("secret") << "\r\nPOP3ServerPort=" << port << "\r\n"
        << accountKeys << "AccountEnabled=1\r\n";
    std::ofstream senders(home / "accounts" / "senders.ini", std::ios::binary);
    for (int i = 0; i < kSenders; ++i) senders << "[" << Sender(i) << "]\r\nAccessLevel=3\r\n";
    return home;
}

struct Collected {
    double seconds = 0;
    std::size_t stored = 0;
    std::string failure;  // the account's failure text, when the session failed
};

// One collection of the account in `home` by our collector, timed from its start to
// the end of its session.
inline Collected CollectOnce(const std::filesystem::path& home) {
    MiscFuncs::SetProgramFolder(home);
    Collected result;
    CDomains domains;
    CSenders senders;
    CMessages store;
    senders.AttachMessageStore(store);
    CMailRules rules;
    int ends = 0;
    POP3CollectorForm::Hooks hooks;
    hooks.sessionEnded = [&](std::int32_t) { ++ends; };
    POP3CollectorForm form({domains, senders, store, rules}, hooks);
    const auto start = std::chrono::steady_clock::now();
    form.Form_Load();
    platform::WaitUntil([&] { return ends > 0; }, kDeadlineMs);
    result.seconds = Since(start);
    result.stored = store.Count();
    result.failure = form.LastFailure(1);
    form.Form_Unload();
    senders.DetachMessageStore();
    return result;
}

}  // namespace CollectorBench
