#include "text/rtfcodepage.h"
#include "text/rtftokenizer.h"
#include "text/rtfwords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zt {
namespace {

// One line per token: "{", "}", "w:word", "w:word=param", "s:c", "t:text", "h:xx", "b:n", "E".
std::vector<std::string> Tokens(std::string_view rtf, int maxDepth = RtfTokenizer::kDefaultMaxDepth) {
    RtfTokenizer tok(rtf, maxDepth);
    std::vector<std::string> out;
    RtfToken t;
    while (tok.Next(t)) {
        switch (t.type) {
        case RtfTokenType::GroupOpen: out.push_back("{"); break;
        case RtfTokenType::GroupClose: out.push_back("}"); break;
        case RtfTokenType::Word:
            out.push_back("w:" + std::string(t.word) + (t.hasParam ? "=" + std::to_string(t.param) : ""));
            break;
        case RtfTokenType::Symbol: out.push_back(std::string("s:") + t.symbol); break;
        case RtfTokenType::Text: out.push_back("t:" + std::string(t.text)); break;
        case RtfTokenType::Hex: {
            char buf[8];
            snprintf(buf, sizeof buf, "h:%02x", t.hex);
            out.push_back(buf);
            break;
        }
        case RtfTokenType::Binary: out.push_back("b:" + std::to_string(t.text.size())); break;
        case RtfTokenType::Error: out.push_back("E"); break;
        case RtfTokenType::End: break;
        }
    }
    return out;
}

using V = std::vector<std::string>;

TEST(RtfTokenizer, TokenKinds) {
    struct Case {
        std::string rtf;
        V tokens;
    } cases[] = {
        {"{\\rtf1\\ansi Hello}", {"{", "w:rtf=1", "w:ansi", "t:Hello", "}"}},
        {"\\fi-360 x", {"w:fi=-360", "t:x"}},
        {"\\b0\\i x", {"w:b=0", "w:i", "t:x"}},
        {"\\par  two", {"w:par", "t: two"}},  // only one delimiting space is eaten
        {"\\-x", {"s:-", "t:x"}},
        {"\\fs-x", {"w:fs", "t:-x"}},  // a minus without digits is text
        {"a\\'e4b", {"t:a", "h:e4", "t:b"}},
        {"\\\\\\{\\}", {"t:\\", "t:{", "t:}"}},
        {"\\*\\generator", {"s:*", "w:generator"}},
        {"\\~\\_", {"s:~", "s:_"}},
        {"one\r\ntwo", {"t:one", "t:two"}},
        {"x\\\ny", {"t:x", "w:par", "t:y"}},
        {"\\'4", {"s:'", "t:4"}},          // truncated hex
        {"\\'", {"s:'"}},
        {"tail\\", {"t:tail", "s:\\"}},
        {"\\u8364?", {"w:u=8364", "t:?"}},
        {"\\u-4064 ?", {"w:u=-4064", "t:?"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Tokens(c.rtf), c.tokens) << c.rtf;
}

TEST(RtfTokenizer, HugeParametersAreClamped) {
    EXPECT_EQ(Tokens("\\fs99999999999999999999 x"), (V{"w:fs=2147483647", "t:x"}));
    EXPECT_EQ(Tokens("\\li-99999999999999999999"), (V{"w:li=-2147483647"}));
}

TEST(RtfTokenizer, BinaryDataIsBoundedByTheInput) {
    EXPECT_EQ(Tokens("{\\bin3 a}}z}"), (V{"{", "b:3", "t:z", "}"}));
    RtfTokenizer tok("\\bin2000000000 abc");
    RtfToken t;
    ASSERT_TRUE(tok.Next(t));
    EXPECT_EQ(t.type, RtfTokenType::Binary);
    EXPECT_EQ(t.text, "abc");
    EXPECT_TRUE(tok.Truncated());
    EXPECT_FALSE(tok.Next(t));
    EXPECT_EQ(Tokens("\\bin-5 x"), (V{"b:0", "t:x"}));
}

TEST(RtfTokenizer, NestingIsCapped) {
    std::string deep(1000000, '{');
    auto tokens = Tokens(deep, 100);
    ASSERT_EQ(tokens.size(), 101u);
    EXPECT_EQ(tokens.back(), "E");
    // Unbalanced closing braces are reported but the depth stays at zero.
    RtfTokenizer tok("}}{");
    RtfToken t;
    while (tok.Next(t)) {
    }
    EXPECT_EQ(tok.Depth(), 1);
}

TEST(RtfTokenizer, OffsetsCoverTheInput) {
    std::string rtf = "{\\rtf1 \\b bold\\b0\r\n text\\'fc}";
    RtfTokenizer tok(rtf);
    RtfToken t;
    std::string copy;
    size_t last = 0;
    while (tok.Next(t)) {
        copy += rtf.substr(last, t.offset - last);  // skipped line breaks
        copy += rtf.substr(t.offset, t.end - t.offset);
        last = t.end;
    }
    EXPECT_EQ(copy, rtf);
}

TEST(RtfTokenizer, SeekReadsAgain) {
    RtfTokenizer tok("{\\b x}{\\i y}");
    RtfToken t;
    tok.Next(t);
    tok.Next(t);
    size_t at = t.offset;
    tok.Next(t);
    tok.Next(t);
    tok.Seek(at, 1);
    ASSERT_TRUE(tok.Next(t));
    EXPECT_EQ(t.word, "b");
}

TEST(RtfWords, Lookup) {
    EXPECT_EQ(LookupRtfWord("pict"), RtfKw::pict);
    EXPECT_EQ(RtfWordKind(RtfKw::pict), RtfKwKind::Dest);
    EXPECT_EQ(LookupRtfWord("ztxjpeg"), RtfKw::ztxjpeg);
    EXPECT_EQ(LookupRtfWord("b"), RtfKw::b);
    EXPECT_EQ(RtfWordKind(RtfKw::b), RtfKwKind::Char);
    EXPECT_EQ(LookupRtfWord("do"), RtfKw::do_);
    EXPECT_EQ(LookupRtfWord("nosuchword"), RtfKw::Unknown);
    EXPECT_EQ(LookupRtfWord(""), RtfKw::Unknown);
    for (int i = 1; i < int(RtfKw::Count_); ++i)
        EXPECT_EQ(LookupRtfWord(RtfWordText(RtfKw(i))), RtfKw(i)) << RtfWordText(RtfKw(i));
}

TEST(RtfCodePage, Tables) {
    struct Case {
        int page;
        unsigned char byte;
        char32_t expected;
    } cases[] = {
        {1252, 0xE4, 0xE4},  {1252, 0x80, 0x20AC}, {1252, 0x81, 0},      {1250, 0x8A, 0x0160},
        {437, 0x84, 0xE4},   {850, 0x9B, 0xF8},    {10000, 0x8A, 0xE4},  {1251, 0xC0, 0x0410},
        {1253, 0xE1, 0x03B1}, {kRtfSymbolCodePage, 0x61, 0x03B1},        {kRtfSymbolCodePage, 0xAE, 0x2192},
        {kRtfSymbolCodePage, 0xB7, 0x2022},        {99999, 0xE4, 0xE4},  // unknown: Windows-1252
    };
    for (const auto& c : cases)
        EXPECT_EQ(RtfCodePageFor(c.page).Map(c.byte), c.expected) << c.page << " " << int(c.byte);
}

TEST(RtfCodePage, DoubleByte) {
    const RtfCodePage& sjis = RtfCodePageFor(932);
    ASSERT_TRUE(sjis.IsDoubleByte());
    EXPECT_TRUE(sjis.IsLeadByte(0x82));
    EXPECT_EQ(sjis.MapPair(0x82, 0xA0), char32_t(0x3042));  // hiragana a
    EXPECT_EQ(sjis.Map('A'), char32_t('A'));
    EXPECT_FALSE(RtfCodePageFor(1252).IsDoubleByte());
}

TEST(RtfCodePage, Charsets) {
    EXPECT_EQ(CodePageOfCharset(0), 1252);
    EXPECT_EQ(CodePageOfCharset(1), 0);
    EXPECT_EQ(CodePageOfCharset(2), kRtfSymbolCodePage);
    EXPECT_EQ(CodePageOfCharset(204), 1251);
    EXPECT_EQ(CodePageOfCharset(238), 1250);
    EXPECT_EQ(CodePageOfCharset(77), 10000);
    EXPECT_EQ(CodePageOfCharset(12345), 0);
}

} // namespace
} // namespace zt
