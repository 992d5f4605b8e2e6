// Opening and saving around the document: links, special files, leftovers of
// killed saves, and saves that die half-way.
#include "base/fileio.h"
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
