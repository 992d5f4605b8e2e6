// Every RTF file of the test data through load -> save -> load: the document
// structure (paragraphs, lists, tables, indents, spacing, character formats,
// styles, hidden text) and the HTML the site export makes of the file stay
// the same.
#include "text_qt/rtftestutil.h"
#include "text/qt/rtfdocument.h"
#include "text/qt/rtfproperties.h"

#include "exchange/rtfhtml/rtfconverter.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace zt::textqt {
namespace {

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

using testutil::Load;

// One line per paragraph with everything the comparison looks at.
std::vector<std::string> Structure(const QTextDocument& doc) {
    std::vector<std::string> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        std::ostringstream s;
        s << '"' << b.text().toStdString() << '"';
        const QTextBlockFormat f = b.blockFormat();
        const ParaIndents ind = GetIndents(f);
        s << " li" << UnitsToTwips(f.leftMargin()) << " fi" << -ind.offset << " screen-fi" << UnitsToTwips(f.textIndent())
          << " ri"
          << UnitsToTwips(f.rightMargin()) << " sb" << UnitsToTwips(f.topMargin()) << " sa"
          << UnitsToTwips(f.bottomMargin()) << " lh" << f.lineHeightType() << '/' << f.lineHeight() << " al"
          << int(f.alignment() & Qt::AlignHorizontal_Mask) << " s" << f.intProperty(kParaStyleProperty);
        if (QTextList* l = b.textList()) {
            const QTextListFormat lf = l->format();
            s << " list(style " << lf.style() << " level " << lf.intProperty(kListLevelProperty) << " start "
              << (lf.hasProperty(kListStartProperty) ? lf.intProperty(kListStartProperty) : 1) << " item "
              << l->itemNumber(b) << " '" << l->itemText(b).toStdString() << "')";
        }
        QTextCursor c(b);
        if (QTextTable* t = c.currentTable()) {
            const QTextTableCell cell = t->cellAt(b.position());
            s << " table(" << t->rows() << 'x' << t->columns() << " at " << cell.row() << ',' << cell.column()
              << " span " << cell.rowSpan() << 'x' << cell.columnSpan() << ')';
        }
        if (f.hasProperty(kHiddenBlockProperty))
            s << " hidden{" << f.stringProperty(kHiddenBlockProperty).toStdString() << '}';
        // Character runs: adjacent fragments of equal bold, italic and size
        // count as one, since the writer may split or join fragments.
        std::string last;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat cf = frag.charFormat();
            std::ostringstream r;
            r << (cf.fontWeight() > QFont::Medium ? 'B' : '-') << (cf.fontItalic() ? 'I' : '-')
              << cf.fontPointSize() << " cs" << cf.intProperty(kCharStyleProperty);
            if (r.str() != last) s << " [" << r.str() << ']';
            last = r.str();
            for (int p : {int(kHiddenBeforeProperty), int(kHiddenAfterProperty)})
                if (cf.hasProperty(p)) s << " hidden{" << cf.stringProperty(p).toStdString() << '}';
        }
        out.push_back(s.str());
    }
    return out;
}

// The HTML's text and its structure tags (lists, tables, paragraphs) in
// order. Font faces, sizes and the order of character tags depend on how the
// writer numbers its fonts and splits runs, which is not the content.
std::string HtmlShape(const std::string& html) {
    std::string out;
    static const std::regex kTag("<(/?)(UL|OL|LI|TABLE|TR|TD|P|BR)\\b[^>]*>|<[^>]*>", std::regex::icase);
    std::string text;
    auto flushText = [&] {
        // Whitespace between tags is layout of the HTML source only.
        std::string t;
        bool space = false;
        for (char ch : text) {
            if (ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t') {
                space = true;
                continue;
            }
            if (space && !t.empty()) t += ' ';
            space = false;
            t += ch;
        }
        if (!t.empty()) out += t;
        text.clear();
    };
    auto begin = std::sregex_iterator(html.begin(), html.end(), kTag);
    size_t pos = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        text += html.substr(pos, size_t(it->position()) - pos);
        pos = size_t(it->position() + it->length());
        if ((*it)[2].matched) {
            flushText();
            out += "<" + (*it)[1].str() + (*it)[2].str() + ">";
        }
    }
    text += html.substr(pos);
    flushText();
    // The converter ends a paragraph at \pard; paragraphs of one format
    // written without \pard between them become lines of one paragraph. A
    // paragraph break is the same content either way.
    // The same holds for list items: each \pard opens a list of its own.
    auto replaceAll = [&out](const std::string& from, const std::string& to) {
        for (size_t at; (at = out.find(from)) != std::string::npos;) out.replace(at, from.size(), to);
    };
    replaceAll("</P><P>", "<BR>");
    replaceAll("</LI></UL><UL><LI>", "</LI><LI>");
    // A table row with fewer cells than the table's widest row comes back
    // filled up with empty cells at its end: a QTextTable has one column
    // count for all rows. The cells' text is the same.
    replaceAll("<TD><TR>", "<TR>");
    replaceAll("<TD></TABLE>", "</TABLE>");
    return out;
}

std::string Html(const std::string& rtf) {
    RtfConverter c;
    std::string html;
    EXPECT_TRUE(c.RtfToHtml(rtf, html)) << c.LastMessage();
    const size_t b = html.find("<BODY");
    const size_t e = html.rfind("</BODY>");
    return b == std::string::npos || e == std::string::npos ? html : html.substr(b, e - b);
}

std::vector<std::filesystem::path> Fixtures() {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(std::string(ZT_TEST_DATA) + "/rtf"))
        if (e.path().extension() == ".rtf") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(RtfRoundTrip, EveryFixtureKeepsItsStructureAndItsHtml) {
    const auto files = Fixtures();
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const std::string original = ReadFile(path);
        QTextDocument first;
        ASSERT_TRUE(Load(original, first));
        const std::string written = WriteRtf(first);
        QTextDocument second;
        ASSERT_TRUE(Load(written, second));
        EXPECT_EQ(Structure(second), Structure(first)) << written;
        // Writing again gives the same bytes: nothing drifts on every save.
        EXPECT_EQ(WriteRtf(second), written);
        EXPECT_EQ(HtmlShape(Html(written)), HtmlShape(Html(original))) << written;
    }
}

// The seeds of the reader's fuzz target hold what the invariants of that
// target demand: the written text loads again and writes the same bytes, and
// pasting the seed into a text stays in bounds.
TEST(RtfRoundTrip, FuzzSeedsWriteStably) {
    const std::filesystem::path seeds = std::filesystem::path(ZT_TEST_DATA) / ".." / ".." / "fuzz" / "corpus" / "rtfqt";
    if (!std::filesystem::is_directory(seeds)) GTEST_SKIP() << "no seed corpus at " << seeds;
    for (const auto& e : std::filesystem::directory_iterator(seeds)) {
        SCOPED_TRACE(e.path().filename().string());
        const std::string input = ReadFile(e.path());
        QTextDocument doc;
        if (!Load(input, doc)) continue;
        const std::string out = WriteRtf(doc);
        QTextDocument again;
        ASSERT_TRUE(Load(out, again));
        EXPECT_EQ(WriteRtf(again), out);
        QTextCursor c(&again);
        c.setPosition(again.characterCount() / 2);
        EXPECT_TRUE(InsertRtf(input, c));
    }
}

} // namespace
} // namespace zt::textqt
