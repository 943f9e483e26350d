// What a stored account asks of a send to its SMTP server, from the account's keys
// as Accounts reads them.
#include <gtest/gtest.h>

#include <string>

#include "core/MailAccount.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"
#include "core/TempFolder.h"
#include "protocol/SmtpClientAuth.h"

namespace {

using testing_support::WriteFile;

class SmtpAccountAuthTest : public testing_support::TempFolderTest {};

TEST_F(SmtpAccountAuthTest, TheAccountsKeysChooseTheLogin) {
    const std::string pop = "POP3Server=pop.example.com\r\nPOP3ServerPort=1110\r\nPOP3UserName=popuser\r\n"
                            "POP3Password=" + MiscFuncs::ScrambleText("poppw") + "\r\n";
    const std::string smtp = "SMTPAuthUserName=smtpuser\r\nSMTPAuthPassword=" + MiscFuncs::ScrambleText("smtppw") +
                             "\r\n";
    struct Case {
        const char* name;
        std::string keys;
        engines::SmtpAccountAuth expected;
    };
    const Case cases[] = {
        {"no authentication", "SMTPRequiresAuth=0\r\nSMTPAuthType=2\r\n" + pop + smtp, {}},
        {"authentication key missing", "SMTPAuthType=1\r\n" + pop + smtp, {}},
        {"POP3 login first", "SMTPRequiresAuth=1\r\nSMTPAuthType=1\r\n" + pop + smtp,
         {"", "", "pop.example.com", "1110", "popuser", "poppw"}},
        {"AUTH with the POP3 login", "SMTPRequiresAuth= 1 \r\nSMTPAuthType=2\r\n" + pop + smtp,
         {"popuser", "poppw", "", "", "", ""}},
        {"AUTH with its own login", "SMTPRequiresAuth=1\r\nSMTPAuthType=0\r\n" + pop + smtp,
         {"smtpuser", "smtppw", "", "", "", ""}},
        {"unknown type is its own login", "SMTPRequiresAuth=1\r\nSMTPAuthType=9\r\n" + pop + smtp,
         {"smtpuser", "smtppw", "", "", "", ""}},
        {"password that does not unscramble", "SMTPRequiresAuth=1\r\nSMTPAuthUserName=u\r\nSMTPAuthPassword=12\r\n",
         {"u", "", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        WriteFile(ProgramFiles::AccountsIniPath(), "[Me@Home.test]\r\n" + c.keys);
        const engines::SmtpAccountAuth auth =
            engines::SmtpAccountAuthOf(Accounts::LoadAccount(Accounts::ProgramAccounts(), "me@home.test"));
        EXPECT_EQ(auth.authUser, c.expected.authUser) << c.name;
        EXPECT_EQ(auth.authPassword, c.expected.authPassword) << c.name;
        EXPECT_EQ(auth.pop3Server, c.expected.pop3Server) << c.name;
        EXPECT_EQ(auth.pop3Port, c.expected.pop3Port) << c.name;
        EXPECT_EQ(auth.pop3User, c.expected.pop3User) << c.name;
        EXPECT_EQ(auth.pop3Password, c.expected.pop3Password) << c.name;
    }
}

}  // namespace
