// Any bytes as one line of a CSV file, and as a whole file: the record reader never
// makes text out of nothing, a line without quotes splits exactly at its commas, and
// the guessed e-mail column is one the preview has.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/CsvReader.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

std::vector<std::string> splitAtCommas(std::string_view line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t at; (at = line.find(',', start)) != std::string_view::npos; start = at + 1)
        out.emplace_back(line.substr(start, at - start));
    if (start < line.size()) out.emplace_back(line.substr(start));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view line = bytes.substr(0, bytes.find('\n'));
    const CsvImport::Record record = CsvImport::ReadRecord(line);
    std::size_t kept = 0;
    for (const std::string& f : record) kept += f.size();
    check(kept + record.size() <= line.size() + 1);
    if (line.find('"') == std::string_view::npos) check(record == splitAtCommas(line));

    std::vector<CsvImport::Record> preview;
    std::string_view rest = bytes;
    while (!rest.empty() && preview.size() < CsvImport::kPreviewRows) {
        const std::size_t end = rest.find('\n');
        CsvImport::Record r = CsvImport::ReadRecord(rest.substr(0, end));
        if (!r.empty()) preview.push_back(std::move(r));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    const int column = CsvImport::GuessEMailColumn(preview);
    check(column >= -1 && column < static_cast<int>(CsvImport::ColumnCount(preview)));
    return 0;
}
