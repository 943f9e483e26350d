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

// The export holds only keys and values at or below the key.
bool exportStaysBelow(const fs::path& file, std::string_view keyPath, std::string& error) {
    std::string text;
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

}  // namespace

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
    n = FreeNumber(folder);
    const fs::path exportFile = ExportFile(folder, n);
    const fs::path undoFile = UndoFile(folder, n);
    if (!Registry::ExportRegistryFile(exportFile, keyPath)) {
        removeFile(exportFile);
        error = "the export of " + std::string(keyPath) + " failed";
        return false;
    }
    if (!exportStaysBelow(exportFile, keyPath, error)) {
        removeFile(exportFile);
        return false;
    }
    MiscFuncs::WriteOptions options;
    options.replace = MiscFuncs::Replace::Never;
    options.requireFolderSync = true;
    std::string writeError;
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
    std::string key(text.substr(head.size(), text.size() - head.size() - 3));
    if (key.find_first_of("\r\n]") != std::string::npos || !MailClients::IsAccountKey(key)) return std::nullopt;
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
    if (!exportStaysBelow(exportFile, *key, error)) return false;
    if (!Registry::ImportRegistryFile(undoFile)) {
        error = "Failed to import file " + undoFile.string();
        return false;
    }
    if (!Registry::ImportRegistryFile(exportFile)) {
        error = "Failed to import file " + exportFile.string();
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

struct Writer {
    const std::string& key;
    bool ok = true;
    void text(std::string_view name, std::string_view value) { ok &= Registry::SetStringValue(key, name, value); }
    void dword(std::string_view name, std::uint32_t value) { ok &= Registry::SetDwordValue(key, name, value); }
    void wide(std::string_view name, std::string_view value) {
        ok &= Registry::SetBinaryValue(key, name, ToUtf16LeZ(value));
    }
};

}  // namespace

bool RewriteAccount(const MailAccount& a, int localPOP3Port, int localSMTPPort) {
    Writer w{a.ClientKeyPath};
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
    if (!w.ok) MiscFuncs::WriteLog(0, "#", "Error in ConfigureMailClientAccounts: " + a.ClientKeyPath + " was not fully rewritten");
    return w.ok;
}

}  // namespace MailClients
