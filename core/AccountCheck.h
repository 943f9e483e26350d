#pragma once
// Whether an account that is to be collected can work at all: an enabled account
// ("Automaticaly check for new messages") needs a POP3 server, a user name and a
// password, or every one of its collections fails. The options dialog refuses such
// a list before it saves anything.

#include <optional>
#include <string>
#include <vector>

#include "core/MailAccount.h"

namespace Accounts {

enum class AccountField { POP3Server, POP3UserName, POP3Password };

struct AccountFieldFault {
    int index = -1;  // in the list
    AccountField field = AccountField::POP3Server;
    std::string message;  // for the user; names the account and the field
};

// The first enabled account, in list order, with a blank POP3 server, user name or
// password (blanks alone count as blank), and the first such field; nothing when
// every enabled account has all three.
std::optional<AccountFieldFault> CheckEnabledAccounts(const std::vector<MailAccount>& records);

}  // namespace Accounts
