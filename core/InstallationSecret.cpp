#include "core/InstallationSecret.h"

#include <sys/random.h>
#include <sys/stat.h>

#include <fstream>
#include <optional>

#include "core/AtomicFile.h"
#include "core/Digest.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"

namespace fs = std::filesystem;

namespace InstallationSecret {
namespace {

struct Cache {
    fs::path folder;
    std::string key;
};

Cache& cache() {
    static Cache c;
    return c;
}

bool randomBytes(std::string& out) {
    out.assign(kSecretBytes, '\0');
    if (::getrandom(out.data(), out.size(), 0) == static_cast<ssize_t>(out.size())) return true;
    std::ifstream urandom("/dev/urandom", std::ios::binary);
    if (urandom.read(out.data(), static_cast<std::streamsize>(out.size()))) return true;
    out.clear();
    return false;
}

std::string hexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

bool isHexKey(std::string_view text) {
    if (text.size() != kSecretBytes * 2) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// The key of an existing file; nothing when there is no file, "" when it is damaged.
std::optional<std::string> readFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return std::nullopt;
    std::string text;
    if (!MiscFuncs::ReadWholeFile(path, text, 4096)) {
        MiscFuncs::WriteLog(0, "#", "Error in InstallationSecret::Key the file " + path.string() + " cannot be read");
        return std::string();
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!isHexKey(text)) {
        MiscFuncs::WriteLog(0, "#", "Error in InstallationSecret::Key the file " + path.string() + " is damaged");
        return std::string();
    }
    // Made private again when someone widened it.
    const fs::perms perms = fs::status(path, ec).permissions();
    if (!ec && (perms & (fs::perms::group_all | fs::perms::others_all)) != fs::perms::none)
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, ec);
    return MiscFuncs::HexToBinary(text);
}

std::string makeFile(const fs::path& path) {
    std::string bytes;
    if (!randomBytes(bytes)) {
        MiscFuncs::WriteLog(0, "#", "Error in InstallationSecret::Key no random source");
        return {};
    }
    MiscFuncs::WriteOptions options;
    options.replace = MiscFuncs::Replace::Never;
    options.newFileMode = S_IRUSR | S_IWUSR;
    options.keepMode = false;
    options.requireFolderSync = false;
    std::string error;
    if (!MiscFuncs::WriteFileAtomic(path, hexOf(bytes) + "\n", options, &error)) {
        // Another start made it first: its secret holds.
        if (std::optional<std::string> theirs = readFile(path); theirs && !theirs->empty()) return *theirs;
        MiscFuncs::WriteLog(0, "#", "Error in InstallationSecret::Key the file " + path.string() +
                                        " cannot be written: " + error);
        return {};
    }
    return bytes;
}

}  // namespace

fs::path FilePath() { return ProgramFiles::InProgramFolder(kFileName); }

std::string Key() {
    Cache& c = cache();
    const fs::path folder = MiscFuncs::ProgramFolder();
    if (!c.key.empty() && c.folder == folder) return c.key;
    const fs::path path = FilePath();
    std::optional<std::string> key = readFile(path);
    if (!key) key = makeFile(path);
    c.folder = folder;
    c.key = *key;
    return c.key;
}

bool Ensure() { return !Key().empty(); }

void Forget() { cache() = {}; }

}  // namespace InstallationSecret
