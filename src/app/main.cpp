// Vexo: collects open HTTP proxies from proxy-list pages and tests them.
#include "app/Startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return gui::RunProgram(app, QCoreApplication::applicationDirPath());
}
