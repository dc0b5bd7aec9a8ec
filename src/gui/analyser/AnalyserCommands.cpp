// The analyser window's list commands: the three pop-up menus and their side
// buttons, the Delete and A keys, the column sorts, the files and the
// clipboard, the retry commands and the desktop proxy.
#include "TfrmProxy.h"

#include "AnalyserListModel.h"
#include "DesktopProxy.h"
#include "analyser/AnalyserFiles.h"
#include "analyser/ProxyEntries.h"
#include "analyser/StatusTexts.h"
#include "app/Dialogs.h"
#include "lists/ListReader.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QToolButton>

#include <algorithm>

using namespace analyser;

namespace {

const gui::TFileDialogSetup OpenDialog{
    QStringLiteral("Open"), QStringLiteral("Text Files (*.txt);;Ini Files (*.ini);;All Files (*)"),
    QStringLiteral("txt"), false};
const gui::TFileDialogSetup SaveDialog{
    QStringLiteral("Save File"), QStringLiteral("Text File (*.txt)"), QStringLiteral("txt"), true};

QAction *addItem(QMenu *menu, const char *name, const QString &caption, const QPixmap *image)
{
    QAction *action = image ? menu->addAction(QIcon(*image), caption) : menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

QMenu *newMenu(QWidget *parent, const char *name)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

} // namespace

void TfrmProxy::BuildMenus()
{
    const QList<QPixmap> &images = illstProxy;
    mnulstProxy = newMenu(this, "mnulstProxy");
    AddProxy1 = addItem(mnulstProxy, "AddProxy1", tr("添加代理"), &images[1]);
    DeleteProxy1 = addItem(mnulstProxy, "DeleteProxy1", tr("删除选定代理"), &images[2]);
    mnulstProxy->addSeparator();
    UseProxyInIE1 = addItem(mnulstProxy, "UseProxyInIE1", tr("设置为IE代理"), &images[9]);
    mnulstProxy->addSeparator();
    CopyProxyToClipboard1 =
        addItem(mnulstProxy, "CopyProxyToClipboard1", tr("复制选定代理到剪贴板"), &images[5]);

    mnucmdClean = newMenu(this, "mnucmdClean");
    RemoveDuplicates1 = addItem(mnucmdClean, "RemoveDuplicates1", tr("删除重复代理"), nullptr);
    mnucmdClean->addSeparator();
    DeleteBadProxies1 = addItem(mnucmdClean, "DeleteBadProxies1", tr("删除无效代理"), nullptr);
    DeleteTimeouts1 = addItem(mnucmdClean, "DeleteTimeouts1", tr("删除超时代理"), nullptr);
    DeleteGateways1 = addItem(mnucmdClean, "DeleteGateways1", tr("删除网关"), nullptr);
    DeleteUnknowns1 = addItem(mnucmdClean, "DeleteUnknowns1", tr("删除未知代理"), nullptr);

    mnucmdSave = newMenu(this, "mnucmdSave");
    SaveSelectedToFile1 =
        addItem(mnucmdSave, "SaveSelectedToFile1", tr("保存选定结果到文件"), nullptr);
    SaveAllToFile1 = addItem(mnucmdSave, "SaveAllToFile1", tr("保存所有结果到文件"), nullptr);

    mnucmdRetry = newMenu(this, "mnucmdRetry");
    RetryBadProxies1 = addItem(mnucmdRetry, "RetryBadProxies1", tr("重试无效代理"), nullptr);
    RetryTimeouts1 = addItem(mnucmdRetry, "RetryTimeouts1", tr("重试超时代理"), nullptr);
    RetryUnknownProxies1 =
        addItem(mnucmdRetry, "RetryUnknownProxies1", tr("重试未知代理"), nullptr);

    const std::pair<QAction *, void (TfrmProxy::*)()> commands[] = {
        {AddProxy1, &TfrmProxy::AddProxy1Click},
        {DeleteProxy1, &TfrmProxy::DeleteProxy1Click},
        {UseProxyInIE1, &TfrmProxy::UseProxyInIE1Click},
        {CopyProxyToClipboard1, &TfrmProxy::CopyProxyToClipboard1Click},
        {RemoveDuplicates1, &TfrmProxy::RemoveDuplicates1Click},
        {DeleteBadProxies1, &TfrmProxy::DeleteBadProxies1Click},
        {DeleteTimeouts1, &TfrmProxy::DeleteTimeouts1Click},
        {DeleteGateways1, &TfrmProxy::DeleteGateways1Click},
        {DeleteUnknowns1, &TfrmProxy::DeleteUnknowns1Click},
        {SaveSelectedToFile1, &TfrmProxy::SaveSelectedToFile1Click},
        {SaveAllToFile1, &TfrmProxy::SaveAllToFile1Click},
        {RetryBadProxies1, &TfrmProxy::RetryBadProxies1Click},
        {RetryTimeouts1, &TfrmProxy::RetryTimeouts1Click},
        {RetryUnknownProxies1, &TfrmProxy::RetryUnknownProxies1Click},
    };
    for (const auto &[action, handler] : commands)
        connect(action, &QAction::triggered, this, handler);
    const std::pair<QToolButton *, void (TfrmProxy::*)()> buttons[] = {
        {cmdOpen, &TfrmProxy::cmdOpenClick},
        {cmdSave, &TfrmProxy::cmdSaveClick},
        {cmdClean, &TfrmProxy::cmdCleanClick},
        {cmdExtractClipboard, &TfrmProxy::cmdExtractClipboardClick},
        {cmdRetry, &TfrmProxy::cmdRetryClick},
    };
    for (const auto &[button, handler] : buttons)
        connect(button, &QToolButton::clicked, this, handler);

    connect(lstProxy, &QWidget::customContextMenuRequested, this,
            [this] { mnulstProxy->popup(QCursor::pos()); });
    connect(lstProxy->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TfrmProxy::lstProxyColumnClick);
    lstProxy->installEventFilter(this);
}

void TfrmProxy::SetRunActive(bool active)
{
    FRunActive = active;
    for (QAction *a :
         {AddProxy1, DeleteProxy1, RemoveDuplicates1, DeleteBadProxies1, DeleteTimeouts1,
          DeleteGateways1, DeleteUnknowns1, RetryBadProxies1, RetryTimeouts1, RetryUnknownProxies1})
        a->setEnabled(!active);
    for (QToolButton *b : {cmdOpen, cmdClean, cmdExtractClipboard, cmdRetry})
        b->setEnabled(!active);
    lstProxy->horizontalHeader()->setSectionsClickable(!active);
}

bool TfrmProxy::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstProxy && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete) {
            DeleteProxy1Click();
            return true;
        }
        if (key->key() == Qt::Key_A) { // with or without Ctrl, Shift or Alt
            lstProxy->selectAll();
            return true;
        }
    }
    if (watched == lblIP && event->type() == QEvent::MouseButtonRelease) {
        lblIPClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

std::vector<int> TfrmProxy::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex &index : lstProxy->selectionModel()->selectedRows())
        if (index.row() >= 0 && static_cast<size_t>(index.row()) < AnalyserList.size())
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmProxy::ListChanged(const QString &message)
{
    FModel->Reset();
    ShowStatus(message);
}

void TfrmProxy::lstProxyColumnClick(int column)
{
    if (FRunActive)
        return;
    AnalyserSort.Click(column);
    SortAnalyserList(AnalyserList, column, AnalyserSort.Ascending);
    FModel->Reset();
}

void TfrmProxy::AddProxy1Click()
{
    if (FRunActive)
        return;
    QString answer;
    if (!gui::Dialogs().input(this, QStringLiteral("Add Proxy"),
                              QStringLiteral("Add Proxy, Use Format: \"xxx.xxx.xxx.xxx:yy\""),
                              answer) ||
        answer.isEmpty())
        return;
    AnalyserList.push_back(TypedProxy(answer.toUtf8()));
    ListChanged(AddedProxyText());
}

void TfrmProxy::DeleteProxy1Click()
{
    if (FRunActive)
        return;
    ListChanged(DeletedProxiesText(DeleteRows(AnalyserList, SelectedRows())));
}

void TfrmProxy::cmdOpenClick()
{
    if (FRunActive)
        return;
    const QString path = gui::Dialogs().file(this, OpenDialog);
    if (path.isEmpty())
        return;
    gui::ReportErrors(this, [&] {
        qsizetype longLines = 0;
        const qsizetype added = AppendProxyFile(path, AnalyserList, &longLines);
        ListChanged(leecher::WithLongLines(LoadedProxiesText(added), longLines));
    });
}

void TfrmProxy::cmdExtractClipboardClick()
{
    if (FRunActive)
        return;
    const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
    ListChanged(ExtractedProxiesText(AppendClipboardLines(AnalyserList, text)));
}

void TfrmProxy::cmdSaveClick()
{
    mnucmdSave->popup(QCursor::pos());
}

void TfrmProxy::cmdCleanClick()
{
    mnucmdClean->popup(QCursor::pos());
}

void TfrmProxy::cmdRetryClick()
{
    mnucmdRetry->popup(QCursor::pos());
}

void TfrmProxy::RemoveDuplicates1Click()
{
    if (FRunActive)
        return;
    ShowStatus(SortingListText());
    AnalyserSort.Ascending = true;
    const qsizetype removed =
        RemoveDuplicates(AnalyserList, [this] { ShowStatus(RemovingDuplicatesText()); });
    ListChanged(RemovedDuplicatesText(removed));
}

void TfrmProxy::CleanBy(TCleaning cleaning)
{
    if (FRunActive)
        return;
    ListChanged(CleanedText(cleaning, Clean(AnalyserList, cleaning)));
}

void TfrmProxy::DeleteBadProxies1Click()
{
    CleanBy(TCleaning::BadProxies);
}

void TfrmProxy::DeleteTimeouts1Click()
{
    CleanBy(TCleaning::Timeouts);
}

void TfrmProxy::DeleteGateways1Click()
{
    CleanBy(TCleaning::Gateways);
}

void TfrmProxy::DeleteUnknowns1Click()
{
    CleanBy(TCleaning::Unknowns);
}

void TfrmProxy::CopyProxyToClipboard1Click()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QString::fromUtf8(ProxyLines(AnalyserList, SelectedRows())));
    gui::Dialogs().information(nullptr, clipboard->text(), QStringLiteral("Copied To Clipboard"));
}

void TfrmProxy::SaveRows(bool selectedOnly)
{
    if (AnalyserList.empty())
        return;
    const QString path = gui::Dialogs().file(this, SaveDialog);
    if (path.isEmpty())
        return;
    gui::ReportErrors(this, [&] {
        const qsizetype saved = selectedOnly ? SaveResults(path, AnalyserList, SelectedRows())
                                             : SaveResults(path, AnalyserList);
        ShowStatus(SavedProxiesText(saved));
    });
}

void TfrmProxy::SaveSelectedToFile1Click()
{
    SaveRows(true);
}

void TfrmProxy::SaveAllToFile1Click()
{
    SaveRows(false);
}

void TfrmProxy::RetryBadProxies1Click()
{
    if (FRunActive)
        return;
    RunState.RetryBadMode = true;
    cmdStartClick();
}

void TfrmProxy::RetryTimeouts1Click()
{
    if (FRunActive)
        return;
    RunState.RetryTimeoutMode = true;
    cmdStartClick();
}

void TfrmProxy::RetryUnknownProxies1Click()
{
    if (FRunActive)
        return;
    RunState.RetryUnknownMode = true;
    cmdStartClick();
}

void TfrmProxy::UseProxyInIE1Click()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    const TProxyItem &proxy = AnalyserList[static_cast<size_t>(rows.front())];
    const QByteArray host = proxy.Host.toByteArray(), port = proxy.Port.toByteArray();
    // A SOCKS proxy becomes the desktop's SOCKS proxy, never its HTTP one.
    const bool socks = proxy.Type != net::ptHttp;
    const gui::TDesktopProxyKind kind =
        socks ? gui::TDesktopProxyKind::Socks : gui::TDesktopProxyKind::Http;
    gui::ReportErrors(this, [&] {
        gui::SetDesktopProxy(host, port, kind);
        gui::Dialogs().information(
            nullptr,
            (socks ? QStringLiteral("Using SOCKS Proxy \"") : QStringLiteral("Using Proxy \"")) +
                gui::QueryDesktopProxy(kind) + QLatin1Char('"'),
            QStringLiteral("Success"));
    });
}
