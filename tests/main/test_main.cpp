// Test entry point: every suite gets a Qt application object of the kind its
// layer needs, so event loops, timers and sockets work inside the tests.
#include <gtest/gtest.h>

#include "support/NoSystemLookups.h"
#include "util/EventDispatcher.h"

#include <QtGlobal>
#if __has_include(<QApplication>) && defined(VEXO_TEST_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The event dispatcher the program runs on.
    util::UsePlainEventDispatcher();
    // Names are looked up on this machine only, and never by the system.
    testsupport::loopbackResolver();
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
