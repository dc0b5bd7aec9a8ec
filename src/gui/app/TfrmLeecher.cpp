#include "TfrmLeecher.h"

#include "DesignFont.h"
#include "Dialogs.h"
#include "Images.h"
#include "analyser/TfrmProxy.h"
#include "lists/ItemAt.h"
#include "lists/ListFiles.h"
#include "lists/ListModels.h"
#include "lists/ListReader.h"
#include "settings/OptionsFile.h"
#include "settings/TfrmOptions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel *addLabel(QWidget *parent, const QString &caption, int x, int y, int width = 40)
{
    auto *label = new QLabel(caption, parent);
    // Never narrower than its caption, in whichever language that is.
    label->setGeometry(x, y, std::max(width, label->sizeHint().width()), 14);
    return label;
}

QLineEdit *addEdit(QWidget *parent, const char *name, const QString &text, int x, int y, int width)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(x, y, width, 20);
    return edit;
}

QToolButton *addFlatButton(QWidget *parent, const char *name, const QString &hint,
                           const QPixmap &glyph)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setIcon(QIcon(glyph));
    button->setFixedSize(26, 26);
    return button;
}

} // namespace

TfrmLeecher::TfrmLeecher(QString folder, QWidget *parent)
    : QMainWindow(parent), FFolder(std::move(folder))
{
    setObjectName(QStringLiteral("frmLeecher"));
    setWindowTitle(QStringLiteral("Vexo 1.3"));
    setWindowIcon(gui::AppIconSet());
    setFont(gui::DesignFont());
    resize(307, 497);

    KeepProxyRoom();
    FSiteModel = new TSiteListModel(SiteList, gui::SiteStateImages(), this);
    FProxyModel = new TProxyListModel(ProxyList, this);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(BuildTopPanel());
    layout->addWidget(BuildSettingsPanel());

    Splitter1 = new QSplitter(Qt::Vertical, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(5);
    Splitter1->setChildrenCollapsible(false); // no snapping shut
    lstSite = BuildListView("lstSite", FSiteModel, 110);
    lstSite->setIconSize(QSize(16, 16));
    lstProxy = BuildListView("lstProxy", FProxyModel, 68);
    lstSite->setMinimumHeight(50);
    lstProxy->setMinimumHeight(50);
    Splitter1->addWidget(lstSite);
    Splitter1->addWidget(lstProxy);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({124, 100});
    layout->addWidget(Splitter1, 1);
    setCentralWidget(central);
    BuildStatusBar();
    BuildMenus();
    BuildRun();

    FormCreate();
}

TfrmLeecher::~TfrmLeecher() = default;

QWidget *TfrmLeecher::BuildTopPanel()
{
    auto *panel = new QWidget(this);
    panel->setFixedHeight(65);
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
    sldBots->setValue(15);
    sldBots->setTickPosition(QSlider::TicksBelow);
    sldBots->setTickInterval(10);

    lblCount = new QLabel(QStringLiteral("15"), panel);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    QFont bold = lblCount->font();
    bold.setBold(true);
    lblCount->setFont(bold);
    lblCount->setMinimumWidth(24);

    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 4, 6, 4);
    row->addWidget(cmdStart);
    row->addWidget(cmdAbort);
    row->addWidget(sldBots, 1);
    row->addWidget(lblCount);
    connect(sldBots, &QSlider::valueChanged, this, &TfrmLeecher::sldBotsChange);
    connect(cmdStart, &QPushButton::clicked, this, &TfrmLeecher::cmdStartClick);
    connect(cmdAbort, &QPushButton::clicked, this, &TfrmLeecher::cmdAbortClick);
    return panel;
}

QWidget *TfrmLeecher::BuildSettingsPanel()
{
    auto *panel = new QWidget(this);
    panel->setFixedHeight(120);

    auto *fields = new QWidget(panel); // fixed layout at designed positions
    fields->setFixedSize(250, 120);
    chkAutomate = new QCheckBox(tr("自动吸附"), fields);
    chkAutomate->setObjectName(QStringLiteral("chkAutomate"));
    chkAutomate->setToolTip(tr("定时吸附"));
    chkAutomate->setChecked(true);
    chkAutomate->setGeometry(6, 4, 100, 17);

    addLabel(fields, tr("时"), 10, 26, 20);
    addLabel(fields, tr("分"), 46, 26, 20);
    addLabel(fields, tr("秒"), 82, 26, 20);
    txtHour = addEdit(fields, "txtHour", QStringLiteral("0"), 6, 42, 32);
    txtMinute = addEdit(fields, "txtMinute", QStringLiteral("30"), 42, 42, 32);
    txtSecond = addEdit(fields, "txtSecond", QStringLiteral("0"), 78, 42, 32);

    addLabel(fields, tr("线程超时:"), 6, 72, 56);
    txtTimeout = addEdit(fields, "txtTimeout", QStringLiteral("8"), 62, 69, 28);
    addLabel(fields, tr("秒"), 94, 72, 16);
    addLabel(fields, tr("剩余时间:"), 6, 98, 56);
    lblTime = addLabel(fields, QStringLiteral("00:00:00"), 62, 98, 60);
    lblTime->setObjectName(QStringLiteral("lblTime"));

    auto *results = new QGroupBox(tr("结果统计:"), fields);
    results->setGeometry(122, 2, 124, 112);
    const std::pair<QString, QLabel **> counters[] = {
        {tr("站点:"), &lblSite},
        {tr("代理:"), &lblProxy},
        {tr("次数:"), &lblCycle},
        {tr("超时:"), &lblTimeout},
    };
    const char *names[] = {"lblSite", "lblProxy", "lblCycle", "lblTimeout"};
    // The values start after the widest caption and end at the box's edge.
    int valueX = 48;
    for (const auto &counter : counters)
        valueX = std::max(valueX, 12 + results->fontMetrics().horizontalAdvance(counter.first));
    int y = 22;
    for (size_t i = 0; i < std::size(counters); ++i, y += 22) {
        addLabel(results, counters[i].first, 10, y, valueX - 12);
        QLabel *value = addLabel(results, QStringLiteral("0"), valueX, y, 118 - valueX);
        value->setObjectName(QLatin1String(names[i]));
        *counters[i].second = value;
    }

    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    cmdOptions = addFlatButton(panel, "cmdOptions", tr("打开选项菜单"), gui::OptionsGlyph());
    cmdProxy = addFlatButton(panel, "cmdProxy", tr("打开代理分析"), gui::AnalyserGlyph());
    cmdClipboard =
        addFlatButton(panel, "cmdClipboard", tr("从剪贴板粘贴站点"), gui::ClipboardGlyph());
    cmdGoogle = addFlatButton(panel, "cmdGoogle", tr("从 Google 吸附代理"), gui::SearchGlyph());
    for (QToolButton *b : {cmdOptions, cmdProxy, cmdClipboard, cmdGoogle})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 4, 0);
    row->addWidget(fields);
    row->addStretch(1);
    row->addLayout(buttons);

    connect(cmdOptions, &QToolButton::clicked, this, &TfrmLeecher::cmdOptionsClick);
    connect(cmdProxy, &QToolButton::clicked, this, &TfrmLeecher::cmdProxyClick);
    connect(cmdGoogle, &QToolButton::clicked, this, &TfrmLeecher::cmdGoogleClick);
    return panel;
}

QTableView *TfrmLeecher::BuildListView(const char *name, QAbstractItemModel *model,
                                       int secondColumnWidth)
{
    auto *view = new QTableView(this);
    view->setObjectName(QLatin1String(name));
    view->setModel(model);
    view->setShowGrid(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->verticalHeader()->hide();
    // Rows of one fixed height keep the view fast with a million records.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(17);
    QHeaderView *header = view->horizontalHeader();
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch); // the auto-width column
    header->setSectionResizeMode(1, QHeaderView::Interactive);
    header->resizeSection(1, secondColumnWidth);
    return view;
}

void TfrmLeecher::BuildStatusBar()
{
    lblStatus = new QLabel(tr("等待载入"), this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    prgStatus = new QProgressBar(this);
    prgStatus->setObjectName(QStringLiteral("prgStatus"));
    prgStatus->setRange(0, 100);
    prgStatus->setValue(0);
    prgStatus->setFixedWidth(94);
    prgStatus->setMaximumHeight(15);
    statusBar()->setFixedHeight(19);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(lblStatus, 1);
    statusBar()->addPermanentWidget(prgStatus);
}

QString TfrmLeecher::FilePath(const QString &name) const
{
    return QDir(FFolder).filePath(name);
}

void TfrmLeecher::SetOptionsWindow(TfrmOptions *options)
{
    FOptions = options;
    FLiveOptions.SetTarget(options ? static_cast<const settings::IOptions *>(options)
                                   : &FDefaultOptions);
}
void TfrmLeecher::SetProxyWindow(TfrmProxy *proxy)
{
    FProxyWindow = proxy;
}

const settings::IOptions &TfrmLeecher::Options() const
{
    return FLiveOptions;
}

leecher::TSiteItem &TfrmLeecher::SItem(int index)
{
    return lists::ItemAt(SiteList, index);
}

leecher::TProxyItem &TfrmLeecher::PItem(int index)
{
    return lists::ItemAt(ProxyList, index);
}

void TfrmLeecher::ClearSiteList()
{
    leecher::TSiteList().swap(SiteList);
    FSiteModel->Reset();
}

void TfrmLeecher::ClearProxyList()
{
    leecher::TProxyList().swap(ProxyList);
    FProxyModel->Reset();
}

void TfrmLeecher::KeepProxyRoom()
{
    leecher::KeepRoom(ProxyList);
}

void TfrmLeecher::SitesChanged()
{
    FSiteModel->Reset();
}
void TfrmLeecher::ProxiesChanged()
{
    FProxyModel->Reset();
}
void TfrmLeecher::SiteRowChanged(int index)
{
    FSiteModel->RowChanged(index);
}

void TfrmLeecher::sldBotsChange()
{
    lblCount->setText(QString::number(sldBots->value()));
}

void TfrmLeecher::cmdOptionsClick()
{
    if (FOptions)
        FOptions->ShowOver(this);
}

void TfrmLeecher::cmdProxyClick()
{
    if (FProxyWindow) {
        FProxyWindow->show();
        FProxyWindow->raise();
        FProxyWindow->activateWindow();
    }
}

void TfrmLeecher::FormCreate()
{
    // The lists exist from construction; the analyser glyph is drawn with its
    // magenta background already made transparent.
    Autoload = false;
    FFirstStart = !QFileInfo::exists(leecher::SitesIniPath(FFolder));
    bool timeoutCapped = false;
    const settings::TIniFile ini(FilePath(settings::OptionsFileName));
    if (ini.Exists()) {
        const settings::TMainSection m = settings::ReadMainSection(ini);
        timeoutCapped = m.timeoutCapped;
        sldBots->setValue(m.bots); // the slider keeps it within 1 to 100
        txtTimeout->setText(m.timeout);
        txtHour->setText(m.hour);
        txtMinute->setText(m.minute);
        txtSecond->setText(m.second);
        chkAutomate->setChecked(m.automate);
        Autoload = ini.ReadBool(settings::SectionOptions, QStringLiteral("Autoload"), false);
    }
    if (Autoload) {
        gui::ReportErrors(this, [this] {
            qsizetype longLines = 0;
            const auto added = leecher::LoadSitesIni(FFolder, SiteList, &longLines);
            if (!added)
                return; // no Sites.ini
            SitesChanged();
            ShowStatus(leecher::WithLongLines(leecher::LoadedSitesText(*added), longLines));
            lblSite->setText(QString::number(SiteList.size()));
        });
    }
    if (timeoutCapped) {
        const QString loaded = lblStatus->text();
        ShowStatus(loaded.startsWith(QStringLiteral("Loaded "))
                       ? loaded + QStringLiteral("; ") + settings::TimeoutCappedText()
                       : settings::TimeoutCappedText());
    }
}

void TfrmLeecher::FormClose()
{
    // A run still under way is stopped first, so that no client event
    // reaches the lists once they are gone; so is the analyser's check run,
    // as the program ends with this window.
    FRun->Shutdown();
    if (FProxyWindow)
        FProxyWindow->StopCheckRun();
    // Each step reports its own failure and the close goes on, so that a
    // read-only Options.ini can neither keep the program from ending nor
    // cost the user the site list.
    ClearProxyList();
    if (Options().DeleteFile())
        gui::ReportErrors(this, [this] { leecher::DeleteProxiesTxt(FFolder); });
    gui::ReportErrors(this, [this] {
        settings::TIniFile ini(FilePath(settings::OptionsFileName));
        settings::TMainSection m;
        m.automate = chkAutomate->isChecked();
        m.bots = sldBots->value();
        m.timeout = txtTimeout->text();
        m.hour = txtHour->text();
        m.minute = txtMinute->text();
        m.second = txtSecond->text();
        settings::WriteMainSection(ini, m);
    });
    gui::ReportErrors(this, [this] { leecher::SaveSitesIni(FFolder, SiteList); });
    ClearSiteList();
}

void TfrmLeecher::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
    Q_EMIT MainFormClosed();
}
