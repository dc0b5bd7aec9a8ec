// What the check run reads from the analyser window: its controls, read at
// the moment the run asks, so that the 503 box and the own address apply at
// once during a run while bots, timeout and judge are taken at its start.
// Whether an https judge's certificate is checked comes from Options.ini,
// read at the start of a run that needs it.
#pragma once

#include "analyser/CheckRun.h"

class TfrmProxy;

class TWindowCheckInputs : public analyser::ICheckInputs
{
public:
    TWindowCheckInputs(TfrmProxy &window, const QString &iniPath)
        : FWindow(window), FIniPath(iniPath)
    {
    }

    int Bots() const override;
    QString TimeoutText() const override;
    void SetTimeoutText(const QString &text) override;
    QString JudgeURL() const override;
    QStringList JudgeItems() const override;
    void AddJudgeItem(const QString &url) override;
    bool Retry503() const override;
    QString OwnAddress() const override;
    QList<QByteArray> MachineAddresses() const override;
    bool VerifyCertificates() const override;
    bool DetectType() const override;
    int ConnectTimeoutMs() const override;

    // The judge a start took in place of the chosen one (none: empty): the
    // run asks it while the judge box keeps the user's choice.
    void SetJudgeInUse(const QString &url) { FJudgeInUse = url; }

private:
    TfrmProxy &FWindow;
    QString FIniPath;
    QString FJudgeInUse;
};
