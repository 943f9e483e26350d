#include "core/OptionsSave.h"

#include <system_error>

#include "core/Aliases.h"
#include "core/AtomicFile.h"
#include "core/CIniFile.h"
#include "core/IniStore.h"
#include "core/Log.h"

namespace fs = std::filesystem;

namespace OptionsSave {

bool FilesBackup::Keep(const fs::path& file, std::string* error) {
    Saved s;
    s.file = file;
    MiscFuncs::FileStamp stamp;
    std::string problem;
    const MiscFuncs::ReadStatus status =
        MiscFuncs::ReadWholeFileStamped(file, s.bytes, IniStore::kMaxFileSize, stamp, &problem);
    if (status == MiscFuncs::ReadStatus::Missing) {
        s.bytes.clear();
    } else if (status == MiscFuncs::ReadStatus::Read) {
        s.existed = true;
    } else {
        if (error) *error = file.string() + " could not be read: " + problem;
        return false;
    }
    saved_.push_back(std::move(s));
    return true;
}

std::vector<fs::path> FilesBackup::Restore() const {
    std::vector<fs::path> failed;
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        std::string problem, now;
        std::error_code ec;
        // A file the save did not get to change is left alone.
        if (it->existed && MiscFuncs::ReadWholeFile(it->file, now, it->bytes.size() + 1) && now == it->bytes) continue;
        if (!it->existed && !fs::exists(fs::symlink_status(it->file, ec))) continue;
        bool ok = false;
        if (it->existed) {
            // The file was written by this save, so it may be replaced; its mode stays.
            MiscFuncs::WriteOptions options;
            options.refuseReadOnlyTarget = false;
            ok = MiscFuncs::WriteFileAtomic(it->file, it->bytes, options, &problem);
        } else {
            fs::remove(it->file, ec);
            ok = !ec;
            if (ec) problem = ec.message();
        }
        if (ok) continue;
        MiscFuncs::WriteLog(0, "#", "Error in OptionsSave::Restore " + it->file.string() + ": " + problem);
        failed.push_back(it->file);
    }
    return failed;
}

namespace {

std::string stepText(Step step, const Files& files) {
    switch (step) {
    case Step::Options: return "The options could not be saved to " + files.options.string() + ".";
    case Step::Aliases: return "The aliases could not be saved to " + files.aliases.string() + ".";
    case Step::AutoStart: return "The start with the desktop session could not be changed.";
    case Step::Accounts: return "The accounts could not be saved to " + files.accounts.string() + ".";
    case Step::None: break;
    }
    return "";
}

// What each step wrote, for the message when it could not be put back.
const char* writtenBy(Step step) {
    switch (step) {
    case Step::Options: return "the options";
    case Step::Aliases: return "the aliases";
    default: return "the settings";
    }
}

class Run {
public:
    Run(const Files& files, const Request& request) : files_(files), request_(request) {}

    Result go() {
        std::string problem;
        for (const fs::path& f : {files_.options, files_.aliases, files_.accounts}) {
            if (backup_.Keep(f, &problem)) continue;
            result_.failed = Step::Options;
            result_.message = problem + "\r\nNothing has been saved; the settings are as they were.";
            return result_;
        }
        ProgramSettings settings(files_.options.string());
        if (!SaveDialogOptions(settings, request_.options)) return fail(Step::Options, "");
        written_.push_back(Step::Options);
        CIniFile aliases(files_.aliases.string());
        if (!Aliases::WriteAliases(aliases, request_.aliases)) return fail(Step::Aliases, "");
        written_.push_back(Step::Aliases);
        if (request_.setAutoStart) {
            autoStartTouched_ = true;
            if (!request_.setAutoStart(request_.options.startWithWindows)) return fail(Step::AutoStart, "");
        }
        CIniFile accounts(files_.accounts.string());
        std::string error;
        bool renamed = false;
        if (!Accounts::SaveAccountList(accounts, request_.accounts, &error, &renamed))
            return fail(Step::Accounts, error);
        result_.saved = true;
        result_.renamed = renamed;
        return result_;
    }

private:
    Result fail(Step step, const std::string& reason) {
        result_.failed = step;
        // The account list's own reason (a refusal, the file not written) says it all.
        result_.message = reason.empty() ? stepText(step, files_) : reason;
        MiscFuncs::WriteLog(0, "#", "Error in AccountsOptionsDialog::OkButton_Click " + result_.message);
        const std::vector<fs::path> stuck = backup_.Restore();
        bool autoStartBack = true;
        if (autoStartTouched_) autoStartBack = request_.setAutoStart(request_.autoStartBefore);
        std::vector<std::string> notBack;
        for (Step s : written_)
            for (const fs::path& f : stuck)
                if (f == (s == Step::Options ? files_.options : files_.aliases)) notBack.push_back(writtenBy(s));
        if (!autoStartBack) notBack.push_back("the start with the desktop session");
        if (notBack.empty()) {
            result_.message += "\r\nNothing has been saved; the settings are as they were.";
            return result_;
        }
        std::string list;
        for (std::size_t i = 0; i < notBack.size(); ++i)
            list += (i == 0 ? "" : i + 1 == notBack.size() ? " and " : ", ") + notBack[i];
        result_.message += "\r\nSaved all the same, as they could not be put back: " + list +
                           ". Nothing else has been saved.";
        return result_;
    }

    const Files& files_;
    const Request& request_;
    FilesBackup backup_;
    std::vector<Step> written_;
    bool autoStartTouched_ = false;
    Result result_;
};

}  // namespace

Result Save(const Files& files, const Request& request) { return Run(files, request).go(); }

}  // namespace OptionsSave
