// Opening and saving around the document: links, special files, leftovers of
// killed saves, and saves that die half-way.
#include "base/fileio.h"
#include "base/messages.h"
#include "core/extbytes.h"
#include "core/document.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zt;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Titles(CZTDocument& doc) {
    std::string s;
    for (const auto& e : doc.Tree().BuildPageList()) s += e.title + ";";
    return s;
}

// Incompressible bytes, so that a save takes a while and writes a lot.
std::string Noise(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (char& c : s) c = char((seed = seed * 1103515245 + 12345) >> 24);
    return s;
}

void MakeDocument(const std::string& path, const std::vector<std::string>& titles, size_t fileBytes = 0) {
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    for (const auto& t : titles) doc.SetPageText(doc.AddPage(nullptr, t), "{\\rtf1 " + t + "}");
    if (fileBytes) {
        CZTFileRecord f = CZTFileRecord::New("big.bin", "tester");
        f.SetContent(Noise(fileBytes, 7), "tester");
        doc.AttachFile(doc.Tree().FirstRootPage(), f);
    }
    ASSERT_TRUE(doc.Save(path)) << (p.messages.empty() ? "" : p.messages.back());
}

} // namespace

TEST(SaveThroughLink, TheTargetChangesAndTheLinkStays) {
    test::TempDir dir;
    fs::create_directory(dir / "store");
    MakeDocument(dir / "store/real.ztd", {"Eins"});
    ASSERT_EQ(symlink("store/real.ztd", (dir / "link.ztd").c_str()), 0);
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    ASSERT_TRUE(doc.Open(dir / "link.ztd"));
    doc.AddPage(nullptr, "Zwei");
    ASSERT_TRUE(doc.Save());
    EXPECT_TRUE(fs::is_symlink(dir / "link.ztd"));
    EXPECT_EQ(doc.Archive().FilePath(), dir / "link.ztd");
    CZTDocument back(p);
    ASSERT_TRUE(back.Open(dir / "store/real.ztd"));
    EXPECT_EQ(Titles(back), "Eins;Zwei;");
    EXPECT_EQ(Names(dir / "store"), std::vector<std::string>{"real.ztd"});
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"link.ztd", "store"}));
}

TEST(OpenSpecialFiles, FifoAndDeviceAreRefusedAtOnce) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "x.ztd").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir / "zero.ztd").c_str()), 0);
    for (const std::string name : {"x.ztd", "zero.ztd"}) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        test::ScriptedPrompter p;
        CZTDocument doc(p);
        EXPECT_FALSE(doc.Open(dir / name));
        getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << name;
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << name;
        ASSERT_EQ(p.messages.size(), 1u) << name;
        EXPECT_NE(p.messages[0].find("Keine reguläre Datei"), std::string::npos) << p.messages[0];
        EXPECT_TRUE(doc.Archive().FilePath().empty());
    }
    // Nor is a document saved into a device.
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    doc.AddPage(nullptr, "A");
    EXPECT_FALSE(doc.Save("/dev/null"));
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(StaleTemporaryFiles, ALeftoverGoesAtTheNextOpenAndSave) {
    test::TempDir dir;
    const std::string path = dir / "doc.ztd";
    MakeDocument(path, {"Eins"});
    for (bool byOpen : {true, false}) {
        test::WriteFile(dir / ".doc.ztd.k1LLed", std::string(5000, 'z')); // what a killed save leaves
        test::WriteFile(dir / ".doc.ztd.bak", "not a temporary file");
        test::ScriptedPrompter p;
        CZTDocument doc(p);
        if (byOpen) {
            ASSERT_TRUE(doc.Open(path));
        } else {
            doc.AddPage(nullptr, "A");
            ASSERT_TRUE(doc.Save(path));
        }
        EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{".doc.ztd.bak", "doc.ztd"})) << byOpen;
    }
}

// A save that dies half-way, by a failing file layer at several points or by
// SIGKILL at several moments, leaves the old document byte for byte; the next
// open finds it whole and the next save leaves nothing behind.
TEST(CrashConsistency, AKilledSaveLeavesTheOldDocument) {
    test::TempDir dir;
    const std::string path = dir / "doc.ztd";
    MakeDocument(path, {"Alt", "Zwei"}, 3 << 20);
    const std::string old = test::ReadFile(path);
    ASSERT_GT(old.size(), size_t(3 << 20));

    auto changeAndSave = [&](test::ScriptedPrompter& p) {
        CZTDocument doc(p);
        if (!doc.Open(path)) return false;
        doc.RenamePage(doc.Tree().FirstRootPage(), "Neu");
        CZTFileRecord f = CZTFileRecord::New("big2.bin", "tester");
        f.SetContent(Noise(4 << 20, 99), "tester");
        doc.AttachFile(doc.Tree().FirstRootPage(), f);
        return doc.Save();
    };

    for (int64_t limit : {int64_t(0), int64_t(10), int64_t(4096), int64_t(1 << 20), int64_t(old.size())}) {
        CAtomicFileWriter::SetWriteLimitForTests(limit);
        test::ScriptedPrompter p;
        EXPECT_FALSE(changeAndSave(p)) << limit;
        CAtomicFileWriter::SetWriteLimitForTests(-1);
        EXPECT_TRUE(test::ReadFile(path) == old) << limit;
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"doc.ztd"}) << limit;
    }

    int interrupted = 0;
    for (int delayMs : {0, 5, 20, 50, 100, 200, 400}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            test::ScriptedPrompter p;
            _exit(changeAndSave(p) ? 0 : 3);
        }
        usleep(useconds_t(delayMs) * 1000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFEXITED(status)) break; // the save finished before the kill
        ++interrupted;
        EXPECT_TRUE(test::ReadFile(path) == old) << delayMs;
        test::ScriptedPrompter p;
        CZTDocument doc(p);
        ASSERT_TRUE(doc.Open(path)) << delayMs;
        EXPECT_EQ(Titles(doc), "Alt;Zwei;");
        CZTFileRecord f = doc.Archive().GetFile(doc.Tree().FirstRootPage()->Ident(), "big.bin");
        const std::string* content = f.GetText();
        ASSERT_NE(content, nullptr);
        EXPECT_TRUE(*content == Noise(3 << 20, 7));
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"doc.ztd"}) << delayMs; // the open cleaned up
    }
    EXPECT_GT(interrupted, 0);
    test::ScriptedPrompter p;
    ASSERT_TRUE(changeAndSave(p));
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"doc.ztd"});
}

namespace {

std::string HeaderRecord(const std::string& title, const std::string& user, int32_t t) {
    auto str = [](const std::string& s) { return std::string(1, char(s.size())) + s; };
    auto i32 = [](int32_t v) {
        std::string b(4, '\0');
        for (int i = 0; i < 4; ++i) b[size_t(i)] = char(uint32_t(v) >> (8 * i));
        return b;
    };
    return "ZT03" + str("CZTDiscInfo") + str(title) + str(user) + str(user) + i32(t) + i32(t);
}

} // namespace

// The clear header of an encrypted document holds neutral values only; the
// real ones live sealed inside the encrypted part, so a changed clear header
// is told and has no effect, and the next save does not seal it in.
TEST(EncryptedHeader, ClearHeaderIsNeutralAndAForgeryHasNoEffect) {
    test::TempDir dir;
    const std::string path = dir / "Geheim.ztd";
    const CZtCredentials alice = CredentialsFromUtf8("Alice", "pw-alice");
    int32_t ctime = 0;
    {
        test::ScriptedPrompter p;
        CZTDocument doc(p);
        doc.AddPage(nullptr, "Seite");
        ASSERT_TRUE(doc.Archive().KeyRing().CreateEncryption(alice));
        ASSERT_TRUE(doc.Save(path));
        ctime = doc.Archive().Header().ctime;
    }
    const std::string file = test::ReadFile(path);
    const std::string neutral = HeaderRecord("", "", 1);
    ASSERT_EQ(file.substr(0, neutral.size()), neutral);
    EXPECT_EQ(file.find("Geheim"), std::string::npos);

    auto open = [&](const std::string& at, test::ScriptedPrompter& p, CZTDocument& doc) {
        p.credentials.push_back(std::make_pair(std::string("Alice"), std::string("pw-alice")));
        return doc.Open(at);
    };
    {   // Unchanged: the real values, no warning.
        test::ScriptedPrompter p;
        CZTDocument doc(p);
        ASSERT_TRUE(open(path, p, doc));
        EXPECT_TRUE(p.messages.empty());
        EXPECT_EQ(doc.Archive().Header().title, "Geheim");
        EXPECT_EQ(doc.Archive().Header().ctime, ctime);
        EXPECT_EQ(doc.Archive().Header().createdBy, doc.Archive().User());
        EXPECT_EQ(Titles(doc), "Seite;"); // and the page carries no trace of it
        int32_t ident = doc.Tree().FirstRootPage()->Ident();
        std::string_view item;
        EXPECT_FALSE(doc.Archive().GetExtItem(ident, kExtSealedHeader, item));
    }
    // Forged without the password: told, ignored, not sealed in by the next save.
    test::WriteFile(path, HeaderRecord("Gefälscht", "Mallory", 12345) + file.substr(neutral.size()));
    {
        test::ScriptedPrompter p;
        CZTDocument doc(p);
        ASSERT_TRUE(open(path, p, doc));
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0], MessageText(Msg::HeaderForged));
        EXPECT_EQ(doc.Archive().Header().title, "Geheim");
        EXPECT_EQ(doc.Archive().Header().createdBy, doc.Archive().User());
        EXPECT_EQ(doc.Archive().Header().ctime, ctime);
        doc.SetModified();
        ASSERT_TRUE(doc.Save());
    }
    const std::string again = test::ReadFile(path);
    EXPECT_EQ(again.substr(0, neutral.size()), neutral);
    EXPECT_EQ(again.find("Mallory"), std::string::npos);
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    ASSERT_TRUE(open(path, p, doc));
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(doc.Archive().Header().title, "Geheim");
}
