#include <gio/gio.h>

#include "AnalyserFixture.h"

#include "analyser/DesktopProxy.h"

#include <QAction>
#include <QCoreApplication>
#include <QProcess>

namespace {

// GSettings keeps its values in this process only, and picks its store when
// first used: this runs before any test. A child run of this program (see
// below) keeps the machine's store instead, cut off from any session service.
const char *const kChildRun = "VEXO_TEST_UNREACHABLE_SETTINGS";
const bool kMemorySettings = [] {
    if (!qEnvironmentVariableIsSet(kChildRun))
        qputenv("GSETTINGS_BACKEND", "memory");
    return true;
}();

using DesktopProxyTest = AnalyserFixture;

// Runs in the child only: the desktop's store (dconf) cannot reach its
// service, so it accepts the change and then drops it.
TEST(DesktopProxyChild, AStoreThatDropsTheChangeIsAnError)
{
    if (!qEnvironmentVariableIsSet(kChildRun))
        GTEST_SKIP() << "runs as a child of UnreachableSettingsAreReportedNotSucceeded";
    EXPECT_THROW(gui::SetDesktopProxy("10.0.0.1", "80"), gui::EDesktopProxyError);
}

TEST_F(DesktopProxyTest, TheFirstSelectedProxyBecomesTheDesktopsProxy)
{
    ASSERT_TRUE(kMemorySettings);
    Fill({{"10.0.0.1", "8080"}, {"10.0.0.2", "3128"}, {"10.0.0.3", "80"}});
    p->UseProxyInIE1->trigger(); // nothing selected: nothing happens
    EXPECT_TRUE(informations.isEmpty());

    Select({2, 1});
    p->UseProxyInIE1->trigger();
    ASSERT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    EXPECT_EQ(informations.value(0), QStringLiteral("Success|Using Proxy \"10.0.0.2:3128\""));
    EXPECT_EQ(gui::QueryDesktopProxy(), QStringLiteral("10.0.0.2:3128"));

    // The mode and the https proxy follow.
    GSettings *base = g_settings_new("org.gnome.system.proxy");
    GSettings *https = g_settings_new("org.gnome.system.proxy.https");
    gchar *mode = g_settings_get_string(base, "mode");
    gchar *host = g_settings_get_string(https, "host");
    EXPECT_STREQ(mode, "manual");
    EXPECT_STREQ(host, "10.0.0.2");
    EXPECT_EQ(g_settings_get_int(https, "port"), 3128);
    g_free(mode);
    g_free(host);
    g_object_unref(https);
    g_object_unref(base);

    // A SOCKS row becomes the desktop's SOCKS proxy; the HTTP one stays.
    p->AnalyserList[0].Type = net::ptSocks5;
    Select({0});
    p->UseProxyInIE1->trigger();
    ASSERT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    EXPECT_EQ(informations.value(1), QStringLiteral("Success|Using SOCKS Proxy \"10.0.0.1:8080\""));
    EXPECT_EQ(gui::QueryDesktopProxy(gui::TDesktopProxyKind::Socks),
              QStringLiteral("10.0.0.1:8080"));
    EXPECT_EQ(gui::QueryDesktopProxy(), QStringLiteral("10.0.0.2:3128"));
}

TEST_F(DesktopProxyTest, APortThatIsNotANumberChangesNothingAndSaysWhy)
{
    gui::SetDesktopProxy("10.9.9.9", "8000");
    Fill({{"10.0.0.5", ""}, {"10.0.0.6", "80x"}, {"10.0.0.7", "70000"}});
    for (int row : {0, 1, 2}) {
        Select({row});
        p->UseProxyInIE1->trigger();
    }
    ASSERT_EQ(errors.size(), 3);
    EXPECT_EQ(errors[1], QStringLiteral("The port \"80x\" is not a number from 0 to 65535, so it "
                                        "cannot be the desktop's proxy port."));
    EXPECT_TRUE(informations.isEmpty());
    EXPECT_EQ(gui::QueryDesktopProxy(), QStringLiteral("10.9.9.9:8000"));
}

TEST_F(DesktopProxyTest, AMissingSchemaIsReportedAndNothingChanges)
{
    gui::SetDesktopProxy("10.8.8.8", "81");
    const char *absent = "org.vexo.absent.proxy";
    try {
        gui::SetDesktopProxy("10.0.0.1", "80", gui::TDesktopProxyKind::Http, absent);
        ADD_FAILURE() << "no error";
    } catch (const gui::EDesktopProxyError &e) {
        EXPECT_STREQ(e.what(), "The desktop proxy cannot be used: the GSettings schema "
                               "\"org.vexo.absent.proxy\" is not installed (on Debian it comes "
                               "with gsettings-desktop-schemas).");
    }
    EXPECT_THROW(gui::QueryDesktopProxy(gui::TDesktopProxyKind::Http, absent),
                 gui::EDesktopProxyError);
    EXPECT_EQ(gui::QueryDesktopProxy(), QStringLiteral("10.8.8.8:81"));
}

TEST_F(DesktopProxyTest, UnreachableSettingsAreReportedNotSucceeded)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildRun), QStringLiteral("1"));
    env.remove(QStringLiteral("GSETTINGS_BACKEND"));
    env.remove(QStringLiteral("DISPLAY"));
    // Never the user's own session: no bus to reach, a home of its own.
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + Path(QStringLiteral("no-bus")));
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"})
        env.insert(QLatin1String(name), dir.path());
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DesktopProxyChild.*")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}

} // namespace
