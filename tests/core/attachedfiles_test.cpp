// Attached files without windows: binary test, names, the conflict rule,
// importing directory trees, exporting, temporary copies.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "base/messages.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

using namespace zt;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

namespace {

// Answers conflicts from a script and records the names asked about.
class ScriptedAsker : public ConflictAsker {
public:
    std::deque<std::pair<ConflictAnswer, std::string>> script; // answer, edited name ("" keeps it)
    std::vector<std::string> asked;
    ConflictAnswer Ask(std::string& name, const std::string&) override {
        asked.push_back(name);
        if (script.empty()) return ConflictAnswer::Cancel;
        auto [answer, edit] = script.front();
        script.pop_front();
        if (!edit.empty()) name = edit;
        return answer;
    }
};

std::string Content(CZTDocument& doc, CZTPageNode* page, const std::string& name) {
    CZTFileRecord r = doc.Archive().GetFile(page->Ident(), name);
    const std::string* t = r.valid ? r.GetText() : nullptr;
    return t ? *t : "<none>";
}

std::vector<std::string> Names(CZTDocument& doc, CZTPageNode* page) {
    std::vector<std::string> out;
    int32_t pos = 0;
    for (int i = 0; i < doc.Archive().FileCount(page->Ident()); ++i) out.push_back(doc.Archive().FileName(page->Ident(), pos));
    std::sort(out.begin(), out.end());
    return out;
}

struct AttachedFiles : ::testing::Test {
    test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    CZTPageNode* page = nullptr;
    TempDir dir;
    void SetUp() override { page = doc.AddPage(nullptr, "Seite"); }
};

} // namespace

TEST(LooksBinary, FirstSixtyBytesDecide) {
    struct Case {
        std::string head;
        FileKind kind;
    } cases[] = {
        {"plain text\r\n\twith tabs", FileKind::Text},
        {"Gr\xF6\xDF" "e \xE4\xFC", FileKind::Text}, // umlauts of the ANSI code page
        {std::string("a\0b", 3), FileKind::Binary},
        {"a\x7F", FileKind::Binary},
        {"\x1B[0m", FileKind::Binary},
        {"{\\rtf1\\ansi hello}", FileKind::Rtf},
        {"{\\rtf2", FileKind::Text},
        {"", FileKind::Text},
        {std::string(60, 'x') + std::string("\0", 1), FileKind::Text}, // beyond the 60 bytes
    };
    for (const Case& c : cases) EXPECT_EQ(LooksBinary(c.head), c.kind) << c.head;
}

TEST(LooksBinary, FilesAndUnreadableFiles) {
    TempDir d;
    WriteFile(d / "t.rtf", "{\\rtf1 x}");
    WriteFile(d / "b.bin", std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(LooksBinaryFile(d / "t.rtf"), FileKind::Rtf);
    EXPECT_EQ(LooksBinaryFile(d / "b.bin"), FileKind::Binary);
    EXPECT_EQ(LooksBinaryFile(d / "missing"), FileKind::Binary);
    EXPECT_EQ(LooksBinaryFile(d.path()), FileKind::Binary);
}

TEST(SafeDiskName, ReplacesWhatTheDiskRefuses) {
    EXPECT_EQ(SafeDiskName("a/b:c.txt"), "a-b-c.txt");
    EXPECT_EQ(SafeDiskName(".."), "..!");
    EXPECT_EQ(SafeDiskName(""), "!");
    EXPECT_EQ(SafeDiskName("x\ny"), "x-y");
    EXPECT_EQ(SafeDiskName("\xE4.txt"), "\xC3\xA4.txt"); // Windows-1252 to UTF-8
    std::string longName = SafeDiskName(std::string(300, '\xE4') + ".txt");
    EXPECT_LE(longName.size(), 200u);
    EXPECT_EQ(longName.substr(longName.size() - 4), ".txt");
}

TEST_F(AttachedFiles, UniqueNamesWithinThePage) {
    ASSERT_TRUE(StoreFile(doc, page, "a.txt", "1", 10));
    ASSERT_TRUE(StoreFile(doc, page, "a (#1).txt", "2", 10));
    ASSERT_TRUE(StoreFile(doc, page, "readme", "3", 10));
    EXPECT_EQ(MakeUniqueFileName(doc, page->Ident(), "a.txt"), "a (#2).txt");
    EXPECT_EQ(MakeUniqueFileName(doc, page->Ident(), "readme"), "readme (#1)");
    EXPECT_EQ(MakeUniqueFileName(doc, page->Ident(), "free.txt"), "free.txt");
}

TEST_F(AttachedFiles, StoreFileMarksAndKeepsTheCreator) {
    doc.Tree().ApplyMark(page, CZTMarkEvent::Reset);
    ASSERT_TRUE(StoreFile(doc, page, "a.txt", "one", 100));
    CZTFileRecord first = doc.Archive().GetFile(page->Ident(), "a.txt");
    EXPECT_EQ(first.mtime, 100);
    EXPECT_EQ(page->Mark(), 2); // files changed
    EXPECT_TRUE(doc.IsModified());
    ASSERT_TRUE(StoreFile(doc, page, "a.txt", "two", 0));
    CZTFileRecord second = doc.Archive().GetFile(page->Ident(), "a.txt");
    EXPECT_EQ(second.ctime, 100);
    EXPECT_EQ(second.mtime, 1); // a non-positive time is stored as 1
    EXPECT_EQ(Content(doc, page, "a.txt"), "two");
}

TEST_F(AttachedFiles, ImportTwiceUniqueThenAllOverwrite) {
    WriteFile(dir / "a.txt", "A1");
    WriteFile(dir / "b.txt", "B1");
    ConflictResolver first;
    EXPECT_EQ(ImportFiles(doc, page, {dir / "a.txt", dir / "b.txt"}, first, prompter).imported, 2);

    // Second batch: "Eindeutig" for a.txt, then "Alle überschreiben" for b.txt.
    WriteFile(dir / "a.txt", "A2");
    WriteFile(dir / "b.txt", "B2");
    ScriptedAsker asker;
    asker.script = {{ConflictAnswer::Unique, ""}, {ConflictAnswer::OverwriteAll, ""}};
    ConflictResolver second(&asker);
    EXPECT_EQ(ImportFiles(doc, page, {dir / "a.txt", dir / "b.txt"}, second, prompter).imported, 2);
    EXPECT_EQ(Names(doc, page), (std::vector<std::string>{"a (#1).txt", "a.txt", "b.txt"}));
    EXPECT_EQ(Content(doc, page, "a (#1).txt"), "A2");
    EXPECT_EQ(Content(doc, page, "b.txt"), "B2");

    // The answer for all holds for the rest of the batch: no more questions.
    WriteFile(dir / "a.txt", "A3");
    EXPECT_TRUE(ImportFile(doc, page, dir / "a.txt", "a.txt", second, prompter));
    EXPECT_EQ(asker.asked.size(), 2u);
    EXPECT_EQ(Content(doc, page, "a.txt"), "A3");

    // A third batch with plain "Eindeutig" gives a (#2).txt.
    ScriptedAsker again;
    again.script = {{ConflictAnswer::Unique, ""}};
    ConflictResolver third(&again);
    EXPECT_TRUE(ImportFile(doc, page, dir / "a.txt", "a.txt", third, prompter));
    EXPECT_EQ(Content(doc, page, "a (#2).txt"), "A3");
}

TEST_F(AttachedFiles, ConflictRetrySkipAndCancel) {
    StoreFile(doc, page, "a.txt", "old", 5);
    StoreFile(doc, page, "b.txt", "old", 5);
    WriteFile(dir / "a.txt", "new");
    WriteFile(dir / "b.txt", "new");
    WriteFile(dir / "c.txt", "new");
    ScriptedAsker asker;
    // a.txt: retry with a name that is taken too, then with a free one.
    // b.txt: skip. Then the batch ends before... nothing: c.txt has no conflict.
    asker.script = {{ConflictAnswer::Retry, "b.txt"}, {ConflictAnswer::Retry, "z.txt"}, {ConflictAnswer::Skip, ""}};
    ConflictResolver r(&asker);
    ImportResult res = ImportFiles(doc, page, {dir / "a.txt", dir / "b.txt", dir / "c.txt"}, r, prompter);
    EXPECT_EQ(res.imported, 2);
    EXPECT_FALSE(res.cancelled);
    EXPECT_EQ(Content(doc, page, "z.txt"), "new");
    EXPECT_EQ(Content(doc, page, "b.txt"), "old");
    EXPECT_EQ(Content(doc, page, "c.txt"), "new");

    ScriptedAsker canceller;
    canceller.script = {{ConflictAnswer::Cancel, ""}};
    ConflictResolver c(&canceller);
    WriteFile(dir / "d.txt", "d");
    res = ImportFiles(doc, page, {dir / "a.txt", dir / "d.txt"}, c, prompter);
    EXPECT_TRUE(res.cancelled);
    EXPECT_EQ(res.imported, 0);
    EXPECT_EQ(Content(doc, page, "a.txt"), "old");
    EXPECT_EQ(Content(doc, page, "d.txt"), "<none>");
}

TEST_F(AttachedFiles, DirectoriesBecomePagesInOrder) {
    namespace fs = std::filesystem;
    const std::string top = dir / "Top";
    fs::create_directories(top + "/B/deep");
    fs::create_directories(top + "/A");
    WriteFile(top + "/top.txt", "t");
    WriteFile(top + "/A/a1.txt", "a1");
    WriteFile(top + "/A/a2.txt", "a2");
    WriteFile(top + "/B/b.txt", "b");
    WriteFile(top + "/B/deep/d.txt", "d");
    WriteFile(dir / "outside.txt", "secret");
    fs::create_symlink(dir / "outside.txt", top + "/link-out.txt");
    fs::create_symlink(top + "/top.txt", top + "/link-in.txt");
    fs::create_directory_symlink(dir.path(), top + "/A/loop");
    ASSERT_EQ(::mkfifo((top + "/fifo").c_str(), 0600), 0);

    ConflictResolver r;
    ImportResult res = ImportFiles(doc, page, {top}, r, prompter);
    EXPECT_EQ(res.pages, 4);
    EXPECT_EQ(res.imported, 6);
    ASSERT_EQ(page->ChildCount(), 1u);
    CZTPageNode* t = page->FirstChild();
    EXPECT_EQ(t->Title(), "Top");
    EXPECT_EQ(Names(doc, t), (std::vector<std::string>{"link-in.txt", "top.txt"}));
    ASSERT_EQ(t->ChildCount(), 2u);
    EXPECT_EQ(t->Child(0)->Title(), "A");
    EXPECT_EQ(t->Child(1)->Title(), "B");
    EXPECT_EQ(Names(doc, t->Child(0)), (std::vector<std::string>{"a1.txt", "a2.txt"}));
    ASSERT_EQ(t->Child(1)->ChildCount(), 1u);
    EXPECT_EQ(Content(doc, t->Child(1)->FirstChild(), "d.txt"), "d");
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(AttachedFiles, DepthAndPathLengthAreCapped) {
    namespace fs = std::filesystem;
    std::string deep = dir / "L0";
    for (int i = 1; i <= 5; ++i) deep += "/L" + std::to_string(i);
    fs::create_directories(deep);
    ImportOptions opt;
    opt.maxDepth = 2;
    ConflictResolver r;
    EXPECT_EQ(ImportFiles(doc, page, {dir / "L0"}, r, prompter, opt).pages, 3);

    // Entries whose path is too long are left out; a directory given at the
    // top with such a path is reported.
    fs::create_directory(dir / "D");
    WriteFile(dir / "D/short", "x");
    WriteFile(dir / "D/a-much-longer-name", "x");
    opt.maxPathLength = (dir / "D/short").size();
    ImportResult res = ImportFiles(doc, page, {dir / "D"}, r, prompter, opt);
    EXPECT_EQ(res.imported, 1);
    EXPECT_TRUE(prompter.messages.empty());
    opt.maxPathLength = 5;
    EXPECT_EQ(ImportFiles(doc, page, {dir / "D"}, r, prompter, opt).pages, 0);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], FormatMessage(Msg::FileLoadError, {dir / "D"}));
}

TEST_F(AttachedFiles, UnreadableFileIsReported) {
    ConflictResolver r;
    EXPECT_FALSE(ImportFile(doc, page, dir / "none.txt", "none.txt", r, prompter));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "Fehler beim Laden der Datei:\n" + (dir / "none.txt"));
    EXPECT_FALSE(doc.Archive().GetFile(page->Ident(), "none.txt").valid);
}

TEST_F(AttachedFiles, ExportIntoAFolderWithUniqueNamesOnDisk) {
    StoreFile(doc, page, "a.txt", "A", 5);
    StoreFile(doc, page, "b/c.txt", "C", 5);
    StoreFile(doc, page, "d.txt", "D", 5);
    const std::string out = dir / "out";
    std::filesystem::create_directory(out);
    WriteFile(out + "/a.txt", "on disk");
    WriteFile(out + "/d.txt", "on disk");
    ScriptedAsker asker;
    asker.script = {{ConflictAnswer::UniqueAll, ""}};
    ConflictResolver r(&asker);
    EXPECT_EQ(ExportFiles(doc, page->Ident(), {"a.txt", "b/c.txt", "d.txt"}, out, r, prompter), 3);
    EXPECT_EQ(asker.asked.size(), 1u);
    EXPECT_EQ(ReadFile(out + "/a.txt"), "on disk");
    EXPECT_EQ(ReadFile(out + "/a (#1).txt"), "A");
    EXPECT_EQ(ReadFile(out + "/b-c.txt"), "C");
    EXPECT_EQ(ReadFile(out + "/d (#1).txt"), "D");

    EXPECT_FALSE(ExportFile(doc, page->Ident(), "nope", out + "/x", prompter));
    EXPECT_EQ(prompter.messages.back(), "Datei 'nope' nicht gefunden.");
}

TEST_F(AttachedFiles, TempCopiesHaveTheirOwnPaths) {
    CZTPageNode* other = doc.AddPage(nullptr, "Andere");
    StoreFile(doc, page, "same.txt", "one", 5);
    StoreFile(doc, other, "same.txt", "two", 5);
    std::string p1, p2, dirPath;
    {
        CZTTempFiles temps;
        p1 = WriteTempCopy(doc, page->Ident(), "same.txt", temps, prompter);
        p2 = WriteTempCopy(doc, other->Ident(), "same.txt", temps, prompter);
        ASSERT_FALSE(p1.empty());
        ASSERT_FALSE(p2.empty());
        EXPECT_NE(p1, p2);
        EXPECT_EQ(ReadFile(p1), "one");
        EXPECT_EQ(ReadFile(p2), "two");
        dirPath = temps.Directory(false);
        struct stat st;
        ASSERT_EQ(::stat(dirPath.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        temps.Remove(p1);
        EXPECT_FALSE(std::filesystem::exists(p1));
        EXPECT_EQ(temps.Paths(), std::vector<std::string>{p2});
        EXPECT_TRUE(WriteTempCopy(doc, page->Ident(), "missing", temps, prompter).empty());
        EXPECT_EQ(prompter.messages.back(), "Datei 'missing' nicht gefunden.");
    }
    EXPECT_FALSE(std::filesystem::exists(p2));
    EXPECT_FALSE(std::filesystem::exists(dirPath));
}

TEST_F(AttachedFiles, PrivateCopiesGoToTheRuntimeDirectory) {
    TempDir runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    CZTTempFiles temps;
    std::string p = temps.NewPath("x.txt", true);
    if (old) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.rfind(runtime.path() + "/zettrix-files-", 0), 0u);
    struct stat st;
    ASSERT_EQ(::stat(temps.Directory(true).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    temps.Clear();
    EXPECT_FALSE(std::filesystem::exists(p));
}

TEST_F(AttachedFiles, ReadBack) {
    StoreFile(doc, page, "a.txt", "old", 5);
    WriteFile(dir / "changed", "new content");
    EXPECT_TRUE(ReadBackFile(doc, page, "a.txt", dir / "changed", prompter));
    EXPECT_EQ(Content(doc, page, "a.txt"), "new content");
}
