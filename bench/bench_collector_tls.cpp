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
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
#include "support/TlsCertificates.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

constexpr int kMessages = 500;
constexpr std::size_t kMessageBytes = 20 * 1024;
constexpr int kSenders = 100;
constexpr int kDeadlineMs = 600000;
const std::string kAccount = "me@home.test";

std::unique_ptr<TestCertificates> g_certificates;
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

// A program folder with the account (TLS from the first byte) and the senders approved.
fs::path makeHome() {
    std::string tmpl = (fs::temp_directory_path() / "glp-bench-tls-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return {};
    const fs::path home = tmpl;
    fs::create_directories(home / "accounts");
    std::ofstream(home / "accounts.ini", std::ios::binary)
        << "[" << kAccount << "]\r\nPOP3CollectorInterval=10\r\nPOP3Server=127.0.0.1\r\nPOP3UserName=alice\r\n"
        << "POP3Password=" << MiscFuncs::ScrambleText("secret") << "\r\nPOP3ServerPort=" << g_peer->pop3sPort()
        << "\r\nPOP3Security=2\r\nAccountEnabled=1\r\n";
    std::ofstream senders(home / "accounts" / "senders.ini", std::ios::binary);
    for (int i = 0; i < kSenders; ++i) senders << "[" << sender(i) << "]\r\nAccessLevel=3\r\n";
    return home;
}

void note(int which, double seconds) { g_best[which] = std::min(g_best[which], seconds); }

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_CollectorTls(benchmark::State& state) {
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        const fs::path home = makeHome();
        MiscFuncs::SetProgramFolder(home);
        std::size_t stored = 0;
        std::string failure;
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
            const double seconds = since(start);
            state.SetIterationTime(seconds);
            note(kOurs, seconds);
            stored = store.Count();
            failure = form.LastFailure(1);
            form.Form_Unload();
            senders.DetachMessageStore();
        }
        fs::remove_all(home);
        if (stored != kMessages || leftOnServer() != 0)
            return state.SkipWithError(("not every message was collected: " + failure).c_str());
    }
}

// fetchmail over TLS from the first byte, checking the certificate against the CA.
void BM_FetchmailTls(benchmark::State& state) {
    for (auto _ : state) {
        if (!deliver(g_mailbox)) return state.SkipWithError("cannot deliver");
        QTemporaryDir dir;
        const QString rc = dir.filePath("fetchmailrc"), mda = dir.filePath("deliver.sh"), out = dir.filePath("out");
        QDir().mkdir(out);
        {
            QFile f(rc);
            f.open(QIODevice::WriteOnly);
            f.write(QString("poll 127.0.0.1 protocol pop3 port %1 user \"alice\" password \"secret\"\n")
                        .arg(g_peer->pop3sPort()).toUtf8());
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            QFile m(mda);
            m.open(QIODevice::WriteOnly);
            m.write(QString("#!/bin/sh\nexec cat > \"%1/$(date +%s%N)\"\n").arg(out).toUtf8());
            m.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QStringList args{"HOME=" + dir.path(), "FETCHMAILHOME=" + dir.path(), "/usr/bin/fetchmail", "-f", rc,
                               "--ssl", "--sslcertck", "--sslcertfile", g_certificates->caFile(),
                               "--sslcommonname", "localhost", "--mda", mda, "--nokeep"};
        const auto start = std::chrono::steady_clock::now();
        const CommandResult run = RunCommand("/usr/bin/env", args, kDeadlineMs);
        const double seconds = since(start);
        state.SetIterationTime(seconds);
        note(kFetchmail, seconds);
        if (QDir(out).entryList(QDir::Files).size() != kMessages || leftOnServer() != 0)
            return state.SkipWithError(("fetchmail: " + run.describe()).c_str());
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
        const double seconds = since(start);
        state.SetIterationTime(seconds);
        note(kPoplib, seconds);
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
    for (int i = 0; i < kMessages; ++i) g_mailbox.push_back(makeMessage(i, kMessageBytes));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_best[kOurs] < std::numeric_limits<double>::max()) {
        std::printf("\n500 messages of 20 KB over TLS, best runs: ours %.3f s, fetchmail --ssl %.3f s, "
                    "poplib.POP3_SSL %.3f s\n", g_best[kOurs], g_best[kFetchmail], g_best[kPoplib]);
        std::printf("ours / fetchmail = %.2f (at most 0.50 wanted), ours / poplib = %.2f (at most 2.50 wanted)\n",
                    g_best[kOurs] / g_best[kFetchmail], g_best[kOurs] / g_best[kPoplib]);
    }
    g_peer.reset();
    return 0;
}
