// A private SOCKS server from Debian for a test, started with a generated
// configuration on one loopback address and stopped when the object goes:
// dante (danted: SOCKS4 and 5, no authentication, connections to
// loopback targets only) or microsocks (SOCKS5, with a user and password
// when given).
//
//   SocksDaemon D(SocksDaemon::TKind::Dante, "127.0.22.1");
//   ASSERT_TRUE(D.started()) << D.error();
#pragma once

#include "support/ServerProcess.h"

#include <QByteArray>

namespace testsupport {

class SocksDaemon : public LaunchedServer
{
public:
    enum class TKind { Dante, Microsocks };

    SocksDaemon(TKind Kind, const QByteArray &ListenAddress, const QByteArray &User = {},
                const QByteArray &Password = {});

    // The installed program, or empty when there is none.
    static QString program(TKind Kind);

    QByteArray log() const;
};

} // namespace testsupport
