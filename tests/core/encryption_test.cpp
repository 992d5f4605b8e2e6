// Encrypted documents end to end: the open flow with its credentials, the
// encrypted remainder, copies, older key areas and the directory form.
#include "base/bytes.h"
#include "base/messages.h"
#include "base/names.h"
#include "core/archive.h"
#include "core/compress.h"
#include "core/docstream.h"
#include "core/document.h"
#include "core/extbytes.h"
#include "core/serializer.h"
#include "security/crypto.h"
#include "security/keyring.h"
#include "security/textforms.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zt;
namespace fs = std::filesystem;

namespace {

const std::string kKeyMacBad = MessageText(Msg::KeyMacBad);
const std::string kDataMacBad = MessageText(Msg::DataMacBad);
const std::string kEncrypted = MessageText(Msg::DocumentEncrypted);

// The independently built direct block of an older document (see
// tests/security/keyring_fixtures.py): name "Carol", password "pw-carol",
// 1500 iterations, content mode 1, IV 20..2f.
const char kDirectArea[] =
    "010000000100010011a1437af9a6e440a74005358ee19710dc05000020000000202122232425262728292a2b2c2d2e2f9999"
    "9999999999999999999999999999";
const char kDirectKey[] = "90b0ab5f744f99f8560d13fc05c5f9fc4c6b67ce1c44a946ccda3d3f19ed8360";

std::string Bin(std::string_view hex) { return *HexDecode(hex); }

CZTFileRecord FileWith(const std::string& name, const std::string& content) {
    CZTFileRecord f = CZTFileRecord::New(name, "tester");
    f.SetContent(content, "tester");
    return f;
}

std::string Text(CZTArchive& a, int32_t id) {
    CZTPageRecord r = a.GetPage(id);
    const std::string* t = r.GetText();
    return t ? *t : std::string("<none>");
}

std::string FileText(CZTArchive& a, int32_t id, const std::string& name, std::string* error = nullptr) {
    CZTFileRecord f = a.GetFile(id, name);
    const std::string* t = f.GetText(error);
    return t ? *t : std::string("<none>");
}

using Answer = std::optional<std::pair<std::string, std::string>>;
Answer As(std::string name, std::string password) { return std::make_pair(std::move(name), std::move(password)); }

// A document of two pages, one with an attached file.
CZTPageList Fill(CZTArchive& a) {
    int32_t p1 = a.AppendNode(), p2 = a.AppendNode();
    CZTPageRecord r = CZTPageRecord::New(a.User());
    r.SetText("{\\rtf1 geheimer Seitentext}", a.User());
    a.PutPage(p1, r);
    r.SetText("{\\rtf1 zweite Seite}", a.User());
    a.PutPage(p2, r);
    EXPECT_EQ(a.PutFile(p1, FileWith("plan.txt", "Inhalt der Datei")), 1);
    return {{"c", "Erste", p1, {}}, {"n", "Zweite", p2, {}}};
}

// The key area stored in a document file's ext bytes.
std::string KeyAreaOf(const std::string& file) {
    size_t at = file.find("ZT04");
    if (at == std::string::npos) return {};
    uint32_t n = GetLE32(file.data() + at + 4);
    std::string_view area;
    if (!FindExtItem(std::string_view(file).substr(at + 8, n), kExtKeyArea, area)) return {};
    return std::string(area);
}

// Where the encrypted remainder starts (after "ZT06").
size_t RemainderStart(const std::string& file) {
    size_t at = file.find("ZT06");
    return at == std::string::npos ? std::string::npos : at + 4;
}

// Saves an encrypted document for Alice and returns its path.
std::string SaveEncrypted(const test::TempDir& dir, const std::string& name = "doc.ztd") {
    test::ScriptedPrompter p;
    CZTArchive a(p);
    CZTPageList pages = Fill(a);
    EXPECT_TRUE(a.KeyRing().CreateEncryption(CredentialsFromUtf8("Alice", "pw-älice")));
    std::string path = dir / name;
    EXPECT_TRUE(a.Save(path, pages));
    EXPECT_TRUE(p.messages.empty());
    return path;
}

bool OpenAs(const std::string& path, std::vector<Answer> answers, test::ScriptedPrompter& p, CZTArchive& a) {
    p.credentials.assign(answers.begin(), answers.end());
    CZTPageList pages;
    return a.Open(path, pages);
}

} // namespace

// Opening another encrypted document and giving up at its password keeps the
// open one with its keys: it still saves encrypted under its own key.
TEST(Encryption, CancelledOpenOfAnotherDocumentKeepsTheKeys) {
    test::TempDir dir;
    const std::string mine = SaveEncrypted(dir, "mine.ztd");
    const std::string other = SaveEncrypted(dir, "other.ztd");
    test::ScriptedPrompter p;
    CZTArchive a(p);
    ASSERT_TRUE(OpenAs(mine, {As("Alice", "pw-älice")}, p, a));
    const SecureBytes key = a.KeyRing().DocumentKey();
    p.messages.clear();
    EXPECT_FALSE(OpenAs(other, {As("Alice", "falsch"), std::nullopt}, p, a));
    EXPECT_EQ(a.FilePath(), mine);
    EXPECT_EQ(a.KeyRing().State(), CZtKeyRing::kUnlocked);
    EXPECT_EQ(a.KeyRing().DocumentKey(), key);
    EXPECT_EQ(Text(a, 1), "{\\rtf1 geheimer Seitentext}");
    CZTPageList pages{{"c", "Erste", 1, {}}, {"n", "Zweite", 2, {}}};
    ASSERT_TRUE(a.Save(mine, pages));
    test::ScriptedPrompter p2;
    CZTArchive b(p2);
    ASSERT_TRUE(OpenAs(mine, {As("Alice", "pw-älice")}, p2, b));
    EXPECT_EQ(b.KeyRing().DocumentKey(), key);
    EXPECT_EQ(FileText(b, 1, "plan.txt"), "Inhalt der Datei");
}

TEST(Encryption, SaveAndReopenWithTheRightPassword) {
    test::TempDir dir;
    const std::string path = SaveEncrypted(dir);
    const std::string file = test::ReadFile(path);
    EXPECT_EQ(DetectForm(file), DocumentForm::Encrypted);
    // Nothing of the body is on disk in clear: no title, file name or buffer.
    EXPECT_EQ(file.find("Erste"), std::string::npos);
    EXPECT_EQ(file.find("plan.txt"), std::string::npos);
    EXPECT_EQ(file.find(CompressBuffer("Inhalt der Datei").substr(8)), std::string::npos);
    EXPECT_EQ(KeyAreaOf(file).size(), CZtKeyRing::kBlockSize);

    test::ScriptedPrompter p;
    CZTArchive a(p);
    ASSERT_TRUE(OpenAs(path, {As("Alice", "pw-älice")}, p, a));
    EXPECT_TRUE(p.messages.empty());
    ASSERT_EQ(p.credentialQuestions.size(), 1u);
    EXPECT_EQ(p.credentialQuestions[0].document, "doc.ztd");
    EXPECT_EQ(a.KeyRing().State(), CZtKeyRing::kUnlocked);
    EXPECT_EQ(Text(a, 1), "{\\rtf1 geheimer Seitentext}");
    EXPECT_EQ(FileText(a, 1, "plan.txt"), "Inhalt der Datei");

    // Saved again, it stays encrypted under the same document key.
    const SecureBytes key = a.KeyRing().DocumentKey();
    CZTPageList pages{{"c", "Erste", 1, {}}, {"n", "Zweite", 2, {}}};
    ASSERT_TRUE(a.Save(path, pages));
    test::ScriptedPrompter p2;
    CZTArchive b(p2);
    ASSERT_TRUE(OpenAs(path, {As("Alice", "pw-älice")}, p2, b));
    EXPECT_EQ(b.KeyRing().DocumentKey(), key);
    EXPECT_EQ(Text(b, 2), "{\\rtf1 zweite Seite}");
}

TEST(Encryption, OpenAsksAgainAfterEveryFailedAttempt) {
    test::TempDir dir;
    const std::string path = SaveEncrypted(dir);
    // A wrong password for a known name is reported, an unknown name is not.
    test::ScriptedPrompter p;
    CZTArchive a(p);
    ASSERT_TRUE(OpenAs(path, {As("Alice", "falsch"), As("Mallory", "pw-älice"), As("Alice", "pw-älice")}, p, a));
    EXPECT_EQ(p.messages, std::vector<std::string>{kKeyMacBad});
    ASSERT_EQ(p.credentialQuestions.size(), 3u);
    EXPECT_EQ(p.credentialQuestions[2].attempt, 3);
    EXPECT_EQ(Text(a, 1), "{\\rtf1 geheimer Seitentext}");

    // Cancelling leaves a new, empty, unencrypted document.
    test::ScriptedPrompter q;
    CZTArchive b(q);
    EXPECT_FALSE(OpenAs(path, {As("Mallory", "x"), std::nullopt}, q, b));
    EXPECT_EQ(q.messages, std::vector<std::string>{kEncrypted});
    EXPECT_EQ(b.Core().NodeCount(), 1);
    EXPECT_FALSE(b.IsEncrypted());
    EXPECT_TRUE(b.FilePath().empty());
}

TEST(Encryption, SecondNameOpensUntilItIsRemoved) {
    test::TempDir dir;
    const std::string path = SaveEncrypted(dir);
    const CZtCredentials alice = CredentialsFromUtf8("Alice", "pw-älice"), bob = CredentialsFromUtf8("Bob", "pw-bob");
    CZTPageList pages{{"c", "Erste", 1, {}}, {"n", "Zweite", 2, {}}};
    {
        test::ScriptedPrompter p;
        CZTArchive a(p);
        ASSERT_TRUE(OpenAs(path, {As("Alice", "pw-älice")}, p, a));
        ASSERT_TRUE(a.KeyRing().AddCredentials(alice, bob));
        ASSERT_TRUE(a.Save(path, pages));
    }
    // Every block of the saved area carries the same IV and content mode 2.
    const std::string area = KeyAreaOf(test::ReadFile(path));
    ASSERT_EQ(area.size(), 2 * CZtKeyRing::kBlockSize);
    EXPECT_EQ(area.substr(32, 16), area.substr(152 + 32, 16));
    EXPECT_EQ(GetLE32(area.data()), 2u);
    EXPECT_EQ(GetLE32(area.data() + 152), 2u);
    {
        test::ScriptedPrompter p;
        CZTArchive a(p);
        ASSERT_TRUE(OpenAs(path, {As("Bob", "pw-bob")}, p, a));
        EXPECT_EQ(a.KeyRing().CurrentBlock(), 1u);
        EXPECT_EQ(Text(a, 1), "{\\rtf1 geheimer Seitentext}");
        // The current block cannot go; an empty name removes nothing.
        EXPECT_FALSE(a.KeyRing().RemoveCredentials(bob, bob));
        EXPECT_FALSE(a.KeyRing().RemoveCredentials(bob, CredentialsFromUtf8("", "")));
        ASSERT_TRUE(a.KeyRing().RemoveCredentials(bob, alice));
        ASSERT_TRUE(a.Save(path, pages));
    }
    test::ScriptedPrompter p;
    CZTArchive a(p);
    EXPECT_FALSE(OpenAs(path, {As("Alice", "pw-älice"), std::nullopt}, p, a));
    EXPECT_EQ(p.messages, std::vector<std::string>{kEncrypted}); // unknown name: no key message
    test::ScriptedPrompter q;
    CZTArchive b(q);
    EXPECT_TRUE(OpenAs(path, {As("Bob", "pw-bob")}, q, b));
}

TEST(Encryption, AFlippedByteInTheRemainderIsRefused) {
    test::TempDir dir;
    const std::string path = SaveEncrypted(dir);
    const std::string file = test::ReadFile(path);
    const size_t start = RemainderStart(file);
    ASSERT_NE(start, std::string::npos);
    const size_t n = file.size();
    // First and last cipher bytes, one in between, and both ends of the tag.
    for (size_t at : {start, (start + n) / 2, n - 17, n - 16, n - 1}) {
        std::string damaged = file;
        damaged[at] ^= 0x20;
        test::WriteFile(path, damaged);
        test::ScriptedPrompter p;
        CZTArchive a(p);
        EXPECT_FALSE(OpenAs(path, {As("Alice", "pw-älice")}, p, a)) << at;
        EXPECT_EQ(p.messages, std::vector<std::string>{kDataMacBad}) << at;
        EXPECT_EQ(a.Core().NodeCount(), 1) << at; // nothing of it was loaded
        EXPECT_FALSE(a.IsEncrypted());
    }
    // A remainder cut short by a block fails its tag; one that is no longer
    // whole blocks is damaged.
    struct Cut {
        size_t bytes;
        std::string message;
    } cuts[] = {{16, kDataMacBad}, {1, MessageText(Msg::FileDamaged)}};
    for (const auto& cut : cuts) {
        test::WriteFile(path, file.substr(0, n - cut.bytes));
        test::ScriptedPrompter p;
        CZTArchive a(p);
        EXPECT_FALSE(OpenAs(path, {As("Alice", "pw-älice")}, p, a));
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].rfind(cut.message, 0), 0u) << p.messages[0];
        EXPECT_EQ(a.Core().NodeCount(), 1);
    }
}

TEST(Encryption, CopiesAreWrittenUnencrypted) {
    test::TempDir dir;
    const std::string path = SaveEncrypted(dir);
    test::ScriptedPrompter p;
    CZTArchive a(p);
    ASSERT_TRUE(OpenAs(path, {As("Alice", "pw-älice")}, p, a));
    a.SetExtItem(-1, kExtTreeBackground, std::string(144, '\x07'));
    CZTPageList pages{{"c", "Erste", 1, {}}, {"n", "Zweite", 2, {}}};

    std::string bytes;
    ASSERT_TRUE(a.WriteCopy(pages, {}, bytes));
    EXPECT_EQ(DetectForm(bytes), DocumentForm::Plain);
    EXPECT_EQ(KeyAreaOf(bytes), "");
    std::string_view area;
    EXPECT_FALSE(a.GetExtItem(-1, kExtKeyArea, area)); // the next encrypted save stores it again
    ASSERT_TRUE(a.SaveCopy(dir / "copy.ztd", pages, {}));
    test::ScriptedPrompter q;
    CZTArchive b(q);
    ASSERT_TRUE(OpenAs(dir / "copy.ztd", {}, q, b));
    EXPECT_TRUE(q.credentialQuestions.empty());
    EXPECT_EQ(FileText(b, 1, "plan.txt"), "Inhalt der Datei");

    // The pages of a plain copy go back into the encrypted document.
    CZTPageList inserted;
    ASSERT_TRUE(a.InsertBytes(bytes, inserted));
    ASSERT_EQ(inserted.size(), 2u);
    EXPECT_EQ(Text(a, inserted[0].ident), "{\\rtf1 geheimer Seitentext}");

    // The document itself is saved encrypted again, with its key area.
    ASSERT_TRUE(a.Save(path, pages));
    const std::string file = test::ReadFile(path);
    EXPECT_EQ(DetectForm(file), DocumentForm::Encrypted);
    EXPECT_EQ(KeyAreaOf(file).size(), CZtKeyRing::kBlockSize);
}

TEST(Encryption, InsertingAnEncryptedFileLeavesTheOpenDocumentsKeysAlone) {
    test::TempDir dir;
    const std::string path = SaveEncrypted(dir);
    test::ScriptedPrompter p;
    CZTArchive a(p);
    int32_t own = a.AppendNode();
    p.credentials = {As("Alice", "falsch"), As("Alice", "pw-älice")};
    CZTPageList pages;
    ASSERT_TRUE(a.Insert(path, pages));
    EXPECT_EQ(p.messages, std::vector<std::string>{kKeyMacBad});
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_GT(pages[0].ident, own);
    EXPECT_EQ(FileText(a, pages[0].ident, "plan.txt"), "Inhalt der Datei");
    EXPECT_FALSE(a.IsEncrypted());
}

TEST(Encryption, OlderKeyAreasOpenWithTheDirectDerivation) {
    // A body in the plain form, encrypted as older documents did it: content
    // mode 1, 512-byte chunks, each under the stored IV whose first byte is
    // counted up once per chunk.
    test::ScriptedPrompter maker;
    CZTArchive source(maker);
    CZTPageList pages = Fill(source);
    std::string plainFile;
    ASSERT_TRUE(source.WriteCopy(pages, {.keepHeader = true}, plainFile));
    const std::string body = plainFile.substr(plainFile.find("ZT01"));
    const std::string key = Bin(kDirectKey);
    std::string iv = Bin(kDirectArea).substr(32, 16);
    std::string cipher;
    for (size_t at = 0; at < body.size(); at += 512) {
        iv[0] = char(uint8_t(iv[0]) + 1);
        cipher += *AesCbcEncrypt(key, iv, body.substr(at, 512), CbcPadding::Zero);
    }
    test::TempDir dir;
    for (size_t size : {size_t(64), size_t(88), size_t(128), size_t(152)}) {
        std::string area = Bin(kDirectArea);
        area.resize(size, '\0');
        std::string ext = SetExtItem({}, kExtKeyArea, area);
        std::string file = "ZT04";
        PutLE32(file, uint32_t(ext.size()));
        file += ext + "ZT06" + cipher;
        const std::string path = dir / ("old" + std::to_string(size) + ".ztd");
        test::WriteFile(path, file);

        test::ScriptedPrompter p;
        CZTArchive a(p);
        ASSERT_TRUE(OpenAs(path, {As("Carol", "falsch"), As("Carol", "pw-carol")}, p, a)) << size;
        EXPECT_TRUE(p.messages.empty()); // a direct block has nothing to unwrap
        EXPECT_TRUE(a.KeyRing().CurrentBlockDirect());
        EXPECT_EQ(Text(a, 1), "{\\rtf1 geheimer Seitentext}");
        EXPECT_EQ(FileText(a, 1, "plan.txt"), "Inhalt der Datei");
        if (size != 64) continue;

        // Saving over it keeps the older file as a backup, each time anew.
        CZTPageList saved{{"c", "Erste", 1, {}}, {"n", "Zweite", 2, {}}};
        ASSERT_TRUE(a.Save(path, saved));
        ASSERT_TRUE(a.Save(path, saved));
        EXPECT_EQ(test::ReadFile(path + ".bak"), file);
        EXPECT_TRUE(fs::exists(NumberedName(path + ".bak", 1)));
        const std::string area2 = KeyAreaOf(test::ReadFile(path));
        ASSERT_EQ(area2.size(), CZtKeyRing::kBlockSize);
        EXPECT_EQ(GetLE32(area2.data()), 2u);

        // A second name: the direct block becomes a wrapped block for Carol
        // around the same key, and the file opens for both names.
        ASSERT_TRUE(a.KeyRing().AddCredentials(CredentialsFromUtf8("Carol", "pw-carol"),
                                               CredentialsFromUtf8("Dave", "pw-dave")));
        ASSERT_TRUE(a.Save(path, saved));
        EXPECT_FALSE(fs::exists(NumberedName(path + ".bak", 2))); // no older block any more
        for (const char* name : {"Carol", "Dave"}) {
            test::ScriptedPrompter q;
            CZTArchive b(q);
            ASSERT_TRUE(OpenAs(path, {As(name, std::string("pw-") + (name[0] == 'C' ? "carol" : "dave"))}, q, b))
                << name;
            EXPECT_EQ(LowerHex(b.KeyRing().DocumentKey()), kDirectKey);
            EXPECT_EQ(FileText(b, 1, "plan.txt"), "Inhalt der Datei");
        }
    }
}

TEST(Encryption, SaveWithoutARandomSourceWritesNothing) {
    test::TempDir dir;
    const std::string path = SaveEncrypted(dir);
    const std::string before = test::ReadFile(path);
    test::ScriptedPrompter p;
    CZTArchive a(p);
    ASSERT_TRUE(OpenAs(path, {As("Alice", "pw-älice")}, p, a));
    SetRandomSource([](void*, size_t) { return false; });
    EXPECT_FALSE(a.Save(path, {{"c", "Erste", 1, {}}}));
    SetRandomSource(nullptr);
    EXPECT_EQ(test::ReadFile(path), before);
    EXPECT_TRUE(p.questions.empty()); // no "save anyway"
    ASSERT_FALSE(p.messages.empty());
    EXPECT_EQ(p.messages[0], MessageText(Msg::NoRandomSource));
}

// ---- Directory form -------------------------------------------------------------

namespace {

std::string Head(const std::string& path) { return test::ReadFile(path).substr(0, 4); }

// The content files of a directory-form document (not the document, not ZTTmp).
std::vector<std::string> ContentFiles(const test::TempDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (e.is_regular_file() && e.path().filename() != "doc.ztd") out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(Encryption, DirectoryFormKeepsItsContentFilesEncrypted) {
    test::TempDir dir;
    const std::string path = dir / "doc.ztd";
    const CZtCredentials alice = CredentialsFromUtf8("Alice", "pw-alice");
    CZTPageList pages{{"c", "Seite", 1, {}}};
    {
        test::ScriptedPrompter p;
        CZTArchive a(p);
        a.Core().directoryForm = true;
        a.Core().path = dir.path();
        int32_t id = a.AppendNode();
        ASSERT_EQ(a.PutFile(id, FileWith("a.txt", "erste Datei")), 1);
        ASSERT_EQ(a.PutFile(id, FileWith("b.txt", std::string(5000, 'b'))), 1);
        ASSERT_TRUE(a.Save(path, pages));
        ASSERT_EQ(ContentFiles(dir), (std::vector<std::string>{"a.txt.gz", "b.txt.gz"}));

        // Creating the encryption re-encodes every content file at the next
        // save; the gzip files go only once that save has succeeded.
        ASSERT_TRUE(a.KeyRing().CreateEncryption(alice));
        CZTDocStream::SetWriteLimitForTests(10);
        EXPECT_FALSE(a.Save(path, pages));
        CZTDocStream::SetWriteLimitForTests(-1);
        EXPECT_EQ(Head(dir / "a.txt.gz").substr(0, 2), "\x1f\x8b");
        EXPECT_EQ(DetectForm(test::ReadFile(path)), DocumentForm::Directory);
        ASSERT_TRUE(a.Save(path, pages));
        EXPECT_FALSE(fs::exists(dir / "a.txt.gz"));
        for (const auto& f : ContentFiles(dir)) EXPECT_EQ(Head(dir / f), "ZT08") << f;
        EXPECT_EQ(ContentFiles(dir).size(), 2u);
        EXPECT_EQ(FileText(a, 1, "a.txt"), "erste Datei");

        // A file added now waits in the temp directory, encrypted as well.
        ASSERT_EQ(a.PutFile(1, FileWith("c.txt", "dritte")), 1);
        EXPECT_EQ(Head(dir / "ZTTmp/c.txt.gz"), "ZT08");
        ASSERT_TRUE(a.Save(path, pages));
    }
    EXPECT_EQ(DetectForm(test::ReadFile(path)), DocumentForm::Encrypted);
    std::vector<std::string> files = ContentFiles(dir);
    ASSERT_EQ(files.size(), 3u);
    {
        test::ScriptedPrompter p;
        CZTArchive a(p);
        ASSERT_TRUE(OpenAs(path, {As("Alice", "pw-alice")}, p, a));
        ASSERT_TRUE(a.Core().directoryForm);
        EXPECT_EQ(FileText(a, 1, "a.txt"), "erste Datei");
        EXPECT_EQ(FileText(a, 1, "b.txt"), std::string(5000, 'b'));
        EXPECT_EQ(FileText(a, 1, "c.txt"), "dritte");

        // A content file that fails its tag, or a plain file put in the place
        // of an encrypted one, is not taken.
        const std::string aFile = a.GetFile(1, "a.txt").ExternalFile();
        const std::string good = test::ReadFile(aFile);
        std::string flipped = good;
        flipped[flipped.size() - 20] ^= 1;
        test::WriteFile(aFile, flipped);
        std::string error;
        EXPECT_EQ(FileText(a, 1, "a.txt", &error), "<none>");
        EXPECT_EQ(error, kDataMacBad);
        std::string gz;
        ASSERT_TRUE(BufferToGzip(CompressBuffer("untergeschoben"), gz));
        test::WriteFile(aFile, gz);
        EXPECT_EQ(FileText(a, 1, "a.txt"), "<none>");
        test::WriteFile(aFile, good);

        // Removing the encryption turns the files back into gzip at the save.
        ASSERT_TRUE(a.KeyRing().RemoveEncryption(alice));
        EXPECT_EQ(FileText(a, 1, "a.txt"), "erste Datei"); // still readable until then
        ASSERT_TRUE(a.Save(path, pages));
    }
    EXPECT_EQ(DetectForm(test::ReadFile(path)), DocumentForm::Directory);
    for (const auto& f : files) EXPECT_FALSE(fs::exists(dir / f)) << f;
    for (const auto& f : ContentFiles(dir)) EXPECT_EQ(Head(dir / f).substr(0, 2), "\x1f\x8b") << f;
    test::ScriptedPrompter p;
    CZTArchive a(p);
    ASSERT_TRUE(OpenAs(path, {}, p, a));
    EXPECT_EQ(FileText(a, 1, "b.txt"), std::string(5000, 'b'));
}

TEST(Encryption, CopiesOfAnEncryptedDirectoryDocumentAreInline) {
    test::TempDir dir;
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    CZTArchive& a = doc.Archive();
    a.Core().directoryForm = true;
    a.Core().path = dir.path();
    CZTPageNode* page = doc.AddPage(nullptr, "Seite");
    ASSERT_TRUE(a.KeyRing().CreateEncryption(CredentialsFromUtf8("Alice", "pw")));
    ASSERT_EQ(doc.AttachFile(page, FileWith("a.txt", "erste Datei")), 1);
    ASSERT_TRUE(a.Save(dir / "doc.ztd", doc.Tree().BuildPageList()));

    // Duplicating a page writes an internal copy; nothing lands in ZTTmp in clear.
    CZTPageNode* copy = doc.CopyPages(page, false, page, false);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(FileText(a, copy->Ident(), "a.txt"), "erste Datei");
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        if (e.is_regular_file() && e.path().filename() != "doc.ztd")
            EXPECT_EQ(Head(e.path().string()), "ZT08") << e.path();

    // Save As of a directory-form document is a single file, still encrypted.
    ASSERT_TRUE(doc.Save(dir / "single.ztd"));
    EXPECT_EQ(DetectForm(test::ReadFile(dir / "single.ztd")), DocumentForm::Encrypted);
    test::ScriptedPrompter q;
    CZTArchive b(q);
    ASSERT_TRUE(OpenAs(dir / "single.ztd", {As("Alice", "pw")}, q, b));
    EXPECT_FALSE(b.Core().directoryForm);
    EXPECT_EQ(FileText(b, 1, "a.txt"), "erste Datei");
}
