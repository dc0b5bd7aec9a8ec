#include "AnalyserFixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

using analyser::psBad;
using analyser::psGood;
using analyser::psNone;
using analyser::psTimeout;
using analyser::psUnknown;
using analyser::TProxyItem;
using CommandsTest = AnalyserFixture;

TEST_F(CommandsTest, MenusHoldTheirItemsInOrderAndTheSideButtonsPopThemUp)
{
    const auto items = [](QMenu *menu) {
        QStringList out;
        for (QAction *a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-")
                                     : a->objectName() + QLatin1Char('=') + a->text());
        return out.join(QLatin1Char(','));
    };
    EXPECT_EQ(
        items(p->mnulstProxy),
        QStringLiteral("AddProxy1=添加代理,DeleteProxy1=删除选定代理,-,UseProxyInIE1=设置为IE代理,"
                       "-,CopyProxyToClipboard1=复制选定代理到剪贴板"));
    EXPECT_EQ(items(p->mnucmdClean),
              QStringLiteral("RemoveDuplicates1=删除重复代理,-,DeleteBadProxies1=删除无效代理,"
                             "DeleteTimeouts1=删除超时代理,DeleteGateways1=删除网关,"
                             "DeleteUnknowns1=删除未知代理"));
    EXPECT_EQ(items(p->mnucmdSave), QStringLiteral("SaveSelectedToFile1=保存选定结果到文件,"
                                                   "SaveAllToFile1=保存所有结果到文件"));
    EXPECT_EQ(items(p->mnucmdRetry),
              QStringLiteral("RetryBadProxies1=重试无效代理,RetryTimeouts1=重试超时代理,"
                             "RetryUnknownProxies1=重试未知代理"));
    // The list menu's images are entries 1, 2, 9 and 5 of the image list.
    const QList<QAction *> list = p->mnulstProxy->actions();
    const std::pair<int, int> images[] = {{0, 1}, {1, 2}, {3, 9}, {5, 5}};
    for (const auto &[item, image] : images)
        EXPECT_EQ(list[item]->icon().pixmap(16, 16).toImage(),
                  p->illstProxy[image].toImage().convertToFormat(
                      list[item]->icon().pixmap(16, 16).toImage().format()))
            << item;

    const std::pair<QToolButton *, QMenu *> popups[] = {
        {p->cmdSave, p->mnucmdSave}, {p->cmdClean, p->mnucmdClean}, {p->cmdRetry, p->mnucmdRetry}};
    for (const auto &[button, menu] : popups) {
        EXPECT_FALSE(menu->isVisible());
        button->click();
        EXPECT_TRUE(menu->isVisible()) << button->objectName().toStdString();
        menu->hide();
    }
}

TEST_F(CommandsTest, TypedProxiesAreTakenAsTyped)
{
    inputAnswer = QStringLiteral("1.2.3.4:");
    p->AddProxy1->trigger();
    EXPECT_EQ(inputs.value(0),
              QStringLiteral("Add Proxy|Add Proxy, Use Format: \"xxx.xxx.xxx.xxx:yy\""));
    EXPECT_EQ(Status(), "Added 1 Proxy");
    inputAnswer = QStringLiteral(" no colon ");
    p->AddProxy1->trigger();
    EXPECT_EQ(Proxies(), (Strings{"1.2.3.4:", ": no colon "}));
    EXPECT_EQ(p->lstProxy->model()->rowCount(), 2);

    p->lblStatus->clear();
    inputAnswer.clear(); // an empty answer adds nothing
    p->AddProxy1->trigger();
    inputAnswer = QStringLiteral("5.5.5.5:80");
    inputAccepted = false; // nor does a cancelled box
    p->AddProxy1->trigger();
    EXPECT_EQ(p->AnalyserList.size(), 2u);
    EXPECT_EQ(Status(), "");
}

TEST_F(CommandsTest, TheThreeKindsOfFileLoadAndAppend)
{
    WriteFile(QStringLiteral("plain.txt"), "1.1.1.1:80\r\n2.2.2.2:3128\r\n");
    WriteFile(QStringLiteral("junk.txt"),
              "  3.3.3.3:8080 (elite, checked)\n\n \t\nport 81 on 4.4.4.4\nnothing\n5.5.5.5:\n");
    WriteFile(QStringLiteral("judges.ini"), "[Proxies]\r\nfirst=6.6.6.6:1080\r\n");
    const std::pair<const char *, const char *> loads[] = {
        {"plain.txt", "Loaded 2 Proxies"},
        {"junk.txt", "Loaded 3 Proxies"},
        {"judges.ini", "Loaded 1 Proxies"}, // the section line gives neither host nor port
    };
    for (const auto &[file, message] : loads) {
        fileAnswer = Path(QLatin1String(file));
        p->cmdOpen->click();
        EXPECT_EQ(Status(), message) << file;
    }
    EXPECT_EQ(Proxies(), (Strings{"1.1.1.1:80", "2.2.2.2:3128", "  3.3.3.3:8080", ":814444",
                                  "5.5.5.5:", "first=6.6.6.6:1080"}));
    EXPECT_EQ(fileDialogs.value(0),
              QStringLiteral("Open|Text Files (*.txt);;Ini Files (*.ini);;All Files (*)"));
    EXPECT_EQ(p->lstProxy->model()->rowCount(), 6);

    fileAnswer.clear(); // cancelled
    p->cmdOpen->click();
    EXPECT_EQ(p->AnalyserList.size(), 6u);
    fileAnswer = Path(QStringLiteral("missing.txt"));
    p->cmdOpen->click();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(p->AnalyserList.size(), 6u);
}

TEST_F(CommandsTest, ClipboardLinesEndAtCrLfLfAndCr)
{
    QGuiApplication::clipboard()->setText(
        QStringLiteral("  1.2.3.4:8080 (remark)  \r\n2.2.2.2:81\n3.3.3.3:82\r\r\n   \n4.4.4.4:83"));
    p->cmdExtractClipboard->click();
    EXPECT_EQ(Proxies(), (Strings{"1.2.3.4:8080", "2.2.2.2:81", "3.3.3.3:82", "4.4.4.4:83"}));
    EXPECT_EQ(Status(), "Extracted 4 Proxies From Clipboard");
    QGuiApplication::clipboard()->clear();
    p->cmdExtractClipboard->click();
    EXPECT_EQ(Status(), "Extracted 0 Proxies From Clipboard");
}

TEST_F(CommandsTest, DeletingTheSelectionByMenuAndKeys)
{
    Fill({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
    Select({0, 2});
    p->DeleteProxy1->trigger();
    EXPECT_EQ(Proxies(), (Strings{"b:2", "d:4"}));
    EXPECT_EQ(Status(), "Deleted 2 Proxies");
    EXPECT_EQ(p->lstProxy->model()->rowCount(), 2);

    p->lstProxy->clearSelection();
    QTest::keyClick(p->lstProxy, Qt::Key_Delete);
    EXPECT_EQ(Status(), "Deleted 0 Proxies");
    for (auto modifiers : {Qt::NoModifier, Qt::ControlModifier, Qt::AltModifier}) {
        p->lstProxy->clearSelection();
        QTest::keyClick(p->lstProxy, Qt::Key_A, modifiers);
        EXPECT_EQ(p->lstProxy->selectionModel()->selectedRows().size(), 2);
    }
    QTest::keyClick(p->lstProxy, Qt::Key_Delete);
    EXPECT_EQ(Status(), "Deleted 2 Proxies");
    EXPECT_TRUE(p->AnalyserList.empty());
}

TEST_F(CommandsTest, ColumnSortsFollowTheirRulesInBothDirections)
{
    p->show(); // real clicks on the header need its geometry
    Fill({{"9.9.9.9", "8080", psGood, "9.9.9.9", "950"},
          {"10.0.0.1", "80", psNone, "", ""},
          {"B", "3128", psBad, "Unknown", "87"},
          {"1.1.1.1", "x", psGood, "1.1.1.1", "1200"}});
    QHeaderView *header = p->lstProxy->horizontalHeader();
    const auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    };
    click(0); // the first click on any column ascends
    EXPECT_EQ(Field(&TProxyItem::Host), (Strings{"1.1.1.1", "10.0.0.1", "9.9.9.9", "B"}));
    click(0);
    EXPECT_EQ(Field(&TProxyItem::Host), (Strings{"B", "9.9.9.9", "10.0.0.1", "1.1.1.1"}));
    click(1); // another column keeps the direction: descending by value
    EXPECT_EQ(Field(&TProxyItem::Port), (Strings{"x", "8080", "3128", "80"}));
    click(1);
    EXPECT_EQ(Field(&TProxyItem::Port), (Strings{"80", "3128", "8080", "x"}));
    click(6); // ascending, the proxy without a speed last
    EXPECT_EQ(Field(&TProxyItem::Speed), (Strings{"87", "950", "1200", ""}));
    click(6);
    EXPECT_EQ(Field(&TProxyItem::Speed), (Strings{"1200", "950", "87", ""}));
    click(3); // gateway column, bytes, descending
    EXPECT_EQ(Field(&TProxyItem::RemoteAddr), (Strings{"Unknown", "9.9.9.9", "1.1.1.1", ""}));
    EXPECT_EQ(p->AnalyserSort.Column, 3);
    EXPECT_FALSE(p->AnalyserSort.Ascending);
}

TEST_F(CommandsTest, RemovingDuplicatesReportsEachStepAndAscends)
{
    Fill({{"2.2.2.2", "80"}, {"1.1.1.1", "8080"}, {"2.2.2.2", "80"}, {"1.1.1.1", "80"}});
    p->AnalyserSort = {5, false};
    QStringList steps;
    QObject::connect(p, &TfrmProxy::statusShown, p, [&](const QString &text) { steps << text; });
    p->RemoveDuplicates1->trigger();
    EXPECT_EQ(Proxies(), (Strings{"1.1.1.1:80", "2.2.2.2:80", "1.1.1.1:8080"}));
    EXPECT_EQ(steps,
              (QStringList{QStringLiteral("Sorting List"), QStringLiteral("Removing Duplicates"),
                           QStringLiteral("Removed 1 Duplicates")}));
    EXPECT_EQ(Status(), "Removed 1 Duplicates");
    EXPECT_TRUE(p->AnalyserSort.Ascending);
    EXPECT_EQ(p->AnalyserSort.Column, 5);
    p->lstProxyColumnClick(0); // another column: ascending
    EXPECT_EQ(Field(&TProxyItem::Host), (Strings{"1.1.1.1", "1.1.1.1", "2.2.2.2"}));
    p->RemoveDuplicates1->trigger();
    EXPECT_EQ(Status(), "Removed 0 Duplicates");
}

TEST_F(CommandsTest, CleaningsOnAListHoldingEveryState)
{
    const auto fill = [this] {
        p->ClearProxyList();
        Fill({{"n", "1", psNone, ""},
              {"b", "2", psBad, "b"},
              {"t", "3", psTimeout, ""},
              {"g", "4", psGood, "g"},
              {"u", "5", psUnknown, "Unknown"},
              {"w", "6", psGood, "10.0.0.1"},
              {"b2", "7", psBad, "x"}});
    };
    struct Case
    {
        QAction *action;
        const char *message;
        Strings left;
        const char *again;
    };
    const Case cases[] = {
        {p->DeleteBadProxies1,
         "Deleted 2 Bad Proxies",
         {"n", "t", "g", "u", "w"},
         "Deleted 0 Bad Proxies"},
        {p->DeleteTimeouts1,
         "Deleted 1 Timeouts",
         {"n", "b", "g", "u", "w", "b2"},
         "Deleted 0 Timeouts"},
        {p->DeleteGateways1, "Deleted 5 Gateway Proxies", {"b", "g"}, "Deleted 0 Gateway Proxies"},
        {p->DeleteUnknowns1,
         "Deleted 1 Unknown Proxies",
         {"n", "b", "t", "g", "w", "b2"},
         "Deleted 0 Unknown Proxies"},
    };
    for (const Case &c : cases) {
        fill();
        c.action->trigger();
        EXPECT_EQ(Status(), c.message);
        EXPECT_EQ(Field(&TProxyItem::Host), c.left);
        EXPECT_EQ(p->lstProxy->model()->rowCount(), int(c.left.size()));
        c.action->trigger();
        EXPECT_EQ(Status(), c.again);
    }
}

TEST_F(CommandsTest, RetryCommandsMarkTheirModeAndStartNothingOnAnEmptyList)
{
    const std::pair<QAction *, bool analyser::TCheckRunState::*> retries[] = {
        {p->RetryBadProxies1, &analyser::TCheckRunState::RetryBadMode},
        {p->RetryTimeouts1, &analyser::TCheckRunState::RetryTimeoutMode},
        {p->RetryUnknownProxies1, &analyser::TCheckRunState::RetryUnknownMode},
    };
    for (const auto &[action, mode] : retries) {
        p->RunState = {};
        action->trigger();
        // With an empty list no run starts and the mode stays set.
        EXPECT_TRUE(p->RunState.*mode) << action->objectName().toStdString();
        EXPECT_EQ(int(p->RunState.RetryBadMode) + int(p->RunState.RetryTimeoutMode) +
                      int(p->RunState.RetryUnknownMode),
                  1);
        EXPECT_TRUE(p->cmdStart->isEnabled());
        EXPECT_FALSE(p->cmdAbort->isEnabled());
    }
}

TEST_F(CommandsTest, SavingSelectedOrAllWritesHostAndPortLines)
{
    p->SaveAllToFile1->trigger(); // an empty list asks for no file
    EXPECT_TRUE(fileDialogs.isEmpty());

    Fill({{"1.1.1.1", "80", psGood, "1.1.1.1", "120"}, {" 2.2.2.2", "3128"}, {"h", ""}});
    fileAnswer = Path(QStringLiteral("all.txt"));
    p->SaveAllToFile1->trigger();
    EXPECT_EQ(ReadFile(QStringLiteral("all.txt")),
              QByteArray("1.1.1.1:80\r\n 2.2.2.2:3128\r\nh:\r\n"));
    EXPECT_EQ(Status(), "Saved 3 Proxies");
    EXPECT_EQ(fileDialogs.value(0), QStringLiteral("Save File|Text File (*.txt)"));

    fileAnswer = Path(QStringLiteral("some.txt"));
    Select({2, 0});
    p->SaveSelectedToFile1->trigger();
    EXPECT_EQ(ReadFile(QStringLiteral("some.txt")), QByteArray("1.1.1.1:80\r\nh:\r\n"));
    EXPECT_EQ(Status(), "Saved 2 Proxies");

    p->lstProxy->clearSelection(); // nothing selected: an empty file, 0 saved
    p->SaveSelectedToFile1->trigger();
    EXPECT_EQ(ReadFile(QStringLiteral("some.txt")), QByteArray());
    EXPECT_EQ(Status(), "Saved 0 Proxies");

    fileAnswer.clear(); // cancelled: nothing written
    p->SaveAllToFile1->trigger();
    EXPECT_EQ(Status(), "Saved 0 Proxies");
    fileAnswer = Path(QStringLiteral("no/such/folder/x.txt"));
    p->SaveAllToFile1->trigger();
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(CommandsTest, CopyingPutsTheSelectedLinesOnTheClipboardAndShowsThem)
{
    Fill({{"1.1.1.1", "80"}, {"2.2.2.2", "81"}, {"3.3.3.3", "82"}});
    Select({2, 0});
    p->CopyProxyToClipboard1->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("1.1.1.1:80\r\n3.3.3.3:82\r\n"));
    EXPECT_EQ(informations.value(0),
              QStringLiteral("Copied To Clipboard|1.1.1.1:80\r\n3.3.3.3:82\r\n"));
    p->lstProxy->clearSelection();
    p->CopyProxyToClipboard1->trigger();
    EXPECT_EQ(informations.value(1), QStringLiteral("Copied To Clipboard|"));
}

TEST_F(CommandsTest, ARunningCheckLocksEveryCommandThatChangesTheList)
{
    p->show();
    Fill({{"a", "1", psBad}, {"b", "2", psTimeout}});
    m->ProxyList.push_back({"9.9.9.9", "99"});
    p->SetRunActive(true);
    for (QAction *a : {p->AddProxy1, p->DeleteProxy1, p->RemoveDuplicates1, p->DeleteBadProxies1,
                       p->DeleteTimeouts1, p->DeleteGateways1, p->DeleteUnknowns1,
                       p->RetryBadProxies1, p->RetryTimeouts1, p->RetryUnknownProxies1})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    for (QToolButton *b : {p->cmdOpen, p->cmdClean, p->cmdExtractClipboard, p->cmdRetry})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(p->lstProxy->horizontalHeader()->sectionsClickable());
    // Reading the list stays possible.
    for (QAction *a :
         {p->UseProxyInIE1, p->CopyProxyToClipboard1, p->SaveAllToFile1, p->SaveSelectedToFile1})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(p->cmdSave->isEnabled());

    // Called directly, the handlers leave the list alone too.
    inputAnswer = QStringLiteral("1.1.1.1:1");
    QGuiApplication::clipboard()->setText(QStringLiteral("2.2.2.2:2"));
    fileAnswer = Path(QStringLiteral("x.txt"));
    WriteFile(QStringLiteral("x.txt"), "3.3.3.3:3\r\n");
    Select({0});
    QTest::keyClick(p->lstProxy, Qt::Key_Delete);
    p->AddProxy1Click();
    p->DeleteProxy1Click();
    p->cmdOpenClick();
    p->cmdExtractClipboardClick();
    p->RemoveDuplicates1Click();
    p->DeleteBadProxies1Click();
    p->DeleteGateways1Click();
    p->lstProxyColumnClick(0);
    p->RetryTimeouts1Click();
    EXPECT_FALSE(p->RunState.RetryTimeoutMode);
    EXPECT_EQ(Proxies(), (Strings{"a:1", "b:2"}));

    // Shown again (hidden, not closed: a close stops the run first), the
    // window keeps the list the run works on.
    p->hide();
    p->show();
    EXPECT_EQ(Proxies(), (Strings{"a:1", "b:2"}));

    p->SetRunActive(false);
    p->DeleteBadProxies1->trigger();
    EXPECT_EQ(Proxies(), (Strings{"b:2"}));
    EXPECT_TRUE(p->lstProxy->horizontalHeader()->sectionsClickable());
    EXPECT_TRUE(p->cmdOpen->isEnabled());
}

} // namespace
