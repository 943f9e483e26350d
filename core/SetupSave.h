#pragma once
// The setup wizard's save, run when the user leaves its aliases page: the mail
// programs' accounts are saved to undo files, accounts.ini is written, the mail
// programs are pointed at the local servers, and aliases.ini is written.
//
// The order keeps the user's settings safe: an account whose key could not be saved
// (export or undo file) is kept as entered by hand (no RegFileNo) and its mail program
// is left alone; the mail programs are rewritten only after accounts.ini has been
// written and checked; when that write fails, the undo files of this run are removed
// again and nothing else has changed, so the wizard can stay on its page.
//
// Only tested accounts (AccountTested 1) are saved; each gets all its folders
// (Accounts::EnsureAccountFolders: InBox, OutBox, WaitingAuth and Recycled).

#include <string>
#include <vector>

#include "core/MailAccount.h"

class CIniFile;

namespace SetupSave {

struct Outcome {
    bool accountsSaved = false;           // accounts.ini written and checked
    bool aliasesSaved = false;
    std::vector<std::string> notRewritten;  // addresses whose mail program was left unchanged
};

// On success the records get their RegFileNo (and ClientKind 0 where the key could
// not be saved); on a failed save of accounts.ini they are left as they were.
Outcome SaveWizardAccounts(std::vector<MailAccount>& accounts, const std::vector<std::string>& aliases,
                           CIniFile& accountsIni, CIniFile& aliasesIni, int localPOP3Port, int localSMTPPort);

// The notice for the accounts whose mail program was left unchanged.
std::string NotRewrittenText(const std::vector<std::string>& addresses, int localPOP3Port, int localSMTPPort);

}  // namespace SetupSave
