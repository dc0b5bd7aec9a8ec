#include "NotifyIcon.h"

#include <QCursor>
#include <QEvent>
#include <QSystemTrayIcon>
#include <QWidget>

TNotifyIcon::TNotifyIcon(QObject *owner) : QObject(owner)
{
    TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    connect(&FAnimation, &QTimer::timeout, this, [this] {
        if (!FImages.isEmpty())
            FFrame = (FFrame + 1) % static_cast<int>(FImages.size());
        UpdateIcon();
    });
}

TNotifyIcon::~TNotifyIcon()
{
    SetActive(false);
    if (QWidget *w = OwnerWindow())
        w->removeEventFilter(this);
}

QWidget *TNotifyIcon::OwnerWindow() const
{
    auto *w = qobject_cast<QWidget *>(parent());
    return w && w->isWindow() ? w : nullptr;
}

QString TNotifyIcon::Tip() const
{
    return FHint.left(63);
}

void TNotifyIcon::SetActive(bool active)
{
    if (active == FActive)
        return;
    FActive = active;
    if (active) {
        FTray = new QSystemTrayIcon(this);
        connect(FTray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    switch (reason) {
                    case QSystemTrayIcon::Trigger:
                        Click(Qt::LeftButton);
                        break;
                    case QSystemTrayIcon::Context:
                        Click(Qt::RightButton);
                        break;
                    case QSystemTrayIcon::MiddleClick:
                        Click(Qt::MiddleButton);
                        break;
                    case QSystemTrayIcon::DoubleClick:
                        DoubleClick();
                        break;
                    default:
                        break;
                    }
                });
        FFrame = FIconIndex;
        UpdateIcon();
        FTray->show();
        if (FAnimated)
            FAnimation.start(FAnimateDelay);
    } else {
        FAnimation.stop();
        delete FTray;
        FTray = nullptr;
    }
}

void TNotifyIcon::UpdateIcon()
{
    if (!FTray)
        return;
    FTray->setToolTip(Tip());
    const int index = FAnimated ? FFrame : FIconIndex;
    if (index >= 0 && index < FImages.size())
        FTray->setIcon(QIcon(FImages[index]));
}

void TNotifyIcon::SetHint(const QString &hint)
{
    FHint = hint;
    UpdateIcon();
}

void TNotifyIcon::SetIconIndex(int index)
{
    FIconIndex = index;
    UpdateIcon();
}

void TNotifyIcon::SetImageList(const QList<QPixmap> &images)
{
    FImages = images;
    FFrame = 0;
    UpdateIcon();
}

void TNotifyIcon::SetAnimated(bool animated)
{
    FAnimated = animated;
    if (animated && FActive)
        FAnimation.start(FAnimateDelay);
    else
        FAnimation.stop();
    UpdateIcon();
}

void TNotifyIcon::SetAnimateDelay(int ms)
{
    FAnimateDelay = ms;
    if (FAnimation.isActive())
        FAnimation.start(ms);
}

void TNotifyIcon::SetMinFormToTray(bool on)
{
    QWidget *owner = OwnerWindow();
    if (on && !owner)
        throw ENotifyIconError("Owner must be a form");
    if (on == FMinFormToTray)
        return;
    FMinFormToTray = on;
    if (on) {
        owner->installEventFilter(this);
    } else {
        if (owner)
            owner->removeEventFilter(this);
        // Tray mode off while the window waits in the tray: bring it back, or
        // the icon would be its only way out and no longer restores it.
        if (FHidOwner)
            RestoreOwner();
    }
}

bool TNotifyIcon::eventFilter(QObject *watched, QEvent *event)
{
    QWidget *owner = OwnerWindow();
    if (FMinFormToTray && watched == owner && event->type() == QEvent::WindowStateChange &&
        owner->isMinimized() && TrayAvailable && TrayAvailable()) {
        // Taken over: the window leaves the task bar and the icon appears.
        FHidOwner = true;
        QTimer::singleShot(0, owner, [this, owner] {
            if (FHidOwner) // not restored in the meantime
                owner->hide();
        });
        SetActive(true);
    }
    return QObject::eventFilter(watched, event);
}

void TNotifyIcon::RestoreOwner()
{
    FHidOwner = false;
    if (QWidget *owner = OwnerWindow()) {
        owner->showNormal();
        owner->raise();
        owner->activateWindow();
        owner->update();
    }
    SetActive(false);
}

void TNotifyIcon::BringOwnerBack()
{
    if (FHidOwner) {
        RestoreOwner();
        return;
    }
    if (QWidget *owner = OwnerWindow()) {
        // Keeps a maximised window maximised; only the minimise is undone.
        owner->setWindowState(owner->windowState() & ~Qt::WindowMinimized);
        owner->show();
        owner->raise();
        owner->activateWindow();
    }
}

void TNotifyIcon::Click(Qt::MouseButton button)
{
    const QPoint at = QCursor::pos();
    if (OnMouseDown)
        OnMouseDown(this, button, at);
    if (OnMouseUp)
        OnMouseUp(this, button, at);
    // No pop-up menu is offered, so only the left button does anything.
    if (button == Qt::LeftButton && FMinFormToTray)
        RestoreOwner();
}

void TNotifyIcon::DoubleClick()
{
    if (OnDblClick)
        OnDblClick(this);
}
