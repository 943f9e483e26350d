// glp_collect_once --home DIR: starts as the program does (the lists, the marker file
// of a running program), runs one session for every enabled account, prints
// "ENDED <new messages>" for each, and shuts down as the program does.
//
// GLP_COLLECT_KILL_AT="<point>[:<n>]" makes it raise SIGKILL on itself the n-th time
// (1 when not given) a session passes that point ("after-retr", "after-save",
// "after-dele", "before-quit", "after-quit"), as a crash or a power cut would.
// At the end it prints "COLLECTED <ms> <rss before kB> <peak rss kB>": the time from
// the start of the sessions to the last end, and the resident memory before the
// sessions and at its highest (for the benchmarks).
// Exit codes: 0 done, 1 no program folder, 2 no account, 3 the deadline passed.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/AtomicFile.h"
#include "core/CDomains.h"
#include "core/CMailRules.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"
#include "engines/OutBoxMessage.h"
#include "engines/POP3CollectorForm.h"
#include "platform/DataFolder.h"
#include "platform/EventWait.h"

namespace {

constexpr int kDeadlineMs = 120000;

struct KillPoint {
    std::string point;
    int at = 0;
    int seen = 0;
};

KillPoint killPointFromEnvironment() {
    KillPoint kill;
    const char* value = std::getenv("GLP_COLLECT_KILL_AT");
    if (!value || !*value) return kill;
    std::string text = value;
    const std::size_t colon = text.find(':');
    kill.at = colon == std::string::npos ? 1 : std::atoi(text.c_str() + colon + 1);
    kill.point = text.substr(0, colon);
    return kill;
}

// VmRSS or VmHWM of /proc/self/status in kB. (getrusage's ru_maxrss would do for the
// peak, but it keeps the peak of the process image before execve.)
long statusKb(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') kb = std::atol(line + length + 1);
    std::fclose(f);
    return kb;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (platform::UseDataFolder(app.arguments()).isEmpty()) return 1;
    platform::InstallEventPump();
    MiscFuncs::SetLogLevel(2);
    KillPoint kill = killPointFromEnvironment();

    int result = 0;
    {
        CDomains domains;
        CSenders senders;
        CMessages store;
        senders.AttachMessageStore(store);
        CMailRules rules;
        MiscFuncs::WriteFileAtomic(ProgramFiles::RunningMarkerPath(), "running");

        int ends = 0;
        POP3CollectorForm::Hooks hooks;
        hooks.sessionEnded = [&](std::int32_t n) {
            std::printf("ENDED %d\n", static_cast<int>(n));
            std::fflush(stdout);
            ++ends;
        };
        hooks.addNewMessage = [](MessageType type, std::string_view account, std::string_view recipient,
                                 std::string_view subject) {
            return !OutBox::Queue(type, account, recipient, subject).empty();
        };
        hooks.checkpoint = [&kill](std::string_view point) {
            if (point == kill.point && ++kill.seen == kill.at) std::raise(SIGKILL);
        };
        POP3CollectorForm form({domains, senders, store, rules}, hooks);
        const long rssBefore = statusKb("VmRSS");
        QElapsedTimer clock;
        clock.start();
        form.Form_Load();
        if (form.SlotCount() == 0) {
            result = 2;
        } else if (!platform::WaitUntil([&] { return ends >= form.SlotCount(); }, kDeadlineMs)) {
            result = 3;
        }
        std::printf("COLLECTED %lld %ld %ld\n", static_cast<long long>(clock.elapsed()), rssBefore,
                    statusKb("VmHWM"));
        form.Form_Unload();
        senders.DetachMessageStore();
    }
    std::error_code ec;
    std::filesystem::remove(ProgramFiles::RunningMarkerPath(), ec);
    return result;
}
