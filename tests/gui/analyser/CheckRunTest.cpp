// The check run through the real analyser window, offscreen, against
// loopback proxies and a loopback judge, with the wait timer's tick
// shortened to milliseconds.
#include "AnalyserFixture.h"

#include "analyser/CheckRun.h"
#include "net/HttpProt.h"
#include "settings/IniFile.h"
#include "support/EventLoop.h"
#include "support/JudgePeer.h"
#include "support/RecordingProxy.h"
#include "support/RefusedPort.h"
#include "support/TestCertificates.h"
#include "support/Tinyproxy.h"
#include "support/TlsFront.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <optional>

using namespace analyser;
using testsupport::HttpRequest;
using testsupport::RecordingProxy;
using testsupport::Script;
using testsupport::waitUntil;

namespace {

class CheckRunTest : public AnalyserFixture
{
protected:
    void SetUp() override
    {
        AnalyserFixture::SetUp();
        p->show();
        p->Run().SetWaitInterval(50);
        p->txtTimeout->setText(QStringLiteral("10")); // 500 ms
        p->cboProxyJudge->setEditText(JudgeURL());
    }

    QString JudgeURL() const { return QString::fromLatin1(Judge.url("/judge")); }
    RecordingProxy *Forwarding(const QList<QByteArray> &headers = {})
    {
        auto *proxy = new RecordingProxy(&Peers);
        for (const QByteArray &h : headers)
            proxy->addForwardHeader(h);
        return proxy;
    }
    RecordingProxy *Answering(const Script &script)
    {
        auto *proxy = new RecordingProxy(&Peers);
        proxy->answerWith(script);
        return proxy;
    }
    // A proxy that hands the judge's page on after `ms` milliseconds.
    RecordingProxy *Slow(int ms)
    {
        auto *proxy = new RecordingProxy(&Peers);
        proxy->setResponder([ms](const HttpRequest &r) {
            return std::optional<Script>(Script().wait(ms).send(testsupport::judgeResponse(r)));
        });
        return proxy;
    }
    void Add(const QByteArray &address, qint32 state = psNone)
    {
        const qsizetype colon = address.indexOf(':');
        TProxyItem item;
        item.Host = address.left(colon);
        item.Port = address.mid(colon + 1);
        item.State = state;
        p->AnalyserList.push_back(item);
        p->ProxiesChanged();
    }
    bool WaitFinished(int ms = 10000)
    {
        return waitUntil([&] { return !p->Run().IsRunning(); }, ms);
    }
    // The run's clients once their deferred deletion has been processed.
    qsizetype LiveClients()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return p->Run().findChildren<net::THttpCli *>().size();
    }
    qsizetype Requests(const RecordingProxy *proxy) const { return proxy->requests().size(); }
    // The commands that change the list, which a run locks.
    std::vector<bool> ListCommandsEnabled() const
    {
        return {p->AddProxy1->isEnabled(),
                p->DeleteProxy1->isEnabled(),
                p->RemoveDuplicates1->isEnabled(),
                p->DeleteBadProxies1->isEnabled(),
                p->RetryBadProxies1->isEnabled(),
                p->RetryTimeouts1->isEnabled(),
                p->cmdOpen->isEnabled(),
                p->cmdRetry->isEnabled(),
                p->cmdExtractClipboard->isEnabled(),
                p->lstProxy->horizontalHeader()->sectionsClickable()};
    }
    std::vector<std::string> Texts(const QStringList &list) const
    {
        std::vector<std::string> out;
        for (const QString &s : list)
            out.push_back(s.toStdString());
        return out;
    }

    QObject Peers;
    testsupport::JudgePeer Judge;
};

const std::vector<bool> AllOn(10, true), AllOff(10, false);

TEST_F(CheckRunTest, TheStartButtonChecksEveryRowAndTheWindowShowsTheRun)
{
    testsupport::RefusedPort refused;
    Add(Forwarding()->address());
    Add(Forwarding({"Via: 1.0 proxy"})->address());
    Add(Answering(testsupport::serviceUnavailable())->address());
    Add(refused.address());
    Add(Answering(testsupport::silent())->address());
    p->sldBots->setValue(2);
    Select({3});
    QSignalSpy changed(p->lstProxy->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy resets(p->lstProxy->model(), &QAbstractItemModel::modelReset);
    QStringList shown;
    QObject::connect(p, &TfrmProxy::statusShown, p, [&](const QString &t) { shown << t; });

    QTest::mouseClick(p->cmdStart, Qt::LeftButton);
    EXPECT_TRUE(p->Run().IsRunning());
    EXPECT_EQ(p->Run().BotCount(), 2);
    EXPECT_FALSE(p->cmdStart->isEnabled());
    EXPECT_TRUE(p->cmdAbort->isEnabled());
    EXPECT_EQ(ListCommandsEnabled(), AllOff);
    EXPECT_EQ(p->prgStatus->maximum(), 5);
    EXPECT_EQ(p->prgStatus->value(), 0);
    // The new judge joined the items once; what is typed stays.
    ASSERT_EQ(p->cboProxyJudge->count(), 2);
    EXPECT_EQ(p->cboProxyJudge->itemText(1), JudgeURL());
    EXPECT_EQ(p->cboProxyJudge->currentText(), JudgeURL());
    p->cmdStart->click(); // a start while running is ignored
    EXPECT_EQ(p->Run().BotCount(), 2);

    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Field(&TProxyItem::Status),
              (Strings{"200 - OK", "200 - OK", "503 - Service Unavailable",
                       "404 - Connection refused (Error #10061)", "Timeout"}));
    EXPECT_EQ(Field(&TProxyItem::Anonymous), (Strings{"Yes", "Yes", "", "", ""}));
    EXPECT_EQ(Field(&TProxyItem::Level), (Strings{"1", "2", "", "", ""}));
    EXPECT_EQ(Field(&TProxyItem::RemoteAddr), (Strings{"127.0.0.1", "127.0.0.1", "", "", ""}));
    std::vector<qint32> states;
    for (const TProxyItem &item : p->AnalyserList)
        states.push_back(item.State);
    EXPECT_EQ(states, (std::vector<qint32>{psGood, psGood, psBad, psBad, psTimeout}));
    const Strings speeds = Field(&TProxyItem::Speed);
    for (int i : {0, 1}) {
        EXPECT_FALSE(speeds[size_t(i)].empty());
        EXPECT_EQ(speeds[size_t(i)].find_first_not_of("0123456789"), std::string::npos);
    }
    EXPECT_EQ(speeds[2] + speeds[3] + speeds[4], "");
    // What the view shows is what the list holds.
    const QAbstractItemModel *model = p->lstProxy->model();
    EXPECT_EQ(model->data(model->index(3, colStatus)).toString(),
              QStringLiteral("404 - Connection refused (Error #10061)"));
    EXPECT_EQ(model->data(model->index(1, colLevel)).toString(), QStringLiteral("2"));
    // Each check went into the history: a good row's first check is all good.
    EXPECT_EQ(model->data(model->index(1, colUptime)).toString(), QStringLiteral("100%"));
    EXPECT_EQ(model->data(model->index(3, colUptime)).toString(), QStringLiteral("0%"));
    // A status too long for its column is still readable whole in its tool tip.
    EXPECT_EQ(model->data(model->index(3, colStatus), Qt::ToolTipRole).toString(),
              QStringLiteral("404 - Connection refused (Error #10061)"));

    EXPECT_EQ(p->lblReply->text(), QStringLiteral("[Good=2] [Bad=2] [Timeouts=1] [Retries=0]"));
    EXPECT_EQ(Status(), "Finished");
    ASSERT_GE(shown.size(), 6);
    EXPECT_EQ(shown.first(), QStringLiteral("[1 / 5] - 20% Complete"));
    EXPECT_EQ(Texts(shown.mid(shown.size() - 2)), (Strings{"[5 / 5] - 100% Complete", "Finished"}));
    EXPECT_EQ(p->prgStatus->value(), 5);
    EXPECT_EQ(p->prgStatus->maximum(), 5);
    EXPECT_TRUE(p->cmdStart->isEnabled());
    EXPECT_FALSE(p->cmdAbort->isEnabled());
    EXPECT_EQ(ListCommandsEnabled(), AllOn);
    EXPECT_EQ(LiveClients(), 0);

    // Every changed row was redrawn, its own row only: at most once per
    // change (three per entry: its start, its result and its history
    // figures; changes within one frame are drawn once), no reset, and the
    // selection survived the run.
    EXPECT_EQ(resets.size(), 0);
    EXPECT_LE(changed.size(), 15);
    QSet<int> redrawn;
    for (const QList<QVariant> &args : changed) {
        const auto from = args[0].toModelIndex(), to = args[1].toModelIndex();
        EXPECT_EQ(from.row(), to.row());
        EXPECT_EQ(from.column(), 0);
        EXPECT_EQ(to.column(), AnalyserColumnCount - 1);
        redrawn << from.row();
    }
    EXPECT_EQ(redrawn, (QSet<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(p->lstProxy->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(p->lstProxy->selectionModel()->isRowSelected(3, {}));

    // Again with the same judge: not added twice. An empty timeout becomes
    // "8" at the start.
    p->AnalyserList.resize(2);
    p->ProxiesChanged();
    p->txtTimeout->clear();
    p->cmdStart->click();
    EXPECT_EQ(p->txtTimeout->text(), QStringLiteral("8"));
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(p->cboProxyJudge->count(), 2);
    EXPECT_EQ(p->lblReply->text(), QStringLiteral("[Good=2] [Bad=0] [Timeouts=0] [Retries=0]"));
    // The items compare case and all: the same address in capitals is new.
    const QString upper = JudgeURL().replace(QStringLiteral("/judge"), QStringLiteral("/JUDGE"));
    p->cboProxyJudge->setEditText(upper);
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    ASSERT_EQ(p->cboProxyJudge->count(), 3);
    EXPECT_EQ(p->cboProxyJudge->itemText(2), upper);
}

TEST_F(CheckRunTest, RetryCommandsCheckOnlyTheirStateAndCannotStartDuringARun)
{
    RecordingProxy *proxy = Forwarding();
    const qint32 states[] = {psBad, psGood, psTimeout, psUnknown, psTimeout};
    for (const qint32 s : states)
        Add(proxy->address(), s);
    p->AnalyserList[1].Status = "200 - OK";

    p->RetryTimeouts1->trigger();
    EXPECT_TRUE(p->Run().IsRunning());
    EXPECT_EQ(p->Run().BotCount(), 2);
    // Entries 0, 1 and 3 were skipped and already count toward the gauge.
    EXPECT_EQ(p->prgStatus->value(), 3);
    EXPECT_FALSE(p->RetryBadProxies1->isEnabled());
    p->RetryBadProxies1Click(); // reached all the same: ignored
    EXPECT_FALSE(p->RunState.RetryBadMode);
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Requests(proxy), 2);
    EXPECT_EQ(Field(&TProxyItem::Status), (Strings{"", "200 - OK", "200 - OK", "", "200 - OK"}));
    EXPECT_EQ(p->AnalyserList[3].State, psUnknown);
    EXPECT_EQ(p->prgStatus->value(), 5);
    EXPECT_EQ(Status(), "Finished");
    EXPECT_FALSE(p->RunState.RetryTimeoutMode); // cleared at the end

    // Nothing of the mode's state: no request, the gauge full, "Finished".
    p->AnalyserList[3].State = psGood;
    p->RetryUnknownProxies1->trigger();
    EXPECT_FALSE(p->Run().IsRunning());
    EXPECT_EQ(Requests(proxy), 2);
    EXPECT_EQ(p->prgStatus->value(), 5);
    EXPECT_EQ(Status(), "Finished");
    EXPECT_TRUE(p->cmdStart->isEnabled());
    EXPECT_FALSE(p->cmdAbort->isEnabled());
    EXPECT_FALSE(p->RunState.RetryUnknownMode);
}

TEST_F(CheckRunTest, AbortEndsTheRunWithWhatWasUnderWay)
{
    RecordingProxy *proxy = Slow(150);
    for (int i = 0; i < 5; ++i)
        Add(proxy->address());
    p->sldBots->setValue(2);
    p->cmdStart->click();
    QTest::mouseClick(p->cmdAbort, Qt::LeftButton);
    EXPECT_TRUE(p->Run().IsRunning()); // the two under way finish first
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Requests(proxy), 2);
    EXPECT_EQ(Field(&TProxyItem::Status), (Strings{"200 - OK", "200 - OK", "", "", ""}));
    EXPECT_EQ(Status(), "Finished");
    EXPECT_EQ(p->lblReply->text(), QStringLiteral("[Good=2] [Bad=0] [Timeouts=0] [Retries=0]"));
    EXPECT_TRUE(p->cmdStart->isEnabled());
    EXPECT_FALSE(p->cmdAbort->isEnabled());
    EXPECT_EQ(ListCommandsEnabled(), AllOn);

    // A proxy that keeps answering empty pages: Abort ends its repeats.
    p->AnalyserList.clear();
    Add(Answering(testsupport::emptyOk())->address());
    QObject::connect(&p->Run(), &TCheckRun::rowChanged, p, [&](int row) {
        if (p->AnalyserList[size_t(row)].Status == "Retrying" && p->cmdAbort->isEnabled())
            p->cmdAbort->click();
    });
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Field(&TProxyItem::Status), (Strings{"200 - OK"}));
    EXPECT_EQ(p->RunState.RetryCount, 1);
}

TEST_F(CheckRunTest, The503BoxAndTheOwnAddressApplyAtOnceDuringARun)
{
    p->sldBots->setValue(1);
    p->chkRetry->setChecked(true);
    Add(Answering(testsupport::serviceUnavailable())->address());
    RecordingProxy *forwarding = Forwarding();
    Add(forwarding->address());
    Add(forwarding->address());
    inputAnswer = QStringLiteral("127.0.0.1"); // what the judge sees the proxy come from
    QObject::connect(&p->Run(), &TCheckRun::rowChanged, p, [&](int row) {
        // The first repeat is under way: its answer is the last one asked.
        if (row == 0 && p->AnalyserList[0].Status == "Retrying")
            p->chkRetry->setChecked(false); // unticked while the run goes on
        if (row == 1 && p->AnalyserList[1].Status == "200 - OK")
            p->lblIPClick(); // the own address typed in during the run
    });

    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(p->lblIP->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Field(&TProxyItem::Status),
              (Strings{"503 - Service Unavailable", "200 - OK", "200 - OK"}));
    EXPECT_EQ(Field(&TProxyItem::Anonymous), (Strings{"", "Yes", "No"}));
    EXPECT_EQ(p->AnalyserList[2].State, psBad);
    EXPECT_EQ(p->lblReply->text(), QStringLiteral("[Good=1] [Bad=2] [Timeouts=0] [Retries=1]"));
}

TEST_F(CheckRunTest, ClosingTheAnalyserDuringARunStopsItThenWritesItsFiles)
{
    m->ProxyList = {{"127.0.0.1", "1"}};
    RecordingProxy *silent = Answering(testsupport::silent());
    for (int i = 0; i < 4; ++i)
        Add(silent->address());
    p->txtTimeout->setText(QStringLiteral("100"));
    p->cmdStart->click();
    ASSERT_TRUE(waitUntil([&] { return Requests(silent) == 4; }));

    ASSERT_TRUE(p->close());
    EXPECT_FALSE(p->Run().IsRunning());
    EXPECT_EQ(LiveClients(), 0);
    EXPECT_TRUE(p->AnalyserList.empty());
    EXPECT_EQ(p->lstProxy->model()->rowCount(), 0);
    EXPECT_TRUE(p->cmdStart->isEnabled());
    EXPECT_FALSE(p->cmdAbort->isEnabled());
    EXPECT_EQ(ListCommandsEnabled(), AllOn);
    EXPECT_TRUE(ReadFile(QStringLiteral("ProxyJudges.ini")).contains(Judge.url("/judge")));
    EXPECT_TRUE(ReadFile(QStringLiteral("Options.ini")).contains("Timeout=100\r\n"));
    // Nothing of the stopped run comes back later.
    testsupport::spinFor(300);
    EXPECT_EQ(Requests(silent), 4);
    EXPECT_TRUE(errors.isEmpty());

    // The next opening takes the main window's list over and checks anew.
    p->show();
    EXPECT_EQ(Proxies(), (Strings{"127.0.0.1:1"}));
    p->AnalyserList[0].Port = Forwarding()->address().mid(10);
    p->cmdStart->click();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Field(&TProxyItem::Status), (Strings{"200 - OK"}));
}

TEST_F(CheckRunTest, TheProgramEndsDuringARunWithoutTouchingTheGoneList)
{
    RecordingProxy *silent = Answering(testsupport::silent());
    for (int i = 0; i < 3; ++i)
        Add(silent->address());
    p->txtTimeout->setText(QStringLiteral("100"));
    p->cmdStart->click();
    ASSERT_TRUE(waitUntil([&] { return Requests(silent) == 3; }));

    // The main window's close ends the program: the analyser's run stops
    // with it, while the main window's files are written as always.
    m->close();
    EXPECT_FALSE(p->Run().IsRunning());
    EXPECT_EQ(LiveClients(), 0);
    EXPECT_TRUE(ReadFile(QStringLiteral("Options.ini")).contains("[Main]"));
    EXPECT_EQ(p->AnalyserList.size(), 3u); // its close handler does not run
    windows = gui::TWindows();
    p = nullptr;
    testsupport::spinFor(300); // the timeouts would have come by now

    // Destroyed in the middle of a run, without any close: the run goes
    // before the list it works on.
    windows = Start();
    p = windows.proxy.get();
    p->show();
    p->Run().SetWaitInterval(50);
    p->cboProxyJudge->setEditText(JudgeURL());
    RecordingProxy *slow = Slow(50);
    Add(slow->address());
    Add(silent->address());
    p->cmdStart->click();
    windows = gui::TWindows();
    p = nullptr;
    testsupport::spinFor(300);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(CheckRunTest, AnHttpsJudgesCertificateIsCheckedAsOptionsIniSays)
{
    ASSERT_FALSE(testsupport::Tinyproxy::program().isEmpty())
        << "tinyproxy is not installed: scripts/setup installs it, this suite needs it";
    const testsupport::TestCertificates &certs = testsupport::TestCertificates::shared();
    ASSERT_TRUE(certs.ok()) << certs.error().toStdString();
    testsupport::TlsFront front(Judge.port(), certs.selfSigned());
    testsupport::Tinyproxy proxy("127.0.0.1", {"ConnectPort " + QByteArray::number(front.port())});
    ASSERT_TRUE(proxy.started()) << proxy.error().toStdString();
    Add(proxy.address());
    p->cboProxyJudge->setEditText(QString::fromLatin1(front.url("/judge")));
    // The start asks the judge for the own address under the same rule.
    analyser::OwnAddressSources().askJudges = true;
    auto askedAndRun = [&] {
        return waitUntil([&] { return !p->StartPending() && !p->Run().IsRunning(); }, 10000);
    };

    p->cmdStart->click();
    ASSERT_TRUE(askedAndRun());
    EXPECT_EQ(Field(&TProxyItem::Status),
              Strings{"404 - TLS: certificate verify failed (self-signed certificate)"});
    EXPECT_EQ(p->lblIP->text(), QStringLiteral("192.0.2.10")); // the judge refused: this machine's

    // Switched off in the file: the next start takes the certificate.
    settings::TIniFile(dir.filePath(QStringLiteral("Options.ini")))
        .WriteString(QStringLiteral("Options"), QStringLiteral("VerifyCertificates"),
                     QStringLiteral("0"));
    p->cmdStart->click();
    ASSERT_TRUE(askedAndRun());
    EXPECT_EQ(Field(&TProxyItem::Status), Strings{"200 - OK"});
    EXPECT_EQ(p->lblIP->text(), QStringLiteral("127.0.0.1")); // as the judge saw the ask
}

} // namespace
