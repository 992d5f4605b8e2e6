// Speed of the picture side of stored page texts: a screen-sized bitmap
// encoded as JPEG, a metafile of many records drawn and encoded, and the
// twin pass over a page with such pictures. zlib's deflate of the bitmap's
// bytes runs alongside as the machine's yardstick.
#include "base/bytes.h"
#include "benchutil.h"
#include "text/jpegwriter.h"
#include "text/pictures.h"
#include "text/twinpass.h"

#include <QGuiApplication>

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using zt::bench::BestSeconds;

// A 24-bit bitmap of soft gradients and noise.
std::string MakeDib(int w, int h) {
    std::string d;
    zt::PutLE32(d, 40);
    zt::PutLE32(d, uint32_t(w));
    zt::PutLE32(d, uint32_t(h));
    zt::PutLE16(d, 1);
    zt::PutLE16(d, 24);
    for (int i = 0; i < 6; ++i) zt::PutLE32(d, 0);
    std::mt19937 rng(7);
    size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
    for (int y = 0; y < h; ++y) {
        std::string row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            row[size_t(3 * x)] = char(x * 255 / w);
            row[size_t(3 * x + 1)] = char(y * 255 / h);
            row[size_t(3 * x + 2)] = char((x + y + int(rng() % 16)) & 255);
        }
        d += row;
    }
    return d;
}

void Rec(std::string& out, uint16_t func, std::initializer_list<int> words) {
    zt::PutLE32(out, uint32_t(3 + words.size()));
    zt::PutLE16(out, func);
    for (int w : words) zt::PutLE16(out, uint16_t(w));
}

// Metafile records (without placeable header) of `shapes` filled rectangles,
// ellipses and lines in a window of 1000 x 1000 units.
std::string MakeWmfRecords(int shapes) {
    std::string body;
    Rec(body, 0x020C, {1000, 1000});
    std::mt19937 rng(11);
    for (int i = 0; i < shapes; ++i) {
        uint32_t c = rng() & 0xFFFFFF;
        Rec(body, 0x02FC, {0, int(c & 0xFFFF), int(c >> 16), 0});
        Rec(body, 0x012D, {0});
        int x = int(rng() % 900), y = int(rng() % 900), s = int(rng() % 100) + 5;
        Rec(body, i % 2 ? 0x0418 : 0x041B, {y + s, x + s, y, x});
        Rec(body, 0x01F0, {0});
        Rec(body, 0x0214, {y, x});
        Rec(body, 0x0213, {int(rng() % 1000), int(rng() % 1000)});
    }
    Rec(body, 0, {});
    std::string out;
    zt::PutLE16(out, 1);
    zt::PutLE16(out, 9);
    zt::PutLE16(out, 0x0300);
    zt::PutLE32(out, uint32_t(9 + body.size() / 2));
    zt::PutLE16(out, 1);
    zt::PutLE32(out, 0);
    zt::PutLE16(out, 0);
    return out + body;
}

std::string Hex(const std::string& b) {
    static const char k[] = "0123456789abcdef";
    std::string out;
    out.reserve(b.size() * 2 + b.size() / 32 * 2);
    for (size_t i = 0; i < b.size(); ++i) {
        if (i && i % 64 == 0) out += "\r\n";
        out.push_back(k[uint8_t(b[i]) >> 4]);
        out.push_back(k[uint8_t(b[i]) & 15]);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const std::string dib = MakeDib(1024, 768);
    const std::string wmf = MakeWmfRecords(2000);
    std::string jpeg;
    double tBitmap = BestSeconds(5, [&] { zt::EncodeJpeg(dib, 60, jpeg); });
    size_t bitmapJpeg = jpeg.size();
    const std::string placeable = zt::PlaceableMetafileHeader(14400, 14400) + wmf;  // 10 x 10 inches
    double tWmf = BestSeconds(5, [&] { zt::ConvertPictureDataToJpeg(placeable, 60, jpeg); });

    std::string page = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard ";
    for (int i = 0; i < 4; ++i) {
        page += "Text vor dem Bild.\\par{\\pict\\dibitmap0\\picw1024\\pich768 " + Hex(dib) + "}\\par\r\n";
        page += "{\\pict\\wmetafile8\\picw25400\\pich25400 " + Hex(wmf) + "}\\par\r\n";
    }
    page += "}";
    std::string stored;
    double tPage = BestSeconds(3, [&] { stored = zt::TwinPass(page); });

    uLongf packedSize = compressBound(uLong(dib.size()));
    std::vector<Bytef> packed(packedSize);
    double tDeflate = BestSeconds(5, [&] {
        uLongf n = packedSize;
        compress2(packed.data(), &n, reinterpret_cast<const Bytef*>(dib.data()), uLong(dib.size()), 6);
    });

    const double mb = double(dib.size()) / 1e6;
    std::printf("| what | time | figure |\n|---|---|---|\n");
    std::printf("| 1024 x 768 bitmap to JPEG | %.1f ms | %.1f MB/s of bitmap, %zu bytes out |\n", tBitmap * 1e3,
                mb / tBitmap, bitmapJpeg);
    std::printf("| metafile, 2000 shapes, 960 x 960 px, to JPEG | %.1f ms | |\n", tWmf * 1e3);
    std::printf("| twin pass, page of 4 bitmaps and 4 metafiles (%.1f MB) | %.1f ms | %.1f MB/s |\n",
                double(page.size()) / 1e6, tPage * 1e3, double(page.size()) / 1e6 / tPage);
    std::printf("| zlib deflate of the bitmap (yardstick) | %.1f ms | %.1f MB/s |\n", tDeflate * 1e3, mb / tDeflate);
    std::printf("\nratio bitmap to JPEG / deflate: %.2f\n", tDeflate / tBitmap);
    return 0;
}
