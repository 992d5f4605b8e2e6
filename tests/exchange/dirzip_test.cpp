// Exports and imports of pages as directory trees and zip archives.
#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/names.h"
#include "text/pagertf.h"
#include "core/attachedfiles.h"
#include "core/compress.h"
#include "core/document.h"
#include "exchange/exchange.h"
#include "exchange/exchangeutil.h"
#include "exchange/oemcodepage.h"
#include "exchange/zip.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;
using zt::test::ReadFile;
using zt::test::TempDir;
using zt::test::WriteFile;

namespace {

struct Doc {
    zt::test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    Doc() { doc.New(); }
    CZTPageNode* Page(CZTPageNode* parent, const std::string& title, const std::string& text = {}) {
        CZTPageNode* p = doc.AddPage(parent, title);
        if (!text.empty()) doc.SetPageText(p, zt::IsRtfText(text) ? text : zt::TextToPageRtf(text, 10, false));
        return p;
    }
    void File(CZTPageNode* page, const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(zt::StoreFile(doc, page, name, bytes, 1700000000));
    }
    // "title[files](children)" of the whole tree, for comparisons.
    std::string Shape(const CZTPageNode* node = nullptr) {
        std::string s;
        const auto& list = node ? node->Children() : doc.Tree().RootPages();
        for (const CZTPageNode* n : list) {
            s += n->Title();
            std::vector<std::string> files;
            int32_t pos = 0;
            for (std::string f = doc.Archive().FileName(n->Ident(), pos); pos >= 0;
                 f = doc.Archive().FileName(n->Ident(), pos))
                files.push_back(f);
            if (!files.empty()) {
                s += "[";
                for (size_t i = 0; i < files.size(); ++i) s += (i ? "," : "") + files[i];
                s += "]";
            }
            if (n->HasChildren()) s += "(" + Shape(n) + ")";
            s += " ";
        }
        return s;
    }
    std::string Plain(const CZTPageNode* n) {
        std::string t;
        zt::PageTextInFormat(doc, n->Ident(), zt::kFormatText, t);
        return t;
    }
};

std::vector<std::string> Members(const std::string& path) {
    zt::ZipArchive z;
    std::vector<std::string> names;
    if (!z.Open(path, zt::ZipArchive::kReadOnDemand)) return {"<unreadable>"};
    for (size_t i = 0; i < z.EntryCount(); ++i) names.push_back(z.Entry(i).name);
    return names;
}

std::set<std::string> Tree(const std::string& dir) {
    std::set<std::string> out;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it)
        out.insert(fs::relative(it->path(), dir).string() + (it->is_directory() ? "/" : ""));
    return out;
}

class CancelAfter : public zt::ExchangeProgress {
public:
    explicit CancelAfter(int steps) : left_(steps) {}
    bool Step(uint64_t, uint64_t) override { return --left_ > 0; }

private:
    int left_;
};

} // namespace

TEST(ExportNames, RegisterExportNameNumbersWithinOneDirectory) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> steps; // code, title
        std::string last;
    };
    const Case cases[] = {
        {{{"c", "A"}, {"n", "a"}}, "/a (#1)"},
        {{{"c", "Notes.2020"}, {"n", "Notes.2020"}}, "/Notes (#1).2020"},
        {{{"c", "a/b:c"}}, "/a-b-c"},
        {{{"c", "."}}, "/.!"},
        {{{"c", ".."}}, "/..!"},
        {{{"c", "CON"}}, "/CON!"},
        {{{"c", "nul.txt"}}, "/nul!.txt"},
        // a page directory, its text file and an attached file of that name
        {{{"c", "P"}, {"f", "P.txt"}, {"f", "P.txt"}}, "/P/P (#1).txt"},
        // a subtree left is forgotten: the next sibling's child may reuse names
        {{{"c", "A"}, {"c", "x"}, {"p", "B"}, {"c", "x"}}, "/B/x"},
        {{{"c", "A"}, {"c", "x"}, {"p", "a"}}, "/a (#1)"},
        {{{"c", "\xc4rger"}, {"n", "\xe4rger"}}, "/\xe4rger (#1)"},
        {{{"c", "A"}, {"n", "a"}, {"n", "A"}}, "/A (#2)"},
        {{{"c", "A"}, {"n", "A"}, {"n", "A (#1)"}}, "/A (#1) (#1)"},
        {{{"c", "A"}, {"c", "x"}, {"n", "X"}}, "/A/X (#1)"},
        // names of a left subtree no longer count, those of its parent do
        {{{"c", "A"}, {"c", "B"}, {"c", "x"}, {"pp", "C"}, {"c", "x"}, {"p", "a"}}, "/a (#1)"},
    };
    for (const Case& c : cases) {
        zt::ExportNameTable table;
        std::string last;
        for (const auto& [code, title] : c.steps) last = zt::RegisterExportName(table, code, title);
        EXPECT_EQ(last, c.last) << c.steps.back().second;
    }
    // Overlong titles are shortened, the extension kept.
    std::string longName = zt::ExportSafeName(std::string(1000, '\xe4') + ".txt");
    EXPECT_LE(zt::Cp1252ToUtf8(longName).size(), 200u);
    EXPECT_EQ(longName.substr(longName.size() - 4), ".txt");
}

TEST(ZipExport, EdgeCasesOfTheMembers) {
    TempDir t;
    Doc d;
    CZTPageNode* memo = d.Page(nullptr, "Memo", "Text der Seite");
    // A leaf page in a subtree export with choice 0: one member, Memo.txt.
    zt::ExportOptions o;
    o.what = zt::ExportWhat::Subtree;
    o.page = memo;
    ASSERT_EQ(zt::ExportToZip(d.doc, t / "a.zip", o, d.prompter).result, zt::ExchangeResult::Ok);
    EXPECT_EQ(Members(t / "a.zip"), std::vector<std::string>{"Memo.txt"});
    // Choice 2: a directory entry that carries the page text as comment.
    o.content = zt::ExportContent::ZipComments;
    ASSERT_EQ(zt::ExportToZip(d.doc, t / "b.zip", o, d.prompter).result, zt::ExchangeResult::Ok);
    zt::ZipArchive z;
    ASSERT_TRUE(z.Open(t / "b.zip", zt::ZipArchive::kReadAll));
    ASSERT_EQ(z.EntryCount(), 1u);
    EXPECT_EQ(z.Entry(0).name, "Memo/");
    EXPECT_EQ(z.Entry(0).externalAttributes, 0x10u);
    EXPECT_EQ(z.EntryComment(0), "Text der Seite");
    // An empty member is stored with CRC 0; attached files go in deflated as stored.
    d.File(memo, "leer.bin", "");
    std::string payload(50000, 'q');
    d.File(memo, "Memo.txt", payload);
    o.content = zt::ExportContent::Text;
    ASSERT_EQ(zt::ExportToZip(d.doc, t / "c.zip", o, d.prompter).result, zt::ExchangeResult::Ok);
    EXPECT_EQ(Members(t / "c.zip"), (std::vector<std::string>{"Memo/", "Memo/Memo.txt", "Memo/leer.bin",
                                                              "Memo/Memo (#1).txt"}));
    zt::ZipArchive c;
    ASSERT_TRUE(c.Open(t / "c.zip", zt::ZipArchive::kReadAll));
    EXPECT_EQ(c.Entry(2).method, 0);
    EXPECT_EQ(c.Entry(2).crc, 0u);
    CZTFileRecord r = d.doc.Archive().GetFile(memo->Ident(), "Memo.txt");
    std::string stored;
    bool raw = false;
    ASSERT_TRUE(r.LoadCompressed(stored, raw));
    EXPECT_EQ(c.Entry(3).data, stored.substr(8)) << "the deflate stream travels unchanged";
}

TEST(ZipImport, PathsCommentsAndStoredMembers) {
    TempDir t;
    {
        zt::ZipArchive w;
        ASSERT_TRUE(w.Open(t / "p.zip", zt::ZipArchive::kCreate));
        w.AddEntry("a/b/c.txt", "C");
        uint16_t i = w.AddEntry("a/d.txt", {});
        zt::ZipEntry& e = w.Entry(i); // stored, not deflated
        e.data = "stored member";
        e.crc = zt::Crc32(e.data);
        e.compressedSize = e.uncompressedSize = uint32_t(e.data.size());
        e.comment = zt::AnsiToOem("Bemerkung \xfc");
        w.SetArchiveComment(zt::AnsiToOem("Gr\xfc\xdf" "e"));
        ASSERT_TRUE(w.Close());
    }
    Doc d;
    CZTPageNode* p = d.Page(nullptr, "P");
    ASSERT_EQ(zt::ImportZip(d.doc, t / "p.zip", p, d.prompter).result, zt::ExchangeResult::Ok);
    EXPECT_EQ(d.Shape(), "P(a[d.txt](b[c.txt] ) ) ");
    EXPECT_NE(d.Plain(p).find("Gr\xfc\xdf" "e"), std::string::npos) << "archive comment, OEM to ANSI";
    CZTPageNode* a = p->FirstChild();
    EXPECT_NE(d.Plain(a).find("d.txt"), std::string::npos);
    EXPECT_NE(d.Plain(a).find("Bemerkung \xfc"), std::string::npos);
    // The stored member became a deflated attached file.
    CZTFileRecord f = d.doc.Archive().GetFile(a->Ident(), "d.txt");
    std::string buffer;
    bool raw = true;
    ASSERT_TRUE(f.LoadCompressed(buffer, raw));
    EXPECT_FALSE(raw);
    std::vector<std::string_view> pieces;
    EXPECT_FALSE(zt::StoredPieces(buffer, pieces));
    ASSERT_NE(f.GetText(), nullptr);
    EXPECT_EQ(*f.GetText(), "stored member");
    // Again: the pages are reused, both files added once more.
    ASSERT_EQ(zt::ImportZip(d.doc, t / "p.zip", p, d.prompter).result, zt::ExchangeResult::Ok);
    EXPECT_EQ(d.Shape(), "P(a[d.txt,d (#1).txt](b[c.txt,c (#1).txt] ) ) ");
}

TEST(ZipImport, RefusedOrFailedImportLeavesTheDocumentAsItWas) {
    TempDir t;
    auto make = [&](const std::string& path, const std::vector<std::string>& names, bool breakLast) {
        zt::ZipArchive w;
        ASSERT_TRUE(w.Open(path, zt::ZipArchive::kCreate));
        for (const auto& n : names) {
            uint16_t i = w.AddEntry(n, {});
            zt::ZipEntry& e = w.Entry(i);
            e.data = "data of " + n;
            e.crc = zt::Crc32(e.data) + (breakLast && &n == &names.back() ? 1 : 0);
            e.compressedSize = e.uncompressedSize = uint32_t(e.data.size());
        }
        ASSERT_TRUE(w.Close());
    };
    make(t / "traversal1.zip", {"ok.txt", "../x"}, false);
    make(t / "traversal2.zip", {"/etc/x"}, false);
    make(t / "traversal3.zip", {"a/../../x"}, false);
    make(t / "drive.zip", {"C:/x"}, false);
    make(t / "badcrc.zip", {"a/1.txt", "a/b/2.txt", "c/3.txt"}, true);
    WriteFile(t / "garbage.zip", "PK\x03\x04 not really");
    for (const char* name : {"traversal1.zip", "traversal2.zip", "traversal3.zip", "drive.zip", "badcrc.zip",
                             "garbage.zip"}) {
        Doc d;
        CZTPageNode* p = d.Page(nullptr, "P", "alter Text");
        d.File(p, "keep.txt", "k");
        d.doc.Archive().SetModified(false);
        const std::string before = d.Shape(), text = d.doc.PageText(p);
        const int mark = p->Mark();
        auto out = zt::ImportZip(d.doc, t / name, p, d.prompter);
        EXPECT_EQ(out.result, zt::ExchangeResult::Failed) << name;
        EXPECT_EQ(d.Shape(), before) << name;
        EXPECT_EQ(d.doc.PageText(p), text) << name;
        EXPECT_EQ(p->Mark(), mark) << name;
        EXPECT_FALSE(d.doc.IsModified()) << name;
        EXPECT_FALSE(d.prompter.messages.empty()) << name;
    }
    // Cancelled: unchanged as well.
    make(t / "good.zip", {"a/1.txt", "a/b/2.txt", "c/3.txt"}, false);
    Doc d;
    CZTPageNode* p = d.Page(nullptr, "P");
    CancelAfter cancel(2);
    EXPECT_EQ(zt::ImportZipFiles(d.doc, {t / "good.zip"}, p, d.prompter, &cancel).result,
              zt::ExchangeResult::Cancelled);
    EXPECT_EQ(d.Shape(), "P ");
}

TEST(DirectoryExport, LayoutAndNames) {
    TempDir t;
    Doc d;
    CZTPageNode* leaf = d.Page(nullptr, "Leaf", "nur Text");
    CZTPageNode* withFile = d.Page(nullptr, "Mit Datei", "Text");
    d.File(withFile, "Mit Datei.txt", "clash");
    CZTPageNode* parent = d.Page(nullptr, "a/b:c");
    d.Page(parent, ".");
    d.Page(parent, "A");
    d.Page(parent, "a");
    (void)leaf;
    zt::ExportOptions o;
    auto out = zt::ExportToDirectory(d.doc, t.path(), o, d.prompter);
    ASSERT_EQ(out.result, zt::ExchangeResult::Ok) << (d.prompter.messages.empty() ? "" : d.prompter.messages[0]);
    EXPECT_EQ(out.written, t / "Unbenannt");
    EXPECT_EQ(Tree(out.written),
              (std::set<std::string>{"Leaf.txt", "Mit Datei/", "Mit Datei/Mit Datei.txt", "Mit Datei/Mit Datei (#1).txt",
                                     "a-b-c/", "a-b-c/a-b-c.txt", "a-b-c/..txt", "a-b-c/A.txt", "a-b-c/a (#1).txt"}));
    EXPECT_EQ(ReadFile(out.written + "/Mit Datei/Mit Datei (#1).txt"), "clash");
    EXPECT_EQ(ReadFile(out.written + "/Leaf.txt"), "nur Text");
    // A subtree export whose title exists in the target gets " (#1)".
    o.what = zt::ExportWhat::Subtree;
    o.page = leaf;
    o.format = zt::kFormatRtf;
    fs::create_directory(t / "Leaf");
    out = zt::ExportToDirectory(d.doc, t.path(), o, d.prompter);
    ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
    EXPECT_EQ(out.written, t / "Leaf (#1)");
    EXPECT_EQ(Tree(out.written), std::set<std::string>{"Leaf.rtf"});
    EXPECT_EQ(ReadFile(out.written + "/Leaf.rtf"), d.doc.PageText(leaf));
    // Modification times: the page's, at least 1980.
    struct stat st;
    ASSERT_EQ(::stat((out.written + "/Leaf.rtf").c_str(), &st), 0);
    EXPECT_GE(st.st_mtime, 315532800);
}

TEST(DirectoryExport, HostileTitlesStayInsideTheTarget) {
    TempDir t;
    fs::create_directory(t / "target");
    Doc d;
    CZTPageNode* top = d.Page(nullptr, "..");
    for (const char* title : {"../../escape", "/etc/passwd", "..", "C:\\Windows", "a\nb"}) d.Page(top, title, "x");
    d.Page(top, std::string(600, 'L'), "long");
    d.File(top, "../../file", "f");
    zt::ExportOptions o;
    o.what = zt::ExportWhat::Subtree;
    o.page = top;
    auto out = zt::ExportToDirectory(d.doc, t / "target", o, d.prompter);
    ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
    EXPECT_EQ(Tree(t.path()).size(), Tree(t / "target").size() + 1) << "nothing beside the target";
    for (const auto& p : Tree(t / "target")) EXPECT_EQ(p.find(".."), p.find("..!")) << p;
    EXPECT_EQ(Tree(t / "target").size(), 9u);

    // A symbolic link on the way is refused.
    fs::create_directory(t / "outside");
    fs::create_symlink(t / "outside", t / "target/link");
    zt::SafeTree tree(t / "target");
    std::string error;
    EXPECT_FALSE(tree.WriteFile("/link/x", "y", 1, error));
    EXPECT_FALSE(tree.MakeDirectory("/link/d", error));
    EXPECT_TRUE(fs::is_empty(t / "outside"));
}

TEST(DirectoryExport, CancelledExportIsMarkedIncomplete) {
    TempDir t;
    Doc d;
    for (int i = 0; i < 5; ++i) d.Page(nullptr, "S" + std::to_string(i), "t");
    CancelAfter cancel(2);
    zt::ExportOptions o;
    o.progress = &cancel;
    auto out = zt::ExportToDirectory(d.doc, t.path(), o, d.prompter);
    EXPECT_EQ(out.result, zt::ExchangeResult::Cancelled);
    EXPECT_EQ(out.written, t / "Unbenannt (unvollständig)");
    EXPECT_TRUE(fs::is_directory(out.written));
    ASSERT_FALSE(d.prompter.messages.empty());
    EXPECT_NE(d.prompter.messages.back().find("abgebrochen"), std::string::npos);

    CancelAfter cancelZip(2);
    o.progress = &cancelZip;
    out = zt::ExportToZip(d.doc, t / "x.zip", o, d.prompter);
    EXPECT_EQ(out.result, zt::ExchangeResult::Cancelled);
    EXPECT_EQ(out.written, t / "x (unvollständig).zip");
    EXPECT_FALSE(fs::exists(t / "x.zip"));
    EXPECT_EQ(Members(out.written), (std::vector<std::string>{"S0.txt", "S1.txt"}));
}

TEST(ZipExport, RefusesMoreThan65534Members) {
    TempDir t;
    Doc d;
    CZTPageNode* p = d.Page(nullptr, "P");
    // 257 pages of 255 files each: more than 65534 members
    for (int i = 0; i < 257; ++i) {
        CZTPageNode* page = d.Page(p, "x" + std::to_string(i));
        for (int k = 0; k < 255; ++k) d.File(page, "f" + std::to_string(k), "");
    }
    zt::ExportOptions o;
    auto out = zt::ExportToZip(d.doc, t / "big.zip", o, d.prompter);
    EXPECT_EQ(out.result, zt::ExchangeResult::Failed);
    EXPECT_FALSE(fs::exists(t / "big.zip"));
    ASSERT_FALSE(d.prompter.messages.empty());
    EXPECT_NE(d.prompter.messages.back().find("65534"), std::string::npos);
}

TEST(RoundTrip, ExportThenImportGivesTheSameTree) {
    TempDir t;
    Doc d;
    CZTPageNode* a = d.Page(nullptr, "Alpha", "Erster Text \xe4");
    CZTPageNode* b = d.Page(a, "Beta", "Zweiter");
    d.File(b, "daten.bin", std::string("\x00\x01\x02\x03", 4) + std::string(70000, 'z'));
    d.File(a, "leer", "");
    d.Page(a, "Gamma", "Dritter");
    d.Page(nullptr, "Delta", "Vierter");
    // zip with comments: titles, texts and files survive
    zt::ExportOptions o;
    o.content = zt::ExportContent::ZipComments;
    ASSERT_EQ(zt::ExportToZip(d.doc, t / "r.zip", o, d.prompter).result, zt::ExchangeResult::Ok);
    Doc e;
    auto in = zt::ImportZipAsDocument(e.doc, {t / "r.zip"}, e.prompter);
    ASSERT_EQ(in.result, zt::ExchangeResult::Ok);
    EXPECT_EQ(e.doc.Archive().Header().title, "r");
    ASSERT_EQ(e.doc.Tree().RootPages().size(), 1u);
    const CZTPageNode* root = e.doc.Tree().FirstRootPage();
    EXPECT_EQ(e.Shape(root), d.Shape());
    const CZTPageNode* a2 = root->FirstChild();
    EXPECT_EQ(e.Plain(a2), d.Plain(a));
    EXPECT_EQ(e.Plain(a2->FirstChild()), d.Plain(b));
    EXPECT_EQ(*e.doc.Archive().GetFile(a2->FirstChild()->Ident(), "daten.bin").GetText(),
              *d.doc.Archive().GetFile(b->Ident(), "daten.bin").GetText());
    // directory tree with RTF texts, read back as neighbours
    o = {};
    o.format = zt::kFormatRtf;
    auto out = zt::ExportToDirectory(d.doc, t.path(), o, d.prompter);
    ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
    Doc f;
    ASSERT_EQ(zt::ImportDirectoryAsDocument(f.doc, out.written, zt::InsertMode::Neighbours, zt::BinaryChoice::AsFiles,
                                            f.prompter)
                  .result,
              zt::ExchangeResult::Ok);
    // directories take their page's place, text files become pages of their own
    EXPECT_EQ(f.Shape(), "Unbenannt(Delta.rtf Alpha(leer Gamma.rtf Beta[daten.bin](Beta.rtf ) Alpha.rtf ) ) ");
}

TEST(DirectoryImport, OrderBinaryChoicesLinksAndLoops) {
    TempDir t;
    fs::create_directories(t / "in/sub");
    WriteFile(t / "in/a", "A text");
    WriteFile(t / "in/b", "{\\rtf1 B}");
    WriteFile(t / "in/c", std::string("\x01\x02 binary", 9));
    WriteFile(t / "in/sub/umlaut.txt", "Gr\xfc\xdf" "e ohne Steuerzeichen");
    fs::create_directory(t / "secret");
    WriteFile(t / "secret/s.txt", "secret");
    fs::create_directory_symlink(t / "secret", t / "in/out-link");
    fs::create_directory_symlink(t / "in", t / "in/sub/loop");
    struct Case {
        zt::BinaryChoice choice;
        std::string shape;
    };
    const Case cases[] = {
        {zt::BinaryChoice::None, "in(sub(umlaut.txt ) b a ) "},
        {zt::BinaryChoice::All, "in(sub(umlaut.txt ) c b a ) "},
        {zt::BinaryChoice::AsFiles, "in[c](sub(umlaut.txt ) b a ) "},
    };
    for (const Case& c : cases) {
        Doc d;
        auto out = zt::ImportDirectory(d.doc, t / "in", nullptr, zt::InsertMode::Children, c.choice, d.prompter);
        ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
        // neither the link out of the tree nor the loop back to its top is followed
        EXPECT_EQ(d.Shape(), c.shape) << int(c.choice);
    }
    Doc d;
    zt::ImportDirectory(d.doc, t / "in", nullptr, zt::InsertMode::Children, zt::BinaryChoice::All, d.prompter);
    CZTPageNode* in = d.doc.Tree().FirstRootPage();
    EXPECT_EQ(d.doc.PageText(in->Child(2)), "{\\rtf1 B}");
    EXPECT_NE(d.Plain(in->FirstChild()->FirstChild()).find("Gr\xfc\xdf" "e"), std::string::npos);

    // "Alle als Datei aufnehmen" on an empty document first makes "Neuer Eintrag".
    Doc e;
    ASSERT_EQ(zt::ImportDirectory(e.doc, t / "in/c", nullptr, zt::InsertMode::Neighbours, zt::BinaryChoice::AsFiles,
                                  e.prompter)
                  .result,
              zt::ExchangeResult::Ok);
    EXPECT_EQ(e.Shape(), "Neuer Eintrag[c] ");
    // Asking: No takes the file as attached file, Cancel skips it.
    Doc g;
    CZTPageNode* p = g.Page(nullptr, "P");
    g.prompter.threeWayAnswers = {zt::Prompter::Answer::No};
    zt::ImportDirectory(g.doc, t / "in/c", p, zt::InsertMode::Neighbours, zt::BinaryChoice::Ask, g.prompter);
    g.prompter.threeWayAnswers = {zt::Prompter::Answer::Cancel};
    zt::ImportDirectory(g.doc, t / "in/c", p, zt::InsertMode::Neighbours, zt::BinaryChoice::Ask, g.prompter);
    EXPECT_EQ(g.Shape(), "P[c] ");
}

TEST(DocumentImport, DocumentFilesAndTheSpecialDirectory) {
    TempDir t;
    Doc d;
    CZTPageNode* a = d.Page(nullptr, "A", "Text A");
    d.File(a, "f.bin", std::string(3000, 'f'));
    d.Page(a, "B", "Text B");
    ASSERT_TRUE(d.doc.Save(t / "Quelle.ztd"));
    // The special directory: a directory-form copy; the open document stays as it is.
    const std::string dir = zt::ExportSpecialDirectory(d.doc, t.path(), d.prompter);
    ASSERT_EQ(dir, t / "Quelle");
    EXPECT_TRUE(fs::exists(dir + "/Quelle.ztd"));
    EXPECT_TRUE(fs::exists(dir + "/f.bin.gz"));
    EXPECT_FALSE(d.doc.Archive().Core().directoryForm);
    EXPECT_FALSE(d.doc.IsModified());
    Doc s;
    ASSERT_TRUE(s.doc.Open(dir + "/Quelle.ztd"));
    EXPECT_EQ(s.Shape(), d.Shape());
    EXPECT_EQ(*s.doc.Archive().GetFile(s.doc.Tree().FirstRootPage()->Ident(), "f.bin").GetText(), std::string(3000, 'f'));
    // Document files as new pages after the selected one.
    Doc e;
    CZTPageNode* p = e.Page(nullptr, "P");
    e.Page(nullptr, "Q");
    auto out = zt::ImportDocumentFiles(e.doc, {t / "Quelle.ztd", dir + "/Quelle.ztd"}, p, e.prompter);
    ASSERT_EQ(out.result, zt::ExchangeResult::Ok);
    EXPECT_EQ(e.Shape(), "P Quelle.ztd(A[f.bin](B ) ) Quelle.ztd(A[f.bin](B ) ) Q ");
    // A damaged document file: nothing changes.
    WriteFile(t / "kaputt.ztd", "ZT01 damaged");
    const std::string before = e.Shape();
    EXPECT_EQ(zt::ImportDocumentFiles(e.doc, {t / "kaputt.ztd"}, p, e.prompter).result, zt::ExchangeResult::Failed);
    EXPECT_EQ(e.Shape(), before);
}

TEST(ZipExport, FailedOrKilledExportsLeaveNoTemporaryFiles) {
    TempDir t;
    Doc d;
    CZTPageNode* p = d.Page(nullptr, "P", "text");
    d.File(p, "a.bin", std::string(50000, 'a'));
    WriteFile(t / "x.zip", "the old archive");
    // What an export killed half way left: its locked temporary file is
    // free again and goes with the next export of the same name.
    WriteFile(t / ".x.zip.AbC123", "PK half an archive");
    zt::ExportOptions o;
    o.showMessages = false;
    zt::CAtomicFileWriter::SetWriteLimitForTests(100);
    auto out = zt::ExportToZip(d.doc, t / "x.zip", o, d.prompter);
    zt::CAtomicFileWriter::SetWriteLimitForTests(-1);
    EXPECT_EQ(out.result, zt::ExchangeResult::Failed);
    EXPECT_EQ(Tree(t.path()), (std::set<std::string>{"x.zip"}));
    EXPECT_EQ(ReadFile(t / "x.zip"), "the old archive");
    out = zt::ExportToZip(d.doc, t / "x.zip", o, d.prompter);
    EXPECT_EQ(out.result, zt::ExchangeResult::Ok);
    EXPECT_EQ(Tree(t.path()), (std::set<std::string>{"x.zip"}));
    EXPECT_EQ(Members(t / "x.zip"), (std::vector<std::string>{"P/", "P/P.txt", "P/a.bin"}));
}
