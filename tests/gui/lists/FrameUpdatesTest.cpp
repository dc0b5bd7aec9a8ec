// The once-per-frame hand-over of a run's reports to the screen.
#include "lists/FrameUpdates.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QString>
#include <vector>

using testsupport::waitUntil;

TEST(FrameUpdatesTest, RowsOncePerFrameValuesAtOnceThenTheLastOfEachFrame)
{
    TFrameUpdates frame;
    std::vector<int> rows;
    frame.OnRow = [&](int row) { rows.push_back(row); };
    QString status, count;
    const auto post = [&](int slot, QString &field, const QString &value) {
        frame.Post(slot, [&field, value] { field = value; });
    };

    // A value in a quiet frame shows at once; the next ones of the same
    // frame wait, the last one winning; another slot is not held up.
    post(0, status, QStringLiteral("[1 / 3]"));
    EXPECT_EQ(status, QStringLiteral("[1 / 3]"));
    post(0, status, QStringLiteral("[2 / 3]"));
    post(0, status, QStringLiteral("[3 / 3]"));
    post(1, count, QStringLiteral("7"));
    EXPECT_EQ(status, QStringLiteral("[1 / 3]"));
    EXPECT_EQ(count, QStringLiteral("7"));
    // Rows wait for the frame's end and come once however often they changed.
    for (int row : {4, 2, 4, 4, 9, 2})
        frame.RowChanged(row);
    EXPECT_TRUE(rows.empty());
    ASSERT_TRUE(waitUntil([&] { return !rows.empty(); }, 2000));
    EXPECT_EQ(rows, (std::vector<int>{4, 2, 9}));
    EXPECT_EQ(status, QStringLiteral("[3 / 3]"));

    // A row changed again after its frame is drawn again in the next.
    rows.clear();
    frame.RowChanged(4);
    ASSERT_TRUE(waitUntil([&] { return !rows.empty(); }, 2000));
    EXPECT_EQ(rows, std::vector<int>{4});

    // Flush shows what waits at once (the run's end); Drop forgets a value
    // that a direct write supersedes.
    post(0, status, QStringLiteral("a"));
    post(0, status, QStringLiteral("b"));
    frame.Flush();
    EXPECT_EQ(status, QStringLiteral("b"));
    post(0, status, QStringLiteral("c"));
    frame.Drop(0);
    status = QStringLiteral("direct");
    testsupport::spinFor(3 * TFrameUpdates::FrameMs);
    EXPECT_EQ(status, QStringLiteral("direct"));
    // After a quiet frame a value shows at once again.
    post(0, status, QStringLiteral("d"));
    EXPECT_EQ(status, QStringLiteral("d"));
}
