// The main window's list commands: the site and proxy pop-up menus, the
// Delete and A keys, the column sorts and the clipboard import.
#include "app/TfrmLeecher.h"

#include "ListModels.h"
#include "app/Dialogs.h"
#include "app/Images.h"
#include "lists/FileError.h"
#include "lists/ListFiles.h"
#include "lists/ListReader.h"
#include "lists/WebAddress.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTableView>
#include <QToolButton>

#include <algorithm>

namespace {

const gui::TFileDialogSetup OpenListDialog{
    QStringLiteral("Open List"), QStringLiteral("Text File (*.txt)"), QStringLiteral("txt"), false};
const gui::TFileDialogSetup SaveListDialog{
    QStringLiteral("Save List"), QStringLiteral("Text File (*.txt)"), QStringLiteral("txt"), true};

QAction *addItem(QMenu *menu, const char *name, const QString &caption, const QPixmap &image)
{
    QAction *action = menu->addAction(QIcon(image), caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

// Lines of clipboard text; CR LF, CR and LF each end a line.
QStringList clipboardLines(const QString &text)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    return text.split(lineEnd);
}

// Removes, in order, every entry whose index passes `test`; returns how many.
template <typename List>
qsizetype removeWhere(List &list, const std::function<bool(int)> &test)
{
    size_t kept = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (test(static_cast<int>(i)))
            continue;
        if (kept != i)
            list[kept] = std::move(list[i]);
        ++kept;
    }
    const auto removed = static_cast<qsizetype>(list.size() - kept);
    list.resize(kept);
    return removed;
}

} // namespace

void TfrmLeecher::BuildMenus()
{
    const QList<QPixmap> images = gui::MenuImages(); // ilmnuSite
    mnulstSite = new QMenu(this);
    mnulstSite->setObjectName(QStringLiteral("mnulstSite"));
    AddSite1 = addItem(mnulstSite, "AddSite1", tr("添加站点"), images[0]);
    DeleteSite1 = addItem(mnulstSite, "DeleteSite1", tr("删除选定站点"), images[1]);
    mnulstSite->addSeparator();
    CopySelectedSitesToClipboard1 =
        addItem(mnulstSite, "CopySelectedSitesToClipboard1", tr("复制选定站点到剪贴板"), images[9]);
    LaunchSiteInBrowser1 =
        addItem(mnulstSite, "LaunchSiteInBrowser1", tr("在浏览器中打开站点"), images[4]);
    mnulstSite->addSeparator();
    LoadSitesFromFile1 =
        addItem(mnulstSite, "LoadSitesFromFile1", tr("从文件中导入站点列表"), images[2]);
    SaveSitesToFile1 = addItem(mnulstSite, "SaveSitesToFile1", tr("保存站点列表到文件"), images[3]);
    mnulstSite->addSeparator();
    VerifySites1 = addItem(mnulstSite, "VerifySites1", tr("验证站点"), images[5]);
    mnulstSite->addSeparator();
    DeleteBadSites1 = addItem(mnulstSite, "DeleteBadSites1", tr("删除无效站点"), images[1]);
    DeleteTimeouts1 = addItem(mnulstSite, "DeleteTimeouts1", tr("删除超时站点"), images[6]);
    DeleteSitesWhichReturned0Proxies1 =
        addItem(mnulstSite, "DeleteSitesWhichReturned0Proxies1", tr("删除0代理站点"), images[8]);

    mnulstProxy = new QMenu(this);
    mnulstProxy->setObjectName(QStringLiteral("mnulstProxy"));
    DeleteSelectedProxies1 =
        addItem(mnulstProxy, "DeleteSelectedProxies1", tr("删除选定代理"), images[1]);
    mnulstProxy->addSeparator();
    CopySelectedProxiesToClipboard1 = addItem(mnulstProxy, "CopySelectedProxiesToClipboard1",
                                              tr("复制选定代理到剪贴板"), images[9]);
    SaveProxiesToFile1 =
        addItem(mnulstProxy, "SaveProxiesToFile1", tr("保存代理列表到文件"), images[3]);

    const std::pair<QAction *, void (TfrmLeecher::*)()> commands[] = {
        {AddSite1, &TfrmLeecher::AddSite1Click},
        {DeleteSite1, &TfrmLeecher::DeleteSite1Click},
        {CopySelectedSitesToClipboard1, &TfrmLeecher::CopySelectedSitesToClipboard1Click},
        {LaunchSiteInBrowser1, &TfrmLeecher::LaunchSiteInBrowser1Click},
        {LoadSitesFromFile1, &TfrmLeecher::LoadSitesFromFile1Click},
        {SaveSitesToFile1, &TfrmLeecher::SaveSitesToFile1Click},
        {DeleteBadSites1, &TfrmLeecher::DeleteBadSites1Click},
        {DeleteTimeouts1, &TfrmLeecher::DeleteTimeouts1Click},
        {DeleteSitesWhichReturned0Proxies1, &TfrmLeecher::DeleteSitesWhichReturned0Proxies1Click},
        {DeleteSelectedProxies1, &TfrmLeecher::DeleteSelectedProxies1Click},
        {CopySelectedProxiesToClipboard1, &TfrmLeecher::CopySelectedProxiesToClipboard1Click},
        {SaveProxiesToFile1, &TfrmLeecher::SaveProxiesToFile1Click},
    };
    connect(VerifySites1, &QAction::triggered, this, &TfrmLeecher::VerifySites1Click);
    for (const auto &[action, handler] : commands)
        connect(action, &QAction::triggered, this, handler);

    connect(lstSite, &QWidget::customContextMenuRequested, this,
            [this] { mnulstSite->popup(QCursor::pos()); });
    connect(lstProxy, &QWidget::customContextMenuRequested, this,
            [this] { mnulstProxy->popup(QCursor::pos()); });
    connect(lstSite->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TfrmLeecher::lstSiteColumnClick);
    connect(lstProxy->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TfrmLeecher::lstProxyColumnClick);
    connect(cmdClipboard, &QToolButton::clicked, this, &TfrmLeecher::cmdClipboardClick);
    lstSite->installEventFilter(this);
    lstProxy->installEventFilter(this);
}

void TfrmLeecher::SetRunActive(bool active)
{
    FRunActive = active;
    for (QAction *a : {AddSite1, DeleteSite1, LoadSitesFromFile1, DeleteBadSites1, DeleteTimeouts1,
                       DeleteSitesWhichReturned0Proxies1})
        a->setEnabled(!active);
    cmdClipboard->setEnabled(!active);
    lstSite->horizontalHeader()->setSectionsClickable(!active);
}

void TfrmLeecher::SetProxyListLocked(bool locked)
{
    FProxyListLocked = locked;
    DeleteSelectedProxies1->setEnabled(!locked);
    lstProxy->horizontalHeader()->setSectionsClickable(!locked);
}

bool TfrmLeecher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == lstSite || watched == lstProxy)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *view = static_cast<QTableView *>(watched);
        if (key->key() == Qt::Key_Delete) {
            if (view == lstProxy)
                DeleteSelectedProxies1Click();
            else if (!FRunActive)
                DeleteSite1Click();
            return true;
        }
        if (key->key() == Qt::Key_A) { // with or without Ctrl, Shift or Alt
            view->selectAll();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QList<int> TfrmLeecher::SelectedRows(QTableView *view) const
{
    QList<int> rows;
    for (const QModelIndex &index : view->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmLeecher::SitesAdded(qsizetype added, const QString &message)
{
    SitesChanged();
    if (!message.isEmpty())
        ShowStatus(message.arg(added));
    lblSite->setText(QString::number(SiteList.size()));
}

void TfrmLeecher::AddSite1Click()
{
    if (FRunActive)
        return;
    QString answer;
    if (!gui::Dialogs().input(this, QStringLiteral("Add"), QStringLiteral("Add A Site"), answer) ||
        answer.isEmpty())
        return;
    SiteList.push_back({answer.toUtf8(), {}, 0, leecher::ssIdle});
    SitesAdded(1, {});
}

void TfrmLeecher::DeleteSites(const std::function<bool(int)> &test, const QString &suffix)
{
    if (FRunActive)
        return;
    const qsizetype removed = removeWhere(SiteList, test);
    SitesChanged();
    ShowStatus(QStringLiteral("Deleted ") + QString::number(removed) + suffix);
    lblSite->setText(QString::number(SiteList.size()));
}

void TfrmLeecher::DeleteSite1Click()
{
    const QList<int> selected = SelectedRows(lstSite);
    DeleteSites([&](int i) { return std::binary_search(selected.begin(), selected.end(), i); },
                QStringLiteral(" Sites"));
}

void TfrmLeecher::DeleteBadSites1Click()
{
    DeleteSites([this](int i) { return SiteList[size_t(i)].State == leecher::ssBad; },
                QStringLiteral(" Bad Sites"));
}

void TfrmLeecher::DeleteTimeouts1Click()
{
    DeleteSites([this](int i) { return SiteList[size_t(i)].State == leecher::ssTimeout; },
                QStringLiteral(" Timeouts"));
}

void TfrmLeecher::DeleteSitesWhichReturned0Proxies1Click()
{
    DeleteSites([this](int i) { return SiteList[size_t(i)].State == leecher::ssFetched; },
                QStringLiteral(" \"0 Proxy\" Sites"));
}

void TfrmLeecher::DeleteSelectedProxies1Click()
{
    if (FProxyListLocked)
        return;
    const QList<int> selected = SelectedRows(lstProxy);
    const qsizetype removed = removeWhere(
        ProxyList, [&](int i) { return std::binary_search(selected.begin(), selected.end(), i); });
    ProxiesChanged();
    ShowStatus(QStringLiteral("Deleted %1 Proxies").arg(removed));
    ShowProxyCount();
}

void TfrmLeecher::CopySelectedSitesToClipboard1Click()
{
    QString text;
    for (int row : SelectedRows(lstSite))
        text += QString::fromUtf8(SiteList[size_t(row)].URL) + QStringLiteral("\r\n");
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(text);
    gui::Dialogs().information(nullptr, clipboard->text(), QStringLiteral("Copied To Clipboard"));
}

void TfrmLeecher::CopySelectedProxiesToClipboard1Click()
{
    QByteArray text;
    for (int row : SelectedRows(lstProxy))
        text += leecher::ProxyText(ProxyList[size_t(row)]) + "\r\n";
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text));
}

void TfrmLeecher::LaunchSiteInBrowser1Click()
{
    const QList<int> selected = SelectedRows(lstSite);
    if (selected.isEmpty())
        return;
    if (const auto url = leecher::WebAddressForBrowser(SiteList[size_t(selected.first())].URL))
        gui::Dialogs().openUrl(*url);
}

void TfrmLeecher::LoadSitesFromFile1Click()
{
    if (FRunActive)
        return;
    const QString path = gui::Dialogs().file(this, OpenListDialog);
    if (path.isEmpty())
        return;
    gui::ReportErrors(this, [&] {
        qsizetype longLines = 0;
        const qsizetype added = leecher::AppendSitesFromFile(path, SiteList, &longLines);
        SitesChanged();
        ShowStatus(leecher::WithLongLines(leecher::LoadedSitesText(added), longLines));
        lblSite->setText(QString::number(SiteList.size()));
    });
}

void TfrmLeecher::SaveSitesToFile1Click()
{
    if (SiteList.empty())
        return;
    const QString path = gui::Dialogs().file(this, SaveListDialog);
    if (path.isEmpty())
        return;
    gui::ReportErrors(this, [&] {
        leecher::WriteSiteList(path, SiteList);
        ShowStatus(leecher::SavedSitesText(static_cast<qsizetype>(SiteList.size())));
    });
}

void TfrmLeecher::SaveProxiesToFile1Click()
{
    if (ProxyList.empty())
        return;
    const QString path = gui::Dialogs().file(this, SaveListDialog);
    if (path.isEmpty())
        return;
    gui::ReportErrors(this, [&] {
        leecher::WriteProxyList(path, ProxyList);
        ShowStatus(leecher::SavedProxiesText(static_cast<qsizetype>(ProxyList.size())));
    });
}

void TfrmLeecher::lstSiteColumnClick(int column)
{
    if (FRunActive)
        return;
    SiteSort.Click(column);
    leecher::SortSiteList(SiteList, column, SiteSort.Ascending);
    SitesChanged();
}

void TfrmLeecher::lstProxyColumnClick(int column)
{
    if (FProxyListLocked)
        return;
    ProxySort.Click(column);
    leecher::SortProxyList(ProxyList, column, ProxySort.Ascending);
    ProxiesChanged();
}

void TfrmLeecher::cmdClipboardClick()
{
    if (FRunActive)
        return;
    qsizetype added = 0;
    for (const QString &line : clipboardLines(QGuiApplication::clipboard()->text())) {
        const QString site = line.trimmed();
        if (site.isEmpty())
            continue;
        SiteList.push_back({site.toUtf8(), {}, 0, leecher::ssIdle});
        ++added;
    }
    SitesAdded(added, QStringLiteral("Extracted %1 Sites From Clipboard"));
}
