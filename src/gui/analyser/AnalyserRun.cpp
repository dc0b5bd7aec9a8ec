// The analyser window's check run: the start and abort buttons (the retry
// commands start through cmdStartClick), and the run's reports shown in the
// rows, the two status lines and the gauge.
#include "TfrmProxy.h"

#include "AnalyserListModel.h"
#include "CheckInputs.h"
#include "analyser/CheckRun.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

void TfrmProxy::BuildRun()
{
    FInputs = std::make_unique<TWindowCheckInputs>(*this);
    FRun = std::make_unique<analyser::TCheckRun>(AnalyserList, RunState, *FInputs);
    analyser::TCheckRun *run = FRun.get();
    connect(run, &analyser::TCheckRun::runningChanged, this, &TfrmProxy::RunningChanged);
    connect(run, &analyser::TCheckRun::rowChanged, this, &TfrmProxy::RowChanged);
    connect(run, &analyser::TCheckRun::replyChanged, lblReply, &QLabel::setText);
    connect(run, &analyser::TCheckRun::statusChanged, this, &TfrmProxy::ShowStatus);
    connect(run, &analyser::TCheckRun::progressChanged, this, [this](int value, int max) {
        // A maximum of 0 would turn the gauge into a busy indicator.
        prgStatus->setMaximum(std::max(max, 1));
        prgStatus->setValue(std::min(value, prgStatus->maximum()));
    });
    connect(run, &analyser::TCheckRun::repaintRequested, this,
            [this] { lstProxy->viewport()->update(); });
}

void TfrmProxy::cmdStartClick()
{
    // An empty list, or a run already under way, starts nothing. A run's
    // redraws come one row at a time; Qt's views always paint through a
    // back buffer, so there is no double-buffered mode to switch on here.
    FRun->Start();
}

void TfrmProxy::cmdAbortClick()
{
    FRun->Abort();
}

void TfrmProxy::RunningChanged(bool running)
{
    cmdStart->setEnabled(!running);
    cmdAbort->setEnabled(running);
    SetRunActive(running);
}

void TfrmProxy::StopCheckRun()
{
    if (!FRun->IsRunning())
        return;
    // Shutdown sends no signal: the buttons and commands are set back here.
    FRun->Shutdown();
    RunningChanged(false);
}
