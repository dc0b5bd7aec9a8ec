// The main window's runs and automation: the start and abort buttons, site
// verification, the search harvest, the period and countdown timers, the tray
// while armed.
#include "TfrmLeecher.h"

#include "Dialogs.h"
#include "Images.h"
#include "analyser/TfrmProxy.h"
#include "lists/FrameUpdates.h"
#include "lists/ListModels.h"
#include "settings/Options.h"
#include "tray/NotifyIcon.h"
#include "util/Automation.h"
#include "util/PeriodTimer.h"

#include <QApplication>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <optional>

namespace {
const QString IdleTitle = QStringLiteral("Vexo 1.3");
const QString RunningTitle = QStringLiteral("Vexo - Running");
// What the run reports once per frame besides its rows.
enum TFrameSlot { fsStatus, fsProxyCount, fsProxiesAppended, fsCycle, fsTimeout, fsProgress };
} // namespace

void TfrmLeecher::BuildRun()
{
    tmrAutomate = new util::TPeriodTimer(0, this);
    tmrAutomate->setObjectName(QStringLiteral("tmrAutomate"));
    tmrAutomate->OnTimer = [this](util::TPeriodTimer *) { tmrAutomateTimer(); };
    tmrCountdown = new util::TPeriodTimer(1000, this);
    tmrCountdown->setObjectName(QStringLiteral("tmrCountdown"));
    tmrCountdown->OnTimer = [this](util::TPeriodTimer *) { tmrCountdownTimer(); };

    NotifyIcon = new TNotifyIcon(this);
    NotifyIcon->setObjectName(QStringLiteral("NotifyIcon"));
    NotifyIcon->SetImageList({gui::AppIcon()}); // ilTray
    NotifyIcon->SetHint(IdleTitle);

    FRun = new leecher::TSiteRun(SiteList, ProxyList, Options(), *this, FFolder, this);
    leecher::TSiteRun *run = FRun;
    // The run's rows, status line, counters and gauge reach the screen once
    // per frame; list resets and the buttons at once.
    FFrame = new TFrameUpdates(this);
    FFrame->OnRow = [this](int row) {
        if (RowOnScreen(lstSite, row))
            SiteRowChanged(row);
    };
    TFrameUpdates *frame = FFrame;
    connect(run, &leecher::TSiteRun::statusChanged, this, [this](const QString &text) {
        FFrame->Post(fsStatus, [this, text] { lblStatus->setText(text); });
    });
    connect(run, &leecher::TSiteRun::siteChanged, frame, &TFrameUpdates::RowChanged);
    connect(run, &leecher::TSiteRun::siteListChanged, this, &TfrmLeecher::SitesChanged);
    connect(run, &leecher::TSiteRun::proxyListChanged, this, &TfrmLeecher::ProxiesChanged);
    connect(run, &leecher::TSiteRun::proxiesAppended, this,
            [this] { FFrame->Post(fsProxiesAppended, [this] { FProxyModel->RowsAppended(); }); });
    connect(run, &leecher::TSiteRun::proxyListSorted, this, [this] { ProxySort.Ascending = true; });
    connect(run, &leecher::TSiteRun::proxyCountChanged, this, [this](qsizetype n) {
        FFrame->Post(fsProxyCount, [this, n] { lblProxy->setText(QString::number(n)); });
    });
    connect(run, &leecher::TSiteRun::cycleCountChanged, this, [this](int n) {
        FFrame->Post(fsCycle, [this, n] { lblCycle->setText(QString::number(n)); });
    });
    connect(run, &leecher::TSiteRun::timeoutCountChanged, this, [this](int n) {
        FFrame->Post(fsTimeout, [this, n] { lblTimeout->setText(QString::number(n)); });
    });
    connect(run, &leecher::TSiteRun::progressChanged, this, [this](int value, int max) {
        FFrame->Post(fsProgress, [this, value, max] {
            prgStatus->setMaximum(std::max(max, 1));
            prgStatus->setValue(std::min(value, prgStatus->maximum()));
        });
    });
    connect(run, &leecher::TSiteRun::runningChanged, this, [this](bool running) {
        // At the end the counters, the gauge and the last message show at once.
        if (!running)
            FFrame->Flush();
        cmdStart->setEnabled(!running);
        // The harvest never addresses the site list, so it stays editable.
        SetRunActive(running && !FRun->GoogleMode());
    });
    connect(run, &leecher::TSiteRun::botsEnabledChanged, sldBots, &QWidget::setEnabled);
    connect(run, &leecher::TSiteRun::abortEnabledChanged, cmdAbort, &QWidget::setEnabled);
    connect(run, &leecher::TSiteRun::proxyListLocked, this, &TfrmLeecher::SetProxyListLocked);
    // A verification clears the analyser's timeout total.
    connect(run, &leecher::TSiteRun::verificationStarted, this, [this] {
        if (FProxyWindow)
            FProxyWindow->RunState.TimeoutCount = 0;
    });
    connect(run, &leecher::TSiteRun::fileError, this,
            [this](const QString &message) { gui::Dialogs().error(this, message); });
}

// The options are read through the dialog once it exists.
int TfrmLeecher::Bots() const
{
    return sldBots->value();
}
QString TfrmLeecher::TimeoutText() const
{
    return txtTimeout->text();
}
void TfrmLeecher::SetTimeoutText(const QString &text)
{
    txtTimeout->setText(text);
}
bool TfrmLeecher::Automate() const
{
    return chkAutomate->isChecked();
}

void TfrmLeecher::SetTitle(const QString &title)
{
    // The task-bar text: the window's own caption stays as designed.
    QApplication::setApplicationDisplayName(title);
    NotifyIcon->SetHint(title);
}

std::optional<qint32> TfrmLeecher::ReadPeriod(QString &error) const
{
    qint32 h = 0, m = 0, s = 0;
    if (!util::ParseIntegerEdit(txtHour->text(), h, error) ||
        !util::ParseIntegerEdit(txtMinute->text(), m, error) ||
        !util::ParseIntegerEdit(txtSecond->text(), s, error))
        return std::nullopt;
    return util::TimeToMS(h, m, s);
}

void TfrmLeecher::ArmAutomation(qint32 periodMs)
{
    AutomationArmed = true;
    cmdAbort->setEnabled(true);
    tmrAutomate->SetInterval(periodMs);
    SecondsLeft = periodMs / 1000;
    tmrAutomate->SetEnabled(true);
    tmrCountdown->SetEnabled(true);
    NotifyIcon->SetMinFormToTray(true);
    SetTitle(RunningTitle);
}

void TfrmLeecher::DisarmAutomation()
{
    tmrAutomate->SetEnabled(false);
    tmrCountdown->SetEnabled(false);
    AutomationArmed = false;
    NotifyIcon->SetMinFormToTray(false);
    SetTitle(IdleTitle);
}

void TfrmLeecher::cmdStartClick()
{
    // Runs never overlap: a start asked for while one is active (the period
    // timer, a click that slipped through) is ignored.
    if (FRun->IsRunning())
        return;
    // The period is read before anything changes, so a time edit that is not
    // a number leaves automation as it was and starts nothing.
    if (chkAutomate->isChecked()) {
        QString error;
        const std::optional<qint32> period = ReadPeriod(error);
        if (!period) {
            gui::Dialogs().error(this, error);
            return;
        }
        if (!AutomationArmed)
            ArmAutomation(*period);
    }
    // Does nothing with an empty site list; a failure while starting has
    // already been shown and leaves the run idle.
    gui::ReportErrors(this, [this] { FRun->StartLeech(); });
    FFrame->Flush(); // what the start set up shows at once
}

void TfrmLeecher::LeechStartAutomation()
{
    if (chkAutomate->isChecked()) {
        QString error;
        const std::optional<qint32> period = ReadPeriod(error);
        if (!period) // StartLeech undoes the start; the box shows the error
            throw std::runtime_error(error.toStdString());
        tmrAutomate->SetInterval(*period); // a changed period restarts, an equal one runs on
        SecondsLeft = *period / 1000;
    } else {
        DisarmAutomation();
        cmdAbort->setEnabled(true); // for this run
    }
}

void TfrmLeecher::ShowStatus(const QString &text)
{
    FFrame->Drop(fsStatus); // a run's message waiting for the frame is older
    lblStatus->setText(text);
}

void TfrmLeecher::ShowProxyCount()
{
    FFrame->Drop(fsProxyCount);
    lblProxy->setText(QString::number(ProxyList.size()));
}

void TfrmLeecher::cmdAbortClick()
{
    FRun->Abort();
    DisarmAutomation();
    cmdAbort->setEnabled(false);
}

void TfrmLeecher::VerifySites1Click()
{
    FRun->StartVerify();
    FFrame->Flush();
}

void TfrmLeecher::cmdGoogleClick()
{
    // Ignored while any run is active; an unreadable Leeched.ini is shown
    // and nothing starts.
    gui::ReportErrors(this, [this] { FRun->StartGoogle(); });
    FFrame->Flush();
}

void TfrmLeecher::tmrAutomateTimer()
{
    if (AutomationArmed)
        cmdStartClick();
}

void TfrmLeecher::tmrCountdownTimer()
{
    --SecondsLeft;
    lblTime->setText(util::CountdownText(SecondsLeft));
}
