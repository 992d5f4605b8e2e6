#include "text/dib.h"
#include "text/jpegwriter.h"
#include "text/picture.h"
#include "text/pictures.h"
#include "text/wmfrender.h"

#include "picture_builders.h"
#include "support/tempdir.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace zt {
namespace {

using test::MakeDib;
using test::WmfBuilder;

QImage DecodeJpeg(const std::string& jpeg) {
    return QImage::fromData(QByteArray(jpeg.data(), qsizetype(jpeg.size())), "JPEG").convertToFormat(QImage::Format_RGB32);
}

std::string Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

::testing::AssertionResult Near(QRgb actual, QRgb expected, int tolerance = 12) {
    int d = std::max({std::abs(qRed(actual) - qRed(expected)), std::abs(qGreen(actual) - qGreen(expected)),
                      std::abs(qBlue(actual) - qBlue(expected))});
    if (d <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hex << "colour 0x" << (actual & 0xFFFFFF) << " instead of 0x"
                                         << (expected & 0xFFFFFF);
}

std::string Row16(std::initializer_list<uint16_t> pixels) {
    std::string r;
    for (uint16_t p : pixels) PutLE16(r, p);
    return r;
}

// ---- device-independent bitmaps

struct DibCase {
    const char* name;
    std::string dib;
    QRgb topLeft, topRight, bottomLeft;
};

TEST(DibReader, ReadsEveryDepthAndForm) {
    const uint32_t red = 0xFF0000, blue = 0x0000FF;
    std::string rle8 = MakeDib(2, 8, {}, {red, blue}, false, 1);
    SetLE32(rle8.data() + 8, 2);
    rle8 += std::string("\x02\x01\x00\x00\x01\x00\x01\x01\x00\x01", 10);  // bottom: 2 x blue; top: red, blue
    std::string rle4 = MakeDib(2, 4, {}, {red, blue}, false, 2);
    SetLE32(rle4.data() + 8, 2);
    rle4 += std::string("\x02\x11\x00\x00\x02\x01\x00\x01", 8);  // bottom: blue blue; top: red blue
    std::string core;  // 12-byte header, 3-byte table entries
    PutLE32(core, 12);
    PutLE16(core, 2);
    PutLE16(core, 2);
    PutLE16(core, 1);
    PutLE16(core, 1);
    core += std::string("\x00\x00\xff" "\xff\x00\x00", 6);  // red, blue
    core += std::string("\x40\0\0\0\x80\0\0\0", 8);         // bottom: red blue; top: blue red

    const std::vector<DibCase> cases = {
        {"1 bit", MakeDib(2, 1, {"\x40", "\x80"}, {red, blue}), qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(255, 0, 0)},
        {"4 bits", MakeDib(2, 4, {"\x01", "\x10"}, {red, blue}), qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(255, 0, 0)},
        {"8 bits", MakeDib(2, 8, {std::string("\0\1", 2), std::string("\1\0", 2)}, {red, blue}), qRgb(0, 0, 255),
         qRgb(255, 0, 0), qRgb(255, 0, 0)},
        {"16 bits 5-5-5", MakeDib(2, 16, {Row16({0x7FFF, 0x001F}), Row16({0x7C00, 0x03E0})}), qRgb(255, 0, 0),
         qRgb(0, 255, 0), qRgb(255, 255, 255)},
        {"16 bits 5-6-5", MakeDib(2, 16, {Row16({0xF800, 0x07E0}), Row16({0x001F, 0xFFFF})}, {}, false, 3,
                                  {0xF800, 0x07E0, 0x001F}),
         qRgb(0, 0, 255), qRgb(255, 255, 255), qRgb(255, 0, 0)},
        {"24 bits", MakeDib(2, 24, {std::string("\xff\0\0\0\xff\0", 6), std::string("\0\0\xff\xff\xff\xff", 6)}),
         qRgb(255, 0, 0), qRgb(255, 255, 255), qRgb(0, 0, 255)},
        {"32 bits top-down", MakeDib(2, 32, {std::string("\0\0\xff\0\0\xff\0\0", 8), std::string(8, '\xff')}, {}, true),
         qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(255, 255, 255)},
        {"RLE 8", rle8, qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 0, 255)},
        {"RLE 4", rle4, qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 0, 255)},
        {"core header", core, qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(255, 0, 0)},
    };
    for (const auto& c : cases) {
        DibReader r;
        ASSERT_TRUE(r.Parse(c.dib)) << c.name;
        ASSERT_EQ(r.Width(), 2) << c.name;
        ASSERT_EQ(r.Height(), 2) << c.name;
        uint8_t top[6], bottom[6];
        r.RowRgb(0, top);
        r.RowRgb(1, bottom);
        EXPECT_EQ(qRgb(top[0], top[1], top[2]), c.topLeft) << c.name;
        EXPECT_EQ(qRgb(top[3], top[4], top[5]), c.topRight) << c.name;
        EXPECT_EQ(qRgb(bottom[0], bottom[1], bottom[2]), c.bottomLeft) << c.name;
    }
}

TEST(DibReader, RejectsDamage) {
    std::string good = MakeDib(2, 24, {std::string(6, '\0'), std::string(6, '\0')});
    std::string badDepth = good;
    badDepth[14] = 2;
    std::string hugeRle = MakeDib(1, 8, {}, {0}, false, 1);
    SetLE32(hugeRle.data() + 4, 60000);
    SetLE32(hugeRle.data() + 8, 60000);
    std::string topDownRle = MakeDib(2, 8, {}, {0}, true, 1);
    SetLE32(topDownRle.data() + 8, uint32_t(-2));
    struct Case {
        const char* name;
        std::string dib;
        DibReader::Error error;
    } cases[] = {
        {"empty", "", DibReader::Error::InvalidData},
        {"short header", good.substr(0, 30), DibReader::Error::InvalidData},
        {"pixels cut off", good.substr(0, good.size() - 1), DibReader::Error::InvalidData},
        {"bit count 2", badDepth, DibReader::Error::BitCount},
        {"zero width", MakeDib(0, 24, {std::string(4, '\0')}), DibReader::Error::InvalidData},
        {"palette cut off", MakeDib(2, 8, {}, {}).substr(0, 40), DibReader::Error::InvalidData},
        {"too many pixels", hugeRle, DibReader::Error::InvalidData},
        {"top-down RLE", topDownRle, DibReader::Error::InvalidData},
        {"unknown header", std::string("\x11\0\0\0", 4) + std::string(60, '\0'), DibReader::Error::InvalidData},
    };
    for (const auto& c : cases) {
        DibReader r;
        EXPECT_FALSE(r.Parse(c.dib)) << c.name;
        EXPECT_EQ(r.LastError(), c.error) << c.name;
    }
}

// ---- JPEG output

TEST(WriteJpeg, ErrorsAndNothingLeftBehind) {
    test::TempDir dir;
    std::string dib = MakeDib(1, 24, {std::string(3, '\0')});
    std::string badDepth = dib;
    badDepth[14] = 7;
    std::string error;
    EXPECT_FALSE(WriteJpeg(dib, -1, dir / "a.jpg", &error));
    EXPECT_EQ(error, "Invalid input data");
    EXPECT_FALSE(WriteJpeg(dib, 101, dir / "a.jpg", &error));
    EXPECT_EQ(error, "Invalid input data");
    EXPECT_FALSE(WriteJpeg("", 60, dir / "a.jpg", &error));
    EXPECT_EQ(error, "Invalid input data");
    EXPECT_FALSE(WriteJpeg(dib, 60, "", &error));
    EXPECT_EQ(error, "Invalid input data");
    EXPECT_FALSE(WriteJpeg(badDepth, 60, dir / "a.jpg", &error));
    EXPECT_EQ(error, "Invalid bitmap bit count");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.jpg"));
    EXPECT_FALSE(WriteJpeg(dib, 60, dir / "no/such/dir.jpg", &error));
    EXPECT_EQ(error, "Cannot open " + (dir / "no/such/dir.jpg"));
    ASSERT_TRUE(WriteJpeg(dib, 0, dir / "a.jpg", &error));
    EXPECT_EQ(DecodeJpeg(test::ReadFile(dir / "a.jpg")).size(), QSize(1, 1));
}

TEST(WriteJpeg, BaselineRgbUprightWithoutPadding) {
    // 3 pixels wide, 24 bits: 9 bytes per row and 3 padding bytes, which are
    // filled with white here and must not show.
    std::string rowBlue("\xff\0\0\xff\0\0\xff\0\0\xff\xff\xff", 12);
    std::string rowRed("\0\0\xff\0\0\xff\0\0\xff\xff\xff\xff", 12);
    std::vector<std::string> rows;
    for (int i = 0; i < 8; ++i) rows.push_back(rowBlue);  // stored first: the bottom
    for (int i = 0; i < 8; ++i) rows.push_back(rowRed);
    std::string jpeg;
    ASSERT_TRUE(EncodeJpeg(MakeDib(3, 24, rows), 100, jpeg));
    // Start of frame 0 (baseline) with 3 components.
    size_t sof = jpeg.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    EXPECT_EQ(uint8_t(jpeg[sof + 9]), 3);
    QImage image = DecodeJpeg(jpeg);
    ASSERT_EQ(image.size(), QSize(3, 16));
    EXPECT_TRUE(Near(image.pixel(1, 1), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(2, 1), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(1, 14), qRgb(0, 0, 255)));
}

TEST(WriteJpeg, SixteenBitPixels) {
    struct Case {
        uint16_t pixel;
        QRgb color;
    } cases[] = {{0x7FFF, qRgb(255, 255, 255)}, {0x001F, qRgb(0, 0, 255)}, {0x7C00, qRgb(255, 0, 0)},
                 {0x0000, qRgb(0, 0, 0)}};
    for (const auto& c : cases) {
        std::vector<std::string> rows(8, Row16({c.pixel, c.pixel, c.pixel, c.pixel, c.pixel, c.pixel, c.pixel, c.pixel}));
        std::string jpeg;
        ASSERT_TRUE(EncodeJpeg(MakeDib(8, 16, rows), 100, jpeg));
        EXPECT_TRUE(Near(DecodeJpeg(jpeg).pixel(4, 4), c.color, 3)) << std::hex << c.pixel;
    }
}

TEST(ConvertPictureToJpeg, QualityIsClamped) {
    std::vector<std::string> rows;
    for (int y = 0; y < 16; ++y) {
        std::string r;
        for (int x = 0; x < 16; ++x) r += std::string{char(x * 16), char(y * 16), char((x ^ y) * 16)};
        rows.push_back(r);
    }
    std::string dib = MakeDib(16, 24, rows);
    auto convert = [&](int q) {
        std::string jpeg;
        EXPECT_TRUE(ConvertPictureDataToJpeg(dib, q, jpeg));
        return jpeg;
    };
    EXPECT_EQ(convert(0), convert(10));
    EXPECT_EQ(convert(150), convert(100));
    EXPECT_NE(convert(60), convert(100));

    test::TempDir dir;
    test::WriteFile(dir / "p.bmp", dib);
    ASSERT_TRUE(ConvertPictureToJpeg(dir / "p.bmp", dir / "p.jpg", 60));
    EXPECT_EQ(test::ReadFile(dir / "p.jpg"), convert(60));
    EXPECT_FALSE(ConvertPictureToJpeg(dir / "missing.bmp", dir / "m.jpg", 60));
    test::WriteFile(dir / "junk.wmf", "not a picture");
    EXPECT_FALSE(ConvertPictureToJpeg(dir / "junk.wmf", dir / "junk.jpg", 60));
    EXPECT_FALSE(ConvertPictureToJpeg(dir / "p.bmp", dir / "no/dir/p.jpg", 60));
    EXPECT_FALSE(std::filesystem::exists(dir / "m.jpg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "junk.jpg"));
}

// ---- bitmaps out of images

TEST(BitmapToDib, KeepsTheDepthAndRoundTrips) {
    QImage rgb(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) rgb.setPixel(x, y, qRgb(x * 50, y * 100, 7));
    QImage indexed(5, 3, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(10, 20, 30)});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) indexed.setPixel(x, y, uint((x + y) % 3));
    QImage mono = indexed.convertToFormat(QImage::Format_Mono);
    QImage argb(5, 3, QImage::Format_ARGB32);
    argb.fill(qRgba(0, 0, 0, 0));  // transparent: comes out white
    argb.setPixel(0, 0, qRgba(0, 255, 0, 255));

    struct Case {
        const char* name;
        QImage image;
        int bits;
        size_t pixelOffset;
    } cases[] = {
        {"32 bits", rgb, 32, 52},
        {"24 bits", rgb.convertToFormat(QImage::Format_RGB888), 24, 40},
        {"16 bits", rgb.convertToFormat(QImage::Format_RGB555), 16, 52},
        {"8 bits", indexed, 8, 40 + 3 * 4},
        {"1 bit", mono, 1, 40 + 2 * 4},
        {"alpha over white", argb, 32, 52},
    };
    for (const auto& c : cases) {
        std::string dib = BitmapToDib(c.image);
        DibReader r;
        ASSERT_TRUE(r.Parse(dib)) << c.name;
        EXPECT_EQ(r.BitCount(), c.bits) << c.name;
        const size_t stride = (size_t(5) * size_t(c.bits) + 31) / 32 * 4;
        EXPECT_EQ(dib.size(), c.pixelOffset + 3 * stride) << c.name;
        QImage expected = c.image.format() == QImage::Format_ARGB32 ? QImage() : c.image.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y) {
            uint8_t row[15];
            r.RowRgb(y, row);
            for (int x = 0; x < 5; ++x) {
                QRgb want = expected.isNull() ? (x == 0 && y == 0 ? qRgb(0, 255, 0) : qRgb(255, 255, 255))
                                              : expected.pixel(x, y);
                EXPECT_TRUE(Near(qRgb(row[3 * x], row[3 * x + 1], row[3 * x + 2]), want, 8))
                    << c.name << " " << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(BitmapToDib(QImage()).empty());
}

// ---- loading

TEST(LoadPicture, EveryFormatAndItsSize) {
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(qRgb(200, 10, 10));
    std::string dib = BitmapToDib(image);
    std::string wmf = WmfBuilder(1440, 720).Build();
    // One red pixel.
    const std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00,\x00\x00\x00\x00"
                          "\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;", 35);
    struct Case {
        const char* name;
        std::string data;
        int width, height;
        bool metafile;
        QRgb color;
    } cases[] = {
        {"png", Encode(image, "PNG"), 30, 20, false, qRgb(200, 10, 10)},
        {"jpeg", Encode(image, "JPEG"), 30, 20, false, qRgb(200, 10, 10)},
        {"gif", gif, 1, 1, false, qRgb(255, 0, 0)},
        {"bmp", Encode(image, "BMP"), 30, 20, false, qRgb(200, 10, 10)},
        {"dib", dib, 30, 20, false, qRgb(200, 10, 10)},
        {"wmf", wmf, 96, 48, true, qRgb(255, 255, 255)},
    };
    for (const auto& c : cases) {
        auto picture = LoadPictureData(c.data);
        ASSERT_TRUE(picture) << c.name;
        EXPECT_EQ(picture->IsMetafile(), c.metafile) << c.name;
        PixelSize size = PictureSizePixels(*picture);
        EXPECT_EQ(size.width, c.width) << c.name;
        EXPECT_EQ(size.height, c.height) << c.name;
        QImage rendered = RenderPicture(*picture);
        ASSERT_EQ(rendered.size(), QSize(c.width, c.height)) << c.name;
        EXPECT_TRUE(Near(rendered.pixel(0, 0), c.color)) << c.name;
    }
    for (std::string bad : {std::string(), std::string("GIF89a"), std::string("\x89PNG\r\n\x1a\n", 8) + "xx",
                            std::string(2000, ' ') + "PICT", wmf.substr(0, 30)})
        EXPECT_FALSE(LoadPictureData(bad)) << bad.size();
    EXPECT_FALSE(LoadPictureFile(""));
    EXPECT_FALSE(LoadPictureFile("/no/such/file.png"));
    EXPECT_TRUE(RenderPictureFile("/no/such/file.png").isNull());
}

TEST(LoadPicture, LargePicturesAreDrawnSmaller) {
    // A metafile box of 30000 by 15000 units at 10 units per inch.
    QImage rendered = RenderPicture(*LoadPictureData(WmfBuilder(30000, 15000, 10).Build()));
    EXPECT_EQ(rendered.size(), QSize(Picture::kMaxRenderSide, Picture::kMaxRenderSide / 2));
}

// ---- Mac pictures

// Big-endian words for PICT data.
std::string Be(std::initializer_list<int> words) {
    std::string s;
    for (int w : words) {
        s.push_back(char((w >> 8) & 0xFF));
        s.push_back(char(w & 0xFF));
    }
    return s;
}

TEST(MacPict, RectanglesAndBitmaps) {
    // One inch by half an inch: 96 x 48 pixels.
    std::string pict = std::string(512, '\0') + Be({0, 0, 0, 36, 72}) + Be({0x0011, 0x02FF, 0x0C00, -1, -1});
    pict += std::string(20, '\0');
    pict += Be({0x001A, 0xFFFF, 0, 0, 0x0031, 0, 0, 36, 36});  // left half red
    // 32-bit direct pixels, 2 x 2, unpacked, onto the right half.
    pict += Be({0x009A, 0, 0xFF, 0x8000 | 8, 0, 0, 2, 2, 0, 1, 0, 0, 0x48, 0, 0x48, 0, 16, 32, 3, 8, 0, 0, 0, 0, 0, 0});
    pict += Be({0, 0, 2, 2, 0, 36, 36, 72, 0});
    pict += std::string("\0\0\0\xff\0\0\xff\0" "\0\xff\xff\xff\0\0\0\0", 16);
    // 8-bit indexed pixels, one packed row of 8 pixels of colour 1, onto the
    // bottom of the left half.
    pict += Be({0x0098, 0x8000 | 8, 0, 0, 1, 8, 0, 0, 0, 0, 0x48, 0, 0x48, 0, 0, 8, 1, 8, 0, 0, 0, 0, 0, 0});
    pict += Be({0, 0, 0, 1, 0, 0xFFFF, 0, 0, 1, 0, 0xFFFF, 0});  // table: 0 red, 1 green
    pict += Be({0, 0, 1, 8, 30, 0, 36, 36, 0});
    pict += std::string("\x02\xf9\x01\0", 4);  // count 2: eight times 1; pad byte
    pict += Be({0x00FF});
    auto picture = LoadPictureData(pict);
    ASSERT_TRUE(picture);
    QImage image = RenderPicture(*picture);
    ASSERT_EQ(image.size(), QSize(96, 48));
    EXPECT_TRUE(Near(image.pixel(10, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(10, 44), qRgb(0, 255, 0)));
    EXPECT_TRUE(Near(image.pixel(60, 10), qRgb(0, 0, 255)));
    EXPECT_TRUE(Near(image.pixel(84, 10), qRgb(0, 255, 0)));
    EXPECT_TRUE(Near(image.pixel(60, 40), qRgb(255, 255, 255)));
    EXPECT_TRUE(Near(image.pixel(84, 40), qRgb(0, 0, 0)));

    // Through the whole conversion, and cut short anywhere without harm.
    std::string jpeg;
    EXPECT_TRUE(ConvertPictureDataToJpeg(pict, 60, jpeg));
    for (size_t n = 512; n < pict.size(); n += 7) {
        auto cut = LoadPictureData(pict.substr(0, n));
        if (cut) RenderPicture(*cut);
    }
}

// ---- metafiles

QImage Render(const WmfBuilder& wmf) {
    auto picture = LoadPictureData(wmf.Build());
    EXPECT_TRUE(picture);
    return picture ? RenderPicture(*picture) : QImage();
}

TEST(Wmf, ShapesPensBrushesAndMapping) {
    // Box 1 x 0.5 inch = 96 x 48 pixels, logical window 200 x 100.
    WmfBuilder wmf(1440, 720);
    wmf.Rec(test::kWmfSetWindowOrg, {0, 0})
        .Rec(test::kWmfSetWindowExt, {100, 200})
        .Rec(test::kWmfCreatePen, {5, 0, 0, 0, 0})                   // 0: no pen
        .Rec(test::kWmfCreateBrush, {0, test::ColorLo(0x0000FF), 0, 0})  // 1: red (COLORREF 0x0000FF)
        .Rec(test::kWmfCreateBrush, {0, test::ColorLo(0xFF0000), test::ColorHi(0xFF0000), 0})  // 2: blue
        .Rec(test::kWmfSelectObject, {0})
        .Rec(test::kWmfSelectObject, {1})
        .Rec(test::kWmfRectangle, {100, 100, 0, 0})  // left half red
        .Rec(test::kWmfSelectObject, {2})
        .Rec(test::kWmfEllipse, {100, 200, 0, 100})  // right half: blue ellipse
        .Rec(test::kWmfCreatePen, {0, 4, 0, 0, 0})   // 3: black, 4 units wide
        .Rec(test::kWmfSelectObject, {3})
        .Rec(test::kWmfPolyline, {2, 0, 50, 100, 50});  // across the left half
    QImage image = Render(wmf);
    ASSERT_EQ(image.size(), QSize(96, 48));
    EXPECT_TRUE(Near(image.pixel(10, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(72, 24), qRgb(0, 0, 255)));
    EXPECT_TRUE(Near(image.pixel(49, 1), qRgb(255, 255, 255)));  // outside the ellipse
    EXPECT_TRUE(Near(image.pixel(20, 24), qRgb(0, 0, 0)));       // the line
}

TEST(Wmf, ClippingSavedStatesPolygonAndBitmap) {
    WmfBuilder wmf(1440, 720);
    std::string dib = MakeDib(2, 24, {std::string("\xff\0\0\0\xff\0", 6), std::string("\0\0\xff\xff\xff\xff", 6)});
    std::string stretch = WmfBuilder::Words({0x0020, 0x00CC, 0, 2, 2, 0, 0, 48, 48, 0, 48}) + dib;
    wmf.Rec(test::kWmfSetWindowExt, {48, 96})
        .Rec(test::kWmfCreatePen, {5, 0, 0, 0, 0})
        .Rec(test::kWmfSelectObject, {0})
        .Rec(test::kWmfCreateBrush, {0, test::ColorLo(0x00FF00), test::ColorHi(0x00FF00), 0})
        .Rec(test::kWmfSelectObject, {1})
        .Rec(test::kWmfSaveDc, {})
        .Rec(test::kWmfIntersectClipRect, {48, 24, 0, 0})  // only the left quarter
        .Rec(test::kWmfRectangle, {48, 96, 0, 0})
        .Rec(test::kWmfRestoreDc, {-1})
        .Rec(test::kWmfPolygon, {3, 24, 0, 48, 0, 48, 10})  // a green triangle at the top
        .Raw(test::kWmfStretchDib, stretch);                // 2 x 2 pixels onto the right half
    QImage image = Render(wmf);
    ASSERT_EQ(image.size(), QSize(96, 48));
    EXPECT_TRUE(Near(image.pixel(10, 30), qRgb(0, 255, 0)));
    EXPECT_TRUE(Near(image.pixel(30, 30), qRgb(255, 255, 255)));  // clipped away
    EXPECT_TRUE(Near(image.pixel(40, 1), qRgb(0, 255, 0)));       // triangle, clip restored
    // Bitmap: top row (stored last) red, white; bottom row blue, green.
    EXPECT_TRUE(Near(image.pixel(55, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(90, 10), qRgb(255, 255, 255)));
    EXPECT_TRUE(Near(image.pixel(55, 40), qRgb(0, 0, 255)));
    EXPECT_TRUE(Near(image.pixel(90, 40), qRgb(0, 255, 0)));
}

TEST(Wmf, Text) {
    WmfBuilder wmf(1440, 720);
    std::string font = WmfBuilder::Words({static_cast<uint16_t>(-40), 0, 0, 0, 700, 0, 0, 0, 0}) + "Arial";
    font.resize(18 + 32, '\0');
    std::string text = WmfBuilder::Words({4}) + "MMMM" + WmfBuilder::Words({4, 4});
    wmf.Rec(test::kWmfSetWindowExt, {48, 96}).Raw(test::kWmfCreateFont, font).Rec(test::kWmfSelectObject, {0});
    wmf.Rec(test::kWmfSetBkMode, {1}).Raw(test::kWmfTextOut, text);
    QImage image = Render(wmf);
    int dark = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 96; ++x) dark += qGray(image.pixel(x, y)) < 100;
    EXPECT_GT(dark, 100);
}

TEST(Wmf, HostileDataIsBounded) {
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<const char*, std::string>> cases;
    {
        WmfBuilder w(1440, 720, 1440, 1);
        for (int i = 0; i < 20000; ++i) w.Rec(test::kWmfCreatePen, {0, 1, 0, 0, 0});  // table of one
        cases.push_back({"object table full", w.Build()});
    }
    {
        WmfBuilder w(1440, 720);
        for (int i = 0; i < 20000; ++i) w.Rec(test::kWmfSaveDc, {});
        w.Rec(test::kWmfRestoreDc, {-30000}).Rec(test::kWmfRestoreDc, {5000});
        cases.push_back({"saved states", w.Build()});
    }
    {
        WmfBuilder w(1440, 720);
        w.Rec(test::kWmfSetWindowExt, {1, 1});
        for (int i = 0; i < 50000; ++i) w.Rec(test::kWmfRectangle, {32767, 32767, -32768, -32768});
        cases.push_back({"many huge fills", w.Build()});
    }
    {
        WmfBuilder w(1440, 720);
        w.Rec(test::kWmfSetWindowExt, {1, 1});
        for (int i = 0; i < 2000; ++i) w.Rec(test::kWmfIntersectClipRect, {i % 40, i % 90, i % 7, i % 5}).Rec(0x0415, {i % 48, i % 96, i % 11, i % 13});
        w.Rec(test::kWmfEllipse, {32767, 32767, -32768, -32768});
        cases.push_back({"clip churn", w.Build()});
    }
    {
        WmfBuilder w(1440, 720);
        std::string font = WmfBuilder::Words({static_cast<uint16_t>(-32768), 0, 900, 0, 0, 0, 0, 0, 0}) + "Arial";
        font.resize(50, '\0');
        w.Rec(test::kWmfSetWindowExt, {1, 1}).Raw(test::kWmfCreateFont, font).Rec(test::kWmfSelectObject, {0});
        std::string text = WmfBuilder::Words({2000}) + std::string(2000, 'W') + WmfBuilder::Words({0, 0});
        for (int i = 0; i < 50; ++i) w.Raw(test::kWmfTextOut, text);
        cases.push_back({"huge text", w.Build()});
    }
    {
        WmfBuilder w(1440, 720);
        std::string dib = MakeDib(1, 8, {}, {0}, false, 1);
        SetLE32(dib.data() + 4, 5000);
        SetLE32(dib.data() + 8, 5000);
        dib += std::string(64, '\xff');
        std::string stretch = WmfBuilder::Words({0x0020, 0x00CC, 0, 5000, 5000, 0, 0, 48, 96, 0, 0}) + dib;
        for (int i = 0; i < 100; ++i) w.Raw(test::kWmfStretchDib, stretch);
        w.Rec(test::kWmfPolygon, {30000});  // more points than the record holds
        cases.push_back({"bitmaps bigger than their data", w.Build()});
    }
    {
        std::string w = WmfBuilder(1440, 720).Build();
        SetLE32(w.data() + 40, 0x7FFFFFFF);  // the first record claims more than there is
        cases.push_back({"record beyond the data", w});
        std::string zero = WmfBuilder(1440, 720).Rec(test::kWmfRectangle, {1, 1, 0, 0}).Build();
        SetLE32(zero.data() + 40, 0);
        cases.push_back({"record of size 0", zero});
    }
    {
        WmfBuilder w(32767, 32767, 1);  // a box far larger than any screen
        w.Rec(test::kWmfSetWindowExt, {1, 1});
        for (int i = 0; i < 200; ++i) w.Rec(test::kWmfEllipse, {32767, 32767, -32768, -32768});
        cases.push_back({"largest box", w.Build()});
    }
    for (const auto& [name, data] : cases) {
        auto start = Clock::now();
        auto picture = LoadPictureData(data);
        ASSERT_TRUE(picture) << name;
        QImage image = RenderPicture(*picture);
        EXPECT_FALSE(image.isNull()) << name;
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_LT(seconds, 10.0) << name;
    }
}

} // namespace
} // namespace zt
