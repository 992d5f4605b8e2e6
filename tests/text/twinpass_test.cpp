#include "text/twinpass.h"

#include "text/jpegwriter.h"
#include "text/pagertf.h"

#include "picture_builders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace zt {
namespace {

using test::MakeDib;
using test::WmfBuilder;

// A 2 x 2 PNG.
std::string PngBytes() {
    static const char kHex[] =
        "89504e470d0a1a0a0000000d4948445200000002000000020802000000fdd49a"
        "730000001049444154789c63f8cfc000440c100a001fee03fd8b5f14d4000000"
        "0049454e44ae426082";
    std::string out;
    for (size_t i = 0; kHex[i]; i += 2) out.push_back(char(std::stoi(std::string(kHex + i, 2), nullptr, 16)));
    return out;
}

std::string JpegBytes(int width, int height) {
    std::vector<std::string> rows(size_t(height), std::string(size_t(width) * 3, '\x80'));
    std::string jpeg;
    EXPECT_TRUE(EncodeJpeg(MakeDib(width, 24, rows), 60, jpeg));
    return jpeg;
}

// Picture data as RTF writes it: hexadecimal digits in lines.
std::string Hex(std::string_view bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i && i % 32 == 0) out += "\r\n";
        out.push_back(kDigits[uint8_t(bytes[i]) >> 4]);
        out.push_back(kDigits[uint8_t(bytes[i]) & 15]);
    }
    return out;
}

std::string Twin(const char* kind, int w, int h, std::string_view file) {
    return std::string("{\\*\\ztx") + kind + "\\ztxwidth" + std::to_string(w) + "\\ztxheight" + std::to_string(h) +
           " " + EncodeLines(file) + "}\r\n";
}

// Records what it is asked to convert and answers with a fixed JPEG, or
// refuses.
struct FakeConverter {
    std::vector<std::pair<PictureKind, std::string>> calls;
    std::string answer = JpegBytes(5, 3);
    bool refuse = false;
    TwinConverter Fn() {
        return [this](PictureKind kind, std::string_view file, std::string& jpeg) {
            calls.emplace_back(kind, std::string(file));
            if (refuse) return false;
            jpeg = answer;
            return true;
        };
    }
};

TEST(TwinPass, EveryPictureKindGetsItsTwinAndTheRestStaysAsItIs) {
    const std::string png = PngBytes(), jpeg = JpegBytes(8, 8);
    const std::string wmf = WmfBuilder(0, 0).Records();
    const std::string dib = MakeDib(4, 24, {std::string(12, '\x20'), std::string(12, '\x40')});
    FakeConverter fake;

    // The page as the text control writes it, cut where twins go in.
    const std::vector<std::string> parts = {
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil Arial;}}\r\n\\pard Text ",
        "{\\pict{\\*\\picprop{\\sp{\\sn x}{\\sv 1}}}\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300\r\n" + Hex(png) + "\r\n}",
        "\\par\r\n{\\pict\\jpegblip\\picw8\\pich8\\picscalex50\\picscaley200 " + Hex(jpeg) + "}",
        "\r\n{\\pict\\wmetafile8\\picw2540\\pich1270 " + Hex(wmf) + "}",
        "{\\pict\\dibitmap0\\picw4\\pich2\\picwgoal60\\pichgoal30\r\n" + Hex(dib) + "\r\n}",
        "\\par\r\n}\r\n",
    };
    std::string input;
    for (const auto& p : parts) input += p;
    const std::string out = TwinPass(input, fake.Fn());

    const std::string expected = "{\\rtf1{\\*\\ztxpict}" + parts[0].substr(6) +                      //
                                 parts[1] + Twin("png", 30, 20, png) +                             // goal sizes
                                 parts[2] + Twin("jpeg", 4, 18, jpeg) +                            // picw + 1, scaled
                                 parts[3] + Twin("jpeg", 96, 48, fake.answer) +                    // metafile box
                                 parts[4] + Twin("jpeg", 4, 2, fake.answer) + parts[5];
    EXPECT_EQ(out, expected);

    // Only the metafile and the bitmap were converted: the metafile with the
    // placeable header of its box (mapping mode 8: 2540 x 1270 -> 1440 x 720
    // twips), the bitmap as it is.
    ASSERT_EQ(fake.calls.size(), 2u);
    EXPECT_EQ(fake.calls[0].first, PictureKind::Metafile);
    EXPECT_EQ(fake.calls[0].second, PlaceableMetafileHeader(1440, 720) + wmf);
    EXPECT_EQ(fake.calls[1].first, PictureKind::Bitmap);
    EXPECT_EQ(fake.calls[1].second, dib);
}

TEST(TwinPass, MetafileBoxFromGoalSizeOrMappingMode) {
    struct Case {
        const char* words;
        int boxw, boxh;  // placeable header
        int w, h;        // twin size
    } cases[] = {
        {"\\wmetafile8\\picw2540\\pich1270\\picwgoal1440\\pichgoal720", 1441, 721, 96, 48},
        {"\\wmetafile\\picw95\\pich47", 1440, 720, 96, 48},          // mode 1: pixels
        {"\\wmetafile2\\picw253\\pich126", 1440, 720, 96, 48},       // 0.1 mm
        {"\\wmetafile4\\picw99\\pich49", 1440, 720, 96, 48},         // 0.01 inch
        {"\\wmetafile5\\picw999\\pich499", 1440, 720, 96, 48},       // 0.001 inch
        {"\\wmetafile6\\picw1440\\pich720", 1440, 720, 96, 48},      // twips
        {"\\wmetafile8\\picw2540\\pich1270\\picscalex50", 1440, 720, 48, 48},
        {"\\wmetafile9\\picw100\\pich100", 0, 0, 101, 101},           // unknown mode: no box
    };
    for (const auto& c : cases) {
        FakeConverter fake;
        std::string input = std::string("{\\rtf1{\\pict") + c.words + " 0300}}";
        std::string out = TwinPass(input, fake.Fn());
        ASSERT_EQ(fake.calls.size(), 1u) << c.words;
        EXPECT_EQ(fake.calls[0].second.substr(0, 22), PlaceableMetafileHeader(c.boxw, c.boxh)) << c.words;
        EXPECT_NE(out.find(Twin("jpeg", c.w, c.h, fake.answer)), std::string::npos) << c.words << "\n" << out;
    }
}

TEST(TwinPass, TwinSizes) {
    // A missing scale counts as 100 %; so does a scale of 0. Without goal and
    // picture size the PNG's own 2 x 2 pixels count.
    struct Case {
        const char* words;
        int w, h;
    } cases[] = {
        {"\\picw30\\pich20", 31, 21},
        {"\\picwgoal1440\\pichgoal720", 96, 48},
        {"\\picwgoal1439\\pichgoal14", 96, 1},
        {"\\picw9\\pich9\\picscalex200\\picscaley0", 20, 10},
        {"\\picwgoal1440\\pichgoal1440\\picscalex33\\picscaley150", 31, 144},
        {"", 2, 2},
        // Parameters are clamped to 32 bits, sizes too.
        {"\\picw-5\\pich99999999999999999\\picscalex99999999999", 42949672, 2147483647},
    };
    const std::string png = PngBytes();
    for (const auto& c : cases) {
        std::string out = TwinPass(std::string("{\\rtf1{\\pict\\pngblip") + c.words + " " + Hex(png) + "}}");
        std::string want = "\\ztxwidth" + std::to_string(c.w) + "\\ztxheight" + std::to_string(c.h) + " ";
        EXPECT_NE(out.find(want), std::string::npos) << c.words << "\n" << out.substr(0, 80);
    }
}

TEST(TwinPass, PicturesWithoutTwin) {
    FakeConverter refusing;
    refusing.refuse = true;
    const std::string jpeg = JpegBytes(2, 2);
    const std::vector<std::string> inputs = {
        "{\\rtf1 a{\\pict\\wmetafile8\\picw10\\pich10 0102}b}",                // converter refuses
        "{\\rtf1 a{\\pict\\dibitmap0\\picw1\\pich1 28000000}b}",               // likewise
        "{\\rtf1 a{\\pict\\emfblip\\picw10\\pich10 " + Hex(jpeg) + "}b}",     // no twin for this kind
        "{\\rtf1 a{\\pict\\wbitmap0\\picw10\\pich10 0102}b}",
        "{\\rtf1 a{\\pict\\pngblip\\picw10\\pich10 0102030405}b}",             // no PNG
        "{\\rtf1 a{\\pict\\jpegblip\\picw10\\pich10 }b}",                      // no data
        "{\\rtf1 a{\\pict\\jpegblip\\picw10\\pich10 " + Hex(jpeg),            // group never closed
        "{\\rtf1 a{\\pict\\jpegblip\\bin999999 " + jpeg + "}}",                // \bin beyond the input
        "{\\rtf1 a{\\pict\\macpict\\picw10\\pich10 0102}b}",
    };
    for (const auto& input : inputs) {
        std::string out = TwinPass(input, refusing.Fn());
        EXPECT_EQ(out, "{\\rtf1 {\\*\\ztxpict}" + input.substr(7)) << input;
    }
}

TEST(TwinPass, MacPictureGoesWithItsPrefix) {
    FakeConverter fake;
    std::string out = TwinPass("{\\rtf1{\\pict\\macpict\\picw72\\pich36 0011}}", fake.Fn());
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].first, PictureKind::MacPict);
    EXPECT_EQ(fake.calls[0].second, MacPictPrefix() + std::string("\x00\x11", 2));
    EXPECT_NE(out.find(Twin("jpeg", 73, 37, fake.answer)), std::string::npos);
}

TEST(TwinPass, ObjectsKeepOnlyTheirResult) {
    const std::string png = PngBytes();
    const std::string pict = "{\\pict\\pngblip\\picw1\\pich1 " + Hex(png) + "}";
    const std::string input = "{\\rtf1 x{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw100\\objh100"
                              "{\\*\\objdata 01050000020000000b000000}{\\result " +
                              pict + "}}y}";
    EXPECT_EQ(TwinPass(input), "{\\rtf1 {\\*\\ztxpict}x{{" + pict + Twin("png", 2, 2, png) + "}}y}");

    // An object without a result in its own group stays as it is, and so does
    // everything after it.
    for (std::string keep : {"{\\rtf1 {\\object\\objemb{\\*\\objdata 00}}{\\result z}}",
                             "{\\rtf1 {\\object{\\*\\objdata {\\result 00}}}}", "{\\rtf1 {\\object\\objemb"})
        EXPECT_EQ(TwinPass(keep), "{\\rtf1 {\\*\\ztxpict}" + keep.substr(7)) << keep;
}

TEST(TwinPass, BinaryDataAndShapes) {
    const std::string png = PngBytes();
    const std::string bin = "{\\pict\\pngblip\\picw1\\pich1\\bin" + std::to_string(png.size()) + " " + png + "}";
    std::string out = TwinPass("{\\rtf1 " + bin + "}");
    EXPECT_EQ(out, "{\\rtf1 {\\*\\ztxpict}" + bin + Twin("png", 2, 2, png) + "}");

    // Pictures in shapes, their results and the pictures for readers without
    // shapes all get twins.
    const std::string pict = "{\\pict\\pngblip\\picw1\\pich1 " + Hex(png) + "}";
    const std::string twin = Twin("png", 2, 2, png);
    std::string shapes = "{\\rtf1 {\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv " + pict + "}}}{\\shprslt " + pict +
                         "}}{\\*\\shppict" + pict + "}{\\nonshppict" + pict + "}}";
    EXPECT_EQ(TwinPass(shapes), "{\\rtf1 {\\*\\ztxpict}{\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv " + pict + twin +
                                    "}}}{\\shprslt " + pict + twin + "}}{\\*\\shppict" + pict + twin +
                                    "}{\\nonshppict" + pict + twin + "}}");
}

TEST(TwinPass, MarkerPlaceAndSecondPass) {
    EXPECT_EQ(TwinPass("{\\rtf1\\ansi x}"), "{\\rtf1{\\*\\ztxpict}\\ansi x}");
    EXPECT_EQ(TwinPass("{\\rtf1 x}"), "{\\rtf1 {\\*\\ztxpict}x}");
    EXPECT_EQ(TwinPass("{\\rtf x}"), "{\\rtf {\\*\\ztxpict}x}");
    EXPECT_EQ(TwinPass("{\\rtf1\r\n{\\*\\ztxpict}x}"), "{\\rtf1\r\n{\\*\\ztxpict}x}");
    for (std::string plain : {"", "plain text", " {\\rtf1 x}", "{\\rtfx}", "\\rtf1 x"})
        EXPECT_EQ(TwinPass(plain), plain);

    // The pass over its own result changes nothing; an old twin gives way to
    // the fresh one.
    const std::string png = PngBytes();
    const std::string page = "{\\rtf1\\ansi{\\pict\\pngblip\\picwgoal300\\pichgoal300 " + Hex(png) + "}\\par}";
    const std::string once = TwinPass(page);
    EXPECT_EQ(TwinPass(once), once);
    std::string stale = once;
    size_t at = stale.find("\\ztxwidth20");
    ASSERT_NE(at, std::string::npos);
    stale.replace(at, 11, "\\ztxwidth99");
    EXPECT_EQ(TwinPass(stale), once);
}

TEST(TwinPass, RealConversion) {
#ifndef ZT_TEST_WITH_QT
    GTEST_SKIP() << "metafiles are drawn with QtGui";
#else
    WmfBuilder wmf(0, 0);
    wmf.Rec(test::kWmfSetWindowExt, {100, 100}).Rec(test::kWmfCreateBrush, {0, 0xFF, 0, 0}).Rec(test::kWmfSelectObject, {0});
    wmf.Rec(test::kWmfRectangle, {100, 100, 0, 0});
    const std::string dib = MakeDib(3, 24, {std::string(9, '\xff'), std::string(9, '\0')});
    std::string out = TwinPass("{\\rtf1{\\pict\\wmetafile8\\picw1270\\pich1270 " + Hex(wmf.Records()) +
                               "}{\\pict\\dibitmap\\picw3\\pich2 " + Hex(dib) + "}{\\pict\\wmetafile8 0000}}");
    // Two JPEG twins: 48 x 48 pixels for the metafile's half inch, 4 x 3
    // for the bitmap; the damaged metafile has none.
    size_t first = out.find("{\\*\\ztxjpeg\\ztxwidth48\\ztxheight48 ");
    size_t second = out.find("{\\*\\ztxjpeg\\ztxwidth4\\ztxheight3 ");
    ASSERT_NE(first, std::string::npos) << out.substr(0, 200);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(out.find("ztxjpeg", second + 10), std::string::npos);
    std::string jpeg;
    size_t start = out.find(' ', first) + 1;
    ASSERT_TRUE(DecodeLines(out.substr(start, out.find('}', start) - start), jpeg));
    int w = 0, h = 0;
    ASSERT_TRUE(ImagePixelSize(jpeg, w, h));
    EXPECT_EQ(w, 48);
    EXPECT_EQ(h, 48);
#endif
}

TEST(TwinPass, HostileInputStaysInProportion) {
    using Clock = std::chrono::steady_clock;
    const std::string png = PngBytes();
    std::string manyObjects = "{\\rtf1 {";
    for (int i = 0; i < 100000; ++i) manyObjects += "\\object";
    std::string nestedObjects = "{\\rtf1 ";
    for (int i = 0; i < 900; ++i) nestedObjects += "{\\object " + std::string(200, 'x');
    std::string staleTwins = "{\\rtf1 ";
    for (int i = 0; i < 20000; ++i) staleTwins += "{\\pict\\pngblip\\bin" + std::to_string(png.size()) + " " + png + "}{\\*\\ztxpng ";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"deep nesting", "{\\rtf1 " + std::string(1000000, '{') + "{\\pict\\pngblip " + Hex(png) + "}"},
        {"unbalanced", "{\\rtf1 }}}}}" + std::string(100000, '}') + "{\\pict\\pngblip " + Hex(png) + "}"},
        {"huge parameters", "{\\rtf1{\\pict\\wmetafile99999999999999\\picw-99999999999\\pich99999999999 00}"
                            "{\\pict\\dibitmap\\bin-5 }}"},
        {"truncated hex", "{\\rtf1{\\pict\\pngblip 8\\'4"},
        {"many objects", manyObjects},
        {"nested objects", nestedObjects},
        {"stale twins never closed", staleTwins},
    };
    for (const auto& [name, input] : cases) {
        auto start = Clock::now();
        std::string out = TwinPass(input);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_LT(seconds, 5.0) << name;
        EXPECT_LE(out.size(), input.size() * 3 + 100) << name;
        EXPECT_EQ(out.substr(0, 6), input.substr(0, 6)) << name;
    }
}

} // namespace
} // namespace zt
