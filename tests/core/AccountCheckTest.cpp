// The check an account list passes before the options dialog saves it.
#include "core/AccountCheck.h"

#include <gtest/gtest.h>

#include <vector>


namespace {

MailAccount account(const std::string& address, int enabled, const std::string& server, const std::string& user,
                    const std::string& password) {
    MailAccount a;
    a.EMailAddress = address;
    a.AccountEnabled = static_cast<std::int16_t>(enabled);
    a.POP3Server = server;
    a.POP3UserName = user;
    a.POP3Password = password;
    return a;
}

TEST(AccountCheckTest, AnEnabledAccountNeedsServerUserAndPassword) {
    using Accounts::AccountField;
    const MailAccount good = account("good@home.test", 1, "pop.home.test", "me", "pw");
    const struct {
        MailAccount second;
        std::optional<AccountField> fault;
    } cases[] = {
        {account("b@home.test", 1, "pop", "u", "p"), std::nullopt},
        {account("b@home.test", 0, "", "", ""), std::nullopt},  // not collected: may stay half filled in
        {account("b@home.test", 1, "", "u", "p"), AccountField::POP3Server},
        {account("b@home.test", 1, "  ", "u", "p"), AccountField::POP3Server},
        {account("b@home.test", 1, "pop", " ", "p"), AccountField::POP3UserName},
        {account("b@home.test", 1, "pop", "u", ""), AccountField::POP3Password},
        {account("b@home.test", 1, "", "", ""), AccountField::POP3Server},  // the first field first
    };
    for (const auto& c : cases) {
        const auto fault = Accounts::CheckEnabledAccounts({good, c.second});
        ASSERT_EQ(fault.has_value(), c.fault.has_value()) << c.second.POP3Server << "|" << c.second.POP3UserName;
        if (!fault) continue;
        EXPECT_EQ(fault->index, 1);
        EXPECT_EQ(fault->field, *c.fault);
        EXPECT_NE(fault->message.find("b@home.test"), std::string::npos) << fault->message;
    }
    EXPECT_FALSE(Accounts::CheckEnabledAccounts({}).has_value());
}

}  // namespace
