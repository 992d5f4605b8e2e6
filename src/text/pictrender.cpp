#include "text/pictrender.h"

#include "text/rtfcodepage.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zt {

namespace {

constexpr size_t kPrefix = 512;
constexpr size_t kMaxOps = 1 << 20;
constexpr int kMaxBitmapSide = 1 << 14;

// Big-endian reading with bounds: a read past the end sets `bad` and gives 0.
class Reader {
public:
    explicit Reader(std::string_view d) : d_(d) {}
    size_t Pos() const { return pos_; }
    size_t Left() const { return pos_ < d_.size() ? d_.size() - pos_ : 0; }
    bool Bad() const { return bad_; }
    void Seek(size_t p) {
        if (p > d_.size()) bad_ = true;
        pos_ = std::min(p, d_.size());
    }
    void Skip(size_t n) {
        if (n > Left()) {
            bad_ = true;
            pos_ = d_.size();
        } else {
            pos_ += n;
        }
    }
    uint8_t U8() {
        if (Left() < 1) return Fail();
        return uint8_t(d_[pos_++]);
    }
    uint16_t U16() {
        if (Left() < 2) return Fail();
        uint16_t v = uint16_t(uint8_t(d_[pos_]) << 8 | uint8_t(d_[pos_ + 1]));
        pos_ += 2;
        return v;
    }
    int16_t S16() { return int16_t(U16()); }
    uint32_t U32() {
        uint32_t hi = U16();
        return hi << 16 | U16();
    }
    std::string_view Bytes(size_t n) {
        if (n > Left()) {
            Fail();
            return {};
        }
        std::string_view s = d_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    // top, left, bottom, right
    QRectF Rect() {
        int16_t t = S16(), l = S16(), b = S16(), r = S16();
        return QRectF(QPointF(l, t), QPointF(r, b)).normalized();
    }
    QPointF Point() {
        int16_t v = S16(), h = S16();
        return QPointF(h, v);
    }

private:
    uint8_t Fail() {
        bad_ = true;
        pos_ = d_.size();
        return 0;
    }
    std::string_view d_;
    size_t pos_ = 0;
    bool bad_ = false;
};

// Unpacks one PackBits row of `unit`-byte items into exactly `want` bytes.
bool UnpackBits(std::string_view in, size_t unit, size_t want, std::vector<uint8_t>& out) {
    out.clear();
    size_t i = 0;
    while (out.size() < want && i < in.size()) {
        int n = int8_t(in[i++]);
        if (n >= 0) {
            size_t bytes = (size_t(n) + 1) * unit;
            if (bytes > in.size() - i) return false;
            out.insert(out.end(), in.begin() + long(i), in.begin() + long(i + bytes));
            i += bytes;
        } else if (n != -128) {
            if (unit > in.size() - i) return false;
            for (int k = 0; k < 1 - n; ++k) out.insert(out.end(), in.begin() + long(i), in.begin() + long(i + unit));
            i += unit;
        }
    }
    if (out.size() < want) return false;
    out.resize(want);
    return true;
}

QColor Rgb48(Reader& r) {
    int red = r.U16() >> 8, green = r.U16() >> 8, blue = r.U16() >> 8;
    return QColor(red, green, blue);
}

// seed, flags, size - 1, then value and colour per entry; a device table
// (flags bit 15) is in order and its values mean nothing.
bool ReadColorTable(Reader& r, QList<QRgb>& table) {
    r.Skip(4);
    const bool device = r.U16() & 0x8000;
    const int entries = r.U16() + 1;
    if (entries > 256 || r.Bad()) return false;
    table.fill(qRgb(0, 0, 0), 256);
    for (int i = 0; i < entries; ++i) {
        int index = r.U16() & 0xFF;
        table[device ? i : index] = Rgb48(r).rgb();
    }
    return !r.Bad();
}

// Pixel data rows: packed with a byte count of one byte (rows up to 250
// bytes) or two, unless rows are shorter than 8 bytes.
bool SkipRows(Reader& r, size_t rowBytes, int height) {
    for (int y = 0; y < height && !r.Bad(); ++y) r.Skip(rowBytes < 8 ? rowBytes : rowBytes > 250 ? r.U16() : r.U8());
    return !r.Bad();
}

// A pixel pattern: type, the old 8-byte pattern, then a full pixel map
// with its colour table and rows (type 1) or one colour (type 2).
bool SkipPixPat(Reader& r) {
    const uint16_t type = r.U16();
    r.Skip(8);
    if (type == 2) {
        r.Skip(6);
    } else if (type == 1) {
        const size_t rowBytes = r.U16() & 0x3FFF;
        const int16_t top = r.S16();
        r.Skip(2);
        const int16_t bottom = r.S16();
        r.Skip(2 + 36);
        QList<QRgb> table;
        if (!ReadColorTable(r, table)) return false;
        if (!SkipRows(r, rowBytes, bottom - top)) return false;
    }
    return !r.Bad();
}

class PictPlayer {
public:
    PictPlayer(QPainter& painter, const QRectF& frame, const QRectF& target) : p_(painter) {
        const double sx = target.width() / frame.width(), sy = target.height() / frame.height();
        map_ = QTransform(sx, 0, 0, sy, target.left() - frame.left() * sx, target.top() - frame.top() * sy);
        const QPaintDevice* dev = painter.device();
        deviceArea_ = dev ? double(dev->width()) * dev->height() : target.width() * target.height();
        budget_ = 64.0 * std::max(1.0, target.width() * target.height()) + 4e6;
        fonts_ = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    }

    void Play(Reader& r, bool version2);

private:
    bool Charge(const QRectF& r, double extra = 0) {
        QRectF d = map_.mapRect(r);
        budget_ -= std::min(deviceArea_, std::max(0.0, d.width() + 2) * std::max(0.0, d.height() + 2)) + extra + 64;
        return budget_ >= 0;
    }
    void Shape(int verb, const QPainterPath& path) {
        // frame, paint, erase, invert, fill
        p_.setTransform(map_);
        switch (verb) {
        case 0: {
            QPen pen(fg_);
            pen.setWidthF(std::max(penSize_.x(), penSize_.y()));
            pen.setJoinStyle(Qt::MiterJoin);
            p_.strokePath(path, pen);
            break;
        }
        case 1:
        case 4: p_.fillPath(path, fg_); break;
        case 2: p_.fillPath(path, bg_); break;
        case 3:
            p_.setCompositionMode(QPainter::RasterOp_NotDestination);
            p_.fillPath(path, Qt::black);
            p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
            break;
        default: break;
        }
    }
    void Line(QPointF from, QPointF to) {
        if (!Charge(QRectF(from, to).normalized())) return;
        pen_ = to;
        p_.setTransform(map_);
        QPen pen(fg_);
        pen.setWidthF(std::max(penSize_.x(), penSize_.y()));
        pen.setCapStyle(Qt::SquareCap);
        p_.setPen(pen);
        p_.drawLine(from, to);
    }
    void Text(std::string_view bytes);
    bool Bits(Reader& r, uint16_t op);
    bool QuickTime(Reader& r, size_t end);

    QPainter& p_;
    QTransform map_;
    double budget_ = 0, deviceArea_ = 0;
    bool fonts_ = false;
    QColor fg_ = Qt::black, bg_ = Qt::white;
    QPointF penSize_{1, 1}, pen_, textAt_;
    QRectF lastRect_, lastRRect_, lastOval_;
    QPointF ovalSize_;
    int textSize_ = 12, textFace_ = 0;
    QString fontName_ = QStringLiteral("Helvetica");
};

void PictPlayer::Text(std::string_view bytes) {
    budget_ -= double(bytes.size()) * std::min(deviceArea_, double(textSize_) * textSize_ * 4) + 64;
    if (!fonts_ || bytes.empty() || budget_ < 0) return;
    const RtfCodePage& mac = RtfCodePageFor(10000);
    QString text;
    for (unsigned char c : bytes) {
        char32_t u = mac.Map(c);
        if (u && u < 0x10000 && u != '\r') text.append(QChar(char16_t(u)));
    }
    QPointF at = map_.map(textAt_);
    double pixels = std::clamp(textSize_ * std::abs(map_.m22()), 1.0, 2048.0);
    QFont font(fontName_);
    font.setPixelSize(int(std::lround(pixels)));
    font.setBold(textFace_ & 1);
    font.setItalic(textFace_ & 2);
    font.setUnderline(textFace_ & 4);
    p_.resetTransform();
    p_.setFont(font);
    p_.setPen(fg_);
    p_.drawText(at, text);
}

bool PictPlayer::Bits(Reader& r, uint16_t op) {
    const bool direct = op == 0x9A || op == 0x9B;
    const bool region = op == 0x91 || op == 0x99 || op == 0x9B;
    if (direct) r.Skip(4);  // base address
    uint16_t rowBytesField = r.U16();
    const bool pixmap = direct || (rowBytesField & 0x8000);
    const size_t rowBytes = rowBytesField & 0x3FFF;
    QRectF bounds = r.Rect();
    int pixelSize = 1, packType = 0, cmpCount = 1;
    QList<QRgb> table;
    if (pixmap) {
        r.Skip(2);  // version
        packType = r.U16();
        r.Skip(4 + 8);  // packed size, resolutions
        r.Skip(2);      // pixel type
        pixelSize = r.U16();
        cmpCount = r.U16();
        r.Skip(2 + 4 + 4 + 4);  // component size, plane bytes, table, reserved
        if (!direct && !ReadColorTable(r, table)) return false;
    } else {
        table = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    }
    QRectF src = r.Rect(), dst = r.Rect();
    r.Skip(2);  // transfer mode
    if (region) r.Skip(std::max<size_t>(r.U16(), 2) - 2);
    const int width = int(bounds.width()), height = int(bounds.height());
    if (r.Bad() || width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) return false;
    if (pixelSize != 1 && pixelSize != 2 && pixelSize != 4 && pixelSize != 8 && pixelSize != 16 && pixelSize != 32)
        return false;
    // Rows must be wide enough for the pixels (3 bytes a pixel when the pad
    // byte of 32 bits is left out).
    const size_t need = size_t(width) * size_t(pixelSize == 32 && packType == 2 ? 24 : pixelSize) / 8;
    if (rowBytes < need || rowBytes == 0) return false;
    budget_ -= double(width) * height;
    if (!Charge(dst) || budget_ < 0) return false;

    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return false;
    // The bytes one row's pixels are read from, whatever the packing.
    const size_t w = size_t(width);
    size_t rowNeed = (w * size_t(pixelSize) + 7) / 8;
    if (pixelSize == 32)
        rowNeed = packType == 4 ? (cmpCount >= 4 ? w : 0) + 3 * w : (packType == 2 ? 3 * w : 4 * w);
    std::vector<uint8_t> row;
    const bool packed = rowBytes >= 8 && packType != 1 && !(pixelSize == 32 && packType == 2);
    const size_t stored = pixelSize == 32 && packType == 4 ? size_t(width) * size_t(cmpCount) : rowBytes;
    for (int y = 0; y < height; ++y) {
        if (packed) {
            size_t count = rowBytes > 250 ? r.U16() : r.U8();
            std::string_view in = r.Bytes(count);
            if (r.Bad() || !UnpackBits(in, pixelSize == 16 && packType != 4 ? 2 : 1, stored, row)) return false;
        } else {
            std::string_view in = r.Bytes(pixelSize == 32 && packType == 2 ? size_t(width) * 3 : rowBytes);
            if (r.Bad()) return false;
            row.assign(in.begin(), in.end());
        }
        if (row.size() < rowNeed) return false; // a row shorter than its pixels: damaged
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            switch (pixelSize) {
            case 16: {
                uint16_t v = uint16_t(row[2 * size_t(x)] << 8 | row[2 * size_t(x) + 1]);
                auto c5 = [](int v5) { return v5 << 3 | v5 >> 2; };
                line[x] = qRgb(c5(v >> 10 & 31), c5(v >> 5 & 31), c5(v & 31));
                break;
            }
            case 32:
                if (packType == 4) {
                    size_t off = cmpCount >= 4 ? size_t(width) : 0;  // alpha plane first
                    line[x] = qRgb(row[off + size_t(x)], row[off + size_t(width) + size_t(x)],
                                   row[off + 2 * size_t(width) + size_t(x)]);
                } else if (packType == 2) {
                    line[x] = qRgb(row[3 * size_t(x)], row[3 * size_t(x) + 1], row[3 * size_t(x) + 2]);
                } else {
                    line[x] = qRgb(row[4 * size_t(x) + 1], row[4 * size_t(x) + 2], row[4 * size_t(x) + 3]);
                }
                break;
            default: {
                const int perByte = 8 / pixelSize;
                int index = row[size_t(x / perByte)] >> (8 - pixelSize * (x % perByte + 1)) & ((1 << pixelSize) - 1);
                line[x] = index < table.size() ? table[index] : qRgb(0, 0, 0);
                break;
            }
            }
        }
    }
    QRectF from = src.translated(-bounds.topLeft()) & QRectF(image.rect());
    p_.setTransform(map_);
    if (!from.isEmpty()) p_.drawImage(dst, image, from);
    return true;
}

bool PictPlayer::QuickTime(Reader& r, size_t end) {
    // version, matrix (3 x 3 fixed), matte size and rectangle, mode, source
    // rectangle, accuracy, mask size, then matte, mask and the image
    // description with the compressed data.
    const size_t start = r.Pos();
    r.Skip(2);
    const double a = int32_t(r.U32()) / 65536.0;
    r.Skip(8);  // b, u
    r.Skip(4);  // c
    const double d = int32_t(r.U32()) / 65536.0;
    r.Skip(4);  // v
    const double tx = int32_t(r.U32()) / 65536.0, ty = int32_t(r.U32()) / 65536.0;
    r.Skip(4);          // w
    r.Skip(4 + 8 + 2);  // matte size and rectangle, mode
    QRectF src = r.Rect();
    if (r.Bad() || r.Pos() > end) return false;
    std::string_view rest = std::string_view();
    {
        Reader all = r;
        all.Seek(start);
        rest = all.Bytes(end - start);
    }
    size_t soi = rest.find("\xff\xd8\xff");
    if (soi == std::string_view::npos) return true;  // other codecs are not drawn
    std::string_view jpeg = rest.substr(soi);
    QImage image = QImage::fromData(QByteArray::fromRawData(jpeg.data(), qsizetype(jpeg.size())), "JPEG");
    if (image.isNull()) return true;
    budget_ -= double(image.width()) * image.height();
    if (budget_ < 0) return false;
    const double sx = a > 0 && a < 1000 ? a : 1, sy = d > 0 && d < 1000 ? d : 1;
    QRectF dst(src.left() * sx + tx, src.top() * sy + ty, src.width() * sx, src.height() * sy);
    if (!Charge(dst)) return false;
    p_.setTransform(map_);
    p_.setRenderHint(QPainter::SmoothPixmapTransform);
    p_.drawImage(dst, image);
    return true;
}

void PictPlayer::Play(Reader& r, bool v2) {
    for (size_t n = 0; n < kMaxOps && !r.Bad() && r.Left() > 0; ++n) {
        if (v2 && (r.Pos() & 1)) r.Skip(1);
        const uint16_t op = v2 ? r.U16() : r.U8();
        if (r.Bad()) return;
        if (op == 0x00FF) return;  // end of picture
        if (op >= 0x30 && op <= 0x5F) {
            // Rectangles, rounded rectangles and ovals, or the same as last time.
            const int kind = (op - 0x30) / 0x10, verb = op & 7;
            QRectF& last = kind == 0 ? lastRect_ : kind == 1 ? lastRRect_ : lastOval_;
            if (!(op & 8)) last = r.Rect();
            if (r.Bad() || verb > 4) continue;
            if (!Charge(last)) return;
            QPainterPath path;
            if (kind == 0)
                path.addRect(last);
            else if (kind == 1)
                path.addRoundedRect(last, ovalSize_.x() / 2, ovalSize_.y() / 2);
            else
                path.addEllipse(last);
            Shape(verb, path);
            continue;
        }
        switch (op) {
        case 0x0000:
        case 0x001C:
        case 0x001E: break;
        case 0x0011: r.Skip(v2 ? 2 : 1); break;
        case 0x0001:
        case 0x0080:
        case 0x0081:
        case 0x0082:
        case 0x0083:
        case 0x0084: {  // regions: size includes itself
            uint16_t size = r.U16();
            r.Skip(std::max<size_t>(size, 2) - 2);
            break;
        }
        case 0x0002:
        case 0x0009:
        case 0x000A:
        case 0x0010: r.Skip(8); break;
        case 0x0003:
        case 0x0005:
        case 0x0008:
        case 0x0015:
        case 0x0016:
        case 0x00A0: r.Skip(2); break;
        case 0x0004: textFace_ = r.U8(); break;
        case 0x0006:
        case 0x000C:
        case 0x0021: r.Skip(4); break;
        case 0x0007: {
            QPointF s = r.Point();
            penSize_ = QPointF(std::clamp(s.x(), 0.0, 1000.0), std::clamp(s.y(), 0.0, 1000.0));
            break;
        }
        case 0x000B: ovalSize_ = r.Point(); break;
        case 0x000D: textSize_ = std::clamp<int>(r.S16(), 1, 2000); break;
        case 0x000E: {  // old-style colours
            uint32_t c = r.U32();
            fg_ = c == 33 ? Qt::black : c == 30 ? Qt::white : c == 205 ? Qt::red : c == 341 ? Qt::green
                : c == 409 ? Qt::blue : c == 273 ? Qt::cyan : c == 137 ? Qt::magenta : c == 69 ? Qt::yellow : fg_;
            break;
        }
        case 0x000F: r.Skip(4); break;
        case 0x0012:
        case 0x0013:
        case 0x0014:  // pixel patterns are drawn as the plain colours
            if (!SkipPixPat(r)) return;
            break;
        case 0x001A: fg_ = Rgb48(r); break;
        case 0x001B: bg_ = Rgb48(r); break;
        case 0x001D:
        case 0x001F: r.Skip(6); break;
        case 0x0020: {
            QPointF from = r.Point(), to = r.Point();
            Line(from, to);
            break;
        }
        case 0x0022: {
            QPointF from = r.Point();
            int dh = int8_t(r.U8()), dv = int8_t(r.U8());
            Line(from, from + QPointF(dh, dv));
            break;
        }
        case 0x0023: {
            int dh = int8_t(r.U8()), dv = int8_t(r.U8());
            Line(pen_, pen_ + QPointF(dh, dv));
            break;
        }
        case 0x0028: {
            textAt_ = r.Point();
            Text(r.Bytes(r.U8()));
            break;
        }
        case 0x0029: {
            textAt_.rx() += r.U8();
            Text(r.Bytes(r.U8()));
            break;
        }
        case 0x002A: {
            textAt_.ry() += r.U8();
            Text(r.Bytes(r.U8()));
            break;
        }
        case 0x002B: {
            textAt_.rx() += r.U8();
            textAt_.ry() += r.U8();
            Text(r.Bytes(r.U8()));
            break;
        }
        case 0x002C: {  // font name: length, font id, name
            uint16_t len = r.U16();
            std::string_view data = r.Bytes(len);
            if (data.size() >= 3) {
                size_t n = std::min<size_t>(uint8_t(data[2]), data.size() - 3);
                fontName_ = QString::fromLatin1(data.data() + 3, qsizetype(n));
            }
            break;
        }
        case 0x0070:
        case 0x0071:
        case 0x0072:
        case 0x0073:
        case 0x0074: {
            uint16_t size = r.U16();
            if (size < 10) return;
            r.Skip(8);  // bounding box
            size_t points = (size - 10) / 4;
            QPolygonF poly;
            for (size_t i = 0; i < points && !r.Bad(); ++i) poly << r.Point();
            if (!Charge(poly.boundingRect(), 8.0 * double(points))) return;
            QPainterPath path;
            path.addPolygon(poly);
            Shape(op - 0x70, path);
            break;
        }
        case 0x0090:
        case 0x0091:
        case 0x0098:
        case 0x0099:
        case 0x009A:
        case 0x009B:
            if (!Bits(r, op)) return;
            break;
        case 0x00A1: {
            r.Skip(2);
            r.Skip(r.U16());
            break;
        }
        case 0x0C00: r.Skip(24); break;
        case 0x8200: {
            uint32_t len = r.U32();
            size_t end = r.Pos() + len;
            if (len > r.Left()) return;
            if (!QuickTime(r, end)) return;
            r.Seek(end);
            break;
        }
        default:
            if (op >= 0x0060 && op <= 0x0067) {
                r.Skip(12);  // arcs
            } else if (op >= 0x0068 && op <= 0x006F) {
                r.Skip(4);
            } else if ((op >= 0x0024 && op <= 0x0027) || (op >= 0x002D && op <= 0x002F) ||
                       (op >= 0x0092 && op <= 0x0097) || (op >= 0x009C && op <= 0x009F) ||
                       (op >= 0x00A2 && op <= 0x00AF)) {
                r.Skip(r.U16());
            } else if ((op >= 0x0017 && op <= 0x0019) || (op >= 0x0078 && op <= 0x007F) ||
                       (op >= 0x0088 && op <= 0x008F) || (op >= 0x00B0 && op <= 0x00CF) ||
                       (op >= 0x8000 && op <= 0x80FF)) {
                // no data
            } else if ((op >= 0x00D0 && op <= 0x00FE) || op >= 0x8100) {
                r.Skip(r.U32());
            } else if (op >= 0x0100 && op <= 0x7FFF) {
                r.Skip(size_t(op >> 8) * 2);
            } else {
                return;
            }
            break;
        }
    }
}

} // namespace

bool ReadPictHeader(std::string_view file, PictHeader& header) {
    if (file.size() < kPrefix + 12) return false;
    Reader r(file.substr(kPrefix));
    r.Skip(2);  // size
    int top = r.S16(), left = r.S16(), bottom = r.S16(), right = r.S16();
    std::string_view version = file.substr(kPrefix + 10, 4);
    bool v1 = version.substr(0, 2) == std::string_view("\x11\x01", 2);
    bool v2 = version == std::string_view("\x00\x11\x02\xff", 4);
    if (!v1 && !v2) return false;
    header = PictHeader{left, top, right, bottom, 72};
    if (v2 && file.size() >= kPrefix + 14 + 2 + 24) {
        // The extended header gives the resolution and the frame at it.
        Reader h(file.substr(kPrefix + 14));
        if (h.U16() == 0x0C00 && h.S16() == -2) {
            h.Skip(2);
            double res = int32_t(h.U32()) / 65536.0;
            h.Skip(4);
            QRectF src = h.Rect();
            if (res >= 1 && res <= 10000 && !src.isEmpty()) {
                header = PictHeader{int(src.left()), int(src.top()), int(src.right()), int(src.bottom()), res};
            }
        }
    }
    return header.right > header.left && header.bottom > header.top;
}

bool DrawPict(std::string_view file, QPainter& painter, const QRectF& target) {
    PictHeader header;
    if (!ReadPictHeader(file, header)) return false;
    const bool v2 = file[kPrefix + 10] == 0;
    Reader r(file.substr(kPrefix + 10));
    painter.save();
    {
        PictPlayer player(painter, QRectF(QPointF(header.left, header.top), QPointF(header.right, header.bottom)),
                          target);
        player.Play(r, v2);
    }
    painter.restore();
    return true;
}

} // namespace zt
