#pragma once
// The few things the core asks of the world around it: the program (data) folder,
// the local clock, the event pump used by long loops, and a source of random bytes
// for identifiers. Each is a replaceable function, so tests can pin the clock,
// count event-pump calls or point the program folder at a temporary directory.

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>

namespace MiscFuncs {

// The folder where settings, logs and the accounts folder live.
const std::filesystem::path& ProgramFolder();
void SetProgramFolder(const std::filesystem::path& folder);

// A broken-down local time with the fields the program uses.
struct LocalTime {
    int year = 2000, month = 1, day = 1;      // month 1..12, day 1..31
    int hour = 0, minute = 0, second = 0;
};

// The local wall clock. Replace it in tests; nullptr restores the system clock.
using ClockFn = std::function<LocalTime()>;
LocalTime Now();
void SetClock(ClockFn clock);

// Lets pending user-interface events run. The core calls this inside long loops;
// the windowed program installs the event loop's pump, plain core code runs none.
using EventPumpFn = std::function<void()>;
void DoEvents();
void SetEventPump(EventPumpFn pump);

// 16 random bytes for a new globally unique identifier. Returns false when the
// source fails. Replaceable for tests.
using GuidSourceFn = std::function<bool(std::array<std::uint8_t, 16>&)>;
bool NewGuidBytes(std::array<std::uint8_t, 16>& out);
void SetGuidSource(GuidSourceFn source);

}  // namespace MiscFuncs
