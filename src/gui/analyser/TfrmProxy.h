// The proxy analyser window: for now its settings controls (bots, timeout,
// judge address, 503 retry) with section "ProxyChecker" of Options.ini.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

class TfrmProxy : public QWidget
{
    Q_OBJECT
public:
    // `folder` holds Options.ini.
    explicit TfrmProxy(QString folder, QWidget *parent = nullptr);

    void FormCreate();
    // Writes section "ProxyChecker"; throws settings::EIniWriteError.
    void FormClose();
    void sldBotsChange();

    QSlider *sldBots = nullptr;
    QLabel *lblCount = nullptr;
    QCheckBox *chkRetry = nullptr;
    QComboBox *cboProxyJudge = nullptr;
    QLineEdit *txtTimeout = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QString IniPath() const;

    QString FFolder;
};
