#include "exchange/rtfhtml/rtfconverter.h"
#include "support/tempdir.h"
#include "text/pagertf.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace zt {
namespace {

using test::ReadFile;
using test::TempDir;

std::string Corpus(const std::string& name) { return ReadFile(std::string(ZT_TEST_DATA) + "/rtf/" + name); }

// The body between the opening and closing BODY tags (font division included).
std::string Body(const std::string& html) {
    size_t b = html.find("<BODY");
    b = html.find(">\n", b) + 2;
    size_t e = html.find("</BODY>");
    return html.substr(b, e - b);
}

std::string Html(std::string_view rtf, RtfConverter* with = nullptr, const std::string& pictureBase = {}) {
    RtfConverter own;
    RtfConverter& c = with ? *with : own;
    std::string html;
    EXPECT_TRUE(c.RtfToHtml(rtf, html, pictureBase)) << c.LastMessage();
    return html;
}

std::string Text(std::string_view rtf, RtfTextMode mode = RtfTextMode::Text) {
    std::string text;
    EXPECT_TRUE(RtfToText(rtf, mode, text));
    return text;
}

size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + what.size())) ++n;
    return n;
}

// A 2x2 red PNG and its form in RTF hex and in the line code.
const char kPngHex[] =
    "89504e470d0a1a0a0000000d4948445200000002000000020802000000fdd49a"
    "730000001049444154789c63f8cfc000440c100a001fee03fd8b5f14d4000000"
    "0049454e44ae426082";

std::string PngBytes() {
    std::string out;
    for (size_t i = 0; kPngHex[i]; i += 2) out.push_back(char(std::stoi(std::string(kPngHex + i, 2), nullptr, 16)));
    return out;
}

TEST(RtfToHtml, DocumentFrame) {
    std::string html = Html("{\\rtf1 x}");
    EXPECT_EQ(html,
              "<!doctype html public \"-//w3c//dtd html 4.0 transitional//en\">\n"
              "<HTML>\n<HEAD>\n"
              "  <META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">\n"
              "  <META NAME=\"GENERATOR\" CONTENT=\"rtfhtml/1.1 (EXE) [Zettrix]\">\n"
              "  <TITLE></TITLE>\n</HEAD>\n<BODY >\n<DIV>\n<P>x</P>\n</DIV>\n</BODY>\n</HTML>\n");
}

TEST(RtfToHtml, ParagraphsAndCharacterTags) {
    struct Case {
        const char* rtf;
        const char* body;
    } cases[] = {
        {"{\\rtf1 A{\\b B}C\\par}", "<DIV>\n<P>A<B>B</B>C</P>\n</DIV>\n"},
        {"{\\rtf1 one\\par two\\par}", "<DIV>\n<P>one\n<BR>\ntwo</P>\n</DIV>\n"},
        {"{\\rtf1 one\\par\\par two}", "<DIV>\n<P>one</P>\n<P>two</P>\n</DIV>\n"},
        {"{\\rtf1 a\\pard b}", "<DIV>\n<P>a</P>\n<P>b</P>\n</DIV>\n"},
        {"{\\rtf1 \\fs24 a\\fs40 b\\fs16 c}", "<DIV>\n<P>a<FONT SIZE=+3>b</FONT><FONT SIZE=-3>c</FONT></P>\n</DIV>\n"},
        {"{\\rtf1 \\i\\ul\\strike x\\plain y}", "<DIV>\n<P><STRIKE><I><U>x</U></I></STRIKE>y</P>\n</DIV>\n"},
        {"{\\rtf1 H{\\sub 2}O x{\\super 2}}", "<DIV>\n<P>H<SUB>2</SUB>O x<SUP>2</SUP></P>\n</DIV>\n"},
        {"{\\rtf1 \\qc mid\\par\\pard\\qr right}",
         "<DIV>\n\n<DIV ALIGN=center><P>mid</P>\n</DIV>\n\n<DIV ALIGN=right><P>right</P>\n</DIV>\n</DIV>\n"},
        {"{\\rtf1 \\li720 in}", "<DIV>\n\n<DIV STYLE=\"margin-left : 0.50in\"><P>in</P>\n</DIV>\n</DIV>\n"},
        {"{\\rtf1 a\\line b\\tab c\\page d}", "<DIV>\n<P>a<BR>\nb\tc</P>\n<HR>\n<P>d</P>\n</DIV>\n"},
        {"{\\rtf1 <&>\\emdash\\bullet\\ldblquote\\~}", "<DIV>\n<P>&lt;&amp;&gt;\x97\x95\x93\xa0</P>\n</DIV>\n"},
        {"{\\rtf1 {\\*\\unknown hidden}{\\deleted gone}{\\*\\generator x}shown}", "<DIV>\n<P>shown</P>\n</DIV>\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Body(Html(c.rtf)), c.body) << c.rtf;
}

TEST(RtfToHtml, ColoursAndFonts) {
    const char* rtf =
        "{\\rtf1\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset0 Courier New;}{\\f2\\fcharset2 Symbol;}}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green128\\blue255;}"
        "a\\cf1 red\\cf0 {\\highlight2 mark}{\\cf9 none}{\\f1 mono}{\\f2 a}}";
    std::string body = Body(Html(rtf));
    EXPECT_EQ(body,
              "<DIV STYLE=\"font-family: 'Arial'\">\n<P><FONT FACE=\"Arial\">a</FONT>"
              "<FONT COLOR=#ff0000><FONT FACE=\"Arial\">red</FONT></FONT>"
              "<FONT style=\"background-color: #0080ff\"><FONT FACE=\"Arial\">mark</FONT></FONT>"
              "<FONT COLOR=#000000><FONT FACE=\"Arial\">none</FONT></FONT>"
              "<FONT FACE=\"Courier New\">mono</FONT><FONT FACE=\"Arial\">&alpha;</FONT></P>\n</DIV>\n");

    RtfConverter c;
    c.Options().noFontNames = true;
    body = Body(Html(rtf, &c));
    EXPECT_EQ(body.find("FACE"), std::string::npos);
    EXPECT_EQ(body.find("font-family"), std::string::npos);
    c.ResetConverterOptions();
    c.Options().noDefaultFont = true;
    body = Body(Html(rtf, &c));
    EXPECT_EQ(Count(body, "FACE=\"Arial\""), 0u);
    EXPECT_EQ(Count(body, "FACE=\"Courier New\""), 1u);
    c.ResetConverterOptions();
    c.Options().noTextStyle = true;
    body = Body(Html(rtf, &c));
    EXPECT_EQ(body.find("COLOR"), std::string::npos);
}

TEST(RtfToHtml, AddressesBecomeLinks) {
    struct Case {
        const char* word;
        const char* html;
    } cases[] = {
        {"(http://example.com)", "<A TARGET=_top HREF=\"http://example.com\">(http://example.com)</A>"},
        {"www.example.com", "<A TARGET=_top HREF=\"http://www.example.com\">www.example.com</A>"},
        {"MAILTO:a@b.de", "<A TARGET=_top HREF=\"MAILTO:a@b.de\">MAILTO:a@b.de</A>"},
        {"\\'abftp://x\\'bb", "\xab" "ftp://x\xbb"},  // only the listed brackets are stripped
        {"ww.", "ww."},
        {"<https://a.b/?x&y>", "<A TARGET=_top HREF=\"https://a.b/?x&amp;y\">&lt;https://a.b/?x&amp;y&gt;</A>"},
    };
    for (const auto& c : cases) {
        std::string body = Body(Html(std::string("{\\rtf1 see ") + c.word + " now}"));
        EXPECT_EQ(body, std::string("<DIV>\n<P>see ") + c.html + " now</P>\n</DIV>\n") << c.word;
    }
    RtfConverter off;
    off.Options().noAutoUrlDetect = true;
    EXPECT_EQ(Html("{\\rtf1 www.example.com}", &off).find("<A "), std::string::npos);

    RtfConverter cb;
    cb.HtmlSettings().linkCallback = [](std::string& out, std::string_view word, std::string_view stripped) {
        if (stripped != "page") return false;
        out += "[link:" + std::string(word) + "]";
        return true;
    };
    EXPECT_NE(Html("{\\rtf1 go (page) now}", &cb).find("go [link:(page)] now"), std::string::npos);
}

TEST(RtfToHtml, Fields) {
    std::string body = Body(Html(
        "{\\rtf1 Ein {\\field{\\*\\fldinst HYPERLINK \"http://x.de/a b\" \\\\o \"tip\"}{\\fldrslt {\\ul Link}}} "
        "und {\\field{\\*\\fldinst {HYPERLINK \\\\l \"anker\"}}{\\fldrslt hier}} "
        "{\\field{\\*\\fldinst PAGE}{\\fldrslt 7}} "
        "{\\field{\\*\\fldinst SYMBOL 97 \\\\f \"Symbol\" \\\\s 20}{\\fldrslt a}}}"));
    EXPECT_EQ(body,
              "<DIV>\n<P>Ein <A HREF=\"http://x.de/a%20b\" TARGET=_top><U>Link</U></A> und "
              "<A HREF=\"#anker\" TARGET=_top>hier</A> 7 "
              "<FONT FACE=\"Symbol\"><FONT SIZE=+3>&alpha;</FONT></FONT></P>\n</DIV>\n");
    // A link text is not searched for addresses again.
    EXPECT_EQ(Count(Html("{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://a.de\"}{\\fldrslt http://a.de}}}"), "<A "),
              1u);
}

TEST(RtfToHtml, Headings) {
    const char* rtf =
        "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1\\sbasedon0\\b\\fs32 heading 1;}{\\s2\\i heading 2;}}"
        "\\pard\\s1 Titel\\par\\pard\\plain\\s0 Text\\par\\pard\\plain\\s2 Unter\\par}";
    RtfConverter c;
    c.Options().noHeadings = false;
    EXPECT_EQ(Body(Html(rtf, &c)), "<DIV>\n\n<H1>Titel</H1>\n<P>Text</P>\n\n<H2>Unter</H2>\n</DIV>\n");
    // With headings off (the default) the style's formatting is used.
    EXPECT_EQ(Body(Html(rtf)),
              "<DIV>\n<P><B><FONT SIZE=+2>Titel</FONT></B></P>\n<P>Text</P>\n<P><I>Unter</I></P>\n</DIV>\n");
    // Styles based on each other in a loop are expanded once.
    std::string loop = Html("{\\rtf1{\\stylesheet{\\s1\\sbasedon2\\b one;}{\\s2\\sbasedon1\\i two;}}\\s1 x}");
    EXPECT_NE(loop.find("<B><I>x</I></B>"), std::string::npos);
}

TEST(RtfToHtml, Lists) {
    std::string body = Body(Html(
        "{\\rtf1{\\pntext\\'B7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'B7}}\\fi-360\\li360 eins\\par"
        "{\\pntext\\'B7\\tab}zwei\\par\\pard nach}"));
    EXPECT_EQ(body, "<DIV>\n<UL>\n<LI>eins</LI>\n<LI>zwei\n</LI></UL>\n<P>nach</P>\n</DIV>\n");
}

TEST(RtfToHtml, Tables) {
    std::string body = Body(Html(Corpus("libreoffice.rtf")));
    size_t t = body.find("\n<TABLE BORDER=\"1\">\n");
    ASSERT_NE(t, std::string::npos);
    EXPECT_NE(body.find("<!--% ROW 1 --><TR>\n<TD COLSPAN=1 ROWSPAN=2><P><FONT FACE=\"Liberation Sans\">A1</FONT>"),
              std::string::npos);
    EXPECT_NE(body.find("<!--% ROW 2 --><TR>\n<TD COLSPAN=1 ROWSPAN=1><P><FONT FACE=\"Liberation Sans\">B2"),
              std::string::npos);
    EXPECT_EQ(Count(body, "<TD"), 3u);
    EXPECT_LT(body.find("</TABLE>\n"), body.find("Nach der Tabelle"));

    // Column spans from the cell edges; rows without their own definition repeat the previous one.
    body = Body(Html("{\\rtf1\\trowd\\cellx1000\\cellx3000\\intbl a\\cell b\\cell\\row"
                     "\\trowd\\cellx3000\\intbl wide\\cell\\row"
                     "\\intbl c\\cell d\\cell\\row\\pard after}"));
    EXPECT_EQ(body,
              "<DIV>\n\n<TABLE BORDER=\"1\">\n"
              "<!--% ROW 1 --><TR>\n<TD COLSPAN=1 ROWSPAN=1><P>a</P>\n<TD COLSPAN=1 ROWSPAN=1><P>b</P>\n"
              "<!--% ROW 2 --><TR>\n<TD COLSPAN=2 ROWSPAN=1><P>wide</P>\n"
              "<!--% ROW 3 --><TR>\n<TD COLSPAN=2 ROWSPAN=1><P>c</P>\n<TD COLSPAN=1 ROWSPAN=1><P>d</P>\n"
              "</TABLE>\n<P>after</P>\n</DIV>\n");
}

TEST(RtfToHtml, PicturesAreWrittenBeside) {
    TempDir dir;
    std::string rtf = std::string("{\\rtf1 x{\\pict\\pngblip\\picw2\\pich2\\picwgoal1440\\pichgoal720\\picscalex50 ") +
                      kPngHex + "}{\\pict\\jpegblip\\picw5\\pich4 ffd8ffd9}{\\pict\\emfblip 0102}}";
    std::string html = Html(rtf, nullptr, dir / "page");
    EXPECT_NE(html.find("\n<IMG SRC=\"pageImg0.png\" ALT=\"pageImg0.png\" WIDTH=48 HEIGHT=48>\n"), std::string::npos);
    EXPECT_NE(html.find("<IMG SRC=\"pageImg1.jpg\" ALT=\"pageImg1.jpg\" WIDTH=6 HEIGHT=5>"), std::string::npos);
    EXPECT_NE(html.find("<IMG SRC=\"pageImg2.unknown\""), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "pageImg0.png"), PngBytes());
    EXPECT_EQ(ReadFile(dir / "pageImg1.jpg"), std::string("\xff\xd8\xff\xd9", 4));
}

TEST(RtfToHtml, MetafileHeaderAndConverter) {
    TempDir dir;
    const char* rtf = "{\\rtf1{\\pict\\wmetafile8\\picw2540\\pich1270\\picwgoal1440\\pichgoal720 0100}}";
    std::string html = Html(rtf, nullptr, dir / "p");
    std::string wmf = ReadFile(dir / "pImg0.wmf");
    ASSERT_EQ(wmf.size(), 24u);
    const unsigned char expected[22] = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0xA0, 0x05,
                                        0xD0, 0x02, 0xA0, 0x05, 0, 0, 0, 0, 0, 0};
    unsigned short sum = 0;
    for (int i = 0; i < 20; i += 2) sum ^= uint16_t(expected[i] | expected[i + 1] << 8);
    EXPECT_EQ(wmf.substr(0, 20), std::string(reinterpret_cast<const char*>(expected), 20));
    EXPECT_EQ(uint16_t(uint8_t(wmf[20]) | uint8_t(wmf[21]) << 8), sum);
    EXPECT_EQ(wmf.substr(22), std::string("\x01\x00", 2));
    EXPECT_NE(html.find("<IMG SRC=\"pImg0.wmf\" ALT=\"pImg0.wmf\" WIDTH=96 HEIGHT=48>"), std::string::npos);

    RtfConverter c;
    c.HtmlSettings().imagePrefix = "bilder/";
    c.HtmlSettings().pictureConverter = [](const std::string& src, RtfPictureKind kind, const std::string& jpg) {
        test::WriteFile(jpg, kind == RtfPictureKind::Metafile ? "JPEG" : "?");
        return std::filesystem::exists(src);
    };
    html = Html(rtf, &c, dir / "q");
    EXPECT_NE(html.find("<IMG SRC=\"bilder/qImg0.jpg\" ALT=\"qImg0.jpg\""), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "qImg0.jpg"), "JPEG");
    EXPECT_FALSE(std::filesystem::exists(dir / "qImg0.wmf"));
    c.Options().deleteSourcePictures = false;
    Html(rtf, &c, dir / "r");
    EXPECT_TRUE(std::filesystem::exists(dir / "rImg0.wmf"));
}

TEST(RtfToHtml, TwinsReplacePictures) {
    TempDir dir;
    std::string html = Html(Corpus("page.rtf"), nullptr, dir / "seite");
    EXPECT_EQ(Count(html, "<IMG "), 1u);
    EXPECT_NE(html.find("<IMG SRC=\"seiteImg0.png\" ALT=\"seiteImg0.png\" WIDTH=2 HEIGHT=2>"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "seiteImg0.png"), PngBytes());
    EXPECT_FALSE(std::filesystem::exists(dir / "seiteImg0.wmf"));

    // A twin without sizes takes the picture's own; a damaged twin gives no picture.
    std::string twin = EncodeLines(PngBytes());
    html = Html("{\\rtf1{\\*\\ztxpict}{\\*\\ztxpng\\ztxwidth0 " + twin + "}{\\*\\ztxjpeg bad!}}", nullptr, dir / "t");
    EXPECT_EQ(Count(html, "<IMG "), 1u);
    EXPECT_NE(html.find("WIDTH=2 HEIGHT=2"), std::string::npos);
}

TEST(RtfToHtml, ObjectsAndShapesGiveTheirResultPicture) {
    TempDir dir;
    std::string pict = std::string("{\\pict\\pngblip ") + kPngHex + "}";
    std::string rtf = "{\\rtf1 a{\\object\\objemb{\\*\\objclass Paint.Picture}{\\*\\objdata 0102abcd}{\\result " +
                      pict + "}} b{\\*\\shppict" + pict + "}{\\nonshppict{\\pict\\wmetafile8 0100}}"
                      " c{\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv " + pict + "}}{\\shptxt Kasten}}{\\shprslt " + pict + "}}}";
    std::string html = Html(rtf, nullptr, dir / "o");
    EXPECT_EQ(Count(html, "<IMG "), 3u);
    EXPECT_EQ(html.find(".wmf"), std::string::npos);
    EXPECT_EQ(html.find("Paint"), std::string::npos);
    EXPECT_NE(html.find("Kasten"), std::string::npos);
}

TEST(RtfToHtml, InfoAndSettings) {
    const char* rtf = "{\\rtf1{\\info{\\title Mein <Titel>}{\\author Anna}{\\creatim\\yr2024\\mo3\\dy5\\hr10\\min15}}x}";
    RtfConverter c;
    c.HtmlSettings().title = "Vorgabe";
    c.HtmlSettings().headText = "<LINK REL=stylesheet HREF=\"s.css\">";
    c.HtmlSettings().bodyAttributes = "BGCOLOR=white";
    c.HtmlSettings().bodyStartText = "<H1>Kopf</H1>";
    c.HtmlSettings().bodyEndText = "<HR>Fuss";
    std::string html = Html(rtf, &c);
    EXPECT_NE(html.find("<TITLE>Mein &lt;Titel&gt;</TITLE>\n<LINK REL=stylesheet HREF=\"s.css\">\n</HEAD>\n"
                        "<BODY BGCOLOR=white>\n<DIV>\n<H1>Kopf</H1>\n<P>x</P>\n<HR>Fuss\n</DIV>\n</BODY>"),
              std::string::npos)
        << html;
    EXPECT_EQ(c.Info().author, "Anna");
    EXPECT_EQ(c.Info().created.year, 2024);
    EXPECT_EQ(c.Info().created.minute, 15);
    c.HtmlSettings().titleOverrides = true;
    EXPECT_NE(Html(rtf, &c).find("<TITLE>Vorgabe</TITLE>"), std::string::npos);
    EXPECT_NE(Html("{\\rtf1 x}", &c).find("<TITLE>Vorgabe</TITLE>"), std::string::npos);
}

TEST(RtfToHtml, CharacterSets) {
    struct Case {
        const char* rtf;
        const char* html;
    } cases[] = {
        {"{\\rtf1\\ansi \\'c4\\'d6\\'dc\\'e4\\'f6\\'fc\\'df\\'80\\'e9}", "&Auml;&Ouml;&Uuml;&auml;&ouml;&uuml;&szlig;\x80\xe9"},
        {"{\\rtf1\\uc1 \\u196?\\u8364?\\u945?\\u1046?\\u-10179?\\u-8704?}", "&Auml;\x80&alpha;&#1046;&#128512;"},
        {"{\\rtf1\\uc2 \\u945\\'3f\\'3fx}", "&alpha;x"},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'c0\\'e1}", "&#1040;&#1073;"},
        {"{\\rtf1{\\fonttbl{\\f0\\fcharset238 EE;}{\\f1\\fcharset204 Cyr;}}\\f0\\'8c{\\f1\\'c0}\\'8c}",
         "&#346;&#1040;&#346;"},
        {"{\\rtf1\\mac \\'8a}", "&auml;"},
        {"{\\rtf1\\pc \\'84\\'e1}", "&auml;&szlig;"},
        {"{\\rtf1{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 \\'82\\'a0x}", "&#12354;x"},
        {"{\\rtf1{\\fonttbl{\\f0\\fnil Symbol;}}\\f0 abg\\'ae}", "&alpha;&beta;&gamma;&rarr;"},
    };
    RtfConverter c;
    c.Options().noFontNames = true;
    for (const auto& k : cases)
        EXPECT_EQ(Body(Html(k.rtf, &c)), std::string("<P>") + k.html + "</P>\n") << k.rtf;
}

TEST(RtfToText, Forms) {
    const char* rtf =
        "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Symbol;}}{\\*\\generator Writer 1.0;}\\f0 Gr\\'fc\\'dfe\\tab x\\par"
        "{\\f1 a\\'ae}\\u1046?\\cell y\\line z\\emdash\\-\\~{\\pict 0102}{\\*\\bkmkstart b}.\\par}";
    EXPECT_EQ(Text(rtf), "Gr\xfc\xdf" "e\tx\n[alpha]->?\ty\nz\x97\xad\xa0 .\n");
    EXPECT_EQ(Text(rtf, RtfTextMode::Search), "Gr\xfc\xdf" "e\tx\n   \ty\nz\x97\xad\xa0 .\n");
    EXPECT_EQ(Text(rtf, RtfTextMode::Utf8), "Grüße\tx\nα→Ж\ty\nz—\u00ad\u00a0 .\n");
    // Field results, footnotes and the text of tables come out, field instructions do not.
    EXPECT_EQ(Text("{\\rtf1 a{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt Link}}{\\footnote Fn}\\row}"),
              "aLinkFn\n");
    EXPECT_EQ(Text("{\\rtf1 \\'81}"), "[unknown]");
}

TEST(RtfConverter, CorpusToText) {
    std::string wordpad = Text(Corpus("wordpad.rtf"));
    EXPECT_NE(wordpad.find("Gr\xfc\xdf" "e aus M\xfcnchen\nDies ist fett, kursiv und unterstrichen.\n"), std::string::npos);
    EXPECT_NE(wordpad.find("Metadatei:  \nBild:  \n"), std::string::npos);
    EXPECT_NE(wordpad.find("Symbol: [alpha]-> Ende\nZentriert\n"), std::string::npos);
    EXPECT_EQ(wordpad.find("Riched20"), std::string::npos);

    std::string pandoc = Text(Corpus("pandoc.rtf"), RtfTextMode::Utf8);
    EXPECT_EQ(pandoc.substr(0, 64), "Titel der Seite\nEin Absatz mit Betonung und Stärke sowie Code.\n");
    EXPECT_NE(pandoc.find("•\tErster\n•\tZweiter\nEin Link.\n"), std::string::npos);

    std::string libre = Text(Corpus("libreoffice.rtf"), RtfTextMode::Utf8);
    EXPECT_EQ(libre, "Überschrift\nSchöne Grüße mit € und α.\nEin Verweis im Text.\nA1\tB1\t\n\tB2\t\nNach der Tabelle.\n");
}

TEST(RtfConverter, CorpusToHtmlFile) {
    TempDir dir;
    RtfConverter c;
    ASSERT_TRUE(c.RtfToHtmlFile(Corpus("wordpad.rtf"), dir / "wordpad.html"));
    std::string html = ReadFile(dir / "wordpad.html");
    EXPECT_NE(html.find("Gr&uuml;&szlig;e aus M&uuml;nchen"), std::string::npos);
    EXPECT_NE(html.find("<B><FONT SIZE=-1><FONT FACE=\"Calibri\">fett</FONT></FONT></B>"), std::string::npos);
    EXPECT_NE(html.find("<I><FONT SIZE=-1><FONT FACE=\"Calibri\">kursiv</FONT></FONT></I>"), std::string::npos);
    EXPECT_NE(html.find("<U><FONT SIZE=-1><FONT FACE=\"Calibri\">unterstrichen</FONT></FONT></U>"), std::string::npos);
    EXPECT_NE(html.find("<FONT COLOR=#ff0000><FONT SIZE=-1><FONT FACE=\"Calibri\">Rot"), std::string::npos);
    EXPECT_NE(html.find("<FONT COLOR=#0000ff><FONT SIZE=+2><FONT FACE=\"Calibri\">gro&szlig; und blau"),
              std::string::npos);
    EXPECT_NE(html.find("<UL>\n<LI><FONT SIZE=-1><FONT FACE=\"Calibri\">Erster Punkt</FONT></FONT></LI>\n<LI>"),
              std::string::npos);
    EXPECT_NE(html.find("<IMG SRC=\"wordpadImg0.wmf\" ALT=\"wordpadImg0.wmf\" WIDTH=20 HEIGHT=10>"), std::string::npos);
    EXPECT_NE(html.find("<IMG SRC=\"wordpadImg1.png\" ALT=\"wordpadImg1.png\" WIDTH=2 HEIGHT=2>"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "wordpadImg1.png"), PngBytes());
    EXPECT_NE(html.find("<A TARGET=_top HREF=\"http://www.example.com\">www.example.com</A>"), std::string::npos);
    EXPECT_NE(html.find("<DIV ALIGN=center><P><FONT SIZE=-1><FONT FACE=\"Arial\">Zentriert"), std::string::npos);
    EXPECT_EQ(html.substr(html.size() - 35), "</P>\n</DIV>\n</DIV>\n</BODY>\n</HTML>\n");

    // Each conversion counts its pictures from 0 again.
    ASSERT_TRUE(c.RtfToHtmlFile(Corpus("wordpad.rtf"), dir / "again.htm"));
    EXPECT_TRUE(std::filesystem::exists(dir / "againImg0.wmf"));
    EXPECT_FALSE(c.RtfToHtmlFile(Corpus("wordpad.rtf"), dir / "missing/dir/x.html"));
}

TEST(RtfConverter, RejectsWhatIsNotRtf) {
    for (const char* bad : {"", "plain text", "{\\rtfx}", "{\\ansi\\rtf1}", "{{\\rtf1}}", " {\\rtf1 x}"}) {
        std::string out = "old";
        RtfConverter c;
        EXPECT_FALSE(c.RtfToText(bad, RtfTextMode::Text, out)) << bad;
        EXPECT_TRUE(out.empty());
        EXPECT_FALSE(c.LastMessage().empty());
        std::string html;
        EXPECT_FALSE(c.RtfToHtml(bad, html)) << bad;
    }
    // Text after the document's closing brace is not part of it.
    EXPECT_EQ(Text("{\\rtf1 a}b}}}{\\ztxext\\ztxbgcolor255}"), "a");
}

// Hostile input ends quickly, within memory, with output in proportion.
TEST(RtfConverter, HostileInput) {
    std::vector<std::pair<std::string, std::string>> inputs = {
        {"unbalanced", "{\\rtf1 a}}}}}}{{{{{ b {\\b c"},
        {"deep", "{\\rtf1 " + std::string(1000000, '{') + "x" + std::string(1000000, '}') + "}"},
        {"bin", "{\\rtf1 {\\pict\\pngblip\\bin2147483647 abc}"},
        {"bin-negative", "{\\rtf1 {\\bin-2147483648 x}y}"},
        {"params", "{\\rtf1\\fs99999999999999999999\\li-99999999999999999\\uc99999999 \\u99999999999 x"
                   "\\cf2147483647\\f-2147483648 y\\ansicpg999999999 z\\'}"},
        {"hex", "{\\rtf1 a\\'4"},
        {"fields", "{\\rtf1 " + [] {
             std::string s;
             for (int i = 0; i < 2000; ++i) s += "{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt ";
             return s;
         }() + "}"},
        {"styles", "{\\rtf1{\\stylesheet" + [] {
             std::string s;
             for (int i = 0; i < 5000; ++i) s += "{\\s" + std::to_string(i) + "\\sbasedon" + std::to_string(i + 1) + "\\b\\i\\ul\\fs20 s;}";
             return s;
         }() + "}" + [] {
             std::string s;
             for (int i = 0; i < 200000; ++i) s += "\\s0 x";
             return s;
         }() + "}"},
        {"table", "{\\rtf1\\trowd" + [] {
             std::string s;
             for (int i = 0; i < 2000; ++i) s += "\\cellx" + std::to_string(i * 10);
             for (int i = 0; i < 300000; ++i) s += "\\intbl\\row";
             return s;
         }() + "}"},
        {"tables-again", "{\\rtf1 " + [] {
             std::string s;
             for (int i = 0; i < 30000; ++i) s += "\\trowd\\cellx1{\\object{\\result\\row}}";
             return s;
         }() + " x}"},
        {"pictures", "{\\rtf1 " + [] {
             std::string s;
             for (int i = 0; i < 20000; ++i) s += "{\\*\\ztxpng A_}{\\pict\\pngblip 00}";
             return s;
         }() + "}"},
        {"colors", "{\\rtf1{\\colortbl" + std::string(2000000, ';') + "}" + "{\\fonttbl" + [] {
             std::string s;
             for (int i = 0; i < 100000; ++i) s += "\\f" + std::to_string(i) + " F;";
             return s;
         }() + "}x}"},
    };
    for (const auto& [name, rtf] : inputs) {
        auto start = std::chrono::steady_clock::now();
        std::string text, html;
        RtfConverter c;
        c.RtfToText(rtf, RtfTextMode::Text, text);
        c.RtfToHtml(rtf, html);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 5.0) << name;
        EXPECT_LT(text.size(), rtf.size() * 4 + 1024) << name;
        EXPECT_LT(html.size(), rtf.size() * 40 + 4096) << name;
    }
    // Nesting deeper than the reader accepts is an error, not a crash.
    std::string text;
    EXPECT_FALSE(RtfToText(inputs[1].second, RtfTextMode::Text, text));
}

TEST(RtfConverter, IndependentConversionsOnThreads) {
    std::vector<std::string> inputs = {Corpus("wordpad.rtf"), Corpus("libreoffice.rtf"), Corpus("pandoc.rtf")};
    std::vector<std::string> expected;
    for (const auto& in : inputs) expected.push_back(Html(in));
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            RtfConverter c;
            for (int i = 0; i < 50; ++i) {
                size_t k = size_t(i + t) % inputs.size();
                std::string html;
                if (!c.RtfToHtml(inputs[k], html) || html != expected[k]) ++mismatches;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
} // namespace zt
