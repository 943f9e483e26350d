#include "core/IniLines.h"

#include "core/MiscUtils.h"

namespace MiscFuncs {

std::string KeyOfLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == line.npos || eq == 0) return "";
    return std::string(TrimBlanks(line.substr(0, eq)));
}

std::string ValueOfLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == line.npos || eq == 0) return "";
    return std::string(TrimBlanks(line.substr(eq + 1)));
}

std::string SectionOfLine(std::string_view line) {
    if (line.size() < 3 || line.front() != '[' || line.back() != ']') return "";
    return std::string(line.substr(1, line.size() - 2));
}

}  // namespace MiscFuncs
