#include "mainwindow/EngineSet.h"

#include <exception>

#include "core/Log.h"

namespace mainwindow {

std::vector<EngineSet::Slot> EngineSet::makeSlots() {
    std::vector<Slot> slots;
    for (std::string_view name : kUnloadOrder) slots.push_back(Slot{std::string(name), {}, false, false, false});
    return slots;
}

EngineSet::Slot* EngineSet::find(std::string_view name) {
    for (Slot& s : slots_)
        if (s.name == name) return &s;
    return nullptr;
}

const EngineSet::Slot* EngineSet::find(std::string_view name) const {
    for (const Slot& s : slots_)
        if (s.name == name) return &s;
    return nullptr;
}

bool EngineSet::Register(LoadableWindow window) {
    Slot* slot = find(window.name);
    if (!slot || !window.load || slot->loaded) return false;
    slot->window = std::move(window);
    slot->filled = true;
    return true;
}

bool EngineSet::IsRegistered(std::string_view name) const {
    const Slot* slot = find(name);
    return slot && slot->filled;
}

bool EngineSet::IsLoaded(std::string_view name) const {
    const Slot* slot = find(name);
    return slot && slot->loaded;
}

void EngineSet::Load(std::string_view name, GlimmerpostProgram& program) {
    Slot* slot = find(name);
    if (slot && slot->loaded) return;
    if (!slot || !slot->filled) {
        if (slot && slot->reported) return;
        if (slot) slot->reported = true;
        MiscFuncs::WriteLog(0, "i", std::string(name) + " is not available");
        return;
    }
    slot->loaded = true;
    slot->window.load(program);
}

void EngineSet::Unload(std::string_view name) {
    Slot* slot = find(name);
    if (!slot || !slot->loaded) return;
    slot->loaded = false;
    if (!slot->window.unload) return;
    // Shut-down goes on past a window that fails to unload: the marker, [display]
    // and the logs must still be handled.
    try {
        slot->window.unload();
    } catch (const std::exception& e) {
        MiscFuncs::WriteLog(0, "#", "Error in MainForm::Unload " + slot->name + ": " + e.what());
    } catch (...) {
        MiscFuncs::WriteLog(0, "#", "Error in MainForm::Unload " + slot->name);
    }
}

void EngineSet::UnloadAll() {
    for (std::string_view name : kUnloadOrder) Unload(name);
}

void EngineSet::ReloadEngines(GlimmerpostProgram& program) {
    for (std::string_view name : kEngineUnloadOrder) Unload(name);
    for (std::string_view name : kEngineLoadOrder) Load(name, program);
}

}  // namespace mainwindow
