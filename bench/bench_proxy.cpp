// A 20 MB message sent with smtplib to aiosmtpd, directly and through the local SMTP
// proxy, side by side in one run. The proxy's cost is the difference.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <memory>

#include "core/Environment.h"
#include "engines/SMTPProxyForm.h"
#include "platform/EventWait.h"
#include "platform/Online.h"
#include "support/Peers.h"

namespace {

constexpr int kMessageBytes = 20 * 1024 * 1024;
constexpr int kSendDeadlineMs = 120000;

const char kSend[] = R"PY(
import smtplib, sys
message = sys.stdin.buffer.read()
with smtplib.SMTP("127.0.0.1", int(sys.argv[1]), timeout=100) as s:
    s.sendmail("alice@example.test", ["bob@example.test"], message)
)PY";

struct Rig {
    QTemporaryDir folder;
    testing_support::SmtpPeer smtp;
    std::unique_ptr<SMTPProxyForm> proxy;
    quint16 proxyPort = 0;
    QByteArray message;
};

Rig* g_rig = nullptr;

QByteArray Message() {
    QByteArray message = "Subject: bench\r\n\r\n";
    const QByteArray line = QByteArray(76, 'x') + "\r\n";
    while (message.size() < kMessageBytes) message += line;
    return message;
}

// Waits in a real event loop, so the proxy runs at full speed meanwhile.
bool SendWithSmtplib(quint16 port) {
    QProcess process;
    process.start("/usr/bin/python3", {"-c", kSend, QString::number(port)});
    if (!process.waitForStarted(kSendDeadlineMs)) return false;
    process.write(g_rig->message);
    process.closeWriteChannel();
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kSendDeadlineMs, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning) loop.exec();
    if (process.state() != QProcess::NotRunning) process.kill();
    process.waitForFinished(1000);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void Send(benchmark::State& state, quint16 port) {
    for (auto _ : state) {
        if (!SendWithSmtplib(port)) {
            state.SkipWithError("smtplib could not send the message");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * g_rig->message.size());
}

void BM_SmtplibDirect(benchmark::State& state) { Send(state, g_rig->smtp.port()); }
void BM_SmtplibThroughProxy(benchmark::State& state) { Send(state, g_rig->proxyPort); }

BENCHMARK(BM_SmtplibDirect)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_SmtplibThroughProxy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

bool Prepare(Rig& rig) {
    if (!rig.folder.isValid() || !rig.smtp.start()) return false;
    MiscFuncs::SetProgramFolder(rig.folder.path().toStdString());
    MiscFuncs::SetOnlineCheck([] { return true; });
    rig.proxyPort = testing_support::FreePort();
    std::ofstream(rig.folder.filePath("glimmerpost.ini").toStdString(), std::ios::binary)
        << "[options]\r\nSMTPServerPort=" << rig.proxyPort << "\r\n";
    std::ofstream(rig.folder.filePath("accounts.ini").toStdString(), std::ios::binary)
        << "[alice@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=" << rig.smtp.port() << "\r\n";
    rig.proxy = std::make_unique<SMTPProxyForm>();
    rig.message = Message();
    return rig.proxy->Load();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    platform::InstallEventPump();
    Rig rig;
    g_rig = &rig;
    if (!Prepare(rig)) {
        std::fprintf(stderr, "bench_proxy: could not start aiosmtpd or the proxy\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rig.proxy.reset();
    return 0;
}
