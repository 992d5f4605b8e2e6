// The enhanced metafile player: shapes, mapping, paths, bitmaps and text
// checked on the rendered pixels, and hostile records refused or skipped.
#include "text/emfrender.h"
#include "text/picture.h"

#include "picture_builders.h"

#include <QImage>

#include <gtest/gtest.h>

#include <chrono>

namespace zt {
namespace {

using test::EmfBuilder;
using test::kEmfStock;

::testing::AssertionResult Near(QRgb actual, QRgb expected, int tolerance = 12) {
    int d = std::max({std::abs(qRed(actual) - qRed(expected)), std::abs(qGreen(actual) - qGreen(expected)),
                      std::abs(qBlue(actual) - qBlue(expected))});
    if (d <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hex << "colour 0x" << (actual & 0xFFFFFF) << " instead of 0x"
                                         << (expected & 0xFFFFFF);
}

QImage Render(const EmfBuilder& emf) {
    auto picture = LoadPictureData(emf.Build());
    if (!picture) return {};
    return RenderPicture(*picture).convertToFormat(QImage::Format_RGB32);
}

// Pairs of 16-bit values.
std::string Shorts(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) PutLE16(s, uint16_t(v));
    return s;
}

TEST(Emf, HeaderGivesTheSize) {
    EmfHeader h;
    const std::string data = EmfBuilder(96, 48).Build();
    ASSERT_TRUE(ReadEmfHeader(data, h));
    EXPECT_EQ(h.WidthHimetric(), 2540);
    EXPECT_EQ(h.HeightHimetric(), 1270);
    auto picture = LoadPictureData(data);
    ASSERT_TRUE(picture);
    EXPECT_TRUE(picture->IsMetafile());
    EXPECT_EQ(PictureSizePixels(*picture).width, 96);
    EXPECT_EQ(PictureSizePixels(*picture).height, 48);
    // Not an enhanced metafile: no signature, a header record cut short.
    std::string unsigned_ = data;
    unsigned_[40] = 'X';
    EXPECT_FALSE(ReadEmfHeader(unsigned_, h));
    EXPECT_FALSE(ReadEmfHeader(data.substr(0, 60), h));
}

TEST(Emf, FilledRectanglePolylineAndStockObjects) {
    EmfBuilder emf(96, 48);
    emf.Rec(test::kEmfSelectObject, {kEmfStock | 8})                      // no pen
        .Rec(test::kEmfCreateBrushIndirect, {1, 0, 0x0000FF, 0})           // red
        .Rec(test::kEmfSelectObject, {1})
        .Rec(test::kEmfRectangle, {0, 0, 48, 48})                          // left half red
        .Rec(test::kEmfCreatePen, {2, 0, 3, 0, 0x000000})                  // black, 3 wide
        .Rec(test::kEmfSelectObject, {2})
        .Raw(test::kEmfPolyline16, EmfBuilder::Ints({52, 24, 94, 24, 2}) + Shorts({52, 24, 94, 24}))
        .Rec(test::kEmfSelectObject, {kEmfStock | 4})                      // black brush
        .Rec(test::kEmfSelectObject, {kEmfStock | 8})
        .Raw(test::kEmfPolygon16, EmfBuilder::Ints({60, 30, 90, 46, 3}) + Shorts({60, 46, 90, 46, 75, 30}))
        .Rec(test::kEmfDeleteObject, {1})
        .Rec(test::kEmfSelectObject, {1})                                  // deleted: nothing changes
        .Rec(test::kEmfEllipse, {10, 60, 20, 70});                         // outside the frame
    const QImage image = Render(emf);
    ASSERT_EQ(image.size(), QSize(96, 48));
    EXPECT_TRUE(Near(image.pixel(10, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(47, 47), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(70, 24), qRgb(0, 0, 0)));   // the line
    EXPECT_TRUE(Near(image.pixel(70, 10), qRgb(255, 255, 255)));
    EXPECT_TRUE(Near(image.pixel(75, 43), qRgb(0, 0, 0)));   // the triangle
    EXPECT_TRUE(Near(image.pixel(62, 33), qRgb(255, 255, 255)));
}

TEST(Emf, MappingSavedStatesWorldTransformAndPaths) {
    EmfBuilder emf(96, 48);
    const std::string half = EmfBuilder::Ints({0x3F000000, 0, 0, 0x3F000000, 0, 0});  // 0.5, 0, 0, 0.5, 0, 0
    emf.Rec(test::kEmfSetMapMode, {8})  // anisotropic: logical 200 x 100 onto the frame
        .Rec(test::kEmfSetWindowExtEx, {200, 100})
        .Rec(test::kEmfSetViewportExtEx, {96, 48})
        .Rec(test::kEmfSelectObject, {kEmfStock | 8})
        .Rec(test::kEmfCreateBrushIndirect, {1, 0, 0x00FF00, 0})  // green
        .Rec(test::kEmfSelectObject, {1})
        .Rec(test::kEmfSaveDc, {})
        .Raw(test::kEmfSetWorldTransform, half)
        .Rec(test::kEmfRectangle, {0, 0, 100, 100})  // a quarter: device 0..24
        .Rec(test::kEmfRestoreDc, {-1})
        .Rec(test::kEmfBeginPath, {})
        .Rec(test::kEmfMoveToEx, {150, 0})
        .Rec(test::kEmfLineTo, {200, 0})
        .Rec(test::kEmfLineTo, {200, 100})
        .Rec(test::kEmfLineTo, {150, 100})
        .Rec(test::kEmfEndPath, {})
        .Rec(test::kEmfFillPath, {0, 0, 200, 100});  // the right quarter
    const QImage image = Render(emf);
    ASSERT_EQ(image.size(), QSize(96, 48));
    EXPECT_TRUE(Near(image.pixel(10, 10), qRgb(0, 255, 0)));
    EXPECT_TRUE(Near(image.pixel(10, 36), qRgb(255, 255, 255)));  // below the halved square
    EXPECT_TRUE(Near(image.pixel(36, 10), qRgb(255, 255, 255)));
    EXPECT_TRUE(Near(image.pixel(85, 40), qRgb(0, 255, 0)));       // the path, transform restored
    EXPECT_TRUE(Near(image.pixel(60, 40), qRgb(255, 255, 255)));
}

TEST(Emf, StretchedBitmap) {
    // Top row (stored last) red, white; bottom row blue, green.
    const std::string dib =
        test::MakeDib(2, 24, {std::string("\xff\0\0\0\xff\0", 6), std::string("\0\0\xff\xff\xff\xff", 6)});
    const std::string bmi = dib.substr(0, 40), bits = dib.substr(40);
    // bounds, destination x and y, source x, y, width, height, offsets and
    // sizes of header and bits, usage, raster operation, destination size.
    const std::string rec = EmfBuilder::Ints({48, 0, 95, 47, 48, 0, 0, 0, 2, 2, 80, 40, 120, int64_t(bits.size()), 0,
                                              0x00CC0020, 48, 48}) +
                            bmi + bits;
    EmfBuilder emf(96, 48);
    emf.Raw(test::kEmfStretchDibits, rec);
    const QImage image = Render(emf);
    ASSERT_EQ(image.size(), QSize(96, 48));
    EXPECT_TRUE(Near(image.pixel(55, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(90, 10), qRgb(255, 255, 255)));
    EXPECT_TRUE(Near(image.pixel(55, 40), qRgb(0, 0, 255)));
    EXPECT_TRUE(Near(image.pixel(90, 40), qRgb(0, 255, 0)));
    EXPECT_TRUE(Near(image.pixel(20, 20), qRgb(255, 255, 255)));
}

// The font record: handle, then the logical font: height, width,
// escapement, orientation, weight, italic, underline, strike-out, charset,
// four precision and pitch bytes and the face name of 32 UTF-16 units.
std::string FontRecord(uint32_t handle, int height, const char* face) {
    std::string s = EmfBuilder::Ints({handle, height, 0, 0, 0, 700}) + std::string(8, '\0');
    std::string name;
    for (const char* c = face; *c; ++c) PutLE16(name, uint16_t(*c));
    name.resize(64, '\0');
    return s + name;
}

// The text record: bounds, graphics mode, scales, reference point, count,
// string offset, options, box, offset of the advances, then the string.
std::string TextRecord(int x, int y, const std::u16string& text, bool advances) {
    const uint32_t offString = 76, offDx = advances ? uint32_t(76 + (text.size() * 2 + 3) / 4 * 4) : 0;
    std::string s = EmfBuilder::Ints({0, 0, 0, 0, 1, 0, 0, x, y, int64_t(text.size()), offString, 0, 0, 0, 0, 0, offDx});
    for (char16_t c : text) PutLE16(s, c);
    while (s.size() % 4) s.push_back('\0');
    if (advances)
        for (size_t i = 0; i < text.size(); ++i) PutLE32(s, 20);
    return s;
}

TEST(Emf, Text) {
    for (bool advances : {false, true}) {
        SCOPED_TRACE(advances ? "with advances" : "own advances");
        EmfBuilder emf(96, 48);
        emf.Raw(test::kEmfExtCreateFontIndirectW, FontRecord(1, -36, "Arial"))
            .Rec(test::kEmfSelectObject, {1})
            .Rec(test::kEmfSetBkMode, {1})
            .Rec(test::kEmfSetTextColor, {0x0000FF})
            .Rec(test::kEmfSetTextAlign, {0})
            .Raw(test::kEmfExtTextOutW, TextRecord(2, 4, u"MMMM", advances));
        const QImage image = Render(emf);
        int red = 0, other = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qRed(p) > 150 && qGreen(p) < 100 && qBlue(p) < 100) ++red;
                else if (qGray(p) < 200 && !(qRed(p) > 150)) ++other;
            }
        EXPECT_GT(red, 100);
        EXPECT_EQ(other, 0);
    }
}

TEST(Emf, HostileRecordsAreBounded) {
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<const char*, std::string>> cases;
    {
        EmfBuilder e(96, 48, 1);
        for (int i = 0; i < 20000; ++i) e.Rec(test::kEmfCreatePen, {i % 3 ? 0x7FFFFFFF : 0, 0, 1, 0, 0});
        cases.push_back({"object table full, handles out of range", e.Build()});
    }
    {
        EmfBuilder e(96, 48);
        for (int i = 0; i < 20000; ++i) e.Rec(test::kEmfSaveDc, {});
        e.Rec(test::kEmfRestoreDc, {-30000}).Rec(test::kEmfRestoreDc, {5000}).Rec(test::kEmfRestoreDc, {INT32_MIN});
        cases.push_back({"saved states", e.Build()});
    }
    {
        EmfBuilder e(96, 48);
        for (int i = 0; i < 50000; ++i) e.Rec(test::kEmfRectangle, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
        cases.push_back({"many huge fills", e.Build()});
    }
    {
        EmfBuilder e(96, 48);
        e.Raw(test::kEmfPolyline16, EmfBuilder::Ints({0, 0, 1, 1, 0x7FFFFFFF}) + Shorts({1, 1, 2, 2}));
        e.Raw(test::kEmfPolyPolygon16, EmfBuilder::Ints({0, 0, 1, 1, 0x40000000, 2, 1, 1}) + Shorts({1, 1, 2, 2}));
        e.Raw(test::kEmfPolyPolygon16, EmfBuilder::Ints({0, 0, 1, 1, 2, 7, 1, 1}) + Shorts({1, 1, 2, 2}));
        e.Raw(test::kEmfPolyline16, EmfBuilder::Ints({0, 0, 1, 1}));  // no count at all
        cases.push_back({"counts larger than their records", e.Build()});
    }
    {
        EmfBuilder e(96, 48);
        e.Raw(test::kEmfExtCreateFontIndirectW, FontRecord(1, -1000000, "Arial")).Rec(test::kEmfSelectObject, {1});
        std::string text = TextRecord(0, 0, std::u16string(4000, u'W'), true);
        for (int i = 0; i < 50; ++i) e.Raw(test::kEmfExtTextOutW, text);
        std::string past = TextRecord(0, 0, u"ab", true);
        SetLE32(past.data() + 40, 0xFFFFFFF0u);  // string offset past the record
        SetLE32(past.data() + 64, 0xFFFFFFF0u);  // advances too
        e.Raw(test::kEmfExtTextOutW, past);
        cases.push_back({"huge text, offsets past the end", e.Build()});
    }
    {
        EmfBuilder e(96, 48);
        std::string dib = test::MakeDib(1, 8, {}, {0}, false, 1);
        SetLE32(dib.data() + 4, 5000);
        SetLE32(dib.data() + 8, 5000);
        dib += std::string(64, '\xff');
        const std::string rec =
            EmfBuilder::Ints({0, 0, 95, 47, 0, 0, 0, 0, 5000, 5000, 80, 44, 124, int64_t(dib.size() - 44), 0,
                              0x00CC0020, 96, 48}) +
            dib;
        for (int i = 0; i < 100; ++i) e.Raw(test::kEmfStretchDibits, rec);
        e.Raw(test::kEmfStretchDibits, EmfBuilder::Ints({0, 0, 9, 9, 0, 0, 0, 0, 2, 2, 80, 0x7FFFFFFF, 0xFFFFFFF0u,
                                                         0x7FFFFFFF, 0, 0x00CC0020, 96, 48}));
        cases.push_back({"bitmaps bigger than their data", e.Build()});
    }
    {
        EmfBuilder e(96, 48);
        e.Raw(test::kEmfSetWorldTransform, EmfBuilder::Ints({0x7F800000, 0, 0, 0x7FC00000, 0, 0}));  // inf, NaN
        e.Raw(test::kEmfSetWorldTransform, EmfBuilder::Ints({0x7E000000, 0, 0, 0x7E000000, 0, 0}));  // 4e37
        e.Raw(test::kEmfSetWorldTransform, EmfBuilder::Ints({0, 0, 0, 0, 0, 0}));                    // folds away
        e.Rec(test::kEmfBeginPath, {});
        for (int i = 0; i < 200000; ++i) e.Rec(test::kEmfLineTo, {(i * 37) % 200, (i * 53) % 100});
        e.Rec(test::kEmfEndPath, {}).Rec(test::kEmfFillPath, {0, 0, 96, 48});
        cases.push_back({"wild transforms and a long path", e.Build()});
    }
    {
        std::string e = EmfBuilder(96, 48).Rec(test::kEmfRectangle, {0, 0, 10, 10}).Build();
        SetLE32(e.data() + 92, 0x7FFFFFFF);  // the first record claims more than there is
        cases.push_back({"record beyond the data", e});
        std::string zero = EmfBuilder(96, 48).Rec(test::kEmfRectangle, {0, 0, 10, 10}).Build();
        SetLE32(zero.data() + 92, 0);
        cases.push_back({"record of size 0", zero});
        std::string odd = EmfBuilder(96, 48).Rec(test::kEmfRectangle, {0, 0, 10, 10}).Build();
        SetLE32(odd.data() + 92, 13);
        cases.push_back({"record size not a multiple of four", odd});
        // A record that looks like it holds a whole metafile again.
        std::string inner = EmfBuilder(96, 48).Rec(test::kEmfRectangle, {0, 0, 10, 10}).Build();
        EmfBuilder outer(96, 48);
        outer.Raw(70, inner).Raw(1, inner);
        cases.push_back({"a metafile inside a record", outer.Build()});
    }
    for (const auto& [name, data] : cases) {
        const auto start = Clock::now();
        auto picture = LoadPictureData(data);
        ASSERT_TRUE(picture) << name;
        const QImage image = RenderPicture(*picture);
        EXPECT_FALSE(image.isNull()) << name;
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 10.0) << name;
    }
    // A header that claims more than the data holds is no metafile.
    std::string cut = EmfBuilder(96, 48).Build();
    SetLE32(cut.data() + 4, 0x7FFFFFFF);
    EmfHeader h;
    EXPECT_FALSE(ReadEmfHeader(cut, h));
    cut = EmfBuilder(96, 48).Build();
    SetLE32(cut.data() + 4, 40);
    EXPECT_FALSE(ReadEmfHeader(cut, h));
}

} // namespace
} // namespace zt
