// The analyser window's check run: the start and abort buttons (the retry
// commands start through cmdStartClick), the own address a start waits for,
// and the run's reports shown in the rows, the two status lines and the
// gauge.
#include "TfrmProxy.h"

#include "AnalyserListModel.h"
#include "CheckInputs.h"
#include "analyser/CheckRun.h"
#include "analyser/JudgeFallback.h"
#include "analyser/OwnAddressProbe.h"
#include "history/CheckRecorder.h"
#include "lists/FrameUpdates.h"
#include "settings/IniFile.h"
#include "settings/OptionsFile.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <utility>

namespace {
// What the run reports once per frame besides its rows.
enum TFrameSlot { fsStatus, fsReply, fsProgress };
} // namespace

void TfrmProxy::BuildRun()
{
    FInputs = std::make_unique<TWindowCheckInputs>(*this, IniPath());
    FRun = std::make_unique<analyser::TCheckRun>(AnalyserList, RunState, *FInputs);
    analyser::TCheckRun *run = FRun.get();
    // The run's rows, its two lines and the gauge reach the screen once per
    // frame; the buttons at once.
    FFrame = new TFrameUpdates(this);
    FFrame->OnRow = [this](int row) {
        if (RowOnScreen(lstProxy, row))
            RowChanged(row);
    };
    FRecorder = std::make_unique<history::TCheckRecorder>(AnalyserList);
    FRecorder->Follow(*run);
    connect(FRecorder.get(), &history::TCheckRecorder::rowChanged, FFrame,
            &TFrameUpdates::RowChanged);
    connect(FRecorder.get(), &history::TCheckRecorder::historyFailed, this,
            [this](const QString &text) {
                if (!std::exchange(FRecorderTold[text], true))
                    ShowStatus(text);
            });
    connect(run, &analyser::TCheckRun::runningChanged, this, [this](bool running) {
        // At the end the totals, the gauge and the last message show at once,
        // and the last rows' checks go into the history.
        if (!running) {
            FRecorder->Flush();
            FFrame->Flush();
        }
        RunningChanged(running);
    });
    connect(run, &analyser::TCheckRun::rowChanged, FFrame, &TFrameUpdates::RowChanged);
    connect(run, &analyser::TCheckRun::replyChanged, this, [this](const QString &text) {
        FFrame->Post(fsReply, [this, text] { lblReply->setText(text); });
    });
    connect(run, &analyser::TCheckRun::statusChanged, this, [this](const QString &text) {
        FFrame->Post(fsStatus, [this, text] { lblStatus->setText(text); });
        Q_EMIT statusShown(text);
    });
    connect(run, &analyser::TCheckRun::progressChanged, this, [this](int value, int max) {
        FFrame->Post(fsProgress, [this, value, max] {
            // A maximum of 0 would turn the gauge into a busy indicator.
            prgStatus->setMaximum(std::max(max, 1));
            prgStatus->setValue(std::min(value, prgStatus->maximum()));
        });
    });
    connect(run, &analyser::TCheckRun::repaintRequested, this,
            [this] { lstProxy->viewport()->update(); });

    FOwnAddress = std::make_unique<analyser::TOwnAddressProbe>();
    connect(FOwnAddress.get(), &analyser::TOwnAddressProbe::found, this,
            &TfrmProxy::OwnAddressFound);
}

QString TfrmProxy::OpenRecorder()
{
    const settings::TProxyCheckerSection section =
        settings::ReadProxyCheckerSection(settings::TIniFile(IniPath()));
    QStringList untold;
    for (const QString &text : FRecorder->Open(history::RecordingSettings(FFolder, section))) {
        if (!std::exchange(FRecorderTold[text], true))
            untold << text;
    }
    return untold.join(QStringLiteral("; "));
}

void TfrmProxy::ShowStatus(const QString &text)
{
    FFrame->Drop(fsStatus); // a run's message waiting for the frame is older
    lblStatus->setText(text);
    Q_EMIT statusShown(text);
}

void TfrmProxy::cmdStartClick()
{
    // An empty list, or a run already under way or waiting to start, starts
    // nothing. A run's redraws come one row at a time; Qt's views always
    // paint through a back buffer, so there is no double-buffered mode to
    // switch on here.
    if (AnalyserList.empty() || FRun->IsRunning() || FStartPending)
        return;
    // Unless the user typed the own address, the judge is asked first which
    // address it sees, and the run starts once it has answered or timed out
    // (the run's own timeout): so the very first page is judged against the
    // right address. The same ask steps over a judge that does not answer.
    // Meanwhile the window stands as during a run; cmdAbort cancels the
    // start.
    if (AskOwnAddress(true)) {
        FStartPending = true;
        RunningChanged(true);
        ShowStatus(QLatin1String(analyser::TOwnAddressProbe::AskingJudgeText));
        return;
    }
    const QString untold = OpenRecorder();
    if (!untold.isEmpty())
        ShowStatus(untold);
    FRun->Start();
    FFrame->Flush(); // what the start set up shows at once
}

void TfrmProxy::cmdAbortClick()
{
    if (FStartPending) {
        CancelPendingStart();
        ShowStatus(QStringLiteral("Finished"));
        return;
    }
    FRun->Abort();
}

bool TfrmProxy::AskOwnAddress(bool forStart)
{
    // The ask takes the judge's certificate as the run will.
    FOwnAddress->SetVerifyCertificates(FInputs->VerifyCertificates());
    return FOwnAddress->Find(analyser::JudgesToAsk(cboProxyJudge->currentText(),
                                                   FInputs->JudgeItems(),
                                                   forStart && FJudgeFallback),
                             txtTimeout->text());
}

void TfrmProxy::OwnAddressFound(const QString &address, analyser::TOwnAddressSource source)
{
    lblIP->setText(address);
    const QByteArray judge = FOwnAddress->Judge();
    const bool noJudge = judge.isEmpty() && source != analyser::TOwnAddressSource::Typed;
    if (!FStartPending) {
        if (source == analyser::TOwnAddressSource::Machine)
            ShowStatus(QLatin1String(analyser::TOwnAddressProbe::JudgeNotReachableText));
        return;
    }
    if (noJudge && FJudgeFallback) {
        CancelPendingStart();
        ShowStatus(QLatin1String(analyser::NoJudgeAnsweringText));
        return;
    }
    FStartPending = false;
    const QString chosen = cboProxyJudge->currentText();
    if (!judge.isEmpty() && judge != chosen.toUtf8())
        FInputs->SetJudgeInUse(QString::fromUtf8(judge));
    if (source == analyser::TOwnAddressSource::Machine)
        ShowStatus(QLatin1String(analyser::TOwnAddressProbe::JudgeNotReachableText));
    const QString untold = OpenRecorder();
    if (!untold.isEmpty())
        ShowStatus(untold);
    const bool started = FRun->Start();
    FInputs->SetJudgeInUse({});
    if (!started)
        RunningChanged(false);
    FFrame->Flush(); // what the start set up shows at once
    if (started && !judge.isEmpty() && judge != chosen.toUtf8())
        // After the run's first status line, which it would replace.
        ShowStatus(analyser::JudgeReplacedText(chosen.toUtf8(), judge));
}

void TfrmProxy::CancelPendingStart()
{
    FOwnAddress->Cancel();
    FStartPending = false;
    // As at the end of a run: a retry command's mode does not outlive it.
    RunState.RetryBadMode = RunState.RetryTimeoutMode = RunState.RetryUnknownMode = false;
    RunningChanged(false);
}

void TfrmProxy::RunningChanged(bool running)
{
    cmdStart->setEnabled(!running);
    cmdAbort->setEnabled(running);
    SetRunActive(running);
}

void TfrmProxy::StopCheckRun()
{
    if (FStartPending) {
        CancelPendingStart();
        return;
    }
    if (!FRun->IsRunning())
        return;
    // Shutdown sends no signal: the buttons and commands are set back here.
    FRun->Shutdown();
    FRecorder->Flush();
    RunningChanged(false);
}
