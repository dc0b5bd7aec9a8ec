// The search harvest through the real main window offscreen: the search
// button, the controls it locks, the timeout edit, Leeched.ini, closing during
// a harvest, and the search host in Options.ini beside the Options dialog.
#include "support/EventLoop.h"
#include "support/SearchEngine.h"
#include "support/WindowFixture.h"

#include "app/TfrmLeecher.h"
#include "settings/TfrmOptions.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QToolButton>

namespace {

using testsupport::Script;
using testsupport::SearchEngine;
using testsupport::waitUntil;

class HarvestWindowTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        WriteFile(QStringLiteral("Options.ini"),
                  "[Main]\r\nAutomate=0\r\nTimeout=45\r\n[Options]\r\nSearchInterval=0\r\n"
                  "SearchHost=" +
                      engine.host() + "\r\n");
        windows = Start();
        m = windows.leecher.get();
        m->Run().SetWaitInterval(50);
        m->Run().SetRandomSeed(3);
        engine.route("/list", Script::response(200, "OK", {}, "<p>1.2.3.4:8080</p>"));
        engine.setAnswer([this](const SearchEngine::Query &) {
            if (engine.queries().size() == 1)
                return SearchEngine::resultsPage({engine.url("/list")});
            return Script().wait(20).send("HTTP/1.0 200 OK\r\n\r\nno results"); // unhurried
        });
    }
    bool Idle() const { return !m->Run().IsRunning(); }

    SearchEngine engine;
    gui::TWindows windows;
    TfrmLeecher *m = nullptr;
};

TEST_F(HarvestWindowTest, TheSearchButtonHarvestsUntilAbort)
{
    // The dialog writes its twelve keys; the search host stays beside them.
    windows.options->FormClose();
    EXPECT_TRUE(ReadFile(QStringLiteral("Options.ini")).contains("SearchHost=" + engine.host()));
    EXPECT_TRUE(ReadFile(QStringLiteral("Options.ini")).contains("GooglerSpecial=0"));

    m->cmdGoogle->click();
    EXPECT_EQ(m->txtTimeout->text(), QStringLiteral("30")); // lowered in the edit itself
    EXPECT_FALSE(m->sldBots->isEnabled());
    EXPECT_FALSE(m->cmdStart->isEnabled());
    EXPECT_TRUE(m->cmdAbort->isEnabled());
    EXPECT_TRUE(m->AddSite1->isEnabled()); // the harvest leaves the site list alone
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Googling..."));
    EXPECT_EQ(m->Run().BotCount(), 15);
    ASSERT_TRUE(waitUntil([&] { return m->lblProxy->text() == QStringLiteral("1"); }, 10000));
    EXPECT_EQ(m->lstProxy->model()->rowCount(), 1);

    // Other starts are ignored while it runs.
    const int cycles = m->Run().CycleCount();
    m->cmdStartClick();
    m->VerifySites1Click();
    m->cmdGoogleClick();
    EXPECT_EQ(m->Run().CycleCount(), cycles);
    EXPECT_TRUE(m->Run().GoogleMode());

    m->cmdAbort->click();
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 10000));
    EXPECT_TRUE(m->sldBots->isEnabled());
    EXPECT_TRUE(m->cmdStart->isEnabled());
    EXPECT_FALSE(m->cmdAbort->isEnabled());
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Removed 0 Duplicates"));
    EXPECT_EQ(ReadFile(QStringLiteral("Leeched.ini")), engine.url("/list") + "\r\n");
    EXPECT_EQ(ReadFile(QStringLiteral("Proxies.txt")), "1.2.3.4:8080\r\n");
    EXPECT_EQ(engine.pages(), QList<QByteArray>{"/list"});
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'|').toStdString();
}

TEST_F(HarvestWindowTest, TheDialogsSearchEngineIsReadLiveAndWrittenOnClose)
{
    TfrmOptions *o = windows.options.get();
    EXPECT_EQ(o->cboSearchEngine->currentText(), QStringLiteral("classic"));
    EXPECT_EQ(o->txtSearchHost->text(), QString::fromLatin1(engine.host()));
    EXPECT_FALSE(o->txtSearchURL->isEnabled());
    // A custom engine without a pattern: nothing starts, and both say why.
    o->cboSearchEngine->setCurrentText(QStringLiteral("custom"));
    EXPECT_TRUE(o->txtSearchURL->isEnabled());
    o->txtSearchURL->setText(QString::fromLatin1(engine.url(SearchEngine::CustomPath)));
    m->cmdGoogle->click();
    EXPECT_TRUE(Idle());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("SearchLinkPattern is empty")));
    EXPECT_EQ(m->lblStatus->text(), errors[0]);
    EXPECT_TRUE(m->sldBots->isEnabled());

    o->txtSearchLinkPattern->setText(QStringLiteral("<h3><a href=\"([^\"]*)\""));
    m->cmdGoogle->click();
    ASSERT_TRUE(waitUntil([&] { return !engine.queries().isEmpty(); }, 10000));
    EXPECT_EQ(engine.queries()[0].form, 4);
    m->cmdAbort->click();
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 10000));

    o->FormClose();
    const QByteArray ini = ReadFile(QStringLiteral("Options.ini"));
    for (const QByteArray &line :
         {QByteArray("SearchEngine=custom"), "SearchURL=" + engine.url(SearchEngine::CustomPath),
          QByteArray("SearchLinkPattern=<h3><a href=\"([^\"]*)\""), QByteArray("SearchInterval=0"),
          "SearchHost=" + engine.host(), QByteArray("GooglerSpecial=0")})
        EXPECT_TRUE(ini.contains(line)) << line.data();
}

TEST_F(HarvestWindowTest, ClosingDuringAHarvestWritesNoLeechedIniButKeepsTheSites)
{
    engine.setAnswer([](const SearchEngine::Query &) {
        return Script().send("HTTP/1.0 200 OK\r\n\r\n<p class=g>").keepOpen();
    });
    m->SiteList.push_back({"http://127.0.0.1:1/", {}, 0, leecher::ssIdle});
    m->cmdGoogle->click();
    ASSERT_TRUE(waitUntil([&] { return engine.queries().size() == 15; }, 10000));
    m->close();
    testsupport::spinFor(100); // any late event must not reach the freed lists
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("Leeched.ini"))));
    EXPECT_EQ(ReadFile(QStringLiteral("Sites.ini")), "http://127.0.0.1:1/\r\n");
    EXPECT_TRUE(ReadFile(QStringLiteral("Options.ini")).contains("Timeout=30"));
}

} // namespace
