#include "core/CsvReader.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/AddressImport.h"

namespace CsvImport {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

}  // namespace

Record ReadRecord(std::string_view line) {
    Record record;
    std::string field;
    bool inQuotes = false;
    bool afterQuote = false;  // a quoted part has closed in this field
    bool started = false;     // the field holds a quoted part, so it counts even empty
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c != '"') field += c;
            else if (i + 1 < line.size() && line[i + 1] == '"') field += '"', ++i;
            else inQuotes = false, afterQuote = true;
            continue;
        }
        if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
            started = afterQuote = false;
        } else if (c == '"') {
            inQuotes = started = true;
            afterQuote = false;
        } else if (!(afterQuote && isBlank(c))) {
            field += c;
            afterQuote = false;
        }
    }
    if (!field.empty() || started) record.push_back(std::move(field));
    return record;
}

bool CsvFile::Open(const std::string& path) {
    in_ = std::ifstream();
    line_ = 0;
    fault_ = LineFault::None;
    badLine_ = false;
    if (!isRegularFile(path)) return false;
    in_.open(std::filesystem::path(path), std::ios::binary);
    return in_.is_open();
}

bool CsvFile::readLine(std::string& line) {
    line.clear();
    fault_ = LineFault::None;
    if (!in_.is_open()) return false;
    std::streambuf* buf = in_.rdbuf();
    constexpr int kEof = std::char_traits<char>::eof();
    bool any = false, cut = false;
    for (int ch = buf->sbumpc(); ch != kEof; ch = buf->sbumpc()) {
        any = true;
        if (ch == '\n') break;
        if (ch == '\r') {
            // CR LF, or a lone CR of an old Mac file: either ends the line.
            if (buf->sgetc() == '\n') buf->sbumpc();
            break;
        }
        if (line.size() < kMaxLineBytes) line += static_cast<char>(ch);
        else cut = true;
    }
    if (!any) return false;
    ++line_;
    if (line_ == 1 && line.starts_with(kByteOrderMark)) line.erase(0, kByteOrderMark.size());
    if (line.find('\0') != std::string::npos) fault_ = LineFault::Unreadable;
    else if (cut) fault_ = LineFault::Cut;
    badLine_ = badLine_ || fault_ != LineFault::None;
    return true;
}

bool CsvFile::ReadRecord(Record& record) {
    std::string line;
    while (readLine(line)) {
        record = CsvImport::ReadRecord(line);
        if (!record.empty() || fault_ != LineFault::None) return true;
    }
    record.clear();
    return false;
}

std::size_t CountLines(const std::string& path) {
    if (!isRegularFile(path)) return 0;
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) return 0;
    std::size_t lines = 0;
    char last = '\n';
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        // Each LF ends a line, and each CR that no LF follows (a CR LF counts once).
        for (std::size_t i = 0; i < n; ++i) {
            const char c = chunk[i];
            if (c == '\n' || (last == '\r' && c != '\n')) ++lines;
            last = c;
        }
    }
    if (last == '\r') return lines + 1;
    return lines + (last != '\n' ? 1 : 0);
}

std::size_t ReadPreview(const std::string& path, std::vector<Record>& preview, std::size_t rowLimit,
                        bool* badLine) {
    preview.clear();
    CsvFile file;
    if (file.Open(path)) {
        Record record;
        while (preview.size() < rowLimit && file.ReadRecord(record))
            if (!record.empty()) preview.push_back(std::move(record));
    }
    if (badLine) *badLine = file.SawBadLine();
    return preview.size();
}

int GuessEMailColumn(const std::vector<Record>& preview) {
    std::vector<std::size_t> counts(ColumnCount(preview), 0);
    for (const Record& record : preview)
        for (std::size_t i = 0; i < record.size(); ++i)
            if (AddressImport::HoldsAddress(record[i])) ++counts[i];
    int best = -1;
    for (std::size_t i = 0; i < counts.size(); ++i)
        if (counts[i] > 0 && (best < 0 || counts[i] > counts[static_cast<std::size_t>(best)]))
            best = static_cast<int>(i);
    return best;
}

std::size_t ColumnCount(const std::vector<Record>& preview) {
    std::size_t widest = 0;
    for (const Record& record : preview) widest = std::max(widest, record.size());
    return widest;
}

std::string_view FieldOf(const Record& record, int column) {
    if (column < 0 || static_cast<std::size_t>(column) >= record.size()) return {};
    return record[static_cast<std::size_t>(column)];
}

}  // namespace CsvImport
