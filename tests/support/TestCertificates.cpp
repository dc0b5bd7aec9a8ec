#include "support/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace testsupport {

namespace {

const QString Names = QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
const QStringList EcKey = {
    QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

} // namespace

const TestCertificates &TestCertificates::shared()
{
    static const TestCertificates Certs;
    return Certs;
}

QString TestCertificates::authorityFile() const
{
    return FDir.filePath(QStringLiteral("ca.pem"));
}

CertificatePair TestCertificates::pair(const QString &Name) const
{
    return {FDir.filePath(Name + QStringLiteral(".pem")),
            FDir.filePath(Name + QStringLiteral(".key"))};
}

bool TestCertificates::run(const QStringList &Args)
{
    if (!FError.isEmpty())
        return false;
    QProcess P;
    P.setWorkingDirectory(FDir.path());
    P.setProcessChannelMode(QProcess::MergedChannels);
    P.start(QStringLiteral("openssl"), Args);
    if (!P.waitForFinished(30000) || P.exitStatus() != QProcess::NormalExit || P.exitCode() != 0) {
        FError = QStringLiteral("openssl ") + Args.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                 P.errorString() + QLatin1Char(' ') + QString::fromLocal8Bit(P.readAll());
        return false;
    }
    return true;
}

TestCertificates::TestCertificates()
{
    if (!FDir.isValid()) {
        FError = QStringLiteral("no temporary folder");
        return;
    }
    auto write = [this](const QString &File, const QString &Text) {
        QFile F(FDir.filePath(File));
        if (F.open(QIODevice::WriteOnly))
            F.write(Text.toUtf8());
    };
    write(QStringLiteral("server.ext"), Names + QStringLiteral("basicConstraints=CA:FALSE\n"
                                                               "extendedKeyUsage=serverAuth\n"));
    write(QStringLiteral("wronghost.ext"), QStringLiteral("subjectAltName=DNS:wrong.example\n"));

    run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + EcKey +
        QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                    QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("3650"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=Vexo Test Authority"),
                    QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                    QStringLiteral("-addext"),
                    QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
    // Each server certificate: a key and request, then the authority's
    // signature with the names of its extension file.
    auto signedBy = [&](const QString &Name, const QString &Ext, const QString &Days) {
        run(QStringList{QStringLiteral("req"), QStringLiteral("-new")} + EcKey +
            QStringList{QStringLiteral("-keyout"), Name + QStringLiteral(".key"),
                        QStringLiteral("-out"), Name + QStringLiteral(".csr"),
                        QStringLiteral("-subj"), QStringLiteral("/CN=") + Name});
        run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
             Name + QStringLiteral(".csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
             QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
             QStringLiteral("-out"), Name + QStringLiteral(".pem"), QStringLiteral("-days"), Days,
             QStringLiteral("-extfile"), Ext});
    };
    signedBy(QStringLiteral("good"), QStringLiteral("server.ext"), QStringLiteral("365"));
    signedBy(QStringLiteral("wronghost"), QStringLiteral("wronghost.ext"), QStringLiteral("365"));
    // Valid until a day before it was made.
    signedBy(QStringLiteral("expired"), QStringLiteral("server.ext"), QStringLiteral("-1"));
    run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + EcKey +
        QStringList{QStringLiteral("-keyout"), QStringLiteral("selfsigned.key"),
                    QStringLiteral("-out"), QStringLiteral("selfsigned.pem"),
                    QStringLiteral("-days"), QStringLiteral("365"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=localhost"), QStringLiteral("-addext"), Names.trimmed()});
    if (!ok())
        return;
    // Trust this authority and nothing else: an empty folder stands in for
    // the system's certificates.
    QDir(FDir.path()).mkdir(QStringLiteral("no-certs"));
    qputenv("SSL_CERT_FILE", QFile::encodeName(authorityFile()));
    qputenv("SSL_CERT_DIR", QFile::encodeName(FDir.filePath(QStringLiteral("no-certs"))));
}

} // namespace testsupport
