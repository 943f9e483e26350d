// The POP3 collector against the local dovecot, side by side with Debian's fetchmail
// (delivering each message to a file through --mda) and with the floor, Python's
// poplib retrieving and deleting the same mailbox; and one large message collected at
// two sizes, for time and peak memory against its size.
//
// Every run collects the same 2,000 messages of about 20 KB, delivered afresh into the
// maildir; our collector filters each and stores it durably (the session's files are
// synced before QUIT). The summary at the end gives the ratios.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
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

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

constexpr int kMessages = 2000;
constexpr std::size_t kMessageBytes = 20 * 1024;
constexpr int kSenders = 100;
constexpr int kDeadlineMs = 600000;
const std::string kAccount = "me@home.test";

std::unique_ptr<DovecotPeer> g_peer;
std::vector<std::string> g_mailbox;  // LF line ends, as the maildir holds them
double g_best[3] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                    std::numeric_limits<double>::max()};
enum { kOurs, kFetchmail, kPoplib };

std::string sender(int i) { return "sender" + std::to_string(i % kSenders) + "@there.test"; }

std::string makeMessage(int i, std::size_t bytes) {
    std::string m = "From: Sender " + std::to_string(i % kSenders) + " <" + sender(i) + ">\nTo: " + kAccount +
                    "\nSubject: message " + std::to_string(i) + "\nDate: Tue, 10 Dec 2002 13:45:12 +0100\n"
                    "Message-ID: <" + std::to_string(i) + "." + std::to_string(bytes) + "@bench.test>\n\n";
    const std::string line(75, 'a' + static_cast<char>(i % 26));
    for (int n = 0; m.size() < bytes; ++n) m += (n % 50 == 0 ? "." : "") + line + "\n";
    return m;
}

fs::path maildir() { return fs::path(g_peer->home().toStdString()) / "mail" / "alice" / "Maildir"; }

// Writes the messages into the maildir the way a delivery agent does.
bool deliver(const std::vector<std::string>& messages) {
    const struct passwd* mail = ::getpwnam("mail");
    if (!mail) return false;
    static int serial = 0;
    for (const std::string& m : messages) {
        const std::string name = "bench." + std::to_string(++serial);
        const fs::path temporary = maildir() / "tmp" / name;
        std::ofstream(temporary, std::ios::binary).write(m.data(), static_cast<std::streamsize>(m.size()));
        if (::chown(temporary.c_str(), mail->pw_uid, mail->pw_gid) != 0) return false;
        fs::rename(temporary, maildir() / "new" / name);
    }
    return true;
}

std::size_t leftOnServer() {
    std::size_t n = 0;
    for (const char* sub : {"new", "cur"})
        for (const auto& e : fs::directory_iterator(maildir() / sub)) n += e.is_regular_file() ? 1 : 0;
    return n;
}

// A program folder with the account and the senders approved.
fs::path makeHome() {
    std::string tmpl = (fs::temp_directory_path() / "glp-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return {};
    const fs::path home = tmpl;
    fs::create_directories(home / "accounts");
    std::ofstream(home / "accounts.ini", std::ios::binary)
        << "[" << kAccount << "]\r\nPOP3CollectorInterval=10\r\nPOP3Server=127.0.0.1\r\nPOP3UserName=alice\r\n"
        << "POP3Password=" << MiscFuncs::ScrambleText("secret") << "\r\nPOP3ServerPort=" << g_peer->port()
        << "\r\nAccountEnabled=1\r\n";
    std::ofstream senders(home / "accounts" / "senders.ini", std::ios::binary);
    for (int i = 0; i < kSenders; ++i) senders << "[" << sender(i) << "]\r\nAccessLevel=3\r\n";
    return home;
}

void note(int which, double seconds) { g_best[which] = std::min(g_best[which], seconds); }

void BM_CollectorDurable(benchmark::State& state) {
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        const fs::path home = makeHome();
        MiscFuncs::SetProgramFolder(home);
        std::size_t stored = 0;
        {
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
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            state.SetIterationTime(seconds);
            note(kOurs, seconds);
            stored = store.Count();
            form.Form_Unload();
            senders.DetachMessageStore();
        }
        fs::remove_all(home);
        if (stored != kMessages || leftOnServer() != 0) return state.SkipWithError("not every message was collected");
    }
}

void BM_FetchmailMda(benchmark::State& state) {
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        const auto start = std::chrono::steady_clock::now();
        const FetchmailRun run = RunFetchmail(g_peer->port(), "alice", "secret", false, kDeadlineMs);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        note(kFetchmail, seconds);
        if (run.delivered.size() != kMessages || leftOnServer() != 0)
            return state.SkipWithError(("fetchmail: " + run.run.describe()).c_str());
    }
}

void BM_PoplibFloor(benchmark::State& state) {
    const QString code = R"PY(
import poplib, sys
p = poplib.POP3("127.0.0.1", int(sys.argv[1]))
p.user(sys.argv[2]); p.pass_(sys.argv[3])
count, _ = p.stat()
for i in range(1, count + 1):
    p.retr(i)
    p.dele(i)
p.quit()
)PY";
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        const auto start = std::chrono::steady_clock::now();
        const CommandResult run = RunPython(code, {QString::number(g_peer->port()), "alice", "secret"}, kDeadlineMs);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        note(kPoplib, seconds);
        if (!run.ok() || leftOnServer() != 0) return state.SkipWithError(("poplib: " + run.describe()).c_str());
    }
}

// One message of range(0) MB, collected by the helper program in a process of its own
// so that its peak resident memory can be read.
void BM_LargeMessage(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
    double growth = 0, megabytesPerSecond = 0;
    for (auto _ : state) {
        if (!deliver({makeMessage(0, bytes)})) return state.SkipWithError("cannot deliver");
        const fs::path home = makeHome();
        QProcess helper;
        helper.start(GLP_COLLECT_ONCE, {"--home", QString::fromStdString(home.string())});
        helper.waitForFinished(kDeadlineMs);
        const QByteArray out = helper.readAllStandardOutput();
        fs::remove_all(home);
        const QList<QByteArray> f = out.mid(out.indexOf("COLLECTED ")).split('\n').value(0).split(' ');
        if (f.size() != 4 || leftOnServer() != 0) return state.SkipWithError(out.constData());
        const double seconds = f[1].toDouble() / 1000;
        state.SetIterationTime(seconds);
        growth = (f[3].toDouble() - f[2].toDouble()) * 1024 / static_cast<double>(bytes);
        megabytesPerSecond = static_cast<double>(state.range(0)) / seconds;
    }
    state.counters["rss_growth_per_size"] = growth;
    state.counters["MB_per_s"] = megabytesPerSecond;
}

}  // namespace

BENCHMARK(BM_FetchmailMda)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectorDurable)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PoplibFloor)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeMessage)->Arg(10)->Arg(50)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    platform::InstallEventPump();
    benchmark::Initialize(&argc, argv);
    if (!PeersAvailable({PeerProgram::Dovecot, PeerProgram::Fetchmail, PeerProgram::Python})) {
        std::fprintf(stderr, "%s\n", MissingPeers({PeerProgram::Dovecot, PeerProgram::Fetchmail}).c_str());
        return 1;
    }
    g_peer = std::make_unique<DovecotPeer>();
    if (!g_peer->start()) {
        std::fprintf(stderr, "dovecot: %s\n", g_peer->error().toStdString().c_str());
        return 1;
    }
    for (int i = 0; i < kMessages; ++i) g_mailbox.push_back(makeMessage(i, kMessageBytes));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_best[kOurs] < std::numeric_limits<double>::max()) {
        std::printf("\n2,000 messages of 20 KB, best runs: ours %.3f s, fetchmail --mda %.3f s, poplib %.3f s\n",
                    g_best[kOurs], g_best[kFetchmail], g_best[kPoplib]);
        std::printf("ours / fetchmail = %.2f (at most 0.50 wanted), ours / poplib = %.2f\n",
                    g_best[kOurs] / g_best[kFetchmail], g_best[kOurs] / g_best[kPoplib]);
    }
    g_peer.reset();
    return 0;
}
