// Paragraph structure through load -> save -> load: space before and after,
// line spacing, in hand-written cases and in the files other word processors
// wrote, compared on the QTextDocument's blocks.
#include "text_qt/rtftestutil.h"
#include "text/qt/rtfdocument.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace zt::textqt {
namespace {

using testutil::ReadData;

// One paragraph's spacing: text, before and after (twips), line height kind
// and value (percent, or twips).
struct Spacing {
    std::string text;
    int before = 0, after = 0, kind = 0, height = 0;
    bool operator==(const Spacing&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Spacing& s) {
    return os << '"' << s.text << "\" sb" << s.before << " sa" << s.after << " k" << s.kind << " h" << s.height;
}

std::vector<Spacing> SpacingOf(const QTextDocument& doc) {
    std::vector<Spacing> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat f = b.blockFormat();
        Spacing s;
        s.text = b.text().left(20).toStdString();
        s.before = UnitsToTwips(f.topMargin());
        s.after = UnitsToTwips(f.bottomMargin());
        s.kind = f.lineHeightType();
        s.height = s.kind == QTextBlockFormat::ProportionalHeight ? int(f.lineHeight()) : UnitsToTwips(f.lineHeight());
        if (s.kind == QTextBlockFormat::SingleHeight) s.height = 0;
        out.push_back(s);
    }
    return out;
}

using testutil::Load;

TEST(RtfParagraphSpacing, ReadAndWrittenBack) {
    const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\f0\\fs24 ";
    struct Case {
        const char* body;
        Spacing want;
        const char* written; // the words the writer gives back
    } cases[] = {
        {"\\sb120\\sa240 Vor und nach\\par}", {"Vor und nach", 120, 240, QTextBlockFormat::SingleHeight, 0},
         "\\sb120\\sa240"},
        {"\\sl360\\slmult1 Anderthalb\\par}", {"Anderthalb", 0, 0, QTextBlockFormat::ProportionalHeight, 150},
         "\\sl360\\slmult1"},
        {"\\sl-300\\slmult0 Genau\\par}", {"Genau", 0, 0, QTextBlockFormat::FixedHeight, 300}, "\\sl-300\\slmult0"},
        {"\\sl330 Mindestens\\par}", {"Mindestens", 0, 0, QTextBlockFormat::MinimumHeight, 330}, "\\sl330\\slmult0"},
        // \pard returns to no spacing.
        {"\\sb99\\pard Ohne\\par}", {"Ohne", 0, 0, QTextBlockFormat::SingleHeight, 0}, nullptr},
        // Out of range values are held to the page's size.
        {"\\sa99999999 Viel\\par}", {"Viel", 0, 31680, QTextBlockFormat::SingleHeight, 0}, "\\sa31680"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        QTextDocument doc;
        ASSERT_TRUE(Load(head + c.body, doc));
        ASSERT_EQ(SpacingOf(doc).size(), 1u);
        EXPECT_EQ(SpacingOf(doc)[0], c.want);
        const std::string rtf = WriteRtf(doc);
        if (c.written) {
            EXPECT_NE(rtf.find(c.written), std::string::npos) << rtf;
        } else {
            EXPECT_EQ(rtf.find("\\sb"), std::string::npos) << rtf;
        }
        QTextDocument again;
        ASSERT_TRUE(Load(rtf, again));
        EXPECT_EQ(SpacingOf(again), SpacingOf(doc));
    }
}

TEST(RtfParagraphSpacing, RealFilesKeepTheirSpacing) {
    struct File {
        const char* name;
        Spacing sample; // one paragraph the file spaces
    } files[] = {
        {"wordpad.rtf", {"", 0, 200, QTextBlockFormat::ProportionalHeight, 115}},
        {"libreoffice.rtf", {"", 240, 120, 0, 0}},
        {"pandoc.rtf", {"", 0, 180, 0, 0}},
    };
    for (const File& f : files) {
        SCOPED_TRACE(f.name);
        QTextDocument doc;
        ASSERT_TRUE(Load(ReadData(f.name), doc));
        const std::vector<Spacing> first = SpacingOf(doc);
        bool found = false;
        for (const Spacing& s : first)
            found |= s.before == f.sample.before && s.after == f.sample.after &&
                     (f.sample.kind == 0 || (s.kind == f.sample.kind && s.height == f.sample.height));
        EXPECT_TRUE(found) << ::testing::PrintToString(first);
        const std::string rtf = WriteRtf(doc);
        QTextDocument again;
        ASSERT_TRUE(Load(rtf, again));
        EXPECT_EQ(SpacingOf(again), first);
        EXPECT_EQ(WriteRtf(again), rtf);
    }
}

// The tables of a document in order: size, then every cell that is not
// covered as row,column+rows x columns "text".
std::vector<std::string> TablesOf(const QTextDocument& doc) {
    std::vector<std::string> out;
    std::function<void(QTextFrame*)> walk = [&](QTextFrame* frame) {
        for (QTextFrame* child : frame->childFrames()) {
            if (auto* t = qobject_cast<QTextTable*>(child)) {
                std::string s = std::to_string(t->rows()) + "x" + std::to_string(t->columns()) + ":";
                for (int r = 0; r < t->rows(); ++r)
                    for (int c = 0; c < t->columns(); ++c) {
                        const QTextTableCell cell = t->cellAt(r, c);
                        if (cell.row() != r || cell.column() != c) continue;
                        QTextCursor from = cell.firstCursorPosition(), to = cell.lastCursorPosition();
                        from.setPosition(to.position(), QTextCursor::KeepAnchor);
                        s += " " + std::to_string(r) + "," + std::to_string(c) + "+" + std::to_string(cell.rowSpan()) +
                             "x" + std::to_string(cell.columnSpan()) + "\"" +
                             from.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('/')).toStdString() +
                             "\"";
                    }
                out.push_back(s);
            }
            walk(child);
        }
    };
    walk(doc.rootFrame());
    return out;
}

TEST(RtfTables, MergedCellsAreReadAndWrittenBack) {
    const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";
    struct Case {
        const char* name;
        const char* body;
        std::vector<std::string> tables;
        std::vector<const char*> words;
    } cases[] = {
        {"vertical",
         "\\trowd\\clvmgf\\cellx2000\\cellx4000\\pard\\intbl A\\cell B\\cell\\row"
         "\\trowd\\clvmrg\\cellx2000\\cellx4000\\pard\\intbl \\cell C\\cell\\row"
         "\\trowd\\clvmrg\\cellx2000\\cellx4000\\pard\\intbl \\cell D\\cell\\row\\pard Ende\\par}",
         {"3x2: 0,0+3x1\"A\" 0,1+1x1\"B\" 1,1+1x1\"C\" 2,1+1x1\"D\""},
         {"\\clvmgf", "\\clvmrg"}},
        {"horizontal",
         "\\trowd\\clmgf\\cellx2000\\clmrg\\cellx4000\\cellx6000\\pard\\intbl AB\\cell\\cell X\\cell\\row"
         "\\pard Ende\\par}",
         {"1x3: 0,0+1x2\"AB\" 0,2+1x1\"X\""},
         {"\\clmgf", "\\clmrg"}},
        {"block of two by two",
         "\\trowd\\clvmgf\\clmgf\\cellx2000\\clvmgf\\clmrg\\cellx4000\\cellx6000\\pard\\intbl Q\\cell\\cell 1\\cell\\row"
         "\\trowd\\clvmrg\\clmgf\\cellx2000\\clvmrg\\clmrg\\cellx4000\\cellx6000\\pard\\intbl \\cell\\cell 2\\cell\\row"
         "\\pard Ende\\par}",
         {"2x3: 0,0+2x2\"Q\" 0,2+1x1\"1\" 1,2+1x1\"2\""},
         {"\\clvmgf\\clmgf", "\\clvmrg\\clmrg"}},
        // A merge mark without a first cell to join changes nothing.
        {"stray marks",
         "\\trowd\\clvmrg\\cellx2000\\clmrg\\cellx4000\\pard\\intbl a\\cell b\\cell\\row\\pard Ende\\par}",
         {"1x2: 0,0+1x1\"a\" 0,1+1x1\"b\""},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument doc;
        ASSERT_TRUE(Load(head + c.body, doc));
        EXPECT_EQ(TablesOf(doc), c.tables);
        const std::string rtf = WriteRtf(doc);
        for (const char* w : c.words) EXPECT_NE(rtf.find(w), std::string::npos) << w << " in " << rtf;
        QTextDocument again;
        ASSERT_TRUE(Load(rtf, again));
        EXPECT_EQ(TablesOf(again), c.tables) << rtf;
        EXPECT_EQ(again.toPlainText(), doc.toPlainText());
    }
}

TEST(RtfTables, RealFilesKeepTheirTables) {
    for (const char* name : {"libreoffice.rtf", "pandoc.rtf", "wordpad.rtf"}) {
        SCOPED_TRACE(name);
        QTextDocument doc;
        ASSERT_TRUE(Load(ReadData(name), doc));
        const std::string rtf = WriteRtf(doc);
        QTextDocument again;
        ASSERT_TRUE(Load(rtf, again));
        EXPECT_EQ(TablesOf(again), TablesOf(doc)) << rtf;
    }
    // The file LibreOffice wrote joins two cells of its table vertically.
    QTextDocument doc;
    ASSERT_TRUE(Load(ReadData("libreoffice.rtf"), doc));
    bool spans = false;
    for (const std::string& t : TablesOf(doc)) spans |= t.find("+2x1") != std::string::npos;
    EXPECT_TRUE(spans) << ::testing::PrintToString(TablesOf(doc));
}

TEST(RtfTables, ANestedTableStaysInItsCell) {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Vorher"));
    QTextTable* outer = c.insertTable(1, 2);
    QTextCursor in = outer->cellAt(0, 0).firstCursorPosition();
    in.insertText(QStringLiteral("links"));
    QTextTable* inner = in.insertTable(2, 2);
    inner->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("innen eins"));
    inner->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("innen vier"));
    outer->cellAt(0, 1).firstCursorPosition().insertText(QStringLiteral("rechts"));
    const std::string rtf = WriteRtf(doc);
    QTextDocument again;
    ASSERT_TRUE(Load(rtf, again));
    const QString text = again.toPlainText();
    for (const char* part : {"Vorher", "links", "innen eins", "innen vier", "rechts"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(part))) << part << " in " << text.toStdString();
    // The outer table keeps its shape; the inner one stays a table in its cell.
    ASSERT_EQ(TablesOf(again).size(), 2u);
    EXPECT_EQ(TablesOf(again)[0].substr(0, 4), "1x2:");
    EXPECT_NE(TablesOf(again)[0].find("innen eins"), std::string::npos);
    EXPECT_NE(TablesOf(again)[0].find("\"rechts\""), std::string::npos);
    EXPECT_EQ(TablesOf(again)[1], TablesOf(doc)[1]);
}

// Every paragraph as "text[style item]" (style and item text of its list).
std::vector<std::string> ListsOf(const QTextDocument& doc) {
    std::vector<std::string> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        std::string s = b.text().toStdString();
        if (QTextList* l = b.textList())
            s += "[" + std::to_string(int(l->format().style())) + " " + l->itemText(b).toStdString() + "]";
        out.push_back(s);
    }
    return out;
}

TEST(RtfLists, NumberedParagraphsAreListsThroughTheRoundTrip) {
    const std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 "
        "\\pard{\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxta.}}"
        "\\fi-360\\li720 Eins\\par{\\pntext\\f0 2.\\tab}Zwei\\par"
        "\\pard Danach\\par"
        "{\\pntext\\f0 a.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pnlcltr{\\pntxta.}}Alpha\\par"
        "{\\pntext\\f0 b.\\tab}Beta\\par"
        "\\pard{\\*\\pn\\pnlvlbody\\pnucrm{\\pntxta.}}R\\\'f6misch\\par"
        "\\pard{\\*\\pn\\pnlcrm\\pnlvlbody{\\pntxta.}}Stil vorher\\par}";
    const std::vector<std::string> want = {
        "Eins[-4 1.]", "Zwei[-4 2.]", "Danach", "Alpha[-5 a.]", "Beta[-5 b.]", "R\xc3\xb6misch[-8 I.]",
        "Stil vorher[-7 i.]"};
    QTextDocument doc;
    ASSERT_TRUE(Load(rtf, doc));
    EXPECT_EQ(ListsOf(doc), want);
    // The numbers come from the lists, never twice from the text.
    EXPECT_FALSE(doc.toPlainText().contains(QStringLiteral("1.")));
    const std::string written = WriteRtf(doc);
    for (const char* w : {"\\pndec", "{\\pntext\\f0 2.\\tab}", "\\pnlcltr", "{\\pntext\\f0 b.\\tab}", "\\pnucrm"})
        EXPECT_NE(written.find(w), std::string::npos) << w << " in " << written;
    QTextDocument again;
    ASSERT_TRUE(Load(written, again));
    EXPECT_EQ(ListsOf(again), want) << written;
    EXPECT_EQ(WriteRtf(again), written);
    // Indents stay the paragraph's own.
    EXPECT_EQ(UnitsToTwips(again.begin().blockFormat().leftMargin()), 720);
}

} // namespace
} // namespace zt::textqt
