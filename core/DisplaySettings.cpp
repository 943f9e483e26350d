#include "core/DisplaySettings.h"

#include "core/MiscUtils.h"
#include "core/ProgramSettings.h"

namespace Display {
namespace {

std::optional<int> coordinate(const CIniFile& options, std::string_view key) {
    const auto n = NumberOfSetting(options.Value(kSection, key));
    if (!n || *n < -kMaxCoordinate || *n > kMaxCoordinate) return std::nullopt;
    return static_cast<int>(*n);
}

}  // namespace

WindowGeometry ReadWindowGeometry(const CIniFile& options) {
    WindowGeometry g;
    g.width = coordinate(options, "startupw");
    g.height = coordinate(options, "startuph");
    g.left = coordinate(options, "startupx");
    g.top = coordinate(options, "startupy");
    return g;
}

bool StartsHidden(std::string_view windowState, std::string_view startWithWindows) {
    const auto state = NumberOfSetting(windowState);
    const auto start = NumberOfSetting(startWithWindows);
    if (!state || !start) return true;
    return *state == 1 || *start == 1;
}

bool StartsHidden(const CIniFile& options) {
    return StartsHidden(options.Value(kSection, "windowstate"),
                        options.Value(OptionKeys::kSection, OptionKeys::StartWithWindows));
}

bool WriteWindowState(CIniFile& options, int left, int top, int width, int height, bool minimisedOrHidden) {
    CIniFile::Batch batch(options);
    options.Value(kSection, "startupy", top);
    options.Value(kSection, "startupx", left);
    options.Value(kSection, "startupw", width);
    options.Value(kSection, "startuph", height);
    options.Value(kSection, "windowstate", minimisedOrHidden ? "1" : "0");
    return batch.Commit();
}

bool TrayCloseMsgShown(const CIniFile& options) { return options.Value(kSection, "TrayCloseMsgShow") == "1"; }

bool SetTrayCloseMsgShown(CIniFile& options) { return options.Value(kSection, "TrayCloseMsgShow", "1"); }

}  // namespace Display
