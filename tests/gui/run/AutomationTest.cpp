#include "support/EventLoop.h"
#include "support/OriginServer.h"
#include "support/WindowFixture.h"

#include "app/TfrmLeecher.h"
#include "settings/TfrmOptions.h"
#include "tray/NotifyIcon.h"
#include "util/PeriodTimer.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {

using testsupport::waitUntil;

class AutomationTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        windows = Start();
        m = windows.leecher.get();
        m->Run().SetWaitInterval(50);
        m->NotifyIcon->TrayAvailable = [] { return true; };
    }
    void AddSite(const QByteArray &url)
    {
        m->SiteList.push_back({url, {}, 0, leecher::ssIdle});
        m->SitesChanged();
    }
    bool Idle() const { return !m->Run().IsRunning(); }

    gui::TWindows windows;
    TfrmLeecher *m = nullptr;
    testsupport::OriginServer server;
};

TEST_F(AutomationTest, ArmingWithAnEmptySiteListStartsNothing)
{
    m->cmdStart->click();
    EXPECT_TRUE(m->AutomationArmed);
    EXPECT_FALSE(m->Run().IsRunning());
    EXPECT_TRUE(m->cmdAbort->isEnabled());
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Vexo - Running"));
    EXPECT_EQ(m->NotifyIcon->Hint(), QStringLiteral("Vexo - Running"));
    EXPECT_EQ(m->windowTitle(), QStringLiteral("Vexo 1.3")); // the caption never changes
    EXPECT_EQ(m->tmrAutomate->Interval(), 1800000);
    EXPECT_TRUE(m->tmrAutomate->Counting());
    EXPECT_EQ(m->SecondsLeft, 1800);

    m->tmrCountdownTimer();
    EXPECT_EQ(m->lblTime->text(), QStringLiteral("00:29:59"));
    // At each period end nothing starts and the countdown is not reloaded.
    m->tmrAutomateTimer();
    m->tmrCountdownTimer();
    EXPECT_EQ(m->lblTime->text(), QStringLiteral("00:29:58"));

    m->cmdAbort->click();
    EXPECT_FALSE(m->AutomationArmed);
    EXPECT_FALSE(m->tmrAutomate->Enabled() || m->tmrCountdown->Enabled());
    EXPECT_FALSE(m->cmdAbort->isEnabled());
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Vexo 1.3"));
    EXPECT_EQ(m->lblTime->text(), QStringLiteral("00:29:58")); // keeps its last text
}

TEST_F(AutomationTest, AZeroPeriodNeverFiresAndCountsBelowZero)
{
    m->txtMinute->setText(QStringLiteral("0"));
    m->cmdStart->click();
    EXPECT_TRUE(m->AutomationArmed);
    EXPECT_FALSE(m->tmrAutomate->Counting());
    m->tmrCountdownTimer();
    EXPECT_EQ(m->lblTime->text(), QStringLiteral("00:00:-01"));
    m->cmdAbortClick();
}

TEST_F(AutomationTest, AnInvalidTimeEditLeavesAutomationDisarmed)
{
    m->txtHour->setText(QStringLiteral("one"));
    AddSite(server.url("/"));
    m->cmdStart->click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QStringLiteral("'one' is not a valid integer value"));
    EXPECT_FALSE(m->AutomationArmed);
    EXPECT_FALSE(m->tmrAutomate->Enabled() || m->tmrCountdown->Enabled());
    EXPECT_FALSE(m->cmdAbort->isEnabled());
    EXPECT_FALSE(m->Run().IsRunning());
    EXPECT_TRUE(m->cmdStart->isEnabled());
    EXPECT_NE(QApplication::applicationDisplayName(), QStringLiteral("Vexo - Running"));
}

TEST_F(AutomationTest, ARunThroughTheWindowFillsTheListsAndProxiesTxt)
{
    server.route(
        "/a", testsupport::Script::response(200, "OK", {}, "<p>1.2.3.4:8080 and 5.6.7.8:3128</p>"));
    server.route("/b", testsupport::Script::response(200, "OK", {}, "1.2.3.4:8080\r\n9.9.9.9:80"));
    server.route("/c", testsupport::Script::response(404, "Not Found", {}, "gone"));
    AddSite(server.url("/a"));
    AddSite(server.url("/b"));
    AddSite(server.url("/c"));
    m->chkAutomate->setChecked(false);

    m->cmdStart->click();
    EXPECT_FALSE(m->cmdStart->isEnabled());
    EXPECT_TRUE(m->cmdAbort->isEnabled());
    EXPECT_FALSE(m->AddSite1->isEnabled()); // the site list is locked during the run
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 10000));

    EXPECT_TRUE(m->cmdStart->isEnabled());
    EXPECT_FALSE(m->cmdAbort->isEnabled());
    EXPECT_TRUE(m->AddSite1->isEnabled());
    EXPECT_EQ(m->SiteList[0].Status, QStringLiteral("Found 2 Proxies"));
    EXPECT_EQ(m->SiteList[0].State, leecher::ssFound);
    EXPECT_EQ(m->SiteList[2].Status, QStringLiteral("404 - Not Found"));
    EXPECT_EQ(m->SiteList[2].State, leecher::ssBad);
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Removed 1 Duplicates"));
    EXPECT_EQ(m->lblProxy->text(), QStringLiteral("3"));
    EXPECT_EQ(m->lblCycle->text(), QStringLiteral("1"));
    EXPECT_EQ(m->lstProxy->model()->rowCount(), 3);
    EXPECT_EQ(ReadFile(QStringLiteral("Proxies.txt")),
              QByteArray("9.9.9.9:80\r\n5.6.7.8:3128\r\n1.2.3.4:8080\r\n"));
    EXPECT_TRUE(m->ProxySort.Ascending); // set by the duplicate removal
}

TEST_F(AutomationTest, PeriodEndsAndManualStartsWhileArmed)
{
    server.setDefault(testsupport::Script::response(200, "OK", {}, "1.2.3.4:8080"));
    AddSite(server.url("/"));
    m->cmdStart->click();
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 10000));
    EXPECT_TRUE(m->cmdAbort->isEnabled()); // automation ticked: it stays to stop automation

    // A manual start with the same period reloads the countdown; the period runs on.
    m->tmrCountdownTimer();
    m->tmrCountdownTimer();
    m->cmdStart->click();
    EXPECT_EQ(m->SecondsLeft, 1800);
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 10000));

    // A start asked for while a run is active is ignored.
    m->cmdStart->click();
    const QString cycles = m->lblCycle->text();
    m->tmrAutomateTimer();
    EXPECT_EQ(m->lblCycle->text(), cycles);
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 10000));

    // Unticked while armed: the next period end starts one more run, which
    // switches automation off.
    m->chkAutomate->setChecked(false);
    m->tmrAutomateTimer();
    EXPECT_TRUE(m->Run().IsRunning());
    EXPECT_FALSE(m->AutomationArmed);
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Vexo 1.3"));
    EXPECT_FALSE(m->NotifyIcon->MinFormToTray());
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 10000));
    EXPECT_FALSE(m->cmdAbort->isEnabled());
    EXPECT_EQ(m->lblCycle->text(), QStringLiteral("4"));
}

TEST_F(AutomationTest, TheRealTimersStartTheNextRunAndCountDownOnTheirOwn)
{
    // A one-second period: nothing here calls the timer handlers; the
    // period timer starts the second run and the countdown redraws lblTime.
    server.setDefault(testsupport::Script::response(200, "OK", {}, "1.2.3.4:8080"));
    AddSite(server.url("/"));
    m->txtHour->setText(QStringLiteral("0"));
    m->txtMinute->setText(QStringLiteral("0"));
    m->txtSecond->setText(QStringLiteral("1"));
    m->cmdStart->click();
    EXPECT_TRUE(m->AutomationArmed);
    EXPECT_EQ(m->tmrAutomate->Interval(), 1000);
    m->lblTime->setText(QStringLiteral("--"));
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 5000));
    EXPECT_EQ(m->lblCycle->text(), QStringLiteral("1"));

    ASSERT_TRUE(waitUntil([&] { return m->lblCycle->text() == QStringLiteral("2"); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return m->lblTime->text() != QStringLiteral("--"); }, 3000));
    EXPECT_EQ(m->lblTime->text().left(6), QStringLiteral("00:00:"));
    ASSERT_TRUE(waitUntil([&] { return Idle(); }, 5000));
    EXPECT_TRUE(m->AutomationArmed); // armed for the next period
    EXPECT_EQ(m->SiteList[0].State, leecher::ssFound);

    m->cmdAbortClick();
    EXPECT_FALSE(m->tmrAutomate->Enabled() || m->tmrCountdown->Enabled());
}

TEST_F(AutomationTest, MinimisingWhileArmedHidesToTheTray)
{
    m->show();
    m->cmdStart->click(); // armed with an empty list
    m->showMinimized();
    ASSERT_TRUE(waitUntil([&] { return !m->isVisible(); }, 2000));
    EXPECT_TRUE(m->NotifyIcon->Active());
    EXPECT_EQ(m->NotifyIcon->Tip(), QStringLiteral("Vexo - Running"));

    m->NotifyIcon->Click(Qt::RightButton); // no menu: nothing
    EXPECT_FALSE(m->isVisible());
    m->NotifyIcon->Click(Qt::LeftButton);
    EXPECT_TRUE(m->isVisible());
    EXPECT_FALSE(m->NotifyIcon->Active());

    // Tray mode switched off while hidden brings the window back.
    m->showMinimized();
    ASSERT_TRUE(waitUntil([&] { return !m->isVisible(); }, 2000));
    m->cmdAbortClick();
    EXPECT_TRUE(m->isVisible());
    EXPECT_FALSE(m->NotifyIcon->Active());

    // After Abort minimising is a normal minimise.
    m->showMinimized();
    testsupport::spinFor(50);
    EXPECT_TRUE(m->isVisible());
    EXPECT_FALSE(m->NotifyIcon->Active());
}

TEST_F(AutomationTest, WithoutATrayMinimisingStaysNormal)
{
    m->NotifyIcon->TrayAvailable = [] { return false; };
    m->show();
    m->cmdStart->click();
    m->showMinimized();
    testsupport::spinFor(50);
    EXPECT_TRUE(m->isVisible());
    EXPECT_FALSE(m->NotifyIcon->Active());
    m->cmdAbortClick();
}

TEST_F(AutomationTest, ClosingDuringARunStopsItsClientsAndKeepsTheSites)
{
    server.setDefault(testsupport::Script().send("HTTP/1.0 200 OK\r\n\r\n1.2.3.4:80").keepOpen());
    AddSite(server.url("/"));
    AddSite(server.url("/x"));
    m->cmdStart->click();
    ASSERT_TRUE(waitUntil([&] { return server.connectionCount() == 2; }, 5000));
    m->close();
    testsupport::spinFor(100); // any late event must not reach the freed lists
    EXPECT_EQ(ReadFile(QStringLiteral("Sites.ini")),
              server.url("/") + "\r\n" + server.url("/x") + "\r\n");
}

} // namespace
