#include "AnalyserFixture.h"

#include "analyser/JudgeFallback.h"
#include "settings/OptionsFile.h"

#include "support/LocationDbs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

namespace {

using analyser::TProxyItem;
using WindowTest = AnalyserFixture;

TEST_F(WindowTest, TheWindowHoldsEveryControlAsDesigned)
{
    EXPECT_EQ(p->windowTitle(), QStringLiteral("代理分析"));
    EXPECT_EQ(p->size(), QSize(727, 480));
    const std::pair<const char *, const char *> texts[] = {
        {"cmdStart", "开始"},         {"cmdAbort", "中断"},
        {"lblCount", "50"},           {"txtTimeout", "8"},
        {"chkRetry", "重试503代理"},  {"lblStatus", "等待载入"},
        {"cmdOpen", "导入代理列表"},  {"cmdSave", "保存代理列表"},
        {"cmdClean", "清理选项"},     {"cmdExtractClipboard", "从剪贴板粘贴代理"},
        {"cmdRetry", "重试无效代理"},
    };
    for (const auto &[name, text] : texts) {
        QObject *control = p->findChild<QObject *>(QLatin1String(name));
        ASSERT_NE(control, nullptr) << name;
        const QString shown = control->property("text").toString();
        EXPECT_EQ(shown, QString::fromUtf8(text)) << name;
    }
    for (const char *name :
         {"lstProxy", "sldBots", "cboProxyJudge", "cmdOpenPJ", "lblReply", "prgStatus", "lblIP",
          "mnulstProxy", "mnucmdClean", "mnucmdSave", "mnucmdRetry"})
        EXPECT_NE(p->findChild<QObject *>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(p->cmdOpenPJ->toolTip(), QStringLiteral("在浏览器中打开验证地址"));
    EXPECT_FALSE(p->cmdAbort->isEnabled());
    EXPECT_EQ(p->sldBots->minimum(), 1);
    EXPECT_EQ(p->sldBots->maximum(), 100);

    QStringList captions;
    for (int c = 0; c < p->lstProxy->model()->columnCount(); ++c)
        captions << p->lstProxy->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(captions.join(QLatin1Char(',')),
              QStringLiteral("代理,端口,状态,网关,匿名,等级,速度,类型,国家,网络,可用率,最后可用"));
    EXPECT_EQ(p->lstProxy->columnWidth(4), 70);
    EXPECT_EQ(p->lstProxy->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(p->lstProxy->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(p->lstProxy->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(p->illstProxy.size(), 10);
}

TEST_F(WindowTest, RowsShowTheirFieldsAndTypeAndTheStateImage)
{
    TProxyItem item;
    item.Host = "1.2.3.4";
    item.Port = "8080";
    item.Status = "200 - OK";
    item.RemoteAddr = "1.2.3.4";
    item.Anonymous = "Yes";
    item.Level = "1";
    item.Speed = "350";
    for (qint32 state : {0, 2, 3, 6, 8}) {
        item.State = state;
        p->AnalyserList.push_back(item);
    }
    p->ProxiesChanged();
    const QAbstractItemModel *model = p->lstProxy->model();
    QStringList row;
    p->AnalyserList[0].Type = net::ptSocks5;
    for (int c = 0; c < 8; ++c)
        row << model->data(model->index(0, c)).toString();
    EXPECT_EQ(row.join(QLatin1Char('|')),
              QStringLiteral("1.2.3.4|8080|200 - OK|1.2.3.4|Yes|1|350|SOCKS5"));
    // Each state shows its own image, the one at its index.
    QList<QImage> shown;
    for (int r = 0; r < 5; ++r) {
        const QImage image =
            model->data(model->index(r, 0), Qt::DecorationRole).value<QPixmap>().toImage();
        EXPECT_EQ(image, p->illstProxy[p->AnalyserList[size_t(r)].State].toImage()) << r;
        EXPECT_FALSE(shown.contains(image)) << r;
        shown << image;
    }
    EXPECT_FALSE(model->data(model->index(0, 1), Qt::DecorationRole).isValid());

    // One changed record redraws its row only.
    QList<int> changed;
    QObject::connect(model, &QAbstractItemModel::dataChanged, p,
                     [&](const QModelIndex &from, const QModelIndex &to) {
                         changed << from.row() << to.row() << from.column() << to.column();
                     });
    p->AnalyserList[3].Status = "Timeout";
    p->RowChanged(3);
    EXPECT_EQ(changed, (QList<int>{3, 3, 0, 11}));
    EXPECT_EQ(model->data(model->index(3, 2)).toString(), QStringLiteral("Timeout"));

    // Where it is and how it fared: the figures shown, the details in the tool tips.
    analyser::TProxyItem &located = p->AnalyserList[3];
    located.Country = analyser::TCountryCode("DE");
    located.CountryName = "Germany";
    located.Asn = 64500;
    located.AsOrg = "Loopback Networks";
    located.Checks = 3;
    located.Goods = 2;
    located.LastGood = QDateTime(QDate(2026, 12, 9), QTime(14, 5)).toMSecsSinceEpoch();
    const auto cell = [model](int column, int role = Qt::DisplayRole) {
        return model->data(model->index(3, column), role).toString();
    };
    EXPECT_EQ(cell(analyser::colCountry), QStringLiteral("DE"));
    EXPECT_EQ(cell(analyser::colCountry, Qt::ToolTipRole), QStringLiteral("Germany"));
    EXPECT_EQ(cell(analyser::colNetwork), QStringLiteral("AS64500 Loopback Networks"));
    EXPECT_EQ(cell(analyser::colUptime), QStringLiteral("67%"));
    EXPECT_EQ(cell(analyser::colUptime, Qt::ToolTipRole), QStringLiteral("3 次检查中 2 次可用"));
    EXPECT_EQ(cell(analyser::colLastGood), QStringLiteral("2026-12-09 14:05"));
    EXPECT_EQ(model->data(model->index(0, analyser::colUptime)).toString(), QString());
    EXPECT_THROW(p->PItem(5), std::out_of_range);
    EXPECT_EQ(p->PItem(4).State, 8);
}

TEST_F(WindowTest, EachOpeningTakesOverTheMainWindowsCurrentProxies)
{
    m->ProxyList = {{"1.1.1.1", "80"}, {"2.2.2.2", "3128"}};
    m->ProxiesChanged();
    m->cmdProxy->click();
    EXPECT_TRUE(p->isVisible());
    EXPECT_EQ(Proxies(), (Strings{"1.1.1.1:80", "2.2.2.2:3128"}));
    EXPECT_EQ(Status(),
              (QStringLiteral("Loaded 2 Proxies") + testsupport::NoLocationNote()).toStdString());
    EXPECT_EQ(p->lstProxy->model()->rowCount(), 2);
    p->AnalyserList[0].Status = "200 - OK"; // a result of this opening
    p->AnalyserList[0].State = analyser::psGood;

    p->close();
    EXPECT_TRUE(p->AnalyserList.empty());
    EXPECT_EQ(p->lstProxy->model()->rowCount(), 0);
    m->ProxyList = {{"3.3.3.3", "8080"}, {"1.1.1.1", "80"}, {"4.4.4.4", "1080"}};
    m->cmdProxy->click();
    EXPECT_EQ(Proxies(), (Strings{"3.3.3.3:8080", "1.1.1.1:80", "4.4.4.4:1080"}));
    for (const TProxyItem &item : p->AnalyserList)
        EXPECT_TRUE(item.Status.isEmpty() && item.State == analyser::psNone);
    EXPECT_EQ(Status(), "Loaded 3 Proxies");

    m->cmdProxy->click(); // already open: nothing is taken over again
    EXPECT_EQ(p->AnalyserList.size(), 3u);
    p->close();
    m->ProxyList.clear();
    m->cmdProxy->click();
    EXPECT_EQ(Status(), "Loaded 0 Proxies");
}

TEST_F(WindowTest, JudgesAndSettingsAreWrittenAtCloseAndReadAtStart)
{
    WriteFile(QStringLiteral("ProxyJudges.ini"), "http://a.example/env\r\nhttp://b.example/\r\n");
    WriteFile(QStringLiteral("Options.ini"),
              "[ProxyChecker]\r\nBots=500\r\nRetry503=1\r\nProxyJudge=http://b.example/\r\n"
              "Timeout=12\r\nJudgeFallback=1\r\nDetectType=1\r\n");
    gui::TWindows w = Start();
    TfrmProxy &q = *w.proxy;
    ASSERT_EQ(q.cboProxyJudge->count(), 2);
    EXPECT_EQ(q.cboProxyJudge->itemText(0), QStringLiteral("http://a.example/env"));
    EXPECT_EQ(q.cboProxyJudge->currentText(), QStringLiteral("http://b.example/"));
    EXPECT_EQ(q.sldBots->value(), 100);
    EXPECT_EQ(q.lblCount->text(), QStringLiteral("100"));
    EXPECT_TRUE(q.chkRetry->isChecked());
    EXPECT_TRUE(q.chkDetectType->isChecked());
    EXPECT_EQ(q.txtTimeout->text(), QStringLiteral("12"));

    q.cboProxyJudge->addItem(QStringLiteral("http://c.example/azenv.php"));
    // Typing an address does not add it to the list.
    q.cboProxyJudge->setEditText(QStringLiteral("http://typed.example/"));
    QTest::keyClick(q.cboProxyJudge, Qt::Key_Return);
    q.show();
    EXPECT_TRUE(q.close());
    EXPECT_EQ(
        ReadFile(QStringLiteral("ProxyJudges.ini")),
        QByteArray("http://a.example/env\r\nhttp://b.example/\r\nhttp://c.example/azenv.php\r\n"));
    EXPECT_TRUE(ReadFile(QStringLiteral("Options.ini"))
                    .endsWith("[ProxyChecker]\r\nBots=100\r\nRetry503=1\r\n"
                              "ProxyJudge=http://typed.example/\r\nTimeout=12\r\n"
                              "JudgeFallback=1\r\nDetectType=1\r\n"));

    // Without either file: the built-in judge in the box, first in the list of
    // the public judges to fall back on.
    QTemporaryDir fresh;
    const gui::TWindows f = gui::CreateWindows(fresh.path());
    EXPECT_EQ(f.proxy->cboProxyJudge->count(), analyser::DefaultProxyJudges().size());
    EXPECT_EQ(f.proxy->cboProxyJudge->itemText(0), settings::DefaultProxyJudge);
    EXPECT_EQ(f.proxy->cboProxyJudge->currentText(), settings::DefaultProxyJudge);
    EXPECT_EQ(analyser::DefaultProxyJudges().first(), settings::DefaultProxyJudge);
}

TEST_F(WindowTest, AFailedWriteAtCloseKeepsTheWindowAndItsList)
{
    p->show();
    Fill({{"1.1.1.1", "80"}});
    QDir(dir.path()).mkdir(QStringLiteral("ProxyJudges.ini")); // cannot become a file
    EXPECT_FALSE(p->close());
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(p->isVisible());
    EXPECT_EQ(p->AnalyserList.size(), 1u);
}

TEST_F(WindowTest, TheOwnAddressFallsBackToTheInterfacesAndCanBeTyped)
{
    EXPECT_EQ(p->lblIP->text(), QStringLiteral("192.0.2.10")); // the host name's answer

    analyser::OwnAddressSources().hostNameAddresses = [] {
        return QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.1.1"))};
    };
    analyser::OwnAddressSources().interfaceAddresses = [] {
        return QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.1")),
                                   QHostAddress(QStringLiteral("::1")),
                                   QHostAddress(QStringLiteral("10.20.30.40"))};
    };
    gui::TWindows fallback = Start();
    EXPECT_EQ(fallback.proxy->lblIP->text(), QStringLiteral("10.20.30.40"));

    // Nothing found: the panel stays empty and the rest of creation still runs.
    analyser::OwnAddressSources().interfaceAddresses = [] { return QList<QHostAddress>(); };
    WriteFile(QStringLiteral("Options.ini"), "[ProxyChecker]\r\nBots=7\r\n");
    gui::TWindows none = Start();
    EXPECT_EQ(none.proxy->lblIP->text(), QString());
    EXPECT_EQ(none.proxy->sldBots->value(), 7);

    // A click edits it; an empty answer or a cancelled box changes nothing.
    TfrmProxy &q = *none.proxy;
    inputAnswer = QStringLiteral("203.0.113.5");
    QTest::mouseClick(q.lblIP, Qt::LeftButton);
    EXPECT_EQ(inputs.value(0), QStringLiteral("IP|Enter Your IP Address"));
    EXPECT_EQ(q.lblIP->text(), QStringLiteral("203.0.113.5"));
    inputAnswer.clear();
    q.lblIPClick();
    inputAnswer = QStringLiteral("198.51.100.1");
    inputAccepted = false;
    q.lblIPClick();
    EXPECT_EQ(q.lblIP->text(), QStringLiteral("203.0.113.5"));
}

TEST_F(WindowTest, OnlyWebAddressesOfTheJudgeReachTheBrowser)
{
    const char *judges[] = {"http://a.example/env",
                            "judge.example/azenv.php",
                            "HTTPS://b.example/",
                            "file:///etc/passwd",
                            "/usr/bin/xterm",
                            "javascript:x()",
                            ""};
    for (const char *judge : judges) {
        p->cboProxyJudge->setEditText(QLatin1String(judge));
        p->cmdOpenPJ->click();
    }
    EXPECT_EQ(openedUrls, (QStringList{QStringLiteral("http://a.example/env"),
                                       QStringLiteral("http://judge.example/azenv.php"),
                                       QStringLiteral("https://b.example/")}));
}

TEST_F(WindowTest, SliderAndStartButton)
{
    for (int v : {1, 73, 100}) {
        p->sldBots->setValue(v);
        EXPECT_EQ(p->lblCount->text(), QString::number(v));
    }
    p->cmdStart->click(); // an empty list: nothing happens
    EXPECT_TRUE(p->cmdStart->isEnabled());
    EXPECT_FALSE(p->cmdAbort->isEnabled());
}

TEST_F(WindowTest, AVerificationClearsTheAnalysersTimeoutTotal)
{
    p->RunState.TimeoutCount = 9;
    p->RunState.BadCount = 4;
    Q_EMIT m->Run().verificationStarted();
    EXPECT_EQ(p->RunState.TimeoutCount, 0);
    EXPECT_EQ(p->RunState.BadCount, 4);
}

} // namespace
