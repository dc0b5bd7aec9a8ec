// The own address of the real analyser window as a judge sees it, offscreen:
// the window and its bots connect from a loopback address of their own, and
// the loopback judge stands behind a NAT that shows that address as a public
// one. This machine's address is the fixture's 192.0.2.10.
#include "AnalyserFixture.h"

#include "analyser/CheckRun.h"
#include "analyser/JudgeFallback.h"
#include "analyser/OwnAddressProbe.h"
#include "support/EventLoop.h"
#include "support/JudgePeer.h"
#include "support/OriginServer.h"
#include "support/RecordingProxy.h"
#include "support/RefusedPort.h"

#include "support/LocationDbs.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace analyser;
using testsupport::RecordingProxy;
using testsupport::waitUntil;

namespace {

const QByteArray Local = "127.0.0.7";    // where the window's connections come from
const QByteArray Public = "203.0.113.7"; // what the judge sees behind the NAT
const QString Machine = QStringLiteral("192.0.2.10");
const QString NotReachable = QLatin1String(TOwnAddressProbe::JudgeNotReachableText);
const QString Asking = QLatin1String(TOwnAddressProbe::AskingJudgeText);

class OwnAddressTest : public AnalyserFixture
{
protected:
    void SetUp() override
    {
        AnalyserFixture::SetUp();
        OwnAddressSources().askJudges = true;
        Judge.translate(Local, Public);
        UseJudge(Judge.url("/judge"));
        p->txtTimeout->setText(QStringLiteral("10")); // 500 ms
        p->OwnAddressProbe().SetWaitInterval(50);
        p->OwnAddressProbe().SetLocalAddr(Local);
        p->Run().SetWaitInterval(50);
        p->Run().SetLocalAddr(Local);
        QObject::connect(p, &TfrmProxy::statusShown, p, [this](const QString &t) { shown << t; });
    }

    void UseJudge(const QByteArray &url)
    {
        p->cboProxyJudge->setEditText(QString::fromLatin1(url));
    }
    // A proxy that forwards to the judge, adding these header lines.
    RecordingProxy *Forwarding(const QList<QByteArray> &headers = {})
    {
        auto *proxy = new RecordingProxy(&Peers);
        for (const QByteArray &h : headers)
            proxy->addForwardHeader(h);
        return proxy;
    }
    void Add(const RecordingProxy *proxy, qint32 state = psNone)
    {
        TProxyItem item;
        item.Host = proxy->host();
        item.Port = QByteArray::number(proxy->port());
        item.State = state;
        p->AnalyserList.push_back(item);
        p->ProxiesChanged();
    }
    // The start has asked the judge, and the run it started has ended.
    bool WaitFinished()
    {
        return waitUntil([&] { return !p->StartPending() && !p->Run().IsRunning(); }, 10000);
    }
    bool WaitShown(const QString &address)
    {
        return waitUntil([&] { return p->lblIP->text() == address; });
    }
    // The requests that reached the judge directly, from the window.
    qsizetype DirectAsks() const
    {
        qsizetype n = 0;
        for (const testsupport::HttpRequest &r : Judge.requests())
            n += r.peerAddress == Local;
        return n;
    }

    QObject Peers;
    testsupport::JudgePeer Judge;
    QStringList shown;
};

TEST_F(OwnAddressTest, TheJudgesViewIsShownAndATransparentProxyIsNotAnonymous)
{
    p->show();
    EXPECT_EQ(p->lblIP->text(), Machine); // until the judge has answered
    ASSERT_TRUE(WaitShown(QString::fromLatin1(Public)));
    EXPECT_EQ(DirectAsks(), 1);
    // An answer says nothing more.
    EXPECT_EQ(Status(),
              (QStringLiteral("Loaded 0 Proxies") + testsupport::NoLocationNote()).toStdString());

    // Forwards the user's public address, as it reached the proxy.
    RecordingProxy *transparent = Forwarding({"X-Forwarded-For: " + Public});
    RecordingProxy *elite = Forwarding();
    RecordingProxy *anonymous = Forwarding({"Via: 1.0 proxy"});
    for (const RecordingProxy *proxy : {transparent, elite, anonymous})
        Add(proxy);

    // The start asks the judge again and waits for it before any proxy is
    // asked, standing as during a run meanwhile.
    QTest::mouseClick(p->cmdStart, Qt::LeftButton);
    EXPECT_TRUE(p->StartPending());
    EXPECT_FALSE(p->Run().IsRunning());
    EXPECT_FALSE(p->cmdStart->isEnabled());
    EXPECT_TRUE(p->cmdAbort->isEnabled());
    EXPECT_FALSE(p->AddProxy1->isEnabled());
    EXPECT_EQ(p->lblStatus->text(), Asking);
    p->cmdStartClick(); // a second start while waiting is ignored
    ASSERT_TRUE(waitUntil([&] { return p->Run().IsRunning(); }));
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(DirectAsks(), 2);
    EXPECT_EQ(transparent->requests().size(), 1);
    EXPECT_EQ(Field(&TProxyItem::Anonymous), (Strings{"No", "Yes", "Yes"}));
    EXPECT_EQ(Field(&TProxyItem::Level), (Strings{"", "1", "2"}));
    EXPECT_EQ(p->AnalyserList[0].State, psBad);
    EXPECT_EQ(p->lblReply->text(), QStringLiteral("[Good=2] [Bad=1] [Timeouts=0] [Retries=0]"));
    EXPECT_EQ(p->lblIP->text(), QString::fromLatin1(Public));
    EXPECT_EQ(Status(), "Finished");
    EXPECT_FALSE(shown.contains(NotReachable));
    EXPECT_TRUE(p->cmdStart->isEnabled());
    EXPECT_TRUE(p->AddProxy1->isEnabled());

    // Opened again: the list is taken over again, the judge is not asked.
    ASSERT_TRUE(p->close());
    p->show();
    testsupport::spinFor(100);
    EXPECT_EQ(DirectAsks(), 2);
}

TEST_F(OwnAddressTest, AnUnreachableJudgeLeavesThisMachinesAddressAndSaysSo)
{
    testsupport::RefusedPort refused;
    UseJudge(refused.url("/judge"));
    p->show();
    ASSERT_TRUE(waitUntil([&] { return Status() == NotReachable.toStdString(); }));
    EXPECT_EQ(p->lblIP->text(), Machine);

    // A judge that answered before: a start with one that does not goes
    // back to this machine's address, says so, and then runs.
    UseJudge(Judge.url("/judge"));
    Add(Forwarding());
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    ASSERT_EQ(p->lblIP->text(), QString::fromLatin1(Public));
    UseJudge(refused.url("/judge"));
    shown.clear();
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(p->lblIP->text(), Machine);
    ASSERT_GE(shown.size(), 4);
    EXPECT_EQ(shown[0], Asking);
    EXPECT_EQ(shown[1], NotReachable);
    EXPECT_EQ(shown.last(), QStringLiteral("Finished"));
    // The proxy could not reach the judge either: recorded as bad.
    EXPECT_EQ(p->AnalyserList[0].State, psBad);
}

// With the fallback on, a start whose judge gives no judge page takes the
// next judge of the list that does, and says so; the box keeps the choice.
// When no judge answers, nothing is checked.
TEST_F(OwnAddressTest, ADeadJudgeIsSteppedOverToTheNextOfTheList)
{
    p->SetJudgeFallback(true);
    testsupport::RefusedPort refused;
    p->cboProxyJudge->clear();
    p->cboProxyJudge->addItems(
        {QString::fromLatin1(refused.url("/judge")), QString::fromLatin1(Judge.url("/judge"))});
    UseJudge(refused.url("/judge"));
    RecordingProxy *proxy = Forwarding();
    Add(proxy);
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(shown.contains(QStringLiteral("Judge %1 not answering: using %2")
                                   .arg(QString::fromLatin1(refused.url("/judge")),
                                        QString::fromLatin1(Judge.url("/judge")))))
        << shown.join(u'|').toStdString();
    EXPECT_EQ(p->lblIP->text(), QString::fromLatin1(Public));
    EXPECT_EQ(Field(&TProxyItem::Level), Strings{"1"});
    EXPECT_EQ(p->cboProxyJudge->currentText(), QString::fromLatin1(refused.url("/judge")));
    EXPECT_EQ(p->cboProxyJudge->count(), 2);

    p->cboProxyJudge->removeItem(1);
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Status(), std::string(NoJudgeAnsweringText));
    EXPECT_EQ(proxy->requests().size(), 1); // the first start's only
    EXPECT_TRUE(p->cmdStart->isEnabled());
}

TEST_F(OwnAddressTest, ATypedAddressWinsOverEveryLaterStart)
{
    p->show();
    ASSERT_TRUE(WaitShown(QString::fromLatin1(Public)));
    inputAnswer = QStringLiteral("198.51.100.9");
    QTest::mouseClick(p->lblIP, Qt::LeftButton);
    EXPECT_EQ(p->lblIP->text(), inputAnswer);

    Add(Forwarding({"X-Forwarded-For: 198.51.100.9"}));
    Add(Forwarding({"X-Forwarded-For: " + Public})); // the user said otherwise
    p->cmdStart->click();
    EXPECT_TRUE(p->Run().IsRunning()); // nothing to wait for
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Field(&TProxyItem::Anonymous), (Strings{"No", "Yes"}));
    EXPECT_EQ(p->lblIP->text(), inputAnswer);
    EXPECT_EQ(DirectAsks(), 1); // only the first opening's
    EXPECT_FALSE(p->OwnAddressProbe().IsAsking());

    // Also when the window is opened again, and when the judge changes.
    ASSERT_TRUE(p->close());
    p->show();
    testsupport::RefusedPort refused;
    UseJudge(refused.url("/"));
    Add(Forwarding());
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(p->lblIP->text(), inputAnswer);
    EXPECT_FALSE(shown.contains(NotReachable));
}

TEST_F(OwnAddressTest, TypingWhileAStartWaitsStartsTheRunWithIt)
{
    testsupport::OriginServer silent;
    silent.setDefault(testsupport::silent());
    UseJudge(silent.url("/"));
    p->txtTimeout->setText(QStringLiteral("200")); // the ask would wait 10 s
    p->show();
    RecordingProxy *proxy = Forwarding();
    Add(proxy);
    p->cmdStart->click();
    ASSERT_TRUE(p->StartPending());
    inputAnswer = QStringLiteral("198.51.100.9");
    p->lblIPClick();
    EXPECT_FALSE(p->StartPending());
    EXPECT_TRUE(p->Run().IsRunning());
    EXPECT_EQ(p->lblIP->text(), inputAnswer);
    ASSERT_TRUE(waitUntil([&] { return proxy->requests().size() == 1; }));
    p->cmdAbortClick();
    p->StopCheckRun();
    EXPECT_FALSE(p->Run().IsRunning());
}

TEST_F(OwnAddressTest, APrivateAddressOfThisMachineOnAPageIsNotAnonymous)
{
    OwnAddressSources().interfaceAddresses = [] {
        return QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.1")),
                                   QHostAddress(QStringLiteral("192.168.1.20"))};
    };
    p->show();
    ASSERT_TRUE(WaitShown(QString::fromLatin1(Public)));
    // The user's private address forwarded, the public one shown in lblIP.
    Add(Forwarding({"X-Forwarded-For: 192.168.1.20"}));
    Add(Forwarding({"X-Forwarded-For: 192.168.1.200"})); // someone else's
    // Every page shows loopback: the proxies are on it, and it is no clue.
    Add(Forwarding());
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Field(&TProxyItem::Anonymous), (Strings{"No", "Yes", "Yes"}));
    EXPECT_EQ(Field(&TProxyItem::RemoteAddr), (Strings{"127.0.0.1", "127.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(p->AnalyserList[0].State, psBad);
}

TEST_F(OwnAddressTest, ClosingTheWindowDropsTheAskOfItsFirstOpening)
{
    testsupport::OriginServer silent;
    silent.setDefault(testsupport::silent());
    UseJudge(silent.url("/"));
    p->show();
    ASSERT_TRUE(p->OwnAddressProbe().IsAsking());
    ASSERT_TRUE(waitUntil([&] { return silent.requests().size() == 1; }));
    ASSERT_TRUE(p->close());
    EXPECT_FALSE(p->OwnAddressProbe().IsAsking());
    testsupport::spinFor(800); // past the ask's timeout: no answer shows up
    EXPECT_FALSE(shown.contains(NotReachable));
    EXPECT_EQ(p->lblIP->text(), Machine);

    // The ask never ended, so the next opening asks again, now with a judge
    // that answers.
    UseJudge(Judge.url("/judge"));
    p->show();
    ASSERT_TRUE(WaitShown(QString::fromLatin1(Public)));
    EXPECT_EQ(DirectAsks(), 1);

    // An ask still under way when the program ends goes with the window.
    UseJudge(silent.url("/"));
    ASSERT_TRUE(p->close());
    p->show();
    p->cmdStartClick(); // an empty list: nothing starts
    EXPECT_FALSE(p->StartPending());
    Add(Forwarding());
    p->cmdStartClick();
    ASSERT_TRUE(p->StartPending());
    windows = {};
    p = nullptr;
    testsupport::spinFor(100);
}

TEST_F(OwnAddressTest, AbortOrCloseWhileTheJudgeIsAskedStartsNoRun)
{
    testsupport::OriginServer silent;
    silent.setDefault(testsupport::silent());
    UseJudge(silent.url("/"));
    p->show();
    RecordingProxy *proxy = Forwarding();
    Add(proxy, psBad);

    p->RetryBadProxies1->trigger();
    ASSERT_TRUE(p->StartPending());
    EXPECT_TRUE(p->RunState.RetryBadMode);
    QTest::mouseClick(p->cmdAbort, Qt::LeftButton);
    EXPECT_FALSE(p->StartPending());
    EXPECT_FALSE(p->Run().IsRunning());
    EXPECT_FALSE(p->RunState.RetryBadMode); // the mode does not outlive the start
    EXPECT_TRUE(p->cmdStart->isEnabled());
    EXPECT_FALSE(p->cmdAbort->isEnabled());
    EXPECT_TRUE(p->RetryBadProxies1->isEnabled());
    EXPECT_EQ(Status(), "Finished");
    EXPECT_FALSE(p->OwnAddressProbe().IsAsking());

    // Closed while waiting: no run either, and the window's files written.
    p->cmdStart->click();
    ASSERT_TRUE(p->StartPending());
    ASSERT_TRUE(p->close());
    EXPECT_FALSE(p->StartPending());
    EXPECT_TRUE(ReadFile(QStringLiteral("Options.ini")).contains("Timeout=10\r\n"));
    testsupport::spinFor(800); // past the ask's timeout
    EXPECT_FALSE(p->Run().IsRunning());
    EXPECT_EQ(proxy->requests().size(), 0);

    // Left alone, the ask ends with its timeout and the run goes on with
    // this machine's address.
    p->show();
    Add(proxy);
    p->cmdStart->click();
    ASSERT_TRUE(p->StartPending());
    ASSERT_TRUE(waitUntil([&] { return p->Run().IsRunning(); }));
    EXPECT_EQ(p->lblIP->text(), Machine);
    EXPECT_TRUE(shown.contains(NotReachable));
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(proxy->requests().size(), 1);
}

} // namespace
