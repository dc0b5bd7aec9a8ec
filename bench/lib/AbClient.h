// ab (ApacheBench) as the reference the benches compare against.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <cstdio>

// Requests per second that "ab -n N -c C [-X proxy] url" reports; 0 when it
// failed.
inline double RunAb(const QString &Ab, long N, int C, const QString &Url,
                    const QByteArray &Proxy = {})
{
    QStringList Args{QStringLiteral("-q"), QStringLiteral("-n"), QString::number(N),
                     QStringLiteral("-c"), QString::number(C)};
    if (!Proxy.isEmpty())
        Args << QStringLiteral("-X") << QString::fromLatin1(Proxy);
    Args << Url;
    QProcess P;
    P.start(Ab, Args);
    if (!P.waitForFinished(600000))
        return 0;
    const QString Out = QString::fromLocal8Bit(P.readAllStandardOutput());
    const auto Failed = QRegularExpression(QStringLiteral("Failed requests:\\s+(\\d+)")).match(Out);
    if (Failed.hasMatch() && Failed.captured(1) != QStringLiteral("0"))
        std::fprintf(stderr, "ab: %s failed requests\n", qPrintable(Failed.captured(1)));
    const auto M =
        QRegularExpression(QStringLiteral("Requests per second:\\s+([0-9.]+)")).match(Out);
    return M.hasMatch() ? M.captured(1).toDouble() : 0;
}
