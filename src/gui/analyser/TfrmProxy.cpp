#include "TfrmProxy.h"

#include "AnalyserListModel.h"
#include "CheckInputs.h"
#include "analyser/AnalyserFiles.h"
#include "analyser/JudgeFallback.h"
#include "analyser/OwnAddress.h"
#include "analyser/OwnAddressProbe.h"
#include "analyser/ProxyEntries.h"
#include "analyser/StatusTexts.h"
#include "app/DesignFont.h"
#include "app/Dialogs.h"
#include "app/Images.h"
#include "history/CheckRecorder.h"
#include "lists/ItemAt.h"
#include "lists/WebAddress.h"
#include "settings/OptionsFile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace {

QToolButton *addSideButton(QWidget *parent, const char *name, const QString &caption,
                           const QPixmap &glyph)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(caption);
    button->setIcon(QIcon(glyph));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setFixedHeight(26);
    return button;
}

QLabel *addPanel(QWidget *parent, const char *name, const QString &caption)
{
    auto *panel = new QLabel(caption, parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return panel;
}

} // namespace

TfrmProxy::TfrmProxy(QString folder, QWidget *parent)
    : QWidget(parent, Qt::Window), FFolder(std::move(folder))
{
    setObjectName(QStringLiteral("frmProxy"));
    setWindowTitle(tr("代理分析"));
    setWindowIcon(QIcon(gui::AppIcon()));
    setFont(gui::DesignFont());
    resize(727, 480);

    illstProxy = gui::ProxyImages();
    FModel = new TAnalyserListModel(AnalyserList, illstProxy, this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->setSpacing(4);
    layout->addWidget(BuildTopPanel());
    layout->addWidget(BuildListPanel(), 1);
    layout->addWidget(BuildStatusBar());
    BuildMenus();
    BuildRun();

    FormCreate();
}

// The check run goes first (it is declared last): a run still under way is
// shut down before the list it works on.
TfrmProxy::~TfrmProxy() = default;

QWidget *TfrmProxy::BuildTopPanel()
{
    auto *panel = new QWidget(this);
    cmdStart = new QPushButton(tr("开始"), panel);
    cmdStart->setObjectName(QStringLiteral("cmdStart"));
    cmdAbort = new QPushButton(tr("中断"), panel);
    cmdAbort->setObjectName(QStringLiteral("cmdAbort"));
    cmdAbort->setEnabled(false);
    for (QPushButton *b : {cmdStart, cmdAbort})
        b->setFixedSize(56, 25);

    sldBots = new QSlider(Qt::Horizontal, panel);
    sldBots->setObjectName(QStringLiteral("sldBots"));
    sldBots->setRange(1, 100);
    sldBots->setValue(50);
    sldBots->setTickPosition(QSlider::TicksBelow);
    sldBots->setTickInterval(10);
    lblCount = new QLabel(QStringLiteral("50"), panel);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    QFont bold = lblCount->font();
    bold.setBold(true);
    lblCount->setFont(bold);
    lblCount->setMinimumWidth(24);

    cboProxyJudge = new QComboBox(panel);
    cboProxyJudge->setObjectName(QStringLiteral("cboProxyJudge"));
    cboProxyJudge->setEditable(true);
    // Typed addresses join the list only when a run starts with them.
    cboProxyJudge->setInsertPolicy(QComboBox::NoInsert);
    cboProxyJudge->addItem(settings::DefaultProxyJudge);
    cboProxyJudge->setEditText(settings::DefaultProxyJudge);
    cboProxyJudge->setMinimumWidth(240);
    cmdOpenPJ = new QToolButton(panel);
    cmdOpenPJ->setObjectName(QStringLiteral("cmdOpenPJ"));
    cmdOpenPJ->setToolTip(tr("在浏览器中打开验证地址"));
    cmdOpenPJ->setIcon(QIcon(gui::SearchGlyph()));
    cmdOpenPJ->setAutoRaise(true);
    cmdOpenPJ->setFixedSize(22, 22);

    txtTimeout = new QLineEdit(QStringLiteral("8"), panel);
    txtTimeout->setObjectName(QStringLiteral("txtTimeout"));
    txtTimeout->setFixedWidth(40);
    chkRetry = new QCheckBox(tr("重试503代理"), panel);
    chkRetry->setObjectName(QStringLiteral("chkRetry"));
    chkDetectType = new QCheckBox(tr("探测类型"), panel);
    chkDetectType->setObjectName(QStringLiteral("chkDetectType"));
    lblReply = new QLabel(panel);
    lblReply->setObjectName(QStringLiteral("lblReply"));

    auto *first = new QHBoxLayout;
    first->addWidget(cmdStart);
    first->addWidget(cmdAbort);
    first->addWidget(sldBots, 1);
    first->addWidget(lblCount);
    first->addSpacing(12);
    first->addWidget(new QLabel(tr("验证地址:"), panel));
    first->addWidget(cboProxyJudge, 2);
    first->addWidget(cmdOpenPJ);
    auto *second = new QHBoxLayout;
    second->addWidget(new QLabel(tr("线程超时:"), panel));
    second->addWidget(txtTimeout);
    second->addWidget(new QLabel(tr("秒"), panel));
    second->addSpacing(12);
    second->addWidget(chkRetry);
    second->addWidget(chkDetectType);
    second->addSpacing(12);
    second->addWidget(new QLabel(tr("结果统计:"), panel));
    second->addWidget(lblReply, 1);
    auto *rows = new QVBoxLayout(panel);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addLayout(first);
    rows->addLayout(second);

    connect(sldBots, &QSlider::valueChanged, this, &TfrmProxy::sldBotsChange);
    connect(cmdStart, &QPushButton::clicked, this, &TfrmProxy::cmdStartClick);
    connect(cmdAbort, &QPushButton::clicked, this, &TfrmProxy::cmdAbortClick);
    connect(cmdOpenPJ, &QToolButton::clicked, this, &TfrmProxy::cmdOpenPJClick);
    return panel;
}

QWidget *TfrmProxy::BuildListPanel()
{
    auto *panel = new QWidget(this);
    lstProxy = new QTableView(panel);
    lstProxy->setObjectName(QStringLiteral("lstProxy"));
    lstProxy->setModel(FModel);
    lstProxy->setShowGrid(true);
    lstProxy->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstProxy->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstProxy->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstProxy->setWordWrap(false);
    lstProxy->setIconSize(QSize(16, 16));
    lstProxy->setContextMenuPolicy(Qt::CustomContextMenu);
    lstProxy->verticalHeader()->hide();
    // Rows of one fixed height keep the view fast with a million records.
    lstProxy->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lstProxy->verticalHeader()->setDefaultSectionSize(17);
    QHeaderView *header = lstProxy->horizontalHeader();
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    // Host, status and gateway share the room left by the fixed columns.
    for (int column : {analyser::colHost, analyser::colStatus, analyser::colRemoteAddr})
        header->setSectionResizeMode(column, QHeaderView::Stretch);
    const std::pair<int, int> fixedWidths[] = {
        {analyser::colPort, 50},   {analyser::colAnonymous, 70}, {analyser::colLevel, 50},
        {analyser::colSpeed, 50},  {analyser::colCountry, 40},   {analyser::colNetwork, 150},
        {analyser::colUptime, 50}, {analyser::colLastGood, 110}};
    for (const auto &[column, width] : fixedWidths) {
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, width);
    }

    auto *side = new QVBoxLayout;
    side->setSpacing(2);
    const QList<QPixmap> menu = gui::MenuImages();
    cmdOpen = addSideButton(panel, "cmdOpen", tr("导入代理列表"), menu[2]);
    cmdSave = addSideButton(panel, "cmdSave", tr("保存代理列表"), menu[3]);
    cmdClean = addSideButton(panel, "cmdClean", tr("清理选项"), gui::CleanGlyph());
    cmdExtractClipboard =
        addSideButton(panel, "cmdExtractClipboard", tr("从剪贴板粘贴代理"), gui::ClipboardGlyph());
    cmdRetry =
        addSideButton(panel, "cmdRetry", tr("重试无效代理", "the button that opens the retry menu"),
                      gui::RetryGlyph());
    for (QToolButton *b : {cmdOpen, cmdSave, cmdClean, cmdExtractClipboard, cmdRetry})
        side->addWidget(b);
    side->addStretch(1);

    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(lstProxy, 1);
    row->addLayout(side);
    cmdOpen->setMinimumWidth(130); // the column's width, for the captions
    return panel;
}

QWidget *TfrmProxy::BuildStatusBar()
{
    auto *bar = new QStatusBar(this);
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(19);
    lblStatus = addPanel(bar, "lblStatus", tr("等待载入"));
    prgStatus = new QProgressBar(bar);
    prgStatus->setObjectName(QStringLiteral("prgStatus"));
    prgStatus->setRange(0, 100);
    prgStatus->setValue(0);
    prgStatus->setFixedWidth(200);
    prgStatus->setMaximumHeight(15);
    lblIP = addPanel(bar, "lblIP", QString());
    lblIP->setMinimumWidth(110);
    lblIP->setCursor(Qt::PointingHandCursor);
    lblIP->installEventFilter(this);
    bar->addWidget(lblStatus, 1);
    bar->addWidget(prgStatus);
    bar->addWidget(lblIP);
    return bar;
}

QString TfrmProxy::IniPath() const
{
    return QDir(FFolder).filePath(settings::OptionsFileName);
}

void TfrmProxy::SetMainProxyList(const leecher::TProxyList *proxies)
{
    FMainProxies = proxies;
}

analyser::TProxyItem &TfrmProxy::PItem(int index)
{
    return lists::ItemAt(AnalyserList, index);
}

void TfrmProxy::ClearProxyList()
{
    analyser::TAnalyserList().swap(AnalyserList);
    FModel->Reset();
}

void TfrmProxy::ProxiesChanged()
{
    FModel->Reset();
}

void TfrmProxy::RowChanged(int index)
{
    FModel->RowChanged(index);
}

void TfrmProxy::sldBotsChange()
{
    lblCount->setText(QString::number(sldBots->value()));
}

void TfrmProxy::FormCreate()
{
    // This machine's address until a judge tells the one it sees. None found
    // leaves the panel empty; the user can type one.
    const QString machine = analyser::FindOwnAddress();
    FOwnAddress->SetMachineAddress(machine);
    lblIP->setText(machine);
    gui::ReportErrors(this, [this] {
        // No ProxyJudges.ini yet: the public judges to fall back on.
        const QStringList judges =
            analyser::ReadProxyJudges(FFolder).value_or(analyser::DefaultProxyJudges());
        const QString text = cboProxyJudge->currentText();
        cboProxyJudge->clear();
        cboProxyJudge->addItems(judges);
        cboProxyJudge->setEditText(text);
    });
    const settings::TIniFile ini(IniPath());
    if (!ini.Exists())
        return;
    const settings::TProxyCheckerSection c = settings::ReadProxyCheckerSection(ini);
    sldBots->setValue(c.bots); // the slider keeps it within 1 to 100
    chkRetry->setChecked(c.retry503);
    chkDetectType->setChecked(c.detectType);
    cboProxyJudge->setEditText(c.proxyJudge);
    txtTimeout->setText(c.timeout);
    FJudgeFallback = c.judgeFallback;
    if (c.timeoutCapped)
        FTimeoutNote = settings::TimeoutCappedText();
}

void TfrmProxy::FormShow()
{
    if (FRunActive)
        return; // the run works on the list it has
    AnalyserList = FMainProxies ? analyser::TakeOver(*FMainProxies) : analyser::TAnalyserList();
    // The note of a timeout capped at the start stays until the first showing.
    QString status = analyser::LoadedProxiesText(static_cast<qsizetype>(AnalyserList.size()));
    if (!FTimeoutNote.isEmpty())
        status += QStringLiteral("; ") + std::exchange(FTimeoutNote, QString());
    // So is what the location and history have to say, once.
    const QString untold = OpenRecorder();
    if (!untold.isEmpty())
        status += QStringLiteral("; ") + untold;
    ListChanged(status);
    // The first opening asks the judge for the own address in the
    // background (and the next one, when the window closed before the
    // answer); every start asks again.
    if (!std::exchange(FOwnAddressAsked, true))
        AskOwnAddress(false);
}

void TfrmProxy::FormClose()
{
    // Bots address the list by index: a run under way stops before the list
    // can go.
    StopCheckRun();
    // The first opening's ask goes with the window: nothing reaches the
    // judge once it is closed, and the next opening asks again.
    if (FOwnAddress->IsAsking()) {
        FOwnAddress->Cancel();
        FOwnAddressAsked = false;
    }
    QStringList judges;
    for (int i = 0; i < cboProxyJudge->count(); ++i)
        judges << cboProxyJudge->itemText(i);
    analyser::WriteProxyJudges(FFolder, judges);

    settings::TIniFile ini(IniPath());
    settings::TProxyCheckerSection c;
    c.bots = sldBots->value();
    c.retry503 = chkRetry->isChecked();
    c.detectType = chkDetectType->isChecked();
    c.proxyJudge = cboProxyJudge->currentText();
    c.timeout = txtTimeout->text();
    c.judgeFallback = FJudgeFallback;
    settings::WriteProxyCheckerSection(ini, c);

    ClearProxyList();
}

void TfrmProxy::showEvent(QShowEvent *event)
{
    // Opening the window, not restoring it from a minimised state.
    if (!event->spontaneous())
        FormShow();
    QWidget::showEvent(event);
}

void TfrmProxy::closeEvent(QCloseEvent *event)
{
    if (gui::ReportErrors(this, [this] { FormClose(); }))
        event->accept();
    else
        event->ignore();
}

void TfrmProxy::cmdOpenPJClick()
{
    if (const auto url = leecher::WebAddressForBrowser(cboProxyJudge->currentText().toUtf8()))
        gui::Dialogs().openUrl(*url);
}

void TfrmProxy::lblIPClick()
{
    QString answer = lblIP->text();
    if (!gui::Dialogs().input(this, QStringLiteral("IP"), QStringLiteral("Enter Your IP Address"),
                              answer) ||
        answer.isEmpty())
        return;
    lblIP->setText(answer);
    // Typed wins over every judge until the program ends; a start that
    // waits for the judge goes on with it.
    FOwnAddress->SetTyped(answer);
}
