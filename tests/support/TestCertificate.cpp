#include "TestCertificate.h"

#include <stdexcept>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace mintlux::test {

namespace {

LoopbackHttpServer::TlsIdentity generate() {
    QTemporaryDir dir;
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                   "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
    if (!openssl.waitForFinished(30'000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        throw std::runtime_error("openssl could not make a test certificate: " +
                                 openssl.readAllStandardError().toStdString() +
                                 openssl.errorString().toStdString());
    }
    QFile keyFile(key);
    LoopbackHttpServer::TlsIdentity identity{QSslCertificate::fromPath(cert).value(0), {}};
    if (keyFile.open(QIODevice::ReadOnly)) {
        identity.key = QSslKey(&keyFile, QSsl::Ec, QSsl::Pem);
    }
    if (identity.certificate.isNull() || identity.key.isNull()) {
        throw std::runtime_error("openssl made a certificate Qt cannot read");
    }
    return identity;
}

}  // namespace

const LoopbackHttpServer::TlsIdentity& loopbackTlsIdentity() {
    static const LoopbackHttpServer::TlsIdentity identity = generate();
    return identity;
}

}  // namespace mintlux::test
