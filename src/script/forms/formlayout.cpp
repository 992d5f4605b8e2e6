#include "script/forms/formlayout.h"

#include <algorithm>

namespace zt::forms {

namespace {

int MulDiv(int a, int b, int c) {
    // Rounded like the platform's MulDiv, sign-correct.
    const long long p = (long long)a * b;
    const long long q = p >= 0 ? (p + c / 2) / c : (p - c / 2) / c;
    return int(q);
}

bool SideIsHorizontal(int o) { return (o >= 11 && o <= 13) || (o >= 31 && o <= 33); }

// The rectangle of size (w, h) grown from (x, y) on the side o names.
CZTFormRect Place(int x, int y, int w, int h, int o) {
    switch (o) {
    case 11: case 23: return {x, y - h, x + w, y};
    case 12: return {x, y - (h + 1) / 2, x + w, y + h / 2};
    case 13: case 41: return {x, y, x + w, y + h};
    case 21: case 33: return {x - w, y - h, x, y};
    case 22: return {x - (w + 1) / 2, y - h, x + w / 2, y};
    case 31: case 43: return {x - w, y, x, y + h};
    case 32: return {x - w, y - (h + 1) / 2, x, y + h / 2};
    default: return {x - (w + 1) / 2, y, x + w / 2, y + h};
    }
}

class CLayouter {
public:
    CLayouter(const CZTFormMetrics& m, CZTFormLayout& out) : m_(m), out_(out) {}

    // Lays out node as record index i; false on failure.
    bool Layout(const CZTFormNode& node, int index, int parent, int x, int y, int o, int* outW, int* outH) {
        if (index != int(out_.records.size()) || index >= kMaxFormRecords) return false;
        out_.records.push_back({&node, parent, {}, 0, 0});

        int w = 0, h = 0;
        if (!OwnSize(node, &w, &h)) return false;
        const CZTFormRect own = Place(x, y, w, h, o);
        out_.records[size_t(index)].rect = own;
        CZTFormRect b = own;
        int cw = w, ch = h;

        for (const CZTFormElement& el : node.elements) {
            if (!el.form) continue;
            const int e = el.orientation;
            const bool horiz = SideIsHorizontal(e);
            int g = horiz ? m_.units.X(kMarginXDu) : m_.units.Y(kMarginYDu);
            if (el.gap) g = horiz ? m_.units.X(*el.gap) : m_.units.Y(*el.gap);
            const int midX = (b.left + b.right) / 2, midY = (b.top + b.bottom) / 2;
            int ax, ay;
            switch (e) {
            case 11: ax = b.right + g; ay = b.bottom; break;
            case 12: ax = b.right + g; ay = midY; break;
            case 13: ax = b.right + g; ay = b.top; break;
            case 21: ax = b.right; ay = b.top - g; break;
            case 22: ax = midX; ay = b.top - g; break;
            case 23: ax = b.left; ay = b.top - g; break;
            case 31: ax = b.left - g; ay = b.top; break;
            case 32: ax = b.left - g; ay = midY; break;
            case 33: ax = b.left - g; ay = b.bottom; break;
            case 41: ax = b.left; ay = b.bottom + g; break;
            case 43: ax = b.right; ay = b.bottom + g; break;
            default: ax = midX; ay = b.bottom + g; break;
            }
            int cW = 0, cH = 0;
            if (!Layout(*el.form, int(out_.records.size()), index, ax, ay, e, &cW, &cH)) return false;
            if (horiz) {
                if (e <= 13) b.right += g + cW; else b.left -= g + cW;
                cw += g + cW;
                if (cH > ch) {
                    const int d = cH - ch;
                    if (e == 11 || e == 33) b.top -= d;
                    else if (e == 13 || e == 31) b.bottom += d;
                    else { b.top -= (d + 1) / 2; b.bottom += d / 2; }
                    ch = cH;
                }
            } else {
                if (e >= 21 && e <= 23) b.top -= g + cH; else b.bottom += g + cH;
                ch += g + cH;
                if (cW > cw) {
                    const int d = cW - cw;
                    if (e == 21 || e == 43) b.left -= d;
                    else if (e == 23 || e == 41) b.right += d;
                    else { b.left -= (d + 1) / 2; b.right += d / 2; }
                    cw = cW;
                }
            }
        }
        // The subtree's box goes where the own rectangle would have gone.
        const CZTFormRect placed = Place(x, y, cw, ch, o);
        out_.records[size_t(index)].offsetX = placed.left - b.left;
        out_.records[size_t(index)].offsetY = placed.top - b.top;
        *outW = cw;
        *outH = ch;
        return true;
    }

private:
    bool OwnSize(const CZTFormNode& n, int* w, int* h) const {
        const CZTDialogUnits& u = m_.units;
        auto sized = [&](int dw, int dh) {
            *w = n.cx ? u.X(*n.cx) : u.X(dw);
            *h = n.cy ? u.Y(*n.cy) : u.Y(dh);
        };
        switch (n.kind) {
        case CZTFormKind::Text:
            if (!n.value) { sized(10, 10); return true; }
            {
                const QSize ext = m_.measureText ? m_.measureText(*n.value) : QSize(0, 0);
                *w = n.cx ? u.X(*n.cx) : ext.width();
                *h = n.cy ? u.Y(*n.cy) : ext.height();
            }
            return true;
        case CZTFormKind::Picture: {
            std::optional<QSize> s;
            if (n.value && m_.pictureSize) s = m_.pictureSize(*n.value);
            if (!s) { sized(100, 20); return true; }
            *w = n.cx ? u.X(*n.cx) : s->width();
            *h = n.cy ? u.Y(*n.cy) : s->height();
            return true;
        }
        case CZTFormKind::Edit: sized(150, 15); return true;
        case CZTFormKind::Button: sized(50, 14); return true;
        case CZTFormKind::Combo:
            sized(50, 14);
            // For the drop-down kinds "cy" is the list's height, not the box's.
            if (n.Has("dropdown") || n.Has("dropdownlist")) *h = u.Y(14);
            return true;
        case CZTFormKind::Listbox: sized(50, 14); return true;
        case CZTFormKind::Unknown: return false;
        }
        return false;
    }

    const CZTFormMetrics& m_;
    CZTFormLayout& out_;
};

} // namespace

int CZTDialogUnits::X(int du) const { return MulDiv(du, baseX, 4); }
int CZTDialogUnits::Y(int du) const { return MulDiv(du, baseY, 8); }

CZTFormRect CZTFormLayout::ControlRect(size_t i, int originX, int originY) const {
    if (i >= records.size()) return {};
    int dx = originX, dy = originY;
    for (int r = int(i); r >= 0; r = records[size_t(r)].parent) {
        dx += records[size_t(r)].offsetX;
        dy += records[size_t(r)].offsetY;
    }
    return records[i].rect.Shifted(dx, dy);
}

CZTFormLayout LayoutForm(const CZTFormNode& root, const CZTFormMetrics& metrics) {
    CZTFormLayout out;
    CLayouter l(metrics, out);
    int w = 0, h = 0;
    if (!l.Layout(root, 0, -1, 0, 0, BottomCenter, &w, &h)) {
        out.failed = true;
        out.records.clear();
        return out;
    }
    out.width = w;
    out.height = h;
    return out;
}

QSize MeasureTextLines(const QString& text, const std::function<int(const QString&)>& lineWidth,
                       int fontHeight, int externalLeading) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = t.split(QLatin1Char('\n'));
    int w = 0, h = 0;
    for (const QString& line : lines) {
        w = std::max(w, line.isEmpty() ? 0 : lineWidth(line));
        h += fontHeight;
    }
    h += externalLeading * int(lines.size() - 1);
    return {w, h};
}

QString ShortenItem(const QString& item, int width, const std::function<int(const QString&)>& extent) {
    QString s = item;
    while (s.size() >= 18 && extent(s) > width - 22) {
        const qsizetype n = s.size();
        s = s.left(n / 3 - 3) + QLatin1String("...") + s.right(n - n / 3 - 4);
    }
    return s;
}

CZTFormDialogGeometry DialogGeometry(const CZTFormLayout& layout, const CZTDialogUnits& u) {
    CZTFormDialogGeometry g;
    const int mX = u.X(kMarginXDu), mY = u.Y(kMarginYDu);
    g.clientWidth = std::max(layout.width + 2 * mX, u.X(115));
    g.clientHeight = layout.height + u.Y(23) + mY;
    const int bw = u.X(50), bh = u.Y(14);
    const int ox = g.clientWidth - u.X(110), cx = g.clientWidth - u.X(55), by = g.clientHeight - u.Y(17);
    g.ok = {ox, by, ox + bw, by + bh};
    g.cancel = {cx, by, cx + bw, by + bh};
    g.originX = g.clientWidth / 2;
    g.originY = mY;
    return g;
}

} // namespace zt::forms
