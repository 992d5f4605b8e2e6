#include "text/pagecolors.h"

#include "base/bytes.h"
#include "text/pagertf.h"

#include <gtest/gtest.h>

namespace zt {
namespace {

TEST(PageColors, EncodeAndDecode) {
    PageColors c;
    EXPECT_EQ(c.Encode(), "");  // nothing set: the property is removed
    c.SetTextBackground(0x0000FF);
    std::string rec = c.Encode();
    ASSERT_EQ(rec.size(), PageColors::kSize);
    EXPECT_EQ(GetLE32(rec.data()), 1u);
    EXPECT_EQ(GetLE32(rec.data() + 4), 1u);
    EXPECT_EQ(GetLE32(rec.data() + 8), 0x0000FFu);
    EXPECT_EQ(rec.substr(16), std::string(PageColors::kSize - 16, '\0'));
    EXPECT_EQ(PageColors::Decode(rec), c);

    c.SetFilesBackground(0x123456);
    rec = c.Encode();
    EXPECT_EQ(GetLE32(rec.data() + 4), 3u);
    EXPECT_EQ(GetLE32(rec.data() + 12), 0x123456u);
    EXPECT_EQ(PageColors::Decode(rec), c);

    c.SetTextBackground(0xFFFFFF);  // no colour clears the flag
    EXPECT_FALSE(c.textBackground);
    EXPECT_EQ(GetLE32(c.Encode().data() + 4), 2u);
    c.SetFilesBackground(0xFFFFFF);
    EXPECT_EQ(c.Encode(), "");

    // Short or flagless records read as far as they go.
    EXPECT_EQ(PageColors::Decode(""), PageColors());
    EXPECT_EQ(PageColors::Decode(rec.substr(0, 10)), PageColors());
    std::string flagsOnly = rec.substr(0, 8);
    SetLE32(flagsOnly.data() + 4, 3);
    EXPECT_EQ(PageColors::Decode(flagsOnly), PageColors());
    std::string white = PageColors{0xABCDEF, {}}.Encode();
    SetLE32(white.data() + 8, 0xFFFFFF);
    EXPECT_FALSE(PageColors::Decode(white).textBackground);
}

TEST(PageColors, LegacyTrailerColour) {
    // A 120-byte text whose trailer says red (decimal 16711680 = 0xFF0000)
    // gives the property red with red in the low byte.
    std::string doc = "{\\rtf1\\ansi Hello world, this is the page text of an older version.}";
    std::string trailer = "{\\ztxext\\ztxbgcolor16711680}";
    std::string text = doc + std::string(120 - doc.size() - trailer.size(), ' ') + trailer;
    auto t = FindLegacyTrailer(text);
    ASSERT_TRUE(t && t->backgroundColor);
    PageColors c;
    c.SetTextBackground(LegacyColorToRgb(*t->backgroundColor));
    EXPECT_EQ(*c.textBackground, 0x0000FFu);
    EXPECT_EQ(LegacyColorToRgb(0x123456), 0x563412u);
}

} // namespace
} // namespace zt
