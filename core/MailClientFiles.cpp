#include "core/MailClientFiles.h"

#include <algorithm>
#include <limits>
#include <system_error>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/MailClients.h"
#include "core/MiscUtils.h"
#include "core/Numbers.h"
#include "core/RegFile.h"
#include "core/Registry.h"
#include "core/RegistryStore.h"

namespace fs = std::filesystem;

namespace UndoFiles {
namespace {

constexpr std::size_t kMaxUndoFileSize = 4096;

bool fileExists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

bool removeFile(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
    return !ec && !fileExists(p);
}

bool samePrefix(const std::vector<std::string>& prefix, const std::vector<std::string>& parts) {
    if (parts.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (!MiscFuncs::EqualsIgnoreCase(prefix[i], parts[i])) return false;
    return true;
}

// The export holds only keys and values at or below the key. With checked, the export's
// text as checked is kept there.
bool exportStaysBelow(const fs::path& file, std::string_view keyPath, std::string& error,
                      std::string* checked = nullptr) {
    std::string read;
    std::string& text = checked ? *checked : read;
    std::vector<std::string> key;
    std::vector<RegFile::Statement> statements;
    if (!MiscFuncs::ReadWholeFile(file, text, RegFile::kMaxFileSize + 1) || text.size() > RegFile::kMaxFileSize) {
        error = "cannot read " + file.string();
        return false;
    }
    if (!RegFile::SplitPath(keyPath, key) || !RegFile::Parse(text, statements, error)) {
        error = file.string() + ": " + error;
        return false;
    }
    for (const RegFile::Statement& st : statements) {
        const bool allowed = st.op == RegFile::Statement::Op::Key || st.op == RegFile::Statement::Op::SetValue;
        if (!allowed || !samePrefix(key, st.key)) {
            error = file.string() + " changes more than the account's key";
            return false;
        }
    }
    if (statements.empty()) {
        error = file.string() + " holds no key";
        return false;
    }
    return true;
}

constexpr std::string_view kExportPrefix = "Account";
constexpr std::string_view kUndoPrefix = "clracc";
constexpr std::string_view kRegSuffix = ".reg";

// Every n for which <prefix><n>.reg exists (n in decimal without leading zeros),
// highest first.
std::vector<int> numbersOf(const fs::path& folder, std::string_view prefix) {
    std::vector<int> numbers;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + kRegSuffix.size() || !name.starts_with(prefix) ||
            !name.ends_with(kRegSuffix))
            continue;
        const std::string_view digits(name.data() + prefix.size(), name.size() - prefix.size() - kRegSuffix.size());
        if (digits.size() > 1 && digits[0] == '0') continue;
        const auto n = MiscFuncs::DigitsNumber(digits, MiscFuncs::kMaxNumberDigits, 0, std::numeric_limits<int>::max());
        if (n) numbers.push_back(static_cast<int>(*n));
    }
    std::sort(numbers.rbegin(), numbers.rend());
    return numbers;
}

fs::path numberedFile(const fs::path& folder, std::string_view prefix, int n) {
    return folder / (std::string(prefix) + std::to_string(n) + std::string(kRegSuffix));
}

constexpr std::string_view kRecordPrefix = "; Glimmerpost registry file: ";

// The registry stand-in in the one spelling both the save and the restore compare.
fs::path standIn() {
    std::error_code ec;
    const fs::path file = fs::absolute(Registry::RegistryFile(), ec);
    const fs::path resolved = fs::weakly_canonical(ec ? Registry::RegistryFile() : file, ec);
    return ec ? file.lexically_normal() : resolved;
}

// A path on one comment line: "%", control bytes and DEL as %XX.
std::string encodePath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f || c == '%') {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> decodePath(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
        const int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

}  // namespace

std::string RecordLine(const fs::path& registry) {
    return std::string(kRecordPrefix) + encodePath(registry.string()) + "\r\n";
}

namespace {

// The export text with the record of its stand-in as a comment after the header line,
// which every reader of the format skips.
std::string withRecord(const std::string& exportText, const fs::path& registry) {
    const std::size_t lineEnd = exportText.find("\r\n");
    if (lineEnd == std::string::npos) return exportText;
    return exportText.substr(0, lineEnd + 2) + RecordLine(registry) + exportText.substr(lineEnd + 2);
}

}  // namespace

std::optional<std::filesystem::path> RecordedRegistry(std::string_view exportText) {
    std::size_t from = 0;
    while (from < exportText.size()) {
        std::size_t end = exportText.find('\n', from);
        if (end == std::string_view::npos) end = exportText.size();
        std::string_view line = exportText.substr(from, end - from);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.starts_with('[')) break;  // the record stands before the first key
        if (line.starts_with(kRecordPrefix))
            if (auto path = decodePath(line.substr(kRecordPrefix.size()))) return fs::path(*path);
        from = end + 1;
    }
    return std::nullopt;
}

fs::path ExportFile(const fs::path& folder, int n) { return numberedFile(folder, kExportPrefix, n); }
fs::path UndoFile(const fs::path& folder, int n) { return numberedFile(folder, kUndoPrefix, n); }

int FreeNumber(const fs::path& folder) {
    int n = 0;
    while (fileExists(UndoFile(folder, n)) || fileExists(ExportFile(folder, n))) ++n;
    return n;
}

std::string UndoText(std::string_view keyPath) {
    return std::string(RegFile::kHeader) + "\r\n[-" + std::string(keyPath) + "]\r\n";
}

bool SaveAccountKey(const fs::path& folder, std::string_view keyPath, int& n, std::string& error) {
    if (!MailClients::IsAccountKey(keyPath)) {
        error = "not an account key of a mail program: " + std::string(keyPath);
        return false;
    }
    // What is saved here must be what the restore accepts.
    if (ParseUndoText(UndoText(keyPath)) != std::optional<std::string>(keyPath)) {
        error = "the key name cannot be kept in an undo file: " + std::string(keyPath);
        return false;
    }
    n = FreeNumber(folder);
    const fs::path exportFile = ExportFile(folder, n);
    const fs::path undoFile = UndoFile(folder, n);
    // The export records which registry stand-in it came from, so that it is never
    // put back into another one.
    const std::string exported = Registry::Store().ExportText(keyPath);
    MiscFuncs::WriteOptions options;
    options.replace = MiscFuncs::Replace::Never;
    options.requireFolderSync = true;
    options.newFileMode = 0600;
    std::string writeError;
    if (exported.empty() ||
        !MiscFuncs::WriteFileAtomic(exportFile, withRecord(exported, standIn()), options, &writeError)) {
        removeFile(exportFile);
        error = "the export of " + std::string(keyPath) + " failed" + (writeError.empty() ? "" : ": " + writeError);
        return false;
    }
    if (!exportStaysBelow(exportFile, keyPath, error)) {
        removeFile(exportFile);
        return false;
    }
    if (!MiscFuncs::WriteFileAtomic(undoFile, UndoText(keyPath), options, &writeError)) {
        removeFile(exportFile);
        error = "cannot write " + undoFile.string() + ": " + writeError;
        return false;
    }
    return true;
}

void DiscardPair(const fs::path& folder, int n) {
    removeFile(UndoFile(folder, n));
    removeFile(ExportFile(folder, n));
}

std::optional<std::string> ReadUndoFile(const fs::path& file) {
    std::string text;
    if (!MiscFuncs::ReadWholeFile(file, text, kMaxUndoFileSize + 1)) return std::nullopt;
    return ParseUndoText(text);
}

std::optional<std::string> ParseUndoText(std::string_view text) {
    if (text.size() > kMaxUndoFileSize) return std::nullopt;
    const std::string head = std::string(RegFile::kHeader) + "\r\n[-";
    if (text.compare(0, head.size(), head) != 0 || text.size() < head.size() + 3) return std::nullopt;
    if (text.compare(text.size() - 3, 3, "]\r\n") != 0) return std::nullopt;
    // The line ends at its last "]": a key name may hold "]" itself.
    std::string key(text.substr(head.size(), text.size() - head.size() - 3));
    if (key.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos || !MailClients::IsAccountKey(key))
        return std::nullopt;
    return key;
}

std::vector<int> PairNumbers(const fs::path& folder) { return numbersOf(folder, kUndoPrefix); }

std::vector<int> ExportNumbers(const fs::path& folder) { return numbersOf(folder, kExportPrefix); }

bool RestorePair(const fs::path& folder, int n, std::string& error) {
    const fs::path undoFile = UndoFile(folder, n);
    const fs::path exportFile = ExportFile(folder, n);
    if (!fileExists(undoFile) || !fileExists(exportFile)) {
        error = "Missing file " + (fileExists(undoFile) ? exportFile : undoFile).string() + ", " +
                undoFile.filename().string() + " was not imported";
        return false;
    }
    const std::optional<std::string> key = ReadUndoFile(undoFile);
    if (!key) {
        error = undoFile.string() + " is not a file Glimmerpost wrote; it was not imported";
        return false;
    }
    // The key goes back only into the registry stand-in it was saved from, and only
    // when it is still there: anywhere else the import would "restore" into a file
    // that the mail program does not read.
    std::string exportText;
    if (!exportStaysBelow(exportFile, *key, error, &exportText)) return false;
    const fs::path current = standIn();
    if (const auto recorded = RecordedRegistry(exportText); recorded && *recorded != current) {
        // The recorded path is the file's text: it is shown as stored, so that it cannot
        // bring a line end or a control byte into the log or onto the screen.
        error = exportFile.filename().string() + " holds the settings of the registry file " +
                encodePath(recorded->string()) +
                ", not of " + current.string() + "; " + undoFile.filename().string() + " was not imported";
        return false;
    }
    if (!Registry::Store().KeyExists(*key)) {
        error = "The key " + *key + " is not in the registry file " + current.string() + "; " +
                undoFile.filename().string() + " was not imported";
        return false;
    }
    if (!Registry::Store().ImportFiles({undoFile, exportFile}, *key)) {
        error = "Failed to import file " + undoFile.string() + " and " + exportFile.string();
        return false;
    }
    for (const fs::path& f : {undoFile, exportFile}) {
        if (!removeFile(f)) {
            error += (error.empty() ? "" : "\r\n") + ("Failed to delete file " + MiscFuncs::GetShortPath(f.string()));
        }
    }
    return error.empty();
}

}  // namespace UndoFiles

namespace MailClients {
namespace {

// Collects the account's new values, written in one go: on a full disk the account
// keeps all its old values, never a mixture of old and new.
struct Writer {
    std::vector<RegFile::RegValue> values;
    void text(std::string_view name, std::string_view value) {
        values.push_back({std::string(name), RegFile::kRegSz, std::string(value) + '\0'});
    }
    void dword(std::string_view name, std::uint32_t value) {
        values.push_back({std::string(name), RegFile::kRegDword, RegFile::DwordBytes(value)});
    }
    void wide(std::string_view name, std::string_view value) {
        values.push_back({std::string(name), RegFile::kRegBinary, ToUtf16LeZ(value)});
    }
};

}  // namespace

bool RewriteAccount(const MailAccount& a, int localPOP3Port, int localSMTPPort) {
    Writer w;
    const auto pop3Port = static_cast<std::uint32_t>(localPOP3Port);
    const auto smtpPort = static_cast<std::uint32_t>(localSMTPPort);
    if (a.ClientKind == kOutlookExpress) {
        w.text("POP3 Server", "localhost");
        w.dword("POP3 Port", pop3Port);
        w.dword("POP3 Use Sicily", 0);
        w.text("POP3 User Name", a.EMailAddress);
        w.text("SMTP Server", "localhost");
        w.dword("SMTP Port", smtpPort);
        w.dword("SMTP Use Sicily", 0);
        // Its SSL switches (read by the detection): the local servers speak plain text,
        // and accounts.ini keeps the account's own security towards the provider.
        w.dword("POP3 Secure Connection", 0);
        w.dword("SMTP Secure Connection", 0);
    } else if (a.ClientKind == kOutlook) {
        const OutlookKeyKind kind = OutlookKeyKindOf(a.ClientKeyPath);
        const bool profile = kind == OutlookKeyKind::Profile;
        if (profile) w.wide("POP3 Server", "localhost");
        else w.text("POP3 Server", "localhost");
        w.dword("POP3 Port", pop3Port);
        w.dword("POP3 Use SPA", 0);
        if (kind != OutlookKeyKind::Version8) w.dword("POP3 Use SSL", 0);
        if (kind == OutlookKeyKind::Version8) {
            w.dword("POP3 Secure Connection", 0);
            w.dword("Leave Mail On Server", 0);
        }
        if (profile) w.wide("POP3 User", a.EMailAddress);
        else w.text("POP3 User Name", a.EMailAddress);
        if (profile) w.wide("SMTP Server", "localhost");
        else w.text("SMTP Server", "localhost");
        w.dword("SMTP Port", smtpPort);
        w.dword("SMTP Use Auth", 0);
        w.dword("SMTP Use SPA", 0);
        w.dword("SMTP Use SSL", 0);
    } else {
        return false;
    }
    if (Registry::SetValues(a.ClientKeyPath, w.values)) return true;
    MiscFuncs::WriteLog(0, "#", "Error in ConfigureMailClientAccounts: " + a.ClientKeyPath +
                                    " could not be rewritten; it was left as it was");
    return false;
}

}  // namespace MailClients
