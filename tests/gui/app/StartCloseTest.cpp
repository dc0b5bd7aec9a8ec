#include "support/WindowFixture.h"

#include "analyser/TfrmProxy.h"
#include "app/TfrmLeecher.h"
#include "lists/StarterSites.h"
#include "settings/TfrmOptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <functional>

namespace {

using StartCloseTest = WindowFixture;

TEST_F(StartCloseTest, WithoutOptionsIniEveryControlKeepsItsDesignedValue)
{
    WriteFile(QStringLiteral("Sites.ini"), "http://a.example/\r\n");
    gui::TWindows w = Start();
    TfrmLeecher &m = *w.leecher;
    EXPECT_TRUE(m.SiteList.empty()); // Autoload is off without Options.ini
    EXPECT_EQ(m.sldBots->value(), 15);
    EXPECT_EQ(m.lblCount->text(), QStringLiteral("15"));
    EXPECT_EQ(m.txtTimeout->text(), QStringLiteral("8"));
    EXPECT_EQ(m.txtHour->text() + m.txtMinute->text() + m.txtSecond->text(),
              QStringLiteral("0300"));
    EXPECT_TRUE(m.chkAutomate->isChecked());
    EXPECT_EQ(m.lblStatus->text(), QStringLiteral("等待载入"));
    EXPECT_EQ(m.lblTime->text(), QStringLiteral("00:00:00"));
    EXPECT_TRUE(m.cmdStart->isEnabled());
    EXPECT_FALSE(m.cmdAbort->isEnabled());
    for (const char *counter : {"lblSite", "lblProxy", "lblCycle", "lblTimeout"})
        EXPECT_EQ(m.findChild<QLabel *>(QLatin1String(counter))->text(), QStringLiteral("0"));
    EXPECT_EQ(m.lstSite->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("站点"));
    EXPECT_EQ(m.lstProxy->model()->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral("端口"));
    EXPECT_EQ(m.lstSite->columnWidth(1), 110);
    EXPECT_EQ(m.lstProxy->columnWidth(1), 68);

    const TfrmOptions &o = *w.options;
    EXPECT_TRUE(o.WriteFile() && o.DeleteFile() && o.Dupes() && o.Autoload() && o.Special());
    EXPECT_FALSE(o.UseProxy() || o.ProxyAuth() || o.RetryTimeout() || o.GooglerSpecial());
    EXPECT_EQ(w.proxy->sldBots->value(), 50);
    EXPECT_EQ(w.proxy->txtTimeout->text(), QStringLiteral("8"));
    EXPECT_FALSE(w.proxy->chkRetry->isChecked());
    EXPECT_FALSE(w.proxy->cboProxyJudge->currentText().isEmpty());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(StartCloseTest, AutoloadIsReadWithDefaultFalseByTheMainWindowAndTrueByTheDialog)
{
    WriteFile(QStringLiteral("Options.ini"), "[Main]\r\nBots=20\r\n");
    WriteFile(QStringLiteral("Sites.ini"),
              "http://a.example/\r\n\r\n   \r\n  http://b.example/\r\n");
    {
        gui::TWindows w = Start();
        EXPECT_TRUE(w.leecher->SiteList.empty());
        EXPECT_EQ(w.leecher->lblCount->text(), QStringLiteral("20"));
        EXPECT_TRUE(w.options->chkAutoload->isChecked());
        w.options->close(); // writes "Options" with Autoload ticked
    }
    gui::TWindows w = Start();
    ASSERT_EQ(w.leecher->SiteList.size(), 2u);
    EXPECT_EQ(w.leecher->SiteList[1].URL, QByteArray("  http://b.example/"));
    EXPECT_EQ(w.leecher->lblStatus->text(), QStringLiteral("Loaded 2 Sites"));
    EXPECT_EQ(w.leecher->lblSite->text(), QStringLiteral("2"));
    EXPECT_EQ(w.leecher->lstSite->model()->rowCount(), 2);
}

TEST_F(StartCloseTest, BotsOutsideTheSliderRangeAreClamped)
{
    for (const auto &[stored, shown] : {std::pair{"0", "1"}, {"500", "100"}, {"0x20", "32"}}) {
        WriteFile(QStringLiteral("Options.ini"), QByteArray("[Main]\r\nBots=") + stored +
                                                     "\r\n[ProxyChecker]\r\nBots=" + stored +
                                                     "\r\n");
        gui::TWindows w = Start();
        EXPECT_EQ(w.leecher->lblCount->text(), QLatin1String(shown)) << stored;
        EXPECT_EQ(w.proxy->lblCount->text(), QLatin1String(shown)) << stored;
    }
}

TEST_F(StartCloseTest, SliderLabelFollowsAtOnce)
{
    gui::TWindows w = Start();
    for (int v : {1, 57, 100}) {
        w.leecher->sldBots->setValue(v);
        EXPECT_EQ(w.leecher->lblCount->text(), QString::number(v));
        w.proxy->sldBots->setValue(v);
        EXPECT_EQ(w.proxy->lblCount->text(), QString::number(v));
    }
}

TEST_F(StartCloseTest, ClosingTheMainWindowWritesItsFilesInOrder)
{
    WriteFile(QStringLiteral("Options.ini"),
              "; kept\r\n[Options]\r\nAutoload=1\r\n[Main]\r\nBots=5\r\n");
    WriteFile(QStringLiteral("Sites.ini"), "http://old/\r\n");
    WriteFile(QStringLiteral("Proxies.txt"), "1.2.3.4:80\r\n");
    gui::TWindows w = Start();
    TfrmLeecher &m = *w.leecher;
    m.SiteList.push_back({"http://new/", QStringLiteral("Found 3 Proxies"), 10, 4});
    m.ProxyList.push_back({"1.1.1.1", "8080"});
    m.sldBots->setValue(42);
    m.chkAutomate->setChecked(false);
    m.txtTimeout->setText(QStringLiteral("12"));
    QSignalSpy closed(&m, &TfrmLeecher::MainFormClosed);

    m.close();

    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("Proxies.txt"))));
    EXPECT_EQ(ReadFile(QStringLiteral("Sites.ini")), QByteArray("http://old/\r\nhttp://new/\r\n"));
    EXPECT_EQ(ReadFile(QStringLiteral("Options.ini")),
              QByteArray("; kept\r\n[Options]\r\nAutoload=1\r\n[Main]\r\nBots=42\r\nAutomate=0\r\n"
                         "Timeout=12\r\nHour=0\r\nMinute=30\r\nSecond=0\r\n"));
    EXPECT_TRUE(m.SiteList.empty());
    EXPECT_TRUE(m.ProxyList.empty());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(StartCloseTest, AnEmptySiteListKeepsSitesIniAndUntickedDeleteKeepsProxies)
{
    WriteFile(QStringLiteral("Sites.ini"), "http://old/\r\n");
    WriteFile(QStringLiteral("Proxies.txt"), "1.2.3.4:80\r\n");
    gui::TWindows w = Start();
    w.options->chkDeleteFile->setChecked(false); // takes effect without closing the dialog
    w.leecher->close();
    EXPECT_EQ(ReadFile(QStringLiteral("Sites.ini")), QByteArray("http://old/\r\n"));
    EXPECT_EQ(ReadFile(QStringLiteral("Proxies.txt")), QByteArray("1.2.3.4:80\r\n"));
}

TEST_F(StartCloseTest, QuittingWithoutClosingTheDialogsKeepsTheirOldValues)
{
    WriteFile(QStringLiteral("Options.ini"),
              "[Options]\r\nDupes=1\r\n[ProxyChecker]\r\nBots=30\r\n");
    {
        gui::TWindows w = Start();
        w.options->chkDupes->setChecked(false);
        w.proxy->sldBots->setValue(80);
        w.leecher->close(); // the program ends; the other two are destroyed unclosed
    }
    gui::TWindows w = Start();
    EXPECT_TRUE(w.options->chkDupes->isChecked());
    EXPECT_EQ(w.proxy->sldBots->value(), 30);
}

TEST_F(StartCloseTest, SecondaryWindowsWriteTheirSectionsWhenClosed)
{
    gui::TWindows w = Start();
    w.options->chkProxy->setChecked(true);
    w.options->txtProxy->setText(QStringLiteral("127.0.0.1:3128"));
    w.options->close();
    w.proxy->sldBots->setValue(7);
    w.proxy->chkRetry->setChecked(true);
    w.proxy->cboProxyJudge->setEditText(QStringLiteral("http://judge.example/env"));
    w.proxy->txtTimeout->setText(QStringLiteral("20"));
    w.proxy->close();

    const QByteArray ini = ReadFile(QStringLiteral("Options.ini"));
    EXPECT_TRUE(ini.contains("[Options]\r\nUseProxy=1\r\nProxy=127.0.0.1:3128\r\n"));
    EXPECT_TRUE(ini.endsWith("[ProxyChecker]\r\nBots=7\r\nRetry503=1\r\n"
                             "ProxyJudge=http://judge.example/env\r\nTimeout=20\r\n"
                             "JudgeFallback=1\r\nDetectType=0\r\n"));

    gui::TWindows again = Start();
    EXPECT_TRUE(again.options->UseProxy());
    EXPECT_EQ(again.options->Proxy(), QStringLiteral("127.0.0.1:3128"));
    EXPECT_EQ(again.proxy->sldBots->value(), 7);
    EXPECT_EQ(again.proxy->cboProxyJudge->currentText(),
              QStringLiteral("http://judge.example/env"));
}

TEST_F(StartCloseTest, AReadOnlySettingsFileIsReportedWithoutLosingTheSiteList)
{
    WriteFile(QStringLiteral("Options.ini"), "[Main]\r\nBots=5\r\n");
    QFile::setPermissions(Path(QStringLiteral("Options.ini")), QFileDevice::ReadOwner);
    gui::TWindows w = Start();
    w.leecher->SiteList.push_back({"http://kept/", {}, 0, 0});

    EXPECT_FALSE(w.options->close()); // the dialog stays open and says why
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0],
              QStringLiteral("Unable to write to ") + Path(QStringLiteral("Options.ini")));

    w.leecher->close();
    EXPECT_EQ(errors.size(), 2);
    EXPECT_EQ(ReadFile(QStringLiteral("Sites.ini")), QByteArray("http://kept/\r\n"));
    QFile::setPermissions(Path(QStringLiteral("Options.ini")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(ReadFile(QStringLiteral("Options.ini")), QByteArray("[Main]\r\nBots=5\r\n"));
}

TEST_F(StartCloseTest, HelpButtonsShowTheirBoxes)
{
    gui::TWindows w = Start();
    w.options->cmdConnectionHelp->click();
    w.options->cmdAutoloadHelp->click();
    w.options->cmdSaveHelp->click();
    w.options->cmdSpecialHelp->click();
    ASSERT_EQ(informations.size(), 4);
    EXPECT_EQ(informations[0],
              QStringLiteral("Connection Help|Use a proxy when sending all requests.\r\n\r\n"
                             "Use format: \"xxx.xxx.xxx:yyyy\".\r\n\r\n"
                             "Retry Timeouts - Retries Leech Sites that Timeout.\r\n"
                             "This control can be ticked on/off during the middle of a session\r\n"
                             "because it can cause an infinite loop."));
    EXPECT_EQ(informations[1],
              QStringLiteral("Load Help|Sites in \"Sites.ini\" load when program loads."));
    EXPECT_TRUE(informations[2].startsWith(
        QStringLiteral("Save Help|Writes to \"Proxies.txt\" after each cycle.\r\n\r\nIf the")));
    EXPECT_TRUE(informations[3].startsWith(
        QStringLiteral("Save Help|Determine whether to use special leeching abilities.\r\n\r\n")));
    EXPECT_TRUE(informations[3].endsWith(QStringLiteral("with the Googler.")));
}

// Opaque pixels of the image within Tolerance of Colour in every channel.
int PixelsNear(const QImage &Image, const QColor &Colour, int Tolerance = 40)
{
    int Count = 0;
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x) {
            const QColor P = Image.pixelColor(x, y);
            if (P.alpha() >= 200 && std::abs(P.red() - Colour.red()) <= Tolerance &&
                std::abs(P.green() - Colour.green()) <= Tolerance &&
                std::abs(P.blue() - Colour.blue()) <= Tolerance)
                ++Count;
        }
    return Count;
}

// Opaque pixels in row y.
int RowWidth(const QImage &Image, int y)
{
    int Count = 0;
    for (int x = 0; x < Image.width(); ++x)
        Count += Image.pixelColor(x, y).alpha() >= 200 ? 1 : 0;
    return Count;
}

TEST_F(StartCloseTest, SiteRowsShowTheImageOfTheirState)
{
    gui::TWindows w = Start();
    TfrmLeecher &m = *w.leecher;
    m.SiteList.push_back({"http://a/", {}, 0, 0});
    m.SitesChanged();
    const QAbstractItemModel *model = m.lstSite->model();
    const QColor Green(20, 150, 30), Red(210, 25, 25), Blue(40, 110, 215), Grey(200, 200, 200),
        White(255, 255, 255), Yellow(255, 215, 0);
    // What each state's picture must show: a computer, a green tick, a red
    // cross, a stopwatch, a smiling face, a blue arrow pointing down.
    const std::function<bool(const QImage &)> Looks[6] = {
        [&](const QImage &I) { return PixelsNear(I, Blue) >= 15 && PixelsNear(I, Grey) >= 15; },
        [&](const QImage &I) { return PixelsNear(I, Green) >= 10 && PixelsNear(I, Red) == 0; },
        [&](const QImage &I) { return PixelsNear(I, Red) >= 10 && PixelsNear(I, Green) == 0; },
        [&](const QImage &I) { return PixelsNear(I, White) >= 20 && PixelsNear(I, Red) >= 2; },
        [&](const QImage &I) { return PixelsNear(I, Yellow) >= 60 && PixelsNear(I, Blue) == 0; },
        [&](const QImage &I) {
            return PixelsNear(I, Blue) >= 30 && PixelsNear(I, Grey) == 0 &&
                   RowWidth(I, 9) > RowWidth(I, 4) + 2;
        },
    };
    QList<qint64> seen;
    for (int state = 0; state <= 5; ++state) {
        m.SItem(0).State = state;
        m.SiteRowChanged(0);
        const QVariant image = model->data(model->index(0, 0), Qt::DecorationRole);
        ASSERT_TRUE(image.canConvert<QPixmap>()) << state;
        const QImage shown =
            image.value<QPixmap>().toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(shown.size(), QSize(16, 16)) << state;
        for (int other = 0; other <= 5; ++other)
            EXPECT_EQ(Looks[other](shown), other == state)
                << "state " << state << " against the picture of " << other;
        const qint64 key = image.value<QPixmap>().cacheKey();
        EXPECT_FALSE(seen.contains(key)) << "state " << state << " reuses an image";
        seen << key;
    }
    EXPECT_THROW(m.SItem(1), std::out_of_range);
    EXPECT_THROW(m.PItem(0), std::out_of_range);
}

} // namespace

namespace {

TEST_F(StartCloseTest, TheProgramRunsUntilTheMainWindowClosesEvenWithOthersOpen)
{
    QElapsedTimer clock;
    clock.start();
    bool splashGoneWhenShown = false;
    qint64 mainShownAt = -1;
    // Polls until the message loop shows the main window, then closes it with
    // the other two windows open.
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, qApp, [&] {
        TfrmLeecher *main = nullptr;
        bool splash = false;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *m = qobject_cast<TfrmLeecher *>(w); m && m->isVisible())
                main = m;
            splash = splash || w->objectName() == QStringLiteral("frmSplash");
        }
        if (!main)
            return;
        poll.stop();
        mainShownAt = clock.elapsed();
        splashGoneWhenShown = !splash;
        main->cmdOptions->click();
        main->cmdProxy->click();
        main->close();
    });
    poll.start();
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(99); }); // never hang the suite

    const int code = gui::RunProgram(*qApp, dir.path());
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(splashGoneWhenShown);
    EXPECT_GT(mainShownAt, gui::SplashHoldMs); // the splash held the loop back
    EXPECT_LT(mainShownAt, gui::SplashHoldMs + 2000);
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("Options.ini")))); // "Main" was written
    EXPECT_FALSE(ReadFile(QStringLiteral("Options.ini")).contains("[Options]"));
}

} // namespace

// A first start (no Sites.ini) offers the starter list once: accepted, the
// list is the starter list and Sites.ini holds it; declined, Sites.ini is
// written empty. Either way the next start asks nothing.
TEST_F(StartCloseTest, AFirstStartOffersTheStarterListOnce)
{
    const QStringList savedPlaces = leecher::StarterSitesPlaces();
    WriteFile(QStringLiteral("starter.ini"), "http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b\r\n");
    leecher::StarterSitesPlaces() = {Path(QStringLiteral("missing.ini")),
                                     Path(QStringLiteral("starter.ini"))};
    askAnswer = true;
    {
        gui::TWindows w = Start();
        w.leecher->OfferStarterSites();
        ASSERT_EQ(questions.size(), 1);
        EXPECT_EQ(w.leecher->SiteList.size(), 2u);
        EXPECT_EQ(w.leecher->lblStatus->text(), QStringLiteral("Loaded 2 Sites"));
        EXPECT_EQ(ReadFile(QStringLiteral("Sites.ini")),
                  "http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b\r\n");
        w.leecher->OfferStarterSites(); // once per start
        EXPECT_EQ(questions.size(), 1);
    }
    {
        gui::TWindows w = Start(); // Sites.ini is there now
        w.leecher->OfferStarterSites();
        EXPECT_EQ(questions.size(), 1);
    }
    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("Sites.ini"))));
    askAnswer = false;
    {
        gui::TWindows w = Start();
        w.leecher->OfferStarterSites();
        EXPECT_EQ(questions.size(), 2);
        EXPECT_TRUE(w.leecher->SiteList.empty());
        EXPECT_TRUE(QFile::exists(Path(QStringLiteral("Sites.ini"))));
        EXPECT_TRUE(ReadFile(QStringLiteral("Sites.ini")).isEmpty());
    }
    {
        gui::TWindows w = Start();
        w.leecher->OfferStarterSites();
        EXPECT_EQ(questions.size(), 2);
    }
    leecher::StarterSitesPlaces() = savedPlaces;
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
}
