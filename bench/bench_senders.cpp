// The sender list over 20,000 senders and a message store of 100,000 messages, each
// beside a baseline that does the least work the same answer needs:
//  - loading the lists from senders.ini, against reading the file line by line,
//    reading it whole, and parsing it as the settings file does;
//  - StatusOf, against a bare hash-map lookup plus the stat(2) that keeps the
//    settings file's copy fresh;
//  - approving 1,000 senders in one bulk update, moving their held mail (about 2,500
//    files), against writing senders.ini once. The counter "ini_writes" is the number
//    of times senders.ini was replaced during the bulk update, seen by inotify.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchSupport.h"
#include "core/AtomicFile.h"
#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Dates.h"
#include "core/Environment.h"
#include "core/IniDocument.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSenders = 20000;
constexpr int kMessages = 100000;
constexpr int kAccounts = 4;
constexpr int kBulk = 1000;
// Senders of status 1 and 2 hold their mail in WaitingAuth; the bulk updates take
// them 1,000 at a time, a fresh set per iteration.
constexpr int kBulkIterations = 5;

std::string senderAddress(int i) { return "sender" + std::to_string(i) + "@mail" + std::to_string(i % 13) + ".example"; }
std::string accountOf(int i) { return "user" + std::to_string(i % kAccounts) + "@home.example"; }
// Senders below kBulk * kBulkIterations are waiting; the rest spread over the statuses.
int levelOf(int i) { return i < kBulk * kBulkIterations ? 1 + i % 2 : i % 4; }

// The program folder: accounts.ini, senders.ini, and the message files of every
// account with a header cache, so the store starts from its caches.
void seed(const fs::path& folder) {
    std::string accounts;
    for (int a = 0; a < kAccounts; ++a) accounts += "[" + accountOf(a) + "]\r\nAccountEnabled=1\r\n";
    BenchSupport::WriteText(ProgramFiles::AccountsIniPath(), accounts);
    std::string senders;
    for (int i = 0; i < kSenders; ++i)
        senders += BenchSupport::SenderSection(senderAddress(i), i % 3 == 0 ? "Sender Number " + std::to_string(i) : "",
                                               46000.0 + i % 365 + 0.37, levelOf(i), "Approved by user");
    BenchSupport::WriteText(ProgramFiles::SendersIniPath(), senders);
    BenchSupport::MessageSeeder messages(folder);
    for (int m = 0; m < kMessages; ++m) {
        const int s = m % kSenders;
        const bool waiting = levelOf(s) == 1 || levelOf(s) == 2;
        const std::string leaf = waiting && m % 5 != 4 ? "WaitingAuth" : "InBox";
        messages.Add(accountOf(m), leaf, senderAddress(s), m, "message " + std::to_string(m), true);
    }
    messages.Write();
}

struct DataSet : BenchSupport::SenderListFolder {
    DataSet() : SenderListFolder("senders", CMessages::Start::LoadCaches, seed) {}
};

DataSet& data() {
    static DataSet d;
    return d;
}

void BM_LoadSenderList(benchmark::State& state) {
    data();
    for (auto _ : state) {
        auto senders = std::make_unique<CSenders>();
        benchmark::DoNotOptimize(senders->Lists()[3].Count());
        state.PauseTiming();  // releasing the lists is no part of the load
        senders.reset();
        state.ResumeTiming();
    }
    state.counters["senders"] = kSenders;
}
BENCHMARK(BM_LoadSenderList)->Unit(benchmark::kMillisecond);

void BM_BaselineReadSendersIniLines(benchmark::State& state) {
    data();
    for (auto _ : state) {
        std::ifstream in(ProgramFiles::SendersIniPath(), std::ios::binary);
        std::string line;
        std::size_t lines = 0;
        while (std::getline(in, line)) ++lines;
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_BaselineReadSendersIniLines)->Unit(benchmark::kMillisecond);

void BM_BaselineReadSendersIniWhole(benchmark::State& state) {
    data();
    for (auto _ : state) {
        std::string bytes;
        benchmark::DoNotOptimize(MiscFuncs::ReadWholeFile(ProgramFiles::SendersIniPath(), bytes));
    }
}
BENCHMARK(BM_BaselineReadSendersIniWhole)->Unit(benchmark::kMillisecond);

// What the settings file does with senders.ini at its first question (StatusOf
// after the start reads it this way once).
void BM_BaselineParseSendersIniAsSettings(benchmark::State& state) {
    data();
    std::string bytes;
    MiscFuncs::ReadWholeFile(ProgramFiles::SendersIniPath(), bytes);
    for (auto _ : state) {
        auto doc = std::make_unique<IniStore::IniDocument>(IniStore::IniDocument::Parse(bytes));
        benchmark::DoNotOptimize(doc->SectionCount());
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BaselineParseSendersIniAsSettings)->Unit(benchmark::kMillisecond);

void BM_StatusOf(benchmark::State& state) {
    CSenders& senders = *data().senders;
    std::vector<std::string> addresses;
    for (int i = 0; i < kSenders; i += 7) addresses.push_back(senderAddress(i));
    addresses.push_back("stranger@nowhere.example");
    senders.StatusOf(addresses[0]);  // the first question reads the file
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(senders.StatusOf(addresses[i]));
        if (++i == addresses.size()) i = 0;
    }
}
BENCHMARK(BM_StatusOf);

void BM_BaselineMapLookupAndStat(benchmark::State& state) {
    std::unordered_map<std::string, int> map;
    std::vector<std::string> addresses;
    for (int i = 0; i < kSenders; ++i) map.emplace(senderAddress(i), levelOf(i));
    for (int i = 0; i < kSenders; i += 7) addresses.push_back(senderAddress(i));
    const std::string file = ProgramFiles::SendersIniPath().string();
    std::size_t i = 0;
    for (auto _ : state) {
        struct stat st;
        benchmark::DoNotOptimize(::stat(file.c_str(), &st));
        benchmark::DoNotOptimize(map.find(addresses[i]));
        if (++i == addresses.size()) i = 0;
    }
}
BENCHMARK(BM_BaselineMapLookupAndStat);

void BM_BulkApprove1000Senders(benchmark::State& state) {
    CSenders& senders = *data().senders;
    // Each iteration takes senders never approved before, also across repetitions.
    static int set = 0;
    int writes = 0;
    std::size_t moved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (set == kBulkIterations) {
            state.SkipWithError("every waiting sender is approved already: run this benchmark once");
            break;
        }
        std::vector<SenderUpdate> updates;
        for (int i = set * kBulk; i < (set + 1) * kBulk; ++i)
            updates.push_back({"", senderAddress(i), SenderStatus::Approved, "Imported", 0});
        std::size_t waiting = 0;
        for (const SenderUpdate& u : updates) waiting += senders.MessagesStoredAwaitingAuth(u.address);
        BenchSupport::SendersIniWatch watch;
        state.ResumeTiming();
        benchmark::DoNotOptimize(senders.SetStatusMany(updates));
        state.PauseTiming();
        writes += watch.Stop();
        moved += waiting;
        ++set;
        state.ResumeTiming();
    }
    state.counters["ini_writes"] = benchmark::Counter(writes, benchmark::Counter::kAvgIterations);
    state.counters["files_moved"] = benchmark::Counter(static_cast<double>(moved), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_BulkApprove1000Senders)->Iterations(kBulkIterations)->Unit(benchmark::kMillisecond);

void BM_BaselineWriteSendersIniOnce(benchmark::State& state) {
    data();
    std::string bytes;
    MiscFuncs::ReadWholeFile(ProgramFiles::SendersIniPath(), bytes);
    const fs::path copy = ProgramFiles::AccountsFolder() / "senders-copy.ini";
    for (auto _ : state) benchmark::DoNotOptimize(MiscFuncs::WriteFileAtomic(copy, bytes));
}
BENCHMARK(BM_BaselineWriteSendersIniOnce)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
