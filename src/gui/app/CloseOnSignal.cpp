#include "CloseOnSignal.h"

#include <QWidget>

namespace gui {

TCloseOnSignal::TCloseOnSignal(QObject *parent) : QObject(parent)
{
    connect(&FSignals, &util::TStopSignals::stopAsked, this, &TCloseOnSignal::SignalArrived);
}

void TCloseOnSignal::SetWindow(QWidget *window)
{
    FWindow = window;
    if (FPending && FWindow) {
        FPending = false;
        // Once the program runs its message loop, as a signal would be seen.
        QMetaObject::invokeMethod(FWindow, &QWidget::close, Qt::QueuedConnection);
    }
}

void TCloseOnSignal::SignalArrived()
{
    if (FWindow)
        FWindow->close();
    else
        FPending = true;
}

} // namespace gui
