#include "core/MessageFiles.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <system_error>

#include "core/AtomicFile.h"
#include "core/CMessage.h"
#include "core/Log.h"

namespace fs = std::filesystem;

namespace MessageFiles {
namespace {

constexpr std::string_view kExtension = ".eml";
// Room kept below the limit for the longest suffix: " ~h" and 16 hex digits.
constexpr std::size_t kSuffixRoom = 19;
constexpr std::size_t kCutMarkBytes = 9;  // "~" and 8 hex digits
constexpr int kLastNumberedSuffix = 99;

std::uint64_t fnv1a(std::string_view bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

std::string hex(std::uint64_t value, int digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*llx", digits, static_cast<unsigned long long>(value));
    return std::string(buf).substr(0, static_cast<std::size_t>(digits));
}

std::string cleaned(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == '*' || c == '?') c = '_';
    }
    return out;
}

bool meaningless(std::string_view id) { return id.find_first_not_of("_. ") == std::string_view::npos; }

// The parser puts a clock stamp (digits, "D", digits) in place of a blank
// Message-ID; such a stamp says nothing about the message.
bool madeUpId(const CMessage& message) {
    const std::string& id = message.MessageID;
    if (id.empty() || id.find_first_not_of("0123456789D") != std::string::npos) return false;
    return message.Headers.find(id) == std::string::npos;
}

std::string cutToFit(std::string base) {
    const std::size_t budget = kMaxFileNameBytes - kExtension.size() - kSuffixRoom;
    if (base.size() <= budget) return base;
    const std::size_t keep = budget - kCutMarkBytes;
    const std::string mark = hex(fnv1a(std::string_view(base).substr(keep)), 8);
    base.resize(keep);
    base += '~';
    return base += mark;
}

// The name of the n-th try: the base name, then " ~2" .. " ~99", then " ~h<hash>".
std::string candidate(const std::string& first, int n, std::string_view bytes) {
    if (n == 1) return first;
    const std::string stem = first.substr(0, first.size() - kExtension.size());
    const std::string suffix = n <= kLastNumberedSuffix ? " ~" + std::to_string(n) : " ~h" + hex(fnv1a(bytes), 16);
    return stem + suffix + std::string(kExtension);
}

enum class Found { Nothing, Same, Other, Unreadable };

Found lookAt(const fs::path& path, std::string_view bytes) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? Found::Nothing : Found::Unreadable;
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != bytes.size()) return Found::Other;
    std::string existing;
    if (!MiscFuncs::ReadWholeFile(path, existing, bytes.size() + 1)) return Found::Other;
    return existing == bytes ? Found::Same : Found::Other;
}

StoredFile failed(CMessage& message, const fs::path& path, const std::string& why) {
    message.ErrorText += "Failed to save message to " + path.string() + "\r\n";
    MiscFuncs::WriteLog(0, "#", "Error in MessageFiles::StoreMessageFile " + why);
    return {};
}

}  // namespace

std::string MessageFileName(std::string_view senderAddress, const CMessage& message) {
    std::string id = cleaned(message.MessageID);
    if (meaningless(id) || madeUpId(message)) id = hex(fnv1a(message.MessageText()), 16);
    return cutToFit(cleaned(senderAddress) + " " + id) + std::string(kExtension);
}

StoredFile StoreMessageFile(const fs::path& folder, std::string_view senderAddress, CMessage& message,
                            MiscFuncs::SyncBatch* batch, const NameInUse& inUse) {
    const std::string_view bytes = message.MessageText();
    const std::string first = MessageFileName(senderAddress, message);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const int lastTry = kLastNumberedSuffix + 1;
    for (int n = 1; n <= lastTry; ++n) {
        const std::string name = candidate(first, n, bytes);
        const fs::path path = folder / name;
        Found found = lookAt(path, bytes);
        std::string error = "cannot look at " + path.string();
        if (found == Found::Nothing && !(inUse && inUse(name))) {
            if (MiscFuncs::WriteFileAtomic(path, bytes, MiscFuncs::Replace::Never, batch, &error))
                return {name, false};
            // Another writer may have taken the name in between; anything else is final.
            found = lookAt(path, bytes);
            if (found == Found::Nothing) found = Found::Unreadable;
        }
        if (found == Found::Unreadable) return failed(message, path, error);
        if (found == Found::Same) {
            MiscFuncs::WriteLog(2, "i", "Message already stored as " + path.string());
            return {name, true};
        }
    }
    return failed(message, folder / first, "no free name for " + first);
}

}  // namespace MessageFiles
