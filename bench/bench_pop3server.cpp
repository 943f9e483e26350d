// The local POP3 server beside Debian's dovecot-pop3d, the same client (Python's
// poplib) fetching the same messages from each in the same run:
//  - Serve2000: 2,000 messages of about 20 KB, RETR and DELE of each, then QUIT;
//  - Serve50MB: one message of 50 MB, RETR and DELE, then QUIT.
// Each iteration is one client session, timed by the client from its connection to
// the reply to QUIT (Python's start-up stays out of it). Dovecot runs first; our run
// reports `vs_dovecot`, its time over dovecot's mean time (at most 0.7 wanted), and
// for the large message `rate_vs_dovecot`, its rate over dovecot's (at least 0.5).
//
// Needs root (a private dovecot instance) and the peers of scripts/setup-debian.sh.
#include <benchmark/benchmark.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/Environment.h"
#include "core/MessageKey.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"
#include "engines/POP3ServerForm.h"
#include "platform/EventWait.h"
#include "support/Peers.h"

namespace {

namespace fs = std::filesystem;

const char kAccount[] = "alice@example.test";

const char kClient[] = R"PY(
import poplib, sys, time
port, user, password = sys.argv[1:4]
start = time.perf_counter()
c = poplib.POP3("127.0.0.1", int(port), timeout=60)
c.user(user)
c.pass_(password)
count = c.stat()[0]
octets = 0
for n in range(1, count + 1):
    octets += sum(len(l) + 2 for l in c.retr(n)[1])
    c.dele(n)
c.quit()
print(time.perf_counter() - start, count, octets)
)PY";

// A message as the provider holds it (LF), about `size` bytes, with lines that start
// with a dot so that both servers deal with dot-stuffing.
std::string ProviderMessage(int number, std::size_t size) {
    std::string m = "From: sender" + std::to_string(number) + "@example.test\nTo: alice@example.test\n"
                    "Subject: message " + std::to_string(number) + "\nMessage-ID: <" + std::to_string(number) +
                    "@example.test>\n\n";
    for (int line = 0; m.size() < size; ++line) {
        if (line % 50 == 7) m += ".a line that starts with a dot\n";
        else m += std::string(76, static_cast<char>('a' + line % 26)) + "\n";
    }
    return m;
}

// The same message as the collector stores it: CR LF, dot-stuffed.
std::string WireForm(const std::string& message) {
    std::string wire;
    wire.reserve(message.size() + message.size() / 40);
    bool lineStart = true;
    for (char c : message) {
        if (lineStart && c == '.') wire += '.';
        if (c == '\n') wire += '\r';
        wire += c;
        lineStart = c == '\n';
    }
    return wire;
}

struct Session {
    bool ok = false;
    double seconds = 0;
    long long count = 0, octets = 0;
};

// Runs the client while the event loop keeps our server going.
Session RunClient(quint16 port, const QString& user) {
    Session s;
    QProcess client;
    client.start("/usr/bin/python3", {"-c", kClient, QString::number(port), user, "secret"});
    if (!client.waitForStarted(5000)) return s;
    platform::WaitUntil([&] { return client.state() == QProcess::NotRunning; }, 600000);
    const QList<QByteArray> out = client.readAllStandardOutput().trimmed().split(' ');
    if (client.exitCode() != 0 || out.size() != 3) return s;
    s.ok = true;
    s.seconds = out[0].toDouble();
    s.count = out[1].toLongLong();
    s.octets = out[2].toLongLong();
    return s;
}

// The program folder with the account, created once.
const fs::path& ProgramFolder() {
    static const fs::path folder = [] {
        const fs::path made = BenchSupport::NewTempFolder("pop3");
        MiscFuncs::SetProgramFolder(made);
        CIniFile(ProgramFiles::AccountsIniPath().string()).Value(kAccount, "POP3Password", MiscFuncs::ScrambleText("secret"));
        return made;
    }();
    return folder;
}

// Puts a message into dovecot's Maildir the way its peer script does; a message of
// 50 MB is too big for the script's command line.
bool DeliverToDovecot(testing_support::DovecotPeer& dovecot, int number, const std::string& message) {
    if (message.size() < 1024 * 1024)
        return !dovecot.deliver("alice", QByteArray::fromStdString(message)).isEmpty();
    const fs::path maildir = fs::path(dovecot.home().toStdString()) / "mail" / "alice" / "Maildir";
    const std::string name = "big" + std::to_string(number) + ".glp-bench";
    const struct passwd* mail = ::getpwnam("mail");
    if (mail == nullptr) return false;
    std::ofstream(maildir / "tmp" / name, std::ios::binary) << message;
    std::error_code error;
    fs::rename(maildir / "tmp" / name, maildir / "new" / name, error);
    return !error && ::chown((maildir / "new" / name).c_str(), mail->pw_uid, mail->pw_gid) == 0;
}

std::map<std::string, double> g_dovecotSeconds;  // per benchmark: mean of dovecot's sessions

void Report(benchmark::State& state, const std::string& name, double total, long long octets, bool ours) {
    const double mean = total / static_cast<double>(state.iterations());
    state.SetBytesProcessed(octets);
    if (!ours) g_dovecotSeconds[name] = mean;
    else if (g_dovecotSeconds.count(name)) {
        state.counters["vs_dovecot"] = mean / g_dovecotSeconds[name];
        state.counters["rate_vs_dovecot"] = g_dovecotSeconds[name] / mean;
    }
}

void ServeDovecot(benchmark::State& state, const std::string& name, int messages, std::size_t size) {
    testing_support::DovecotPeer dovecot;
    if (!dovecot.start()) {
        state.SkipWithError("dovecot did not start (root and dovecot-pop3d needed)");
        return;
    }
    double total = 0;
    long long octets = 0;
    for (auto _ : state) {
        for (int i = 0; i < messages; ++i) {
            if (!DeliverToDovecot(dovecot, i, ProviderMessage(i, size))) {
                state.SkipWithError("delivery to dovecot failed");
                return;
            }
        }
        const Session s = RunClient(dovecot.port(), "alice");
        if (!s.ok || s.count != messages) {
            state.SkipWithError("the client failed against dovecot");
            return;
        }
        state.SetIterationTime(s.seconds);
        total += s.seconds;
        octets += s.octets;
    }
    Report(state, name, total, octets, false);
}

void ServeOurs(benchmark::State& state, const std::string& name, int messages, std::size_t size) {
    ProgramFolder();
    CMessages store(CMessages::Start::Empty);
    POP3ServerForm form(store);
    const quint16 port = testing_support::FreePort();
    if (!form.Form_Load(std::to_string(port))) {
        state.SkipWithError("the server could not listen");
        return;
    }
    const fs::path inbox = MessageKeys::FolderPath(kAccount, MessageKeys::kInBox);
    fs::create_directories(inbox);
    double total = 0;
    long long octets = 0;
    for (auto _ : state) {
        for (int i = 0; i < messages; ++i) {
            const std::string file = "sender" + std::to_string(i) + "@example.test " + std::to_string(i) + ".eml";
            std::ofstream(inbox / file, std::ios::binary) << WireForm(ProviderMessage(i, size));
            store.AddMessage(kAccount, file, MessageKeys::kInBox);
        }
        const Session s = RunClient(port, kAccount);
        if (!s.ok || s.count != messages || store.Count() != 0) {
            state.SkipWithError("the client failed against our server");
            return;
        }
        state.SetIterationTime(s.seconds);
        total += s.seconds;
        octets += s.octets;
    }
    Report(state, name, total, octets, true);
}

void BM_Serve2000_Dovecot(benchmark::State& state) { ServeDovecot(state, "2000", 2000, 20 * 1024); }
void BM_Serve2000_Glimmerpost(benchmark::State& state) { ServeOurs(state, "2000", 2000, 20 * 1024); }
void BM_Serve50MB_Dovecot(benchmark::State& state) { ServeDovecot(state, "50MB", 1, 50 * 1024 * 1024); }
void BM_Serve50MB_Glimmerpost(benchmark::State& state) { ServeOurs(state, "50MB", 1, 50 * 1024 * 1024); }

// Dovecot first: our runs are compared with its figures.
BENCHMARK(BM_Serve2000_Dovecot)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serve2000_Glimmerpost)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serve50MB_Dovecot)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serve50MB_Glimmerpost)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    platform::InstallEventPump();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(ProgramFolder(), ignored);
    return 0;
}
