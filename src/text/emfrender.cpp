#include "text/emfrender.h"

#include "base/bytes.h"
#include "text/dib.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace zt {

namespace {

constexpr uint32_t kSignature = 0x464D4520u;  // " EMF"
constexpr size_t kMinHeader = 88;
constexpr size_t kMaxRecords = 1 << 20;
constexpr size_t kMaxSavedStates = 256;
constexpr int kMaxObjects = 65535;
constexpr size_t kMaxPathElements = 1 << 20;
constexpr double kMaxCoordinate = 1e7;
constexpr int kMaxPenWidth = 32767;  // what QPen takes

// Record types.
enum : uint32_t {
    kHeader = 1,
    kPolyBezier = 2,
    kPolygon = 3,
    kPolyline = 4,
    kPolyBezierTo = 5,
    kPolylineTo = 6,
    kPolyPolyline = 7,
    kPolyPolygon = 8,
    kSetWindowExtEx = 9,
    kSetWindowOrgEx = 10,
    kSetViewportExtEx = 11,
    kSetViewportOrgEx = 12,
    kEof = 14,
    kSetMapMode = 17,
    kSetBkMode = 18,
    kSetPolyFillMode = 19,
    kSetTextAlign = 22,
    kSetTextColor = 24,
    kSetBkColor = 25,
    kMoveToEx = 27,
    kSaveDc = 33,
    kRestoreDc = 34,
    kSetWorldTransform = 35,
    kModifyWorldTransform = 36,
    kSelectObject = 37,
    kCreatePen = 38,
    kCreateBrushIndirect = 39,
    kDeleteObject = 40,
    kEllipse = 42,
    kRectangle = 43,
    kRoundRect = 44,
    kArc = 45,
    kChord = 46,
    kPie = 47,
    kLineTo = 54,
    kBeginPath = 59,
    kEndPath = 60,
    kCloseFigure = 61,
    kFillPath = 62,
    kStrokeAndFillPath = 63,
    kStrokePath = 64,
    kAbortPath = 68,
    kBitBlt = 76,
    kStretchBlt = 77,
    kStretchDibits = 81,
    kExtCreateFontIndirectW = 82,
    kExtTextOutW = 84,
    kPolyBezier16 = 85,
    kPolygon16 = 86,
    kPolyline16 = 87,
    kPolyBezierTo16 = 88,
    kPolylineTo16 = 89,
    kPolyPolyline16 = 90,
    kPolyPolygon16 = 91,
    kExtCreatePen = 95,
};

QColor ColorRef(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

// One record: every read is checked against its size; reads past it give 0.
class Record {
public:
    Record(const uint8_t* p, size_t size) : p_(p), size_(size) {}
    size_t Size() const { return size_; }
    bool Has(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    uint32_t U32(size_t at) const { return Has(at, 4) ? GetLE32(p_ + at) : 0; }
    int32_t I32(size_t at) const { return int32_t(U32(at)); }
    int16_t I16(size_t at) const { return Has(at, 2) ? int16_t(GetLE16(p_ + at)) : 0; }
    uint8_t U8(size_t at) const { return Has(at, 1) ? p_[at] : 0; }
    float F32(size_t at) const {
        uint32_t u = U32(at);
        float f;
        std::memcpy(&f, &u, 4);
        return std::isfinite(f) ? f : 0.0f;
    }
    std::string_view Bytes(uint64_t at, uint64_t n) const {
        if (!Has(at, n)) return {};
        return {reinterpret_cast<const char*>(p_ + at), size_t(n)};
    }

private:
    const uint8_t* p_;
    size_t size_;
};

struct Pen {
    int style = 0;  // PS_SOLID
    double width = 0;  // logical units, 0 = one pixel
    QColor color = Qt::black;
};

struct Brush {
    int style = 0;  // BS_SOLID
    QColor color = Qt::white;
    int hatch = 0;
};

struct Font {
    int height = 0, escapement = 0, weight = 0;
    bool italic = false, underline = false, strike = false;
    QString face;
};

enum class ObjType { Free, Pen, Brush, Font };

struct Object {
    ObjType type = ObjType::Free;
    Pen pen;
    Brush brush;
    Font font;
};

struct DcState {
    int mapMode = 1;  // MM_TEXT
    QPointF winOrg, winExt{1, 1}, vpOrg, vpExt{1, 1};
    QTransform world;
    Pen pen;
    Brush brush;
    Font font;
    QColor textColor = Qt::black, bkColor = Qt::white;
    int bkMode = 2;  // OPAQUE
    int textAlign = 0;
    int polyFillMode = 1;  // ALTERNATE
    QPointF cur;
};

bool FontsAvailable() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

bool Sane(double v) { return std::isfinite(v) && std::abs(v) <= kMaxCoordinate; }

class Player {
public:
    Player(QPainter& painter, const QRectF& target, const EmfHeader& h)
        : p_(painter), objectLimit_(std::clamp(h.handles, 1, kMaxObjects)) {
        const QPaintDevice* dev = painter.device();
        device_ = dev ? QRect(0, 0, dev->width(), dev->height()) : target.toAlignedRect();
        budget_ = 64.0 * std::max(1.0, target.width() * target.height()) + 4e6;
        fonts_ = FontsAvailable();
        // The frame in reference device pixels is what the target shows.
        QRectF pic;
        if (h.frameRight > h.frameLeft && h.frameBottom > h.frameTop && h.devicePixelsX > 0 &&
            h.devicePixelsY > 0 && h.deviceMmX > 0 && h.deviceMmY > 0) {
            const double fx = double(h.devicePixelsX) / (h.deviceMmX * 100.0);
            const double fy = double(h.devicePixelsY) / (h.deviceMmY * 100.0);
            pic = QRectF(QPointF(h.frameLeft * fx, h.frameTop * fy), QPointF(h.frameRight * fx, h.frameBottom * fy));
        } else {
            pic = QRectF(QPointF(h.boundsLeft, h.boundsTop), QPointF(h.boundsRight + 1.0, h.boundsBottom + 1.0));
        }
        if (pic.width() <= 0 || pic.height() <= 0) pic = QRectF(0, 0, 1, 1);
        toTarget_ = QTransform::fromTranslate(-pic.left(), -pic.top()) *
                    QTransform::fromScale(target.width() / pic.width(), target.height() / pic.height()) *
                    QTransform::fromTranslate(target.left(), target.top());
        if (h.devicePixelsX > 0 && h.deviceMmX > 0) pixelsPerMm_ = double(h.devicePixelsX) / h.deviceMmX;
    }

    // False ends the playback.
    bool Play(uint32_t type, const Record& r);

private:
    // Logical (world) coordinates to the painter's device.
    QTransform Transform() const {
        QTransform page;
        switch (st_.mapMode) {
        case 1: break;  // MM_TEXT: page units are device pixels
        case 7:         // MM_ISOTROPIC
        case 8: {       // MM_ANISOTROPIC
            double sx = st_.vpExt.x() / st_.winExt.x(), sy = st_.vpExt.y() / st_.winExt.y();
            if (st_.mapMode == 7) {
                // Equal scale on both axes, the smaller one, signs kept.
                double s = std::min(std::abs(sx), std::abs(sy));
                sx = sx < 0 ? -s : s;
                sy = sy < 0 ? -s : s;
            }
            page = QTransform(sx, 0, 0, sy, st_.vpOrg.x() - st_.winOrg.x() * sx, st_.vpOrg.y() - st_.winOrg.y() * sy);
            break;
        }
        default: {
            // Metric and English modes: y grows upwards.
            static const double kMm[] = {0, 0, 0.1, 0.01, 0.254, 0.0254, 25.4 / 1440};
            double s = (st_.mapMode >= 2 && st_.mapMode <= 6 ? kMm[st_.mapMode] : 1.0) * pixelsPerMm_;
            page = QTransform(s, 0, 0, -s, st_.vpOrg.x() - st_.winOrg.x() * s, st_.vpOrg.y() + st_.winOrg.y() * s);
            break;
        }
        }
        return st_.world * page * toTarget_;
    }
    // Charges the drawing work of a logical box; false when the budget is spent.
    bool Charge(const QRectF& logical, size_t points = 0) {
        QRectF d = Transform().mapRect(logical) & QRectF(device_);
        budget_ -= std::max(0.0, d.width() + 2) * std::max(0.0, d.height() + 2) + 8.0 * double(points) + 64;
        return budget_ >= 0;
    }
    void Setup(bool fill) {
        p_.setTransform(Transform());
        p_.setPen(MakePen());
        p_.setBrush(fill ? MakeBrush() : QBrush(Qt::NoBrush));
        p_.setBackground(st_.bkColor);
        p_.setBackgroundMode(st_.bkMode == 2 ? Qt::OpaqueMode : Qt::TransparentMode);
    }
    QPen MakePen() const {
        const Pen& pen = st_.pen;
        const int style = pen.style & 0x0F;
        if (style == 5) return QPen(Qt::NoPen);
        QPen q(pen.color);
        q.setWidthF(pen.width > 0 ? pen.width : 0.0);
        switch (style) {
        case 1: q.setStyle(Qt::DashLine); break;
        case 2: q.setStyle(Qt::DotLine); break;
        case 3: q.setStyle(Qt::DashDotLine); break;
        case 4: q.setStyle(Qt::DashDotDotLine); break;
        default: q.setStyle(Qt::SolidLine); break;
        }
        switch (pen.style & 0x0F00) {
        case 0x0100: q.setCapStyle(Qt::SquareCap); break;
        case 0x0200: q.setCapStyle(Qt::FlatCap); break;
        default: q.setCapStyle(Qt::RoundCap); break;
        }
        switch (pen.style & 0xF000) {
        case 0x1000: q.setJoinStyle(Qt::BevelJoin); break;
        case 0x2000: q.setJoinStyle(Qt::MiterJoin); break;
        default: q.setJoinStyle(Qt::RoundJoin); break;
        }
        return q;
    }
    QBrush MakeBrush() const {
        const Brush& b = st_.brush;
        switch (b.style) {
        case 1: return QBrush(Qt::NoBrush);
        case 2: {
            static const Qt::BrushStyle kHatch[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                    Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
            QBrush q(b.color, b.hatch >= 0 && b.hatch < 6 ? kHatch[b.hatch] : Qt::SolidPattern);
            q.setTransform(Transform().inverted());
            return q;
        }
        default: return QBrush(b.color);
        }
    }
    Object* Slot(uint32_t index) {
        if (index >= uint32_t(objectLimit_)) return nullptr;
        if (index >= objects_.size()) objects_.resize(size_t(index) + 1);
        return &objects_[index];
    }
    bool SelectStock(uint32_t which);
    // Draws `path` now, or adds it to the path being built.
    void Draw(const QPainterPath& path, bool fill) {
        if (inPath_) {
            if (pathElements_ + size_t(path.elementCount()) > kMaxPathElements) return;
            pathElements_ += size_t(path.elementCount());
            path_.addPath(path);
            return;
        }
        Setup(fill);
        p_.drawPath(path);
    }
    QRectF RectAt(const Record& r, size_t at) const {
        return QRectF(QPointF(r.I32(at), r.I32(at + 4)), QPointF(r.I32(at + 8), r.I32(at + 12))).normalized();
    }
    QPointF PointAt(const Record& r, size_t at, bool small) const {
        return small ? QPointF(r.I16(at), r.I16(at + 2)) : QPointF(r.I32(at), r.I32(at + 4));
    }
    bool Poly(uint32_t type, const Record& r);
    bool PolyPoly(uint32_t type, const Record& r);
    bool ArcLike(uint32_t type, const Record& r);
    bool Text(const Record& r);
    bool Bitmap(const Record& r, QRectF dest, QRectF src, bool srcFromBottom, uint64_t offBmi, uint64_t cbBmi,
                uint64_t offBits, uint64_t cbBits);
    bool Path(uint32_t type);

    QPainter& p_;
    QRect device_;
    QTransform toTarget_;
    double pixelsPerMm_ = 96 / 25.4;
    double budget_ = 0;
    bool fonts_ = false;
    int objectLimit_;
    DcState st_;
    std::vector<DcState> saved_;
    std::vector<Object> objects_;
    bool inPath_ = false;
    bool pathDone_ = false;
    QPainterPath path_;
    size_t pathElements_ = 0;
};

bool Player::SelectStock(uint32_t which) {
    switch (which) {
    case 0: st_.brush = {0, Qt::white, 0}; return true;
    case 1: st_.brush = {0, QColor(192, 192, 192), 0}; return true;
    case 2: st_.brush = {0, QColor(128, 128, 128), 0}; return true;
    case 3: st_.brush = {0, QColor(64, 64, 64), 0}; return true;
    case 4: st_.brush = {0, Qt::black, 0}; return true;
    case 5: st_.brush = {1, Qt::white, 0}; return true;
    case 6: st_.pen = {0, 0, Qt::white}; return true;
    case 7: st_.pen = {0, 0, Qt::black}; return true;
    case 8: st_.pen = {5, 0, Qt::black}; return true;
    case 18: st_.brush = {0, Qt::white, 0}; return true;  // DC_BRUSH
    case 19: st_.pen = {0, 0, Qt::black}; return true;    // DC_PEN
    default:
        if (which >= 10 && which <= 17 && which != 15) st_.font = Font{};
        return true;
    }
}

bool Player::Poly(uint32_t type, const Record& r) {
    const bool small = type >= kPolyBezier16;
    const uint64_t count = r.U32(24);
    const uint64_t size = small ? 4 : 8;
    if (!r.Has(28, count * size)) return true;
    QPolygonF pts;
    pts.reserve(qsizetype(count));
    for (uint64_t i = 0; i < count; ++i) pts << PointAt(r, size_t(28 + i * size), small);
    if (pts.isEmpty()) return true;
    QRectF box = pts.boundingRect();
    if (!Sane(box.left()) || !Sane(box.right()) || !Sane(box.top()) || !Sane(box.bottom())) return true;
    const uint32_t base = small ? type - (kPolyBezier16 - kPolyBezier) : type;
    const bool fromCurrent = base == kPolyBezierTo || base == kPolylineTo;
    if (fromCurrent) box |= QRectF(st_.cur, QSizeF(0, 0));
    if (!Charge(box, size_t(count))) return false;
    QPainterPath path;
    path.setFillRule(st_.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    qsizetype i = 0;
    if (fromCurrent) {
        path.moveTo(st_.cur);
    } else {
        path.moveTo(pts[0]);
        i = 1;
    }
    if (base == kPolyBezier || base == kPolyBezierTo) {
        for (; i + 2 < pts.size(); i += 3) path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    } else {
        for (; i < pts.size(); ++i) path.lineTo(pts[i]);
    }
    if (base == kPolygon) path.closeSubpath();
    if (fromCurrent) st_.cur = path.currentPosition();
    if (fromCurrent && inPath_) {
        // Inside a path the figure goes on from the current position.
        if (pathElements_ + size_t(path.elementCount()) > kMaxPathElements) return true;
        pathElements_ += size_t(path.elementCount());
        path_.connectPath(path);
        return true;
    }
    Draw(path, base == kPolygon);
    return true;
}

bool Player::PolyPoly(uint32_t type, const Record& r) {
    const bool small = type == kPolyPolyline16 || type == kPolyPolygon16;
    const bool polygon = type == kPolyPolygon || type == kPolyPolygon16;
    const uint64_t polys = r.U32(24), total = r.U32(28);
    const uint64_t size = small ? 4 : 8;
    if (!r.Has(32, polys * 4) || !r.Has(32 + polys * 4, total * size)) return true;
    uint64_t sum = 0;
    for (uint64_t k = 0; k < polys; ++k) sum += r.U32(size_t(32 + k * 4));
    if (sum != total) return true;
    QPainterPath path;
    path.setFillRule(st_.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    size_t at = size_t(32 + polys * 4);
    for (uint64_t k = 0; k < polys; ++k) {
        const uint32_t n = r.U32(size_t(32 + k * 4));
        QPolygonF pts;
        pts.reserve(qsizetype(n));
        for (uint32_t i = 0; i < n; ++i, at += size_t(size)) pts << PointAt(r, at, small);
        if (pts.size() < 2) continue;
        path.addPolygon(pts);
        if (polygon) path.closeSubpath();
    }
    const QRectF box = path.boundingRect();
    if (!Sane(box.left()) || !Sane(box.right()) || !Sane(box.top()) || !Sane(box.bottom())) return true;
    if (!Charge(box, size_t(total))) return false;
    Draw(path, polygon);
    return true;
}

bool Player::ArcLike(uint32_t type, const Record& r) {
    if (!r.Has(8, 32)) return true;
    const QRectF box = RectAt(r, 8);
    const QPointF start = PointAt(r, 24, false), end = PointAt(r, 32, false);
    if (!Charge(box)) return false;
    if (box.width() <= 0 || box.height() <= 0) return true;
    const QPointF c = box.center();
    const double rx = box.width() / 2, ry = box.height() / 2;
    auto angle = [&](QPointF p) { return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180.0 / M_PI; };
    const double a1 = angle(start), a2 = angle(end);
    double sweep = std::fmod(a2 - a1 + 720.0, 360.0);
    if (sweep <= 1e-9) sweep = 360.0;
    QPainterPath path;
    if (type == kPie) {
        path.moveTo(c);
        path.arcTo(box, a1, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(box, a1);
        path.arcTo(box, a1, sweep);
        if (type == kChord) path.closeSubpath();
    }
    Draw(path, type != kArc);
    return true;
}

bool Player::Text(const Record& r) {
    // bounds, graphics mode, x and y scale, then the text: reference point,
    // character count, string offset, options, box, offset of the advances.
    const QPointF at = PointAt(r, 36, false);
    const uint64_t chars = r.U32(44), offString = r.U32(48), offDx = r.U32(72);
    const uint32_t options = r.U32(52);
    const QRectF box = RectAt(r, 56);
    if (chars > 8192 || !r.Has(offString, chars * 2)) return true;
    const bool opaqueBox = (options & 2) && !box.isEmpty();   // ETO_OPAQUE
    const bool clippedBox = (options & 4) && !box.isEmpty();  // ETO_CLIPPED
    if (opaqueBox) {
        if (!Charge(box)) return false;
        Setup(false);
        p_.fillRect(box, st_.bkColor);
    }
    if (chars == 0 || !fonts_) return true;
    QString text;
    text.reserve(qsizetype(chars));
    for (uint64_t i = 0; i < chars; ++i) {
        const uint16_t u = uint16_t(r.I16(size_t(offString + 2 * i)));
        text.append(QChar(u < 0x20 ? u' ' : char16_t(u)));
    }
    std::vector<double> dx;
    if (offDx && r.Has(offDx, chars * 4))
        for (uint64_t i = 0; i < chars; ++i) dx.push_back(r.I32(size_t(offDx + 4 * i)));
    const QTransform t = Transform();
    const double scaleX = std::hypot(t.m11(), t.m12()), scaleY = std::hypot(t.m21(), t.m22());
    const Font& f = st_.font;
    double pixels = f.height == 0 ? 12.0 : std::abs(double(f.height)) * scaleY * (f.height > 0 ? 0.8 : 1.0);
    if (!(pixels >= 1.0)) return true;
    pixels = std::min(pixels, 2048.0);
    const double deviceArea = double(device_.width()) * double(device_.height());
    budget_ -= double(text.size()) * std::min(pixels * pixels, deviceArea) + 64;
    if (budget_ < 0) return false;
    QFont font(f.face.isEmpty() ? QStringLiteral("Arial") : f.face);
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    if (f.weight > 0) font.setWeight(QFont::Weight(std::clamp(f.weight, 100, 900)));
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strike);
    const QFontMetricsF fm(font);
    std::vector<double> advance(size_t(text.size()));
    double width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const double adv = size_t(i) < dx.size() ? dx[size_t(i)] * scaleX : fm.horizontalAdvance(text[i]);
        advance[size_t(i)] = adv;
        width += adv;
    }
    const bool updateCp = st_.textAlign & 1;  // TA_UPDATECP
    const QPointF origin = t.map(updateCp ? st_.cur : at);
    double xOff = 0, yOff = 0;
    switch (st_.textAlign & 6) {
    case 2: xOff = -width; break;       // TA_RIGHT
    case 6: xOff = -width / 2; break;   // TA_CENTER
    default: break;
    }
    switch (st_.textAlign & 24) {
    case 8: yOff = -fm.descent(); break;  // TA_BOTTOM
    case 24: yOff = 0; break;             // TA_BASELINE
    default: yOff = fm.ascent(); break;   // TA_TOP
    }
    p_.save();
    if (clippedBox) {
        p_.setTransform(t);
        p_.setClipRect(box, Qt::IntersectClip);
    }
    QTransform textTransform;
    textTransform.translate(origin.x(), origin.y());
    textTransform.rotate(-f.escapement / 10.0);
    p_.setTransform(textTransform);
    if (st_.bkMode == 2 && !opaqueBox) p_.fillRect(QRectF(xOff, yOff - fm.ascent(), width, fm.height()), st_.bkColor);
    p_.setFont(font);
    p_.setPen(st_.textColor);
    if (dx.empty()) {
        p_.drawText(QPointF(xOff, yOff), text);
    } else {
        double x = xOff;
        for (qsizetype i = 0; i < text.size(); ++i) {
            p_.drawText(QPointF(x, yOff), QString(text[i]));
            x += advance[size_t(i)];
        }
    }
    p_.restore();
    if (updateCp && scaleX > 0) st_.cur.rx() += width / scaleX;
    return true;
}

// `srcFromBottom`: the source rectangle's rows count from the bottom of the
// bitmap (StretchDIBits), not from its top (BitBlt and StretchBlt).
bool Player::Bitmap(const Record& r, QRectF dest, QRectF src, bool srcFromBottom, uint64_t offBmi, uint64_t cbBmi,
                    uint64_t offBits, uint64_t cbBits) {
    if (!Sane(dest.left()) || !Sane(dest.top()) || !Sane(dest.right()) || !Sane(dest.bottom())) return true;
    if (!Charge(dest.normalized())) return false;
    if (cbBmi == 0 || !r.Has(offBmi, cbBmi) || !r.Has(offBits, cbBits)) {
        // No bitmap: the raster operation paints with the brush.
        Setup(true);
        p_.fillRect(dest.normalized(), MakeBrush());
        return true;
    }
    std::string dib;
    dib.reserve(size_t(cbBmi + cbBits));
    dib.append(r.Bytes(offBmi, cbBmi));
    dib.append(r.Bytes(offBits, cbBits));
    DibReader reader;
    if (!reader.Parse(dib)) return true;
    budget_ -= double(reader.Width()) * double(reader.Height());
    if (budget_ < 0) return false;
    QImage image(reader.Width(), reader.Height(), QImage::Format_RGB888);
    if (image.isNull()) return true;
    for (int y = 0; y < reader.Height(); ++y) reader.RowRgb(y, image.scanLine(y));
    QRectF s = src.isEmpty() ? QRectF(image.rect()) : src.normalized();
    if (srcFromBottom && !src.isEmpty()) s.moveTop(image.height() - s.top() - s.height());
    s &= QRectF(image.rect());
    if (s.isEmpty()) return true;
    Setup(false);
    p_.drawImage(dest.normalized(), image, s);
    return true;
}

bool Player::Path(uint32_t type) {
    if (!pathDone_ || inPath_) return true;
    const QRectF box = path_.boundingRect();
    if (!Charge(box, pathElements_)) return false;
    QPainterPath path = path_;
    path.setFillRule(st_.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    Setup(type != kStrokePath);
    if (type == kFillPath) p_.setPen(Qt::NoPen);
    p_.drawPath(path);
    path_ = QPainterPath();
    pathElements_ = 0;
    pathDone_ = false;
    return true;
}

bool Player::Play(uint32_t type, const Record& r) {
    switch (type) {
    case kEof: return false;
    case kSaveDc:
        if (saved_.size() < kMaxSavedStates) saved_.push_back(st_);
        return true;
    case kRestoreDc: {
        const int32_t n = r.I32(8);
        size_t level = n < 0 ? (uint64_t(-int64_t(n)) <= saved_.size() ? saved_.size() - size_t(-int64_t(n)) : SIZE_MAX)
                             : (n > 0 && size_t(n) <= saved_.size() ? size_t(n) - 1 : SIZE_MAX);
        if (level == SIZE_MAX) return true;
        st_ = saved_[level];
        saved_.resize(level);
        return true;
    }
    case kSetMapMode: st_.mapMode = int(r.U32(8)); return true;
    case kSetBkMode: st_.bkMode = int(r.U32(8)); return true;
    case kSetPolyFillMode: st_.polyFillMode = int(r.U32(8)); return true;
    case kSetTextAlign: st_.textAlign = int(r.U32(8)); return true;
    case kSetTextColor: st_.textColor = ColorRef(r.U32(8)); return true;
    case kSetBkColor: st_.bkColor = ColorRef(r.U32(8)); return true;
    case kSetWindowOrgEx: st_.winOrg = PointAt(r, 8, false); return true;
    case kSetViewportOrgEx: st_.vpOrg = PointAt(r, 8, false); return true;
    case kSetWindowExtEx:
    case kSetViewportExtEx: {
        const QPointF e = PointAt(r, 8, false);
        if (e.x() == 0 || e.y() == 0) return true;
        (type == kSetWindowExtEx ? st_.winExt : st_.vpExt) = e;
        return true;
    }
    case kSetWorldTransform:
    case kModifyWorldTransform: {
        const QTransform x(r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28));
        const uint32_t mode = type == kSetWorldTransform ? 4 : r.U32(32);
        QTransform next = st_.world;
        switch (mode) {
        case 1: next = QTransform(); break;
        case 2: next = x * st_.world; break;
        case 3: next = st_.world * x; break;
        case 4: next = x; break;
        default: return true;
        }
        // A transform that folds the picture away or throws it far off is ignored.
        if (!next.isInvertible() || !Sane(next.dx()) || !Sane(next.dy()) || !Sane(next.m11()) ||
            !Sane(next.m12()) || !Sane(next.m21()) || !Sane(next.m22()))
            return true;
        st_.world = next;
        return true;
    }
    case kCreatePen: {
        Object* o = Slot(r.U32(8));
        if (!o) return true;
        *o = Object{};
        o->type = ObjType::Pen;
        o->pen = {int(r.U32(12)), double(std::clamp(r.I32(16), 0, kMaxPenWidth)), ColorRef(r.U32(24))};
        return true;
    }
    case kExtCreatePen: {
        Object* o = Slot(r.U32(8));
        if (!o) return true;
        *o = Object{};
        o->type = ObjType::Pen;
        o->pen = {int(r.U32(28)), double(std::min<uint32_t>(r.U32(32), kMaxPenWidth)), ColorRef(r.U32(40))};
        if (r.U32(36) == 1) o->pen.style = 5;  // BS_NULL brush: no line
        return true;
    }
    case kCreateBrushIndirect: {
        Object* o = Slot(r.U32(8));
        if (!o) return true;
        *o = Object{};
        o->type = ObjType::Brush;
        o->brush = {int(r.U32(12)), ColorRef(r.U32(16)), int(r.U32(20))};
        return true;
    }
    case kExtCreateFontIndirectW: {
        Object* o = Slot(r.U32(8));
        if (!o) return true;
        *o = Object{};
        o->type = ObjType::Font;
        Font& f = o->font;
        f.height = std::clamp(r.I32(12), -1000000, 1000000);
        f.escapement = r.I32(20) % 3600;
        f.weight = r.I32(28);
        f.italic = r.U8(32);
        f.underline = r.U8(33);
        f.strike = r.U8(34);
        for (size_t i = 0; i < 32; ++i) {
            const uint16_t u = uint16_t(r.I16(40 + 2 * i));
            if (!u) break;
            f.face.append(QChar(char16_t(u)));
        }
        return true;
    }
    case kSelectObject: {
        const uint32_t i = r.U32(8);
        if (i & 0x80000000u) return SelectStock(i & 0x7FFFFFFFu);
        if (i >= objects_.size()) return true;
        const Object& o = objects_[i];
        if (o.type == ObjType::Pen) st_.pen = o.pen;
        if (o.type == ObjType::Brush) st_.brush = o.brush;
        if (o.type == ObjType::Font) st_.font = o.font;
        return true;
    }
    case kDeleteObject: {
        const uint32_t i = r.U32(8);
        if (i < objects_.size()) objects_[i] = Object{};
        return true;
    }
    case kMoveToEx:
        st_.cur = PointAt(r, 8, false);
        if (inPath_) path_.moveTo(st_.cur);
        return true;
    case kLineTo: {
        const QPointF to = PointAt(r, 8, false);
        if (!Sane(to.x()) || !Sane(to.y())) return true;
        if (inPath_) {
            if (pathElements_ < kMaxPathElements) {
                if (path_.elementCount() == 0) path_.moveTo(st_.cur);
                path_.lineTo(to);
                ++pathElements_;
            }
            st_.cur = to;
            return true;
        }
        if (!Charge(QRectF(st_.cur, to).normalized())) return false;
        QPainterPath path(st_.cur);
        path.lineTo(to);
        Draw(path, false);
        st_.cur = to;
        return true;
    }
    case kRectangle:
    case kEllipse: {
        if (!r.Has(8, 16)) return true;
        const QRectF box = RectAt(r, 8);
        if (!Charge(box)) return false;
        QPainterPath path;
        if (type == kRectangle)
            path.addRect(box);
        else
            path.addEllipse(box);
        Draw(path, true);
        return true;
    }
    case kRoundRect: {
        if (!r.Has(8, 24)) return true;
        const QRectF box = RectAt(r, 8);
        if (!Charge(box)) return false;
        QPainterPath path;
        path.addRoundedRect(box, std::abs(r.I32(24)) / 2.0, std::abs(r.I32(28)) / 2.0);
        Draw(path, true);
        return true;
    }
    case kArc:
    case kChord:
    case kPie: return ArcLike(type, r);
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16: return Poly(type, r);
    case kPolyPolyline:
    case kPolyPolygon:
    case kPolyPolyline16:
    case kPolyPolygon16: return PolyPoly(type, r);
    case kBeginPath:
        inPath_ = true;
        pathDone_ = false;
        path_ = QPainterPath();
        pathElements_ = 0;
        return true;
    case kEndPath:
        if (inPath_) pathDone_ = true;
        inPath_ = false;
        return true;
    case kAbortPath:
        inPath_ = pathDone_ = false;
        path_ = QPainterPath();
        pathElements_ = 0;
        return true;
    case kCloseFigure:
        if (inPath_) path_.closeSubpath();
        return true;
    case kFillPath:
    case kStrokeAndFillPath:
    case kStrokePath: return Path(type);
    case kExtTextOutW: return Text(r);
    case kBitBlt:
    case kStretchBlt: {
        const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
        QRectF src(r.I32(44), r.I32(48), type == kStretchBlt ? r.I32(100) : r.I32(32),
                   type == kStretchBlt ? r.I32(104) : r.I32(36));
        return Bitmap(r, dest, src, false, r.U32(84), r.U32(88), r.U32(92), r.U32(96));
    }
    case kStretchDibits: {
        const QRectF dest(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
        const QRectF src(r.I32(32), r.I32(36), r.I32(40), r.I32(44));
        return Bitmap(r, dest, src, true, r.U32(48), r.U32(52), r.U32(56), r.U32(60));
    }
    default: return true;
    }
}

} // namespace

int EmfHeader::WidthHimetric() const {
    if (frameRight > frameLeft) return frameRight - frameLeft;
    return int(std::lround((int64_t(boundsRight) - boundsLeft + 1) * 2540.0 / 96));
}

int EmfHeader::HeightHimetric() const {
    if (frameBottom > frameTop) return frameBottom - frameTop;
    return int(std::lround((int64_t(boundsBottom) - boundsTop + 1) * 2540.0 / 96));
}

bool ReadEmfHeader(std::string_view data, EmfHeader& h) {
    if (data.size() < kMinHeader) return false;
    const auto* d = reinterpret_cast<const uint8_t*>(data.data());
    const uint32_t size = GetLE32(d + 4);
    if (GetLE32(d) != kHeader || GetLE32(d + 40) != kSignature || size < kMinHeader || size > data.size())
        return false;
    auto i32 = [d](size_t at) { return std::clamp(int32_t(GetLE32(d + at)), -(1 << 28), 1 << 28); };
    h.boundsLeft = i32(8);
    h.boundsTop = i32(12);
    h.boundsRight = i32(16);
    h.boundsBottom = i32(20);
    h.frameLeft = i32(24);
    h.frameTop = i32(28);
    h.frameRight = i32(32);
    h.frameBottom = i32(36);
    h.handles = GetLE16(d + 56);
    h.devicePixelsX = i32(72);
    h.devicePixelsY = i32(76);
    h.deviceMmX = i32(80);
    h.deviceMmY = i32(84);
    return h.WidthHimetric() > 0 && h.HeightHimetric() > 0;
}

bool DrawEmf(std::string_view data, QPainter& painter, const QRectF& target) {
    EmfHeader header;
    if (!ReadEmfHeader(data, header)) return false;
    const auto* d = reinterpret_cast<const uint8_t*>(data.data());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(target, Qt::IntersectClip);
    {
        Player player(painter, target, header);
        size_t pos = GetLE32(d + 4);
        for (size_t n = 0; n < kMaxRecords && data.size() - pos >= 8; ++n) {
            const uint32_t type = GetLE32(d + pos);
            const uint32_t size = GetLE32(d + pos + 4);
            // Sizes are multiples of four and hold the type and size.
            if (size < 8 || size % 4 || size > data.size() - pos) break;
            if (!player.Play(type, Record(d + pos, size))) break;
            pos += size;
        }
    }
    painter.restore();
    return true;
}

} // namespace zt
