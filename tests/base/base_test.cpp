#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/system.h"
#include "base/urlcode.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

using namespace zt;

TEST(PrefixedString, LengthBoundariesRoundTrip) {
    for (size_t len : {size_t(0), size_t(254), size_t(255), size_t(0xFFFD), size_t(0xFFFE), size_t(70000)}) {
        std::string s(len, 'x');
        std::string enc;
        AppendPrefixedString(enc, s);
        size_t expectedPrefix = len < 255 ? 1 : (len < 0xFFFE ? 3 : 7);
        EXPECT_EQ(enc.size(), len + expectedPrefix) << len;
        size_t pos = 0;
        auto back = ReadPrefixedString(enc, pos);
        ASSERT_TRUE(back) << len;
        EXPECT_EQ(*back, s);
        EXPECT_EQ(pos, enc.size());
    }
}

TEST(PrefixedString, TruncatedAndWideForms) {
    // Announced length beyond the data: nothing is read, position unchanged.
    std::string bad = "\xFF\x00\x10" "abc";
    size_t pos = 0;
    EXPECT_FALSE(ReadPrefixedString(bad, pos));
    EXPECT_EQ(pos, 0u);
    std::string huge = std::string("\xFF\xFF\xFF", 3) + "\xFF\xFF\xFF\x7F";
    EXPECT_FALSE(ReadPrefixedString(huge, pos));
    // Wide announcement, then 2 UTF-16 characters: "A" and the euro sign.
    std::string wide = std::string("\xFF\xFE\xFF\x02", 4) + std::string("A\0\xAC\x20", 4);
    auto w = ReadPrefixedString(wide, pos);
    ASSERT_TRUE(w);
    EXPECT_EQ(*w, "A\x80");
}

TEST(Cp1252, RoundTripsEveryByteAndMapsSpecials) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(char(i));
    bool lossless = false;
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all), '?', &lossless), all);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(Cp1252ToUtf8("\x80\xE4\x9F"), "\u20AC\u00E4\u0178");
    EXPECT_EQ(Utf8ToCp1252("\u4E2D", '?', &lossless), "?");
    EXPECT_FALSE(lossless);
    // Invalid UTF-8 is taken as Windows-1252 bytes.
    EXPECT_EQ(Utf8ToCp1252("\xE4x"), "\xE4x");
}

TEST(UrlCode, FormEncodingAndLinkNames) {
    EXPECT_EQ(UrlFormEncode("a b.c_d-e/\xE4"), "a+b.c_d-e%2F%E4");
    EXPECT_EQ(UrlFormDecode("a+b%2f%2FX%zz%4"), "a b//X%zz%4");
    EXPECT_EQ(LinkNameEncode("Kap.2"), "Kap%2E2");
    EXPECT_EQ(UrlFormDecode(LinkNameEncode("Kap.2 x%")), "Kap.2 x%");
}

TEST(Names, DiskNameRule) {
    EXPECT_EQ(DiskNameRule("a:b?.txt"), "a-b-.txt");
    EXPECT_EQ(DiskNameRule("dots..."), "dots...!");
    EXPECT_EQ(DiskNameRule(""), "!");
    EXPECT_EQ(DiskNameRule("\\/:*?\"<>|%&"), "-----------");
}

TEST(Names, UniqueNamesAndSplitting) {
    test::TempDir dir;
    test::WriteFile(dir / "a.txt", "");
    test::WriteFile(dir / "a (#1).txt", "");
    test::WriteFile(dir / "readme", "");
    EXPECT_EQ(MakeUniquePath(dir / "a.txt"), dir / "a (#2).txt");
    EXPECT_EQ(MakeUniquePath(dir / "readme"), dir / "readme (#1)");
    EXPECT_EQ(MakeUniquePath(dir / "new.txt"), dir / "new.txt");
    // The dot of a directory name is no extension.
    EXPECT_EQ(NumberedName("/x.d/readme", 3), "/x.d/readme (#3)");
    EXPECT_EQ(FileNamePart("c:\\a/b\\c.txt"), "c.txt");
    EXPECT_EQ(DirectoryPart("c:\\a/b\\c.txt"), "c:\\a/b\\");
}

TEST(Names, SafeRelativePaths) {
    EXPECT_TRUE(IsSafeRelativePath("/ZTTmp/a.gz"));
    EXPECT_TRUE(IsSafeRelativePath("/a..b.gz"));
    for (const char* bad : {"", "/../x.gz", "..\\x", "//server/share", "c:/x", "/a/../../b"})
        EXPECT_FALSE(IsSafeRelativePath(bad)) << bad;
    EXPECT_EQ(JoinPath("/doc/", "\\sub\\a.gz"), "/doc/sub/a.gz");
}

TEST(System, UserNameFallbackAndTempDir) {
    EXPECT_FALSE(CurrentUserName().empty());
    std::string old = std::getenv("TMP") ? std::getenv("TMP") : "";
    setenv("TMP", "/some/dir/", 1);
    EXPECT_EQ(TempDirectory(), "/some/dir");
    if (old.empty()) unsetenv("TMP");
    else setenv("TMP", old.c_str(), 1);
}

TEST(System, ServerIdentsAreUniqueUpperHex) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string id = NewServerIdent();
        ASSERT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(id[12], '4'); // version nibble leads the third field
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(System, PositiveStamps) {
    EXPECT_EQ(PositiveStamp(0), 1);
    EXPECT_EQ(PositiveStamp(-5), 1);
    EXPECT_EQ(PositiveStamp(42), 42);
}

TEST(Messages, EveryMessageHasTextAndFormats) {
    for (int i = 0; i < int(Msg::Count_); ++i) EXPECT_STRNE(MessageText(Msg(i)), "") << i;
    EXPECT_EQ(FormatMessage(Msg::PageNotFound, {"/Missing"}), "Seite\n/Missing\nnicht gefunden.");
}
