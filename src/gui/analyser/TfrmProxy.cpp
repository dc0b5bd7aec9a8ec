#include "TfrmProxy.h"

#include "app/DesignFont.h"
#include "app/Dialogs.h"
#include "settings/OptionsFile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

TfrmProxy::TfrmProxy(QString folder, QWidget *parent)
    : QWidget(parent, Qt::Window), FFolder(std::move(folder))
{
    setObjectName(QStringLiteral("frmProxy"));
    setWindowTitle(QStringLiteral("代理分析"));
    setFont(gui::DesignFont());
    resize(727, 480);

    sldBots = new QSlider(Qt::Horizontal, this);
    sldBots->setObjectName(QStringLiteral("sldBots"));
    sldBots->setRange(1, 100);
    sldBots->setValue(50);
    sldBots->setTickPosition(QSlider::TicksBelow);
    sldBots->setTickInterval(10);
    lblCount = new QLabel(QStringLiteral("50"), this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    QFont bold = lblCount->font();
    bold.setBold(true);
    lblCount->setFont(bold);
    lblCount->setMinimumWidth(24);

    cboProxyJudge = new QComboBox(this);
    cboProxyJudge->setObjectName(QStringLiteral("cboProxyJudge"));
    cboProxyJudge->setEditable(true);
    cboProxyJudge->addItem(settings::DefaultProxyJudge);
    cboProxyJudge->setEditText(settings::DefaultProxyJudge);
    cboProxyJudge->setMinimumWidth(260);

    txtTimeout = new QLineEdit(QStringLiteral("8"), this);
    txtTimeout->setObjectName(QStringLiteral("txtTimeout"));
    txtTimeout->setFixedWidth(40);

    chkRetry = new QCheckBox(QStringLiteral("重试503代理"), this);
    chkRetry->setObjectName(QStringLiteral("chkRetry"));

    auto *top = new QHBoxLayout;
    top->addWidget(sldBots, 1);
    top->addWidget(lblCount);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("验证地址:"), this));
    top->addWidget(cboProxyJudge, 2);
    auto *second = new QHBoxLayout;
    second->addWidget(new QLabel(QStringLiteral("线程超时:"), this));
    second->addWidget(txtTimeout);
    second->addWidget(new QLabel(QStringLiteral("秒"), this));
    second->addSpacing(12);
    second->addWidget(chkRetry);
    second->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(second);
    layout->addStretch(1);

    connect(sldBots, &QSlider::valueChanged, this, &TfrmProxy::sldBotsChange);
    FormCreate();
}

QString TfrmProxy::IniPath() const
{
    return QDir(FFolder).filePath(settings::OptionsFileName);
}

void TfrmProxy::sldBotsChange()
{
    lblCount->setText(QString::number(sldBots->value()));
}

void TfrmProxy::FormCreate()
{
    const settings::TIniFile ini(IniPath());
    if (!ini.Exists())
        return;
    const settings::TProxyCheckerSection c = settings::ReadProxyCheckerSection(ini);
    sldBots->setValue(c.bots); // the slider keeps it within 1 to 100
    chkRetry->setChecked(c.retry503);
    cboProxyJudge->setEditText(c.proxyJudge);
    txtTimeout->setText(c.timeout);
}

void TfrmProxy::FormClose()
{
    settings::TIniFile ini(IniPath());
    settings::TProxyCheckerSection c;
    c.bots = sldBots->value();
    c.retry503 = chkRetry->isChecked();
    c.proxyJudge = cboProxyJudge->currentText();
    c.timeout = txtTimeout->text();
    settings::WriteProxyCheckerSection(ini, c);
}

void TfrmProxy::closeEvent(QCloseEvent *event)
{
    if (gui::ReportErrors(this, [this] { FormClose(); }))
        event->accept();
    else
        event->ignore();
}
