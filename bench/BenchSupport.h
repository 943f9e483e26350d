#pragma once
// What the benchmark programs share: their scratch folder and the sender list and
// message store seeded in it, the count of senders.ini writes, and the main of a
// program that only needs its folder removed at the end.
// Header only: bench/CMakeLists.txt makes a program of every bench_*.cpp.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Dates.h"
#include "core/Environment.h"
#include "core/Log.h"
#include "core/MessageIndexEntry.h"
#include "core/ProgramFiles.h"

namespace BenchSupport {

// A new empty folder glp-bench-<tag>-XXXXXX in the temporary folder; the program
// stops when none can be made.
inline std::filesystem::path NewTempFolder(std::string_view tag) {
    std::string tmpl = (std::filesystem::temp_directory_path() / ("glp-bench-" + std::string(tag) + "-XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    return tmpl;
}

// Writes a file whole, making its folder first.
inline void WriteText(const std::filesystem::path& path, std::string_view text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// One sender's section of senders.ini; without a Name line when name is empty.
inline std::string SenderSection(std::string_view address, std::string_view name, MiscFuncs::DateValue modified,
                                 int level, std::string_view reason) {
    std::string text = "[" + std::string(address) + "]\r\n";
    if (!name.empty()) text += "Name=" + std::string(name) + "\r\n";
    text += "ModificationDate=" + MiscFuncs::DayNumberText(modified) + "\r\n";
    text += "AccessLevel=" + std::to_string(level) + "\r\nAuthReason=" + std::string(reason) + "\r\n";
    return text;
}

// The messages of the store: each one's line in its account's header cache
// (accounts\<account>\MailDir\msgcache.txt), and its file where asked for.
class MessageSeeder {
public:
    explicit MessageSeeder(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // Message `number` from sender in the account's folder leaf ("InBox", "WaitingAuth").
    void Add(const std::string& account, const std::string& leaf, const std::string& sender, int number,
             std::string_view subject, bool writeFile) {
        const std::string file = sender + " " + std::to_string(number) + "@bench.example.eml";
        if (writeFile)
            WriteText(folder_ / "accounts" / account / "MailDir" / leaf / file,
                      "From: " + sender + "\r\nSubject: message " + std::to_string(number) + "\r\n\r\nbody\r\n");
        const std::int32_t minutes = 14000000 + number;
        const std::string key = account + "\\MailDir\\" + leaf + "\\" + file;
        caches_[account] += MessageIndexEntry::MakeText(sender, subject,
                                                        MiscFuncs::ListDateText(MiscFuncs::MinutesToDate(minutes)),
                                                        key, minutes) +
                            "\r\n";
    }
    // Writes the header caches.
    void Write() const {
        for (const auto& [account, cache] : caches_)
            WriteText(folder_ / "accounts" / account / "MailDir" / "msgcache.txt", cache);
    }

private:
    std::filesystem::path folder_;
    std::map<std::string, std::string> caches_;
};

// A program folder of its own (NewTempFolder) with the sender list over the message
// store, loaded after `seed` has written their files; removed at the end.
struct SenderListFolder {
    std::filesystem::path folder;
    std::unique_ptr<CMessages> store;
    std::unique_ptr<CSenders> senders;

    SenderListFolder(std::string_view tag, CMessages::Start start,
                     const std::function<void(const std::filesystem::path&)>& seed)
        : folder(NewTempFolder(tag)) {
        MiscFuncs::SetProgramFolder(folder);
        MiscFuncs::SetLogLevel(0);
        seed(folder);
        store = std::make_unique<CMessages>(start);
        senders = std::make_unique<CSenders>();
        senders->AttachMessageStore(*store);
    }
    ~SenderListFolder() {
        senders.reset();
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    SenderListFolder(const SenderListFolder&) = delete;
    SenderListFolder& operator=(const SenderListFolder&) = delete;
};

// Watches the program's accounts folder, from construction on, for senders.ini being
// put in place (every write of it is a rename onto it).
class SendersIniWatch {
public:
    SendersIniWatch() : fd_(::inotify_init1(IN_NONBLOCK)) {
        ::inotify_add_watch(fd_, ProgramFiles::AccountsFolder().c_str(), IN_MOVED_TO);
    }
    ~SendersIniWatch() { Stop(); }
    SendersIniWatch(const SendersIniWatch&) = delete;
    SendersIniWatch& operator=(const SendersIniWatch&) = delete;

    // Ends the watch: how many times senders.ini was put in place since it began.
    int Stop() {
        if (fd_ < 0) return 0;
        alignas(inotify_event) char buf[64 * 1024];
        int n = 0;
        for (ssize_t len; (len = ::read(fd_, buf, sizeof buf)) > 0;) {
            for (char* p = buf; p < buf + len;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len && std::string(e->name) == "senders.ini") ++n;
                p += sizeof(inotify_event) + e->len;
            }
        }
        ::close(fd_);
        fd_ = -1;
        return n;
    }

private:
    int fd_;
};

// Runs the benchmarks named on the command line, then removes the folder.
inline int RunThenRemove(int argc, char** argv, const std::filesystem::path& folder) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}

}  // namespace BenchSupport
