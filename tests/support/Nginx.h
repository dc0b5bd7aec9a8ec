// A private nginx (Debian's package) for a test: a target web server on one
// loopback address, started in the foreground with a configuration
// generated in a temporary folder and stopped when the object goes.
//
//   Nginx N("127.0.31.1");
//   ASSERT_TRUE(N.started()) << N.error();
//
// It serves the files put in root(), answers POST /upload with the number of
// body bytes announced ("got 123"), stores what is PUT under /files/ in
// root(), and logs each request as
// "METHOD TARGET X-Upstream-header BODY-BYTES" (accessLog()), so a test sees
// which proxy a request came through when each proxy adds its own header.
#pragma once

#include "support/ServerProcess.h"

#include <QByteArray>
#include <QList>

namespace testsupport {

class Nginx : public LaunchedServer
{
public:
    explicit Nginx(const QByteArray &ListenAddress);

    static QString program();

    QByteArray url(const QByteArray &Path) const
    {
        return "http://" + FHost + ':' + QByteArray::number(FPort) + Path;
    }
    // The folder it serves.
    QString root() const { return FDir.filePath(QStringLiteral("www")); }
    // The access log's lines so far.
    QList<QByteArray> accessLog() const;
};

} // namespace testsupport
