#include "Images.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace gui {

namespace {

QPixmap draw(int size, const std::function<void(QPainter &)> &paint)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return pixmap;
}

void computer(QPainter &p)
{
    p.setPen(QColor(60, 60, 60));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(1.5, 1.5, 13, 9)); // monitor
    p.setBrush(QColor(40, 110, 200));
    p.drawRect(QRectF(3.5, 3.5, 9, 5)); // screen
    p.setBrush(QColor(170, 170, 170));
    p.drawRect(QRectF(6.5, 10.5, 3, 2));    // neck
    p.drawRect(QRectF(2.5, 12.5, 11, 2.5)); // base
}

void tick(QPainter &p)
{
    p.setPen(QPen(QColor(20, 150, 30), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    path.moveTo(2.5, 8.5);
    path.lineTo(6.5, 12.5);
    path.lineTo(13.5, 3.5);
    p.drawPath(path);
}

void cross(QPainter &p)
{
    p.setPen(QPen(QColor(210, 25, 25), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void stopwatch(QPainter &p)
{
    p.setPen(QColor(50, 50, 50));
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(QRectF(6.5, 0.5, 3, 2)); // crown
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(50, 50, 50), 1.2));
    p.drawEllipse(QPointF(8, 9.5), 6, 6);
    p.setPen(QPen(QColor(200, 30, 30), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 9.5), QPointF(8, 5.5));
    p.drawLine(QPointF(8, 9.5), QPointF(11, 9.5));
}

void smile(QPainter &p)
{
    p.setPen(QPen(QColor(150, 110, 0), 1));
    p.setBrush(QColor(255, 215, 0));
    p.drawEllipse(QPointF(8, 8), 7, 7);
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(5.5, 6), 1.1, 1.4);
    p.drawEllipse(QPointF(10.5, 6), 1.1, 1.4);
    p.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 5, 8, 7), 200 * 16, 140 * 16);
}

void downArrow(QPainter &p)
{
    p.setPen(QPen(QColor(10, 50, 150), 1));
    p.setBrush(QColor(40, 110, 230));
    QPainterPath path;
    path.moveTo(5.5, 1.5);
    path.lineTo(10.5, 1.5);
    path.lineTo(10.5, 8);
    path.lineTo(14.5, 8);
    path.lineTo(8, 14.5);
    path.lineTo(1.5, 8);
    path.lineTo(5.5, 8);
    path.closeSubpath();
    p.drawPath(path);
}

void question(QPainter &p)
{
    p.setPen(QPen(QColor(30, 70, 160), 1));
    p.setBrush(QColor(225, 235, 255));
    p.drawEllipse(QPointF(8, 8), 7, 7);
    QFont font = p.font();
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(30, 70, 160));
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
}

} // namespace

QList<QPixmap> SiteStateImages()
{
    return {draw(16, computer),  draw(16, tick),  draw(16, cross),
            draw(16, stopwatch), draw(16, smile), draw(16, downArrow)};
}

QList<QPixmap> MenuImages()
{
    auto add = [](QPainter &p) {
        p.setPen(QPen(QColor(20, 140, 40), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 2.5), QPointF(8, 13.5));
        p.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
    };
    auto open = [](QPainter &p) { // a folder
        p.setPen(QColor(140, 100, 20));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 2.5, 5, 2));
    };
    auto save = [](QPainter &p) { // a disk
        p.setPen(QColor(20, 40, 90));
        p.setBrush(QColor(60, 100, 190));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
    };
    auto list = [](QPainter &p) {
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        for (int y : {4, 8, 12})
            p.drawLine(QPointF(3, y), QPointF(13, y));
    };
    auto zero = [](QPainter &p) {
        p.setPen(QPen(QColor(200, 90, 0), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 3.5, 5.5);
    };
    auto copy = [](QPainter &p) { // two pages
        p.setPen(QColor(70, 70, 70));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 8, 10));
        p.drawRect(QRectF(6.5, 4.5, 8, 10));
    };
    return {draw(16, add),  draw(16, cross),     draw(16, open), draw(16, save), SearchGlyph(),
            draw(16, tick), draw(16, stopwatch), draw(16, list), draw(16, zero), draw(16, copy)};
}

QList<QPixmap> ProxyImages()
{
    const QList<QPixmap> menu = MenuImages();
    // 0 none, 1 add, 2 bad / delete, 3 timeout, 4 unused, 5 copy, 6 good,
    // 7 unused, 8 unknown, 9 desktop proxy.
    return {draw(16, computer),  menu[0],      draw(16, cross), draw(16, stopwatch),
            draw(16, downArrow), menu[9],      draw(16, tick),  menu[7],
            draw(16, question),  SearchGlyph()};
}

QPixmap CleanGlyph()
{
    return draw(16, [](QPainter &p) { // a brush sweeping
        p.setPen(QPen(QColor(120, 70, 20), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(13.5, 1.5), QPointF(7.5, 8.5));
        p.setPen(QColor(150, 110, 0));
        p.setBrush(QColor(240, 200, 60));
        QPainterPath head;
        head.moveTo(5, 7);
        head.lineTo(10, 11);
        head.lineTo(6, 15);
        head.lineTo(1, 12);
        head.closeSubpath();
        p.drawPath(head);
    });
}

QPixmap RetryGlyph()
{
    return draw(16, [](QPainter &p) { // a circular arrow
        p.setPen(QPen(QColor(20, 120, 40), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 120, 40));
        QPainterPath head;
        head.moveTo(9, 0.5);
        head.lineTo(14, 3.5);
        head.lineTo(9, 7);
        head.closeSubpath();
        p.drawPath(head);
    });
}

QPixmap OptionsGlyph()
{
    return draw(16, [](QPainter &p) { // a gear
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 90, 100));
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(8, 8);
            p.rotate(i * 45);
            p.drawRect(QRectF(-1.5, -7.5, 3, 4));
            p.restore();
        }
        p.drawEllipse(QPointF(8, 8), 5, 5);
        p.setBrush(QColor(230, 230, 235));
        p.drawEllipse(QPointF(8, 8), 2, 2);
    });
}

QPixmap AnalyserGlyph()
{
    // Drawn on magenta, the button's transparent colour.
    QPixmap glyph = draw(16, [](QPainter &p) {
        p.fillRect(0, 0, 16, 16, QColor(255, 0, 255));
        p.setPen(QPen(QColor(40, 40, 40), 1.6));
        p.setBrush(QColor(190, 225, 255));
        p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5); // magnifier
        p.setPen(QPen(QColor(120, 70, 20), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    });
    QImage image = glyph.toImage();
    const QRgb magenta = qRgb(255, 0, 255);
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (magenta & 0xFFFFFF))
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
    return QPixmap::fromImage(image);
}

QPixmap ClipboardGlyph()
{
    return draw(16, [](QPainter &p) {
        p.setPen(QColor(90, 60, 20));
        p.setBrush(QColor(200, 150, 80));
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 13), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 5.5, 7, 8));
        p.setBrush(QColor(150, 150, 150));
        p.drawRect(QRectF(5.5, 1.5, 5, 3));
    });
}

QPixmap SearchGlyph()
{
    return draw(16, [](QPainter &p) { // a globe
        p.setPen(QPen(QColor(20, 80, 160), 1));
        p.setBrush(QColor(120, 190, 250));
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 3, 6.5);
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    });
}

QImage AppIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0); // drawn on a 16 x 16 grid
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(18, 40, 82));
    p.drawRoundedRect(QRectF(0, 0, 16, 16), 3, 3);
    p.setPen(QPen(QColor(255, 190, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath v;
    v.moveTo(3.5, 4);
    v.lineTo(8, 12.5);
    v.lineTo(12.5, 4);
    p.drawPath(v);
    return image;
}

QPixmap AppIcon()
{
    return QPixmap::fromImage(AppIconImage(16));
}

QIcon AppIconSet()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
    return icon;
}

} // namespace gui
