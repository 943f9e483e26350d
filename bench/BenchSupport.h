#pragma once
// What the benchmark programs share: their scratch folder, the count of senders.ini
// writes, and the main of a program that only needs its folder removed at the end.
// Header only: bench/CMakeLists.txt makes a program of every bench_*.cpp.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "core/ProgramFiles.h"

namespace BenchSupport {

// A new empty folder glp-bench-<tag>-XXXXXX in the temporary folder; the program
// stops when none can be made.
inline std::filesystem::path NewTempFolder(std::string_view tag) {
    std::string tmpl = (std::filesystem::temp_directory_path() / ("glp-bench-" + std::string(tag) + "-XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    return tmpl;
}

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
