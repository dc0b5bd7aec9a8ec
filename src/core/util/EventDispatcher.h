// Which of Qt's event dispatchers the programs run on.
//
// Qt's plain Unix dispatcher spends about a quarter less CPU per HTTP request
// than the GLib one (bench/run_http_bench.sh measures both), and the program
// needs nothing that only a GLib main loop would run: its sockets, timers and
// posted events are Qt's own. Call before the application object exists.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace util {

inline void UsePlainEventDispatcher()
{
    qputenv("QT_NO_GLIB", QByteArrayLiteral("1"));
}

} // namespace util
