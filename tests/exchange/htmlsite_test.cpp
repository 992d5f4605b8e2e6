// The HTML site: names, layouts, navigation, escaping, links that resolve.
#include "base/cp1252.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "core/treeentrystyle.h"
#include "exchange/htmlexport.h"
#include "exchange/htmlsearch.h"
#include "exchange/htmlsearchworker.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "text/pagertf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sys/wait.h>

namespace fs = std::filesystem;
using zt::test::ReadFile;
using zt::test::TempDir;

namespace {

// A 1x1 PNG.
const char* kPngHex =
    "89504e470d0a1a0a0000000d4948445200000001000000010806000000"
    "1f15c4890000000d49444154789c63f8cfc0f01f0005000201a5f6c3e50000000049454e44ae426082";

struct Doc {
    zt::test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    Doc() { doc.New(); }
    CZTPageNode* Page(CZTPageNode* parent, const std::string& title, const std::string& rtf = {}) {
        CZTPageNode* p = doc.AddPage(parent, title);
        if (!rtf.empty()) doc.SetPageText(p, zt::IsRtfText(rtf) ? rtf : zt::TextToPageRtf(rtf, 10, false));
        return p;
    }
};

std::string Rtf(const std::string& body) {
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}" + body + "\\par}";
}

std::string PercentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out.push_back(char(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

struct SiteCheck {
    size_t pages = 0, links = 0, images = 0;
    std::vector<std::string> problems;
};

// Walks every HTML file of the site: each tag must be well formed (no stray
// "<" in text, quoted attribute values closed), anchors balanced and never
// nested, no script outside the search page, and every href and src that is
// not an outside address must name a file of the site.
SiteCheck CheckSite(const std::string& site) {
    SiteCheck check;
    const fs::path root = fs::canonical(site);
    static const std::regex kRef(R"re((href|src)\s*=\s*"([^"]*)")re", std::regex::icase);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".htm") continue;
        ++check.pages;
        const std::string name = fs::relative(entry.path(), root).string();
        const std::string html = ReadFile(entry.path().string());
        int anchors = 0;
        for (size_t i = 0; i < html.size(); ++i) {
            if (html[i] != '<') continue;
            const size_t close = html.find('>', i);
            if (close == std::string::npos) {
                check.problems.push_back(name + ": unclosed tag");
                break;
            }
            const std::string tag = html.substr(i + 1, close - i - 1);
            if (tag.empty() || !(std::isalpha(static_cast<unsigned char>(tag[0])) || tag[0] == '/' || tag[0] == '!')) {
                check.problems.push_back(name + ": stray '<' in text: " + html.substr(i, 40));
                continue;
            }
            if (tag.find('<') != std::string::npos || std::count(tag.begin(), tag.end(), '"') % 2 != 0)
                check.problems.push_back(name + ": malformed tag <" + tag + ">");
            std::string lower = tag;
            for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
            if (lower == "a" || lower.rfind("a ", 0) == 0) {
                if (++anchors > 1) check.problems.push_back(name + ": nested anchor");
            } else if (lower == "/a") {
                if (--anchors < 0) check.problems.push_back(name + ": stray </a>");
            }
            i = close;
            if (lower.rfind("script", 0) == 0) {
                if (name != "ztSearch.htm") check.problems.push_back(name + ": script element");
                const size_t end = html.find("</script>", close);
                if (end == std::string::npos) break;
                i = end + 8;
            }
        }
        if (anchors != 0) check.problems.push_back(name + ": unbalanced anchors");
        for (auto it = std::sregex_iterator(html.begin(), html.end(), kRef); it != std::sregex_iterator(); ++it) {
            const std::string ref = (*it)[2];
            const std::string kind = (*it)[1];
            if (ref.rfind("http", 0) == 0 || ref.rfind("mailto:", 0) == 0 || ref.rfind("www.", 0) == 0) continue;
            if (std::tolower(static_cast<unsigned char>(kind[0])) == 's' && ref.find(".js") == std::string::npos)
                ++check.images;
            else ++check.links;
            const fs::path target = (entry.path().parent_path() / PercentDecode(ref)).lexically_normal();
            const std::string rel = fs::relative(target, root).string();
            if (rel == ".." || rel.rfind("../", 0) == 0) check.problems.push_back(name + ": leaves the site: " + ref);
            else if (!fs::is_regular_file(target)) check.problems.push_back(name + ": dead link " + ref);
        }
    }
    return check;
}

std::string Only(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().string());
    return names.size() == 1 ? names[0] : std::string();
}

// A document of `count` pages in a tree of three levels, with pictures,
// tables, links between pages (and to pages that do not exist), attached
// files and hostile titles, font names and file names.
void BuildBigDocument(Doc& d, int count) {
    std::vector<CZTPageNode*> made;
    for (int i = 0; i < count; ++i) {
        CZTPageNode* parent = i < 10 ? nullptr : made[size_t(i < 60 ? i % 10 : 10 + i % 50)];
        std::string title = "P" + std::to_string(i);
        if (i % 37 == 5) title = "<script>alert(" + std::to_string(i) + ")</script>";
        if (i % 41 == 7) title = "\"Gr\xfc\xdf" "e\" & 'Co' " + std::to_string(i);
        if (i % 53 == 9) title = "..";
        std::string body = "Seite " + std::to_string(i) + " mit \\'e4 und <b>Markup</b> & mehr.\\par ";
        body += "Nach zt:/P0 und zt:P" + std::to_string(i + 1) + " und zt:/Nirgendwo/da sowie ztf:/P0/a.txt.\\par ";
        if (i % 5 == 0) body += "{\\pict\\pngblip\\picw1\\pich1 " + std::string(kPngHex) + "}\\par ";
        if (i % 7 == 0) body += "\\trowd\\cellx2000\\cellx4000 A\\cell B\\cell\\row\\pard ";
        if (i % 11 == 0) body += "{\\field{\\*\\fldinst HYPERLINK \"zt:/Fehlt\"}{\\fldrslt tot}} ";
        CZTPageNode* p = d.Page(parent, title, Rtf(body));
        if (i % 3 == 0) {
            ASSERT_TRUE(zt::StoreFile(d.doc, p, "a.txt", "Anhang " + std::to_string(i), 1700000000));
            ASSERT_TRUE(zt::StoreFile(d.doc, p, "<b>x</b> #1.txt", "zwei", 1700000000));
        }
        if (i % 13 == 0) {
            TreeEntryStyle st;
            st.fontName = "Arial'><script>x()</script>";
            st.flags = TreeEntryStyle::FontNameSet | TreeEntryStyle::Bold;
            d.doc.SetTreeEntryStyle(p, st, false, false);
        }
        made.push_back(p);
    }
}

} // namespace

TEST(HtmlSite, GeneratedDocumentResolvesEveryLinkInBothLayouts) {
    Doc d;
    BuildBigDocument(d, 500);
    for (int dirMode : {0, 1}) {
        TempDir t;
        zt::HtmlExportOptions o;
        o.settings.dirMode = dirMode;
        o.settings.head1 = "<b>Kopf</b>";
        o.settings.foot2 = "<i>Fuss</i>";
        zt::ExportOutcome out = zt::ExportHtml(d.doc, t.path(), o, d.prompter);
        ASSERT_EQ(out.result, zt::ExchangeResult::Ok) << (d.prompter.messages.empty() ? "" : d.prompter.messages[0]);
        EXPECT_TRUE(d.prompter.messages.empty()) << d.prompter.messages[0];
        ASSERT_EQ(Only(t.path()), out.written); // nothing beside the site
        const SiteCheck check = CheckSite(out.written);
        EXPECT_EQ(check.pages, 500u + 167u + 2u) << "pages, file lists, contents and search page";
        EXPECT_GT(check.links, 500u * 4);
        EXPECT_EQ(check.images, 100u);
        for (size_t i = 0; i < check.problems.size() && i < 10; ++i) ADD_FAILURE() << check.problems[i];

        const std::string contents = ReadFile(out.written + "/ztContent.htm");
        EXPECT_NE(contents.find("&lt;script&gt;alert(5)&lt;/script&gt;"), std::string::npos);
        EXPECT_NE(contents.find("&quot;Gr\xfc\xdf" "e&quot; &amp; &apos;Co&apos;"), std::string::npos);
        EXPECT_NE(contents.find("font-family: 'Arial&apos;&gt;&lt;script&gt;"), std::string::npos);
        // Links to pages the site does not hold stay plain text.
        const std::string p0 = ReadFile(out.written + (dirMode ? "/P0-zt-P0.htm" : "/P0/zt-P0.htm"));
        EXPECT_NE(p0.find(" zt:/Nirgendwo/da "), std::string::npos);
        EXPECT_EQ(p0.find("HREF=\"zt:"), std::string::npos);
        EXPECT_NE(p0.find(">zt:/P0</A>"), std::string::npos);

        // The search index holds every page, its text in UTF-8.
        const std::string json = ReadFile(out.written + "/ztSearch.json");
        EXPECT_NE(json.find("Seite 499 mit \xc3\xa4"), std::string::npos);
        EXPECT_NE(json.find("\\u003cscript\\u003e"), std::string::npos);
        EXPECT_EQ(json.find("<script"), std::string::npos);
        EXPECT_EQ(ReadFile(out.written + "/ztSearch.js"), "ztSearchIndex(" + json + ");\n");
        // Only the pages' own texts: no head or foot line, no navigation bar.
        for (const char* outside : {"Kopf", "Fuss", "Vorherige Seite", "Inhaltsverzeichnis", "Inhalt von"})
            EXPECT_EQ(json.find(outside), std::string::npos) << outside;
    }
}

TEST(HtmlSite, PassesTidyWithoutErrors) {
    if (std::system("command -v tidy >/dev/null 2>&1") != 0) GTEST_SKIP() << "tidy is not installed";
    Doc d;
    BuildBigDocument(d, 40);
    TempDir t;
    zt::HtmlExportOptions o;
    o.settings.dirMode = 1;
    zt::ExportOutcome out = zt::ExportHtml(d.doc, t.path(), o, d.prompter);
    ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
    int checked = 0;
    for (const auto& e : fs::directory_iterator(out.written)) {
        if (e.path().extension() != ".htm") continue;
        const std::string cmd = "tidy -e -q '" + e.path().string() + "' >/dev/null 2>&1";
        const int rc = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(rc));
        EXPECT_LT(WEXITSTATUS(rc), 2) << "tidy finds errors in " << e.path().filename();
        ++checked;
    }
    EXPECT_GT(checked, 40);
}

TEST(HtmlSite, NamesOfBothLayouts) {
    Doc d;
    CZTPageNode* a = d.Page(nullptr, "A", "Text A");
    CZTPageNode* b = d.Page(a, "B", "Text B");
    ASSERT_TRUE(zt::StoreFile(d.doc, b, "f.txt", "x", 1700000000));
    d.Page(nullptr, "Notes", "eins");
    d.Page(nullptr, "Notes", "zwei");
    d.Page(nullptr, "a b \xe4", "drei");
    {
        TempDir t;
        zt::HtmlExportOptions o;
        o.settings.dirMode = 1;
        zt::ExportOutcome out = zt::ExportHtml(d.doc, t.path(), o, d.prompter);
        ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
        EXPECT_EQ(fs::path(out.written).filename(), "HTML-Unbenannt");
        for (const char* f : {"A-zt-A.htm", "A-B-zt-B.htm", "A-B-ztfContent.htm", "A-B-ztf-f.txt", "Notes-zt-Notes.htm",
                              "Notes-281-29-zt-Notes-281-29.htm", "a+b+-E4-zt-a+b+-E4.htm", "ztContent.htm"})
            EXPECT_TRUE(fs::exists(out.written + "/" + f)) << f;
        const std::string second = ReadFile(out.written + "/Notes-281-29-zt-Notes-281-29.htm");
        EXPECT_NE(second.find("Unbenannt: /Notes(1)"), std::string::npos);
        // The first page has no previous link, the last no next link.
        EXPECT_EQ(ReadFile(out.written + "/A-zt-A.htm").find("Vorherige Seite"), std::string::npos);
        EXPECT_EQ(ReadFile(out.written + "/a+b+-E4-zt-a+b+-E4.htm").find("chste Seite"), std::string::npos);
        EXPECT_NE(ReadFile(out.written + "/A-B-zt-B.htm").find("href=\"A-B-ztfContent.htm\">Dateien"),
                  std::string::npos);
        // A second export goes beside the first.
        zt::ExportOutcome again = zt::ExportHtml(d.doc, t.path(), o, d.prompter);
        EXPECT_EQ(fs::path(again.written).filename(), "HTML-Unbenannt (#1)");
    }
    {
        TempDir t;
        zt::HtmlExportOptions o;
        o.settings.dirMode = 0;
        zt::ExportOutcome out = zt::ExportHtml(d.doc, t.path(), o, d.prompter);
        ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
        const std::string page = ReadFile(out.written + "/A/B/zt-B.htm");
        EXPECT_NE(page.find("href=\"../../ztContent.htm\""), std::string::npos);
        EXPECT_NE(page.find("href=\"ztfContent.htm\""), std::string::npos);
        EXPECT_TRUE(fs::exists(out.written + "/A/B/ztf-f.txt"));
        EXPECT_NE(ReadFile(out.written + "/ztContent.htm").find("href=\"A/B/zt-B.htm\""), std::string::npos);
    }
}

TEST(HtmlSite, BarsHeadAndFootLines) {
    Doc d;
    d.Page(nullptr, "Leer");
    d.Page(nullptr, "Voll", "Text");
    struct Case {
        bool head, foot;
        std::string head1, foot1;
        bool table, hrAfterHead, hrBeforeFoot;
    };
    const Case cases[] = {
        {false, false, "", "", false, false, false},
        {false, false, "K1", "F1", false, true, true},
        {true, true, "K1", "F1", true, false, false},
    };
    for (const Case& c : cases) {
        TempDir t;
        zt::HtmlExportOptions o;
        o.settings.linkHead = c.head;
        o.settings.linkFoot = c.foot;
        o.settings.titleLine = false;
        o.settings.head1 = c.head1;
        o.settings.foot1 = c.foot1;
        zt::ExportOutcome out = zt::ExportHtml(d.doc, t.path(), o, d.prompter);
        ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
        const std::string empty = ReadFile(out.written + "/Leer-zt-Leer.htm");
        EXPECT_NE(empty.find("bgcolor=\"#FFFFFF\""), std::string::npos);
        EXPECT_EQ(empty.find("<table width=\"100%\"") != std::string::npos, c.table);
        EXPECT_EQ(empty.find(c.head1 + "<hr>") != std::string::npos && !c.head1.empty(), c.hrAfterHead);
        EXPECT_EQ(empty.find("<hr>" + c.foot1 + "\n") != std::string::npos && !c.foot1.empty(), c.hrBeforeFoot);
        EXPECT_EQ(o.settings.head1, c.head1); // the export leaves the settings as they were
    }
}

TEST(HtmlSite, TargetThatCannotBeCreatedIsReported) {
    Doc d;
    d.Page(nullptr, "A", "x");
    TempDir t;
    zt::ExportOutcome out = zt::ExportHtml(d.doc, t / "fehlt/tiefer", {}, d.prompter);
    EXPECT_EQ(out.result, zt::ExchangeResult::Failed);
    ASSERT_EQ(d.prompter.messages.size(), 1u);
    EXPECT_NE(d.prompter.messages[0].find("Hauptverzeichnisses"), std::string::npos);
}

TEST(HtmlSite, CancelMarksTheSiteIncomplete) {
    Doc d;
    for (int i = 0; i < 20; ++i) d.Page(nullptr, "S" + std::to_string(i), "Text");
    struct Stop : zt::ExchangeProgress {
        int left = 5;
        bool Step(uint64_t, uint64_t) override { return --left > 0; }
    } stop;
    TempDir t;
    zt::HtmlExportOptions o;
    o.progress = &stop;
    zt::ExportOutcome out = zt::ExportHtml(d.doc, t.path(), o, d.prompter);
    EXPECT_EQ(out.result, zt::ExchangeResult::Cancelled);
    EXPECT_NE(out.written.find("(unvollst"), std::string::npos);
    EXPECT_TRUE(fs::exists(out.written + "/ztContent.htm"));
}

TEST(HtmlSite, SearchIndexStringsAreSafeInsideAScript) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", "\"\""},
        {"Gr\xc3\xbc\xc3\x9f" "e", "\"Gr\xc3\xbc\xc3\x9f" "e\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"</script><b>&", "\"\\u003c/script\\u003e\\u003cb\\u003e\\u0026\""},
        {"x\ny\r\tz\x01", "\"x\\ny\\tz\\u0001\""},
        {"a\xe2\x80\xa8" "b\xe2\x80\xa9", "\"a\\u2028b\\u2029\""},
        {"\xe2\x82\xac \xe2\x80", "\"\xe2\x82\xac \xe2\x80\""}, // the euro sign stays; a cut sequence too
    };
    for (const Case& c : cases) {
        std::string out;
        zt::htmlsite::AppendJsonString(out, c.in);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(HtmlSite, TextOfTheConvertersHtml) {
    struct Case {
        std::string html, text;
    };
    const Case cases[] = {
        {"<P>Sch&ouml;ne Gr&uuml;&szlig;e</P>\n<P>zweite</P>", "Sch\xc3\xb6ne Gr\xc3\xbc\xc3\x9f" "e\nzweite"},
        {"<P><B><FONT SIZE=+3>Fett</FONT></B> und <I>kursiv</I></P>", "Fett und kursiv"},
        {"a&nbsp;b &lt;c&gt; &amp;amp; &#8364; &#x20AC; &euro; &apos;", "a\xc2\xa0" "b <c> &amp; \xe2\x82\xac \xe2\x82\xac \xe2\x82\xac '"},
        {"\x80 \xe4\xfc", "\xe2\x82\xac \xc3\xa4\xc3\xbc"}, // Windows-1252 bytes
        {"<TABLE BORDER=\"1\">\n<!--% ROW 1 --><TR>\n<TD>A1<TD>B1\n<TR><TD>A2</TABLE>nach",
         "A1 B1\nA2\nnach"},
        {"  viel   \n\t Raum  <BR><BR>  hier  ", "viel Raum\nhier"},
        {"&bogus; &#; &#xZZ; &#99999999; &#55296; & allein", "&bogus; &#; &#xZZ; &#99999999; &#55296; & allein"},
        {"vor <A HREF=\"zt:/P1\">zt:/P1</A> nach", "vor zt:/P1 nach"},
        {"offen <B", "offen"},          // a tag cut off at the end
        {"x <!-- nie zu", "x"},        // a comment too
        {"\x01\x02ok", "ok"},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string out = "vorher|";
        zt::htmlsite::AppendHtmlText(out, c.html);
        EXPECT_EQ(out, "vorher|" + c.text) << c.html;
    }
}

// The index is built on a thread of its own; with a queue that holds less
// than one page the writer waits for it, and the entries keep the site order.
TEST(HtmlSite, SearchIndexThreadKeepsTheOrderAndStopsCleanly) {
    {
        zt::htmlsite::SearchIndexWorker worker(1);
        zt::htmlsite::SearchIndex direct;
        zt::RtfConverter converter;
        converter.HtmlSettings().bodyStartText = "<b>Kopf</b>";
        converter.HtmlSettings().bodyEndText = "<i>Fuss</i>";
        for (int i = 0; i < 200; ++i) {
            const std::string n = std::to_string(i);
            std::string html;
            zt::RtfHtmlBody body;
            if (i % 7 != 3) {
                ASSERT_TRUE(converter.RtfToHtml(zt::TextToPageRtf("Seite " + n + " \xE4", 10, false), html));
                body = converter.LastHtmlBody();
            }
            std::string plain;
            zt::htmlsite::AppendHtmlText(plain, std::string_view(html).substr(body.begin, body.end - body.begin));
            direct.Add("T" + n, "p" + n + ".htm", plain);
            worker.Add("T" + n, "p" + n + ".htm", html, body.begin, body.end);
        }
        const std::string script = worker.Finish();
        const std::string_view json = zt::htmlsite::SearchIndex::JsonIn(script);
        EXPECT_EQ(json, direct.Json());
        EXPECT_EQ(script, "ztSearchIndex(" + direct.Json() + ");\n");
        EXPECT_NE(json.find("\"x\":\"Seite 198 \xC3\xA4\"}"), std::string::npos);
        EXPECT_NE(json.find("{\"t\":\"T3\",\"u\":\"p3.htm\",\"x\":\"\"}"), std::string::npos);
        EXPECT_EQ(json.find("Kopf"), std::string::npos);
        EXPECT_EQ(json.find("Fuss"), std::string::npos);
    }
    {
        zt::htmlsite::SearchIndexWorker worker;
        EXPECT_EQ(worker.Finish(), "ztSearchIndex([]\n);\n");
    }
    {
        // Destroyed with pages still queued and no Finish: returns at once.
        zt::htmlsite::SearchIndexWorker worker;
        for (int i = 0; i < 50; ++i) worker.Add("T", "u", std::string(20000, 'x'), 0, 20000);
    }
}

TEST(HtmlSite, SiteOfASubtree) {
    Doc d;
    d.Page(nullptr, "Draussen", "weg");
    CZTPageNode* top = d.Page(nullptr, "Oben", "oben");
    d.Page(top, "Notes", "erste");
    CZTPageNode* second = d.Page(top, "Notes", "zweite");
    d.Page(second, "Tief", "Hoch: zt:/Oben/Notes(1) Weg: zt:/Draussen");
    TempDir t;
    zt::HtmlExportOptions o;
    o.settings.dirMode = 0;
    o.searchPage = false;
    o.page = second;
    zt::ExportOutcome out = zt::ExportHtml(d.doc, t.path(), o, d.prompter);
    ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
    // The subtree's top page at the top level, named as its own site's first page.
    EXPECT_TRUE(fs::exists(out.written + "/Notes/zt-Notes.htm"));
    const std::string deep = ReadFile(out.written + "/Notes/Tief/zt-Tief.htm");
    EXPECT_NE(deep.find("Unbenannt: /Oben/Notes(1)/Tief"), std::string::npos) << "the document path in the title";
    EXPECT_NE(deep.find("HREF=\"../../Notes/zt-Notes.htm\""), std::string::npos);
    EXPECT_EQ(deep.find("Draussen\""), std::string::npos);
    EXPECT_NE(deep.find("zt:/Draussen"), std::string::npos) << "a page outside the site stays plain text";
    const std::string contents = ReadFile(out.written + "/ztContent.htm");
    size_t entries = 0;
    for (size_t at = contents.find("<li>"); at != std::string::npos; at = contents.find("<li>", at + 1)) ++entries;
    EXPECT_EQ(entries, 2u) << contents;
    EXPECT_EQ(contents.find("Draussen"), std::string::npos);
    SiteCheck check = CheckSite(out.written);
    EXPECT_EQ(check.pages, 3u) << "two pages and the contents";
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
}
