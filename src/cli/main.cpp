// vexo-cli: Vexo's runs without a screen. See Commands.h.
#include "Commands.h"

#include "util/EventDispatcher.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    // The same dispatcher as the desktop program: less CPU per request.
    util::UsePlainEventDispatcher();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.3"));
    return cli::RunCli(QCoreApplication::arguments());
}
