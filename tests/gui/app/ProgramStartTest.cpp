#include "support/EventLoop.h"
#include "support/WindowFixture.h"

#include "app/CloseOnSignal.h"
#include "app/CommandLine.h"
#include "app/ProgramStart.h"
#include "app/TfrmLeecher.h"
#include "tray/NotifyIcon.h"
#include "util/SingleInstance.h"

#include <QSignalSpy>

#include <csignal>

namespace {

QStringList Args(std::initializer_list<const char *> list)
{
    QStringList args{QStringLiteral("vexo")};
    for (const char *a : list)
        args << QString::fromUtf8(a);
    return args;
}

TEST(CommandLineTest, TheDataFolderOptionAndWhatCannotBeFollowed)
{
    EXPECT_FALSE(gui::ParseCommandLine(Args({})).dir.has_value());
    EXPECT_TRUE(gui::ParseCommandLine(Args({})).error.isEmpty());
    EXPECT_EQ(gui::ParseCommandLine(Args({"--dir", "/tmp/a b"})).dir, QStringLiteral("/tmp/a b"));
    EXPECT_EQ(gui::ParseCommandLine(Args({"--dir=rel"})).dir, QStringLiteral("rel"));

    const gui::TCommandLine help = gui::ParseCommandLine(Args({"--help"}));
    EXPECT_TRUE(help.help);
    EXPECT_TRUE(help.helpText.contains(QStringLiteral("--dir <folder>")));
    EXPECT_TRUE(gui::ParseCommandLine(Args({"--version"})).version);

    for (auto bad : {Args({"--frobnicate"}), Args({"stray"}), Args({"--dir"}), Args({"--dir="}),
                     Args({"--dir", "a", "--dir", "b"})}) {
        const gui::TCommandLine parsed = gui::ParseCommandLine(bad);
        EXPECT_FALSE(parsed.error.isEmpty()) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(parsed.dir.has_value());
    }
}

using ProgramStartTest = WindowFixture;

TEST_F(ProgramStartTest, ASecondStartBringsTheRunningWindowBack)
{
    gui::TWindows w = Start();
    TfrmLeecher &main = *w.leecher;
    util::TSingleInstance running(dir.path());
    ASSERT_EQ(running.Start(), util::TSingleInstance::TStart::First);
    gui::ConnectProgram(running, main);
    auto startAgain = [&] {
        util::TSingleInstance second(dir.path());
        EXPECT_EQ(second.Start(), util::TSingleInstance::TStart::AlreadyRunning);
    };

    // Minimised, and maximised before that: it comes back maximised.
    main.showMaximized();
    main.setWindowState(main.windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(main.isMinimized());
    startAgain();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !main.isMinimized(); }));
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(main.isMaximized());

    // Waiting in the tray while automation runs: out of the tray again.
    main.showNormal();
    main.NotifyIcon->TrayAvailable = [] { return true; };
    main.NotifyIcon->SetMinFormToTray(true);
    main.showMinimized();
    ASSERT_TRUE(testsupport::waitUntil([&] { return main.isHidden(); }));
    ASSERT_TRUE(main.NotifyIcon->Active());
    startAgain();
    ASSERT_TRUE(testsupport::waitUntil([&] { return main.isVisible(); }));
    EXPECT_FALSE(main.isMinimized());
    EXPECT_FALSE(main.NotifyIcon->Active());
    main.NotifyIcon->SetMinFormToTray(false);

    // Closed: the next start is free to run.
    main.close();
}

TEST_F(ProgramStartTest, TheSystemsEndSignalClosesTheWindowInOrder)
{
    gui::TWindows w = Start();
    QSignalSpy closed(w.leecher.get(), &TfrmLeecher::MainFormClosed);
    {
        gui::TCloseOnSignal closer;
        // A signal before the window is known waits for it.
        ASSERT_EQ(::raise(SIGTERM), 0);
        testsupport::drainPosted();
        closer.SetWindow(w.leecher.get());
        w.leecher->show();
        ASSERT_TRUE(testsupport::waitUntil([&] { return closed.size() == 1; }));
    }
    // The close handler ran: section "Main" is in Options.ini as on any exit.
    EXPECT_TRUE(ReadFile(QStringLiteral("Options.ini")).contains("[Main]"));
    EXPECT_FALSE(w.leecher->isVisible());

    // The watcher's end gave the signals their default action back; a new
    // one takes them over again, and closes a window waiting in the tray.
    gui::TWindows again = Start();
    QSignalSpy closedAgain(again.leecher.get(), &TfrmLeecher::MainFormClosed);
    gui::TCloseOnSignal closer;
    closer.SetWindow(again.leecher.get());
    again.leecher->hide();
    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_TRUE(testsupport::waitUntil([&] { return closedAgain.size() == 1; }));
}

} // namespace
