#include "support/TlsCertificates.h"

#include <QFile>

namespace testing_support {
namespace {

const QStringList kEcKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};

}  // namespace

TestCertificates::TestCertificates() = default;

bool TestCertificates::run(const QStringList& args) {
    const CommandResult result = RunCommand("openssl", args);
    if (result.ok()) return true;
    error_ = "openssl " + args.join(' ') + ": " + QString::fromStdString(result.describe());
    return false;
}

bool TestCertificates::signedCertificate(const QString& name, const QString& altNames) {
    QFile ext(path(name + ".ext"));
    if (!ext.open(QIODevice::WriteOnly) || ext.write(("subjectAltName=" + altNames + "\n").toLatin1()) < 0) {
        error_ = "cannot write " + ext.fileName();
        return false;
    }
    ext.close();
    return run(QStringList{"req"} + kEcKey +
               QStringList{"-keyout", path(name + ".key"), "-out", path(name + ".csr"), "-subj", "/CN=" + name}) &&
           run({"x509", "-req", "-in", path(name + ".csr"), "-CA", caFile(), "-CAkey", path("ca.key"),
                "-CAcreateserial", "-days", "2", "-extfile", ext.fileName(), "-out", path(name + ".pem")});
}

bool TestCertificates::make() {
    if (!dir_.isValid()) {
        error_ = "no temporary folder";
        return false;
    }
    return run(QStringList{"req", "-x509"} + kEcKey +
               QStringList{"-keyout", path("ca.key"), "-out", caFile(), "-days", "2", "-subj", "/CN=glp-test-ca"}) &&
           signedCertificate("server", "DNS:localhost,IP:127.0.0.1") &&
           signedCertificate("wrong", "DNS:wrong.example.test") &&
           run(QStringList{"req", "-x509"} + kEcKey +
               QStringList{"-keyout", path("self.key"), "-out", path("self.pem"), "-days", "2", "-subj",
                           "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
}

bool TestCertificates::makeTrusted() {
    if (!make()) return false;
    trusted_.emplace(caFile());
    return true;
}

PeerTls TestCertificates::of(Cert cert) const {
    return cert == Cert::Server ? server() : cert == Cert::WrongName ? wrongName() : untrusted();
}

TrustedCa::TrustedCa(const QString& file) : had_(qEnvironmentVariableIsSet("SSL_CERT_FILE")), old_(qgetenv("SSL_CERT_FILE")) {
    qputenv("SSL_CERT_FILE", QFile::encodeName(file));
}

TrustedCa::~TrustedCa() {
    if (had_) qputenv("SSL_CERT_FILE", old_);
    else qunsetenv("SSL_CERT_FILE");
}

}  // namespace testing_support
