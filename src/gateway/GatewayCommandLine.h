// The gateway's command line:
//
//   vexo-gateway --pool FILE | --from-history [--good-within TIME]
//                [--listen ADDR:PORT] [--auth-file FILE]
//                [--rotate round-robin|random|fastest|sticky] [--sticky-minutes N]
//                [--timeout SECONDS] [--tries N] [--cool-down SECONDS]
//                [--admin ADDR:PORT] [--recheck MINUTES] [--judge URL] [--dir PATH]
//                [--max-connections N] [--max-per-source N]
#pragma once

#include "GatewayServer.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace gateway {

struct TGatewayCommand
{
    bool ShowText = false;
    QString Text; // help or version, for standard output
    TGatewayConfig Config;
    QString PoolFile;
    // --from-history: the proxies of the check history with a good check
    // within GoodWithinMs, instead of a pool file.
    bool FromHistory = false;
    qint64 GoodWithinMs = 24 * 3600 * 1000;
    int RecheckMinutes = 0; // 0: no re-check
    std::optional<QString> Judge;
    std::optional<QString> Dir;
};

inline constexpr const char *DefaultListen = "127.0.0.1:8899";

// False with a message in error for anything unusable, among them a listening
// address off loopback without --auth-file.
bool ParseGatewayCommandLine(const QStringList &arguments, TGatewayCommand &command,
                             QString *error);

} // namespace gateway
