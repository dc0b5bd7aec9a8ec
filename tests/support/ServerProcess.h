// Real servers that a test starts on a loopback address of its own: a free
// port, the start, the wait until it accepts, and the stop.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace testsupport {

// A port that is free on that address right now (0 when none is).
quint16 freePort(const QByteArray &Host);

// Starts Program and waits until it accepts connections on Host:Port. The
// error (with its output and Log()), or empty once it accepts.
QString startServer(QProcess &Process, const QString &Program, const QStringList &Args,
                    const QByteArray &Host, quint16 Port,
                    const std::function<QByteArray()> &Log = {});

// Terminates a running server, killing it when it does not end.
void stopServer(QProcess &Process);

// The program installed under that name, in PATH or the system folders.
QString findProgram(const QString &Name);

} // namespace testsupport
