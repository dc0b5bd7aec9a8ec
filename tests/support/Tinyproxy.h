// A private tinyproxy (Debian's package) for a test: started in the
// foreground with a configuration generated in a temporary folder, listening
// on one loopback address, and stopped when the object goes.
//
//   Tinyproxy P("127.0.11.21", {"DisableViaHeader Yes"});
//   ASSERT_TRUE(P.started()) << P.error();
//
// Without User and Group lines tinyproxy keeps the user that started it
// (root included, with a warning in its log); the log goes to the folder.
#pragma once

#include "support/ServerProcess.h"

#include <QByteArray>
#include <QList>

namespace testsupport {

class Tinyproxy : public LaunchedServer
{
public:
    // Extra lines are appended to the configuration as they stand.
    Tinyproxy(const QByteArray &ListenAddress, const QList<QByteArray> &ExtraLines = {});

    // The installed program, or empty when there is none.
    static QString program();

    QByteArray log() const;
};

} // namespace testsupport
