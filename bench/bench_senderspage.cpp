// The senders and messages page of the running program (offscreen, window shown) over
// 20,000 senders and 100,000 stored messages in 3 accounts, each beside a baseline
// that does the least work the same answer needs:
//  - filling each tab, against a bare loop that formats the same rows into strings;
//  - one search keystroke on the All senders and the Messages tab (a text that
//    matches every row: the fill is as large as it gets);
//  - a header click that sorts the Messages tab's 100,000 rows, by text and by date;
//  - approving 1,000 selected senders with their held mail (4,000 files), with the
//    number of times senders.ini was put in place ("ini_writes", by inotify);
//  - a collection of 2,000 messages with the Messages tab shown ("refills");
//  - the resident memory the filled tabs add ("rss_added_mb").
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabBar>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Dates.h"
#include "core/Environment.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"
#include "core/Prompt.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramPages.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/SendersPage.h"
#include "mainwindow/SendersView.h"
#include "mainwindow/TrayPresence.h"
#include "platform/EventWait.h"
#include "platform/GridControl.h"

namespace {

namespace fs = std::filesystem;
using namespace mainwindow;

constexpr int kSenders = 20000;
constexpr int kMessages = 100000;
constexpr int kAccounts = 3;
constexpr int kBulk = 1000;
constexpr int kHeldEach = 4;
constexpr int kBulkIterations = 3;
// Senders below kHeld are unknown with kHeldEach messages each in WaitingAuth (real
// files); the others are blocked, waiting or approved, their mail in InBox (header
// cache only: the page never opens those files).
constexpr int kHeld = kBulk * kBulkIterations;
constexpr int kCollected = 2000;

std::string senderAddress(int i) { return "sender" + std::to_string(i) + "@mail" + std::to_string(i % 13) + ".example"; }
std::string accountOf(int i) { return "user" + std::to_string(i % kAccounts) + "@home.example"; }
int levelOf(int i) { return i < kHeld ? 1 : (i % 3 == 0 ? 0 : i % 3 == 1 ? 2 : 3); }

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

struct Program {
    fs::path folder;
    ProgramEngines engines;  // never attached: no engine runs
    ProgramPages pages;
    std::unique_ptr<GlimmerpostProgram> program;

    Program() {
        folder = BenchSupport::NewTempFolder("page");
        MiscFuncs::SetProgramFolder(folder);
        setenv("GLIMMERPOST_REGISTRY", (folder / "registry.reg").c_str(), 1);
        MiscFuncs::SetLogLevel(0);
        writeAccounts();
        writeSenders();
        writeMessages();
        platform::InstallEventPump();
        SetTrayAvailable([] { return false; });
        Prompt::SetPrompt([](const Prompt::Request& r) { return Prompt::DefaultAnswer(r); });
        program = std::make_unique<GlimmerpostProgram>();
        program->SetQuit([](int) {});
        pages.Attach(*program, engines);
        if (program->Start() != GlimmerpostProgram::StartResult::Running) std::abort();
        program->MainForm()->resize(1000, 700);
        program->MainForm()->show();
        platform::PumpEvents();
    }
    ~Program() {
        program.reset();
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    SendersView& view() { return *pages.Senders(); }

    void writeAccounts() {
        std::string text;
        for (int a = 0; a < kAccounts; ++a) {
            text += "[" + accountOf(a) + "]\r\nAccountEnabled=1\r\n";
            for (const char* leaf : {"InBox", "OutBox", "WaitingAuth", "Recycled"})
                fs::create_directories(folder / "accounts" / accountOf(a) / "MailDir" / leaf);
        }
        BenchSupport::WriteText(ProgramFiles::AccountsIniPath(), text);
        BenchSupport::WriteText(folder / "glimmerpost.ini", "[display]\r\nwindowstate=0\r\n[options]\r\nStartWithWindows=0\r\n");
    }
    void writeSenders() {
        const double today = MiscFuncs::NowDate();
        std::string text;
        for (int i = 0; i < kSenders; ++i)
            text += BenchSupport::SenderSection(senderAddress(i), i % 3 == 0 ? "Sender Number " + std::to_string(i) : "",
                                                today - i % 20 + 0.37, levelOf(i), "Message received from sender");
        BenchSupport::WriteText(ProgramFiles::SendersIniPath(), text);
    }
    void writeMessages() {
        BenchSupport::MessageSeeder messages(folder);
        for (int m = 0; m < kMessages; ++m) {
            const bool held = m < kHeld * kHeldEach;
            const int s = held ? m / kHeldEach : kHeld + m % (kSenders - kHeld);
            messages.Add(accountOf(m), held ? "WaitingAuth" : "InBox", senderAddress(s), m,
                         "Subject of message " + std::to_string(m), held);
        }
        messages.Write();
    }
};

Program& program() {
    static Program* p = new Program();  // ends with the process: Qt is gone by then
    return *p;
}

void showTab(int tab) {
    program().view().page().tsSenders()->tabs()->setCurrentIndex(tab - 1);
    platform::PumpEvents();
}

const char* const kTabNames[] = {"", "Unknown", "WaitingAuth", "Registered", "Blocked", "All", "Messages"};

void BM_FillTab(benchmark::State& state) {
    const int tab = static_cast<int>(state.range(0));
    showTab(tab);
    SendersView& view = program().view();
    for (auto _ : state) view.FillSendersGrid();
    state.SetLabel(kTabNames[tab]);
    state.counters["rows"] = view.grid().Rows();
}
BENCHMARK(BM_FillTab)->DenseRange(1, 6)->Unit(benchmark::kMillisecond);

// The same rows as the tab, each formatted into a string of its five fields.
void BM_BaselineFormatRows(benchmark::State& state) {
    const int tab = static_cast<int>(state.range(0));
    GlimmerpostProgram& p = *program().program;
    std::vector<std::string> rows;
    auto format = [&rows](std::string_view a, std::string_view b, std::string_view c, std::string_view d,
                          std::int32_t minutes) {
        std::string row;
        row.reserve(a.size() + b.size() + c.size() + d.size() + 16);
        row.append(a).append(1, '\t').append(b).append(1, '\t').append(c).append(1, '\t').append(d).append(1, '\t');
        row.append(std::to_string(minutes));
        rows.push_back(std::move(row));
    };
    for (auto _ : state) {
        rows.clear();
        if (tab == 6) {
            rows.reserve(p.Messages()->Count());
            for (const auto& item : p.Messages()->MessageIndex())
                format(item.value.From(), item.value.Subject(), item.value.DateText(), item.value.Key(), item.value.Minutes());
        } else {
            const int first = tab == 5 ? 0 : tab == 4 ? 0 : tab, last = tab == 5 ? 3 : tab == 4 ? 0 : tab;
            for (int s = first; s <= last; ++s)
                for (const auto& item : p.Senders()->Lists()[static_cast<std::size_t>(s)])
                    format(item.value.Display(), item.value.Reason(), item.value.DateText(), item.value.Address(),
                           item.value.Minutes);
        }
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetLabel(kTabNames[tab]);
    state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_BaselineFormatRows)->DenseRange(1, 6)->Unit(benchmark::kMillisecond);

// One character typed after "e" (which every row holds): the fill of every row with the
// search applied.
void BM_SearchKeystroke(benchmark::State& state) {
    const int tab = static_cast<int>(state.range(0));
    showTab(tab);
    SendersView& view = program().view();
    view.KeyPress('e');
    for (auto _ : state) {
        view.KeyPress('x');  // "ex" in every row ("example")
        state.PauseTiming();
        view.KeyPress(QChar(8));
        state.ResumeTiming();
    }
    state.SetLabel(kTabNames[tab]);
    state.counters["rows"] = view.grid().Rows();
    view.KeyPress(QChar(27));
}
BENCHMARK(BM_SearchKeystroke)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond);

// The search alone over the same rows: a lower-cased copy of each row searched.
void BM_BaselineSearchRows(benchmark::State& state) {
    GlimmerpostProgram& p = *program().program;
    std::string buffer;
    for (auto _ : state) {
        std::size_t found = 0;
        for (const auto& item : p.Messages()->MessageIndex()) {
            const std::string_view t = item.value.Text();
            buffer.assign(t);
            for (char& c : buffer) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            found += buffer.find("ex") != std::string::npos;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel("Messages");
}
BENCHMARK(BM_BaselineSearchRows)->Unit(benchmark::kMillisecond);

// A click on a header of the Messages tab, right after a fill (the sort keys of that
// column are not made yet).
void BM_HeaderClickSort(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    showTab(6);
    SendersView& view = program().view();
    for (auto _ : state) {
        state.PauseTiming();
        view.FillSendersGrid();
        state.ResumeTiming();
        view.fgSenders_Click(column);
    }
    state.SetLabel(column == 3 ? "Date" : "Subject");
    state.counters["rows"] = view.grid().Rows();
}
BENCHMARK(BM_HeaderClickSort)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_BaselineStdSortRows(benchmark::State& state) {
    GlimmerpostProgram& p = *program().program;
    std::vector<std::string> subjects;
    for (const auto& item : p.Messages()->MessageIndex()) subjects.emplace_back(item.value.Subject());
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::string> copy = subjects;
        state.ResumeTiming();
        std::stable_sort(copy.begin(), copy.end());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetLabel("Subject");
}
BENCHMARK(BM_BaselineStdSortRows)->Unit(benchmark::kMillisecond);

// The Unknown tab lists exactly the senders with held mail, 1,000 of them selected.
void BM_Approve1000SelectedSenders(benchmark::State& state) {
    showTab(1);
    SendersView& view = program().view();
    double writes = 0, moved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        view.grid().SetSelection(0, kBulk - 1);
        std::size_t waiting = 0;
        for (const std::string& a : view.takeSelection().senders)
            waiting += program().program->Senders()->MessagesStoredAwaitingAuth(a);
        BenchSupport::SendersIniWatch watch;
        state.ResumeTiming();
        view.IndividualsToolBar_ButtonClick(1);
        state.PauseTiming();
        writes += watch.Stop();
        moved += static_cast<double>(waiting);
        state.ResumeTiming();
    }
    state.counters["ini_writes"] = benchmark::Counter(writes, benchmark::Counter::kAvgIterations);
    state.counters["files_moved"] = benchmark::Counter(moved, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Approve1000SelectedSenders)->Iterations(kBulkIterations)->Unit(benchmark::kMillisecond);

// What a collection does to the store, 2,000 times, letting events run after each
// message as the collector does; "refills" counts the page's fills meanwhile and
// until the last change has been shown.
void BM_CollectionOf2000Messages(benchmark::State& state) {
    showTab(6);
    SendersView& view = program().view();
    GlimmerpostProgram& p = *program().program;
    int round = 0;
    double refills = 0;
    for (auto _ : state) {
        const int before = view.fillCount();
        for (int m = 0; m < kCollected; ++m) {
            const std::string account = accountOf(m);
            const std::string sender = "new" + std::to_string(m % 50) + "@collected.example";
            const std::string file = sender + " r" + std::to_string(round) + "m" + std::to_string(m) + "@x.eml";
            BenchSupport::WriteText(program().folder / "accounts" / account / "MailDir" / "InBox" / file,
                                    "From: " + sender + "\r\nSubject: collected " + std::to_string(m) + "\r\n\r\nbody\r\n");
            p.Messages()->AddMessage(account, file, "MailDir\\InBox");
            MiscFuncs::DoEvents();
        }
        platform::WaitUntil([&] { return !view.refillPending(); }, 10000);
        refills += view.fillCount() - before;
        ++round;
    }
    state.counters["refills"] = benchmark::Counter(refills, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CollectionOf2000Messages)->Iterations(2)->Unit(benchmark::kMillisecond);

// Resident memory with the grid holding one placeholder row, against the most it
// reaches while each tab is filled in turn.
void BM_ResidentMemoryOfTheFilledTabs(benchmark::State& state) {
    SendersView& view = program().view();
    double added = 0;
    for (auto _ : state) {
        showTab(5);
        view.KeyPress('#');  // matches nothing: the placeholder
        ::malloc_trim(0);
        const long before = residentKb();
        long most = before;
        view.KeyPress(QChar(27));
        for (int tab = 1; tab <= 6; ++tab) {
            showTab(tab);
            most = std::max(most, residentKb());
        }
        added = static_cast<double>(most - before) / 1024.0;
    }
    state.counters["rss_added_mb"] = added;
}
BENCHMARK(BM_ResidentMemoryOfTheFilledTabs)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    program();
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    // The program object is never destroyed (see program()); its folder is removed here.
    std::error_code ec;
    fs::remove_all(program().folder, ec);
    std::_Exit(0);
}
