// The judge's command line:
//
//   vexo-judge [--listen ADDR:PORT] [--client-ip ADDR]... [--token TEXT]
//              [--secret-file FILE] [--max-connections N] [--max-per-source N]
//   vexo-judge --sign ADDR --secret-file FILE
#pragma once

#include "JudgeServer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace judge {

struct TJudgeCommand
{
    enum TAction { Serve, Sign, ShowText };
    TAction Action = Serve;
    TJudgeConfig Config;
    QByteArray SignAddress; // Sign: the address to sign
    QString Text;           // ShowText: help or version, for standard output
};

// The default listening address and port.
inline constexpr const char *DefaultListen = "127.0.0.1:8080";

// False with a message in error for anything unusable: a bad address, a
// secret that cannot be read or is too short, --sign without a secret.
bool ParseJudgeCommandLine(const QStringList &arguments, TJudgeCommand &command, QString *error);

} // namespace judge
