#include "base/cp1252.h"
#include "base/messages.h"
#include "core/document.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "search/hitlist.h"
#include "search/rtfreplace.h"
#include "search/searcher.h"
#include "search/textcache.h"
#include "support/scripted_prompter.h"

#include <gtest/gtest.h>

#include <map>

namespace zt {
namespace {

using Kind = CZTSearchHit::Kind;

std::string Rtf(std::string_view body) {
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fcharset161 Greek;}}\\f0 " +
           std::string(body) + "}";
}

std::string Plain(std::string_view rtf) {
    RtfConverter c;
    return PageSearchText(rtf, c);
}

struct Fixture : ::testing::Test {
    test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    std::shared_ptr<CZTSearchTextCache> cache = std::make_shared<CZTSearchTextCache>();

    void SetUp() override { doc.New(); }

    CZTPageNode* Page(CZTPageNode* parent, const std::string& title, std::string_view body,
                      std::vector<std::string> files = {}) {
        CZTPageNode* n = doc.AddPage(parent, title);
        if (!body.empty()) doc.SetPageText(n, Rtf(body));
        for (const std::string& f : files) {
            CZTFileRecord r = CZTFileRecord::New(f, "tester");
            r.SetContent("inhalt", "tester");
            doc.AttachFile(n, r);
        }
        return n;
    }

    std::vector<CZTSearchHit> Search(const std::string& text, CZTSearchIn in = CZTSearchIn::All,
                                     CZTSearchScope scope = CZTSearchScope::Document, const CZTPageNode* current = nullptr,
                                     bool matchCase = false, bool word = false) {
        CZTSearchOptions o;
        o.text = text;
        o.in = in;
        o.scope = scope;
        o.matchCase = matchCase;
        o.wholeWord = word;
        return RunSearch(doc, current, o, cache, 2, true);
    }

    // Runs a search into a hit list as the dialog does.
    void Fill(CZTHitList& list, const std::string& text, CZTSearchIn in = CZTSearchIn::All,
              CZTSearchScope scope = CZTSearchScope::Document, const CZTPageNode* current = nullptr) {
        CZTSearchOptions o;
        o.text = text;
        o.in = in;
        o.scope = scope;
        list.SetCache(cache);
        list.Begin(o, current);
        CZTSearchCounters c;
        auto hits = RunSearch(doc, current, o, cache, 2, false, &c);
        list.Append(std::move(hits), c);
    }

    std::vector<size_t> AllRows(const CZTHitList& list) {
        std::vector<size_t> r;
        for (size_t i = 0; i < list.Size(); ++i) r.push_back(i);
        return r;
    }
};

TEST_F(Fixture, FindsHitsInTitlesTextsAndFileNames) {
    CZTPageNode* a = Page(nullptr, "Projekt Alpha", "Das Projekt\\par beginnt. Projekt!", {"projekt.txt", "x.csv"});
    Page(a, "Kind", "kein Treffer", {"Projektplan.doc"});
    auto hits = Search("projekt");
    struct Want {
        Kind kind;
        int32_t offset, line, column;
        const char* file;
    };
    const Want want[] = {
        {Kind::Title, 0, 0, 0, ""},     {Kind::Text, 4, 1, 4, ""},      {Kind::Text, 21, 2, 9, ""},
        {Kind::File, 0, 0, 0, "projekt.txt"}, {Kind::File, 0, 0, 0, "Projektplan.doc"},
    };
    ASSERT_EQ(hits.size(), std::size(want));
    for (size_t i = 0; i < hits.size(); ++i) {
        EXPECT_EQ(hits[i].kind, want[i].kind) << i;
        EXPECT_EQ(hits[i].offset, want[i].offset) << i;
        EXPECT_EQ(hits[i].line, want[i].line) << i;
        EXPECT_EQ(hits[i].column, want[i].column) << i;
        EXPECT_EQ(hits[i].fileName, want[i].file) << i;
    }
    EXPECT_EQ(hits[0].path, "/Projekt Alpha");
    EXPECT_EQ(hits[4].path, "/Projekt Alpha/Kind");
    EXPECT_EQ(hits[1].context, "Das Projekt");
}

TEST_F(Fixture, SearchInEntriesAndScopes) {
    CZTPageNode* a = Page(nullptr, "wort", "wort", {"wort"});
    CZTPageNode* b = Page(a, "wort", "wort", {"wort"});
    Page(nullptr, "wort", "wort", {"wort"});
    struct Row {
        CZTSearchIn in;
        CZTSearchScope scope;
        const CZTPageNode* current;
        size_t hits;
    };
    const Row rows[] = {
        {CZTSearchIn::All, CZTSearchScope::Document, nullptr, 9},
        {CZTSearchIn::Tree, CZTSearchScope::Document, nullptr, 3},
        {CZTSearchIn::Text, CZTSearchScope::Document, nullptr, 3},
        {CZTSearchIn::Files, CZTSearchScope::Document, nullptr, 3},
        {CZTSearchIn::TreeText, CZTSearchScope::Document, nullptr, 6},
        {CZTSearchIn::TreeFiles, CZTSearchScope::Document, nullptr, 6},
        {CZTSearchIn::TextFiles, CZTSearchScope::Document, nullptr, 6},
        {CZTSearchIn::All, CZTSearchScope::Subtree, a, 6},
        {CZTSearchIn::All, CZTSearchScope::Subtree, b, 3},
        {CZTSearchIn::All, CZTSearchScope::Page, a, 3},
        {CZTSearchIn::All, CZTSearchScope::Subtree, nullptr, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Search("wort", r.in, r.scope, r.current).size(), r.hits) << int(r.in) << " " << int(r.scope);
}

TEST_F(Fixture, CaseAndWholeWordInTexts) {
    Page(nullptr, "p", "ein Test ist kein Tests und kein Test, aber TEST test");
    struct Row {
        bool matchCase, word;
        size_t hits;
    };
    for (const Row& r : {Row{false, false, 5}, Row{true, false, 3}, Row{false, true, 3}, Row{true, true, 1}})
        EXPECT_EQ(Search("Test", CZTSearchIn::Text, CZTSearchScope::Document, nullptr, r.matchCase, r.word).size(),
                  r.hits)
            << r.matchCase << r.word;
}

// Hits in texts written with escapes and formatting, and their replacement.
struct ReplaceRow {
    const char* body;
    const char* search;
    const char* replacement;
    const char* plainAfter;
    std::vector<const char*> kept; // pieces of RTF that must survive
};

TEST_F(Fixture, ReplacesOnlyTheHitsCharactersAndKeepsTheFormat) {
    const ReplaceRow rows[] = {
        {"Ein Test hier", "Test", "Versuch", "Ein Versuch hier", {}},
        {"vor {\\b fett} Te{\\b s}t und {\\i kursiv}", "Test", "Probe", "vor fett Probe und kursiv",
         {"{\\b fett}", "{\\i kursiv}"}},
        {"Te\\b s\\b0 t danach \\b fett\\b0", "Test", "Probe", "Probe danach fett", {"\\b fett\\b0"}},
        {"\\'c4rger und \\'e4rger", "\xe4rger", "Freude", "Freude und Freude", {}},
        {"gro\\u223?e Stra\\u223?e", "stra\xdf" "e", "Gasse", "gro\xdf" "e Gasse", {"gro\\u223?e"}},
        {"M\\'fcller", "m\xfcller", "M\xfcller-L\xfc" "denscheid", "M\xfcller-L\xfc" "denscheid", {}},
        {"a\\b\\'e4b", "\xe4", "x", "axb", {}},
        {"a\\b\\'e4b", "\xe4" "b", "", "a", {}},
        {"x {\\f1 \\'e1\\'e2} y", "x", "{z}", "{z}    y", {"{\\f1 \\'e1\\'e2}"}},
        {"Klammer \\{ und \\\\ hier", "{ und \\", "[", "Klammer [ hier", {}},
        {"zwei zwei\\par zwei", "zwei", "drei", "drei drei\ndrei", {"\\par"}},
    };
    for (const ReplaceRow& r : rows) {
        doc.New();
        CZTPageNode* other = Page(nullptr, "andere", std::string("unber\\'fchrt ") + r.body);
        CZTPageNode* p = Page(nullptr, "p", r.body);
        const std::string otherBefore = doc.PageText(other);
        CZTHitList list;
        Fill(list, r.search, CZTSearchIn::Text, CZTSearchScope::Page, p);
        ASSERT_FALSE(list.Empty()) << r.body;
        auto res = list.Replace(doc, prompter, AllRows(list), r.replacement, r.replacement[0] == 0);
        EXPECT_EQ(res.replaced, int(list.Size())) << r.body;
        const std::string after = doc.PageText(p);
        EXPECT_EQ(Plain(after), r.plainAfter) << r.body << " -> " << after;
        for (const char* k : r.kept) EXPECT_NE(after.find(k), std::string::npos) << k << " in " << after;
        EXPECT_EQ(doc.PageText(other), otherBefore);
        EXPECT_TRUE(doc.IsModified());
    }
}

TEST_F(Fixture, NonAnsiFontGetsUnicodeEscapes) {
    // Text in a Greek font: an umlaut goes in as \uN, not as a byte of that code page.
    CZTPageNode* p = Page(nullptr, "p", "{\\f1 abc}");
    CZTHitList list;
    Fill(list, "b", CZTSearchIn::Text, CZTSearchScope::Page, p);
    list.Replace(doc, prompter, AllRows(list), "\xe4", false);
    EXPECT_EQ(Plain(doc.PageText(p)), "a\xe4" "c");
    EXPECT_NE(doc.PageText(p).find("\\u228"), std::string::npos);
}

TEST_F(Fixture, TwoHitsOnOneLineAreBothReplacedInPlace) {
    CZTPageNode* p = Page(nullptr, "p", "ab ab ab\\par ab");
    CZTHitList list;
    Fill(list, "ab");
    ASSERT_EQ(list.Size(), 4u);
    // Replace the second and the fourth first, then the rest.
    list.Replace(doc, prompter, {1, 3}, "xyz", false);
    EXPECT_EQ(Plain(doc.PageText(p)), "ab xyz ab\nxyz");
    EXPECT_EQ(list.Rows()[2].offset, 7);
    EXPECT_EQ(list.Rows()[2].column, 7);
    list.Replace(doc, prompter, AllRows(list), "Q", false);
    EXPECT_EQ(Plain(doc.PageText(p)), "Q xyz Q\nxyz");
    // Rows replaced before are skipped.
    EXPECT_EQ(list.Rows()[1].replacement, "xyz");
    EXPECT_EQ(list.Rows()[0].replacement, "Q");
}

TEST_F(Fixture, AHitThatNoLongerMatchesStaysUnreplaced) {
    CZTPageNode* p = Page(nullptr, "p", "eins zwei");
    CZTHitList list;
    Fill(list, "zwei");
    doc.SetPageText(p, Rtf("eins drei zwei"));
    list.Replace(doc, prompter, {0}, "vier", false);
    EXPECT_FALSE(list.Rows()[0].replaced);
    EXPECT_EQ(list.Rows()[0].replacement, "");
    EXPECT_EQ(Plain(doc.PageText(p)), "eins drei zwei");
}

TEST_F(Fixture, OverlappingHitsReplaceOnlyTheFirst) {
    CZTPageNode* p = Page(nullptr, "aaa", "aaa");
    CZTHitList list;
    Fill(list, "aa");
    ASSERT_EQ(list.Size(), 4u);
    auto r = list.Replace(doc, prompter, AllRows(list), "b", false);
    EXPECT_EQ(r.replaced, 2);
    EXPECT_EQ(p->Title(), "ba");
    EXPECT_EQ(Plain(doc.PageText(p)), "ba");
}

TEST_F(Fixture, DeletingATitleHitThatCoversTheTitleLeavesItEmpty) {
    CZTPageNode* p = Page(nullptr, "Weg", "");
    CZTHitList list;
    Fill(list, "weg", CZTSearchIn::Tree);
    list.Replace(doc, prompter, {0}, "", true);
    EXPECT_EQ(p->Title(), "");
    EXPECT_EQ(list.Rows()[0].replacement, Utf8ToCp1252(MessageText(Msg::HitDeleted)));
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(Fixture, FileNamesAreRenamedUnlessTheNameIsTaken) {
    CZTPageNode* p = Page(nullptr, "p", "", {"alt.txt", "neu.txt", "alt.csv"});
    CZTHitList list;
    Fill(list, "alt", CZTSearchIn::Files);
    ASSERT_EQ(list.Size(), 2u);
    auto r = list.Replace(doc, prompter, AllRows(list), "neu", false);
    EXPECT_EQ(r.replaced, 1);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], MessageText(Msg::NameInUse));
    EXPECT_TRUE(doc.Archive().GetFile(p->Ident(), "alt.txt").valid);
    EXPECT_TRUE(doc.Archive().GetFile(p->Ident(), "neu.csv").valid);
    EXPECT_FALSE(doc.Archive().GetFile(p->Ident(), "alt.csv").valid);
    EXPECT_EQ(p->Mark(), 5); // inserted page with changed files
}

TEST_F(Fixture, ReplaceAllChangesNothingElse) {
    std::vector<CZTPageNode*> pages;
    for (int i = 0; i < 6; ++i)
        pages.push_back(Page(nullptr, "Seite " + std::to_string(i),
                             i % 2 ? "ohne {\\b Fund}" : "mit Wort und {\\b Wort}\\par Wort"));
    std::map<int32_t, std::string> before;
    for (CZTPageNode* p : pages) before[p->Ident()] = doc.PageText(p);
    CZTHitList list;
    Fill(list, "wort");
    ASSERT_EQ(list.Size(), 9u);
    list.Replace(doc, prompter, AllRows(list), "Satz", false);
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i % 2) {
            EXPECT_EQ(doc.PageText(pages[i]), before[pages[i]->Ident()]);
        } else {
            EXPECT_EQ(Plain(doc.PageText(pages[i])), "mit Satz und Satz\nSatz");
            EXPECT_NE(doc.PageText(pages[i]).find("{\\b Satz}"), std::string::npos);
        }
    }
    EXPECT_EQ(list.ReplacedPages().size(), 3u);
}

TEST_F(Fixture, NoticesKeepTheListCurrent) {
    CZTPageNode* a = Page(nullptr, "Alpha wort", "wort wort");
    CZTPageNode* b = Page(nullptr, "Beta", "wort");
    CZTPageNode* c = Page(nullptr, "Gamma", "nichts");
    CZTHitList list;
    Fill(list, "wort");
    ASSERT_EQ(list.Size(), 4u);
    EXPECT_EQ(list.CounterLine(), "Seiten:   2, Titel:   1, Textstellen:    3, Dateien:   0, Gesamt:    4");

    // Renamed: the title hit goes, the text hits stay.
    doc.RenamePage(a, "Alpha");
    EXPECT_TRUE(list.NotifyPageChange(doc, prompter, a->Ident(), CZTPageNotice::TitleChanged));
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(list.Rows()[0].kind, Kind::Text);
    EXPECT_EQ(list.Counters().titles, 0);

    // Edited: a new hit on a page that had none lands in walk order.
    doc.SetPageText(c, Rtf("jetzt ein wort"));
    list.NotifyPageChange(doc, prompter, c->Ident(), CZTPageNotice::TextSaved);
    ASSERT_EQ(list.Size(), 4u);
    EXPECT_EQ(list.Rows()[3].ident, c->Ident());
    doc.SetPageText(a, Rtf("wort"));
    list.NotifyPageChange(doc, prompter, a->Ident(), CZTPageNotice::TextSaved);
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(list.Rows()[0].ident, a->Ident());
    EXPECT_EQ(list.Rows()[1].ident, b->Ident());

    // Deleted: its rows go and the counters drop.
    list.NotifyPageChange(doc, prompter, b->Ident(), CZTPageNotice::Deleted);
    doc.DeletePage(b, false);
    ASSERT_EQ(list.Size(), 2u);
    EXPECT_EQ(list.Counters().pages, 2);
    EXPECT_EQ(list.Counters().texts, 2);
    EXPECT_TRUE(prompter.questions.empty());
}

TEST_F(Fixture, APageWithRemovedRowsAsksBeforeItIsSearchedAgain) {
    CZTPageNode* a = Page(nullptr, "a", "wort wort");
    CZTPageNode* b = Page(nullptr, "b", "wort wort");
    CZTHitList list;
    Fill(list, "wort");
    list.RemoveRows({0});
    list.RemoveRows({1}); // one row of b
    ASSERT_EQ(list.Size(), 2u);

    prompter.answers = {true};
    list.NotifyPageChange(doc, prompter, a->Ident(), CZTPageNotice::TextSaved);
    EXPECT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(prompter.questions[0], MessageText(Msg::SearchPageChanged));
    EXPECT_EQ(list.Size(), 3u); // a searched again: both rows back

    prompter.answers = {false};
    list.NotifyPageChange(doc, prompter, b->Ident(), CZTPageNotice::TextSaved);
    EXPECT_EQ(list.Size(), 2u);
    for (const auto& h : list.Rows()) EXPECT_EQ(h.ident, a->Ident());
    // Later edits of b change nothing and ask nothing.
    doc.SetPageText(b, Rtf("wort"));
    EXPECT_FALSE(list.NotifyPageChange(doc, prompter, b->Ident(), CZTPageNotice::TextSaved));
    EXPECT_EQ(prompter.questions.size(), 2u);
    EXPECT_EQ(list.Size(), 2u);
}

TEST_F(Fixture, NoticesOutsideTheSearchAreIgnored) {
    CZTPageNode* a = Page(nullptr, "a", "wort");
    CZTPageNode* child = Page(a, "kind", "wort");
    CZTPageNode* other = Page(nullptr, "andere", "wort");
    CZTHitList list;
    Fill(list, "wort", CZTSearchIn::Text, CZTSearchScope::Subtree, a);
    ASSERT_EQ(list.Size(), 2u);
    doc.SetPageText(other, Rtf("wort wort"));
    EXPECT_FALSE(list.NotifyPageChange(doc, prompter, other->Ident(), CZTPageNotice::TextSaved));
    doc.RenamePage(child, "wort");
    EXPECT_FALSE(list.NotifyPageChange(doc, prompter, child->Ident(), CZTPageNotice::TitleChanged));
    list.NotifyPageChange(doc, prompter, child->Ident(), CZTPageNotice::Deleted);
    EXPECT_EQ(list.Size(), 1u);
}

TEST_F(Fixture, SortsByColumns) {
    CZTPageNode* b = Page(nullptr, "b", "x\\par\\par x", {"zx", "ax"});
    Page(nullptr, "A x", "");
    (void)b;
    CZTHitList list;
    Fill(list, "x");
    list.Sort(CZTHitList::LineColumn, false);
    std::vector<std::pair<int, std::string>> got;
    for (const auto& h : list.Rows()) got.push_back({h.line, h.fileName});
    std::vector<std::pair<int, std::string>> want = {{0, ""}, {0, "ax"}, {0, "zx"}, {1, ""}, {3, ""}};
    EXPECT_EQ(got, want);
    list.Sort(CZTHitList::PathColumn, true);
    EXPECT_EQ(list.Rows().front().path, "/b");
    EXPECT_EQ(list.Rows().back().path, "/A x");
}

TEST_F(Fixture, SecondSearchTakesCachedTexts) {
    CZTPageNode* a = Page(nullptr, "a", "eins");
    Page(nullptr, "b", "zwei");
    EXPECT_EQ(Search("eins").size(), 1u);
    EXPECT_EQ(cache->Entries(), 2u);
    CZTSearchOptions o;
    o.text = "x";
    o.scope = CZTSearchScope::Document;
    auto pages = TakeSearchPages(doc, nullptr, o, cache.get());
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(pages[0].plain && pages[1].plain);
    EXPECT_TRUE(pages[0].content.empty());
    // A changed page is converted again.
    doc.SetPageText(a, Rtf("drei"));
    EXPECT_EQ(Search("eins").size(), 0u);
    EXPECT_EQ(Search("drei").size(), 1u);
    // A small budget keeps what fits.
    cache->SetBudget(70);
    EXPECT_LE(cache->Bytes(), 70u);
}

TEST_F(Fixture, JobDeliversInWalkOrderAndCanBeCancelled) {
    for (int i = 0; i < 50; ++i) Page(nullptr, "p" + std::to_string(i), "treffer");
    CZTSearchOptions o;
    o.text = "treffer";
    o.scope = CZTSearchScope::Document;
    {
        CZTSearchJob job(TakeSearchPages(doc, nullptr, o, nullptr), o, nullptr, 2);
        job.Start();
        std::vector<CZTSearchHit> all;
        while (!job.Done()) {
            auto part = job.TakeHits();
            all.insert(all.end(), part.begin(), part.end());
        }
        job.Wait();
        auto rest = job.TakeHits();
        all.insert(all.end(), rest.begin(), rest.end());
        ASSERT_EQ(all.size(), 50u);
        for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].path, "/p" + std::to_string(i));
        EXPECT_EQ(job.PagesDone(), 50u);
    }
    {
        CZTSearchJob job(TakeSearchPages(doc, nullptr, o, nullptr), o, nullptr, 2);
        job.Cancel();
        job.Start();
        job.Wait();
        EXPECT_TRUE(job.Done());
        EXPECT_LT(job.TakeHits().size(), 50u);
    }
}

// The converter's source map: every character of the search form names its bytes.
TEST(SourceMap, NamesTheBytesOfEveryCharacter) {
    struct Row {
        const char* rtf;
        std::vector<std::string> sources; // per character
    };
    const Row rows[] = {
        {"{\\rtf1 ab}", {"a", "b"}},
        {"{\\rtf1 a\\'e4b}", {"a", "\\'e4", "b"}},
        {"{\\rtf1 \\u228?x}", {"\\u228?", "x"}},
        {"{\\rtf1\\uc2 \\u8364\\'80\\'80x}", {"\\u8364\\'80\\'80", "x"}},
        {"{\\rtf1 \\u8364\\'80x}", {"\\u8364\\'80", "x"}},
        {"{\\rtf1 a\\par b}", {"a", "\\par ", "b"}},
        {"{\\rtf1 \\{\\}}", {"\\{", "\\}"}},
        {"{\\rtf1 a{\\pict\\pngblip 00}b}", {"a", "", "b"}},
        {"{\\rtf1 a\\tab b}", {"a", "\\tab ", "b"}},
    };
    for (const Row& r : rows) {
        RtfConverter c;
        std::string text;
        std::vector<RtfTextSpan> spans;
        ASSERT_TRUE(c.RtfToText(r.rtf, RtfTextMode::Search, text, spans)) << r.rtf;
        ASSERT_EQ(spans.size(), text.size()) << r.rtf;
        ASSERT_EQ(spans.size(), r.sources.size()) << r.rtf << " -> " << text;
        std::string_view in(r.rtf);
        for (size_t i = 0; i < spans.size(); ++i)
            EXPECT_EQ(in.substr(spans[i].begin, spans[i].end - spans[i].begin), r.sources[i]) << r.rtf << " #" << i;
    }
}

TEST(RtfReplace, KeepsControlWordsApartFromNewText) {
    // Deleting the umlaut of "\b\'e4b" must not make "\bb".
    std::string rtf = "{\\rtf1 a\\b\\'e4b}";
    RtfConverter c;
    std::string text;
    std::vector<RtfTextSpan> spans;
    ASSERT_TRUE(c.RtfToText(rtf, RtfTextMode::Search, text, spans));
    std::string out = ReplaceInRtf(rtf, spans, {{1, 1, ""}});
    EXPECT_EQ(out, "{\\rtf1 a\\b b}");
    out = ReplaceInRtf(rtf, spans, {{1, 1, "-5"}});
    EXPECT_EQ(out, "{\\rtf1 a\\b -5b}");
    // A picture is no text: a hit over it is not replaced.
    rtf = "{\\rtf1 a{\\pict 00}b}";
    ASSERT_TRUE(c.RtfToText(rtf, RtfTextMode::Search, text, spans));
    std::vector<bool> applied;
    EXPECT_EQ(ReplaceInRtf(rtf, spans, {{0, 3, "x"}}, &applied), rtf);
    EXPECT_FALSE(applied[0]);
}

} // namespace
} // namespace zt

namespace zt {
namespace {

TEST_F(Fixture, ADeletionNoticeAfterThePageLeftStillDropsItsRows) {
    CZTPageNode* a = Page(nullptr, "a", "wort");
    CZTPageNode* child = Page(a, "kind", "wort");
    CZTHitList list;
    Fill(list, "wort", CZTSearchIn::Text, CZTSearchScope::Subtree, a);
    ASSERT_EQ(list.Size(), 2u);
    const int32_t ident = child->Ident();
    doc.DeletePage(child, false);
    EXPECT_TRUE(list.NotifyPageChange(doc, prompter, ident, CZTPageNotice::Deleted));
    EXPECT_EQ(list.Size(), 1u);
}

} // namespace
} // namespace zt
