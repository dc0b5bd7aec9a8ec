// A certificate authority of the test's own and server certificates, made
// with the openssl command line in a temporary folder, once per test
// program. While the authority is in use, SSL_CERT_FILE names it, so the
// client trusts it (and nothing else).
//
//   const TestCertificates &Certs = TestCertificates::shared();
//   ASSERT_TRUE(Certs.ok()) << Certs.error();
//   TlsFront Front(Server.port(), Certs.good());
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

struct CertificatePair
{
    QString cert, key; // PEM files
};

class TestCertificates
{
public:
    // Made on first use; SSL_CERT_FILE is pointed at the authority then.
    static const TestCertificates &shared();

    bool ok() const { return FError.isEmpty(); }
    const QString &error() const { return FError; }
    QString authorityFile() const;

    // Signed by the authority for "localhost" and 127.0.0.1.
    CertificatePair good() const { return pair(QStringLiteral("good")); }
    // Signed by the authority for "wrong.example" only.
    CertificatePair wrongHost() const { return pair(QStringLiteral("wronghost")); }
    // Signed by the authority for the right names, but expired.
    CertificatePair expired() const { return pair(QStringLiteral("expired")); }
    // For the right names, signed by itself.
    CertificatePair selfSigned() const { return pair(QStringLiteral("selfsigned")); }

private:
    TestCertificates();
    CertificatePair pair(const QString &Name) const;
    bool run(const QStringList &Args);

    QTemporaryDir FDir;
    QString FError;
};

} // namespace testsupport
