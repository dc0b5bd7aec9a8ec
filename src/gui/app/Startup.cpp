#include "Startup.h"

#include "TfrmLeecher.h"
#include "TfrmSplash.h"
#include "analyser/TfrmProxy.h"
#include "settings/TfrmOptions.h"
#include "util/TickCount.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

namespace gui {

TWindows::TWindows() = default;
TWindows::TWindows(TWindows &&) noexcept = default;
TWindows &TWindows::operator=(TWindows &&) noexcept = default;

TWindows::~TWindows()
{
    // Destroying a window runs no close handler, so changes made in the two
    // secondary windows since they were last closed are not written.
    proxy.reset();
    options.reset();
    leecher.reset();
}

TWindows CreateWindows(const QString &folder)
{
    TWindows w;
    w.leecher = std::make_unique<TfrmLeecher>(folder);
    w.options = std::make_unique<TfrmOptions>(folder);
    w.proxy = std::make_unique<TfrmProxy>(folder);
    w.leecher->SetOptionsWindow(w.options.get());
    w.leecher->SetProxyWindow(w.proxy.get());
    w.proxy->SetMainProxyList(&w.leecher->ProxyList);
    return w;
}

void HoldSince(quint32 t0, qint64 holdMs)
{
    for (;;) {
        const qint64 elapsed = util::TicksSince(t0, util::GetTickCount());
        if (elapsed > holdMs)
            return;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(holdMs - elapsed + 1, 20)));
    }
}

int RunProgram(QApplication &app, const QString &folder,
               const std::function<void(TWindows &)> &prepare)
{
    auto splash = std::make_unique<TfrmSplash>();
    splash->show();
    QCoreApplication::processEvents(); // map the window so it can be painted now
    splash->repaint();
    const quint32 t0 = util::GetTickCount();

    QApplication::setApplicationName(QStringLiteral("Vexo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vexo 1.3"));
    // The main window decides when the program ends, not the last visible window.
    QApplication::setQuitOnLastWindowClosed(false);

    TWindows windows = CreateWindows(folder);
    if (prepare)
        prepare(windows);
    // exit(), not quit(): quitting would first close every other window and
    // so run their close handlers, which must not write at program end.
    QObject::connect(
        windows.leecher.get(), &TfrmLeecher::MainFormClosed, &app,
        [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    HoldSince(t0);
    splash.reset();

    windows.leecher->show();
    QTimer::singleShot(0, windows.leecher.get(), &TfrmLeecher::OfferStarterSites);
    return app.exec();
}

} // namespace gui
