// vexo-cli harvest end to end against a loopback search engine: a run for a
// given time, and a run stopped by Ctrl-C while a page is under way.
#include "CliFixture.h"

#include "support/SearchEngine.h"

#include <csignal>

using testsupport::CliProcess;
using testsupport::CliRun;
using testsupport::runCli;
using testsupport::Script;
using testsupport::SearchEngine;
using testsupport::waitUntil;

namespace {

class HarvestCommandTest : public CliFixture
{
protected:
    void SetUp() override
    {
        // The first search finds the two list pages; later ones find nothing,
        // unhurriedly, so that the bots do not spin.
        Engine.setAnswer([this](const SearchEngine::Query &) {
            if (Engine.queries().size() == 1)
                return SearchEngine::resultsPage({Engine.url("/list1"), Engine.url("/list2")});
            return Script().wait(50).send("HTTP/1.0 200 OK\r\n\r\nno results");
        });
    }
    QStringList Harvest(const QStringList &More) const
    {
        return CommandWith("harvest", QStringList{QStringLiteral("--search-host"),
                                                  QString::fromLatin1(Engine.host()),
                                                  QStringLiteral("--bots"), QStringLiteral("1")} +
                                          More);
    }

    SearchEngine Engine;
};

} // namespace

TEST_F(HarvestCommandTest, RunsForItsDurationAndKeepsWhatItLeeched)
{
    Engine.route("/list1", Script::response(200, "OK", {}, "<td>1.2.3.4:8080</td>"));
    Engine.route("/list2", Script::response(200, "OK", {}, "<td>5.6.7.8:3128</td>"));
    Write(QStringLiteral("Leeched.ini"), "http://old.example/page\r\n");
    const CliRun R = runCli(Harvest({QStringLiteral("--duration"), QStringLiteral("2")}));
    ASSERT_TRUE(R.finished);
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    EXPECT_EQ(R.out, "5.6.7.8:3128\n1.2.3.4:8080\n");
    EXPECT_EQ(Read(QStringLiteral("Proxies.txt")), "5.6.7.8:3128\r\n1.2.3.4:8080\r\n");
    // Sorted without regard to case, the earlier links kept.
    EXPECT_EQ(Read(QStringLiteral("Leeched.ini")), Engine.url("/list1") + "\r\n" +
                                                       Engine.url("/list2") +
                                                       "\r\nhttp://old.example/page\r\n");
    EXPECT_TRUE(R.err.contains("Googling...\n")) << R.err.toStdString();
    EXPECT_TRUE(R.err.contains("Time is up: the requests under way end first."));
    EXPECT_TRUE(R.err.contains("2 pages leeched, 2 proxies"));
    EXPECT_EQ(Engine.pages(), (QList<QByteArray>{"/list1", "/list2"}));

    // A second harvest leeches no page twice, finds nothing: status 3.
    const CliRun Again =
        runCli(Harvest({QStringLiteral("--duration"), QStringLiteral("1"),
                        QStringLiteral("--quiet"), QStringLiteral("--no-write-file")}));
    EXPECT_EQ(Again.exitCode, 3);
    EXPECT_EQ(Engine.pages().size(), 2);
}

TEST_F(HarvestCommandTest, CtrlCLeechesThePageUnderWayAndWritesLeechedIni)
{
    Engine.route("/list1", Script::response(200, "OK", {}, "<td>1.2.3.4:8080</td>"));
    // The second page comes slowly: the interruption finds it under way.
    Engine.route("/list2", Script()
                               .send("HTTP/1.0 200 OK\r\n\r\n<td>5.6.7.8:3128</td>")
                               .wait(700)
                               .send("<td>9.9.9.9:80</td>"));
    CliProcess P(Harvest({QStringLiteral("--timeout"), QStringLiteral("5")}));
    ASSERT_TRUE(waitUntil([&] { return Engine.pages().size() == 2; }, 10000));
    P.signal(SIGINT);
    const CliRun R = P.wait();
    ASSERT_TRUE(R.finished);
    EXPECT_EQ(R.exitCode, 2) << R.err.toStdString();
    EXPECT_EQ(Read(QStringLiteral("Proxies.txt")),
              "9.9.9.9:80\r\n5.6.7.8:3128\r\n1.2.3.4:8080\r\n");
    EXPECT_EQ(Read(QStringLiteral("Leeched.ini")),
              Engine.url("/list1") + "\r\n" + Engine.url("/list2") + "\r\n");
    EXPECT_EQ(R.out, "9.9.9.9:80\n5.6.7.8:3128\n1.2.3.4:8080\n");
}

TEST_F(HarvestCommandTest, TheSearchEngineFromTheCommandLine)
{
    const CliRun Bad = runCli(Harvest({QStringLiteral("--engine"), QStringLiteral("custom")}));
    EXPECT_EQ(Bad.exitCode, 1);
    EXPECT_TRUE(Bad.err.contains("SearchURL is empty")) << Bad.err.toStdString();
    EXPECT_TRUE(Engine.queries().isEmpty());

    Engine.route("/list1", Script::response(200, "OK", {}, "<td>1.2.3.4:8080</td>"));
    Engine.setAnswer([this](const SearchEngine::Query &Q) {
        return SearchEngine::resultsPage(Engine.queries().size() == 1
                                             ? QList<QByteArray>{Engine.url("/list1")}
                                             : QList<QByteArray>{},
                                         Q.form);
    });
    const CliRun R = runCli(Harvest(
        {QStringLiteral("--engine"), QStringLiteral("custom"), QStringLiteral("--search-url"),
         QString::fromLatin1(Engine.url(SearchEngine::CustomPath)),
         QStringLiteral("--link-pattern"), QStringLiteral("<h3><a href=\"([^\"]*)\""),
         QStringLiteral("--search-interval"), QStringLiteral("1.5"), QStringLiteral("--duration"),
         QStringLiteral("2")}));
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    EXPECT_EQ(R.out, "1.2.3.4:8080\n");
    EXPECT_EQ(Engine.queries()[0].form, 4);
    EXPECT_LE(Engine.queries().size(), 2);
    // The progress shows the wait for the second search (1 or 2 s, as the page took).
    EXPECT_TRUE(R.err.contains(" s for the search engine\n")) << R.err.toStdString();
}
