#pragma once
// The user-interface texts of resources.ini: one section per form, named by the
// form's name; each key a control name, "." and a property name, each value the text
// to show. The program only reads the file.
//
// FormResources gives what applying a form's resources sets, in file order:
//   - control = the key's text before its first ".", property = the text after it;
//   - only the properties "Caption" and "ToolTipText" (case exact) are listed, any
//     other property is skipped;
//   - a key without "." ends the list: the keys after it are not applied.
// The widget code applies the list in order, the caption or the tool tip of the
// named control, and stops at the first entry whose control the form does not have
// (so a later key is not applied either); the form goes on loading.
//
// FormResourceText answers for one control: the text the list above sets for that
// control name (letter case ignored, as control names are) and property, the last
// one when it is listed twice; "" when the list sets none.

#include <string>
#include <string_view>
#include <vector>

class CIniFile;

namespace MiscFuncs {

inline constexpr std::string_view kCaptionProperty = "Caption";
inline constexpr std::string_view kToolTipProperty = "ToolTipText";

struct FormResource {
    std::string control;
    std::string property;  // kCaptionProperty or kToolTipProperty
    std::string text;
};

std::vector<FormResource> FormResources(const CIniFile& resources, std::string_view form);
std::string FormResourceText(const CIniFile& resources, std::string_view form, std::string_view control,
                             std::string_view property);

}  // namespace MiscFuncs
