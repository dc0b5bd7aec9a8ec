// The check run end to end against loopback proxies and a loopback judge,
// with the wait timer's tick shortened to milliseconds.
#include "analyser/CheckRun.h"
#include "analyser/ProxyEntries.h"
#include "support/AnalyserPrinters.h"
#include "support/ConnectFaults.h"
#include "support/EventLoop.h"
#include "support/JudgePeer.h"
#include "support/RecordingProxy.h"
#include "support/RefusedPort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>

using namespace analyser;
using testsupport::HttpRequest;
using testsupport::JudgePeer;
using testsupport::RecordingProxy;
using testsupport::Script;
using testsupport::spinFor;
using testsupport::waitUntil;

namespace {

const QString Own = QStringLiteral("10.20.30.40");

QString Reply(int Good, int Bad, int Timeouts, int Retries)
{
    return QStringLiteral("[Good=%1] [Bad=%2] [Timeouts=%3] [Retries=%4]")
        .arg(Good)
        .arg(Bad)
        .arg(Timeouts)
        .arg(Retries);
}

// What a view, the labels and the buttons would have been told.
struct Recorder
{
    struct Row
    {
        int Index;
        QByteArray Status;
        qint32 State;
    };
    std::vector<Row> Rows; // with the entry's status and state when redrawn
    QStringList Replies, Statuses;
    std::vector<std::pair<int, int>> Progress;
    std::vector<bool> Running;
    int Repaints = 0, Finished = 0, Signals = 0;
    // Called on every redraw, after it was noted.
    std::function<void(const Row &)> OnRow;

    void Clear()
    {
        const int Keep = Signals;
        auto KeepOnRow = OnRow;
        *this = Recorder();
        Signals = Keep;
        OnRow = KeepOnRow;
    }
    void Attach(TCheckRun &R, const TAnalyserList &List)
    {
        auto on = [&](auto Signal, auto Fn) {
            QObject::connect(&R, Signal, &R, [this, Fn](auto... Args) {
                ++Signals;
                Fn(Args...);
            });
        };
        on(&TCheckRun::rowChanged, [this, &List](int I) {
            Rows.push_back({I, List[size_t(I)].Status.toByteArray(), List[size_t(I)].State});
            if (OnRow)
                OnRow(Rows.back());
        });
        on(&TCheckRun::replyChanged, [this](const QString &T) { Replies << T; });
        on(&TCheckRun::statusChanged, [this](const QString &T) { Statuses << T; });
        on(&TCheckRun::progressChanged, [this](int V, int M) { Progress.emplace_back(V, M); });
        on(&TCheckRun::runningChanged, [this](bool B) { Running.push_back(B); });
        on(&TCheckRun::repaintRequested, [this] { ++Repaints; });
        on(&TCheckRun::finished, [this] { ++Finished; });
    }
    // The statuses row I showed, in order.
    QList<QByteArray> RowTexts(int I) const
    {
        QList<QByteArray> Out;
        for (const Row &R : Rows) {
            if (R.Index == I)
                Out << R.Status;
        }
        return Out;
    }
};

class CheckRunTest : public ::testing::Test
{
protected:
    CheckRunTest()
    {
        Inputs.bots = 5;
        Inputs.timeout = QStringLiteral("4"); // 200 ms
        Inputs.judgeURL = QString::fromLatin1(Judge.url("/judge"));
        Inputs.judgeItems = {Inputs.judgeURL};
        Inputs.ownAddress = Own;
        Run = std::make_unique<TCheckRun>(List, State, Inputs);
        Run->SetWaitInterval(50);
        Rec.Attach(*Run, List);
    }

    // A proxy that forwards to the judge, adding these header lines.
    RecordingProxy *Forwarding(const QList<QByteArray> &Headers = {})
    {
        auto *P = new RecordingProxy(&Peers);
        for (const QByteArray &H : Headers)
            P->addForwardHeader(H);
        return P;
    }
    // A proxy that answers every request itself.
    RecordingProxy *Answering(const Script &S)
    {
        auto *P = new RecordingProxy(&Peers);
        P->answerWith(S);
        return P;
    }
    RecordingProxy *Responding(RecordingProxy::Responder R)
    {
        auto *P = new RecordingProxy(&Peers);
        P->setResponder(std::move(R));
        return P;
    }
    TProxyItem &Add(const QByteArray &Address, qint32 St = psNone)
    {
        const qsizetype Colon = Address.indexOf(':');
        List.push_back(TProxyItem{Address.left(Colon), Address.mid(Colon + 1)});
        List.back().State = St;
        return List.back();
    }
    // An entry with every result field set by an earlier check.
    TProxyItem &AddChecked(const QByteArray &Address)
    {
        TProxyItem &E = Add(Address, psTimeout);
        E.Status = E.RemoteAddr = E.Anonymous = E.Level = E.Speed = "old";
        return E;
    }
    bool WaitFinished(int Ms = 10000)
    {
        return waitUntil([&] { return Rec.Finished > 0; }, Ms);
    }

    QObject Peers;
    JudgePeer Judge;
    TAnalyserList List;
    TCheckRunState State;
    TCheckInputValues Inputs;
    std::unique_ptr<TCheckRun> Run;
    Recorder Rec;
};

bool IsMilliseconds(const TCompactBytes &Speed)
{
    bool Ok = false;
    Speed.toByteArray().toUInt(&Ok);
    return Ok;
}

} // namespace

TEST_F(CheckRunTest, BotsAreTheSmallerOfSliderAndEntriesAndTakeEntriesInOrder)
{
    RecordingProxy *Proxy = Forwarding();
    // A hundred connections at once overflow the peers' listen queues, and a
    // dropped connect is tried again only after a second.
    Inputs.timeout = QStringLiteral("100");
    const struct
    {
        int Entries, Slider, Bots;
    } Cases[] = {{3, 15, 3}, {12, 2, 2}, {4, 0, 1}, {4, 1, 1}, {120, 500, 100}};
    for (const auto &C : Cases) {
        SCOPED_TRACE(testing::Message() << C.Entries << " entries, slider " << C.Slider);
        List.clear();
        Rec.Clear();
        for (int I = 0; I < C.Entries; ++I)
            Add(Proxy->address());
        Inputs.bots = C.Slider;
        const auto Before = Proxy->requests().size();
        ASSERT_TRUE(Run->Start());
        EXPECT_EQ(Run->BotCount(), C.Bots);
        EXPECT_EQ(Run->LiveBotCount(), C.Bots);
        ASSERT_TRUE(WaitFinished());

        std::vector<int> Order;
        for (const auto &R : Rec.Rows) {
            if (R.Status == "Analyzing")
                Order.push_back(R.Index);
        }
        ASSERT_EQ(Order.size(), size_t(C.Entries));
        for (int I = 0; I < C.Entries; ++I)
            EXPECT_EQ(Order[size_t(I)], I);
        if (C.Bots == 1) {
            // One after the other: each entry is recorded before the next starts.
            for (size_t I = 0; I < Rec.Rows.size(); ++I) {
                EXPECT_EQ(Rec.Rows[I].Index, int(I / 2));
                EXPECT_EQ(Rec.Rows[I].Status, I % 2 ? "200 - OK" : "Analyzing");
            }
        }
        for (const TProxyItem &E : List) {
            EXPECT_EQ(E.Status, "200 - OK");
            EXPECT_EQ(E.State, psGood);
            EXPECT_EQ(E.Anonymous, "Yes");
            EXPECT_EQ(E.Level, "1"); // no proxy header: the judge's top level
            EXPECT_EQ(E.RemoteAddr, "127.0.0.1");
            EXPECT_TRUE(IsMilliseconds(E.Speed)) << E.Speed.toStdString();
        }
        EXPECT_EQ(Proxy->requests().size() - Before, C.Entries);
        EXPECT_EQ(Proxy->requests().last().target, Judge.url("/judge"));
        EXPECT_EQ(Rec.Replies.last(), Reply(C.Entries, 0, 0, 0));
        EXPECT_EQ(Rec.Statuses.last(), QStringLiteral("Finished"));
        EXPECT_EQ(Rec.Repaints, 1);
        EXPECT_EQ(Rec.Running, (std::vector<bool>{true, false}));
        EXPECT_FALSE(Run->IsRunning());
        EXPECT_EQ(Run->LiveBotCount(), 0);
    }
}

TEST_F(CheckRunTest, EachOutcomeIsRecordedInItsRow)
{
    testsupport::RefusedPort Refused;
    AddChecked(Forwarding()->address());                                       // elite
    AddChecked(Forwarding({"Via: 1.0 proxy"})->address());                     // anonymous
    AddChecked(Forwarding({"X-Forwarded-For: " + Own.toLatin1()})->address()); // transparent
    AddChecked(Answering(Script::response(404, "Not Found", {}, "<html>no</html>"))->address());
    AddChecked(Refused.address());
    AddChecked(Answering(Script::response(200, "OK", {}, "<html>hello</html>"))->address());
    const struct
    {
        const char *Status, *RemoteAddr, *Anonymous, *Level;
        qint32 State;
        bool NewSpeed;
    } Want[] = {
        {"200 - OK", "127.0.0.1", "Yes", "1", psGood, true},
        {"200 - OK", "127.0.0.1", "Yes", "2", psGood, true},
        {"200 - OK", "127.0.0.1", "No", "old", psBad, true}, // the level is kept
        {"404 - Not Found", "old", "old", "old", psBad, false},
        {"404 - Connection refused (Error #10061)", "old", "old", "old", psBad, false},
        {"200 - OK", "Unknown", "Yes", "Unknown", psUnknown, true},
    };

    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    for (size_t I = 0; I < List.size(); ++I) {
        SCOPED_TRACE(I);
        const TProxyItem &E = List[I];
        EXPECT_EQ(E.Status, Want[I].Status);
        EXPECT_EQ(E.RemoteAddr, Want[I].RemoteAddr);
        EXPECT_EQ(E.Anonymous, Want[I].Anonymous);
        EXPECT_EQ(E.Level, Want[I].Level);
        EXPECT_EQ(E.State, Want[I].State);
        if (Want[I].NewSpeed) {
            EXPECT_TRUE(IsMilliseconds(E.Speed)) << E.Speed.toStdString();
        } else {
            EXPECT_EQ(E.Speed, "old");
        }
        EXPECT_EQ(Rec.RowTexts(int(I)).first(), "Analyzing");
        EXPECT_EQ(Rec.RowTexts(int(I)).size(), 2);
    }
    EXPECT_EQ(State.GoodCount, 3);
    EXPECT_EQ(State.BadCount, 3);
    EXPECT_EQ(Rec.Replies.last(), Reply(3, 3, 0, 0));
    EXPECT_EQ(Rec.Replies.size(), 6);
    EXPECT_TRUE(Rec.Statuses.contains(QStringLiteral("[1 / 6] - 16% Complete")));
    EXPECT_EQ(Rec.Statuses.mid(Rec.Statuses.size() - 2),
              (QStringList{QStringLiteral("[6 / 6] - 100% Complete"), QStringLiteral("Finished")}));
    EXPECT_EQ(Rec.Progress.front(), std::make_pair(0, 6));
    EXPECT_EQ(Rec.Progress.back(), std::make_pair(6, 6));
}

TEST_F(CheckRunTest, RowsWithoutAProxyAddressNeverReachTheJudge)
{
    Inputs.bots = 1;
    RecordingProxy *Proxy = Forwarding();
    // As a proxy file gives them: no host, no colon, port 0, a port too large,
    // a host no machine can have.
    AppendFileLines(List, ":8080\r\n8080\r\n1.2.3.4:0\r\n" + Proxy->address() +
                              "\r\n1.2.3.4:99999\r\nb\xc3\xbc"
                              "cher.example:8080\r\n");
    ASSERT_EQ(List.size(), 6u);
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    for (const size_t I : {0, 1, 2, 4, 5}) {
        SCOPED_TRACE(I);
        EXPECT_EQ(List[I].Status, "No proxy address");
        EXPECT_EQ(List[I].State, psBad);
        EXPECT_EQ(Rec.RowTexts(int(I)), QList<QByteArray>{"No proxy address"}); // never fetched
    }
    EXPECT_EQ(List[3].State, psGood);
    EXPECT_EQ(Proxy->requests().size(), 1);
    EXPECT_EQ(Judge.requests().size(), 1); // the one through the proxy
    EXPECT_EQ(Rec.Replies.last(), Reply(1, 5, 0, 0));
    EXPECT_EQ(Rec.Progress.back(), std::make_pair(6, 6));

    // A pasted row alone: no bot, no request, the run ends at once.
    List = {};
    Rec.Clear();
    AppendClipboardLines(List, " :3128 \n");
    ASSERT_TRUE(Run->Start());
    EXPECT_FALSE(Run->IsRunning());
    EXPECT_EQ(List[0].Status, "No proxy address");
    EXPECT_EQ(Rec.Statuses,
              (QStringList{QStringLiteral("[1 / 1] - 100% Complete"), QStringLiteral("Finished")}));
    spinFor(50);
    EXPECT_EQ(Judge.requests().size(), 1);
}

TEST_F(CheckRunTest, TimeoutsAreRecordedAndAPartialPageIsNotJudgedForTheNextEntry)
{
    Inputs.bots = 1;
    Inputs.timeout = QStringLiteral("2"); // 100 ms
    // Starts a page that would show the own address, then stalls.
    AddChecked(
        Answering(
            Script().send("HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR=" + Own.toLatin1() + "\n").keepOpen())
            ->address());
    Add(Forwarding()->address());
    AddChecked(Answering(testsupport::silent())->address());
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    for (const size_t I : {size_t(0), size_t(2)}) {
        EXPECT_EQ(List[I].Status, "Timeout");
        EXPECT_EQ(List[I].State, psTimeout);
        EXPECT_EQ(List[I].Speed, "old"); // only a 200 answer writes it
        EXPECT_EQ(List[I].RemoteAddr, "old");
    }
    EXPECT_EQ(List[1].State, psGood);
    EXPECT_EQ(List[1].Anonymous, "Yes");
    EXPECT_EQ(Rec.Replies.last(), Reply(1, 0, 2, 0));
}

TEST_F(CheckRunTest, EmptyAndBusyAnswersAreAskedAgainUntilThePageComes)
{
    Inputs.bots = 1;
    Inputs.retry503 = true;
    Inputs.timeout = QStringLiteral("20"); // 1 s
    int Calls = 0;
    // An empty 200, then a 503 (both slow), then the page after 100 ms.
    Add(Responding([&](const HttpRequest &R) -> std::optional<Script> {
            ++Calls;
            if (Calls == 1)
                return Script().wait(400).send("HTTP/1.0 200 OK\r\n\r\n");
            if (Calls == 2)
                return testsupport::serviceUnavailable();
            return Script().wait(100).send(testsupport::judgeResponse(R));
        })->address());
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Calls, 3);
    EXPECT_EQ(Rec.RowTexts(0),
              (QList<QByteArray>{"Analyzing", "Retrying", "Retrying", "200 - OK"}));
    EXPECT_EQ(Rec.Rows[1].State, psUnknown);
    EXPECT_EQ(List[0].State, psGood);
    // A retry shows the totals before it is counted.
    EXPECT_EQ(Rec.Replies, (QStringList{Reply(0, 0, 0, 0), Reply(0, 0, 0, 1), Reply(1, 0, 0, 2)}));
    EXPECT_EQ(Run->Progress(), 1); // a repeat does not advance the gauge
    // Only the last attempt is timed.
    const uint Speed = List[0].Speed.toByteArray().toUInt();
    EXPECT_GE(Speed, 100u);
    EXPECT_LT(Speed, 400u);

    // Without the option a 503 is a bad answer.
    Inputs.retry503 = false;
    List = {};
    Rec.Clear();
    RecordingProxy *Busy = Answering(testsupport::serviceUnavailable());
    Add(Busy->address());
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(List[0].Status, "503 - Service Unavailable");
    EXPECT_EQ(List[0].State, psBad);
    EXPECT_EQ(Busy->requests().size(), 1);
    EXPECT_EQ(Rec.Replies.last(), Reply(0, 1, 0, 0));
}

TEST_F(CheckRunTest, TheOptionAndTheOwnAddressAreReadAtEveryCompletion)
{
    Inputs.bots = 1;
    Inputs.retry503 = true;
    Add(Answering(testsupport::serviceUnavailable())->address());
    RecordingProxy *Transparent = Forwarding({"X-Forwarded-For: " + Own.toLatin1()});
    Add(Transparent->address());
    Add(Transparent->address());
    Rec.OnRow = [&](const Recorder::Row &R) {
        if (R.Index == 0 && R.Status == "Retrying")
            Inputs.retry503 = false; // unticked while the run goes on
        if (R.Index == 1 && R.Status == "200 - OK")
            Inputs.ownAddress = QStringLiteral("10.99.99.99"); // typed in during the run
    };
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(List[0].Status, "503 - Service Unavailable");
    EXPECT_EQ(State.RetryCount, 1);
    EXPECT_EQ(List[1].Anonymous, "No");
    EXPECT_EQ(List[2].Anonymous, "Yes");
    EXPECT_EQ(List[2].Level, "3");
}

TEST_F(CheckRunTest, AbortRecordsWhatIsUnderWayAndAsksNothingAgain)
{
    Inputs.bots = 2;
    RecordingProxy *Slow = Responding([](const HttpRequest &R) {
        return std::optional<Script>(Script().wait(150).send(testsupport::judgeResponse(R)));
    });
    for (int I = 0; I < 5; ++I)
        Add(Slow->address());
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(waitUntil([&] { return Slow->requests().size() == 2; }));
    Run->Abort();
    EXPECT_TRUE(Run->IsRunning());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(List[0].State, psGood);
    EXPECT_EQ(List[1].State, psGood);
    for (size_t I = 2; I < 5; ++I) {
        EXPECT_EQ(List[I].State, psNone);
        EXPECT_EQ(List[I].Status, "");
    }
    EXPECT_EQ(Slow->requests().size(), 2);
    EXPECT_EQ(Rec.Statuses.last(), QStringLiteral("Finished"));

    // A proxy that always answers empty: Abort ends its repeats, and the last
    // answer is judged as it is.
    List = {};
    Rec.Clear();
    Inputs.bots = 1;
    Add(Answering(testsupport::emptyOk())->address());
    Rec.OnRow = [&](const Recorder::Row &R) {
        if (R.Status == "Retrying")
            Run->Abort();
    };
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    Rec.OnRow = nullptr;
    EXPECT_EQ(State.RetryCount, 1);
    EXPECT_EQ(List[0].Status, "200 - OK");
    EXPECT_EQ(List[0].State, psUnknown);
    EXPECT_EQ(List[0].RemoteAddr, "Unknown");
    EXPECT_EQ(State.GoodCount, 1);

    // One that never answers: Abort, then its timeout ends the run.
    List = {};
    Rec.Clear();
    Add(Answering(testsupport::silent())->address());
    ASSERT_TRUE(Run->Start());
    Run->Abort();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(List[0].Status, "Timeout");
    EXPECT_EQ(Rec.Replies.last(), Reply(0, 0, 1, 0));
}

TEST_F(CheckRunTest, OnceABotFoundNoEntryLeftTheOthersNoLongerAskAgain)
{
    Inputs.bots = 2;
    Inputs.timeout = QStringLiteral("20"); // 1 s
    Add(Forwarding()->address());
    RecordingProxy *LateEmpty =
        Answering(Script().wait(300).send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"));
    Add(LateEmpty->address());
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(LateEmpty->requests().size(), 1);
    EXPECT_EQ(List[1].Status, "200 - OK");
    EXPECT_EQ(List[1].State, psUnknown);
    EXPECT_EQ(State.RetryCount, 0);
}

TEST_F(CheckRunTest, RetryModesCheckOnlyTheirStateAndSkippedEntriesFillTheGauge)
{
    RecordingProxy *Proxy = Forwarding();
    const qint32 States[] = {psBad, psGood, psTimeout, psBad, psUnknown, psGood, psBad};
    auto Fill = [&] {
        List = {};
        Rec.Clear();
        for (const qint32 S : States)
            AddChecked(Proxy->address()).State = S;
    };
    auto Checked = [&] {
        std::vector<int> Out;
        for (const auto &R : Rec.Rows) {
            if (R.Status == "Analyzing")
                Out.push_back(R.Index);
        }
        return Out;
    };
    for (const int Bots : {5, 1}) {
        SCOPED_TRACE(Bots);
        Inputs.bots = Bots;
        Fill();
        State.RetryBadMode = true;
        ASSERT_TRUE(Run->Start());
        EXPECT_EQ(Run->BotCount(), Bots == 5 ? 3 : 1);
        ASSERT_TRUE(WaitFinished());
        EXPECT_EQ(Checked(), (std::vector<int>{0, 3, 6}));
        EXPECT_EQ(List[1].Status, "old");
        EXPECT_EQ(List[2].State, psTimeout);
        EXPECT_EQ(Rec.Progress.back(), std::make_pair(7, 7));
        EXPECT_EQ(
            Rec.Statuses.mid(Rec.Statuses.size() - 2),
            (QStringList{QStringLiteral("[7 / 7] - 100% Complete"), QStringLiteral("Finished")}));
        EXPECT_FALSE(State.RetryBadMode);
    }

    // Skipped entries after the last one checked still fill the gauge.
    Fill();
    State.RetryUnknownMode = true;
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Checked(), (std::vector<int>{4}));
    EXPECT_EQ(Run->Progress(), 7);

    // With several modes the first of bad, timeouts, unknown applies.
    Fill();
    State.RetryTimeoutMode = State.RetryUnknownMode = true;
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Checked(), (std::vector<int>{2}));
    EXPECT_FALSE(State.RetryTimeoutMode || State.RetryUnknownMode);

    // Nothing of the state: no request, the gauge full, finished at once.
    Fill();
    List[4].State = psGood;
    State.RetryUnknownMode = true;
    const auto Before = Proxy->requests().size();
    ASSERT_TRUE(Run->Start());
    EXPECT_FALSE(Run->IsRunning());
    EXPECT_EQ(Rec.Finished, 1);
    EXPECT_EQ(Rec.Statuses, QStringList{QStringLiteral("Finished")});
    EXPECT_EQ(Rec.Progress.back(), std::make_pair(7, 7));
    EXPECT_EQ(Rec.Running, (std::vector<bool>{true, false}));
    EXPECT_FALSE(State.RetryUnknownMode);
    spinFor(50);
    EXPECT_EQ(Proxy->requests().size(), Before);

    // A mode set while a run goes on does not change that run.
    Fill();
    ASSERT_TRUE(Run->Start());
    State.RetryBadMode = true;
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Checked().size(), 7u);
    EXPECT_FALSE(State.RetryBadMode);

    // An empty list starts nothing and leaves the mode set.
    List = {};
    State.RetryBadMode = true;
    EXPECT_FALSE(Run->Start());
    EXPECT_TRUE(State.RetryBadMode);
}

TEST_F(CheckRunTest, StartReadsItsInputsOnceAndNeverOverlaps)
{
    const int SignalsBefore = Rec.Signals;
    EXPECT_FALSE(Run->Start()); // empty list
    EXPECT_EQ(Rec.Signals, SignalsBefore);

    RecordingProxy *Slow = Responding([](const HttpRequest &R) {
        return std::optional<Script>(Script().wait(100).send(testsupport::judgeResponse(R)));
    });
    Add(Slow->address());
    const QString Url = Inputs.judgeURL;
    QString Upper = Url;
    Upper.replace(QStringLiteral("http"), QStringLiteral("HTTP"));
    const struct
    {
        QStringList Items, After;
    } Cases[] = {
        {{}, {Url}},
        {{Url}, {Url}},
        {{QStringLiteral("http://judge.example/"), Url},
         {QStringLiteral("http://judge.example/"), Url}},
        {{Upper}, {Upper, Url}}, // the same address in other letters is another item
    };
    for (const auto &C : Cases) {
        Inputs.judgeItems = C.Items;
        Inputs.timeout.clear();
        Rec.Clear();
        ASSERT_TRUE(Run->Start());
        EXPECT_EQ(Inputs.judgeItems, C.After);
        EXPECT_EQ(Inputs.timeout, QStringLiteral("8"));
        EXPECT_FALSE(Run->Start()); // ignored while running
        EXPECT_EQ(Run->BotCount(), 1);
        ASSERT_TRUE(WaitFinished());
        EXPECT_EQ(Rec.Running, (std::vector<bool>{true, false}));
    }
    EXPECT_EQ(Slow->requests().size(), 4);
}

TEST_F(CheckRunTest, AProxyThatSendsMoreThanAnyJudgeIsCutOffAndTheRunGoesOn)
{
    Inputs.bots = 1;
    Inputs.timeout = QStringLiteral("200"); // 10 s: the cap, not the timer, ends it
    Add(Answering(testsupport::endlessBody())->address());
    Add(Forwarding()->address());
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished(20000));
    EXPECT_EQ(List[0].Status, TCheckRun::PageTooLargeStatus);
    EXPECT_EQ(List[0].State, psBad);
    EXPECT_EQ(List[1].State, psGood);
    EXPECT_EQ(Rec.Replies.last(), Reply(1, 1, 0, 0));
}

TEST_F(CheckRunTest, AnEntryWithoutALocalPortWaitsForOneAndAnAbsentLocalAddressEnds)
{
    RecordingProxy *Proxy = Forwarding();
    for (int I = 0; I < 5; ++I)
        Add(Proxy->address());
    Inputs.bots = 4;
    {
        // No local port for the first three connections: their entries are
        // asked again once another request has ended, and come out good.
        testsupport::ConnectFaults NoPort(Proxy->port(), 3, EADDRNOTAVAIL);
        ASSERT_TRUE(Run->Start());
        ASSERT_TRUE(WaitFinished());
        EXPECT_EQ(NoPort.failed(), 3);
    }
    for (const TProxyItem &E : List)
        EXPECT_EQ(E.State, psGood) << E.Status.toStdString();
    EXPECT_EQ(Rec.Replies.last(), Reply(5, 0, 0, 0));
    EXPECT_EQ(Proxy->requests().size(), 5);

    // A local address that this machine does not have fails the same way
    // every time: no port can come free, so each entry is recorded bad with
    // the error and the run ends.
    Rec.Clear();
    Run->SetLocalAddr("192.0.2.1");
    ASSERT_TRUE(Run->Start());
    ASSERT_TRUE(WaitFinished());
    for (const TProxyItem &E : List) {
        EXPECT_EQ(E.State, psBad);
        EXPECT_TRUE(E.Status.view().contains("10049")) << E.Status.toStdString();
    }
    EXPECT_EQ(Rec.Replies.last(), Reply(0, 5, 0, 0));
    EXPECT_EQ(Proxy->requests().size(), 5);
}

// Closing the window (or the program) during a run, in each of its phases:
// the run stops at once, sends nothing more, and never touches the freed list.
TEST(CheckRunShutdown, StopsEveryClientInEveryPhase)
{
    enum Phase { Connecting, Waiting, Stopping, InsideARowRedraw, InsideARetry, Destroyed };
    for (const Phase P :
         {Connecting, Waiting, Stopping, InsideARowRedraw, InsideARetry, Destroyed}) {
        SCOPED_TRACE(int(P));
        JudgePeer Judge;
        RecordingProxy Silent, Empty, Good;
        Silent.answerWith(testsupport::silent());
        Empty.answerWith(testsupport::emptyOk());
        auto List = std::make_unique<TAnalyserList>();
        for (int I = 0; I < 3; ++I) {
            List->push_back(TProxyItem{"127.0.0.1", QByteArray::number(Silent.port())});
            List->push_back(TProxyItem{"127.0.0.1", QByteArray::number(Empty.port())});
            List->push_back(TProxyItem{"127.0.0.1", QByteArray::number(Good.port())});
        }
        TCheckRunState State;
        TCheckInputValues Inputs;
        Inputs.bots = 4;
        Inputs.timeout = QStringLiteral("2");
        Inputs.judgeURL = QString::fromLatin1(Judge.url("/"));
        auto Run = std::make_unique<TCheckRun>(*List, State, Inputs);
        Run->SetWaitInterval(50);
        Recorder Rec;
        Rec.Attach(*Run, *List);
        if (P == InsideARowRedraw || P == InsideARetry) {
            const QByteArray At = P == InsideARowRedraw ? "200 - OK" : "Retrying";
            Rec.OnRow = [&Run, At](const Recorder::Row &R) {
                if (R.Status == At)
                    Run->Shutdown();
            };
        }

        ASSERT_TRUE(Run->Start());
        if (P == Waiting || P == Stopping) {
            ASSERT_TRUE(waitUntil([&] { return Silent.requests().size() >= 2; }));
        }
        if (P == Stopping)
            Run->Abort();
        if (P == InsideARowRedraw || P == InsideARetry) {
            ASSERT_TRUE(waitUntil([&] { return !Run->IsRunning(); }));
        } else if (P == Destroyed) {
            Run.reset();
        } else {
            Run->Shutdown();
        }

        if (Run) {
            EXPECT_FALSE(Run->IsRunning());
            EXPECT_EQ(Run->LiveBotCount(), 0);
        }
        const int SignalsAfter = Rec.Signals;
        List.reset(); // the window frees its list
        spinFor(250); // answers, completions and timer ticks would arrive now
        EXPECT_EQ(Rec.Signals, SignalsAfter);
        EXPECT_EQ(Rec.Finished, 0);
        EXPECT_FALSE(State.StopRequested);

        // The run state left behind serves the next run.
        if (Run) {
            TAnalyserList Next{TProxyItem{"127.0.0.1", QByteArray::number(Good.port())}};
            TCheckRun Again(Next, State, Inputs);
            ASSERT_TRUE(Again.Start());
            ASSERT_TRUE(waitUntil([&] { return !Again.IsRunning(); }));
            EXPECT_EQ(Next[0].State, psGood);
        }
    }
}
