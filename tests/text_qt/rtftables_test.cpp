// Tables inside table cells: read from the Word 2000 form (\itapN,
// \nestcell, \nestrow, \*\nesttableprops), written back in it, and bounded
// for hostile nesting.
#include "text_qt/rtftestutil.h"
#include "text/qt/rtfdocument.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <fstream>
#include <sstream>
#include <string>

namespace zt::textqt {
namespace {

using testutil::ReadData;

using testutil::Load;

std::string DescribeTable(QTextTable* t);

// The items of a frame or cell: paragraphs as their text, tables as
// {rows x columns, then each cell that is not covered as
// row,column[+rows x columns]:items}, items joined by "/".
std::string DescribeItems(QTextFrame::iterator it) {
    std::string out;
    for (bool first = true; !it.atEnd(); ++it, first = false) {
        if (!first) out += "/";
        if (auto* t = qobject_cast<QTextTable*>(it.currentFrame()))
            out += DescribeTable(t);
        else if (it.currentBlock().isValid())
            out += it.currentBlock().text().toStdString();
    }
    return out;
}

std::string DescribeTable(QTextTable* t) {
    std::string s = "{" + std::to_string(t->rows()) + "x" + std::to_string(t->columns());
    for (int r = 0; r < t->rows(); ++r)
        for (int c = 0; c < t->columns(); ++c) {
            const QTextTableCell cell = t->cellAt(r, c);
            if (cell.row() != r || cell.column() != c) continue;
            s += " " + std::to_string(r) + "," + std::to_string(c);
            if (cell.rowSpan() > 1 || cell.columnSpan() > 1)
                s += "+" + std::to_string(cell.rowSpan()) + "x" + std::to_string(cell.columnSpan());
            s += ":" + DescribeItems(cell.begin());
        }
    return s + "}";
}

std::string Describe(const QTextDocument& doc) { return DescribeItems(doc.rootFrame()->begin()); }

// How deep tables stand inside each other.
int TableDepth(QTextFrame* frame) {
    int deepest = 0;
    for (QTextFrame* child : frame->childFrames())
        deepest = std::max(deepest, TableDepth(child) + (qobject_cast<QTextTable*>(child) ? 1 : 0));
    return deepest;
}

// The first table inside a cell of `t`, depth first.
QTextTable* InnerTable(QTextTable* t) {
    for (QTextFrame* child : t->childFrames())
        if (auto* inner = qobject_cast<QTextTable*>(child)) return inner;
    return nullptr;
}

const std::string kHead = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";

// An outer row of two cells whose second cell holds a table of two rows:
// two cells, then one cell joined over both columns.
const std::string kNested =
    kHead +
    "\\pard Vorher\\par"
    "\\trowd\\cellx3000\\cellx8000"
    "\\pard\\intbl Links\\cell"
    "\\pard\\intbl Oben\\par"
    "\\pard\\intbl\\itap2 Eins\\nestcell\\pard\\intbl\\itap2 Zwei\\nestcell"
    "{\\*\\nesttableprops\\trowd\\cellx1500\\cellx4000\\nestrow}{\\nonesttables\\par}"
    "\\pard\\intbl\\itap2 Breit\\nestcell\\nestcell"
    "{\\*\\nesttableprops\\trowd\\clmgf\\cellx1500\\clmrg\\cellx4000\\nestrow}{\\nonesttables\\par}"
    "\\pard\\intbl Unten\\cell"
    "\\trowd\\cellx3000\\cellx8000\\row"
    "\\pard Nachher\\par}";

// The paragraph mark before a table leaves the empty paragraph that holds it.
const std::string kNestedShape =
    "Vorher//{1x2 0,0:Links 0,1:Oben/{2x2 0,0:Eins 0,1:Zwei 1,0+1x2:Breit}/Unten}/Nachher";

TEST(RtfNestedTables, ReadAsTablesInCells) {
    QTextDocument doc;
    ASSERT_TRUE(Load(kNested, doc));
    EXPECT_EQ(Describe(doc), kNestedShape);
    EXPECT_EQ(TableDepth(doc.rootFrame()), 2);
    // The inner table takes the widths its row definition gives.
    QTextTable* outer = nullptr;
    for (QTextFrame* f : doc.rootFrame()->childFrames())
        if ((outer = qobject_cast<QTextTable*>(f))) break;
    ASSERT_TRUE(outer);
    QTextTable* inner = InnerTable(outer);
    ASSERT_TRUE(inner);
    const auto widths = inner->format().columnWidthConstraints();
    ASSERT_EQ(widths.size(), 2);
    EXPECT_EQ(UnitsToTwips(widths[0].rawValue()), 1500);
    EXPECT_EQ(UnitsToTwips(widths[1].rawValue()), 2500);
    // The text for readers without nested tables is not shown.
    EXPECT_EQ(doc.toPlainText().count(QStringLiteral("Breit")), 1);
}

// The form Word writes: the text in groups, each row definition of the
// outer table repeated in a group at the row's end.
TEST(RtfNestedTables, WordsFormWithGroups) {
    const std::string rtf =
        kHead +
        "\\trowd\\cellx4320\\cellx8640"
        "\\pard\\plain\\ql\\intbl {A\\cell }"
        "\\pard\\ql\\intbl\\itap1 {B\\par }"
        "\\pard\\ql\\intbl\\itap2 {C\\nestcell }{D\\nestcell }"
        "\\pard\\ql\\intbl\\itap2 {{\\*\\nesttableprops\\trowd\\clvmgf\\cellx2000\\cellx4000\\nestrow}"
        "{\\nonesttables\\par }}"
        "\\pard\\ql\\intbl\\itap2 {\\nestcell }{E\\nestcell }"
        "\\pard\\ql\\intbl\\itap2 {{\\*\\nesttableprops\\trowd\\clvmrg\\cellx2000\\cellx4000\\nestrow}"
        "{\\nonesttables\\par }}"
        "\\pard\\ql\\intbl\\itap1 {\\cell }"
        "\\pard\\ql\\intbl\\itap1 {\\trowd\\cellx4320\\cellx8640\\row }"
        "\\pard\\ql {Danach\\par }}";
    QTextDocument doc;
    ASSERT_TRUE(Load(rtf, doc));
    const std::string shape = "/{1x2 0,0:A 0,1:B/{2x2 0,0+2x1:C 0,1:D 1,1:E}/}/Danach";
    EXPECT_EQ(Describe(doc), shape);
    QTextDocument again;
    ASSERT_TRUE(Load(WriteRtf(doc), again));
    EXPECT_EQ(Describe(again), shape);
}

TEST(RtfNestedTables, WrittenInTheNestedFormAndReadBack) {
    QTextDocument doc;
    ASSERT_TRUE(Load(kNested, doc));
    const std::string rtf = WriteRtf(doc);
    for (const char* w : {"\\itap2", "\\nestcell", "{\\*\\nesttableprops\\trowd", "\\nestrow}", "{\\nonesttables\\par}",
                          "\\clmgf", "\\clmrg", "\\cellx1500", "\\cell", "\\row"})
        EXPECT_NE(rtf.find(w), std::string::npos) << w << " in " << rtf;
    QTextDocument again;
    ASSERT_TRUE(Load(rtf, again));
    EXPECT_EQ(Describe(again), kNestedShape) << rtf;
    // A second round changes nothing.
    EXPECT_EQ(WriteRtf(again), rtf);
}

// LibreOffice (headless, with a profile of its own in a temporary folder)
// reads what we write as a table inside a table cell.
TEST(RtfNestedTables, LibreOfficeReadsTheWrittenNesting) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed (scripts/setup.sh installs it)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QTextDocument doc;
    ASSERT_TRUE(Load(kNested, doc));
    {
        QFile f(dir.filePath(QStringLiteral("nested.rtf")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const std::string rtf = WriteRtf(doc);
        f.write(rtf.data(), qint64(rtf.size()));
    }
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(soffice, {QStringLiteral("--headless"),
                      QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                      QStringLiteral("--convert-to"), QStringLiteral("html"), QStringLiteral("--outdir"), dir.path(),
                      dir.filePath(QStringLiteral("nested.rtf"))});
    ASSERT_TRUE(p.waitForFinished(120000)) << "LibreOffice did not finish";
    QFile out(dir.filePath(QStringLiteral("nested.html")));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly)) << p.readAllStandardError().toStdString();
    const QString html = QString::fromUtf8(out.readAll()).toLower();
    // The inner table opens after the outer one and before "Unten", its
    // joined cell spans two columns.
    const qsizetype outer = html.indexOf(QStringLiteral("<table"));
    const qsizetype inner = html.indexOf(QStringLiteral("<table"), outer + 1);
    ASSERT_GE(outer, 0);
    ASSERT_GT(inner, outer) << html.toStdString();
    EXPECT_LT(inner, html.indexOf(QStringLiteral("eins")));
    EXPECT_LT(html.indexOf(QStringLiteral("</table>")), html.indexOf(QStringLiteral("unten")));
    EXPECT_GT(html.indexOf(QStringLiteral("colspan=\"2\"")), inner);
}

TEST(RtfNestedTables, ThreeLevelsThroughTheRoundTrip) {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Anfang"));
    QTextTable* t1 = c.insertTable(2, 2);
    t1->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("a"));
    QTextCursor in1 = t1->cellAt(0, 1).firstCursorPosition();
    in1.insertText(QStringLiteral("b"));
    QTextTable* t2 = in1.insertTable(1, 2);
    t2->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("c"));
    QTextCursor in2 = t2->cellAt(0, 1).firstCursorPosition();
    QTextTable* t3 = in2.insertTable(2, 1);
    t3->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("d"));
    t3->cellAt(1, 0).firstCursorPosition().insertText(QStringLiteral("e"));
    t1->cellAt(1, 0).firstCursorPosition().insertText(QStringLiteral("f"));
    t1->mergeCells(1, 0, 1, 2);
    const std::string shape = Describe(doc);
    EXPECT_EQ(shape, "Anfang/{2x2 0,0:a 0,1:b/{1x2 0,0:c 0,1:/{2x1 0,0:d 1,0:e}/}/ 1,0+1x2:f}/");
    const std::string rtf = WriteRtf(doc);
    EXPECT_NE(rtf.find("\\itap3"), std::string::npos) << rtf;
    QTextDocument again;
    ASSERT_TRUE(Load(rtf, again));
    EXPECT_EQ(Describe(again), shape) << rtf;
    EXPECT_EQ(TableDepth(again.rootFrame()), 3);
}

TEST(RtfNestedTables, LibreOfficeFileKeepsItsNesting) {
    const std::string file = ReadData("libreoffice-nested.rtf");
    ASSERT_FALSE(file.empty());
    QTextDocument doc;
    ASSERT_TRUE(Load(file, doc));
    EXPECT_EQ(TableDepth(doc.rootFrame()), 2);
    const std::string shape = Describe(doc);
    EXPECT_NE(shape.find("{2x2 0,0:Inner 1 0,1:Inner 2 1,0:Inner wide 1,1:}"), std::string::npos) << shape;
    EXPECT_NE(shape.find("0,0:Outer A1 0,1:Outer B1 /{2x2"), std::string::npos) << shape;
    EXPECT_NE(shape.find("1,0:Outer A2 1,1:Outer B2}"), std::string::npos) << shape;
    QTextDocument again;
    ASSERT_TRUE(Load(WriteRtf(doc), again));
    EXPECT_EQ(Describe(again), shape);
}

TEST(RtfNestedTables, HostileNestingIsBounded) {
    std::string deep = kHead;
    for (int i = 0; i < 3000; ++i) deep += "\\pard\\intbl\\itap10000 x\\nestcell\\pard\\intbl a\\cell\\row";
    std::string alternating = kHead;
    for (int i = 0; i < 3000; ++i) alternating += "\\pard\\intbl\\itap8 x\\pard\\intbl y";
    struct Case {
        const char* name;
        std::string rtf;
        const char* text;  // text that must stay
        int maxDepth;
    } cases[] = {
        {"itap far too deep", kHead + "\\pard\\intbl\\itap10000 tief\\nestcell\\nestrow\\cell\\row\\pard Ende\\par}",
         "tief", 8},
        {"many too deep rows", deep + "}", "x", 8},
        {"nestrow without cells", kHead + "\\nestrow\\pard\\intbl\\itap2\\nestrow\\nestrow A\\par}", "A", 2},
        {"nestcell outside tables", kHead + "a\\nestcell b\\nestcell\\pard Ende\\par}", "Ende", 2},
        {"unclosed levels", kHead + "\\pard\\intbl\\itap3 drei\\nestcell\\pard\\intbl\\itap5 fuenf", "fuenf", 5},
        {"row marks of the wrong level",
         kHead + "\\pard\\intbl\\itap2 i\\nestcell\\row\\nestrow\\cell\\nestcell\\pard Ende\\par}", "Ende", 2},
        {"levels opened and left again", alternating + "}", "y", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument doc;
        ASSERT_TRUE(Load(c.rtf, doc));
        EXPECT_TRUE(doc.toPlainText().contains(QString::fromLatin1(c.text)));
        EXPECT_LE(TableDepth(doc.rootFrame()), c.maxDepth);
        // What was read is written and read again.
        QTextDocument again;
        ASSERT_TRUE(Load(WriteRtf(doc), again));
        EXPECT_EQ(TableDepth(again.rootFrame()), TableDepth(doc.rootFrame()));
    }
}

} // namespace
} // namespace zt::textqt
