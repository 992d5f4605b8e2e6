// The converter's pictures through the real conversion: bitmaps and
// metafiles of RTF written by other programs become JPEG files beside the
// HTML file, and their sources go. Text in a metafile is left out without a
// QGuiApplication (this test has none) and must not stop the drawing.
#include "exchange/rtfhtml/rtfconverter.h"
#include "support/tempdir.h"
#include "text/twinpass.h"

#include "base/bytes.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zt {
namespace {

using test::ReadFile;
using test::TempDir;

std::string Hex(std::string_view bytes) {
    static const char k[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(k[c >> 4]);
        out.push_back(k[c & 15]);
    }
    return out;
}

void Rec(std::string& out, uint16_t func, std::string params) {
    if (params.size() % 2) params.push_back('\0');
    PutLE32(out, uint32_t(3 + params.size() / 2));
    PutLE16(out, func);
    out += params;
}

std::string Words(std::initializer_list<int> words) {
    std::string s;
    for (int w : words) PutLE16(s, uint16_t(w));
    return s;
}

// Metafile records: a red square and a line of text.
std::string Metafile() {
    std::string body;
    Rec(body, 0x020C, Words({100, 100}));
    Rec(body, 0x02FC, Words({0, 0xFF, 0, 0}));
    Rec(body, 0x012D, Words({0}));
    Rec(body, 0x041B, Words({100, 100, 0, 0}));
    std::string font = Words({-20, 0, 0, 0, 400, 0, 0, 0, 0}) + "Arial";
    font.resize(50, '\0');
    Rec(body, 0x02FB, font);
    Rec(body, 0x012D, Words({1}));
    Rec(body, 0x0521, Words({5}) + "Hallo" + std::string(1, '\0') + Words({10, 10}));
    Rec(body, 0, "");
    std::string head;
    PutLE16(head, 1);
    PutLE16(head, 9);
    PutLE16(head, 0x0300);
    PutLE32(head, uint32_t(9 + body.size() / 2));
    PutLE16(head, 2);
    PutLE32(head, 0);
    PutLE16(head, 0);
    return head + body;
}

std::string Bitmap() {
    std::string d;
    PutLE32(d, 40);
    PutLE32(d, 2);
    PutLE32(d, 2);
    PutLE16(d, 1);
    PutLE16(d, 24);
    for (int i = 0; i < 6; ++i) PutLE32(d, 0);
    d += std::string("\xff\0\0\0\xff\0\0\0", 8);
    d += std::string("\0\0\xff\xff\xff\xff\0\0", 8);
    return d;
}

bool IsJpeg(const std::string& path) { return ReadFile(path).substr(0, 3) == "\xff\xd8\xff"; }

TEST(RtfPictures, BitmapsAndMetafilesBecomeJpeg) {
    TempDir dir;
    const std::string rtf = "{\\rtf1\\ansi Bilder: {\\pict\\dibitmap0\\picw2\\pich2\\picwgoal30\\pichgoal30 " +
                            Hex(Bitmap()) + "}{\\pict\\wmetafile8\\picw1270\\pich1270\\picwgoal720\\pichgoal720 " +
                            Hex(Metafile()) + "}{\\pict\\wmetafile8\\picw10\\pich10 0102}\\par}";
    RtfConverter c;
    ASSERT_TRUE(c.RtfToHtmlFile(rtf, dir / "p.html"));
    std::string html = ReadFile(dir / "p.html");
    EXPECT_NE(html.find("<IMG SRC=\"pImg0.jpg\""), std::string::npos);
    EXPECT_TRUE(IsJpeg(dir / "pImg0.jpg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "pImg0.bmp"));
#ifdef ZT_TEST_WITH_QT
    EXPECT_NE(html.find("<IMG SRC=\"pImg1.jpg\""), std::string::npos);
    EXPECT_TRUE(IsJpeg(dir / "pImg1.jpg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "pImg1.wmf"));
#endif
    // A metafile that cannot be drawn stays as it came.
    EXPECT_NE(html.find("<IMG SRC=\"pImg2.wmf\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir / "pImg2.wmf"));

    // Stored with twins, the same page shows the twins and no picture groups.
    std::string stored = TwinPass(rtf);
    ASSERT_TRUE(c.RtfToHtmlFile(stored, dir / "s.html"));
    std::string twins = ReadFile(dir / "s.html");
    EXPECT_NE(twins.find("<IMG SRC=\"sImg0.jpg\" ALT=\"sImg0.jpg\" WIDTH=2 HEIGHT=2>"), std::string::npos);
#ifdef ZT_TEST_WITH_QT
    EXPECT_NE(twins.find("<IMG SRC=\"sImg1.jpg\" ALT=\"sImg1.jpg\" WIDTH=48 HEIGHT=48>"), std::string::npos);
#endif
    EXPECT_EQ(twins.find("sImg2"), std::string::npos);
    EXPECT_TRUE(IsJpeg(dir / "sImg0.jpg"));
}

} // namespace
} // namespace zt
