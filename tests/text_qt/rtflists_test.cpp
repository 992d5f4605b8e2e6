// Lists of the list table, hanging indents, hidden text and styles: read,
// written back, and read again; hostile list tables stay bounded.
#include "text_qt/rtftestutil.h"
#include "text/qt/rtfdocument.h"
#include "text/qt/rtfproperties.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace zt::textqt {
namespace {

using testutil::Load;

// Every paragraph as "text" or "text[style level number]"; the number is
// the one the list's start value gives (bullets show '*').
std::vector<std::string> Items(const QTextDocument& doc) {
    std::vector<std::string> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        std::string s = b.text().toStdString();
        if (QTextList* l = b.textList()) {
            const QTextListFormat f = l->format();
            const int start = f.hasProperty(kListStartProperty) ? f.intProperty(kListStartProperty) : 1;
            s += "[" + std::to_string(int(f.style())) + " " + std::to_string(f.intProperty(kListLevelProperty)) + " " +
                 (f.style() >= QTextListFormat::ListSquare
                      ? std::string("*")
                      : f.numberPrefix().toStdString() + std::to_string(l->itemNumber(b) + start) +
                            (f.hasProperty(QTextFormat::ListNumberSuffix) ? f.numberSuffix().toStdString()
                                                                          : std::string("."))) +
                 "]";
        }
        out.push_back(s);
    }
    return out;
}

// A list table with one list of three levels (decimal "1.", lower alpha
// "a)", lower roman "(i)"), a bullet list and a list starting at 3.
const std::string kHeader =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}"
    "{\\*\\listtable"
    "{\\list\\listtemplateid7"
    "{\\listlevel\\levelnfc0\\levelstartat1{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}\\fi-360\\li720}"
    "{\\listlevel\\levelnfc4\\levelstartat1{\\leveltext\\'02\\'01);}{\\levelnumbers\\'01;}\\fi-360\\li1440}"
    "{\\listlevel\\levelnfc2\\levelstartat1{\\leveltext\\'03(\\'02);}{\\levelnumbers\\'02;}\\fi-360\\li2160}"
    "{\\listname ;}\\listid100}"
    "{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u-3913 ?;}{\\levelnumbers;}\\f1\\fi-360\\li720}"
    "{\\listlevel\\levelnfc23{\\leveltext\\'01o;}{\\levelnumbers;}\\fi-360\\li1440}\\listid200}"
    "{\\list{\\listlevel\\levelnfcn1\\levelnfc1\\levelstartat3{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}"
    "\\listid300}}"
    "{\\*\\listoverridetable{\\listoverride\\listid100\\listoverridecount0\\ls1}"
    "{\\listoverride\\listid200\\listoverridecount0\\ls2}{\\listoverride\\listid300\\listoverridecount0\\ls3}"
    "{\\listoverride\\listid100\\listoverridecount1{\\lfolevel\\listoverridestartat\\levelstartat5}\\ls4}}"
    "\\f0\\fs24 ";

struct ListCase {
    const char* name;
    std::string body;
    std::vector<std::string> want;
};

TEST(RtfListTable, ParagraphsBecomeListItemsThroughTheRoundTrip) {
    const int dec = QTextListFormat::ListDecimal, la = QTextListFormat::ListLowerAlpha,
              lr = QTextListFormat::ListLowerRoman, ur = QTextListFormat::ListUpperRoman,
              disc = QTextListFormat::ListDisc, circle = QTextListFormat::ListCircle;
    auto item = [](const char* text, int style, int level, const std::string& number) {
        return std::string(text) + "[" + std::to_string(style) + " " + std::to_string(level) + " " + number + "]";
    };
    const std::vector<ListCase> cases = {
        {"nested levels count again below a higher item",
         "{\\listtext 1.\\tab}\\pard\\ls1\\ilvl0\\fi-360\\li720 Eins\\par"
         "{\\listtext a)\\tab}\\pard\\ls1\\ilvl1\\fi-360\\li1440 Unter a\\par"
         "\\pard\\ls1\\ilvl2\\fi-360\\li2160 Tief\\par"
         "\\pard\\ls1\\ilvl1\\fi-360\\li1440 Unter b\\par"
         "\\pard\\ls1\\ilvl0\\fi-360\\li720 Zwei\\par"
         "\\pard\\ls1\\ilvl1\\fi-360\\li1440 Wieder a\\par}",
         {item("Eins", dec, 0, "1."), item("Unter a", la, 1, "1)"), item("Tief", lr, 2, "(1)"),
          item("Unter b", la, 1, "2)"), item("Zwei", dec, 0, "2."), item("Wieder a", la, 1, "1)")}},
        {"numbering goes on across other paragraphs",
         "\\pard\\ls1 A\\par\\pard Zwischen\\par\\pard\\ls1 B\\par}",
         {item("A", dec, 0, "1."), "Zwischen", item("B", dec, 0, "2.")}},
        {"bullets and their shapes", "\\pard\\ls2 Kugel\\par\\pard\\ls2\\ilvl1 Kreis\\par}",
         {item("Kugel", disc, 0, "*"), item("Kreis", circle, 1, "*")}},
        {"start values of the level and of the override",
         "\\pard\\ls3 Drei\\par\\pard\\ls3 Vier\\par\\pard\\ls4 F\\'fcnf\\par}",
         {item("Drei", ur, 0, "3."), item("Vier", ur, 0, "4."), item("F\xc3\xbcnf", dec, 0, "5.")}},
        {"the list table wins over the older numbering, no number twice",
         "{\\pntext\\f0 7.\\tab}{\\*\\pn\\pnlvlbody\\pnucltr{\\pntxta.}}\\pard\\ls1{\\listtext 1.\\tab}Beides\\par}",
         {item("Beides", dec, 0, "1.")}},
        {"an override that is not there: the older numbering holds",
         "{\\*\\pn\\pnlvlbody\\pnlcltr{\\pntxta.}}\\ls99 Alt\\par\\pard\\ls0 Ohne\\par}",
         {item("Alt", la, 0, "1."), "Ohne"}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument doc;
        ASSERT_TRUE(Load(kHeader + c.body, doc));
        EXPECT_EQ(Items(doc), c.want);
        EXPECT_FALSE(doc.toPlainText().contains(QStringLiteral("\t")));
        const std::string written = WriteRtf(doc);
        EXPECT_NE(written.find("{\\*\\listtable"), std::string::npos);
        EXPECT_NE(written.find("{\\*\\listoverridetable"), std::string::npos);
        QTextDocument again;
        ASSERT_TRUE(Load(written, again));
        EXPECT_EQ(Items(again), c.want) << written;
        EXPECT_EQ(WriteRtf(again), written);
    }
}

TEST(RtfListTable, ItemsAreWrittenWithOverrideLevelAndFallbackNumber) {
    QTextDocument doc;
    ASSERT_TRUE(Load(kHeader + "\\pard\\ls3\\fi-360\\li720 Drei\\par\\pard\\ls1\\ilvl1\\fi-360\\li1440 Unter\\par}",
                     doc));
    const std::string w = WriteRtf(doc);
    // Lists are numbered in the order they appear; a reader without lists
    // shows the number text, one that knows \pn the older numbering.
    EXPECT_NE(w.find("\\ls1\\ilvl0\\fi-360\\li720"), std::string::npos) << w;
    EXPECT_NE(w.find("{\\pntext\\f0 III.\\tab}"), std::string::npos) << w;
    EXPECT_NE(w.find("\\ls2\\ilvl1\\fi-360\\li1440"), std::string::npos) << w;
    EXPECT_NE(w.find("\\levelstartat3"), std::string::npos) << w;
    EXPECT_NE(w.find("{\\leveltext\\'02\\'01);}"), std::string::npos) << w;
}

// What the lists look like to another word processor: LibreOffice reads the
// written text and exports it as plain text, numbers included.
TEST(RtfListTable, LibreOfficeSeesEveryNumberOnce) {
    if (std::system("command -v soffice >/dev/null 2>&1") != 0) GTEST_SKIP() << "soffice (LibreOffice) is not installed";
    QTextDocument doc;
    ASSERT_TRUE(Load(kHeader +
                         "\\pard\\ls1\\fi-360\\li720 Eins\\par\\pard\\ls1\\ilvl1\\fi-360\\li1440 Unter\\par"
                         "\\pard\\ls1\\fi-360\\li720 Zwei\\par\\pard\\ls3\\fi-360\\li720 Drei\\par"
                         "\\pard\\ls2\\fi-360\\li720 Kugel\\par}",
                     doc));
    test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::ofstream(dir / "lists.rtf", std::ios::binary) << WriteRtf(doc);
    const std::string cmd = "cd '" + dir.path() + "' && HOME='" + dir.path() +
                            "' timeout 180 soffice --headless -env:UserInstallation=file://" + dir.path() +
                            "/profile --convert-to 'txt:Text (encoded):UTF8' lists.rtf >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream in(dir / "lists.txt", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(ss, line)) {
        if (line.rfind("\xef\xbb\xbf", 0) == 0) line.erase(0, 3);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        line.erase(0, line.find_first_not_of(' '));
        if (!line.empty()) lines.push_back(line);
    }
    const std::vector<std::string> want = {"1. Eins", "a) Unter", "2. Zwei", "III. Drei", "\xe2\x80\xa2 Kugel"};
    EXPECT_EQ(lines, want);
}

TEST(RtfListTable, LevelIndentsHoldForParagraphsWithoutTheirOwn) {
    QTextDocument doc;
    ASSERT_TRUE(Load(kHeader + "\\pard\\ls1\\ilvl1 Ohne\\par\\pard\\ls1\\ilvl1\\fi-200\\li500 Eigene\\par}", doc));
    const QTextBlock first = doc.begin();
    EXPECT_EQ(UnitsToTwips(first.blockFormat().leftMargin()), 1440);
    EXPECT_EQ(GetIndents(first.blockFormat()).offset, 360);
    // On screen the number stands in the hanging room and the text lines up.
    EXPECT_EQ(first.blockFormat().textIndent(), 0);
    // The hanging first line: negative first-line indent inside the margin.
    const ParaIndents own = GetIndents(first.next().blockFormat());
    EXPECT_EQ(own.start, 300);
    EXPECT_EQ(own.offset, 200);
    const std::string w = WriteRtf(doc);
    EXPECT_NE(w.find("\\fi-360\\li1440"), std::string::npos) << w;
    EXPECT_NE(w.find("\\fi-200\\li500"), std::string::npos) << w;
}

TEST(RtfListTable, ListsMadeByEditingAreWrittenAsListsToo) {
    QTextDocument doc;
    ASSERT_TRUE(Load("{\\rtf1\\ansi A\\par B\\par C\\par}", doc));
    QTextCursor c(&doc);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    SetBullets(c, true);
    const std::string w = WriteRtf(doc);
    EXPECT_NE(w.find("\\levelnfc23"), std::string::npos) << w;
    QTextDocument again;
    ASSERT_TRUE(Load(w, again));
    EXPECT_EQ(Items(again), Items(doc));
    for (QTextBlock b = again.begin(); b.isValid(); b = b.next()) EXPECT_TRUE(HasBullet(b));
}

TEST(RtfListTable, PastedListsStayListsOfTheirOwn) {
    const std::string list = kHeader + "\\pard\\ls1 A\\par\\pard\\ls1 B\\par}";
    QTextDocument doc;
    ASSERT_TRUE(Load(list, doc));
    QTextCursor c(&doc);
    c.movePosition(QTextCursor::End);
    c.insertBlock(QTextBlockFormat());
    c.insertText(QStringLiteral("Mitte"));
    c.insertBlock(QTextBlockFormat());
    ASSERT_TRUE(InsertRtf(list, c));
    const std::vector<std::string> want = {"A[-4 0 1.]", "B[-4 0 2.]", "Mitte", "A[-4 0 1.]", "B[-4 0 2.]"};
    EXPECT_EQ(Items(doc), want);
    QTextDocument again;
    ASSERT_TRUE(Load(WriteRtf(doc), again));
    EXPECT_EQ(Items(again), want) << WriteRtf(doc);
}

TEST(RtfListTable, ABulletOnANumberedItemReplacesTheNumber) {
    QTextDocument doc;
    ASSERT_TRUE(Load(kHeader + "\\pard\\ls1\\fi-360\\li720 Eins\\par\\pard\\ls1\\fi-360\\li720 Zwei\\par}", doc));
    QTextCursor c(doc.begin().next());
    SetBullets(c, true);
    ASSERT_TRUE(doc.begin().next().textList());
    EXPECT_EQ(doc.begin().next().textList()->format().style(), QTextListFormat::ListDisc);
    EXPECT_EQ(doc.begin().textList()->format().style(), QTextListFormat::ListDecimal);
    const std::string w = WriteRtf(doc);
    // The bullet paragraph is written as a bullet only.
    EXPECT_EQ(w.find("\\pndec", w.find("Eins")), std::string::npos) << w;
    QTextDocument again;
    ASSERT_TRUE(Load(w, again));
    EXPECT_EQ(Items(again), Items(doc));
}

// Bulleted paragraphs inside a table cell form one list, also the cell's
// last one (ended by the cell mark, by a row mark alone or by the end of
// the text).
TEST(RtfListTable, BulletsInATableCellFormOneList) {
    const std::string bullet = "{\\pntext\\f1\\'B7\\tab}";
    const std::string item = "\\pard\\intbl" + bullet + "{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720 ";
    const std::string head = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}\\trowd\\cellx4500\\cellx9000"
                             "\\pard\\intbl a\\cell ";
    for (const std::string& tail :
         {std::string("\\cell\\row\\pard\\par}"), std::string("\\row\\pard\\par}"), std::string("}")}) {
        QTextDocument doc;
        ASSERT_TRUE(Load(head + item + "Eins\\par " + bullet + "Zwei\\par " + bullet + "Drei" + tail, doc)) << tail;
        std::vector<QTextList*> lists;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            if (b.text().startsWith(QStringLiteral("Eins")) || b.text() == QStringLiteral("Zwei") ||
                b.text() == QStringLiteral("Drei"))
                lists.push_back(b.textList());
        ASSERT_EQ(lists.size(), 3u) << tail;
        EXPECT_NE(lists[0], nullptr) << tail;
        EXPECT_EQ(lists[1], lists[0]) << tail;
        EXPECT_EQ(lists[2], lists[0]) << tail;
        // And written so that it reads back the same.
        const std::string once = WriteRtf(doc);
        QTextDocument again;
        ASSERT_TRUE(Load(once, again));
        EXPECT_EQ(WriteRtf(again), once) << tail;
    }
}

TEST(RtfHiddenText, KeptOutOfTheVisibleTextAndWrittenBack) {
    struct Case {
        const char* name;
        const char* body;
        const char* plain;
        std::vector<const char*> written;
    };
    const std::vector<Case> cases = {
        {"inside a paragraph", "a{\\v verborgen}b\\par}", "ab", {"a{\\v verborgen}b"}},
        {"switched off by \\v0", "a\\v x\\v0 b\\par}", "ab", {"{\\v x}"}},
        {"at the end of a paragraph", "a{\\v Ende}\\par b\\par}", "a\nb", {"a{\\v Ende}"}},
        {"a paragraph of hidden text only", "a\\par{\\v nur}\\par b\\par}", "a\n\nb", {"{\\v nur}"}},
        {"the last paragraph, of hidden text only", "a\\par{\\v nur}\\par}", "a\n", {"{\\v nur}"}},
        {"a hidden paragraph mark", "a{\\v x\\par y}b\\par}", "ab", {"{\\v x\\par y}b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument doc;
        ASSERT_TRUE(Load(std::string("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 ") + c.body, doc));
        EXPECT_EQ(doc.toPlainText().toStdString(), c.plain);
        const std::string w = WriteRtf(doc);
        for (const char* part : c.written) EXPECT_NE(w.find(part), std::string::npos) << part << " in " << w;
        QTextDocument again;
        ASSERT_TRUE(Load(w, again));
        EXPECT_EQ(again.toPlainText().toStdString(), c.plain);
        EXPECT_EQ(WriteRtf(again), w);
    }
}

TEST(RtfHiddenText, TypingAfterTheCarrierWritesItOnce) {
    QTextDocument doc;
    ASSERT_TRUE(Load("{\\rtf1\\ansi a{\\v H}bc\\par}", doc));
    QTextCursor c(&doc);
    c.setPosition(2);  // after the b that carries the hidden text
    c.insertText(QStringLiteral("XY"));
    const std::string w = WriteRtf(doc);
    EXPECT_NE(w.find("a{\\v H}bXYc"), std::string::npos) << w;
    EXPECT_EQ(w.find("{\\v H}", w.find("{\\v H}") + 1), std::string::npos) << w;
}

TEST(RtfStyles, StylesheetAndStyleNumbersSurviveTheRoundTrip) {
    const std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f3 Times New Roman;}}"
        "{\\stylesheet{\\fs24\\snext0 Normal;}{\\s1\\sbasedon0\\snext2\\b\\fs36\\f3\\keepn Heading 1;}"
        "{\\s2\\sbasedon0\\snext2\\sa120 Text body;}{\\*\\cs15\\additive\\ul\\cf2 Internet Link;}"
        "{\\*\\ts11\\tsrowd Table Normal;}{\\s3 \\'dcberschrift\\u8364?;}}"
        "\\pard\\s1\\b\\fs36 Titel\\par\\pard\\s2\\sa120 Text {\\cs15\\ul Link} weiter\\par}";
    QTextDocument doc;
    ASSERT_TRUE(Load(rtf, doc));
    EXPECT_EQ(doc.begin().blockFormat().intProperty(kParaStyleProperty), 1);
    EXPECT_EQ(doc.begin().next().blockFormat().intProperty(kParaStyleProperty), 2);
    const std::string w = WriteRtf(doc);
    for (const char* part : {"{\\stylesheet", "{\\fs24\\snext0 Normal;}", "{\\s1\\b\\fs36\\keepn\\f1\\sbasedon0\\snext2 Heading 1;}",
                             "{\\*\\cs15\\additive\\ul Internet Link;}", "\\'dcberschrift\\u8364?;}", "\\pard\\s1",
                             "\\pard\\s2", "\\cs15"})
        EXPECT_NE(w.find(part), std::string::npos) << part << " in " << w;
    EXPECT_EQ(w.find("Table Normal"), std::string::npos) << w;
    EXPECT_NE(w.find("{\\f1\\fnil\\fcharset0 Times New Roman;}"), std::string::npos) << w;
    QTextDocument again;
    ASSERT_TRUE(Load(w, again));
    EXPECT_EQ(WriteRtf(again), w);
    // A document loaded afterwards has no styles of the one before.
    QTextDocument plain;
    ASSERT_TRUE(Load(rtf, plain));
    ASSERT_TRUE(LoadRtf("{\\rtf1\\ansi x\\par}", plain));
    EXPECT_EQ(WriteRtf(plain).find("\\stylesheet"), std::string::npos);
}

TEST(RtfListTable, HostileListTablesStayBounded) {
    std::vector<std::pair<std::string, std::string>> inputs;
    std::string many = "{\\rtf1{\\*\\listtable";
    for (int i = 0; i < 3000; ++i) many += "{\\list{\\listlevel\\levelnfc0}\\listid" + std::to_string(i) + "}";
    many += "}{\\*\\listoverridetable";
    for (int i = 0; i < 5000; ++i)
        many += "{\\listoverride\\listid" + std::to_string(i % 3000) + "\\ls" + std::to_string(i + 1) + "}";
    many += "}\\ls4999 x\\par\\ls2500 y\\par}";
    inputs.emplace_back("many lists and overrides", many);
    std::string levels = "{\\rtf1{\\*\\listtable{\\list";
    for (int i = 0; i < 50; ++i) levels += "{\\listlevel\\levelnfc2\\levelstartat-5{\\leveltext\\'ff\\'00\\'09;}}";
    levels += "\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\ls1\\ilvl2147483647 x\\par}";
    inputs.emplace_back("fifty levels, absurd level and text", levels);
    std::string deep = "{\\rtf1{\\*\\listtable{\\list";
    for (int i = 0; i < 390; ++i) deep += "{\\listlevel";
    deep += "\\levelnfc0";
    for (int i = 0; i < 390; ++i) deep += "}";
    deep += "\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\ls1 x\\par}";
    inputs.emplace_back("deep listlevel nesting", deep);
    inputs.emplace_back("too deep", "{\\rtf1{\\*\\listtable" + std::string(2000, '{') + "}}");
    inputs.emplace_back("truncated list table", "{\\rtf1{\\*\\listtable{\\list{\\listlevel{\\leveltext\\'05");
    inputs.emplace_back("truncated override", "{\\rtf1{\\*\\listoverridetable{\\listoverride\\listid1\\ls");
    inputs.emplace_back("ls pointing nowhere", "{\\rtf1\\ls-7\\ilvl-3 a\\par\\ls2147483647 b\\par}");
    std::string hidden = "{\\rtf1 a{\\v ";
    hidden += std::string(3 << 20, 'h');
    hidden += "}b\\par}";
    inputs.emplace_back("a lot of hidden text", hidden);
    std::string styles = "{\\rtf1{\\stylesheet";
    for (int i = 0; i < 5000; ++i) styles += "{\\s" + std::to_string(i) + "\\b\\b\\b\\b " + std::string(300, 'n') + ";}";
    styles += "}\\s2147483647 x\\par}";
    inputs.emplace_back("huge stylesheet", styles);
    for (const auto& [name, rtf] : inputs) {
        SCOPED_TRACE(name);
        QTextDocument doc;
        std::string error;
        if (!Load(rtf, doc)) continue;  // refused with an error is fine
        const std::string w = WriteRtf(doc);
        EXPECT_LT(w.size(), 4u << 20);
        QTextDocument again;
        EXPECT_TRUE(Load(w, again));
        EXPECT_EQ(WriteRtf(again), w);
    }
}

} // namespace
} // namespace zt::textqt
