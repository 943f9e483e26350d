#pragma once
// The [display] section of the options file: the main window's last geometry and
// state, and the one-time notices. Written only at shut-down and by the close box,
// read only at start-up.
//
// Keys: startupw, startuph (size), startupx, startupy (left and top edge), all in
// pixels as decimal text; windowstate "1" when the window was minimised or hidden at
// shut-down, else "0"; TrayCloseMsgShow "1" once the close-to-tray notice was shown.

#include <optional>
#include <string_view>

#include "core/CIniFile.h"

namespace Display {

inline constexpr std::string_view kSection = "display";

// What start-up restores; a value that is missing, no number, or farther than
// kMaxCoordinate from 0 is left out and the window keeps its design value for it.
struct WindowGeometry {
    std::optional<int> width, height, left, top;
};
inline constexpr int kMaxCoordinate = 1000000;

WindowGeometry ReadWindowGeometry(const CIniFile& options);

// The start-hidden rule on the two stored texts ([display] windowstate and
// [options] StartWithWindows): the window shows only when both are numbers and
// neither is 1; otherwise the program starts hidden in the tray.
bool StartsHidden(std::string_view windowState, std::string_view startWithWindows);
bool StartsHidden(const CIniFile& options);

// Shut-down's write: startupy, startupx, startupw, startuph, then windowstate, as one
// change of the file.
bool WriteWindowState(CIniFile& options, int left, int top, int width, int height, bool minimisedOrHidden);

bool TrayCloseMsgShown(const CIniFile& options);
bool SetTrayCloseMsgShown(CIniFile& options);

}  // namespace Display
