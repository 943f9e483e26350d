#pragma once
// The core keeps its texts as 8-bit strings; the widgets want QString. A text that is
// valid UTF-8 (paths and anything typed on this system) is read as UTF-8, any other
// as Latin-1, so that a byte never turns into a replacement character.

#include <QString>

#include <string>
#include <string_view>

namespace platform {

QString FromText8(std::string_view text);

// The 8-bit text to store for what a field shows, given the bytes it was filled from:
// those very bytes while the field still shows them as FromText8 did, so a field the
// user did not edit gives back its bytes exactly (a password that is not UTF-8 among
// them). An edited field keeps the form its bytes had: Latin-1 when they were not
// UTF-8 and every character fits, else UTF-8.
std::string ToText8(const QString& shown, std::string_view original);

}  // namespace platform
