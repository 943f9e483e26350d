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

std::string OneLineText(std::string_view text, std::size_t cap) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.ends_with('\r')) text.remove_suffix(1);
    const bool cut = text.size() > cap;
    if (cut) text = text.substr(0, cap);
    std::string out;
    out.reserve(text.size() + (cut ? kLogCutMark.size() : 0));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '\n') out += ' ';
        else if ((c < 0x20 && c != '\t') || c == 0x7F) out += '?';
        else out += static_cast<char>(c);
    }
    if (cut) out += kLogCutMark;
    return out;
}

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
    const std::string clean = OneLineText(text);
    line.reserve(line.size() + kind.size() + clean.size() + 6);
    line += "  ";
    line += kind;
    line += ' ';
    line += clean;
    line += "\r\n";
    appendLine(kProgramLogName, line);
}

void WriteMessageLog(std::string_view sender, std::string_view action, std::string_view reason) {
    std::string line = LogTimestamp();
    line += " Message from ";
    line += OneLineText(sender);
    line += ' ';
    line += OneLineText(action);
    line += " because ";
    line += OneLineText(reason);
    line += "\r\n";
    appendLine(kMessageLogName, line);
}

}  // namespace MiscFuncs
