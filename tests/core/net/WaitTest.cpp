// The wait timer's countdown rules, run with a 1 ms tick.
#include "net/Wait.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include <vector>

using net::TWait;
using testsupport::waitUntil;

namespace {

struct WaitTimer : ::testing::Test
{
    void SetUp() override
    {
        W.SetInterval(1);
        W.OnWait = [this](TWait *, qint32 N) { Ticks.push_back(N); };
        W.OnTimeout = [this](TWait *S) {
            ++Timeouts;
            CaptionAtTimeout = S->Caption();
        };
    }
    TWait W;
    std::vector<qint32> Ticks;
    int Timeouts = 0;
    QString CaptionAtTimeout;
};

} // namespace

TEST(WaitReadCount, LeadingDigitsAfterSpaces)
{
    const struct
    {
        const char *Text;
        qint32 Count;
    } Cases[] = {
        {"8", 8},  {"  12abc", 12}, {"abc", 0}, {"", 0},     {"8 9", 8},
        {"-5", 0}, {"007", 7},      {"\t5", 0}, {"15x", 15}, {"99999999999999", 2147483647}};
    for (const auto &C : Cases)
        EXPECT_EQ(TWait::ReadCount(QString::fromLatin1(C.Text)), C.Count) << C.Text;
}

TEST(WaitDefaults, CreatedIdleWithSixtySeconds)
{
    TWait W;
    EXPECT_EQ(W.Caption(), QStringLiteral("60"));
    EXPECT_FALSE(W.Running());
    EXPECT_EQ(W.Interval(), TWait::DefaultInterval());
    const quint16 Saved = TWait::DefaultInterval();
    TWait::SetDefaultInterval(3);
    TWait Fast;
    EXPECT_EQ(Fast.Interval(), 3);
    TWait::SetDefaultInterval(Saved);
}

TEST_F(WaitTimer, TimesOutOnTheEighthTickAndShowsTheCountAgain)
{
    W.SetCaption(QStringLiteral("8"));
    W.Start();
    EXPECT_TRUE(W.Running());
    ASSERT_TRUE(waitUntil([&] { return Timeouts > 0; }));
    EXPECT_EQ(Ticks, (std::vector<qint32>{7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(Timeouts, 1);
    EXPECT_EQ(W.ModalResult(), 2);
    EXPECT_EQ(CaptionAtTimeout, QStringLiteral("8"));
    EXPECT_FALSE(W.Running());
}

TEST_F(WaitTimer, NoCountMeansFifteen)
{
    for (const char *Text : {"0", "", "abc"}) {
        Ticks.clear();
        Timeouts = 0;
        W.SetCaption(QString::fromLatin1(Text));
        W.Start();
        EXPECT_EQ(W.Caption(), QStringLiteral("15")) << Text;
        ASSERT_TRUE(waitUntil([&] { return Timeouts > 0; }));
        EXPECT_EQ(Ticks.size(), 15u) << Text;
        EXPECT_EQ(W.Caption(), QStringLiteral("15"));
    }
}

TEST_F(WaitTimer, OneSecondTimesOutOnTheFirstTick)
{
    W.SetCaption(QStringLiteral("1"));
    W.Start();
    ASSERT_TRUE(waitUntil([&] { return Timeouts > 0; }));
    EXPECT_EQ(Ticks, (std::vector<qint32>{0}));
}

TEST_F(WaitTimer, StopRestoresTheCountAndARestartRunsItInFull)
{
    W.SetCaption(QStringLiteral("8"));
    W.OnWait = [this](TWait *S, qint32 N) {
        Ticks.push_back(N);
        if (Ticks.size() == 5)
            S->Stop();
    };
    W.Start();
    ASSERT_TRUE(waitUntil([&] { return !W.Running(); }));
    EXPECT_EQ(W.Caption(), QStringLiteral("8"));
    EXPECT_EQ(W.ModalResult(), 1);
    EXPECT_EQ(Timeouts, 0);

    Ticks.clear();
    W.OnWait = [this](TWait *, qint32 N) { Ticks.push_back(N); };
    W.Start();
    ASSERT_TRUE(waitUntil([&] { return Timeouts > 0; }));
    EXPECT_EQ(Ticks.size(), 8u);
}

TEST_F(WaitTimer, StartWhileRunningTakesTheSecondsLeft)
{
    W.SetCaption(QStringLiteral("6"));
    W.OnWait = [this](TWait *S, qint32 N) {
        Ticks.push_back(N);
        if (Ticks.size() == 2)
            S->Start(); // "5" is shown: it becomes the initial count
    };
    W.Start();
    ASSERT_TRUE(waitUntil([&] { return Timeouts > 0; }));
    EXPECT_EQ(Ticks, (std::vector<qint32>{5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(CaptionAtTimeout, QStringLiteral("5"));
}

TEST_F(WaitTimer, TimeoutHandlerMayFreeTheTimer)
{
    auto *Owned = new TWait;
    Owned->SetInterval(1);
    Owned->SetCaption(QStringLiteral("2"));
    bool Fired = false;
    Owned->OnTimeout = [&](TWait *S) {
        Fired = true;
        delete S;
    };
    Owned->Start();
    ASSERT_TRUE(waitUntil([&] { return Fired; }));
}

TEST(WaitRestart, DataKeepsTheCountdownFullAndItRunsOutAWholeCountAfterTheLast)
{
    // Ticks of 50 ms, a count of 3; restarted every 20 ms for half a second,
    // as a run does with each piece of a page.
    TWait W;
    W.SetInterval(50);
    W.SetCaption(QStringLiteral("3"));
    std::vector<qint32> Ticks;
    int Timeouts = 0;
    W.OnWait = [&](TWait *, qint32 N) { Ticks.push_back(N); };
    W.OnTimeout = [&](TWait *) { ++Timeouts; };
    W.Start();
    QElapsedTimer Clock, SinceRestart;
    Clock.start();
    SinceRestart.start();
    QTimer Data;
    QObject::connect(&Data, &QTimer::timeout, [&] {
        if (Clock.elapsed() >= 500) {
            Data.stop();
            return;
        }
        W.Restart();
        SinceRestart.restart();
    });
    Data.start(20);
    ASSERT_TRUE(waitUntil([&] { return Timeouts > 0; }, 5000));
    const qint64 Quiet = SinceRestart.elapsed();
    // The whole count after the last restart: three ticks, 150 ms (a tick
    // may slip in while data came if this machine stalls the 20 ms timer).
    ASSERT_GE(Ticks.size(), 3u);
    EXPECT_EQ(std::vector<qint32>(Ticks.end() - 3, Ticks.end()), (std::vector<qint32>{2, 1, 0}));
    EXPECT_GE(Clock.elapsed(), 500 + 100);
    EXPECT_GE(Quiet, 140);
    EXPECT_EQ(W.Caption(), QStringLiteral("3"));
}
