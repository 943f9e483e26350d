// Registry export files from outside (mail-client exports, undo files) go through the
// parser. Whatever it accepts must format to a text that parses back to the same
// values, and formatting that again must give the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/RegFile.h"

namespace {

std::string join(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& p : parts) path += (path.empty() ? "" : "\\") + p;
    return path;
}

// The canonical text of the keys and values set by the statements.
std::string canonical(const std::vector<RegFile::Statement>& statements, std::vector<RegFile::RegValue>& values) {
    std::string out = std::string(RegFile::kHeader) + "\r\n\r\n";
    values.clear();
    for (const RegFile::Statement& s : statements) {
        if (s.op == RegFile::Statement::Op::Key) out += "\r\n" + RegFile::FormatKeyLine(join(s.key));
        if (s.op != RegFile::Statement::Op::SetValue) continue;
        out += RegFile::FormatValue(s.value);
        values.push_back(s.value);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<RegFile::Statement> first, second;
    std::string error;
    if (!RegFile::Parse(text, first, error)) return 0;
    std::vector<RegFile::RegValue> v1, v2;
    const std::string once = canonical(first, v1);
    if (!RegFile::Parse(once, second, error)) std::abort();
    const std::string twice = canonical(second, v2);
    if (twice != once || v1.size() != v2.size()) std::abort();
    for (std::size_t i = 0; i < v1.size(); ++i)
        if (v1[i].name != v2[i].name || v1[i].data != v2[i].data) std::abort();
    return 0;
}
