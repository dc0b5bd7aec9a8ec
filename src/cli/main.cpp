// vexo-cli: Vexo's runs without a screen. See Commands.h.
#include "Commands.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.3"));
    return cli::RunCli(QCoreApplication::arguments());
}
