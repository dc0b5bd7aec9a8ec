// The tray component: hides its owner window to the notification area when
// the owner is minimised (while MinFormToTray is on) and brings it back on a
// left click. Where the desktop has no tray, minimising stays a normal minimise.
#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QTimer>

#include <functional>
#include <stdexcept>

class QSystemTrayIcon;
class QWidget;

class ENotifyIconError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TNotifyIcon : public QObject
{
    Q_OBJECT
public:
    explicit TNotifyIcon(QObject *owner);
    ~TNotifyIcon() override;

    bool Active() const { return FActive; }
    void SetActive(bool active);
    QString Hint() const { return FHint; }
    void SetHint(const QString &hint);
    int IconIndex() const { return FIconIndex; }
    void SetIconIndex(int index);
    const QList<QPixmap> &ImageList() const { return FImages; }
    void SetImageList(const QList<QPixmap> &images);
    bool MinFormToTray() const { return FMinFormToTray; }
    // Raises ENotifyIconError "Owner must be a form" when the owner is not a window.
    void SetMinFormToTray(bool on);
    bool Animated() const { return FAnimated; }
    void SetAnimated(bool animated);
    int AnimateDelay() const { return FAnimateDelay; }
    void SetAnimateDelay(int ms);

    // The mouse events of the icon: button and cursor position.
    std::function<void(TNotifyIcon *, Qt::MouseButton, QPoint)> OnMouseDown;
    std::function<void(TNotifyIcon *, Qt::MouseButton, QPoint)> OnMouseUp;
    std::function<void(TNotifyIcon *)> OnDblClick;

    // Whether the desktop shows tray icons; replaceable for tests.
    std::function<bool()> TrayAvailable;

    // The icon was clicked with `button` (as the tray reports it).
    void Click(Qt::MouseButton button);
    void DoubleClick();
    // Brings the owner window back to the front: out of the tray when it
    // waits there, out of a minimise, shown when hidden.
    void BringOwnerBack();
    // The tip the icon shows: the hint cut to 63 characters.
    QString Tip() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *OwnerWindow() const;
    void UpdateIcon();
    void RestoreOwner();

    QSystemTrayIcon *FTray = nullptr;
    QTimer FAnimation;
    QList<QPixmap> FImages;
    QString FHint;
    int FIconIndex = 0;
    int FFrame = 0;
    int FAnimateDelay = 50;
    bool FActive = false;
    bool FMinFormToTray = false;
    bool FAnimated = false;
    bool FHidOwner = false;
};
