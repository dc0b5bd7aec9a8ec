#include "ProgramStart.h"

#include "CloseOnSignal.h"
#include "CommandLine.h"
#include "Dialogs.h"
#include "Language.h"
#include "Startup.h"
#include "TfrmLeecher.h"
#include "settings/DataFolder.h"
#include "tray/NotifyIcon.h"
#include "util/SingleInstance.h"

#include <QApplication>

#include <cstdio>

#ifndef VEXO_APP_ID
#define VEXO_APP_ID "vexo"
#endif

namespace gui {

const char *const AppId = VEXO_APP_ID;

namespace {

void Print(std::FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

} // namespace

void ConnectProgram(util::TSingleInstance &instance, TfrmLeecher &main)
{
    QObject::connect(&instance, &util::TSingleInstance::Activated, &main,
                     [&main] { main.NotifyIcon->BringOwnerBack(); });
}

int StartProgram(QApplication &app)
{
    const TCommandLine command = ParseCommandLine(QCoreApplication::arguments());
    if (!command.error.isEmpty()) {
        Print(stderr, QStringLiteral("vexo: %1\nTry 'vexo --help'.\n").arg(command.error));
        return 2;
    }
    if (command.help) {
        Print(stdout, command.helpText);
        return 0;
    }
    if (command.version) {
        Print(stdout, command.versionText);
        return 0;
    }
    // Before any window exists: captions are translated when they are made.
    if (!InstallLanguage(command.language.value_or(DesktopLanguage())))
        Print(stderr, QStringLiteral("vexo: the English captions cannot be loaded; the windows "
                                     "stay Chinese.\n"));

    const settings::TDataFolder folder = settings::DataFolder(command.dir);
    if (!folder.error.isEmpty()) {
        // Started from the menu nobody sees standard error: say it in a box too.
        Print(stderr, QStringLiteral("vexo: %1\n").arg(folder.error));
        Dialogs().error(nullptr, folder.error);
        return 1;
    }

    // Taken over before anything can be seen from outside (the lock file), so
    // that an end signal from then on closes the windows in order.
    TCloseOnSignal closer;
    util::TSingleInstance instance(folder.path);
    if (instance.Start() == util::TSingleInstance::TStart::AlreadyRunning) {
        if (!instance.HandedOver()) {
            Print(stderr, QStringLiteral("vexo: %1\n").arg(instance.Warning()));
            Dialogs().error(nullptr, instance.Warning());
            return 1;
        }
        Print(stderr, QStringLiteral("Vexo already runs with the data folder %1; it has been "
                                     "brought to the front.\n")
                          .arg(folder.path));
        return 0;
    }
    if (!instance.Warning().isEmpty())
        Print(stderr, QStringLiteral("vexo: %1\n").arg(instance.Warning()));

    // Lets the desktop match the windows with the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(AppId));
    return RunProgram(app, folder.path, [&instance, &closer](TWindows &w) {
        ConnectProgram(instance, *w.leecher);
        closer.SetWindow(w.leecher.get());
    });
}

} // namespace gui
