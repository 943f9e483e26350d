#pragma once
// EngineSet: the program's secondary windows (the engines, the tray menu, the
// registration pop-up, the preview window and the dialogs that live for the whole
// run), each in a named slot that its own module fills before start-up.
//
// Start-up loads them one after another in kLoadOrder (the SMTP authentication
// dialog first, on its own step); shut-down unloads the loaded ones in kUnloadOrder.
// A slot that nobody filled logs "<name> is not available" (level 0, "i") the first
// time it is asked to load and is otherwise skipped, so the program runs with whatever windows
// exist. A window counts as loaded from the moment its load was called, so a load
// that failed half-way is still unloaded at the end.
//
// Windows handle their own failures (they report them to the user themselves); an
// exception that escapes a load reaches the caller, which ends the start-up with it.
// Exceptions that escape an unload are logged and skipped, so the rest still unloads.

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mainwindow {

class GlimmerpostProgram;

struct LoadableWindow {
    std::string name;  // one of EngineSet::kUnloadOrder
    std::function<void(GlimmerpostProgram&)> load;
    std::function<void()> unload;
};

class EngineSet {
public:
    static constexpr std::string_view kAuthDialog = "AuthSettingsDialog";
    static constexpr std::string_view kTrayMenu = "SystrayMenuForm";
    static constexpr std::string_view kTellAFriend = "frmTellAFriend";

    // The windows loaded one after another near the end of start-up.
    static constexpr std::array<std::string_view, 7> kLoadOrder = {
        "SystrayMenuForm", "RegRequestForm", "MessagePreviewForm", "SMTPProxyForm",
        "POP3ServerForm",  "SMTPSpooler",    "POP3CollectorForm"};
    // Every slot, in the order shut-down unloads them.
    static constexpr std::array<std::string_view, 9> kUnloadOrder = {
        "POP3CollectorForm", "POP3ServerForm",     "SMTPProxyForm",   "SMTPSpooler",   "AuthSettingsDialog",
        "RegRequestForm",    "MessagePreviewForm", "SystrayMenuForm", "frmTellAFriend"};
    // The four engines that take new settings: unloaded in the first order, loaded
    // again in the second, each reading its settings as it loads.
    static constexpr std::array<std::string_view, 4> kEngineUnloadOrder = {"POP3CollectorForm", "POP3ServerForm",
                                                                           "SMTPProxyForm", "SMTPSpooler"};
    static constexpr std::array<std::string_view, 4> kEngineLoadOrder = {"SMTPProxyForm", "POP3ServerForm",
                                                                         "SMTPSpooler", "POP3CollectorForm"};

    // Fills (or refills) the slot of window.name; false for a name that has no slot
    // or a window without a load procedure. A loaded window cannot be replaced.
    bool Register(LoadableWindow window);
    bool IsRegistered(std::string_view name) const;
    bool IsLoaded(std::string_view name) const;

    // Loads the window unless it is loaded already; an empty slot logs that the
    // window is not available. Exceptions of the load pass through.
    void Load(std::string_view name, GlimmerpostProgram& program);
    // Unloads the window when it is loaded; never throws.
    void Unload(std::string_view name);
    // Every loaded window, in kUnloadOrder.
    void UnloadAll();
    // After the settings changed: the engines out in kEngineUnloadOrder, then in again
    // in kEngineLoadOrder (also those that were not loaded before).
    void ReloadEngines(GlimmerpostProgram& program);

private:
    struct Slot {
        std::string name;
        LoadableWindow window;
        bool filled = false;
        bool loaded = false;
        bool reported = false;  // its absence has been logged
    };
    Slot* find(std::string_view name);
    const Slot* find(std::string_view name) const;

    std::vector<Slot> slots_ = makeSlots();
    static std::vector<Slot> makeSlots();
};

}  // namespace mainwindow
