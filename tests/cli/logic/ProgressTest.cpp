// The live progress line and the bots that fit in the open-file limit.
#include "Progress.h"
#include "FileLimit.h"

#include <gtest/gtest.h>

using namespace cli;

TEST(CliProgress, TheLiveLineShowsCountsRateAndTimeLeft)
{
    // 450 of 2000 after 10 s: 45 a second, 1550 left take 34 s.
    EXPECT_EQ(LiveLine({450, 2000, QStringLiteral("good 12  bad 30")}, 10000, 0, 200),
              QStringLiteral("[450 / 2000] 22%  good 12  bad 30  45.0/s  0:34 left"));
    // No rate before the first second or the first result.
    EXPECT_EQ(LiveLine({0, 10, {}}, 5000, 0, 200), QStringLiteral("[0 / 10] 0%"));
    EXPECT_EQ(LiveLine({3, 10, {}}, 500, 0, 200), QStringLiteral("[3 / 10] 30%"));
    // A harvest has no total: the time so far, and what is left of its duration.
    EXPECT_EQ(LiveLine({0, 0, QStringLiteral("pages 3")}, 83000, 300000, 200),
              QStringLiteral("1:23  pages 3  3:37 left"));
    EXPECT_EQ(LiveLine({0, 0, {}}, 83000, 0, 200), QStringLiteral("1:23"));
    // Never wider than the terminal, so that it redraws in place.
    EXPECT_EQ(LiveLine({450, 2000, QStringLiteral("good 12  bad 30")}, 10000, 0, 12).size(), 11);
    EXPECT_EQ(ClockText(3600 * 1000 + 61 * 1000), QStringLiteral("1:01:01"));
    EXPECT_EQ(ClockText(-5), QStringLiteral("0:00"));
}

TEST(CliProgress, BotsWithinTheOpenFileLimit)
{
    EXPECT_EQ(BotsWithin(20000, 4096), 4096);
    EXPECT_EQ(BotsWithin(1024, 4096), 1024 - SpareFiles);
    EXPECT_EQ(BotsWithin(1024, 100), 100);
    EXPECT_EQ(BotsWithin(10, 100), 1); // always one bot, or a run never ends
}
