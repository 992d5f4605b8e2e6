#include "text/wmfrender.h"

#include "base/bytes.h"
#include "base/cp1252.h"
#include "text/dib.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <vector>

namespace zt {

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr size_t kPlaceableSize = 22;
constexpr size_t kHeaderSize = 18;
constexpr size_t kMaxRecords = 1 << 20;
constexpr size_t kMaxSavedStates = 256;
constexpr int kMaxObjects = 65535;

// Record functions.
enum : uint16_t {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kRealizePalette = 0x0035,
    kCreatePalette = 0x00F7,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetRop2 = 0x0104,
    kSetPolyFillMode = 0x0106,
    kRestoreDc = 0x0127,
    kSelectClipRegion = 0x012C,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kCreatePatternBrush = 0x01F9,
    kSetBkColor = 0x0201,
    kSetTextColor = 0x0209,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kOffsetClipRgn = 0x0220,
    kFillRegion = 0x0228,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
    kExcludeClipRect = 0x0415,
    kIntersectClipRect = 0x0416,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kSetPixel = 0x041F,
    kTextOut = 0x0521,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kPatBlt = 0x061D,
    kCreateRegion = 0x06FF,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
    kDibBitBlt = 0x0940,
    kExtTextOut = 0x0A32,
    kDibStretchBlt = 0x0B41,
    kSetDibToDev = 0x0D33,
    kStretchDib = 0x0F43,
};

// Raster operations.
constexpr uint32_t kSrcCopy = 0x00CC0020, kSrcPaint = 0x00EE0086, kSrcAnd = 0x008800C6,
                   kSrcInvert = 0x00660046, kNotSrcCopy = 0x00330008, kBlackness = 0x00000042,
                   kWhiteness = 0x00FF0062, kDstInvert = 0x00550009, kPatInvert = 0x005A0049;

QColor ColorRef(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

struct Pen {
    int style = 0;  // PS_SOLID
    int width = 0;  // logical units, 0 = one pixel
    QColor color = Qt::black;
};

struct Brush {
    int style = 0;  // BS_SOLID
    QColor color = Qt::white;
    int hatch = 0;
    QImage pattern;
};

struct Font {
    int height = 0, escapement = 0, weight = 0;
    bool italic = false, underline = false, strike = false;
    QString face;
};

enum class ObjType { Free, Pen, Brush, Font, Palette, Region };

struct Object {
    ObjType type = ObjType::Free;
    Pen pen;
    Brush brush;
    Font font;
    QRegion region;  // logical coordinates
};

struct DcState {
    QPointF winOrg, winExt{1, 1}, vpOrg, vpExt{1, 1};
    Pen pen;
    Brush brush;
    Font font;
    QColor textColor = Qt::black, bkColor = Qt::white;
    int bkMode = 2;  // OPAQUE
    int textAlign = 0;
    int polyFillMode = 1;  // ALTERNATE
    int rop2 = 13;         // R2_COPYPEN
    QPointF cur;
    bool clipped = false;
    QRegion clip;  // device coordinates, when clipped
};

// The parameters of one record as 16-bit words.
class Params {
public:
    Params(const uint8_t* p, size_t words) : p_(p), words_(words) {}
    size_t Words() const { return words_; }
    bool Has(size_t n) const { return words_ >= n; }
    int16_t S(size_t i) const { return i < words_ ? int16_t(GetLE16(p_ + 2 * i)) : 0; }
    uint16_t U(size_t i) const { return i < words_ ? GetLE16(p_ + 2 * i) : 0; }
    uint32_t U32(size_t i) const { return uint32_t(U(i)) | (uint32_t(U(i + 1)) << 16); }
    std::string_view Bytes(size_t fromWord, size_t n) const {
        size_t at = fromWord * 2;
        if (at > words_ * 2) return {};
        n = std::min(n, words_ * 2 - at);
        return {reinterpret_cast<const char*>(p_ + at), n};
    }

private:
    const uint8_t* p_;
    size_t words_;
};

bool FontsAvailable() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

// The bitmap as an image when its pixels fit into `budget`, which they are
// charged to.
QImage DibToImage(std::string_view dib, double& budget) {
    DibReader reader;
    if (!reader.Parse(dib)) return {};
    budget -= double(reader.Width()) * double(reader.Height());
    if (budget < 0) return {};
    QImage image(reader.Width(), reader.Height(), QImage::Format_RGB888);
    if (image.isNull()) return {};
    for (int y = 0; y < reader.Height(); ++y) reader.RowRgb(y, image.scanLine(y));
    return image;
}

class Player {
public:
    Player(QPainter& painter, const QRectF& target, const PlaceableHeader& header, int objectLimit)
        : p_(painter), objectLimit_(std::clamp(objectLimit, 16, kMaxObjects)) {
        const QPaintDevice* dev = painter.device();
        device_ = dev ? QRect(0, 0, dev->width(), dev->height()) : target.toAlignedRect();
        double area = std::max(1.0, target.width() * target.height());
        budget_ = 64.0 * area + 4e6;
        st_.winOrg = QPointF(header.left, header.top);
        st_.winExt = QPointF(header.right - header.left, header.bottom - header.top);
        if (st_.winExt.x() == 0) st_.winExt.setX(1);
        if (st_.winExt.y() == 0) st_.winExt.setY(1);
        st_.vpOrg = target.topLeft();
        st_.vpExt = QPointF(target.width(), target.height());
        fonts_ = FontsAvailable();
    }

    // False ends the playback.
    bool Play(uint16_t func, const Params& a);

private:
    QTransform Transform() const {
        double sx = st_.vpExt.x() / st_.winExt.x(), sy = st_.vpExt.y() / st_.winExt.y();
        return QTransform(sx, 0, 0, sy, st_.vpOrg.x() - st_.winOrg.x() * sx, st_.vpOrg.y() - st_.winOrg.y() * sy);
    }
    QPointF Pt(int16_t x, int16_t y) const { return QPointF(x, y); }
    QRectF Rect(int16_t l, int16_t t, int16_t r, int16_t b) const {
        return QRectF(QPointF(l, t), QPointF(r, b)).normalized();
    }

    // Charges the drawing work of a logical box; false when the budget is spent.
    bool Charge(const QRectF& logical, size_t points = 0) {
        QRectF d = Transform().mapRect(logical) & QRectF(device_);
        budget_ -= std::max(0.0, d.width() + 2) * std::max(0.0, d.height() + 2) + 8.0 * double(points) + 64;
        if (st_.clipped) budget_ -= double(st_.clip.rectCount());
        return budget_ >= 0;
    }

    // Pen, brush, clipping and mapping of the current state. The clip region
    // is kept in device coordinates, so it is set before the mapping.
    void Setup(bool fill) {
        p_.resetTransform();
        if (st_.clipped)
            p_.setClipRegion(st_.clip);
        else
            p_.setClipping(false);
        p_.setTransform(Transform());
        p_.setCompositionMode(st_.rop2 == 7 ? QPainter::RasterOp_SourceXorDestination
                              : st_.rop2 == 6 ? QPainter::RasterOp_NotDestination
                                              : QPainter::CompositionMode_SourceOver);
        p_.setPen(MakePen());
        p_.setBrush(fill ? MakeBrush() : QBrush(Qt::NoBrush));
        p_.setBackground(st_.bkColor);
        p_.setBackgroundMode(st_.bkMode == 2 ? Qt::OpaqueMode : Qt::TransparentMode);
    }

    QPen MakePen() const {
        const Pen& pen = st_.pen;
        int style = pen.style & 0x0F;
        if (style == 5) return QPen(Qt::NoPen);
        QPen q(pen.color);
        q.setWidthF(pen.width > 0 ? double(pen.width) : 0.0);
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
        case 0: return QBrush(b.color);
        case 1: return QBrush(Qt::NoBrush);
        case 2: {
            static const Qt::BrushStyle kHatch[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                    Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
            QBrush q(b.color, b.hatch >= 0 && b.hatch < 6 ? kHatch[b.hatch] : Qt::SolidPattern);
            q.setTransform(Transform().inverted());
            return q;
        }
        default:
            if (!b.pattern.isNull()) {
                QBrush q(b.pattern);
                q.setTransform(Transform().inverted());
                return q;
            }
            return QBrush(b.color);
        }
    }

    int NewObject() {
        if (!free_.empty()) {
            int i = *free_.begin();
            free_.erase(free_.begin());
            return i;
        }
        if (int(objects_.size()) >= objectLimit_) return -1;
        objects_.emplace_back();
        return int(objects_.size()) - 1;
    }
    void AddObject(Object o) {
        int i = NewObject();
        if (i >= 0) objects_[size_t(i)] = std::move(o);
    }

    void SetClip(const QRegion& region, bool intersect) {
        QRegion current = st_.clipped ? st_.clip : QRegion(device_);
        st_.clip = intersect ? current.intersected(region) : current.subtracted(region);
        st_.clipped = true;
    }
    QRegion DeviceRegion(const QRectF& logical) const { return QRegion(Transform().mapRect(logical).toRect()); }

    void DrawPath(const QPainterPath& path, bool fill) {
        if (st_.rop2 == 11) return;  // R2_NOP
        Setup(fill);
        p_.drawPath(path);
    }
    QPolygonF Points(const Params& a, size_t from, size_t count) const {
        QPolygonF poly;
        poly.reserve(qsizetype(count));
        for (size_t i = 0; i < count; ++i) poly << Pt(a.S(from + 2 * i), a.S(from + 2 * i + 1));
        return poly;
    }

    bool ArcLike(uint16_t func, const Params& a);
    bool Text(QPointF at, std::string_view bytes, const std::vector<int16_t>& dx, int options,
              const QRectF* box);
    bool Bitmap(uint32_t rop, QRectF dest, QRect src, std::string_view dib);
    bool PatBlt(uint32_t rop, const QRectF& rect);
    QRegion ReadRegion(const Params& a) const;

    QPainter& p_;
    QRect device_;
    double budget_ = 0;
    bool fonts_ = false;
    int objectLimit_;
    DcState st_;
    std::vector<DcState> saved_;
    std::vector<Object> objects_;
    std::set<int> free_;
};

bool Player::ArcLike(uint16_t func, const Params& a) {
    if (!a.Has(8)) return true;
    QPointF end = Pt(a.S(1), a.S(0)), start = Pt(a.S(3), a.S(2));
    QRectF r = Rect(a.S(7), a.S(6), a.S(5), a.S(4));
    if (!Charge(r)) return false;
    if (r.width() <= 0 || r.height() <= 0) return true;
    QPointF c = r.center();
    double rx = r.width() / 2, ry = r.height() / 2;
    auto angle = [&](QPointF p) {
        return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180.0 / M_PI;
    };
    double a1 = angle(start), a2 = angle(end);
    double sweep = std::fmod(a2 - a1 + 720.0, 360.0);
    if (sweep <= 1e-9) sweep = 360.0;
    QPainterPath path;
    if (func == kPie) {
        path.moveTo(c);
        path.arcTo(r, a1, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(r, a1);
        path.arcTo(r, a1, sweep);
        if (func == kChord) path.closeSubpath();
    }
    DrawPath(path, func != kArc);
    return true;
}

bool Player::Text(QPointF at, std::string_view bytes, const std::vector<int16_t>& dx, int options,
                  const QRectF* box) {
    if (box && !Charge(*box)) return false;
    const QTransform t = Transform();
    const bool opaqueBox = box && (options & 2);   // ETO_OPAQUE
    const bool clippedBox = box && (options & 4);  // ETO_CLIPPED
    if (opaqueBox) {
        Setup(false);
        p_.fillRect(*box, st_.bkColor);
    }
    if (bytes.empty() || !fonts_) return true;
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (unsigned char c : bytes) text.append(QChar(char16_t(Cp1252ToUnicode(c))));

    // The font height is in logical units: negative for the character
    // height, positive for the cell height, 0 for the default.
    const Font& f = st_.font;
    const double scaleX = std::abs(t.m11()), scaleY = std::abs(t.m22());
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

    // Advances in device pixels: the given distances, else the font's own.
    std::vector<double> advance(size_t(text.size()));
    double width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        double adv = size_t(i) < dx.size() ? dx[size_t(i)] * scaleX : fm.horizontalAdvance(text[i]);
        advance[size_t(i)] = adv;
        width += adv;
    }
    const bool updateCp = st_.textAlign & 1;  // TA_UPDATECP
    const QPointF origin = t.map(updateCp ? st_.cur : at);
    double xOff = 0, yOff = 0;
    switch (st_.textAlign & 6) {
    case 2: xOff = -width; break;     // TA_RIGHT
    case 6: xOff = -width / 2; break; // TA_CENTER
    default: break;
    }
    switch (st_.textAlign & 24) {
    case 8: yOff = -fm.descent(); break;  // TA_BOTTOM
    case 24: yOff = 0; break;             // TA_BASELINE
    default: yOff = fm.ascent(); break;   // TA_TOP
    }
    Setup(false);
    if (clippedBox) p_.setClipRect(*box, Qt::IntersectClip);
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
    if (updateCp && scaleX > 0) st_.cur.rx() += (t.m11() < 0 ? -width : width) / scaleX;
    return true;
}

bool Player::Bitmap(uint32_t rop, QRectF dest, QRect src, std::string_view dib) {
    if (!Charge(dest)) return false;
    QImage image = DibToImage(dib, budget_);
    if (image.isNull()) return budget_ >= 0;
    // Source rows count from the bottom of the bitmap.
    QRect s(src.x(), image.height() - src.y() - src.height(), src.width(), src.height());
    bool mirrorX = (s.width() < 0) != (dest.width() < 0), mirrorY = (s.height() < 0) != (dest.height() < 0);
    s = s.normalized() & image.rect();
    if (s.isEmpty()) return true;
    QImage part = image.copy(s);
    if (mirrorX || mirrorY) part = part.mirrored(mirrorX, mirrorY);
    if (rop == kNotSrcCopy) part.invertPixels();
    Setup(false);
    switch (rop) {
    case kSrcAnd: p_.setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;
    case kSrcPaint: p_.setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;
    case kSrcInvert: p_.setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
    default: p_.setCompositionMode(QPainter::CompositionMode_SourceOver); break;
    }
    p_.drawImage(dest.normalized(), part);
    return true;
}

bool Player::PatBlt(uint32_t rop, const QRectF& rect) {
    if (!Charge(rect)) return false;
    Setup(true);
    switch (rop) {
    case kBlackness: p_.fillRect(rect, Qt::black); break;
    case kWhiteness: p_.fillRect(rect, Qt::white); break;
    case kDstInvert:
        p_.setCompositionMode(QPainter::RasterOp_NotDestination);
        p_.fillRect(rect, Qt::black);
        break;
    case kPatInvert:
        p_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p_.fillRect(rect, MakeBrush());
        break;
    default: p_.fillRect(rect, MakeBrush()); break;
    }
    return true;
}

QRegion Player::ReadRegion(const Params& a) const {
    // nextInChain, objectType, objectCount(2 words), regionSize, scanCount,
    // maxScan, bounding box (4 words), then the scans: count, top, bottom,
    // count / 2 pairs of left and right, count again.
    QRegion region;
    if (!a.Has(11)) return region;
    size_t scans = a.U(5);
    size_t at = 11;
    for (size_t s = 0; s < scans && a.Has(at + 3); ++s) {
        size_t count = a.U(at);
        int top = a.S(at + 1), bottom = a.S(at + 2);
        at += 3;
        for (size_t k = 0; k + 1 < count && a.Has(at + 2); k += 2, at += 2) {
            int left = a.S(at), right = a.S(at + 1);
            if (right > left && bottom > top) region += QRect(left, top, right - left, bottom - top);
        }
        if (count % 2) ++at;
        ++at;  // the count repeated
        if (region.rectCount() > 4096) break;
    }
    return region;
}

bool Player::Play(uint16_t func, const Params& a) {
    switch (func) {
    case kEof: return false;
    case kSaveDc:
        if (saved_.size() < kMaxSavedStates) saved_.push_back(st_);
        return true;
    case kRestoreDc: {
        int n = a.S(0);
        size_t level = n < 0 ? (size_t(-n) <= saved_.size() ? saved_.size() - size_t(-n) : SIZE_MAX)
                             : (n > 0 && size_t(n) <= saved_.size() ? size_t(n) - 1 : SIZE_MAX);
        if (level == SIZE_MAX) return true;
        st_ = saved_[level];
        saved_.resize(level);
        return true;
    }
    case kSetBkMode: st_.bkMode = a.U(0); return true;
    case kSetRop2: st_.rop2 = a.U(0); return true;
    case kSetPolyFillMode: st_.polyFillMode = a.U(0); return true;
    case kSetTextAlign: st_.textAlign = a.U(0); return true;
    case kSetBkColor: st_.bkColor = ColorRef(a.U32(0)); return true;
    case kSetTextColor: st_.textColor = ColorRef(a.U32(0)); return true;
    case kSetWindowOrg: st_.winOrg = Pt(a.S(1), a.S(0)); return true;
    case kSetWindowExt:
        if (a.S(0) != 0 && a.S(1) != 0) st_.winExt = Pt(a.S(1), a.S(0));
        return true;
    case kSetViewportOrg: st_.vpOrg = Pt(a.S(1), a.S(0)); return true;
    case kSetViewportExt:
        if (a.S(0) != 0 && a.S(1) != 0) st_.vpExt = Pt(a.S(1), a.S(0));
        return true;
    case kOffsetWindowOrg: st_.winOrg += Pt(a.S(1), a.S(0)); return true;
    case kOffsetViewportOrg: st_.vpOrg += Pt(a.S(1), a.S(0)); return true;
    case kScaleWindowExt:
    case kScaleViewportExt: {
        // yDenom, yNum, xDenom, xNum
        int yd = a.S(0), yn = a.S(1), xd = a.S(2), xn = a.S(3);
        if (!yd || !yn || !xd || !xn) return true;
        QPointF& ext = func == kScaleWindowExt ? st_.winExt : st_.vpExt;
        QPointF next(ext.x() * xn / xd, ext.y() * yn / yd);
        if (std::abs(next.x()) < 1e-6 || std::abs(next.y()) < 1e-6 || std::abs(next.x()) > 1e9 ||
            std::abs(next.y()) > 1e9)
            return true;
        ext = next;
        return true;
    }
    case kMoveTo: st_.cur = Pt(a.S(1), a.S(0)); return true;
    case kLineTo: {
        QPointF to = Pt(a.S(1), a.S(0));
        if (!Charge(QRectF(st_.cur, to).normalized())) return false;
        QPainterPath path(st_.cur);
        path.lineTo(to);
        DrawPath(path, false);
        st_.cur = to;
        return true;
    }
    case kExcludeClipRect:
    case kIntersectClipRect:
        if (!a.Has(4)) return true;
        SetClip(DeviceRegion(Rect(a.S(3), a.S(2), a.S(1), a.S(0))), func == kIntersectClipRect);
        budget_ -= double(st_.clip.rectCount()) + 64;
        return budget_ >= 0;
    case kOffsetClipRgn:
        if (st_.clipped) {
            QTransform t = Transform();
            QPointF d = t.map(Pt(a.S(1), a.S(0))) - t.map(QPointF(0, 0));
            st_.clip.translate(d.toPoint());
        }
        return true;
    case kSelectClipRegion: {
        int i = a.U(0);
        if (i < int(objects_.size()) && objects_[size_t(i)].type == ObjType::Region) {
            st_.clip = Transform().map(objects_[size_t(i)].region);
            st_.clipped = true;
        } else {
            st_.clipped = false;
            st_.clip = QRegion();
        }
        return true;
    }
    case kRectangle:
    case kEllipse: {
        if (!a.Has(4)) return true;
        QRectF r = Rect(a.S(3), a.S(2), a.S(1), a.S(0));
        if (!Charge(r)) return false;
        QPainterPath path;
        if (func == kRectangle)
            path.addRect(r);
        else
            path.addEllipse(r);
        DrawPath(path, true);
        return true;
    }
    case kRoundRect: {
        if (!a.Has(6)) return true;
        QRectF r = Rect(a.S(5), a.S(4), a.S(3), a.S(2));
        if (!Charge(r)) return false;
        QPainterPath path;
        path.addRoundedRect(r, std::abs(a.S(1)) / 2.0, std::abs(a.S(0)) / 2.0);
        DrawPath(path, true);
        return true;
    }
    case kArc:
    case kPie:
    case kChord: return ArcLike(func, a);
    case kPolyline:
    case kPolygon: {
        size_t n = a.U(0);
        if (!a.Has(1 + 2 * n) || n < 2) return true;
        QPolygonF poly = Points(a, 1, n);
        if (!Charge(poly.boundingRect(), n)) return false;
        QPainterPath path;
        path.setFillRule(st_.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        path.addPolygon(poly);
        if (func == kPolygon) path.closeSubpath();
        DrawPath(path, func == kPolygon);
        return true;
    }
    case kPolyPolygon: {
        size_t polys = a.U(0);
        if (!a.Has(1 + polys)) return true;
        size_t at = 1 + polys, total = 0;
        for (size_t i = 0; i < polys; ++i) total += a.U(1 + i);
        if (!a.Has(at + 2 * total)) return true;
        QPainterPath path;
        path.setFillRule(st_.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        for (size_t i = 0; i < polys; ++i) {
            size_t n = a.U(1 + i);
            QPolygonF poly = Points(a, at, n);
            at += 2 * n;
            if (n >= 2) {
                path.addPolygon(poly);
                path.closeSubpath();
            }
        }
        if (!Charge(path.boundingRect(), total)) return false;
        DrawPath(path, true);
        return true;
    }
    case kSetPixel: {
        if (!a.Has(4)) return true;
        QPointF at = Transform().map(Pt(a.S(3), a.S(2)));
        if (!Charge(QRectF(Pt(a.S(3), a.S(2)), QSizeF(0, 0)))) return false;
        p_.resetTransform();
        p_.setClipping(false);
        p_.fillRect(QRectF(std::floor(at.x()), std::floor(at.y()), 1, 1), ColorRef(a.U32(0)));
        return true;
    }
    case kTextOut: {
        size_t len = a.U(0);
        size_t words = (len + 1) / 2;
        if (!a.Has(1 + words + 2)) return true;
        QPointF at = Pt(a.S(1 + words + 1), a.S(1 + words));
        return Text(at, a.Bytes(1, len), {}, 0, nullptr);
    }
    case kExtTextOut: {
        if (!a.Has(4)) return true;
        QPointF at = Pt(a.S(1), a.S(0));
        size_t len = a.U(2);
        int options = a.U(3);
        size_t at16 = 4;
        QRectF box;
        bool hasBox = (options & 6) != 0 && a.Has(8);
        if (hasBox) {
            box = Rect(a.S(4), a.S(5), a.S(6), a.S(7));
            at16 = 8;
        }
        std::string_view bytes = a.Bytes(at16, len);
        size_t dxAt = at16 + (len + 1) / 2;
        std::vector<int16_t> dx;
        if (a.Has(dxAt + len) && len > 0) {
            dx.reserve(len);
            for (size_t i = 0; i < len; ++i) dx.push_back(a.S(dxAt + i));
        }
        return Text(at, bytes, dx, options, hasBox ? &box : nullptr);
    }
    case kPatBlt:
        if (!a.Has(6)) return true;
        return PatBlt(a.U32(0), QRectF(Pt(a.S(5), a.S(4)), QSizeF(a.S(3), a.S(2))).normalized());
    case kDibBitBlt:
        if (a.Words() == 9) {  // without a bitmap: the brush
            return PatBlt(a.U32(0), QRectF(Pt(a.S(8), a.S(7)), QSizeF(a.S(6), a.S(5))).normalized());
        }
        if (!a.Has(8)) return true;
        return Bitmap(a.U32(0), QRectF(Pt(a.S(7), a.S(6)), QSizeF(a.S(5), a.S(4))),
                      QRect(a.S(3), a.S(2), a.S(5), a.S(4)), a.Bytes(8, SIZE_MAX));
    case kDibStretchBlt:
        if (a.Words() == 11)
            return PatBlt(a.U32(0), QRectF(Pt(a.S(10), a.S(9)), QSizeF(a.S(8), a.S(7))).normalized());
        if (!a.Has(10)) return true;
        return Bitmap(a.U32(0), QRectF(Pt(a.S(9), a.S(8)), QSizeF(a.S(7), a.S(6))),
                      QRect(a.S(5), a.S(4), a.S(3), a.S(2)), a.Bytes(10, SIZE_MAX));
    case kStretchDib:
        if (!a.Has(11)) return true;
        return Bitmap(a.U32(0), QRectF(Pt(a.S(10), a.S(9)), QSizeF(a.S(8), a.S(7))),
                      QRect(a.S(6), a.S(5), a.S(4), a.S(3)), a.Bytes(11, SIZE_MAX));
    case kSetDibToDev:
        if (!a.Has(9)) return true;
        return Bitmap(kSrcCopy, QRectF(Pt(a.S(8), a.S(7)), QSizeF(a.S(6), a.S(5))),
                      QRect(a.S(4), a.S(3), a.S(6), a.S(5)), a.Bytes(9, SIZE_MAX));
    case kSelectObject: {
        int i = a.U(0);
        if (i >= int(objects_.size())) return true;
        const Object& o = objects_[size_t(i)];
        switch (o.type) {
        case ObjType::Pen: st_.pen = o.pen; break;
        case ObjType::Brush: st_.brush = o.brush; break;
        case ObjType::Font: st_.font = o.font; break;
        case ObjType::Region:
            st_.clip = Transform().map(o.region);
            st_.clipped = true;
            break;
        default: break;
        }
        return true;
    }
    case kDeleteObject: {
        int i = a.U(0);
        if (i < int(objects_.size()) && objects_[size_t(i)].type != ObjType::Free) {
            objects_[size_t(i)] = Object();
            free_.insert(i);
        }
        return true;
    }
    case kCreatePenIndirect: {
        Object o;
        o.type = ObjType::Pen;
        o.pen.style = a.U(0);
        o.pen.width = std::abs(a.S(1));
        o.pen.color = ColorRef(a.U32(3));
        AddObject(std::move(o));
        return true;
    }
    case kCreateBrushIndirect: {
        Object o;
        o.type = ObjType::Brush;
        o.brush.style = a.U(0);
        o.brush.color = ColorRef(a.U32(1));
        o.brush.hatch = a.U(3);
        AddObject(std::move(o));
        return true;
    }
    case kDibCreatePatternBrush: {
        Object o;
        o.type = ObjType::Brush;
        o.brush.style = 5;
        o.brush.color = Qt::gray;
        o.brush.pattern = DibToImage(a.Bytes(2, SIZE_MAX), budget_);
        AddObject(std::move(o));
        return budget_ >= 0;
    }
    case kCreatePatternBrush: {
        Object o;
        o.type = ObjType::Brush;
        o.brush.style = 3;
        o.brush.color = Qt::gray;
        AddObject(std::move(o));
        return true;
    }
    case kCreateFontIndirect: {
        Object o;
        o.type = ObjType::Font;
        o.font.height = a.S(0);
        o.font.escapement = a.S(2);
        o.font.weight = a.S(4);
        std::string_view b = a.Bytes(5, 4);
        if (b.size() == 4) {
            o.font.italic = b[0] != 0;
            o.font.underline = b[1] != 0;
            o.font.strike = b[2] != 0;
        }
        std::string_view face = a.Bytes(9, 32);
        face = face.substr(0, std::min(face.find('\0'), face.size()));
        o.font.face = QString::fromStdString(Cp1252ToUtf8(face));
        AddObject(std::move(o));
        return true;
    }
    case kCreatePalette: {
        Object o;
        o.type = ObjType::Palette;
        AddObject(std::move(o));
        return true;
    }
    case kCreateRegion: {
        Object o;
        o.type = ObjType::Region;
        o.region = ReadRegion(a);
        budget_ -= double(o.region.rectCount()) + 64;
        AddObject(std::move(o));
        return budget_ >= 0;
    }
    case kFillRegion: {
        // region, brush
        int r = a.U(0), b = a.U(1);
        if (r >= int(objects_.size()) || b >= int(objects_.size())) return true;
        if (objects_[size_t(r)].type != ObjType::Region || objects_[size_t(b)].type != ObjType::Brush) return true;
        QRegion region = objects_[size_t(r)].region;
        if (!Charge(region.boundingRect(), size_t(region.rectCount()))) return false;
        Brush keep = st_.brush;
        st_.brush = objects_[size_t(b)].brush;
        Setup(true);
        QBrush brush = MakeBrush();
        for (const QRect& rect : region) p_.fillRect(rect, brush);
        st_.brush = keep;
        return true;
    }
    default: return true;  // palettes, escapes, mapping mode and the rest change nothing we draw
    }
}

} // namespace

bool ReadPlaceableHeader(std::string_view data, PlaceableHeader& header) {
    if (data.size() < kPlaceableSize + kHeaderSize) return false;
    const auto* d = reinterpret_cast<const uint8_t*>(data.data());
    if (GetLE32(d) != kPlaceableKey) return false;
    header.left = int16_t(GetLE16(d + 6));
    header.top = int16_t(GetLE16(d + 8));
    header.right = int16_t(GetLE16(d + 10));
    header.bottom = int16_t(GetLE16(d + 12));
    header.unitsPerInch = GetLE16(d + 14);
    const uint8_t* m = d + kPlaceableSize;
    uint16_t type = GetLE16(m), words = GetLE16(m + 2);
    return (type == 1 || type == 2) && words == 9;
}

bool DrawWmf(std::string_view data, QPainter& painter, const QRectF& target) {
    PlaceableHeader header;
    if (!ReadPlaceableHeader(data, header)) return false;
    const auto* d = reinterpret_cast<const uint8_t*>(data.data());
    int objectCount = GetLE16(d + kPlaceableSize + 10);
    painter.save();
    {
        Player player(painter, target, header, objectCount);
        size_t pos = kPlaceableSize + kHeaderSize;
        for (size_t n = 0; n < kMaxRecords && data.size() - pos >= 6; ++n) {
            uint32_t words = GetLE32(d + pos);
            uint16_t func = GetLE16(d + pos + 4);
            if (words < 3 || uint64_t(words) * 2 > data.size() - pos) break;
            Params params(d + pos + 6, words - 3);
            if (!player.Play(func, params)) break;
            pos += size_t(words) * 2;
        }
    }
    painter.restore();
    return true;
}

} // namespace zt
