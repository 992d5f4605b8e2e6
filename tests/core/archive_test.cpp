#include "base/messages.h"
#include "core/archive.h"
#include "core/docstream.h"
#include "core/serializer.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zt;
namespace fs = std::filesystem;

namespace {

CZTFileRecord FileWith(const std::string& name, const std::string& content) {
    CZTFileRecord f = CZTFileRecord::New(name, "tester");
    f.SetContent(content, "tester");
    return f;
}

std::string FileText(CZTArchive& a, int32_t id, const std::string& name) {
    CZTFileRecord f = a.GetFile(id, name);
    const std::string* t = f.GetText();
    return t ? *t : std::string("<none>");
}

// Makes a directory-form document in `dir`: doc.ztd plus one content file per
// attached file, by writing a plain document and rewriting it in directory form.
std::string MakeDirectoryDocument(const test::TempDir& dir) {
    test::ScriptedPrompter p;
    CZTArchive a(p);
    a.Core().directoryForm = true;
    a.Core().path = dir.path();
    a.Core().tempDirectory = false;
    int32_t id = a.AppendNode();
    CZTPageRecord r = CZTPageRecord::New(a.User());
    r.SetText("page text", a.User());
    a.PutPage(id, r);
    EXPECT_EQ(a.PutFile(id, FileWith("a:b?.txt", "first file")), 1);
    EXPECT_EQ(a.PutFile(id, FileWith("dots...", "second file")), 1);
    CZTPageList pages{{"c", "Seite", id, {}}};
    std::string path = dir / "doc.ztd";
    EXPECT_TRUE(a.Save(path, pages));
    return path;
}

} // namespace

TEST(DirectoryForm, ContentFileNamesFollowTheNameRule) {
    test::TempDir dir;
    MakeDirectoryDocument(dir);
    EXPECT_TRUE(fs::exists(dir / "a-b-.txt.gz"));
    EXPECT_TRUE(fs::exists(dir / "dots...!.gz"));
}

TEST(DirectoryForm, OpenEditSaveKeepsEveryContent) {
    test::TempDir dir;
    std::string path = MakeDirectoryDocument(dir);
    test::ScriptedPrompter p;
    CZTArchive a(p);
    CZTPageList pages;
    ASSERT_TRUE(a.Open(path, pages));
    ASSERT_TRUE(a.Core().directoryForm);
    EXPECT_EQ(FileText(a, 1, "a:b?.txt"), "first file");

    // A new attachment lands in the temp directory until the save.
    ASSERT_EQ(a.PutFile(1, FileWith("neu.txt", "new file")), 1);
    EXPECT_TRUE(fs::exists(dir / "ZTTmp/neu.txt.gz"));
    // Replacing a saved file: the old content file stays until the save.
    ASSERT_EQ(a.PutFile(1, FileWith("a:b?.txt", "changed")), -1);
    EXPECT_TRUE(fs::exists(dir / "a-b-.txt.gz"));
    ASSERT_TRUE(a.DeleteFile(1, "dots..."));
    EXPECT_TRUE(fs::exists(dir / "dots...!.gz"));

    ASSERT_TRUE(a.Save(path, pages));
    // Temp copies moved to their own final names, never onto themselves.
    EXPECT_FALSE(fs::exists(dir / "ZTTmp/neu.txt.gz"));
    EXPECT_TRUE(fs::exists(dir / "neu.txt.gz"));
    EXPECT_FALSE(fs::exists(dir / "dots...!.gz")); // scheduled deletion ran after the save

    test::ScriptedPrompter p2;
    CZTArchive b(p2);
    CZTPageList pages2;
    ASSERT_TRUE(b.Open(path, pages2));
    EXPECT_EQ(FileText(b, 1, "neu.txt"), "new file");
    EXPECT_EQ(FileText(b, 1, "a:b?.txt"), "changed");
    EXPECT_FALSE(b.GetFile(1, "dots...").valid);
    EXPECT_TRUE(p2.messages.empty());

    // Saving twice in a row keeps everything (a second save must not move or
    // delete what the first one placed).
    ASSERT_TRUE(b.Save(path, pages2));
    test::ScriptedPrompter p3;
    CZTArchive c(p3);
    CZTPageList pages3;
    ASSERT_TRUE(c.Open(path, pages3));
    EXPECT_EQ(FileText(c, 1, "neu.txt"), "new file");
    EXPECT_EQ(FileText(c, 1, "a:b?.txt"), "changed");
}

TEST(DirectoryForm, ClosingWithoutSavingKeepsScheduledFiles) {
    test::TempDir dir;
    std::string path = MakeDirectoryDocument(dir);
    {
        test::ScriptedPrompter p;
        CZTArchive a(p);
        CZTPageList pages;
        ASSERT_TRUE(a.Open(path, pages));
        a.DeleteFile(1, "dots...");
        ASSERT_EQ(a.PutFile(1, FileWith("tmp.txt", "t")), 1);
        // A copy written elsewhere is no save of the document.
        ASSERT_TRUE(a.SaveCopy(dir / "copy.ztd", pages, {}));
    }
    EXPECT_TRUE(fs::exists(dir / "dots...!.gz"));
    EXPECT_FALSE(fs::exists(dir / "ZTTmp/tmp.txt.gz")); // temp copies go with the document
}

TEST(DirectoryForm, MissingAndHostileContentFilesAreReportedAndKept) {
    test::TempDir dir;
    std::string path = MakeDirectoryDocument(dir);
    fs::remove(dir / "a-b-.txt.gz");
    // A record whose path leaves the document directory counts as missing.
    const std::string outside = dir.path() + "/../ztout.gz";
    test::WriteFile(outside, "secret");
    std::string bytes = test::ReadFile(path);
    std::string from = "\x0C/dots...!.gz", to = "\x0C/../ztout.gz";
    size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, from.size(), to);
    test::WriteFile(path, bytes);

    test::ScriptedPrompter p;
    CZTArchive a(p);
    CZTPageList pages;
    ASSERT_TRUE(a.Open(path, pages));
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_NE(p.messages[0].find("a:b?.txt"), std::string::npos);
    EXPECT_NE(p.messages[0].find("dots..."), std::string::npos);
    EXPECT_EQ(FileText(a, 1, "a:b?.txt"), "<none>");

    // Deleting the hostile entry never schedules the outside file.
    a.DeleteFile(1, "dots...");
    EXPECT_TRUE(a.Core().scheduledDeletions.empty());

    // A save keeps the missing entry's reference instead of an empty file.
    ASSERT_TRUE(a.Save(path, pages));
    EXPECT_FALSE(fs::exists(dir / "a-b-.txt.gz"));
    test::ScriptedPrompter p2;
    CZTArchive b(p2);
    ASSERT_TRUE(b.Open(path, pages));
    EXPECT_EQ(b.Core().missingContent.size(), 1u);
    EXPECT_TRUE(fs::exists(outside));
    fs::remove(outside);
}

TEST(DirectoryForm, CopiesAreSelfContainedAndInsertable) {
    test::TempDir dir, other;
    std::string path = MakeDirectoryDocument(dir);
    test::ScriptedPrompter p;
    CZTArchive a(p);
    CZTPageList pages;
    ASSERT_TRUE(a.Open(path, pages));
    ASSERT_EQ(a.PutFile(1, FileWith("unsaved.txt", "only in temp")), 1);

    // An export is written inline: it opens anywhere.
    std::string exported = other / "export.ztd";
    ASSERT_TRUE(a.SaveCopy(exported, pages, {}));
    EXPECT_EQ(DetectForm(test::ReadFile(exported)), DocumentForm::Plain);
    fs::remove_all(dir.path());
    fs::create_directories(dir.path());
    test::ScriptedPrompter p2;
    CZTArchive b(p2);
    CZTPageList pages2;
    ASSERT_TRUE(b.Open(exported, pages2));
    EXPECT_EQ(b.Header().title, "Copy of doc");
    EXPECT_EQ(FileText(b, 1, "unsaved.txt"), "only in temp");
    EXPECT_EQ(FileText(b, 1, "a:b?.txt"), "first file");
}

TEST(DirectoryForm, InternalCopyInsertsIntoTheSameDocument) {
    test::TempDir dir;
    std::string path = MakeDirectoryDocument(dir);
    test::ScriptedPrompter p;
    CZTArchive a(p);
    CZTPageList pages;
    ASSERT_TRUE(a.Open(path, pages));
    ASSERT_EQ(a.PutFile(1, FileWith("unsaved.txt", "only in temp")), 1);
    std::string bytes;
    CZTArchive::CopyOptions opt;
    opt.kind = CZTArchive::CopyKind::Internal;
    ASSERT_TRUE(a.WriteCopy(pages, opt, bytes));
    CZTPageList inserted;
    ASSERT_TRUE(a.InsertBytes(bytes, inserted));
    ASSERT_EQ(inserted.size(), 1u);
    int32_t copy = inserted[0].ident;
    EXPECT_EQ(copy, 2);
    EXPECT_EQ(FileText(a, copy, "unsaved.txt"), "only in temp");
    EXPECT_EQ(FileText(a, copy, "dots..."), "second file");
    EXPECT_EQ(a.GetFile(copy, "dots...").createdBy, a.User());
    // The copy has files of its own: deleting the source's changes nothing.
    a.DeleteFile(1, "unsaved.txt");
    EXPECT_EQ(FileText(a, copy, "unsaved.txt"), "only in temp");
    pages.push_back({"n", "Kopie", copy, {}});
    ASSERT_TRUE(a.Save(path, pages));
    test::ScriptedPrompter p2;
    CZTArchive b(p2);
    CZTPageList pages2;
    ASSERT_TRUE(b.Open(path, pages2));
    EXPECT_EQ(FileText(b, 2, "unsaved.txt"), "only in temp");
    EXPECT_EQ(FileText(b, 2, "a:b?.txt"), "first file");
}

TEST(Saving, FailedSaveLeavesTheFileAndStateUntouched) {
    test::TempDir dir;
    test::ScriptedPrompter p;
    CZTArchive a(p);
    int32_t id = a.AppendNode();
    CZTPageRecord r = CZTPageRecord::New(a.User());
    std::string big(1 << 20, 'q');
    uint32_t seed = 12345;
    for (char& c : big) c = char((seed = seed * 1103515245 + 12345) >> 24);
    r.SetText(big, a.User());
    a.PutPage(id, r);
    CZTPageList pages{{"c", "Gross", id, {}}};
    std::string path = dir / "Report.ztd";
    ASSERT_TRUE(a.Save(path, pages));
    EXPECT_EQ(a.Header().title, "Report"); // first save takes the file name as title
    std::string before = test::ReadFile(path);

    a.SetModified();
    r.SetText(big.substr(1000) + "changed", a.User());
    a.PutPage(id, r);
    CZTDiscInfo headerBefore = a.Header();
    CZTDocStream::SetWriteLimitForTests(100000);
    EXPECT_FALSE(a.Save(path, pages));
    CZTDocStream::SetWriteLimitForTests(-1);
    EXPECT_TRUE(test::ReadFile(path) == before);
    EXPECT_TRUE(a.IsModified());
    EXPECT_EQ(a.Header().mtime, headerBefore.mtime);
    EXPECT_FALSE(p.messages.empty());
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename(), "Report.ztd"); // no temporary file left
    ASSERT_TRUE(a.Save(path, pages));
    EXPECT_FALSE(a.IsModified());
}

// A file that cannot be read, is foreign or is damaged half way leaves the
// document that was open exactly as it was: pages, name and modified state.
TEST(Opening, FailedOpenKeepsTheOpenDocument) {
    test::TempDir dir;
    const std::string good = dir / "good.ztd";
    {
        test::ScriptedPrompter p;
        CZTArchive a(p);
        const int32_t id = a.AppendNode();
        CZTPageRecord r = CZTPageRecord::New("anna");
        r.SetText(std::string(5000, 'x') + "Inhalt", "anna");
        ASSERT_TRUE(a.PutPage(id, r));
        ASSERT_TRUE(a.Save(good, {{"c", "Seite", id, {}}}));
    }
    const std::string bytes = test::ReadFile(good);
    test::WriteFile(dir / "foreign.ztd", "PK\x03\x04 ein Zip-Archiv, kein Dokument");
    test::WriteFile(dir / "cut.ztd", bytes.substr(0, bytes.size() * 2 / 3));

    test::ScriptedPrompter p;
    CZTArchive a(p);
    CZTPageList pages;
    ASSERT_TRUE(a.Open(good, pages));
    a.SetModified();
    const int32_t nodes = a.Core().NodeCount();
    std::vector<CZTRevisionKey> before;
    a.Core().history.ListRevisions(before);
    ASSERT_EQ(before.size(), 1u);
    // The message: the table's text, the file, the reason in German; the
    // reader's English detail only in lastError.
    const std::string damaged = zt::MessageText(zt::Msg::FileDamaged);
    const struct {
        const char* file;
        std::string message;
    } cases[] = {
        {"foreign.ztd", damaged + "\n" + (dir / "foreign.ztd") + "\n" + zt::MessageText(zt::Msg::ReasonNotADocument)},
        {"cut.ztd", damaged + "\n" + (dir / "cut.ztd") + "\n" + zt::MessageText(zt::Msg::ReasonTruncated)},
        {"none.ztd", ""},
    };
    for (const auto& c : cases) {
        const char* bad = c.file;
        p.messages.clear();
        EXPECT_FALSE(a.Open(dir / bad, pages)) << bad;
        ASSERT_EQ(p.messages.size(), 1u) << bad;
        if (!c.message.empty()) {
            EXPECT_EQ(p.messages[0], c.message);
            EXPECT_FALSE(a.lastError.empty());
        }
        EXPECT_TRUE(pages.empty());
        EXPECT_EQ(a.FilePath(), good) << bad;
        EXPECT_TRUE(a.IsModified()) << bad;
        ASSERT_EQ(a.Core().NodeCount(), nodes) << bad;
        const CZTPageRecord page = a.GetPage(1);
        ASSERT_NE(page.GetText(), nullptr) << bad;
        EXPECT_EQ(*page.GetText(), std::string(5000, 'x') + "Inhalt") << bad;
        std::vector<CZTRevisionKey> now;
        a.Core().history.ListRevisions(now);
        EXPECT_EQ(now, before) << bad;
    }
    EXPECT_EQ(p.messages.back().rfind("Das Dokument konnte nicht geöffnet werden", 0), 0u);
    // The kept document still saves whole, with its revisions.
    ASSERT_TRUE(a.Save(good, {{"c", "Seite", 1, {}}}));
    ASSERT_TRUE(a.Open(good, pages));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].title, "Seite");
    ASSERT_NE(a.GetPage(1).GetText(), nullptr);
    EXPECT_EQ(*a.GetPage(1).GetText(), std::string(5000, 'x') + "Inhalt");
    std::vector<CZTRevisionKey> revisions;
    a.Core().history.ListRevisions(revisions);
    EXPECT_GE(revisions.size(), 1u);
}

TEST(Opening, InsertStampsPagesAndFiles) {
    test::TempDir dir;
    std::string path = dir / "src.ztd";
    {
        test::ScriptedPrompter p;
        CZTArchive a(p);
        int32_t id = a.AppendNode();
        CZTPageRecord r = CZTPageRecord::New("someone");
        r.ctime = 1000;
        r.SetText("x", "someone");
        a.PutPage(id, r);
        CZTFileRecord f = FileWith("f.txt", "y");
        f.createdBy = "someone";
        f.ctime = 1000;
        a.PutFile(id, f);
        CZTPageList pages{{"c", "P", id, {}}};
        ASSERT_TRUE(a.Save(path, pages));
    }
    test::ScriptedPrompter p;
    CZTArchive a(p);
    a.AppendNode();
    CZTPageList pages;
    ASSERT_TRUE(a.Insert(path, pages));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].ident, 2);
    CZTPageRecord r = a.GetPage(2);
    EXPECT_EQ(r.createdBy, a.User());
    EXPECT_GT(r.ctime, 1000);
    EXPECT_EQ(r.modifiedBy, "someone");
    EXPECT_EQ(a.GetFile(2, "f.txt").createdBy, a.User());
    EXPECT_TRUE(a.IsModified());
}

TEST(DirectoryForm, RefusedSaveRunsNoScheduledDeletion) {
    test::TempDir dir;
    std::string path = MakeDirectoryDocument(dir);
    test::ScriptedPrompter p;
    CZTArchive a(p);
    CZTPageList pages;
    ASSERT_TRUE(a.Open(path, pages));
    const std::string before = test::ReadFile(path);
    a.DeleteFile(1, "dots...");
    ASSERT_EQ(a.PutFile(1, FileWith("x.txt", "x")), 1);
    // The temp copy vanishes behind the program's back: the writer cannot place it.
    fs::remove(dir / "ZTTmp/x.txt.gz");
    p.answers = {false}; // "Trotzdem Speichern?" No
    EXPECT_FALSE(a.Save(path, pages));
    EXPECT_TRUE(test::ReadFile(path) == before);
    EXPECT_TRUE(fs::exists(dir / "dots...!.gz"));
    EXPECT_EQ(p.questions.size(), 1u);
}
