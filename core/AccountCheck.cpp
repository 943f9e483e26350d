#include "core/AccountCheck.h"

#include "core/MiscUtils.h"

namespace Accounts {

std::optional<AccountFieldFault> CheckEnabledAccounts(const std::vector<MailAccount>& records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        const MailAccount& a = records[i];
        if (a.AccountEnabled == 0) continue;
        const struct {
            const std::string& value;
            AccountField field;
            const char* name;
        } needed[] = {{a.POP3Server, AccountField::POP3Server, "POP3 server"},
                      {a.POP3UserName, AccountField::POP3UserName, "user name"},
                      {a.POP3Password, AccountField::POP3Password, "password"}};
        for (const auto& n : needed) {
            if (!MiscFuncs::IsBlank(n.value)) continue;
            const std::string address(MiscFuncs::TrimBlanks(a.EMailAddress));
            return AccountFieldFault{static_cast<int>(i), n.field,
                                     "The account " + address + " checks for new messages, but its " + n.name +
                                         " is empty. Please enter its " + n.name +
                                         ", or uncheck \"Automaticaly check for new messages\"."};
        }
    }
    return std::nullopt;
}

}  // namespace Accounts
