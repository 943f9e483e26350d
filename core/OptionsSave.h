#pragma once
// The options dialog's OK as one save across the files it changes: the [options]
// section of the options file, aliases.ini, the start with the desktop session and
// accounts.ini (core/ProgramSettings.h, core/Aliases.h, core/MailAccount.h).
//
// All or nothing: before anything is written, the files are kept as they are (their
// bytes, or that they are missing). Then they are written in this order, each
// replaced atomically: options, aliases, the start entry, accounts (whose renamed
// folders move only once its file is written, the last step). When a step fails, the
// files already written are put back from the kept bytes and the start entry is set
// back, so that nothing has changed and the dialog can stay open; the message then
// names the step that failed and says that nothing was saved, or, when something
// could not be put back, exactly which files now hold the new settings.
//
// It works on the files' paths alone and holds nothing of the program, so it may run
// after events ran while the engines were stopped.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/MailAccount.h"
#include "core/ProgramSettings.h"

namespace OptionsSave {

struct Files {
    std::filesystem::path options, aliases, accounts;
};

struct Request {
    DialogOptions options;
    std::vector<std::string> aliases;
    std::vector<MailAccount> accounts;
    // Sets or removes the start with the session; false when it failed. Empty: left alone.
    std::function<bool(bool on)> setAutoStart;
    // The choice stored before the save, to set back when a later step fails.
    bool autoStartBefore = false;
};

// The step a save failed at.
enum class Step { None, Options, Aliases, AutoStart, Accounts };

struct Result {
    bool saved = false;
    bool renamed = false;  // an account folder moved
    Step failed = Step::None;
    std::string message;   // for the user, when not saved
};

Result Save(const Files& files, const Request& request);

// The bytes of files as they were before a save that writes several of them.
class FilesBackup {
public:
    // Keeps the file as it is now (its bytes, or that it is missing). False, with
    // *error, when it cannot be read: a save must not start then.
    bool Keep(const std::filesystem::path& file, std::string* error = nullptr);
    // Puts every kept file back as it was; the files that could not be put back.
    std::vector<std::filesystem::path> Restore() const;

private:
    struct Saved {
        std::filesystem::path file;
        bool existed = false;
        std::string bytes;
    };
    std::vector<Saved> saved_;
};

}  // namespace OptionsSave
