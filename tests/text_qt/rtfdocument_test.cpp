// The control's RTF bridge: the reader's formats, round trips of real files
// through the writer, the twin pass over written pictures, hostile input.
#include "text/qt/rtfdocument.h"

#include "text/picture_builders.h"
#include "text/twinpass.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace zt::textqt {
namespace {

void SetupDoc(QTextDocument& doc) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(12);
    doc.setDefaultFont(f);
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(std::string(ZT_TEST_DATA) + "/rtf/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

QByteArray Png(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}

std::string Hex(const QByteArray& b) { return b.toHex().toStdString(); }

// One run of visible formatting, with the paragraph it belongs to.
struct Run {
    std::string text, face;
    double size = 0;
    bool bold = false, italic = false, underline = false, strike = false;
    int offset = 0, valign = 0;
    QRgb fg = 0, bg = 0;
    bool hasFg = false, hasBg = false;
    std::string href;
    int align = 0, li = 0, fi = 0, ri = 0;
    std::vector<int> tabs;
    bool bullet = false;
    bool operator==(const Run&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Run& r) {
    os << '"' << r.text << "\" " << r.face << ' ' << r.size << (r.bold ? " b" : "") << (r.italic ? " i" : "")
       << (r.underline ? " ul" : "") << (r.strike ? " s" : "") << " off" << r.offset << " va" << r.valign;
    if (r.hasFg) os << " fg" << std::hex << r.fg << std::dec;
    if (r.hasBg) os << " bg" << std::hex << r.bg << std::dec;
    os << " a" << r.align << " li" << r.li << " fi" << r.fi << " ri" << r.ri << " tabs" << r.tabs.size()
       << (r.bullet ? " bullet" : "") << " href" << r.href;
    return os;
}

std::vector<Run> Runs(const QTextDocument& doc) {
    std::vector<Run> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QTextBlockFormat bf = b.blockFormat();
        ParaIndents ind = GetIndents(bf);
        Run para;
        Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
        para.align = a & Qt::AlignHCenter ? 1 : a & Qt::AlignRight ? 2 : a & Qt::AlignJustify ? 3 : 0;
        para.li = ind.start;
        para.fi = ind.offset;
        para.ri = ind.right;
        for (const auto& t : bf.tabPositions()) para.tabs.push_back(UnitsToTwips(t.position));
        para.bullet = HasBullet(b);
        bool any = false;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextFragment f = it.fragment();
            QTextCharFormat cf = f.charFormat();
            Run r = para;
            r.text = f.text().toStdString();
            QStringList fams = cf.fontFamilies().toStringList();
            r.face = (fams.isEmpty() ? doc.defaultFont().family() : fams.front()).toStdString();
            r.size = cf.fontPointSize() > 0 ? cf.fontPointSize() : doc.defaultFont().pointSizeF();
            r.bold = cf.fontWeight() > QFont::Medium;
            r.italic = cf.fontItalic();
            r.underline = cf.fontUnderline();
            r.strike = cf.fontStrikeOut();
            r.offset = cf.intProperty(kOffsetTwipsProperty);
            r.valign = int(cf.verticalAlignment());
            r.hasFg = cf.hasProperty(QTextFormat::ForegroundBrush);
            if (r.hasFg) r.fg = cf.foreground().color().rgb();
            r.hasBg = cf.hasProperty(QTextFormat::BackgroundBrush);
            if (r.hasBg) r.bg = cf.background().color().rgb();
            r.href = cf.anchorHref().toStdString();
            if (!out.empty() && any) {
                Run& last = out.back();
                Run probe = r;
                probe.text = last.text;
                if (probe == last) {
                    last.text += r.text;
                    continue;
                }
            }
            out.push_back(r);
            any = true;
        }
        if (!any) out.push_back(para);
        out.back().text += "|";  // paragraph end
    }
    return out;
}

std::string Plain(const QTextDocument& doc) { return doc.toPlainText().toStdString(); }

// The first run that holds `text`.
QTextCharFormat FormatOf(const QTextDocument& doc, const QString& text) {
    QTextCursor c = doc.find(text);
    if (c.isNull()) return {};
    QTextCursor at(c);
    at.setPosition(c.selectionStart() + 1);
    return at.charFormat();
}

QTextBlockFormat BlockOf(const QTextDocument& doc, const QString& text) {
    QTextCursor c = doc.find(text);
    return c.isNull() ? QTextBlockFormat() : c.block().blockFormat();
}

const char* kHead = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
                    "{\\f1\\fswiss\\fcharset238 Tahoma;}{\\f2\\fnil\\fcharset204 Courier New;}"
                    "{\\f3\\fnil\\fcharset2 Symbol;}}"
                    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\\pard\\f0\\fs24 ";

struct FormatCase {
    const char* name;
    const char* body;  // after kHead
    std::function<void(const QTextDocument&)> check;
};

TEST(RtfReaderTest, CharacterAndParagraphFormats) {
    const std::vector<FormatCase> cases = {
        {"bold italic", "a \\b\\i X\\b0\\i0  b}",
         [](const QTextDocument& d) {
             EXPECT_EQ(FormatOf(d, "X").fontWeight(), QFont::Bold);
             EXPECT_TRUE(FormatOf(d, "X").fontItalic());
             EXPECT_NE(FormatOf(d, "b").fontWeight(), QFont::Bold);
         }},
        {"underline strike", "\\ul X\\ulnone\\strike Y\\strike0  Z}",
         [](const QTextDocument& d) {
             EXPECT_TRUE(FormatOf(d, "X").fontUnderline());
             EXPECT_FALSE(FormatOf(d, "Y").fontUnderline());
             EXPECT_TRUE(FormatOf(d, "Y").fontStrikeOut());
             EXPECT_FALSE(FormatOf(d, "Z").fontStrikeOut());
         }},
        {"face size charset", "\\f1\\fs36 X\\f2\\fs17 Y}",
         [](const QTextDocument& d) {
             EXPECT_EQ(FormatOf(d, "X").fontFamilies().toStringList().value(0), "Tahoma");
             EXPECT_EQ(FormatOf(d, "X").fontPointSize(), 18.0);
             EXPECT_EQ(FormatOf(d, "X").intProperty(kCharsetProperty), 238);
             EXPECT_EQ(FormatOf(d, "Y").fontPointSize(), 8.5);
             EXPECT_EQ(FormatOf(d, "Y").intProperty(kCharsetProperty), 204);
         }},
        {"default font", "{\\plain X}}",
         [](const QTextDocument& d) {
             EXPECT_EQ(FormatOf(d, "X").fontFamilies().toStringList().value(0), "Arial");
             EXPECT_EQ(FormatOf(d, "X").fontPointSize(), 12.0);
         }},
        {"offsets", "\\up6 X\\up0  \\dn8 Y\\up0  \\super Z\\nosupersub  W}",
         [](const QTextDocument& d) {
             EXPECT_EQ(FormatOf(d, "X").intProperty(kOffsetTwipsProperty), 60);
             EXPECT_EQ(FormatOf(d, "X").verticalAlignment(), QTextCharFormat::AlignSuperScript);
             EXPECT_EQ(FormatOf(d, "Y").intProperty(kOffsetTwipsProperty), -80);
             EXPECT_EQ(FormatOf(d, "Y").verticalAlignment(), QTextCharFormat::AlignSubScript);
             EXPECT_EQ(FormatOf(d, "Z").verticalAlignment(), QTextCharFormat::AlignSuperScript);
             EXPECT_EQ(FormatOf(d, "W").verticalAlignment(), QTextCharFormat::AlignNormal);
         }},
        {"colours", "\\cf1\\highlight2 X\\cf0\\highlight0  Y \\cb1 Z\\cf9 Q}",
         [](const QTextDocument& d) {
             EXPECT_EQ(FormatOf(d, "X").foreground().color(), QColor(255, 0, 0));
             EXPECT_EQ(FormatOf(d, "X").background().color(), QColor(0, 0, 255));
             EXPECT_FALSE(FormatOf(d, "Y").hasProperty(QTextFormat::ForegroundBrush));
             EXPECT_FALSE(FormatOf(d, "Y").hasProperty(QTextFormat::BackgroundBrush));
             EXPECT_EQ(FormatOf(d, "Z").background().color(), QColor(255, 0, 0));
             EXPECT_FALSE(FormatOf(d, "Q").hasProperty(QTextFormat::ForegroundBrush));  // no such entry
         }},
        {"protect", "\\protect X\\protect0  Y}",
         [](const QTextDocument& d) {
             EXPECT_TRUE(FormatOf(d, "X").boolProperty(kProtectedProperty));
             EXPECT_FALSE(FormatOf(d, "Y").boolProperty(kProtectedProperty));
         }},
        {"alignment", "\\qc X\\par\\qr Y\\par\\qj Z\\par\\pard W\\par}",
         [](const QTextDocument& d) {
             EXPECT_EQ(BlockOf(d, "X").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
             EXPECT_EQ(BlockOf(d, "Y").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
             EXPECT_EQ(BlockOf(d, "Z").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
             EXPECT_EQ(BlockOf(d, "W").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
             EXPECT_EQ(d.blockCount(), 4);  // the last \par adds no empty paragraph
         }},
        {"indents", "\\li720\\fi-360\\ri568 X\\par}",
         [](const QTextDocument& d) {
             ParaIndents p = GetIndents(BlockOf(d, "X"));
             EXPECT_EQ(p.start, 360);
             EXPECT_EQ(p.offset, 360);
             EXPECT_EQ(p.right, 568);
             EXPECT_DOUBLE_EQ(BlockOf(d, "X").rightMargin(), 568 / 15.0);
         }},
        {"tabs", "\\tx1440\\tqr\\tx720\\tx1440 X\\tab Y\\par}",
         [](const QTextDocument& d) {
             auto tabs = BlockOf(d, "X").tabPositions();
             ASSERT_EQ(tabs.size(), 2);
             EXPECT_EQ(UnitsToTwips(tabs[0].position), 720);
             EXPECT_EQ(tabs[0].type, QTextOption::RightTab);
             EXPECT_EQ(UnitsToTwips(tabs[1].position), 1440);
             EXPECT_EQ(Plain(d), "X\tY");
         }},
        {"line and specials", "a\\line b\\~c\\emdash\\lquote d\\rquote}",
         [](const QTextDocument& d) {
             EXPECT_EQ(d.blockCount(), 1);
             EXPECT_EQ(d.toRawText(), QString::fromUtf8("a\u2028b\u00a0c\u2014\u2018d\u2019"));
         }},
        {"escapes and code pages", "\\\\ \\{\\} \\'e4 \\f1\\'b9\\f2 \\'c4}",
         [](const QTextDocument& d) {
             EXPECT_EQ(d.toPlainText(), QString::fromUtf8("\\ {} \u00e4 \u0105\u0414"));
         }},
        {"symbol font", "\\f3 a\\'b7\\f1 \\'b9 x\\u8364?\\f0  b}",
         [](const QTextDocument& d) {
             EXPECT_EQ(d.toPlainText(), QString::fromUtf8("\u03b1\u2022\u0105 x\u20ac b"));
         }},
        {"unicode", "\\u8364\\'80 \\uc2\\u20013\\'a4\\'a4 \\uc0\\u-10179\\u-8694 x\\u65?\\u1\\u10\\u65532\\u8233}",
         [](const QTextDocument& d) {
             EXPECT_EQ(d.toPlainText(), QString::fromUtf8("\u20ac \u4e2d \U0001F60Ax\u0041?"));
         }},
        {"unknown destinations", "a{\\*\\ztxpng\\ztxwidth2 AAAA_}{\\*\\ztxpict}{\\*\\foo bar{baz}}{\\info{\\title T}}"
                                 "{\\*\\bkmkstart m}{\\*{\\x y}z}b\\foo c}",
         [](const QTextDocument& d) { EXPECT_EQ(Plain(d), "abc"); }},
        {"hyperlink", "see {\\field{\\*\\fldinst{HYPERLINK \"http://x.org/a\" }}{\\fldrslt{\\ul\\cf2 site}}} end}",
         [](const QTextDocument& d) {
             EXPECT_EQ(Plain(d), "see site end");
             EXPECT_EQ(FormatOf(d, "site").anchorHref(), "http://x.org/a");
             EXPECT_TRUE(FormatOf(d, "site").fontUnderline());
             EXPECT_TRUE(FormatOf(d, "end").anchorHref().isEmpty());
         }},
        {"hyperlink target", "{\\field{\\*\\fldinst{HYPERLINK \\\\l \"top\" \"http://x/\\u8364?\\'01\" }}{\\fldrslt{\\f3 a}}}"
                              "{\\f1{\\field{\\*\\fldinst{HYPERLINK \"http://x/\\u222?\" }}{\\fldrslt{b}}}}"
                              "{\\f3{\\field{\\*\\fldinst{HYPERLINK \"http://y/\" }}{\\fldrslt{c}}}}}",
         [](const QTextDocument& d) {
             EXPECT_EQ(FormatOf(d, QString::fromUtf8("\u03b1")).anchorHref(), QString::fromUtf8("http://x/\u20ac#top"));
             EXPECT_EQ(FormatOf(d, "b").anchorHref(), QString::fromUtf8("http://x/\u00de"));
             EXPECT_EQ(FormatOf(d, QString::fromUtf8("\u03c7")).anchorHref(), "http://y/");  // c in Symbol
         }},
        {"bullets", "{\\pntext\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720 A\\par"
                    "{\\pntext\\'B7\\tab}B\\par\\pard C\\par}",
         [](const QTextDocument& d) {
             EXPECT_EQ(Plain(d), "A\nB\nC");
             QTextBlock a = d.findBlockByNumber(0), b = d.findBlockByNumber(1), c = d.findBlockByNumber(2);
             EXPECT_TRUE(HasBullet(a));
             EXPECT_TRUE(HasBullet(b));
             EXPECT_FALSE(HasBullet(c));
             ASSERT_NE(a.textList(), nullptr);
             EXPECT_EQ(a.textList(), b.textList());
             EXPECT_EQ(a.textList()->format().style(), QTextListFormat::ListDisc);
             EXPECT_EQ(c.textList(), nullptr);
             EXPECT_EQ(GetIndents(a.blockFormat()).start, 360);
             EXPECT_EQ(GetIndents(a.blockFormat()).offset, 360);
         }},
        {"object result", "a{\\object\\objemb{\\*\\objclass Paint}{\\*\\objdata 0102}{\\result b}}c}",
         [](const QTextDocument& d) { EXPECT_EQ(Plain(d), "abc"); }},
        {"hidden", "a{\\v hidden}b}", [](const QTextDocument& d) { EXPECT_EQ(Plain(d), "ab"); }},
        {"table", "x\\par\\trowd\\cellx1000\\cellx3000\\pard\\intbl\\qc A\\cell\\pard\\intbl B\\cell\\row"
                  "\\trowd\\cellx1000\\cellx3000\\pard\\intbl C\\cell D\\cell\\row\\pard y\\par}",
         [](const QTextDocument& d) {
             QTextCursor c = d.find("A");
             ASSERT_FALSE(c.isNull());
             QTextTable* t = c.currentTable();
             ASSERT_NE(t, nullptr);
             EXPECT_EQ(t->rows(), 2);
             EXPECT_EQ(t->columns(), 2);
             EXPECT_EQ(t->cellAt(1, 1).firstCursorPosition().block().text(), "D");
             EXPECT_EQ(BlockOf(d, "A").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
             EXPECT_EQ(BlockOf(d, "B").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
             auto widths = t->format().columnWidthConstraints();
             ASSERT_EQ(widths.size(), 2);
             EXPECT_EQ(UnitsToTwips(widths[1].rawValue()), 2000);
             EXPECT_EQ(d.find("y").currentTable(), nullptr);
             EXPECT_EQ(d.find("x").currentTable(), nullptr);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument doc;
        SetupDoc(doc);
        std::string err;
        ASSERT_TRUE(LoadRtf(std::string(kHead) + c.body, doc, &err)) << err;
        c.check(doc);
        // And the same after the writer and the reader again.
        QTextDocument again;
        SetupDoc(again);
        std::string rtf = WriteRtf(doc);
        ASSERT_TRUE(LoadRtf(rtf, again));
        EXPECT_EQ(Runs(again), Runs(doc)) << rtf;
        c.check(again);
    }
}

TEST(RtfReaderTest, RejectsNonRtfAndLeavesDocumentEmpty) {
    QTextDocument doc;
    SetupDoc(doc);
    LoadRtf("{\\rtf1 old}", doc);
    std::string err;
    EXPECT_FALSE(LoadRtf("plain text", doc, &err));
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(doc.isEmpty());
    // Bytes after the closing brace (a legacy trailer, say) are not shown.
    ASSERT_TRUE(LoadRtf("{\\rtf1 text}{\\ztxext\\ztxbgcolor255}", doc));
    EXPECT_EQ(Plain(doc), "text");
}

TEST(RtfReaderTest, PicturesGetSizeBytesAndResource) {
    QByteArray png = Png(4, 2);
    std::string rtf = "{\\rtf1\\ansi a{\\pict{\\*\\picprop}\\pngblip\\picw4\\pich2\\picwgoal600\\pichgoal300"
                      "\\picscalex50\\picscaley200\r\n" +
                      Hex(png) + "\r\n}{\\*\\ztxpng\\ztxwidth2 AAA}b{\\pict\\pngblip\\bin" +
                      std::to_string(png.size()) + " " + png.toStdString() + "}c}";
    QTextDocument doc;
    SetupDoc(doc);
    ASSERT_TRUE(LoadRtf(rtf, doc));
    std::vector<QTextImageFormat> images;
    for (auto it = doc.begin().begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().isImageFormat()) images.push_back(it.fragment().charFormat().toImageFormat());
    ASSERT_EQ(images.size(), 2u);
    EXPECT_DOUBLE_EQ(images[0].width(), 20.0);   // 600 twips x 50 %
    EXPECT_DOUBLE_EQ(images[0].height(), 40.0);  // 300 twips x 200 %
    EXPECT_EQ(images[0].property(kPictureBytesProperty).toByteArray(), png);
    EXPECT_EQ(images[0].stringProperty(kPictureKindProperty), "png");
    EXPECT_FALSE(doc.resource(QTextDocument::ImageResource, QUrl(images[0].name())).isNull());
    EXPECT_DOUBLE_EQ(images[1].width(), 4.0);  // no goal: the pixel size
    EXPECT_NE(images[0].name(), images[1].name());
    EXPECT_EQ(doc.toPlainText().remove(QChar::ObjectReplacementCharacter), "abc");
}

TEST(RtfReaderTest, BitmapsShowAsPngAndUnreadablePicturesAreLeftOut) {
    std::string dib = test::MakeDib(2, 24, {std::string("\xff\x00\x00\x00\xff\x00", 6)});
    std::string rtf = "{\\rtf1 a{\\pict\\dibitmap0\\picwgoal300\\pichgoal150 " +
                      Hex(QByteArray(dib.data(), qsizetype(dib.size()))) +
                      "}b{\\pict\\emfblip 0102}{\\pict\\wmetafile8 010009000003220000000000}c}";
    QTextDocument doc;
    SetupDoc(doc);
    ASSERT_TRUE(LoadRtf(rtf, doc));
    EXPECT_EQ(doc.toPlainText(), QString("a") + QChar::ObjectReplacementCharacter + "bc");
    QTextCursor c(&doc);
    c.setPosition(2);
    QTextImageFormat f = c.charFormat().toImageFormat();
    EXPECT_EQ(f.stringProperty(kPictureKindProperty), "png");
    EXPECT_DOUBLE_EQ(f.width(), 20.0);
    EXPECT_DOUBLE_EQ(f.height(), 10.0);
    QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
    ASSERT_EQ(shown.width(), 2);
    EXPECT_EQ(QColor(shown.pixel(1, 0)), QColor(0, 255, 0));
    // Written back as a PNG picture.
    EXPECT_NE(WriteRtf(doc).find("{\\pict\\pngblip\\picw2\\pich1\\picwgoal300\\pichgoal150"), std::string::npos);
}

TEST(RtfRoundTripTest, RealFilesKeepTheirFormatting) {
    for (const char* name : {"wordpad.rtf", "libreoffice.rtf", "pandoc.rtf", "page.rtf"}) {
        SCOPED_TRACE(name);
        QTextDocument doc;
        SetupDoc(doc);
        ASSERT_TRUE(LoadRtf(ReadFile(name), doc));
        EXPECT_FALSE(doc.isEmpty());
        std::string rtf = WriteRtf(doc);
        QTextDocument again;
        SetupDoc(again);
        ASSERT_TRUE(LoadRtf(rtf, again));
        EXPECT_EQ(Runs(again), Runs(doc)) << rtf;
        EXPECT_EQ(again.toPlainText(), doc.toPlainText());
        // Writing again gives the same bytes.
        EXPECT_EQ(WriteRtf(again), rtf);
    }
}

TEST(RtfRoundTripTest, RealFilesShowWhatTheyHold) {
    QTextDocument doc;
    SetupDoc(doc);
    ASSERT_TRUE(LoadRtf(ReadFile("wordpad.rtf"), doc));
    EXPECT_TRUE(Plain(doc).starts_with("Gr\xc3\xbc\xc3\x9f" "e aus M\xc3\xbcnchen\n"));
    EXPECT_EQ(FormatOf(doc, "fett").fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatOf(doc, "Rot").foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(FormatOf(doc, "blau").fontPointSize(), 16.0);
    EXPECT_TRUE(HasBullet(doc.find("Erster Punkt").block()));
    EXPECT_TRUE(HasBullet(doc.find("Zweiter Punkt").block()));
    EXPECT_FALSE(HasBullet(doc.find("Zentriert").block()));

    ASSERT_TRUE(LoadRtf(ReadFile("pandoc.rtf"), doc));
    EXPECT_EQ(FormatOf(doc, "Link").anchorHref(), "https://pandoc.org/");
    QTextTable* t = doc.find("Wert").currentTable();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rows(), 2);
    EXPECT_EQ(t->columns(), 2);
    EXPECT_EQ(t->cellAt(0, 0).firstCursorPosition().block().text(), "Name");
    EXPECT_EQ(doc.find("Ende.").currentTable(), nullptr);

    ASSERT_TRUE(LoadRtf(ReadFile("page.rtf"), doc));
    EXPECT_EQ(doc.toPlainText().remove(QChar::ObjectReplacementCharacter), "Seite mit Bild:\n\nEnde");
}

TEST(RtfWriterTest, WritesTheControlsForm) {
    QTextDocument doc;
    SetupDoc(doc);
    QTextCursor c(&doc);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.insertText(QString::fromUtf8("a\\{}\u00e4\u20ac\u4e2d\U0001F60A"));
    c.insertText("B", bold);
    std::string rtf = WriteRtf(doc);
    EXPECT_TRUE(rtf.starts_with("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}"
                                "\r\n\\viewkind4\\uc1"))
        << rtf;
    EXPECT_NE(rtf.find("\\f0\\fs24 a\\\\\\{\\}\\'e4\\'80\\u20013?\\u-10179?\\u-8694?\\b B\\par"), std::string::npos)
        << rtf;
    EXPECT_TRUE(rtf.ends_with("}\r\n"));
    for (unsigned char ch : rtf) EXPECT_LT(ch, 0x80);

    // Long paragraphs are cut into short lines.
    QTextDocument longDoc;
    SetupDoc(longDoc);
    QTextCursor(&longDoc).insertText(QString(5000, 'x'));
    std::string lr = WriteRtf(longDoc);
    size_t maxLine = 0, start = 0;
    for (size_t p; (p = lr.find("\r\n", start)) != std::string::npos; start = p + 2) maxLine = std::max(maxLine, p - start);
    EXPECT_LT(maxLine, 300u);
    QTextDocument back;
    SetupDoc(back);
    ASSERT_TRUE(LoadRtf(lr, back));
    EXPECT_EQ(back.toPlainText(), QString(5000, 'x'));
}

TEST(RtfWriterTest, PictureGetsTwinThroughTheTwinPass) {
    QTextDocument doc;
    SetupDoc(doc);
    QTextCursor c(&doc);
    c.insertText("pic ");
    QByteArray png = Png(3, 2);
    ASSERT_TRUE(InsertPicture(c, png));
    std::string rtf = WriteRtf(doc);
    EXPECT_NE(rtf.find("{\\pict\\pngblip\\picw3\\pich2\\picwgoal45\\pichgoal30\\picscalex100\\picscaley100"),
              std::string::npos)
        << rtf;
    std::string stored = TwinPass(rtf);
    EXPECT_TRUE(stored.starts_with("{\\rtf1{\\*\\ztxpict}")) << stored;
    EXPECT_NE(stored.find("{\\*\\ztxpng\\ztxwidth3\\ztxheight2 "), std::string::npos) << stored;
    // The stored form loads back to the same picture, the twin unseen.
    QTextDocument back;
    SetupDoc(back);
    ASSERT_TRUE(LoadRtf(stored, back));
    EXPECT_EQ(back.toPlainText(), QString("pic ") + QChar::ObjectReplacementCharacter);
    EXPECT_EQ(Runs(back), Runs(doc));
}

TEST(RtfWriterTest, FragmentsAndInsertion) {
    QTextDocument doc;
    SetupDoc(doc);
    ASSERT_TRUE(LoadRtf(std::string(kHead) + "one \\b two\\b0  three\\par four}", doc));
    QTextCursor sel = doc.find("two three");
    ASSERT_FALSE(sel.isNull());
    std::string frag = WriteRtf(sel.selection());
    QTextDocument target;
    SetupDoc(target);
    QTextCursor c(&target);
    c.insertText("[]");
    c.setPosition(1);
    ASSERT_TRUE(InsertRtf(frag, c));
    EXPECT_EQ(Plain(target), "[two three]");
    EXPECT_EQ(c.position(), 10);
    EXPECT_EQ(FormatOf(target, "two").fontWeight(), QFont::Bold);
    EXPECT_NE(FormatOf(target, "three").fontWeight(), QFont::Bold);
    // A fragment with a paragraph break keeps it; the selection is replaced.
    c.setPosition(1);
    c.setPosition(4, QTextCursor::KeepAnchor);
    ASSERT_TRUE(InsertRtf("{\\rtf1 x\\par y}", c));
    EXPECT_EQ(Plain(target), "[x\ny three]");
}

TEST(RtfEditingTest, IndentsBulletsAndPlainText) {
    QTextBlockFormat f;
    SetIndents(f, {568, 200, 300});
    EXPECT_DOUBLE_EQ(f.leftMargin(), 768 / 15.0);
    EXPECT_DOUBLE_EQ(f.textIndent(), -200 / 15.0);
    ParaIndents back = GetIndents(f);
    EXPECT_EQ(back.start, 568);
    EXPECT_EQ(back.offset, 200);
    EXPECT_EQ(back.right, 300);

    QTextDocument doc;
    SetupDoc(doc);
    QTextCursor c(&doc);
    InsertPlainText("a\r\nb\rc\nd\xe4", c);
    EXPECT_EQ(doc.toPlainText(), QString::fromUtf8("a\nb\nc\nd\u00e4"));
    c.setPosition(0);
    c.setPosition(3, QTextCursor::KeepAnchor);
    SetBullets(c, true);
    EXPECT_TRUE(HasBullet(doc.findBlockByNumber(0)));
    EXPECT_TRUE(HasBullet(doc.findBlockByNumber(1)));
    EXPECT_FALSE(HasBullet(doc.findBlockByNumber(2)));
    EXPECT_EQ(doc.findBlockByNumber(0).textList(), doc.findBlockByNumber(1).textList());
    std::string rtf = WriteRtf(doc);
    QTextDocument again;
    SetupDoc(again);
    ASSERT_TRUE(LoadRtf(rtf, again));
    EXPECT_EQ(Runs(again), Runs(doc)) << rtf;
    c.setPosition(0);
    SetBullets(c, false);
    EXPECT_FALSE(HasBullet(doc.findBlockByNumber(0)));
    EXPECT_EQ(doc.findBlockByNumber(0).textList(), nullptr);
    EXPECT_TRUE(HasBullet(doc.findBlockByNumber(1)));

    std::string err;
    EXPECT_FALSE(InsertPicture(c, QByteArray("not a picture"), &err));
    EXPECT_FALSE(err.empty());
}

TEST(RtfHostileTest, BoundedWorkAndNoCrash) {
    std::vector<std::pair<const char*, std::string>> inputs;
    inputs.emplace_back("deep nesting", "{\\rtf1 " + std::string(100000, '{') + "x" + std::string(100000, '}') + "}");
    inputs.emplace_back("huge bin", "{\\rtf1 {\\pict\\pngblip\\bin2147483647 abc}}");
    inputs.emplace_back("huge picw", "{\\rtf1 {\\pict\\pngblip\\picw2147483647\\pich2147483647\\picwgoal2147483647"
                                     "\\picscalex2147483647 " +
                                         Hex(Png(2, 2)) + "}}");
    // A PNG header that claims a giant image.
    QByteArray giant = Png(1, 1);
    giant[16] = 0x7f;
    giant[20] = 0x7f;
    inputs.emplace_back("giant png", "{\\rtf1 {\\pict\\pngblip " + Hex(giant) + "}}");
    std::string table = "{\\rtf1 ";
    for (int r = 0; r < 3000; ++r) {
        table += "\\trowd";
        for (int c = 0; c < 100; ++c) table += "\\cellx" + std::to_string(100 * (c + 1));
        table += "\\intbl";
        for (int c = 0; c < 100; ++c) table += " x\\cell";
        table += "\\row";
    }
    inputs.emplace_back("giant table", table + "}");
    std::string fonts = "{\\rtf1{\\fonttbl";
    for (int i = 0; i < 50000; ++i) fonts += "{\\f" + std::to_string(i) + " F" + std::to_string(i) + ";}";
    inputs.emplace_back("many fonts", fonts + "}{\\colortbl" + std::string(50000, ';') + "}\\f49999 x}");
    std::string cells = "{\\rtf1\\trowd\\cellx100\\intbl a";
    for (int i = 0; i < 200; ++i) cells += "\\cell";
    inputs.emplace_back("more cells than defined", cells + " x\\cell\\row}");
    inputs.emplace_back("wide cells", "{\\rtf1\\trowd\\cellx126720\\cellx2147483647\\cellx-5\\pard\\intbl a\\cell b\\cell"
                                      " c\\cell\\row\\pard after\\par}");
    inputs.emplace_back("empty last cell paragraph", "{\\rtf1\\trowd\\cellx1000\\pard\\intbl A\\par\\par\\cell\\row}");
    inputs.emplace_back("truncated", "{\\rtf1 {\\b x{\\pict\\pngblip 89504e");
    inputs.emplace_back("stray closes", "{\\rtf1 a}}}}\\par b");
    inputs.emplace_back("cells without rows", "{\\rtf1 \\cell\\cell\\row\\row\\intbl\\cell x\\nestcell\\row}");
    inputs.emplace_back("bad unicode", "{\\rtf1 \\u-32768\\u2147483647\\uc2147483647 abc\\'zz\\'}");
    for (const auto& [name, rtf] : inputs) {
        SCOPED_TRACE(name);
        QElapsedTimer timer;
        timer.start();
        QTextDocument doc;
        SetupDoc(doc);
        LoadRtf(rtf, doc);
        // Cells past the cap stay visible as text after the table.
        if (std::string_view(name) == "giant table") EXPECT_EQ(doc.toPlainText().count('x'), 300000);
        std::string out = WriteRtf(doc);
        QTextDocument again;
        SetupDoc(again);
        EXPECT_TRUE(LoadRtf(out, again));
        EXPECT_EQ(WriteRtf(again), out);
        EXPECT_LT(timer.elapsed(), 5000);
    }
}

} // namespace
} // namespace zt::textqt

namespace zt::textqt {
namespace {

TEST(RtfWriterTest, FontNamesInTheirCodePage) {
    QTextDocument doc;
    SetupDoc(doc);
    QTextCursor c(&doc);
    const std::vector<std::pair<QString, int>> fonts = {
        {QString::fromUtf8("\u0141\u00f3d\u017a Sans"), 238}, {QString::fromUtf8("Gr\u00fc\u00dfe"), 0},
        {QString::fromUtf8("\u041a\u0443\u0440\u0438\u0440"), 204}, {QString::fromUtf8("Sym\u00e4"), 2}};
    for (const auto& [name, charset] : fonts) {
        QTextCharFormat f;
        f.setFontFamilies(QStringList{name});
        f.setProperty(kCharsetProperty, charset);
        c.insertText("x", f);
    }
    std::string rtf = WriteRtf(doc);
    QTextDocument back;
    SetupDoc(back);
    ASSERT_TRUE(LoadRtf(rtf, back));
    EXPECT_EQ(Runs(back), Runs(doc)) << rtf;
    EXPECT_EQ(WriteRtf(back), rtf);

    // Characters that cannot stand in a font table are not part of the name.
    ASSERT_TRUE(LoadRtf("{\\rtf1{\\fonttbl{\\f0 Ari\\'01al\\{ ;}{\\f1\\fcharset0 Arial;}}\\f0 x\\f1 y}", back));
    EXPECT_EQ(FormatOf(back, "x").fontFamilies().toStringList().value(0), "Arial");
    EXPECT_EQ(FormatOf(back, "y").fontFamilies().toStringList().value(0), "Arial");
}

} // namespace
} // namespace zt::textqt

namespace zt::textqt {
namespace {

QByteArray Encoded(const char* format) {
    QImage img(5, 4, QImage::Format_RGB32);
    img.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return bytes;
}

TEST(RtfWriterTest, JpegKeptOtherFormatsStoredAsPng) {
    QTextDocument doc;
    SetupDoc(doc);
    QTextCursor c(&doc);
    QByteArray jpeg = Encoded("JPEG");
    ASSERT_TRUE(InsertPicture(c, jpeg));
    ASSERT_TRUE(InsertPicture(c, Encoded("BMP")));
    std::vector<QTextImageFormat> images;
    for (auto it = doc.begin().begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().isImageFormat()) images.push_back(it.fragment().charFormat().toImageFormat());
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].stringProperty(kPictureKindProperty), "jpeg");
    EXPECT_EQ(images[0].property(kPictureBytesProperty).toByteArray(), jpeg);
    EXPECT_EQ(images[1].stringProperty(kPictureKindProperty), "png");
    EXPECT_TRUE(images[1].property(kPictureBytesProperty).toByteArray().startsWith("\x89PNG"));
    EXPECT_DOUBLE_EQ(images[1].width(), 5.0);
    std::string stored = TwinPass(WriteRtf(doc));
    EXPECT_NE(stored.find("{\\pict\\jpegblip\\picw5\\pich4\\picwgoal75\\pichgoal60"), std::string::npos) << stored;
    EXPECT_NE(stored.find("{\\*\\ztxjpeg\\ztxwidth5\\ztxheight4 "), std::string::npos);
    EXPECT_NE(stored.find("{\\*\\ztxpng\\ztxwidth5\\ztxheight4 "), std::string::npos);
}

} // namespace
} // namespace zt::textqt
