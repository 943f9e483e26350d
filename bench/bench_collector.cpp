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

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CollectorBench.h"
#include "support/Peers.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

using namespace CollectorBench;

constexpr int kMessages = 2000;

std::unique_ptr<DovecotPeer> g_peer;
std::vector<std::string> g_mailbox;
BestTimes g_best;

bool deliver(const std::vector<std::string>& messages) { return Deliver(*g_peer, messages); }
std::size_t leftOnServer() { return LeftOnServer(*g_peer); }

void BM_CollectorDurable(benchmark::State& state) {
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        const fs::path home = MakeHome(g_peer->port());
        const Collected run = CollectOnce(home);
        state.SetIterationTime(run.seconds);
        g_best.note(kOurs, run.seconds);
        fs::remove_all(home);
        if (run.stored != kMessages || leftOnServer() != 0) return state.SkipWithError("not every message was collected");
    }
}

void BM_FetchmailMda(benchmark::State& state) {
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        const auto start = std::chrono::steady_clock::now();
        const FetchmailRun run = RunFetchmail(g_peer->port(), "alice", "secret", false, kDeadlineMs);
        const double seconds = Since(start);
        state.SetIterationTime(seconds);
        g_best.note(kFetchmail, seconds);
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
        const double seconds = Since(start);
        state.SetIterationTime(seconds);
        g_best.note(kPoplib, seconds);
        if (!run.ok() || leftOnServer() != 0) return state.SkipWithError(("poplib: " + run.describe()).c_str());
    }
}

// One message of range(0) MB, collected by the helper program in a process of its own
// so that its peak resident memory can be read.
void BM_LargeMessage(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
    double growth = 0, megabytesPerSecond = 0;
    for (auto _ : state) {
        if (!deliver({MakeMessage(0, bytes)})) return state.SkipWithError("cannot deliver");
        const fs::path home = MakeHome(g_peer->port());
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
    g_mailbox = MakeMailbox(kMessages);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_best.haveOurs()) {
        std::printf("\n2,000 messages of 20 KB, best runs: ours %.3f s, fetchmail --mda %.3f s, poplib %.3f s\n",
                    g_best.seconds[kOurs], g_best.seconds[kFetchmail], g_best.seconds[kPoplib]);
        std::printf("ours / fetchmail = %.2f (at most 0.50 wanted), ours / poplib = %.2f\n",
                    g_best.seconds[kOurs] / g_best.seconds[kFetchmail], g_best.seconds[kOurs] / g_best.seconds[kPoplib]);
    }
    g_peer.reset();
    return 0;
}
