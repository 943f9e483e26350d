#pragma once
// The core keeps its texts as 8-bit strings; the widgets want QString. A text that is
// valid UTF-8 (paths and anything typed on this system) is read as UTF-8, any other
// as Latin-1, so that a byte never turns into a replacement character.

#include <QString>

#include <string_view>

namespace platform {

QString FromText8(std::string_view text);

}  // namespace platform
