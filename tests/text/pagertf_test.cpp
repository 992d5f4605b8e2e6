#include "text/pagertf.h"

#include <gtest/gtest.h>

#include <random>

namespace zt {
namespace {

TEST(LineCode, KnownForms) {
    EXPECT_EQ(EncodeLines("abc"), "DYWJj_A_");
    EXPECT_EQ(EncodeLines("a"), "BYQAA_A_");
    EXPECT_EQ(EncodeLines(""), "A_");
    std::string line(45, 'x');
    std::string encoded = EncodeLines(line);
    EXPECT_EQ(encoded.front(), 't');
    EXPECT_EQ(encoded.size(), 1 + 60 + 1 + 2u);
    EXPECT_EQ(encoded.substr(encoded.size() - 3), "_A_");
    // 46 bytes: a full line and a line of one byte.
    EXPECT_EQ(EncodeLines(line + "a").substr(62), "BYQAA_A_");
}

TEST(LineCode, RoundTrip) {
    std::mt19937 rng(7);
    for (size_t n : {0u, 1u, 2u, 3u, 44u, 45u, 46u, 90u, 1000u, 65536u}) {
        std::string bytes(n, '\0');
        for (auto& b : bytes) b = char(rng());
        std::string back;
        ASSERT_TRUE(DecodeLines(EncodeLines(bytes), back)) << n;
        EXPECT_EQ(back, bytes) << n;
    }
}

TEST(LineCode, DecodeToleratesLineBreaksAndRejectsDamage) {
    std::string out;
    EXPECT_TRUE(DecodeLines("DYW\r\nJj_ A_", out));
    EXPECT_EQ(out, "abc");
    for (const char* bad : {"", "DYWJj_", "DYWJj", "DYW!j_A_", "DYWJjA_", "_", "DYWJ"}) {
        EXPECT_FALSE(DecodeLines(bad, out)) << bad;
        EXPECT_TRUE(out.empty());
    }
}

TEST(TextToPageRtf, Escapes) {
    std::string rtf = TextToPageRtf("a\tb\nc\\d{e}\xe4\r\x01z", 10, false);
    EXPECT_EQ(rtf,
              "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
              "{\\f1\\fnil\\fcharset0 Courier New;}}\r\n\\viewkind4\\uc1\\pard\\f1\\fs20\r\n"
              "a\\tab b\\par c\\\\d\\{e\\}\\'e4z\r\n}\r\n");
}

TEST(TextToPageRtf, BoldAndRtfUnchanged) {
    std::string rtf = TextToPageRtf("x", 12, true);
    EXPECT_NE(rtf.find("\\fs24\\b\r\nx\\b0\r\n}\r\n"), std::string::npos);
    EXPECT_EQ(TextToPageRtf("{\\rtf1 already}", 12, true), "{\\rtf1 already}");
    EXPECT_TRUE(IsRtfText("{\\rtf1"));
    EXPECT_FALSE(IsRtfText(" {\\rtf1"));
}

TEST(LegacyTrailer, FoundOnlyNearTheEnd) {
    // 120 bytes whose last 100 hold the trailer with red as background.
    std::string doc = "{\\rtf1\\ansi Hello world, this is the page text of an older version.}";
    std::string trailer = "{\\ztxext\\ztxbgcolor16711680}";
    std::string text = doc + std::string(120 - doc.size() - trailer.size(), ' ') + trailer;
    ASSERT_EQ(text.size(), 120u);
    auto t = FindLegacyTrailer(text);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->start, text.size() - trailer.size());
    ASSERT_TRUE(t->backgroundColor);
    EXPECT_EQ(*t->backgroundColor, 0xFF0000u);

    std::string far = trailer + std::string(200, ' ');
    EXPECT_FALSE(FindLegacyTrailer(far));
    auto noColor = FindLegacyTrailer("{\\rtf1 x}{\\ztxext}");
    ASSERT_TRUE(noColor);
    EXPECT_FALSE(noColor->backgroundColor);
    auto tooBig = FindLegacyTrailer("{\\rtf1 x}{\\ztxext\\ztxbgcolor99999999999999}");
    ASSERT_TRUE(tooBig);
    EXPECT_FALSE(tooBig->backgroundColor);
    EXPECT_FALSE(FindLegacyTrailer("{\\rtf1 x}"));
}

} // namespace
} // namespace zt
