#pragma once
// Throw-away certificates for the TLS peers, made with openssl at test time in a
// temporary folder: a CA, a server certificate it signed for localhost and
// 127.0.0.1, one it signed for another name, and a self-signed one nobody trusts.
// TrustedCa names the CA in SSL_CERT_FILE for as long as it lives (as OpenSSL's own
// programs read it), so the program under test trusts it; the machine's own trust
// store is never touched.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <optional>

#include "support/Peers.h"

namespace testing_support {

// SSL_CERT_FILE names the file while the object lives; the old value comes back after.
class TrustedCa {
public:
    explicit TrustedCa(const QString& file);
    ~TrustedCa();
    TrustedCa(const TrustedCa&) = delete;
    TrustedCa& operator=(const TrustedCa&) = delete;

private:
    bool had_;
    QByteArray old_;
};

class TestCertificates {
public:
    // The certificate a TLS peer shows.
    enum class Cert { Server, WrongName, Untrusted };

    TestCertificates();
    // Makes the files; false, with error(), when openssl failed.
    bool make();
    QString error() const { return error_; }
    // make(), then the CA is trusted (TrustedCa) until untrust() or the end.
    bool makeTrusted();
    void untrust() { trusted_.reset(); }

    QString caFile() const { return path("ca.pem"); }
    PeerTls server() const { return {path("server.pem"), path("server.key")}; }  // 127.0.0.1, localhost
    PeerTls wrongName() const { return {path("wrong.pem"), path("wrong.key")}; }  // wrong.example.test
    PeerTls untrusted() const { return {path("self.pem"), path("self.key")}; }    // self-signed
    PeerTls of(Cert cert) const;

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    bool run(const QStringList& args);
    bool signedCertificate(const QString& name, const QString& altNames);

    QTemporaryDir dir_;
    QString error_;
    std::optional<TrustedCa> trusted_;
};

}  // namespace testing_support
