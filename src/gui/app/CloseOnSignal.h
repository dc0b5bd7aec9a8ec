// Ends the program in order when the system asks it to (SIGTERM at logout or
// from `kill`, SIGINT from Ctrl+C in a terminal, SIGHUP when the terminal
// goes): the window is closed as if by its close box, so its close handler
// writes the settings and the site list as on any other exit. A second such
// signal during that close ends the program at once, as before.
#pragma once

#include "util/StopSignals.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace gui {

class TCloseOnSignal : public QObject
{
    Q_OBJECT
public:
    // Watches the signals for the life of this object (one watcher at a
    // time). A signal that comes before the window is known waits for it.
    explicit TCloseOnSignal(QObject *parent = nullptr);

    // The window to close.
    void SetWindow(QWidget *window);

private:
    void SignalArrived();

    // One signal is taken over: from then on a signal ends the program at
    // once, the way out when the close itself hangs, say on an error box
    // nobody answers.
    util::TStopSignals FSignals{1};
    QPointer<QWidget> FWindow;
    bool FPending = false; // a signal came before the window
};

} // namespace gui
