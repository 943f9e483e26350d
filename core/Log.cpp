#include "core/Log.h"

#include <cstdio>

#include "core/Environment.h"

namespace MiscFuncs {
namespace {

std::int16_t g_logLevel = 0;

void appendLine(const char* fileName, const std::string& line) {
    const std::string path = (ProgramFolder() / fileName).string();
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

}  // namespace

std::int16_t LogLevel() { return g_logLevel; }
void SetLogLevel(std::int16_t level) { g_logLevel = level; }

std::string LogTimestamp() {
    const LocalTime t = Now();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d %02d:%02d:%02d", t.month % 100, t.day % 100,
                  t.year % 10000, t.hour % 100, t.minute % 100, t.second % 100);
    return buf;
}

void WriteLog(std::int16_t level, std::string_view kind, std::string_view text) {
    if (level > g_logLevel) return;
    std::string line = LogTimestamp();
    line.reserve(line.size() + kind.size() + text.size() + 6);
    line += "  ";
    line += kind;
    line += ' ';
    line += text;
    line += "\r\n";
    appendLine(kProgramLogName, line);
}

void WriteMessageLog(std::string_view sender, std::string_view action, std::string_view reason) {
    std::string line = LogTimestamp();
    line += " Message from ";
    line += sender;
    line += ' ';
    line += action;
    line += " because ";
    line += reason;
    line += "\r\n";
    appendLine(kMessageLogName, line);
}

}  // namespace MiscFuncs
