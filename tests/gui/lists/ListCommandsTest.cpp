#include "support/WindowFixture.h"

#include "app/TfrmLeecher.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace {

class ListCommandsTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        windows = Start();
        m = windows.leecher.get();
    }

    void AddSites(std::initializer_list<std::pair<const char *, int>> sites)
    {
        for (const auto &[url, state] : sites)
            m->SiteList.push_back({url, {}, 0, state});
        m->SitesChanged();
    }
    void AddProxies(std::initializer_list<std::pair<const char *, const char *>> proxies)
    {
        for (const auto &[host, port] : proxies)
            m->ProxyList.push_back({host, port});
        m->ProxiesChanged();
    }
    static void Select(QTableView *view, std::initializer_list<int> rows)
    {
        view->clearSelection();
        for (int r : rows)
            view->selectionModel()->select(view->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QByteArrayList Urls() const
    {
        QByteArrayList urls;
        for (const auto &s : m->SiteList)
            urls << s.URL;
        return urls;
    }
    QByteArrayList Proxies() const
    {
        QByteArrayList out;
        for (const auto &p : m->ProxyList)
            out << p.Host.toByteArray() + ':' + p.Port.toByteArray();
        return out;
    }

    gui::TWindows windows;
    TfrmLeecher *m = nullptr;
};

TEST_F(ListCommandsTest, MenusHoldTheirItemsInOrder)
{
    QStringList site, proxy;
    for (QAction *a : m->mnulstSite->actions())
        site << (a->isSeparator() ? QStringLiteral("-") : a->text());
    for (QAction *a : m->mnulstProxy->actions())
        proxy << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(site.join(QLatin1Char(',')),
              QStringLiteral("添加站点,删除选定站点,-,复制选定站点到剪贴板,在浏览器中打开站点,-,"
                             "从文件中导入站点列表,保存站点列表到文件,-,验证站点,-,删除无效站点,"
                             "删除超时站点,删除0代理站点"));
    EXPECT_EQ(proxy.join(QLatin1Char(',')),
              QStringLiteral("删除选定代理,-,复制选定代理到剪贴板,保存代理列表到文件"));
    for (QAction *a : m->mnulstSite->actions())
        EXPECT_TRUE(a->isSeparator() || !a->icon().isNull()) << a->text().toStdString();
}

TEST_F(ListCommandsTest, DeletionsByStateAndSelectionReportTheirCounts)
{
    AddSites({{"a", 0}, {"b", 2}, {"c", 3}, {"d", 1}, {"e", 2}, {"f", 4}});
    struct Step
    {
        QAction *action;
        const char *message;
        QByteArrayList left;
    };
    const Step steps[] = {
        {m->DeleteBadSites1, "Deleted 2 Bad Sites", {"a", "c", "d", "f"}},
        {m->DeleteBadSites1, "Deleted 0 Bad Sites", {"a", "c", "d", "f"}},
        {m->DeleteTimeouts1, "Deleted 1 Timeouts", {"a", "d", "f"}},
        {m->DeleteSitesWhichReturned0Proxies1, "Deleted 1 \"0 Proxy\" Sites", {"a", "f"}},
    };
    for (const Step &s : steps) {
        s.action->trigger();
        EXPECT_EQ(m->lblStatus->text(), QLatin1String(s.message));
        EXPECT_EQ(Urls(), s.left);
        EXPECT_EQ(m->lblSite->text(), QString::number(s.left.size()));
        EXPECT_EQ(m->lstSite->model()->rowCount(), s.left.size());
    }

    Select(m->lstSite, {1});
    m->DeleteSite1->trigger();
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Deleted 1 Sites"));
    EXPECT_EQ(Urls(), QByteArrayList{"a"});

    AddProxies({{"1.1.1.1", "80"}, {"2.2.2.2", "81"}, {"3.3.3.3", "82"}});
    Select(m->lstProxy, {0, 2});
    m->DeleteSelectedProxies1->trigger();
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Deleted 2 Proxies"));
    EXPECT_EQ(Proxies(), QByteArrayList{"2.2.2.2:81"});
    EXPECT_EQ(m->lblProxy->text(), QStringLiteral("1"));
}

TEST_F(ListCommandsTest, KeysDeleteTheSelectionAndSelectAll)
{
    AddSites({{"a", 0}, {"b", 0}, {"c", 0}});
    m->lstSite->clearSelection();
    QTest::keyClick(m->lstSite, Qt::Key_Delete);
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Deleted 0 Sites"));
    EXPECT_EQ(m->SiteList.size(), 3u);

    for (auto modifiers : {Qt::NoModifier, Qt::ControlModifier, Qt::ShiftModifier}) {
        m->lstSite->clearSelection();
        QTest::keyClick(m->lstSite, Qt::Key_A, modifiers);
        EXPECT_EQ(m->lstSite->selectionModel()->selectedRows().size(), 3);
    }
    QTest::keyClick(m->lstSite, Qt::Key_Delete);
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Deleted 3 Sites"));
    EXPECT_TRUE(m->SiteList.empty());

    AddProxies({{"1.1.1.1", "80"}, {"2.2.2.2", "81"}});
    QTest::keyClick(m->lstProxy, Qt::Key_A, Qt::AltModifier);
    QTest::keyClick(m->lstProxy, Qt::Key_Delete);
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Deleted 2 Proxies"));
}

TEST_F(ListCommandsTest, ColumnSortsToggleTheirDirection)
{
    AddProxies({{"9.9.9.9", "8080"}, {"10.0.0.1", "80"}, {"1.1.1.1", "3128"}});
    auto hosts = [this] {
        QByteArrayList h;
        for (const auto &p : m->ProxyList)
            h << p.Host.toByteArray();
        return h;
    };
    m->lstProxyColumnClick(0); // column already 0, flag false → true: ascending
    EXPECT_EQ(hosts(), (QByteArrayList{"1.1.1.1", "10.0.0.1", "9.9.9.9"}));
    m->lstProxyColumnClick(0);
    EXPECT_EQ(hosts(), (QByteArrayList{"9.9.9.9", "10.0.0.1", "1.1.1.1"}));
    m->lstProxyColumnClick(1); // new column keeps the flag (false): descending by value
    EXPECT_EQ(hosts(), (QByteArrayList{"9.9.9.9", "1.1.1.1", "10.0.0.1"}));

    // After the end-of-run step set the flag, the first click on column 0 descends.
    m->ProxySort = {0, true};
    m->lstProxyColumnClick(0);
    EXPECT_EQ(hosts(), (QByteArrayList{"9.9.9.9", "10.0.0.1", "1.1.1.1"}));

    AddSites({{"b", 0}, {"a", 0}, {"C", 0}});
    m->lstSite->horizontalHeader()->sectionClicked(0); // as a click on the header
    EXPECT_EQ(Urls(), (QByteArrayList{"C", "a", "b"}));
}

TEST_F(ListCommandsTest, ClipboardImportAndCopies)
{
    QGuiApplication::clipboard()->setText(
        QStringLiteral("  http://a/  \r\nhttp://b/\nhttp://c/\r\r\n   \nhttp://d/"));
    m->cmdClipboard->click();
    EXPECT_EQ(Urls(), (QByteArrayList{"http://a/", "http://b/", "http://c/", "http://d/"}));
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Extracted 4 Sites From Clipboard"));
    EXPECT_EQ(m->lblSite->text(), QStringLiteral("4"));

    QGuiApplication::clipboard()->clear();
    m->cmdClipboard->click();
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Extracted 0 Sites From Clipboard"));

    Select(m->lstSite, {3, 1});
    m->CopySelectedSitesToClipboard1->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("http://b/\r\nhttp://d/\r\n"));
    ASSERT_EQ(informations.size(), 1);
    EXPECT_EQ(informations[0], QStringLiteral("Copied To Clipboard|http://b/\r\nhttp://d/\r\n"));

    m->lstSite->clearSelection();
    m->CopySelectedSitesToClipboard1->trigger();
    EXPECT_EQ(informations.last(), QStringLiteral("Copied To Clipboard|"));

    AddProxies({{"1.1.1.1", "80"}, {"2.2.2.2", "0081"}});
    Select(m->lstProxy, {0, 1});
    m->CopySelectedProxiesToClipboard1->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("1.1.1.1:80\r\n2.2.2.2:0081\r\n"));
    EXPECT_EQ(informations.size(), 2); // no box for proxies
}

TEST_F(ListCommandsTest, AddingASiteTakesTheAnswerAsTyped)
{
    inputAnswer = QStringLiteral("   ");
    m->AddSite1->trigger();
    EXPECT_EQ(inputs.value(0), QStringLiteral("Add|Add A Site"));
    EXPECT_EQ(Urls(), QByteArrayList{"   "});
    EXPECT_EQ(m->lblSite->text(), QStringLiteral("1"));
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("等待载入")); // no message

    inputAnswer.clear();
    m->AddSite1->trigger();
    inputAnswer = QStringLiteral("http://x/");
    inputAccepted = false;
    m->AddSite1->trigger();
    EXPECT_EQ(m->SiteList.size(), 1u);
}

TEST_F(ListCommandsTest, OnlyWebAddressesReachTheBrowser)
{
    AddSites({{"http://a.example/list", 0},
              {"example.org/proxies.htm", 0},
              {"HTTPS://b.example/", 0},
              {"file:///etc/passwd", 0},
              {"/usr/bin/xterm", 0},
              {"javascript:alert(1)", 0},
              {"ftp://c.example/", 0},
              {"localhost:8080/p", 0}});
    m->LaunchSiteInBrowser1->trigger(); // nothing selected: nothing happens
    for (int row = 0; row < 8; ++row) {
        Select(m->lstSite, {row});
        m->LaunchSiteInBrowser1->trigger();
    }
    EXPECT_EQ(openedUrls, (QStringList{QStringLiteral("http://a.example/list"),
                                       QStringLiteral("http://example.org/proxies.htm"),
                                       QStringLiteral("https://b.example/"),
                                       QStringLiteral("http://localhost:8080/p")}));
}

TEST_F(ListCommandsTest, ListFilesThroughTheDialogs)
{
    WriteFile(QStringLiteral("in.txt"), "http://a/\r\n\r\n  \r\n http://b/\r\n");
    fileAnswer = Path(QStringLiteral("in.txt"));
    m->LoadSitesFromFile1->trigger();
    m->LoadSitesFromFile1->trigger(); // loading twice doubles
    EXPECT_EQ(Urls(), (QByteArrayList{"http://a/", " http://b/", "http://a/", " http://b/"}));
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Loaded 2 Sites"));
    EXPECT_EQ(m->lblSite->text(), QStringLiteral("4"));
    EXPECT_EQ(fileDialogs.value(0), QStringLiteral("Open List|Text File (*.txt)"));

    fileAnswer = Path(QStringLiteral("out.txt"));
    m->SaveSitesToFile1->trigger();
    EXPECT_EQ(ReadFile(QStringLiteral("out.txt")),
              QByteArray("http://a/\r\n http://b/\r\nhttp://a/\r\n http://b/\r\n"));
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Saved 4 Sites"));
    EXPECT_EQ(fileDialogs.value(2), QStringLiteral("Save List|Text File (*.txt)"));

    // Cancelled dialogs touch nothing.
    fileAnswer.clear();
    m->LoadSitesFromFile1->trigger();
    m->SaveSitesToFile1->trigger();
    EXPECT_EQ(m->SiteList.size(), 4u);
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Saved 4 Sites"));

    // An empty proxy list asks for no file.
    const auto dialogsBefore = fileDialogs.size();
    m->SaveProxiesToFile1->trigger();
    EXPECT_EQ(fileDialogs.size(), dialogsBefore);
    AddProxies({{"1.1.1.1", "80"}});
    fileAnswer = Path(QStringLiteral("proxies.txt"));
    m->SaveProxiesToFile1->trigger();
    EXPECT_EQ(ReadFile(QStringLiteral("proxies.txt")), QByteArray("1.1.1.1:80\r\n"));
    EXPECT_EQ(m->lblStatus->text(), QStringLiteral("Saved 1 Proxies"));

    // A file that cannot be written shows the system's message.
    fileAnswer = Path(QStringLiteral("missing/dir/out.txt"));
    m->SaveSitesToFile1->trigger();
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(ListCommandsTest, SiteCommandsWaitWhileARunAddressesSitesByIndex)
{
    AddSites({{"a", 2}, {"b", 0}});
    m->SetRunActive(true);
    EXPECT_FALSE(m->DeleteBadSites1->isEnabled());
    EXPECT_FALSE(m->cmdClipboard->isEnabled());
    m->DeleteBadSites1Click();
    Select(m->lstSite, {0});
    QTest::keyClick(m->lstSite, Qt::Key_Delete);
    m->lstSiteColumnClick(0);
    EXPECT_EQ(Urls(), (QByteArrayList{"a", "b"}));
    EXPECT_TRUE(m->CopySelectedSitesToClipboard1->isEnabled()); // reading stays possible
    m->SetRunActive(false);
    m->DeleteBadSites1->trigger();
    EXPECT_EQ(Urls(), QByteArrayList{"b"});
}

} // namespace

#include "lists/ListModels.h"

namespace {

TEST_F(ListCommandsTest, TheProxyViewTakesAppendedRowsAndFollowsShrinking)
{
    auto *model = qobject_cast<TProxyListModel *>(m->lstProxy->model());
    ASSERT_NE(model, nullptr);
    int inserted = 0, resets = 0;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, model, [&] { ++inserted; });
    QObject::connect(model, &QAbstractItemModel::modelReset, model, [&] { ++resets; });

    m->ProxyList.push_back({"1.1.1.1", "80"});
    m->ProxyList.push_back({"2.2.2.2", "81"});
    model->RowsAppended();
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(model->data(model->index(1, 0), Qt::DisplayRole).toString(),
              QStringLiteral("2.2.2.2"));

    model->RowsAppended(); // nothing new
    EXPECT_EQ(inserted, 1);

    m->ProxyList.pop_back(); // a shrunken list can only be shown anew
    model->RowsAppended();
    EXPECT_EQ(model->rowCount(), 1);
    EXPECT_EQ(resets, 1);
}

} // namespace
