// One registration request composed and sent by CEsmtp to a local aiosmtpd, beside
// Python's smtplib sending the same bytes to the same server in the same run.
//
// Both sides make one whole SMTP session per send: connect, greeting, EHLO, MAIL,
// RCPT, DATA with the message, QUIT. CEsmtp's time also holds composing the mail
// (reading the account and the texts, building the bodies and the header block);
// smtplib gets the finished bytes. smtplib runs in one Python process that loops over
// the sends and reports its own time per send (perf_counter around the session), so
// neither interpreter start-up nor the pipe to it is counted. Both use manual time,
// in repetitions that take turns (compare the medians).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/CIniFile.h"
#include "core/Environment.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"
#include "engines/CEsmtp.h"
#include "platform/EventWait.h"
#include "platform/SocketControl.h"
#include "support/Peers.h"

namespace {

constexpr const char* kAccount = "me@example.test";
constexpr const char* kRecipient = "Ann Other <ann@example.test>";

struct World {
    QTemporaryDir folder;
    testing_support::SmtpPeer smtp;
    platform::SocketControl socket;
    // As in the program, whose main window holds the settings files open for the
    // whole run, so that a send finds them parsed.
    CIniFile accounts;
    CIniFile options;
    std::string error;

    bool start() {
        if (!folder.isValid()) return fail("no temporary folder");
        MiscFuncs::SetProgramFolder(folder.path().toStdString());
        if (!smtp.start()) return fail(smtp.error().toStdString());
        accounts.IniFile(ProgramFiles::AccountsIniPath().string());
        options.IniFile(ProgramFiles::OptionsIniPath().string());
        accounts.Value(kAccount, "DisplayName", "Me Myself");
        accounts.Value(kAccount, "SMTPServer", "127.0.0.1");
        accounts.Value(kAccount, "SMTPServerPort", std::to_string(smtp.port()));
        options.Value("options", "msg_RegRequest_Text1", MiscFuncs::ScrambleText("Please confirm that you are a person."));
        options.Value("options", "msg_RegRequest_Text2", MiscFuncs::ScrambleText("Your mail waits until then."));
        options.Value("options", "msg_RegRequest_Text3", MiscFuncs::ScrambleText("Thanks"));
        return true;
    }
    bool fail(std::string why) {
        error = std::move(why);
        return false;
    }
};

World& world() {
    static World w;
    return w;
}

void BM_CEsmtpComposeAndSendRequest(benchmark::State& state) {
    World& w = world();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CEsmtp esmtp;
        const bool sent = esmtp.SendMessage(MessageType::RegistrationRequest, kAccount, kRecipient, "Lunch?", w.socket);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!sent) {
            state.SkipWithError(("send failed: " + esmtp.LastError).c_str());
            return;
        }
        state.SetIterationTime(took.count());
        // The program's main loop deletes the closed connections; this loop of
        // nested event runs must do it itself, outside the timing.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(BM_CEsmtpComposeAndSendRequest)->UseManualTime()->Unit(benchmark::kMillisecond);

// The bytes the server received from CEsmtp: what smtplib sends in its turn.
QByteArray requestBytes() {
    World& w = world();
    CEsmtp esmtp;
    const int before = static_cast<int>(w.smtp.transactions().size());
    if (!esmtp.SendMessage(MessageType::RegistrationRequest, kAccount, kRecipient, "Lunch?", w.socket)) return {};
    if (!w.smtp.waitForTransactions(before + 1)) return {};
    return w.smtp.transactions().last().data;
}

constexpr const char* kSmtplibLoop = R"PY(
import base64, smtplib, sys, time
port, data = int(sys.argv[1]), base64.b64decode(sys.argv[2])
for _ in sys.stdin:
    start = time.perf_counter()
    with smtplib.SMTP("127.0.0.1", port) as s:
        s.sendmail("me@example.test", ["ann@example.test"], data)
    print(time.perf_counter() - start, flush=True)
)PY";

void BM_SmtplibSendSameBytes(benchmark::State& state) {
    World& w = world();
    const QByteArray data = requestBytes();
    if (data.isEmpty()) {
        state.SkipWithError("no request bytes to send");
        return;
    }
    QProcess python;
    python.start("/usr/bin/python3", {"-c", kSmtplibLoop, QString::number(w.smtp.port()), data.toBase64()});
    if (!python.waitForStarted(10000)) {
        state.SkipWithError("python did not start");
        return;
    }
    for (auto _ : state) {
        python.write("go\n");
        while (!python.canReadLine()) {
            if (!python.waitForReadyRead(10000)) {
                state.SkipWithError(("smtplib: " + python.readAllStandardError().toStdString()).c_str());
                return;
            }
        }
        state.SetIterationTime(python.readLine().trimmed().toDouble());
    }
    python.closeWriteChannel();
    python.waitForFinished(10000);
}
BENCHMARK(BM_SmtplibSendSameBytes)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    platform::InstallEventPump();
    MiscFuncs::SetLogLevel(-1);
    // Loopback timings drift with the machine's load: the two sides take turns in
    // repetitions, and the medians are compared. Flags given on the command line win.
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=9";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions, interleave, aggregates});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (!world().start()) {
        std::fprintf(stderr, "bench_smtp: %s\n", world().error.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    world().smtp.stop();
    return 0;
}
