#include "core/SetupSave.h"

#include <filesystem>
#include <system_error>

#include "core/Aliases.h"
#include "core/CIniFile.h"
#include "core/Environment.h"
#include "core/Log.h"
#include "core/MailClientFiles.h"
#include "core/MailClients.h"
#include "core/ProgramFiles.h"

namespace fs = std::filesystem;

namespace SetupSave {
namespace {

bool saveAccounts(const std::vector<MailAccount>& accounts, CIniFile& ini) {
    CIniFile::Batch batch(ini);
    bool saved = true;
    for (const MailAccount& a : accounts)
        if (a.AccountTested == 1) saved = Accounts::SaveWizardAccount(ini, a) && saved;
    return batch.Commit() && saved;
}

}  // namespace

Outcome SaveWizardAccounts(std::vector<MailAccount>& accounts, const std::vector<std::string>& aliases,
                           CIniFile& accountsIni, CIniFile& aliasesIni, int localPOP3Port, int localSMTPPort) {
    Outcome out;
    const fs::path folder = MiscFuncs::ProgramFolder();
    std::vector<MailAccount> work = accounts;
    std::vector<int> pairs;
    for (MailAccount& a : work) {
        if (a.AccountTested != 1 || a.ClientKind <= 0) continue;
        int n = 0;
        std::string error;
        if (UndoFiles::SaveAccountKey(folder, a.ClientKeyPath, n, error)) {
            a.RegFileNo = static_cast<std::int16_t>(n);
            pairs.push_back(n);
            continue;
        }
        MiscFuncs::WriteLog(0, "#", "Error in ConfigureMailClientAccounts: " + a.EMailAddress + ": " + error);
        a.ClientKind = MailClients::kManual;
        a.RegFileNo = 0;
        out.notRewritten.push_back(a.EMailAddress);
    }
    if (!saveAccounts(work, accountsIni)) {
        MiscFuncs::WriteLog(0, "#", "Error in SaveAccounts: accounts.ini could not be written");
        for (int n : pairs) UndoFiles::DiscardPair(folder, n);
        out.notRewritten.clear();
        return out;
    }
    out.accountsSaved = true;
    accounts = std::move(work);
    for (const MailAccount& a : accounts) {
        if (a.AccountTested != 1) continue;
        Accounts::EnsureAccountFolders(a.EMailAddress);
        if (a.ClientKind > 0 && !MailClients::RewriteAccount(a, localPOP3Port, localSMTPPort))
            out.notRewritten.push_back(a.EMailAddress);
    }
    out.aliasesSaved = Aliases::WriteAliases(aliasesIni, aliases);
    return out;
}

std::string NotRewrittenText(const std::vector<std::string>& addresses, int localPOP3Port, int localSMTPPort) {
    std::string text = "Glimmerpost could not save or change the settings of the following account(s) in your "
                       "e-mail application, so they were left unchanged:\r\n";
    for (const std::string& a : addresses) text += a + "\r\n";
    text += "\r\nPlease set up these account(s) in your e-mail application by hand: POP3 server localhost, port " +
            std::to_string(localPOP3Port) + ", SMTP server localhost, port " + std::to_string(localSMTPPort) +
            ", with the account's e-mail address as user name and its password.";
    return text;
}

}  // namespace SetupSave
