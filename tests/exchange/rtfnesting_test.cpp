// The HTML converter with tables inside table cells (written as tables
// inside the cell's TD) and with enhanced metafiles (rendered to JPEG).
#include "exchange/rtfhtml/rtfconverter.h"
#include "support/tempdir.h"
#include "text/picture_builders.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef ZT_TEST_WITH_QT
#include <QImage>
#endif

namespace zt {
namespace {

using test::ReadFile;
using test::TempDir;

std::string Html(std::string_view rtf, const std::string& pictureBase = {}) {
    RtfConverter c;
    std::string html;
    EXPECT_TRUE(c.RtfToHtml(rtf, html, pictureBase)) << c.LastMessage();
    return html;
}

size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + what.size())) ++n;
    return n;
}

// The parts appear in this order.
::testing::AssertionResult InOrder(const std::string& html, std::initializer_list<const char*> parts) {
    size_t at = 0;
    for (const char* p : parts) {
        size_t found = html.find(p, at);
        if (found == std::string::npos) return ::testing::AssertionFailure() << "\"" << p << "\" not after " << at << " in " << html;
        at = found + 1;
    }
    return ::testing::AssertionSuccess();
}

const std::string kHead = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";

TEST(RtfToHtmlNesting, TablesInsideCellsBecomeTablesInsideCells) {
    const std::string rtf =
        kHead +
        "\\pard Vorher\\par"
        "\\trowd\\cellx3000\\cellx8000"
        "\\pard\\intbl Links\\cell"
        "\\pard\\intbl Oben\\par"
        "\\pard\\intbl\\itap2 Eins\\nestcell\\pard\\intbl\\itap2 Zwei\\nestcell"
        "{\\*\\nesttableprops\\trowd\\cellx1500\\cellx4000\\nestrow}{\\nonesttables\\par}"
        "\\pard\\intbl\\itap2 Breit\\nestcell"
        "{\\*\\nesttableprops\\trowd\\cellx4000\\nestrow}{\\nonesttables\\par}"
        "\\pard\\intbl Unten\\cell"
        "\\trowd\\cellx3000\\cellx8000\\row"
        "\\pard Nachher\\par}";
    const std::string html = Html(rtf);
    EXPECT_EQ(Count(html, "<TABLE"), 2u);
    EXPECT_EQ(Count(html, "</TABLE>"), 2u);
    EXPECT_TRUE(InOrder(html, {"Vorher", "<TABLE", "<TD COLSPAN=1 ROWSPAN=1><P><FONT FACE=\"Arial\">Links", "<TD COLSPAN=1 ROWSPAN=1><P><FONT FACE=\"Arial\">Oben",
                               "<TABLE", "ROW 1", "<TD COLSPAN=1 ROWSPAN=1><P><FONT FACE=\"Arial\">Eins",
                               "<TD COLSPAN=1 ROWSPAN=1><P><FONT FACE=\"Arial\">Zwei", "ROW 2",
                               "<TD COLSPAN=2 ROWSPAN=1><P><FONT FACE=\"Arial\">Breit", "</TABLE>", "Unten", "</TABLE>",
                               "Nachher"}));
    EXPECT_EQ(Count(html, "Breit"), 1u);
}

TEST(RtfToHtmlNesting, LibreOfficeFileAndThreeLevels) {
    const std::string lo = Html(ReadFile(std::string(ZT_TEST_DATA) + "/rtf/libreoffice-nested.rtf"));
    EXPECT_EQ(Count(lo, "<TABLE"), 2u) << lo;
    EXPECT_TRUE(InOrder(lo, {"Before", "<TABLE", "Outer A1", "Outer B1", "<TABLE", "Inner 1", "Inner 2",
                             "<TD COLSPAN=2 ROWSPAN=1>", "Inner wide", "</TABLE>", "Outer A2", "Outer B2", "</TABLE>",
                             "After"}));

    const std::string three =
        kHead +
        "\\trowd\\cellx5000\\pard\\intbl a\\par"
        "\\pard\\intbl\\itap2 b\\par"
        "\\pard\\intbl\\itap3 c\\nestcell{\\*\\nesttableprops\\trowd\\cellx1000\\nestrow}{\\nonesttables\\par}"
        "\\pard\\intbl\\itap2 \\nestcell{\\*\\nesttableprops\\trowd\\cellx3000\\nestrow}{\\nonesttables\\par}"
        "\\pard\\intbl d\\cell\\row\\pard e\\par}";
    const std::string html = Html(three);
    EXPECT_EQ(Count(html, "<TABLE"), 3u);
    EXPECT_TRUE(InOrder(html, {"<TABLE", "a", "<TABLE", "b", "<TABLE", "c", "</TABLE>", "</TABLE>", "d", "</TABLE>",
                               "e"}));
}

TEST(RtfToHtmlNesting, HostileNestingIsBounded) {
    std::string deep = kHead + "\\trowd\\cellx1000";
    for (int i = 0; i < 2000; ++i) deep += "\\pard\\intbl\\itap10000 x\\nestcell\\pard\\intbl\\itap" +
                                           std::to_string(2 + i % 7) + " y\\nestcell";
    const std::string cases[] = {
        deep + "\\cell\\row}",
        kHead + "\\nestrow\\nestcell{\\*\\nesttableprops\\nestrow}\\pard\\intbl\\itap2\\nestrow a\\par}",
        kHead + "\\trowd\\cellx1000\\pard\\intbl\\itap3 offen\\nestcell\\pard\\intbl\\itap5 fuenf",
        kHead + "\\trowd\\cellx1000\\pard\\intbl\\itap2 i\\nestcell\\row\\nestrow\\cell\\nestcell\\pard Ende\\par}",
    };
    for (const std::string& rtf : cases) {
        RtfConverter c;
        std::string html;
        ASSERT_TRUE(c.RtfToHtml(rtf, html, {})) << c.LastMessage();
        EXPECT_EQ(Count(html, "<TABLE"), Count(html, "</TABLE>")) << html.substr(0, 2000);
        // Levels left and entered again give new tables, each one bounded by the text.
        EXPECT_LE(Count(html, "<TABLE"), 20000u);
    }
}

TEST(RtfToHtmlPictures, EnhancedMetafilesAreRenderedToJpeg) {
    test::EmfBuilder emf(96, 48);
    emf.Rec(test::kEmfSelectObject, {test::kEmfStock | 8})
        .Rec(test::kEmfCreateBrushIndirect, {1, 0, 0x0000FF, 0})
        .Rec(test::kEmfSelectObject, {1})
        .Rec(test::kEmfRectangle, {0, 0, 48, 48});
    std::string hex;
    for (unsigned char b : emf.Build()) {
        hex += "0123456789abcdef"[b >> 4];
        hex += "0123456789abcdef"[b & 15];
    }
    TempDir dir;
    const std::string html =
        Html("{\\rtf1 x{\\pict\\emfblip\\picw2540\\pich1270\\picwgoal1440\\pichgoal720 " + hex + "}}", dir / "page");
    EXPECT_NE(html.find("<IMG SRC=\"pageImg0.jpg\" ALT=\"pageImg0.jpg\" WIDTH=96 HEIGHT=48>"), std::string::npos)
        << html;
    const std::string jpeg = ReadFile(dir / "pageImg0.jpg");
    ASSERT_GT(jpeg.size(), 3u);
    EXPECT_EQ(jpeg.substr(0, 3), "\xff\xd8\xff");
    EXPECT_FALSE(std::filesystem::exists(dir / "pageImg0.unknown"));
#ifdef ZT_TEST_WITH_QT
    const QImage image = QImage::fromData(QByteArray(jpeg.data(), qsizetype(jpeg.size())), "JPEG");
    ASSERT_EQ(image.size(), QSize(96, 48));
    EXPECT_GT(qRed(image.pixel(10, 10)), 200);
    EXPECT_LT(qGreen(image.pixel(10, 10)), 60);
    EXPECT_GT(qGreen(image.pixel(85, 10)), 200);
#endif
}

} // namespace
} // namespace zt
