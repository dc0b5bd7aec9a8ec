#include "TfrmSplash.h"

#include "JpegImage.h"

#include <QFile>
#include <QPainter>

// The resources live in a static library: register them before first use.
static void initResources()
{
    Q_INIT_RESOURCE(app);
}

TfrmSplash::TfrmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(ClientWidth, ClientHeight);
    initResources();
    QFile picture(QStringLiteral(":/app/splash.jpg"));
    if (picture.open(QIODevice::ReadOnly))
        FPicture = gui::DecodeJpeg(picture.readAll());
}

void TfrmSplash::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, ClientWidth - 1, ClientHeight - 1); // one-pixel frame
    if (!FPicture.isNull())
        painter.drawImage(1, 1, FPicture);
}
