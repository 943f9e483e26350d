// The message index at the size of a busy store: 100,000 messages over 3 accounts
// from 20,000 senders (5 each), each beside a baseline doing the least the task
// needs: loading from the header caches against reading the same files and
// splitting them into lines; rebuilding from the folders against a walk that opens
// each file and reads its header block; the messages of one sender in a store of
// 100 and of 100,000 messages; 10,000 add, move and remove operations.
//
// The data set is made once in the temporary folder and reused by later runs
// (glp-bench-messages-<count>; remove it to make it again). The allocator's page
// faults weigh on both sides of the load comparison; to compare the work alone run
// with GLIBC_TUNABLES=glibc.malloc.mmap_threshold=268435456:glibc.malloc.trim_threshold=1073741824
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/AtomicFile.h"
#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/Environment.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

namespace {

namespace fs = std::filesystem;

const char* const kAccounts[] = {"alpha@home.org", "beta@work.com", "gamma@mail.net"};
const char* const kLeaves[] = {"InBox", "WaitingAuth", "Recycled"};
constexpr int kSenders = 20000;

std::string senderAddress(int s) { return "sender" + std::to_string(s) + "@example" + std::to_string(s % 97) + ".com"; }

std::string messageText(int i, int s) {
    const std::string from = senderAddress(s);
    std::string t;
    t += "Return-Path: <" + from + ">\r\n";
    t += "Received: from mx" + std::to_string(s % 13) + ".example.com by mail.home.org with ESMTP id " +
         std::to_string(i) + "\r\n\tfor <me@home.org>; Tue, " + std::to_string(i % 28 + 1) + " Dec 2002 13:45:12 +0100\r\n";
    t += "From: \"Sender Number " + std::to_string(s) + "\" <" + from + ">\r\n";
    t += "To: me@home.org\r\nSubject: Re: the meeting on Tuesday, number " + std::to_string(i) + "\r\n";
    t += "Date: Tue, " + std::to_string(i % 28 + 1) + " Dec 2002 13:45:12 +0100\r\n";
    t += "Message-ID: <msg" + std::to_string(i) + "." + std::to_string(s) + "@example.com>\r\n";
    t += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n";
    for (int line = 0; line < 8; ++line) t += "This is line " + std::to_string(line) + " of the body of a message that looks real.\r\n";
    return t;
}

void writeSettings(const fs::path& home, int accounts) {
    MiscFuncs::SetProgramFolder(home);
    CIniFile options(ProgramFiles::OptionsIniPath().string());
    options.Value("options", "UseMessageDate", "1");
    options.Value("options", "TTLForDeletedMessages", "100000");
    CIniFile ini(ProgramFiles::AccountsIniPath().string());
    for (int a = 0; a < accounts; ++a) ini.Value(kAccounts[a], "AccountEnabled", "1");
}

// A program folder with count messages from count / 5 senders; made once.
const fs::path& dataSet(int count) {
    static std::vector<std::pair<int, fs::path>> made;
    for (const auto& [n, path] : made)
        if (n == count) return path;
    const fs::path home = fs::temp_directory_path() / ("glp-bench-messages-" + std::to_string(count));
    const fs::path ready = home / "dataset-ready";
    if (!fs::exists(ready)) {
        fs::remove_all(home);
        fs::create_directories(home);
        writeSettings(home, 3);
        for (int i = 0; i < count; ++i) {
            const int s = i % (count / 5);
            const int leaf = i % 10 < 6 ? 0 : (i % 10 < 9 ? 1 : 2);
            const fs::path folder = home / "accounts" / kAccounts[i % 3] / "MailDir" / kLeaves[leaf];
            if (i < 30) fs::create_directories(folder);
            std::ofstream(folder / (senderAddress(s) + " msg" + std::to_string(i) + ".eml"), std::ios::binary)
                << messageText(i, s);
        }
        { CMessages build; }  // no caches yet: scans the folders and writes them
        std::ofstream(ready) << "ok";
    }
    made.emplace_back(count, home);
    MiscFuncs::SetProgramFolder(home);
    return made.back().second;
}

void useDataSet(int count) { MiscFuncs::SetProgramFolder(dataSet(count)); }

void BM_LoadFromCaches(benchmark::State& state) {
    useDataSet(100000);
    for (auto _ : state) {
        auto* m = new CMessages;
        benchmark::DoNotOptimize(m->Count());
        state.PauseTiming();
        delete m;  // rewrites the caches with what they held
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadFromCaches)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.5);

void BM_BaselineReadAndSplitCaches(benchmark::State& state) {
    useDataSet(100000);
    for (auto _ : state) {
        std::vector<std::string> lines;
        for (const char* account : kAccounts) {
            std::string text;
            MiscFuncs::ReadWholeFile(ProgramFiles::InAccountsFolder(account) / "MailDir" / "msgcache.txt", text);
            for (std::size_t pos = 0; pos < text.size();) {
                std::size_t eol = text.find("\r\n", pos);
                if (eol == std::string::npos) eol = text.size();
                lines.emplace_back(text, pos, eol - pos);
                pos = eol + 2;
            }
        }
        benchmark::DoNotOptimize(lines.size());
    }
}
BENCHMARK(BM_BaselineReadAndSplitCaches)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.5);

void BM_RebuildFromFolders(benchmark::State& state) {
    useDataSet(100000);
    for (auto _ : state) {
        auto* m = new CMessages(CMessages::Start::Empty);
        for (const char* account : kAccounts) m->LoadMessages(account);
        benchmark::DoNotOptimize(m->Count());
        state.PauseTiming();
        delete m;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RebuildFromFolders)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1)->MinTime(3);

// Opens every ".eml" file of the three folders and reads up to its header end.
void BM_BaselineWalkReadingHeaders(benchmark::State& state) {
    useDataSet(100000);
    std::vector<char> buf(16384);
    for (auto _ : state) {
        std::size_t headerBytes = 0;
        for (const char* account : kAccounts) {
            for (const char* leaf : kLeaves) {
                for (const auto& entry : fs::directory_iterator(ProgramFiles::InAccountsFolder(account) / "MailDir" / leaf)) {
                    if (entry.path().extension() != ".eml") continue;
                    const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
                    if (fd < 0) continue;
                    const ssize_t n = ::read(fd, buf.data(), buf.size());
                    ::close(fd);
                    if (n <= 0) continue;
                    const std::string_view head(buf.data(), static_cast<std::size_t>(n));
                    headerBytes += head.find("\r\n\r\n");
                }
            }
        }
        benchmark::DoNotOptimize(headerBytes);
    }
}
BENCHMARK(BM_BaselineWalkReadingHeaders)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1)->MinTime(3);

CMessages& loadedStore(int count) {
    static std::vector<std::pair<int, CMessages*>> loaded;  // kept for the whole run
    for (const auto& [n, p] : loaded)
        if (n == count) return *p;
    auto* m = new CMessages(CMessages::Start::Empty);
    for (const char* account : kAccounts) m->LoadMessages(account);
    m->SenderMessageCount(senderAddress(0));  // builds the sender table
    loaded.emplace_back(count, m);
    return *m;
}

// The messages of one sender (5 of them) in one account, in a store of 100, 10,000
// or 100,000 messages: the same 20 senders asked for in turn, so that only the
// size of the store differs.
void BM_SenderMessages(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    useDataSet(count);
    CMessages& m = loadedStore(count);
    int s = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.SenderKeys(senderAddress(s), kAccounts[s % 3]));
        s = (s + 1) % 20;
    }
    state.counters["stored"] = static_cast<double>(m.Count());
}
BENCHMARK(BM_SenderMessages)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The same over all 20,000 senders of the large store, most of them not in the
// processor's caches.
void BM_SenderMessagesAllSenders(benchmark::State& state) {
    useDataSet(100000);
    CMessages& m = loadedStore(100000);
    int s = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.SenderKeys(senderAddress(s), kAccounts[s % 3]));
        s = (s + 7919) % kSenders;
    }
}
BENCHMARK(BM_SenderMessagesAllSenders)->Unit(benchmark::kMicrosecond);

// The first question about a sender after the caches were loaded builds the table.
void BM_FirstSenderQueryAfterLoad(benchmark::State& state) {
    useDataSet(100000);
    for (auto _ : state) {
        state.PauseTiming();
        auto* m = new CMessages;
        state.ResumeTiming();
        benchmark::DoNotOptimize(m->SenderMessageCount(senderAddress(1)));
        state.PauseTiming();
        delete m;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstSenderQueryAfterLoad)->Unit(benchmark::kMillisecond);

// What finding a sender's messages cost without the table: a pattern listing of
// each account's WaitingAuth folder.
void BM_BaselineSenderByListing(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    useDataSet(count);
    int s = 0;
    for (auto _ : state) {
        MiscFuncs::DirList list;
        std::size_t found = 0;
        for (const char* account : kAccounts) {
            const fs::path folder = ProgramFiles::InAccountsFolder(account) / "MailDir" / "WaitingAuth";
            for (std::string f = MiscFuncs::SafeDir(list, (folder / (senderAddress(s) + " *.eml")).string()); !f.empty();
                 f = MiscFuncs::SafeDir(list, ""))
                ++found;
        }
        benchmark::DoNotOptimize(found);
        s = (s + 1) % 20;
    }
}
BENCHMARK(BM_BaselineSenderByListing)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);

// 10,000 operations against the full index: 3,334 adds, then 3,333 moves and
// 3,333 removes, in a scratch account of the data set.
void BM_AddMoveRemove10k(benchmark::State& state) {
    useDataSet(100000);
    CMessages m(CMessages::Start::Empty);
    for (const char* account : kAccounts) m.LoadMessages(account);
    const std::string scratch = "scratch@bench.org";
    const fs::path inbox = ProgramFiles::InAccountsFolder(scratch) / "MailDir" / "InBox";
    constexpr int kAdds = 3334;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(ProgramFiles::InAccountsFolder(scratch));
        fs::create_directories(inbox);
        std::vector<std::string> names;
        for (int i = 0; i < kAdds; ++i) {
            names.push_back(senderAddress(i) + " scratch" + std::to_string(i) + ".eml");
            std::ofstream(inbox / names.back(), std::ios::binary) << messageText(i, i);
        }
        state.ResumeTiming();
        for (const std::string& name : names) m.AddMessage(scratch, name, "MailDir\\InBox");
        for (int i = 0; i < kAdds - 1; ++i)
            m.MoveMessage(scratch + "\\MailDir\\InBox\\" + names[static_cast<std::size_t>(i)], "MailDir\\WaitingAuth");
        for (int i = 0; i < kAdds - 1; ++i)
            m.RemoveMessage(scratch + "\\MailDir\\WaitingAuth\\" + names[static_cast<std::size_t>(i)]);
        benchmark::DoNotOptimize(m.Count());
        state.PauseTiming();
        m.RemoveMessage(scratch + "\\MailDir\\InBox\\" + names.back());
        state.ResumeTiming();
    }
    fs::remove_all(ProgramFiles::InAccountsFolder(scratch));
}
BENCHMARK(BM_AddMoveRemove10k)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
