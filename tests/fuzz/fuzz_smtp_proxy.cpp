// Any conversation of a mail client, a server and the clock with one SMTP proxy
// session. Records of the input: one byte saying who acts (client bytes, server bytes,
// server failure, idle time-out, client backlog switched), one byte of length, the
// bytes. Whatever they say, the session never talks to a server it did not ask for,
// connects only to the one account's server, and is silent once it has finished.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/Environment.h"
#include "protocol/SmtpProxySession.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Sink : SmtpProxySession::Sink {
    void toClient(std::string_view bytes) override {
        check(!quiet);
        client += bytes.size();
    }
    void toServer(std::string_view) override { check(!quiet && connected); }
    void connectServer(const SmtpProxyText::ServerAddress& server) override {
        check(!quiet && server.host == "127.0.0.1" && server.port == 2525);
        connected = true;
    }
    void dropServer() override { connected = false; }
    void startServerTls() override {
        check(!quiet && connected);
        upgrading = true;
    }
    bool upgrading = false;
    bool clientBacklogged() const override { return backlogged; }

    bool quiet = false;
    bool connected = false;
    bool backlogged = false;
    std::size_t client = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/glp-fuzz-proxy-XXXXXX";
    if (mkdtemp(folder) == nullptr) abort();
    MiscFuncs::SetProgramFolder(folder);
    std::ofstream(std::filesystem::path(folder) / "accounts.ini", std::ios::binary)
        << "[alice@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=2525\r\n"
           // Accounts whose server wants the proxy to authenticate: AUTH, and a POP3
           // login first (on the same address, so the check above holds).
           "[bob@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=2525\r\nSMTPRequiresAuth=1\r\n"
           "SMTPAuthUserName=bob\r\nSMTPAuthPassword=\r\n"
           "[carol@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=2525\r\nSMTPRequiresAuth=1\r\n"
           "SMTPAuthType=1\r\nPOP3Server=127.0.0.1\r\nPOP3ServerPort=2525\r\nPOP3UserName=carol\r\n"
           // Accounts whose servers are reached over STARTTLS (and STLS before it).
           "[dave@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=2525\r\nSMTPSecurity=1\r\n"
           "SMTPRequiresAuth=1\r\nSMTPAuthUserName=dave\r\n"
           "[erin@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=2525\r\nSMTPSecurity=1\r\n"
           "SMTPRequiresAuth=1\r\nSMTPAuthType=1\r\nPOP3Server=127.0.0.1\r\nPOP3ServerPort=2525\r\n"
           "POP3Security=1\r\nPOP3UserName=erin\r\n";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Sink sink;
    SmtpProxySession session(1, sink);
    session.start();
    std::string_view input(reinterpret_cast<const char*>(data), size);
    while (input.size() >= 2) {
        const int who = static_cast<unsigned char>(input[0]) % 7;
        const std::string_view bytes = input.substr(2, static_cast<unsigned char>(input[1]));
        input.remove_prefix(2 + bytes.size());
        sink.quiet = session.finished();
        if (who == 0) session.clientBytes(bytes);
        else if (who == 1) session.serverBytes(bytes);
        else if (who == 2) session.serverFailed();
        else if (who == 3) session.clientIdle();
        else if (who == 5 || who == 6) {
            // The upgrade the session asked for passes or fails.
            if (!sink.upgrading) continue;
            sink.upgrading = false;
            if (who == 5) session.serverTlsStarted();
            else session.serverTlsFailed("handshake failed");
        } else {
            sink.backlogged = !sink.backlogged;
            session.resume();
        }
    }
    return 0;
}
