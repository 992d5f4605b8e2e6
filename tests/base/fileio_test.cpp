// The file layer: reads take regular files only, outputs take the atomic path.
#include "base/fileio.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <fcntl.h>
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

long MaxRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

TEST(FileRead, OnlyRegularFilesAreReadAndNeverPastTheLimit) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "pipe.ztd").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir / "zero.ztd").c_str()), 0);
    test::WriteFile(dir / "small", "0123456789");
    struct Case {
        std::string path;
        uint64_t limit;
        bool ok;
        std::string error;
    } cases[] = {
        {dir / "pipe.ztd", kMaxReadBytes, false, "Keine reguläre Datei (Gerät, FIFO oder Socket)"},
        {dir / "zero.ztd", kMaxReadBytes, false, "Keine reguläre Datei (Gerät, FIFO oder Socket)"},
        {dir.path(), kMaxReadBytes, false, "Ist ein Verzeichnis"},
        {dir / "missing", kMaxReadBytes, false, "Datei oder Verzeichnis nicht gefunden"},
        {dir / "small", 9, false, "Die Datei ist zu groß (mehr als 9 Bytes)"},
        {dir / "small", 10, true, ""},
    };
    const long rssBefore = MaxRssKb();
    for (const auto& c : cases) {
        std::string out = "old", error;
        EXPECT_EQ(ReadWholeFile(c.path, out, &error, c.limit), c.ok) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
        EXPECT_EQ(out, c.ok ? "0123456789" : "") << c.path;
    }
    EXPECT_LT(MaxRssKb() - rssBefore, 64 * 1024); // nothing grew with /dev/zero
}

TEST(FileWrite, ThroughALinkTheTargetIsReplacedAndTheLinkStays) {
    test::TempDir dir;
    fs::create_directory(dir / "real");
    test::WriteFile(dir / "real/out.txt", "old");
    chmod((dir / "real/out.txt").c_str(), 0640);
    ASSERT_EQ(symlink("real/out.txt", (dir / "link.txt").c_str()), 0);
    ASSERT_TRUE(WriteFileReplacing(dir / "link.txt", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(test::ReadFile(dir / "real/out.txt"), "new");
    struct stat st;
    ASSERT_EQ(stat((dir / "real/out.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the target's permissions stay
    EXPECT_EQ(Names(dir / "real"), std::vector<std::string>{"out.txt"});
    // A dangling link gets its target created.
    ASSERT_EQ(symlink("real/new.txt", (dir / "dangling").c_str()), 0);
    ASSERT_TRUE(WriteFileReplacing(dir / "dangling", "made"));
    EXPECT_EQ(test::ReadFile(dir / "real/new.txt"), "made");
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
}

TEST(FileWrite, AFailingFileLayerLeavesTheOldFileAndNoTemporaryFile) {
    test::TempDir dir;
    test::WriteFile(dir / "out.bin", "the old content");
    const std::string big(100000, 'x');
    for (int64_t limit : {0, 1, 4096, 99999}) {
        CAtomicFileWriter::SetWriteLimitForTests(limit);
        std::string error;
        EXPECT_FALSE(WriteFileReplacing(dir / "out.bin", big, &error)) << limit;
        EXPECT_FALSE(WriteFileReplacing(dir / "new.bin", big, &error)) << limit;
        CAtomicFileWriter::SetWriteLimitForTests(-1);
        EXPECT_EQ(error, "Kein Speicherplatz mehr auf dem Gerät");
        EXPECT_EQ(test::ReadFile(dir / "out.bin"), "the old content");
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.bin"}) << limit;
    }
}

TEST(FileWrite, DevicesAreWrittenIntoDirectoriesRefused) {
    test::TempDir dir;
    std::string error;
    // /dev/null stays the device; /dev/full reports the full disk.
    EXPECT_TRUE(WriteFileReplacing("/dev/null", "x", &error));
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_FALSE(WriteFileReplacing("/dev/full", std::string(100000, 'x'), &error));
        EXPECT_EQ(error, "Kein Speicherplatz mehr auf dem Gerät");
        ASSERT_EQ(stat("/dev/full", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
    EXPECT_FALSE(WriteFileReplacing(dir.path(), "x", &error));
    EXPECT_EQ(error, "Ist ein Verzeichnis");
    CAtomicFileWriter w;
    EXPECT_FALSE(w.Open("/dev/null", CAtomicFileWriter::Direct::Refuse));
    EXPECT_EQ(w.Error(), "Keine reguläre Datei (Gerät, FIFO oder Socket)");
    EXPECT_FALSE(WriteFileReplacing(dir / "no/such/file", "x", &error));
    EXPECT_EQ(error, "Datei oder Verzeichnis nicht gefunden");
}

TEST(FileWrite, StaleTemporaryFilesGoLockedOnesStay) {
    test::TempDir dir;
    test::WriteFile(dir / "doc.ztd", "doc");
    test::WriteFile(dir / ".doc.ztd.AbC123", "left by a killed save");
    test::WriteFile(dir / ".doc.ztd.Zz9999", "in use");
    test::WriteFile(dir / ".doc.ztd.toolong7", "not ours");
    test::WriteFile(dir / ".other.ztd.AbC123", "another document");
    int held = open((dir / ".doc.ztd.Zz9999").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(RemoveStaleTempFiles(dir / "doc.ztd"), 1);
    EXPECT_EQ(Names(dir.path()),
              (std::vector<std::string>{".doc.ztd.Zz9999", ".doc.ztd.toolong7", ".other.ztd.AbC123", "doc.ztd"}));
    // While a writer holds its temporary file, nobody takes it away.
    CAtomicFileWriter w;
    ASSERT_TRUE(w.Open(dir / "doc.ztd"));
    EXPECT_EQ(RemoveStaleTempFiles(dir / "doc.ztd"), 0);
    ASSERT_TRUE(w.Write("new doc"));
    ASSERT_TRUE(w.Commit());
    close(held);
    EXPECT_EQ(RemoveStaleTempFiles(dir / "doc.ztd"), 1);
    EXPECT_EQ(test::ReadFile(dir / "doc.ztd"), "new doc");
}

TEST(FileWrite, WriteAllTellsTheReason) {
    std::string error;
    int fd = open("/dev/full", O_WRONLY);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(WriteAll(fd, "abc", &error));
    close(fd);
    EXPECT_EQ(error, "Kein Speicherplatz mehr auf dem Gerät");
}

TEST(FileWrite, ModesOfNewAndReplacedFiles) {
    test::TempDir dir;
    const mode_t oldMask = umask(022);
    struct Case {
        const char* name;
        int existing;  // mode of an existing file, -1 for none
        int mode;      // SetMode, -1 for none
        bool always;
        unsigned expected;
    } cases[] = {
        {"plain-new", -1, -1, false, 0644},
        {"key-new", -1, 0600, false, 0600},
        {"key-replaces-keeps", 0640, 0600, false, 0640},
        {"key-replaces-always", 0644, 0600, true, 0600},
        {"plain-replaces", 0604, -1, false, 0604},
    };
    for (const Case& c : cases) {
        const std::string path = dir / c.name;
        if (c.existing >= 0) {
            test::WriteFile(path, "old");
            chmod(path.c_str(), mode_t(c.existing));
        }
        CAtomicFileWriter w;
        if (c.mode >= 0)
            w.SetMode(unsigned(c.mode), c.always ? CAtomicFileWriter::ModeFor::Always : CAtomicFileWriter::ModeFor::NewFiles);
        ASSERT_TRUE(w.Open(path)) << c.name;
        // The temporary file has the final mode from the start: a key is
        // never readable by others, not even for a moment.
        struct stat st;
        ASSERT_EQ(stat(w.TempPath().c_str(), &st), 0) << c.name;
        EXPECT_EQ(st.st_mode & 07777, c.expected) << c.name;
        ASSERT_TRUE(w.Write("new"));
        ASSERT_TRUE(w.Commit()) << c.name;
        ASSERT_EQ(stat(path.c_str(), &st), 0) << c.name;
        EXPECT_EQ(st.st_mode & 07777, c.expected) << c.name;
        EXPECT_EQ(test::ReadFile(path), "new");
    }
    umask(oldMask);
}

TEST(FileWrite, KeepAsKeepsWhatWasWrittenAndNeverReplaces) {
    test::TempDir dir;
    test::WriteFile(dir / "out.zip", "the old archive");
    {
        CAtomicFileWriter w;
        ASSERT_TRUE(w.Open(dir / "out.zip"));
        ASSERT_TRUE(w.Write("half of it"));
        ASSERT_TRUE(w.KeepAs(dir / "out (unvollständig).zip")) << w.Error();
    }
    EXPECT_EQ(test::ReadFile(dir / "out.zip"), "the old archive");
    EXPECT_EQ(test::ReadFile(dir / "out (unvollständig).zip"), "half of it");
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"out (unvollständig).zip", "out.zip"}));

    // An existing file of the other name stays; nothing is left behind.
    CAtomicFileWriter w;
    ASSERT_TRUE(w.Open(dir / "out.zip"));
    ASSERT_TRUE(w.Write("again"));
    EXPECT_FALSE(w.KeepAs(dir / "out (unvollständig).zip"));
    EXPECT_EQ(w.ErrorNumber(), EEXIST);
    EXPECT_EQ(test::ReadFile(dir / "out (unvollständig).zip"), "half of it");
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"out (unvollständig).zip", "out.zip"}));

    // A write that failed keeps nothing.
    CAtomicFileWriter::SetWriteLimitForTests(3);
    CAtomicFileWriter f;
    ASSERT_TRUE(f.Open(dir / "new.zip"));
    EXPECT_FALSE(f.Write("more than three"));
    CAtomicFileWriter::SetWriteLimitForTests(-1);
    EXPECT_FALSE(f.KeepAs(dir / "new (unvollständig).zip"));
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"out (unvollständig).zip", "out.zip"}));
}
