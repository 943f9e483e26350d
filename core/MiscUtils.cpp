#include "core/MiscUtils.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/Environment.h"
#include "core/Log.h"
#include "core/Wildcard.h"

namespace fs = std::filesystem;

namespace MiscFuncs {
namespace {

// Listing a folder lets pending events run, but not after every name: a folder of
// 100,000 messages would spend most of its time in the event loop.
constexpr std::size_t kNamesPerEventPump = 256;

bool hasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

void logDirError(const std::string& what) { WriteLog(0, "#", "Error in SafeDir \r\n" + what); }

}  // namespace

std::string SafeDir(DirList& list, std::string_view pattern, int attributes) {
    if (!IsBlank(pattern)) {
        list.clear();
        const fs::path full{std::string(pattern)};
        fs::path folder = full.parent_path();
        std::string namePattern = full.filename().string();
        if (folder.empty()) folder = ".";
        if (namePattern == "*.*") namePattern = "*";
        const bool wantFolders = (attributes & kDirFolders) != 0;
        std::error_code ec;
        if (!hasWildcard(namePattern)) {
            // An existence test: match the one name, ignoring letter case.
            fs::directory_iterator it(folder, ec), end;
            if (ec) return "";
            for (; it != end; it.increment(ec)) {
                const std::string name = it->path().filename().string();
                if (EqualsIgnoreCase(name, namePattern)) {
                    std::error_code e2;
                    if (it->is_regular_file(e2) || (wantFolders && it->is_directory(e2))) list.push_back(name);
                    break;
                }
            }
        } else {
            fs::directory_iterator it(folder, ec), end;
            if (ec) {
                logDirError(ec.message());
                return "";
            }
            std::size_t seen = 0;
            for (; it != end; it.increment(ec)) {
                std::error_code e2;
                const bool isFile = it->is_regular_file(e2);
                if (!isFile && !(wantFolders && it->is_directory(e2))) continue;
                std::string name = it->path().filename().string();
                if (WildcardMatch(name, namePattern, true)) list.push_back(std::move(name));
                if (++seen % kNamesPerEventPump == 0) DoEvents();
            }
            if (ec) logDirError(ec.message());
            std::sort(list.begin(), list.end());
        }
    }
    if (list.empty()) return "";
    std::string first = std::move(list.front());
    list.pop_front();
    return first;
}

bool IsBlank(std::string_view text) {
    for (char c : text)
        if (c != '\0' && c != ' ') return false;
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto b = text.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    const auto e = text.find_last_not_of(' ');
    return text.substr(b, e - b + 1);
}

std::string_view TrimBlanksAndTabs(std::string_view text) {
    const auto b = text.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    return text.substr(b, text.find_last_not_of(" \t") - b + 1);
}

bool IsFlagSet(std::string_view text) { return TrimBlanks(text) == "1"; }

std::string GetShortPath(std::string_view path) {
    if (path.empty()) return "";
    std::error_code ec;
    return fs::exists(fs::path{std::string(path)}, ec) ? std::string(path) : std::string();
}

std::string NewGuidString() {
    std::array<std::uint8_t, 16> b{};
    if (!NewGuidBytes(b)) return "00000000";
    // Version 4, variant 1, as a random GUID carries them.
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
    std::string out;
    out.reserve(32);
    static const char* hex = "0123456789ABCDEF";
    for (std::uint8_t v : b) {
        out += hex[v >> 4];
        out += hex[v & 15];
    }
    return out;
}

std::string ZeroFill(long width, long length) {
    return width > length ? std::string(static_cast<std::size_t>(width - length), '0') : std::string();
}

std::string DeletionNoticeText(std::string_view days) {
    return "Please note that if you will not register within " + std::string(days) +
           " day(s), all of your messages will be automaticaly deleted";
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

}  // namespace MiscFuncs
