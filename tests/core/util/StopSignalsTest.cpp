// The end signals as the front ends see them: counted one by one through the
// event loop, up to the number a watcher takes, with one watcher per program.
#include "util/StopSignals.h"

#include "support/EventLoop.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using util::TStopSignals;

QList<int> Counts(const QSignalSpy &spy)
{
    QList<int> counts;
    for (const QList<QVariant> &args : spy)
        counts.append(args.at(0).toInt());
    return counts;
}

TEST(StopSignalsTest, SignalsComingTogetherAreEachCountedUpToWhatIsTaken)
{
    TStopSignals watcher(3);
    QSignalSpy asked(&watcher, &TStopSignals::stopAsked);
    // Three at once before the loop runs: the bytes arrive in one read.
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_EQ(::raise(SIGHUP), 0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return asked.size() == 3; }));
    EXPECT_EQ(Counts(asked), (QList<int>{1, 2, 3}));
    EXPECT_EQ(watcher.Count(), 3);
}

TEST(StopSignalsTest, OneWatcherAtATimeAndTheNextTakesOverAfterIt)
{
    {
        TStopSignals first(2);
        TStopSignals second(2); // watches nothing while the first lives
        QSignalSpy firstAsked(&first, &TStopSignals::stopAsked);
        QSignalSpy secondAsked(&second, &TStopSignals::stopAsked);
        ASSERT_EQ(::raise(SIGINT), 0);
        ASSERT_TRUE(testsupport::waitUntil([&] { return firstAsked.size() == 1; }));
        testsupport::drainPosted();
        EXPECT_EQ(secondAsked.size(), 0);
        EXPECT_EQ(second.Count(), 0);
    }
    // The first one's end gave the signals back; a new watcher counts anew.
    TStopSignals next(1);
    QSignalSpy asked(&next, &TStopSignals::stopAsked);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return asked.size() == 1; }));
    EXPECT_EQ(Counts(asked), (QList<int>{1}));
}

} // namespace
