#include "support/Nginx.h"

#include "support/ServerProcess.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace testsupport {

QString Nginx::program()
{
    return findProgram(QStringLiteral("nginx"));
}

Nginx::Nginx(const QByteArray &ListenAddress) : LaunchedServer(ListenAddress)
{
    const QString Program = program();
    if (!reservePort(Program, QStringLiteral("nginx")))
        return;
    const QByteArray Dir = FDir.path().toLocal8Bit();
    QDir(FDir.path()).mkpath(QStringLiteral("www"));
    // Every path nginx would write to lies in the folder: it runs as the
    // test's user, without root.
    // Run by root, the workers would be "nobody" and could not read the
    // test's private folder.
    const passwd *User = ::getpwuid(::geteuid());
    const QByteArray Conf =
        (User ? "user " + QByteArray(User->pw_name) + ";\n" : QByteArray()) +
        "daemon off;\nworker_processes 1;\npid " + Dir + "/nginx.pid;\nerror_log " + Dir +
        "/error.log;\nevents { worker_connections 4096; }\nhttp {\n"
        "  log_format up '$request_method $request_uri $http_x_upstream $request_length';\n"
        "  access_log " +
        Dir +
        "/access.log up;\n"
        "  client_body_temp_path " +
        Dir + "/body;\n  proxy_temp_path " + Dir +
        "/proxy;\n"
        "  fastcgi_temp_path " +
        Dir + "/fastcgi;\n  uwsgi_temp_path " + Dir +
        "/uwsgi;\n"
        "  scgi_temp_path " +
        Dir +
        "/scgi;\n  client_max_body_size 0;\n"
        "  server {\n    listen " +
        FHost + ':' + QByteArray::number(FPort) +
        ";\n"
        "    root " +
        Dir +
        "/www;\n"
        "    location /upload { if ($request_method = POST) { return 200 \"got "
        "$content_length\\n\"; } }\n"
        "    location /files/ { dav_methods PUT; create_full_put_path on; }\n  }\n}\n";
    const QString ConfPath = writeFile(QStringLiteral("nginx.conf"), Conf);
    if (ConfPath.isEmpty())
        return;
    FError = startServer(FProcess, Program,
                         {QStringLiteral("-c"), ConfPath, QStringLiteral("-p"), FDir.path()}, FHost,
                         FPort, [this] { return tail(QStringLiteral("error.log")); });
}

QList<QByteArray> Nginx::accessLog() const
{
    QFile F(FDir.filePath(QStringLiteral("access.log")));
    if (!F.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = F.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace testsupport
