#include "app/JpegImage.h"
#include "app/Startup.h"
#include "app/TfrmSplash.h"
#include "util/TickCount.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(SplashTest, ShowsAFramedJpegPictureWithoutABorder)
{
    TfrmSplash splash;
    EXPECT_EQ(splash.size(), QSize(193, 161));
    EXPECT_EQ(splash.Picture().size(), QSize(191, 159));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    const QImage shot = splash.grab().toImage();
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(192, 160), QColor(Qt::black));
}

TEST(SplashTest, HoldLastsPastItsTimeCountedFromTheStartTick)
{
    // Work done before the hold counts towards it.
    const quint32 t0 = util::GetTickCount();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300) {
    }
    gui::HoldSince(t0, 1000);
    EXPECT_GT(util::TicksSince(t0, util::GetTickCount()), 1000);
    EXPECT_LT(clock.elapsed(), 1000 + 400);

    // A start tick already long past ends the hold at once.
    clock.restart();
    gui::HoldSince(util::GetTickCount() - 5000, gui::SplashHoldMs);
    EXPECT_LT(clock.elapsed(), 200);
}

TEST(SplashTest, TickDifferencesSurviveACounterWrap)
{
    EXPECT_EQ(util::TicksSince(0xFFFFFF00u, 0x00000100u), 0x200);
    EXPECT_EQ(util::TicksSince(100u, 2500u), 2400);
}

TEST(SplashTest, BrokenJpegDataGivesNoPicture)
{
    QFile f(QStringLiteral(":/app/splash.jpg"));
    TfrmSplash splash; // registers the resources
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    EXPECT_FALSE(gui::DecodeJpeg(good).isNull());
    EXPECT_TRUE(gui::DecodeJpeg({}).isNull());
    EXPECT_TRUE(gui::DecodeJpeg("not a picture at all").isNull());
    EXPECT_TRUE(gui::DecodeJpeg(good.left(20)).isNull()); // header cut short
    QByteArray corrupt = good;
    for (qsizetype i = 200; i < corrupt.size(); i += 7)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    const QImage damaged = gui::DecodeJpeg(corrupt); // either fails or decodes: never crashes
    EXPECT_TRUE(damaged.isNull() || damaged.size() == QSize(191, 159));
}

} // namespace
