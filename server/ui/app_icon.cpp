#include "server/ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>

QPixmap AppIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // A nine-pin serial plug: a trapezoid with two rows of pins.
    QPainterPath plug;
    plug.moveTo(3, 5);
    plug.lineTo(23, 5);
    plug.lineTo(20, 17);
    plug.lineTo(6, 17);
    plug.closeSubpath();
    p.setPen(QPen(QColor(40, 40, 60), 1.2));
    p.setBrush(QColor(170, 180, 200));
    p.drawPath(plug);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 60));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(6.5 + i * 3.25, 9), 1.1, 1.1);
    for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(8.2 + i * 3.25, 13), 1.1, 1.1);

    // The network side: a globe-like circle with an arrow from the plug.
    p.setPen(QPen(QColor(0, 90, 170), 1.6));
    p.setBrush(QColor(200, 225, 250));
    p.drawEllipse(QPointF(24, 24), 6.5, 6.5);
    p.drawLine(QPointF(17.5, 24), QPointF(30.5, 24));
    p.drawEllipse(QPointF(24, 24), 2.8, 6.5);
    p.setPen(QPen(QColor(0, 90, 170), 2.0));
    p.drawLine(QPointF(13, 18), QPointF(13, 24));
    p.drawLine(QPointF(13, 24), QPointF(16.5, 24));
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(AppIconPixmap(size));
    return icon;
}
