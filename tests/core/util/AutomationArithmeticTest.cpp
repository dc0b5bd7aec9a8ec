#include "support/EventLoop.h"
#include "util/Automation.h"
#include "util/PeriodTimer.h"

#include <gtest/gtest.h>

namespace {

TEST(AutomationArithmeticTest, CountdownTextsAndPeriods)
{
    const std::pair<qint32, const char *> texts[] = {
        {1799, "00:29:59"},   {0, "00:00:00"},       {-1, "00:00:-01"},    {-61, "00:-01:-01"},
        {-3600, "-01:00:00"}, {360000, "100:00:00"}, {359999, "99:59:59"}, {45296, "12:34:56"},
    };
    for (const auto &[seconds, text] : texts)
        EXPECT_EQ(util::CountdownText(seconds), QLatin1String(text)) << seconds;

    EXPECT_EQ(util::TimeToMS(0, 30, 0), 1800000);
    EXPECT_EQ(util::TimeToMS(1, 2, 3), 3723000);
    EXPECT_EQ(util::TimeToMS(0, 0, -5), -5000);
    // 1000 hours do not fit in 32 bits: the value wraps as 32-bit arithmetic does.
    EXPECT_EQ(util::TimeToMS(1000, 0, 0), static_cast<qint32>(3600000000u));
}

TEST(AutomationArithmeticTest, EditsMustHoldIntegers)
{
    qint32 v = 0;
    QString error;
    EXPECT_TRUE(util::ParseIntegerEdit(QStringLiteral("30"), v, error));
    EXPECT_EQ(v, 30);
    EXPECT_TRUE(util::ParseIntegerEdit(QStringLiteral("-2"), v, error));
    EXPECT_EQ(v, -2);
    for (const char *bad : {"", "abc", "1.5", "30 min"}) {
        EXPECT_FALSE(util::ParseIntegerEdit(QLatin1String(bad), v, error)) << bad;
        EXPECT_EQ(error,
                  QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(bad)));
    }
}

TEST(AutomationArithmeticTest, PeriodTimerRestartsOnlyOnAChangedInterval)
{
    util::TPeriodTimer timer(0);
    int fired = 0;
    timer.OnTimer = [&](util::TPeriodTimer *) { ++fired; };

    timer.SetEnabled(true); // interval 0 never fires
    EXPECT_FALSE(timer.Counting());
    testsupport::spinFor(60);
    EXPECT_EQ(fired, 0);

    timer.SetInterval(150);
    EXPECT_TRUE(timer.Counting());
    testsupport::spinFor(100);
    timer.SetInterval(150); // the same value: the period runs on
    EXPECT_TRUE(testsupport::waitUntil([&] { return fired == 1; }, 120));

    testsupport::spinFor(100);
    timer.SetInterval(151); // a new value: the period starts again from now
    testsupport::spinFor(100);
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(testsupport::waitUntil([&] { return fired == 2; }, 2000));

    timer.SetEnabled(false);
    testsupport::spinFor(200);
    EXPECT_EQ(fired, 2);
}

} // namespace
