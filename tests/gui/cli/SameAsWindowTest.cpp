// The command line and the window on the same sites with the same options
// write the same Proxies.txt.
#include "cli/CliProcess.h"
#include "support/EventLoop.h"
#include "support/OriginServer.h"
#include "support/WindowFixture.h"

#include "app/TfrmLeecher.h"

#include <QPushButton>

using testsupport::OriginServer;
using testsupport::Script;
using testsupport::waitUntil;

namespace {

Script Page(const QByteArray &Body)
{
    return Script::response(200, "OK", {"Content-Type: text/html"}, Body);
}

} // namespace

class SameAsWindowTest : public WindowFixture
{
};

TEST_F(SameAsWindowTest, LeechWritesTheWindowsProxiesTxt)
{
    OriginServer Server;
    Server.route("/plain", Page("<p>1.2.3.4:8080 and 10.0.0.1:80, 1.2.3.4:8080</p>"));
    Server.route("/table", Page("<tr>\n<td>5.6.7.8</td>\n<td>3128</td>\n</tr>\n"
                                "<tr>\n<td>10.0.0.1</td>\n<td>080</td>\n</tr>"));
    Server.route("/more", Page("9.9.9.9:3128 10.0.0.1:80 host.example:8000"));
    Server.route("/gone", Script::response(404, "Not Found", {}, "no"));
    const QByteArray Sites = Server.url("/plain") + "\r\n" + Server.url("/table") + "\r\n" +
                             Server.url("/gone") + "\r\n" + Server.url("/more") + "\r\n";
    const QByteArray Options = "[Main]\r\nAutomate=0\r\nBots=2\r\nTimeout=5\r\n"
                               "[Options]\r\nAutoload=1\r\nSpecial=1\r\nDupes=1\r\n";
    WriteFile(QStringLiteral("Sites.ini"), Sites);
    WriteFile(QStringLiteral("Options.ini"), Options);

    QTemporaryDir CliDir;
    for (const char *Name : {"Sites.ini", "Options.ini"})
        ASSERT_TRUE(
            QFile::copy(Path(QLatin1StringView(Name)), CliDir.filePath(QLatin1StringView(Name))));
    testsupport::CliProcess Cli({QStringLiteral("leech"), QStringLiteral("--dir"), CliDir.path(),
                                 QStringLiteral("--quiet")});
    const testsupport::CliRun R = Cli.wait();
    ASSERT_EQ(R.exitCode, 0) << R.err.toStdString();

    gui::TWindows Windows = Start();
    TfrmLeecher *M = Windows.leecher.get();
    ASSERT_EQ(M->SiteList.size(), 4u);
    M->cmdStart->click();
    ASSERT_TRUE(waitUntil([&] { return !M->Run().IsRunning(); }, 20000));

    QFile CliProxies(CliDir.filePath(QStringLiteral("Proxies.txt")));
    ASSERT_TRUE(CliProxies.open(QIODevice::ReadOnly));
    const QByteArray Written = CliProxies.readAll();
    EXPECT_EQ(ReadFile(QStringLiteral("Proxies.txt")), Written);
    // Something of each kind of page: the table one's proxy by the further
    // patterns, the duplicates removed.
    EXPECT_TRUE(Written.contains("5.6.7.8:3128\r\n")) << Written.toStdString();
    EXPECT_TRUE(Written.contains("9.9.9.9:3128\r\n"));
    EXPECT_EQ(Written.count("1.2.3.4:8080"), 1);
    EXPECT_EQ(Written.count("10.0.0.1:80\r\n"), 1);
    EXPECT_TRUE(errors.isEmpty());
}
