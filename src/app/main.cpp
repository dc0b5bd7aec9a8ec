// Vexo: collects open HTTP proxies from proxy-list pages and tests them.
#include "app/ProgramStart.h"
#include "util/EventDispatcher.h"

#include <QApplication>

int main(int argc, char **argv)
{
    util::UsePlainEventDispatcher();
    QApplication app(argc, argv);
    return gui::StartProgram(app);
}
