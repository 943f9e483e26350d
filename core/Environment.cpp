#include "core/Environment.h"

#include <sys/random.h>

#include <fstream>
#include <random>

namespace MiscFuncs {
namespace {

std::filesystem::path& folderSlot() {
    static std::filesystem::path folder = std::filesystem::current_path();
    return folder;
}

ClockFn& clockSlot() {
    static ClockFn clock;
    return clock;
}

EventPumpFn& pumpSlot() {
    static EventPumpFn pump;
    return pump;
}

GuidSourceFn& guidSlot() {
    static GuidSourceFn source;
    return source;
}

LocalTime systemNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

bool systemGuid(std::array<std::uint8_t, 16>& out) {
    // getrandom(2) takes the 16 bytes alone; a stream on /dev/urandom reads a whole
    // buffer of random bytes for them.
    if (::getrandom(out.data(), out.size(), 0) == static_cast<ssize_t>(out.size())) return true;
    std::ifstream urandom("/dev/urandom", std::ios::binary);
    if (urandom.read(reinterpret_cast<char*>(out.data()), out.size())) return true;
    std::random_device rd;  // fallback when /dev/urandom is unavailable
    for (auto& b : out) b = static_cast<std::uint8_t>(rd());
    return true;
}

}  // namespace

const std::filesystem::path& ProgramFolder() { return folderSlot(); }
void SetProgramFolder(const std::filesystem::path& folder) { folderSlot() = folder; }

LocalTime Now() { return clockSlot() ? clockSlot()() : systemNow(); }
void SetClock(ClockFn clock) { clockSlot() = std::move(clock); }

void DoEvents() {
    if (pumpSlot()) pumpSlot()();
}
void SetEventPump(EventPumpFn pump) { pumpSlot() = std::move(pump); }

bool NewGuidBytes(std::array<std::uint8_t, 16>& out) {
    return guidSlot() ? guidSlot()(out) : systemGuid(out);
}
void SetGuidSource(GuidSourceFn source) { guidSlot() = std::move(source); }

}  // namespace MiscFuncs
