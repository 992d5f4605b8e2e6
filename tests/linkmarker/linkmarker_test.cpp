// Automatic links: where they are found, how they show on a document, and that
// they never become part of the document.
#include "text/qt/linkmarker.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <chrono>
#include <tuple>

using zt::textqt::FindLinks;
using zt::textqt::IsFollowable;
using zt::textqt::LinkTextAround;

namespace {

QStringList Links(const QString& text) {
    QStringList out;
    for (const auto& r : FindLinks(text)) out << text.mid(r.start, r.length);
    return out;
}

struct FindCase {
    const char16_t* text;
    QStringList links;
};

TEST(FindLinks, Cases) {
    const FindCase cases[] = {
        {u"see http://x.de, then", {"http://x.de"}},
        {u"xhttp://x.de", {}},
        {u"http://", {}},
        {u"http:// x", {}},
        {u"http://,", {}},
        {u"http://x", {"http://x"}},
        {u"(http://x.de/a.b)", {"http://x.de/a.b)"}},
        {u"end http://x.de/a.b.", {"http://x.de/a.b."}},
        {u"<http://x.de>", {"http://x.de"}},
        {u"\"www.x.de\" and 'www.y.de'", {"www.x.de", "www.y.de"}},
        {u"[zt:/Notes(1)]", {"zt:/Notes(1)"}},
        {u"{ztf:/P/a%20b.txt}", {"ztf:/P/a%20b.txt"}},
        {u"HTTP://x.de Www.x.de ZT:/a", {}},
        {u"http://host:8080/", {"http://host"}},
        {u"a\thttps://s.de\tb", {"https://s.de"}},
        {u"mailto:a@b.de;x", {"mailto:a@b.de;x"}},
        {u"file:/etc/hosts file:/", {"file:/etc/hosts"}},
        {u"zt: ztf: zt:a ztf:b", {"zt:a", "ztf:b"}},
        {u"http://a(www.b", {"http://a(www.b"}},
        {u"http://a www.b", {"http://a", "www.b"}},
        {u"http://a\u2028www.b\u2029zt:c", {"http://a", "www.b", "zt:c"}},
        {u"http://a\u00A0b http://m\u00FCller.de", {"http://a\u00A0b", "http://m\u00FCller.de"}},
        {u"zt:/K%C3%A4se/Kap%2E2", {"zt:/K%C3%A4se/Kap%2E2"}},
        {u"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Links(QString::fromUtf16(c.text)), c.links) << QString::fromUtf16(c.text).toStdString();
}

TEST(FindLinks, EveryEndDelimiterEndsALink) {
    const char16_t ends[] = u" \x0B\r\n\t\"',:*[{}]`\u00B4^\u00B0<>\u2028\u2029";
    for (const char16_t* e = ends; *e; ++e) {
        const QString text = QStringLiteral("http://a") + QChar(*e) + QStringLiteral("b");
        EXPECT_EQ(Links(text), QStringList{"http://a"}) << int(*e);
    }
    for (QChar other : QStringLiteral(").;/-?!=&#%\u20AC|~")) {
        const QString text = QStringLiteral("http://a") + other + QStringLiteral("b");
        EXPECT_EQ(Links(text), QStringList{text}) << int(other.unicode());
    }
}

TEST(FindLinks, OnlyStartDelimitersStartALink) {
    for (QChar s : QStringLiteral(" \x0B\r\n\t\"'{[(<\u2028\u2029")) {
        const QString text = QStringLiteral("x") + s + QStringLiteral("www.a");
        EXPECT_EQ(Links(text), QStringList{"www.a"}) << int(s.unicode());
    }
    for (QChar other : QStringLiteral("a1).,:;/-_>]}*")) {
        const QString text = QStringLiteral("x") + other + QStringLiteral("www.a");
        EXPECT_EQ(Links(text), QStringList{}) << int(other.unicode());
    }
}

TEST(FindLinks, EverySchemeOfTheTable) {
    ASSERT_EQ(zt::textqt::LinkSchemes().size(), 14);
    for (const QString& scheme : zt::textqt::LinkSchemes()) {
        EXPECT_EQ(Links("(" + scheme + "x)"), QStringList{scheme + "x)"}) << scheme.toStdString();
        EXPECT_EQ(Links(scheme), QStringList{}) << scheme.toStdString();
    }
}

// A plain reading of the rules: every character covered by some link is
// marked; runs of marked characters are the links.
QList<zt::textqt::LinkRange> ReferenceLinks(const QString& text) {
    std::vector<bool> marked(size_t(text.size()), false);
    for (const QString& scheme : zt::textqt::LinkSchemes()) {
        for (int pos = 0; pos + scheme.size() <= text.size(); ++pos) {
            if (QStringView(text).mid(pos, scheme.size()) != scheme) continue;
            if (pos > 0 && !zt::textqt::IsLinkStartDelimiter(text[pos - 1])) continue;
            int end = pos + int(scheme.size());
            while (end < text.size() && !zt::textqt::IsLinkEndDelimiter(text[end])) ++end;
            if (end == pos + scheme.size()) continue;
            for (int i = pos; i < end; ++i) marked[size_t(i)] = true;
        }
    }
    QList<zt::textqt::LinkRange> out;
    for (int i = 0; i < text.size(); ++i) {
        if (!marked[size_t(i)]) continue;
        int j = i;
        while (j < text.size() && marked[size_t(j)]) ++j;
        out.push_back({i, j - i});
        i = j;
    }
    return out;
}

TEST(FindLinks, AgreesWithAPlainReadingOnRandomTexts) {
    // Pieces that make schemes, delimiters and near misses likely.
    const QStringList pieces = {"http://", "www.", "zt:", "ztf:", "file:/", "mailto:", "ht", "tp://", "z", "t:",
                                " ", "(", ")", ".", ",", ":", "\"", "'", "<", ">", "[", "]", "a", "\u00B4",
                                "\u2029", "\t", "/"};
    uint32_t seed = 12345;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 3000; ++round) {
        QString text;
        const int n = int(next() % 12);
        for (int i = 0; i < n; ++i) text += pieces[int(next() % pieces.size())];
        ASSERT_EQ(FindLinks(text), ReferenceLinks(text)) << text.toStdString();
    }
}

TEST(FindLinks, AMegabyteOfSchemesIsQuick) {
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(FindLinks(QStringLiteral("(zt:").repeated(250000)).size(), 1);
    EXPECT_EQ(FindLinks(QStringLiteral("(http://a ").repeated(100000)).size(), 100000);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

TEST(IsFollowable, Cases) {
    const std::pair<const char*, bool> cases[] = {
        {"zt:/x", true},   {"zt:", false},       {"zt:,x", false},  {"ZT:/x", false}, {"www.x", true},
        {"xhttp://a", false}, {"mailto:a", true}, {"", false},       {"ztf:/P/f", true}, {"Notes", false},
        {"http://:x", false}, {"https://a)", true},
    };
    for (const auto& [text, followable] : cases) EXPECT_EQ(IsFollowable(QString::fromUtf8(text)), followable) << text;
}

struct AroundCase {
    const char* text;
    int anchor, position; // equal: no selection
    const char* expected;
};

TEST(LinkTextAround, Cases) {
    const AroundCase cases[] = {
        {"see zt:/Notes now", 9, 9, "zt:/Notes"},
        {"see zt:/Notes now", 13, 13, "zt:/Notes"},  // right after the link
        {"see zt:/Notes now", 4, 4, "zt:/Notes"},    // right before it
        {"a  b", 2, 2, ""},
        {"x http://y z", 1, 11, "http://y"},         // selection, trimmed
        {"first\nzt:x", 6, 6, "zt:x"},                // not into the paragraph before
        {"a\tzt:/x\tb", 4, 4, "zt:/x"},
        {"(www.x.de)", 3, 3, "(www.x.de)"},
        {"", 0, 0, ""},
    };
    for (const auto& c : cases) {
        QTextDocument doc(QString::fromUtf8(c.text));
        QTextCursor cursor(&doc);
        cursor.setPosition(c.anchor);
        cursor.setPosition(c.position, QTextCursor::KeepAnchor);
        EXPECT_EQ(LinkTextAround(cursor).toStdString(), c.expected) << c.text << " @" << c.position;
    }
}

// The overlay ranges of each block that carry the link look.
QList<QPair<int, int>> MarkedRanges(const QTextDocument& doc) {
    QList<QPair<int, int>> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (const auto& f : b.layout()->formats())
            if (f.format.fontUnderline() && f.format.foreground().color() == QColor(0, 0, 255))
                out.append({b.position() + f.start, f.length});
    return out;
}

bool DocumentHasUnderline(const QTextDocument& doc) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().fontUnderline()) return true;
    return false;
}

TEST(LinkMarker, MarksWithoutTouchingTheDocument) {
    QTextDocument doc;
    doc.setPlainText("Go to http://x.de now\nsecond www.y.de");
    doc.setModified(false);
    doc.clearUndoRedoStacks();
    CZTLinkMarker marker(&doc);
    EXPECT_EQ(MarkedRanges(doc), (QList<QPair<int, int>>{{6, 11}, {29, 8}}));
    EXPECT_FALSE(doc.isModified());
    EXPECT_FALSE(doc.isUndoAvailable());
    EXPECT_FALSE(DocumentHasUnderline(doc));
    EXPECT_FALSE(doc.toHtml().contains("underline"));

    EXPECT_EQ(marker.LinkAt(6), "http://x.de");
    EXPECT_EQ(marker.LinkAt(16), "http://x.de");
    EXPECT_EQ(marker.LinkAt(17), "");
    EXPECT_EQ(marker.LinkAt(5), "");
    EXPECT_EQ(marker.LinkAt(36), "www.y.de");
    EXPECT_EQ(marker.LinkAt(-1), "");
    EXPECT_EQ(marker.LinkAt(10000), "");
    int start = 0, length = 0;
    ASSERT_TRUE(marker.LinkRangeAt(30, start, length));
    EXPECT_EQ(start, 29);
    EXPECT_EQ(length, 8);
}

// The undo state of a document, to compare with a twin that has no marker.
std::tuple<QString, int, int, bool> UndoState(const QTextDocument& doc) {
    return {doc.toPlainText(), doc.availableUndoSteps(), doc.availableRedoSteps(), doc.isModified()};
}

TEST(LinkMarker, FollowsEditsAndUndoLikeAnUnmarkedTwin) {
    QTextDocument doc, twin;
    for (QTextDocument* d : {&doc, &twin}) {
        d->setPlainText("plain\nzt:/a");
        d->setModified(false);
        d->clearUndoRedoStacks();
        d->documentLayout();
    }
    CZTLinkMarker marker(&doc);
    ASSERT_EQ(MarkedRanges(doc).size(), 1);

    auto edit = [&](int position, const QString& text) {
        for (QTextDocument* d : {&doc, &twin}) {
            QTextCursor cursor(d);
            cursor.setPosition(position);
            cursor.insertText(text);
        }
        EXPECT_EQ(UndoState(doc), UndoState(twin));
    };
    edit(5, " www.b");  // the edited block gains a link
    EXPECT_EQ(MarkedRanges(doc), (QList<QPair<int, int>>{{6, 5}, {12, 5}}));
    edit(10, ",");      // "www.,b": the scheme has nothing after it
    EXPECT_EQ(MarkedRanges(doc), (QList<QPair<int, int>>{{13, 5}}));
    marker.rehighlight();
    EXPECT_EQ(UndoState(doc), UndoState(twin));

    for (int i = 0; i < 2; ++i) {
        doc.undo();
        twin.undo();
        EXPECT_EQ(UndoState(doc), UndoState(twin));
    }
    EXPECT_EQ(doc.toPlainText(), "plain\nzt:/a");
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(MarkedRanges(doc), (QList<QPair<int, int>>{{6, 5}}));
    doc.redo();
    twin.redo();
    EXPECT_EQ(UndoState(doc), UndoState(twin));
    EXPECT_EQ(MarkedRanges(doc), (QList<QPair<int, int>>{{6, 5}, {12, 5}}));
}

TEST(LinkMarker, SettingAndSuspension) {
    QTextDocument doc("a zt:/x b"), twin("a zt:/x b");
    CZTLinkMarker marker(&doc, false);
    EXPECT_TRUE(MarkedRanges(doc).isEmpty());
    EXPECT_EQ(marker.LinkAt(3), "");

    marker.SetEnabled(true);
    EXPECT_EQ(MarkedRanges(doc).size(), 1);
    EXPECT_EQ(marker.LinkAt(3), "zt:/x");
    {
        CZTLinkMarker::Suspension outer(&marker);
        CZTLinkMarker::Suspension inner(&marker);
        EXPECT_TRUE(MarkedRanges(doc).isEmpty());
        QTextCursor(&doc).insertText("www.q ");
        QTextCursor(&twin).insertText("www.q ");
        EXPECT_TRUE(MarkedRanges(doc).isEmpty());
        EXPECT_EQ(marker.LinkAt(3), "");
    }
    EXPECT_FALSE(marker.IsSuspended());
    EXPECT_EQ(MarkedRanges(doc).size(), 2);
    EXPECT_EQ(UndoState(doc), UndoState(twin));

    marker.SetEnabled(false);
    EXPECT_TRUE(MarkedRanges(doc).isEmpty());
    EXPECT_EQ(UndoState(doc), UndoState(twin));
}

TEST(LinkMarker, TheLinkUnderAPoint) {
    QTextDocument doc("ab zt:/x cd");
    doc.setTextWidth(600);
    CZTLinkMarker marker(&doc);
    const QTextBlock block = doc.begin();
    const QTextLine line = block.layout()->lineAt(0);
    const QPointF origin = block.layout()->position();
    const qreal y = origin.y() + line.y() + line.height() / 2;
    auto middleOf = [&](int i) { return QPointF(origin.x() + (line.cursorToX(i) + line.cursorToX(i + 1)) / 2, y); };
    EXPECT_EQ(marker.LinkAtPoint(middleOf(1)), "");
    EXPECT_EQ(marker.LinkAtPoint(middleOf(2)), "");
    EXPECT_EQ(marker.LinkAtPoint(middleOf(3)), "zt:/x");
    EXPECT_EQ(marker.LinkAtPoint(middleOf(7)), "zt:/x");
    EXPECT_EQ(marker.LinkAtPoint(middleOf(8)), "");
    EXPECT_EQ(marker.LinkAtPoint(QPointF(origin.x() + line.naturalTextWidth() + 50, y)), "");
    marker.SetEnabled(false);
    EXPECT_EQ(marker.LinkAtPoint(middleOf(3)), "");
}

TEST(LinkMarker, ALoadedPageIsMarkedAndStaysUnmodified) {
    QTextDocument doc;
    CZTLinkMarker marker(&doc);
    int modified = 0;
    QObject::connect(&doc, &QTextDocument::modificationChanged, [&] { ++modified; });
    doc.setPlainText("x ftp://f.de y");  // what loading a page does
    doc.setModified(false);
    modified = 0;
    EXPECT_EQ(MarkedRanges(doc), (QList<QPair<int, int>>{{2, 10}}));
    marker.rehighlight();
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(modified, 0);
}

// A page of a megabyte with two links in every line: whole-text passes
// must cost one layout, not one per block (which takes minutes).
TEST(LinkMarker, LargePagesAreMarkedInOnePass) {
    const QString line = QStringLiteral("Eine Zeile mit http://www.example.de/pfad und zt:/Seite/Unterseite, Text.\n");
    const QString text = line.repeated(1024 * 1024 / line.size());
    const auto t0 = std::chrono::steady_clock::now();
    QTextDocument doc;
    CZTLinkMarker marker(&doc);
    {
        CZTLinkMarker::Suspension loading(&marker);
        doc.setPlainText(text);
    }
    marker.rehighlight();
    marker.SetEnabled(false);
    marker.SetEnabled(true);
    QTextDocument other;
    other.setPlainText(text);
    CZTLinkMarker late(&other);  // attached to a full document
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    const int blocks = doc.blockCount();
    EXPECT_EQ(MarkedRanges(doc).size(), 2 * (blocks - 1));
    EXPECT_EQ(MarkedRanges(other).size(), 2 * (blocks - 1));
    QTextCursor(&other).insertText("www.x ");
    EXPECT_EQ(MarkedRanges(other).size(), 2 * (blocks - 1) + 1);
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
