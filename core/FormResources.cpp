#include "core/FormResources.h"

#include "core/CIniFile.h"
#include "core/MiscUtils.h"

namespace MiscFuncs {

std::vector<FormResource> FormResources(const CIniFile& resources, std::string_view form) {
    std::vector<FormResource> out;
    for (const std::string& key : resources.AllSectionKeysArray(form)) {
        const std::size_t dot = key.find('.');
        if (dot == key.npos) break;
        std::string property = key.substr(dot + 1);
        if (property != kCaptionProperty && property != kToolTipProperty) continue;
        out.push_back(FormResource{key.substr(0, dot), std::move(property), resources.Value(form, key)});
    }
    return out;
}

std::string FormResourceText(const CIniFile& resources, std::string_view form, std::string_view control,
                             std::string_view property) {
    std::string text;
    for (FormResource& r : FormResources(resources, form))
        if (r.property == property && EqualsIgnoreCase(r.control, control)) text = std::move(r.text);
    return text;
}

}  // namespace MiscFuncs
