// The POP3 collector over TLS from the first byte (pop3s) against the local dovecot,
// with a throw-away CA named in SSL_CERT_FILE, side by side with Debian's fetchmail
// over TLS (--ssl, the certificate checked, each message to a file through --mda) and
// with the floor, Python's poplib.POP3_SSL retrieving and deleting the same mailbox.
//
// Every run collects the same 500 messages of about 20 KB, delivered afresh into the
// maildir; our collector filters each and stores it durably. The summary at the end
// gives the ratios (wanted: at most half of fetchmail's time, at most 2.5 times the
// bare drain).

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CollectorBench.h"
#include "support/Peers.h"
#include "support/TlsCertificates.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

using namespace CollectorBench;

constexpr int kMessages = 500;

std::unique_ptr<TestCertificates> g_certificates;
std::unique_ptr<DovecotPeer> g_peer;
std::vector<std::string> g_mailbox;
BestTimes g_best;

bool deliver(const std::vector<std::string>& messages) { return Deliver(*g_peer, messages); }
std::size_t leftOnServer() { return LeftOnServer(*g_peer); }

// The account speaks TLS from the first byte.
void BM_CollectorTls(benchmark::State& state) {
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        const fs::path home = MakeHome(g_peer->pop3sPort(), "POP3Security=2\r\n");
        const Collected run = CollectOnce(home);
        state.SetIterationTime(run.seconds);
        g_best.note(kOurs, run.seconds);
        fs::remove_all(home);
        if (run.stored != kMessages || leftOnServer() != 0)
            return state.SkipWithError(("not every message was collected: " + run.failure).c_str());
    }
}

// fetchmail over TLS from the first byte, checking the certificate against the CA.
void BM_FetchmailTls(benchmark::State& state) {
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        const auto start = std::chrono::steady_clock::now();
        const FetchmailRun run =
            RunFetchmail(g_peer->pop3sPort(), "alice", "secret", false, kDeadlineMs, g_certificates->caFile());
        const double seconds = Since(start);
        state.SetIterationTime(seconds);
        g_best.note(kFetchmail, seconds);
        if (run.delivered.size() != kMessages || leftOnServer() != 0)
            return state.SkipWithError(("fetchmail: " + run.run.describe()).c_str());
    }
}

void BM_PoplibTlsFloor(benchmark::State& state) {
    const QString code = R"PY(
import poplib, ssl, sys
context = ssl.create_default_context(cafile=sys.argv[4])
p = poplib.POP3_SSL("127.0.0.1", int(sys.argv[1]), context=context)
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
        const CommandResult run = RunPython(
            code, {QString::number(g_peer->pop3sPort()), "alice", "secret", g_certificates->caFile()}, kDeadlineMs);
        const double seconds = Since(start);
        state.SetIterationTime(seconds);
        g_best.note(kPoplib, seconds);
        if (!run.ok() || leftOnServer() != 0) return state.SkipWithError(("poplib: " + run.describe()).c_str());
    }
}

}  // namespace

BENCHMARK(BM_FetchmailTls)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectorTls)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PoplibTlsFloor)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    platform::InstallEventPump();
    benchmark::Initialize(&argc, argv);
    const auto needed = {PeerProgram::Dovecot, PeerProgram::Fetchmail, PeerProgram::Python, PeerProgram::Openssl};
    if (!PeersAvailable(needed)) {
        std::fprintf(stderr, "%s\n", MissingPeers(needed).c_str());
        return 1;
    }
    g_certificates = std::make_unique<TestCertificates>();
    if (!g_certificates->make()) {
        std::fprintf(stderr, "%s\n", g_certificates->error().toStdString().c_str());
        return 1;
    }
    const TrustedCa trusted(g_certificates->caFile());
    g_peer = std::make_unique<DovecotPeer>();
    g_peer->setTls(g_certificates->server(), false, true);
    if (!g_peer->start()) {
        std::fprintf(stderr, "dovecot: %s\n", g_peer->error().toStdString().c_str());
        return 1;
    }
    g_mailbox = MakeMailbox(kMessages);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_best.haveOurs()) {
        std::printf("\n500 messages of 20 KB over TLS, best runs: ours %.3f s, fetchmail --ssl %.3f s, "
                    "poplib.POP3_SSL %.3f s\n", g_best.seconds[kOurs], g_best.seconds[kFetchmail], g_best.seconds[kPoplib]);
        std::printf("ours / fetchmail = %.2f (at most 0.50 wanted), ours / poplib = %.2f (at most 2.50 wanted)\n",
                    g_best.seconds[kOurs] / g_best.seconds[kFetchmail], g_best.seconds[kOurs] / g_best.seconds[kPoplib]);
    }
    g_peer.reset();
    return 0;
}
