#include "ui/icons.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

#include <map>

#include "ui/commands.h"

namespace zt::ui {

namespace {

const QColor kInk(0x30, 0x40, 0x60);
const QColor kPaper(0xfa, 0xfa, 0xf4);
const QColor kAccent(0x2a, 0x7a, 0xd0);
const QColor kGreen(0x2a, 0x9a, 0x40);

using Painter = void (*)(QPainter&);

void Page(QPainter& p, QRectF r = QRectF(3, 1.5, 10, 13)) {
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 3, r.top());
    path.lineTo(r.right(), r.top() + 3);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawPath(path);
}

void Lines(QPainter& p, qreal x, qreal y, int n, qreal w) {
    p.setPen(QPen(QColor(0x90, 0x98, 0xa8), 1));
    for (int i = 0; i < n; ++i) p.drawLine(QPointF(x, y + i * 2.5), QPointF(x + w, y + i * 2.5));
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& c) {
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    QLineF l(to, from);
    QLineF a = l;
    a.setLength(4.5);
    a.setAngle(l.angle() + 40);
    QLineF b = l;
    b.setLength(4.5);
    b.setAngle(l.angle() - 40);
    p.drawLine(a);
    p.drawLine(b);
}

void Letter(QPainter& p, const QString& s, bool bold, bool italic, bool underline) {
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPixelSize(13);
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    p.setFont(f);
    p.setPen(kInk);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, s);
}

void Align(QPainter& p, int mode) {
    p.setPen(QPen(kInk, 1.2));
    const qreal widths[] = {12, 8, 12, 6, 10};
    for (int i = 0; i < 5; ++i) {
        qreal w = widths[i];
        qreal x = mode == 0 ? 2 : mode == 1 ? 8 - w / 2 : 14 - w;
        p.drawLine(QPointF(x, 3 + i * 2.5), QPointF(x + w, 3 + i * 2.5));
    }
}

void TreeShape(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(4, 4), QPointF(4, 12));
    p.drawLine(QPointF(4, 8), QPointF(8, 8));
    p.drawLine(QPointF(4, 12), QPointF(8, 12));
    p.setBrush(kAccent);
    p.drawRect(QRectF(2, 2, 4, 3));
    p.drawRect(QRectF(8, 6.5, 5, 3));
    p.drawRect(QRectF(8, 10.5, 5, 3));
}

QIcon Draw(Painter f) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pm(16 * scale, 16 * scale);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(scale, scale);
            f(p);
        }
        pm.setDevicePixelRatio(scale);
        icon.addPixmap(pm);
    }
    return icon;
}

const std::map<int, Painter>& Painters() {
    static const std::map<int, Painter> painters = {
        {ID_FILE_NEW, [](QPainter& p) { Page(p); }},
        {ID_FILE_OPEN,
         [](QPainter& p) {
             p.setPen(QPen(QColor(0x8a, 0x6a, 0x20), 1));
             p.setBrush(QColor(0xf0, 0xc8, 0x50));
             p.drawRect(QRectF(1.5, 4.5, 13, 9));
             p.setBrush(QColor(0xf8, 0xdc, 0x80));
             QPolygonF flap({QPointF(1.5, 13.5), QPointF(4, 7.5), QPointF(15, 7.5), QPointF(12.5, 13.5)});
             p.drawPolygon(flap);
         }},
        {ID_FILE_SAVE,
         [](QPainter& p) {
             p.setPen(QPen(kInk, 1));
             p.setBrush(kAccent);
             p.drawRoundedRect(QRectF(2, 2, 12, 12), 1.5, 1.5);
             p.setBrush(kPaper);
             p.drawRect(QRectF(4.5, 2, 7, 5));
             p.setBrush(QColor(0xd0, 0xd8, 0xe0));
             p.drawRect(QRectF(4.5, 9.5, 7, 4.5));
         }},
        {ID_EDIT_CUT,
         [](QPainter& p) {
             p.setPen(QPen(kInk, 1.3));
             p.drawLine(QPointF(5, 2), QPointF(10, 10));
             p.drawLine(QPointF(11, 2), QPointF(6, 10));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(5, 12), 2.3, 2.3);
             p.drawEllipse(QPointF(11, 12), 2.3, 2.3);
         }},
        {ID_EDIT_COPY,
         [](QPainter& p) {
             Page(p, QRectF(1.5, 1.5, 8, 10));
             Page(p, QRectF(6.5, 4.5, 8, 10));
             Lines(p, 8, 8, 3, 5);
         }},
        {ID_EDIT_PASTE,
         [](QPainter& p) {
             p.setPen(QPen(QColor(0x8a, 0x6a, 0x20), 1));
             p.setBrush(QColor(0xd8, 0xb0, 0x60));
             p.drawRoundedRect(QRectF(2, 2.5, 10, 12), 1, 1);
             p.setBrush(QColor(0x90, 0x90, 0x90));
             p.drawRect(QRectF(5, 1.5, 4, 2.5));
             Page(p, QRectF(7, 6, 7.5, 9));
         }},
        {ID_FILE_PRINT,
         [](QPainter& p) {
             Page(p, QRectF(4, 1.5, 8, 6));
             p.setPen(QPen(kInk, 1));
             p.setBrush(QColor(0xb8, 0xc0, 0xc8));
             p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1, 1);
             p.setBrush(kPaper);
             p.drawRect(QRectF(4, 10.5, 8, 4));
         }},
        {ID_SEARCH_REPLACE,
         [](QPainter& p) {
             p.setPen(QPen(kInk, 1.6));
             p.setBrush(QColor(0xd8, 0xe8, 0xf8));
             p.drawEllipse(QPointF(6.5, 6.5), 4, 4);
             p.setPen(QPen(kInk, 2.4, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
         }},
        {ID_INSERT_DATETIME,
         [](QPainter& p) {
             p.setPen(QPen(kInk, 1));
             p.setBrush(kPaper);
             p.drawEllipse(QPointF(8, 8), 6.2, 6.2);
             p.setPen(QPen(kInk, 1.4, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(8, 8), QPointF(8, 4));
             p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
         }},
        {ID_HELP,
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(kAccent);
             p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
             QFont f(QStringLiteral("DejaVu Sans"));
             f.setPixelSize(11);
             f.setBold(true);
             p.setFont(f);
             p.setPen(Qt::white);
             p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
         }},
        {ID_TREE_NEW_MEMO,
         [](QPainter& p) {
             Page(p, QRectF(2.5, 1.5, 9, 12));
             Lines(p, 4.5, 5, 3, 5);
             p.setPen(QPen(kGreen, 2));
             p.drawLine(QPointF(12, 9), QPointF(12, 15));
             p.drawLine(QPointF(9, 12), QPointF(15, 12));
         }},
        {ID_TREE_SORT,
         [](QPainter& p) {
             QFont f(QStringLiteral("DejaVu Sans"));
             f.setPixelSize(7);
             f.setBold(true);
             p.setFont(f);
             p.setPen(kInk);
             p.drawText(QRectF(0, 0, 9, 8), Qt::AlignCenter, QStringLiteral("A"));
             p.drawText(QRectF(0, 8, 9, 8), Qt::AlignCenter, QStringLiteral("Z"));
             Arrow(p, QPointF(12, 2), QPointF(12, 14), kAccent);
         }},
        {ID_NAV_BACK, [](QPainter& p) { Arrow(p, QPointF(14, 8), QPointF(2.5, 8), kGreen); }},
        {ID_NAV_FORWARD, [](QPainter& p) { Arrow(p, QPointF(2, 8), QPointF(13.5, 8), kGreen); }},
        {ID_NAV_PARENT, [](QPainter& p) { Arrow(p, QPointF(8, 14), QPointF(8, 2.5), kAccent); }},
        {ID_NAV_CHILD, [](QPainter& p) { Arrow(p, QPointF(8, 2), QPointF(8, 13.5), kAccent); }},
        {ID_NAV_PREV_PAGE,
         [](QPainter& p) {
             Page(p, QRectF(5.5, 5.5, 9, 9.5));
             Arrow(p, QPointF(4, 12), QPointF(4, 1.5), kAccent);
         }},
        {ID_NAV_NEXT_PAGE,
         [](QPainter& p) {
             Page(p, QRectF(5.5, 1, 9, 9.5));
             Arrow(p, QPointF(4, 4), QPointF(4, 14.5), kAccent);
         }},
        {ID_CHAR_BOLD, [](QPainter& p) { Letter(p, QStringLiteral("F"), true, false, false); }},
        {ID_CHAR_ITALIC, [](QPainter& p) { Letter(p, QStringLiteral("K"), false, true, false); }},
        {ID_CHAR_UNDERLINE, [](QPainter& p) { Letter(p, QStringLiteral("U"), false, false, true); }},
        {ID_PARA_LEFT, [](QPainter& p) { Align(p, 0); }},
        {ID_PARA_CENTER, [](QPainter& p) { Align(p, 1); }},
        {ID_PARA_RIGHT, [](QPainter& p) { Align(p, 2); }},
        {ID_INDENT_LESS,
         [](QPainter& p) {
             Lines(p, 7, 3, 5, 7);
             Arrow(p, QPointF(6, 8), QPointF(1.5, 8), kAccent);
         }},
        {ID_INDENT_MORE,
         [](QPainter& p) {
             Lines(p, 7, 3, 5, 7);
             Arrow(p, QPointF(1, 8), QPointF(5.5, 8), kAccent);
         }},
        {ID_BULLET,
         [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(kInk);
             for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(3, 3.5 + i * 4.5), 1.3, 1.3);
             p.setPen(QPen(kInk, 1.2));
             for (int i = 0; i < 3; ++i) p.drawLine(QPointF(6, 3.5 + i * 4.5), QPointF(14, 3.5 + i * 4.5));
         }},
        {ID_FONT_TAKE_DEFAULT,
         [](QPainter& p) {
             Letter(p, QStringLiteral("A"), true, false, false);
             p.setPen(QPen(kGreen, 1.5));
             p.drawLine(QPointF(11, 14), QPointF(15, 10));
         }},
        {ID_FONT_USE_DEFAULT,
         [](QPainter& p) {
             Letter(p, QStringLiteral("A"), false, false, false);
             p.setPen(QPen(kAccent, 1.5));
             p.drawLine(QPointF(1, 14.5), QPointF(15, 14.5));
         }},
    };
    return painters;
}

// The move buttons: the tree shape with an arrow in the direction of the move.
QIcon MoveIcon(int id) {
    static std::map<int, QIcon> cache;
    auto it = cache.find(id);
    if (it != cache.end()) return it->second;
    Painter f = nullptr;
    switch (id) {
    case ID_TREE_LEFT:
        f = [](QPainter& p) {
            TreeShape(p);
            Arrow(p, QPointF(15, 3), QPointF(9, 3), kGreen);
        };
        break;
    case ID_TREE_RIGHT:
        f = [](QPainter& p) {
            TreeShape(p);
            Arrow(p, QPointF(8.5, 3), QPointF(14.5, 3), kGreen);
        };
        break;
    case ID_TREE_UP:
        f = [](QPainter& p) {
            Page(p, QRectF(1.5, 5, 8, 9.5));
            Arrow(p, QPointF(13, 14), QPointF(13, 2.5), kGreen);
        };
        break;
    case ID_TREE_DOWN:
        f = [](QPainter& p) {
            Page(p, QRectF(1.5, 1.5, 8, 9.5));
            Arrow(p, QPointF(13, 2), QPointF(13, 13.5), kGreen);
        };
        break;
    default:
        return {};
    }
    return cache[id] = Draw(f);
}

} // namespace

const QIcon& AppIcon() {
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 32, 48, 64, 128}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(size / 64.0, size / 64.0);
            // A stack of note cards with a tree on the front one.
            p.setPen(QPen(QColor(0x25, 0x35, 0x55), 2));
            p.setBrush(QColor(0xf6, 0xe7, 0xa8));
            p.drawRoundedRect(QRectF(14, 6, 44, 50), 4, 4);
            p.setBrush(QColor(0xff, 0xfb, 0xea));
            p.drawRoundedRect(QRectF(6, 12, 44, 48), 4, 4);
            p.setPen(QPen(QColor(0x2a, 0x7a, 0xd0), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(16, 22), QPointF(16, 50));
            p.drawLine(QPointF(16, 34), QPointF(26, 34));
            p.drawLine(QPointF(16, 48), QPointF(26, 48));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xd0, 0x30, 0x30));
            p.drawEllipse(QPointF(16, 21), 4, 4);
            p.setBrush(QColor(0x2a, 0x9a, 0x40));
            p.drawEllipse(QPointF(31, 34), 4, 4);
            p.setBrush(QColor(0x20, 0x50, 0xd0));
            p.drawEllipse(QPointF(31, 48), 4, 4);
            p.setPen(QPen(QColor(0x90, 0x98, 0xa8), 2));
            p.drawLine(QPointF(37, 34), QPointF(44, 34));
            p.drawLine(QPointF(37, 48), QPointF(44, 48));
            p.end();
            i.addPixmap(pm);
        }
        return i;
    }();
    return icon;
}

QIcon CommandIcon(int id) {
    if (QIcon m = MoveIcon(id); !m.isNull()) return m;
    static std::map<int, QIcon> cache;
    auto it = cache.find(id);
    if (it != cache.end()) return it->second;
    const auto& painters = Painters();
    auto p = painters.find(id == ID_TREE_SORT_CONTEXT ? ID_TREE_SORT : id == ID_TRAY_SAVE ? ID_FILE_SAVE : id);
    if (p == painters.end()) return {};
    return cache[id] = Draw(p->second);
}

} // namespace zt::ui
