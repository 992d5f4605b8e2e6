#include "ui/markicons.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

namespace zt::ui {

namespace {

QPixmap DrawMark(int mark, int size) {
    static const QColor red(0xd0, 0x20, 0x20), blue(0x20, 0x50, 0xd0), yellow(0xf0, 0xc8, 0x10),
        green(0x20, 0xa0, 0x30);
    static const QColor left[6] = {red, red, red, blue, blue, blue};
    static const QColor right[6] = {red, yellow, green, yellow, red, green};
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size / 8.0;
    QRectF disc(m, m, size - 2 * m, size - 2 * m);
    p.setPen(Qt::NoPen);
    p.setBrush(left[mark]);
    p.drawPie(disc, 90 * 16, 180 * 16);
    p.setBrush(right[mark]);
    p.drawPie(disc, -90 * 16, 180 * 16);
    // A light rim and a highlight make the disc read as a button.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 110), size / 16.0));
    p.drawEllipse(disc);
    QRadialGradient shine(disc.center() - QPointF(disc.width() / 5, disc.height() / 5), disc.width() / 2);
    shine.setColorAt(0, QColor(255, 255, 255, 140));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(disc);
    return pm;
}

} // namespace

const QIcon& MarkIcon(int mark) {
    static const std::array<QIcon, 6> icons = [] {
        std::array<QIcon, 6> a;
        for (int i = 0; i < 6; ++i) {
            QIcon icon;
            for (int size : {16, 32}) icon.addPixmap(DrawMark(i, size));
            a[size_t(i)] = icon;
        }
        return a;
    }();
    return icons[size_t(mark >= 0 && mark < 6 ? mark : 0)];
}

} // namespace zt::ui
