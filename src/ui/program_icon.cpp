#include "ui/program_icon.h"

#include <QPainter>
#include <QPixmap>

namespace quorix {

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        p.setPen(QPen(QColor(0x1f, 0x3a, 0x5f), 3));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(6, 10, 52, 46), 4, 4);
        p.setBrush(QColor(0x2e, 0x7d, 0x32));
        p.drawRect(QRectF(6, 10, 52, 14));
        p.setPen(QPen(QColor(0x1f, 0x3a, 0x5f), 2));
        for (int y : {35, 45}) p.drawLine(QPointF(6, y), QPointF(58, y));
        for (int x : {24, 41}) p.drawLine(QPointF(x, 24), QPointF(x, 56));
        p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF() << QPointF(24, 13) << QPointF(19, 17) << QPointF(24, 21));
        p.drawPolyline(QPolygonF() << QPointF(40, 13) << QPointF(45, 17) << QPointF(40, 21));
        p.drawLine(QPointF(34, 12.5), QPointF(30, 21.5));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace quorix
