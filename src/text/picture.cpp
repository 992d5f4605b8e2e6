#include "text/picture.h"

#include "base/bytes.h"
#include "text/dib.h"
#include "text/emfrender.h"
#include "text/jpegwriter.h"
#include "text/pictrender.h"
#include "text/pictures.h"
#include "text/wmfrender.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace zt {

struct Picture::Data {
    enum class Kind { Raster, Metafile, Emf, MacPict } kind = Kind::Raster;
    QImage image;        // raster pictures, possibly reduced to kMaxRenderSide
    std::string drawing; // metafiles (with placeable header), enhanced metafiles and Mac pictures (with prefix)
    int widthHimetric = 0, heightHimetric = 0;
};

namespace {

int RoundDiv(int64_t num, int64_t den) { return den ? int((num + den / 2) / den) : 0; }

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The format of raster data that QImage reads, by its signature.
const char* RasterFormat(std::string_view b) {
    if (StartsWith(b, "\x89PNG\r\n\x1a\n")) return "png";
    if (StartsWith(b, "\xff\xd8\xff")) return "jpeg";
    if (StartsWith(b, "GIF87a") || StartsWith(b, "GIF89a")) return "gif";
    if (StartsWith(b, "BM")) return "bmp";
    return nullptr;
}

QImage ReadRaster(std::string_view bytes, const char* format, int& width, int& height) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(false);
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || size.width() > DibReader::kMaxSide || size.height() > DibReader::kMaxSide)
        return {};
    width = size.width();
    height = size.height();
    int side = std::max(width, height);
    if (side > Picture::kMaxRenderSide) {
        double f = double(Picture::kMaxRenderSide) / side;
        reader.setScaledSize(QSize(std::max(1, int(width * f)), std::max(1, int(height * f))));
    }
    QImage image = reader.read();
    return image;
}

QImage ReadDib(std::string_view bytes) {
    DibReader dib;
    if (!dib.Parse(bytes)) return {};
    QImage image(dib.Width(), dib.Height(), QImage::Format_RGB888);
    if (image.isNull()) return {};
    for (int y = 0; y < dib.Height(); ++y) dib.RowRgb(y, image.scanLine(y));
    return image;
}

} // namespace

bool Picture::IsMetafile() const { return d_->kind == Data::Kind::Metafile || d_->kind == Data::Kind::Emf; }
int Picture::WidthHimetric() const { return d_->widthHimetric; }
int Picture::HeightHimetric() const { return d_->heightHimetric; }

void Picture::Draw(QPainter& painter, const QRectF& target) const {
    switch (d_->kind) {
    case Data::Kind::Metafile: DrawWmf(d_->drawing, painter, target); return;
    case Data::Kind::Emf: DrawEmf(d_->drawing, painter, target); return;
    case Data::Kind::MacPict: DrawPict(d_->drawing, painter, target); return;
    case Data::Kind::Raster: break;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, d_->image);
    painter.restore();
}

std::optional<Picture> LoadPictureData(std::string_view bytes) {
    if (bytes.empty()) return std::nullopt;
    auto d = std::make_shared<Picture::Data>();
    PlaceableHeader header;
    PictHeader pict;
    EmfHeader emf;
    const char* format = RasterFormat(bytes);
    if (ReadEmfHeader(bytes, emf)) {
        d->kind = Picture::Data::Kind::Emf;
        d->drawing.assign(bytes);
        d->widthHimetric = emf.WidthHimetric();
        d->heightHimetric = emf.HeightHimetric();
    } else if (ReadPlaceableHeader(bytes, header)) {
        int inch = header.unitsPerInch > 0 ? header.unitsPerInch : 1440;
        d->kind = Picture::Data::Kind::Metafile;
        d->drawing.assign(bytes);
        d->widthHimetric = RoundDiv(std::abs(int64_t(header.right) - header.left) * 2540, inch);
        d->heightHimetric = RoundDiv(std::abs(int64_t(header.bottom) - header.top) * 2540, inch);
    } else if (!format && ReadPictHeader(bytes, pict)) {
        d->kind = Picture::Data::Kind::MacPict;
        d->drawing.assign(bytes);
        d->widthHimetric = int(std::lround((pict.right - pict.left) * 2540.0 / pict.dpi));
        d->heightHimetric = int(std::lround((pict.bottom - pict.top) * 2540.0 / pict.dpi));
    } else {
        int width = 0, height = 0;
        if (format) {
            d->image = ReadRaster(bytes, format, width, height);
        } else {
            d->image = ReadDib(bytes);
            width = d->image.width();
            height = d->image.height();
        }
        if (d->image.isNull()) return std::nullopt;
        d->widthHimetric = RoundDiv(int64_t(width) * 2540, 96);
        d->heightHimetric = RoundDiv(int64_t(height) * 2540, 96);
    }
    if (d->widthHimetric <= 0 || d->heightHimetric <= 0) return std::nullopt;
    return Picture(std::move(d));
}

std::optional<Picture> LoadPictureFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return LoadPictureData(bytes);
}

PixelSize PictureSizePixels(const Picture& picture, int dpi) {
    return {RoundDiv(int64_t(picture.WidthHimetric()) * dpi, 2540), RoundDiv(int64_t(picture.HeightHimetric()) * dpi, 2540)};
}

QImage RenderPicture(const Picture& picture) {
    PixelSize size = PictureSizePixels(picture);
    if (size.width <= 0 || size.height <= 0) return {};
    int side = std::max(size.width, size.height);
    if (side > Picture::kMaxRenderSide) {
        double f = double(Picture::kMaxRenderSide) / side;
        size.width = std::max(1, int(size.width * f));
        size.height = std::max(1, int(size.height * f));
    }
    QImage image(size.width, size.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    image.fill(Qt::white);
    QPainter painter(&image);
    picture.Draw(painter, QRectF(0, 0, size.width, size.height));
    painter.end();
    return image;
}

QImage RenderPictureFile(const std::string& path) {
    auto picture = LoadPictureFile(path);
    return picture ? RenderPicture(*picture) : QImage();
}

std::string BitmapToDib(const QImage& source) {
    if (source.isNull()) return {};
    QImage image;
    int bits;
    switch (source.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        image = source.convertToFormat(QImage::Format_Mono);
        bits = 1;
        break;
    case QImage::Format_Indexed8:
        image = source;
        bits = 8;
        break;
    case QImage::Format_RGB555:
        image = source;
        bits = 16;
        break;
    case QImage::Format_RGB888:
        image = source;
        bits = 24;
        break;
    case QImage::Format_RGB32:
        image = source;
        bits = 32;
        break;
    default:
        if (source.hasAlphaChannel()) {
            image = QImage(source.size(), QImage::Format_RGB32);
            if (image.isNull()) return {};
            image.fill(Qt::white);
            QPainter p(&image);
            p.drawImage(0, 0, source);
        } else {
            image = source.convertToFormat(QImage::Format_RGB32);
        }
        bits = 32;
        break;
    }
    if (image.isNull()) return {};
    const int w = image.width(), h = image.height();
    const size_t stride = (size_t(w) * size_t(bits) + 31) / 32 * 4;
    QList<QRgb> table = bits <= 8 ? image.colorTable() : QList<QRgb>();
    if (bits == 1 && table.size() < 2) table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    if (table.size() > 256) table.resize(256);

    std::string dib;
    dib.reserve(52 + size_t(table.size()) * 4 + stride * size_t(h));
    PutLE32(dib, 40);
    PutLE32(dib, uint32_t(w));
    PutLE32(dib, uint32_t(h));
    PutLE16(dib, 1);
    PutLE16(dib, uint16_t(bits));
    PutLE32(dib, bits == 16 || bits == 32 ? 3 : 0);  // bit fields or uncompressed
    PutLE32(dib, uint32_t(stride * size_t(h)));
    PutLE32(dib, 3780);  // 96 dpi
    PutLE32(dib, 3780);
    PutLE32(dib, uint32_t(table.size()));
    PutLE32(dib, 0);
    if (bits == 16) {
        PutLE32(dib, 0x7C00);
        PutLE32(dib, 0x03E0);
        PutLE32(dib, 0x001F);
    } else if (bits == 32) {
        PutLE32(dib, 0xFF0000);
        PutLE32(dib, 0x00FF00);
        PutLE32(dib, 0x0000FF);
    }
    for (QRgb c : table) {
        dib.push_back(char(qBlue(c)));
        dib.push_back(char(qGreen(c)));
        dib.push_back(char(qRed(c)));
        dib.push_back(0);
    }
    std::string row(stride, '\0');
    for (int y = h - 1; y >= 0; --y) {
        const uchar* line = image.constScanLine(y);
        switch (bits) {
        case 1: std::copy(line, line + (w + 7) / 8, row.begin()); break;
        case 8: std::copy(line, line + w, row.begin()); break;
        case 16:
            for (int x = 0; x < w; ++x) {
                uint16_t v = reinterpret_cast<const quint16*>(line)[x];
                row[size_t(2 * x)] = char(v & 0xFF);
                row[size_t(2 * x + 1)] = char(v >> 8);
            }
            break;
        case 24:
            for (int x = 0; x < w; ++x) {
                row[size_t(3 * x)] = char(line[3 * x + 2]);
                row[size_t(3 * x + 1)] = char(line[3 * x + 1]);
                row[size_t(3 * x + 2)] = char(line[3 * x]);
            }
            break;
        default:
            for (int x = 0; x < w; ++x) {
                QRgb v = reinterpret_cast<const QRgb*>(line)[x];
                row[size_t(4 * x)] = char(qBlue(v));
                row[size_t(4 * x + 1)] = char(qGreen(v));
                row[size_t(4 * x + 2)] = char(qRed(v));
                row[size_t(4 * x + 3)] = 0;
            }
            break;
        }
        dib += row;
    }
    return dib;
}

bool ConvertPictureDataToJpeg(std::string_view data, int quality, std::string& jpeg) {
    jpeg.clear();
    if (quality < 1) quality = 10;
    if (quality > 100) quality = 100;
    auto picture = LoadPictureData(data);
    if (!picture) return false;
    QImage image = RenderPicture(*picture);
    if (image.isNull()) return false;
    std::string dib = BitmapToDib(image);
    image = QImage();
    return EncodeJpeg(dib, quality, jpeg);
}

} // namespace zt
