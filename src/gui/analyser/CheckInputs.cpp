#include "CheckInputs.h"

#include "TfrmProxy.h"

#include "analyser/OwnAddress.h"
#include "settings/OptionsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

int TWindowCheckInputs::Bots() const
{
    return FWindow.sldBots->value();
}

QString TWindowCheckInputs::TimeoutText() const
{
    return FWindow.txtTimeout->text();
}

void TWindowCheckInputs::SetTimeoutText(const QString &text)
{
    FWindow.txtTimeout->setText(text);
}

QString TWindowCheckInputs::JudgeURL() const
{
    if (!FJudgeInUse.isEmpty())
        return FJudgeInUse;
    return FWindow.cboProxyJudge->currentText();
}

QStringList TWindowCheckInputs::JudgeItems() const
{
    QStringList items;
    for (int i = 0; i < FWindow.cboProxyJudge->count(); ++i)
        items << FWindow.cboProxyJudge->itemText(i);
    return items;
}

void TWindowCheckInputs::AddJudgeItem(const QString &url)
{
    FWindow.cboProxyJudge->addItem(url);
}

bool TWindowCheckInputs::Retry503() const
{
    return FWindow.chkRetry->isChecked();
}

bool TWindowCheckInputs::DetectType() const
{
    return FWindow.chkDetectType->isChecked();
}

QString TWindowCheckInputs::OwnAddress() const
{
    return FWindow.lblIP->text();
}

QList<QByteArray> TWindowCheckInputs::MachineAddresses() const
{
    return analyser::MachineAddresses();
}

int TWindowCheckInputs::ConnectTimeoutMs() const
{
    return settings::ReadProxyCheckerSection(settings::TIniFile(FIniPath)).connectTimeoutMs;
}

bool TWindowCheckInputs::VerifyCertificates() const
{
    return settings::ReadVerifyCertificates(settings::TIniFile(FIniPath));
}
