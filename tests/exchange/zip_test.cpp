// The zip container: what it writes, what it reads, what it refuses, and
// whether other programs agree with it.
#include "core/compress.h"
#include "exchange/oemcodepage.h"
#include "exchange/zip.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using zt::ZipArchive;
using zt::test::ReadFile;
using zt::test::TempDir;
using zt::test::WriteFile;

namespace {

size_t FindSig(const std::string& s, uint32_t sig, int nth = 0) {
    const std::string pat{char(sig & 0xFF), char((sig >> 8) & 0xFF), char((sig >> 16) & 0xFF), char(sig >> 24)};
    size_t pos = s.find(pat);
    for (int i = 0; i < nth && pos != std::string::npos; ++i) pos = s.find(pat, pos + 1);
    return pos;
}
void Patch16(std::string& s, size_t pos, uint16_t v) {
    s[pos] = char(v & 0xFF);
    s[pos + 1] = char(v >> 8);
}
void Patch32(std::string& s, size_t pos, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[pos + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

constexpr uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50;

// A small archive: a text member, a stored-by-rule empty member, a directory.
std::string MakeSample(const std::string& path) {
    ZipArchive z;
    EXPECT_TRUE(z.Open(path, ZipArchive::kCreate));
    std::string text;
    for (int i = 0; i < 200; ++i) text += "Zeile " + std::to_string(i) + "\n";
    uint16_t a = z.AddEntry("Ordner\\Text.txt", text);
    uint16_t b = z.AddEntry("leer.txt", {});
    uint16_t d = z.AddEntry("Ordner/", {});
    z.Entry(d).externalAttributes = 0x10;
    z.Entry(d).comment = "Kommentar";
    z.SetArchiveComment(zt::AnsiToOem("Gr\xfc\xdf" "e"));
    EXPECT_NE(a, ZipArchive::kNoEntry);
    EXPECT_NE(b, ZipArchive::kNoEntry);
    EXPECT_TRUE(z.Close());
    return ReadFile(path);
}

bool HaveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

} // namespace

TEST(ZipArchive, WritesWhatItReadsBackInBothReadModes) {
    TempDir t;
    const std::string bytes = MakeSample(t / "a.zip");
    // The archive comment keeps its OEM bytes: u-umlaut is 0x81, sharp s 0xE1.
    EXPECT_EQ(bytes.substr(bytes.size() - 5), std::string("Gr\x81\xe1" "e"));
    for (int mode : {ZipArchive::kReadAll, ZipArchive::kReadOnDemand}) {
        ZipArchive z;
        ASSERT_TRUE(z.Open(t / "a.zip", mode)) << mode;
        ASSERT_EQ(z.EntryCount(), 3u);
        EXPECT_EQ(z.EntryName(0), "Ordner\\Text.txt");
        EXPECT_EQ(z.Entry(0).name, "Ordner/Text.txt");
        EXPECT_EQ(z.Entry(0).method, 8);
        std::string data;
        ASSERT_TRUE(z.ReadEntryData(0, data));
        EXPECT_EQ(data.substr(0, 8), "Zeile 0\n");
        // The empty member: stored, CRC 0, no data.
        EXPECT_EQ(z.Entry(1).method, 0);
        EXPECT_EQ(z.Entry(1).crc, 0u);
        EXPECT_EQ(z.Entry(1).compressedSize, 0u);
        std::string buffer = "x";
        EXPECT_TRUE(z.GetEntryBuffer(1, buffer));
        EXPECT_TRUE(buffer.empty());
        EXPECT_TRUE(z.Entry(2).IsDirectory());
        EXPECT_EQ(z.EntryComment(2), "Kommentar");
        EXPECT_EQ(zt::OemToAnsi(z.ArchiveComment()), "Gr\xfc\xdf" "e");
        // The deflated member comes out as a compressed buffer unchanged.
        ASSERT_TRUE(z.GetEntryBuffer(0, buffer));
        std::string back;
        ASSERT_TRUE(zt::DecompressBuffer(buffer, back));
        EXPECT_EQ(back, data);
    }
}

TEST(ZipArchive, StoredMemberIsDeflatedAfterItsCrcIsChecked) {
    TempDir t;
    ZipArchive w;
    ASSERT_TRUE(w.Open(t / "s.zip", ZipArchive::kCreate));
    uint16_t i = w.AddEntry("s.txt", {});
    zt::ZipEntry& e = w.Entry(i);
    e.data = "gespeichert, nicht komprimiert";
    e.crc = zt::Crc32(e.data);
    e.compressedSize = e.uncompressedSize = uint32_t(e.data.size());
    ASSERT_TRUE(w.Close());
    ZipArchive z;
    ASSERT_TRUE(z.Open(t / "s.zip", ZipArchive::kReadOnDemand));
    std::string buffer, back;
    ASSERT_TRUE(z.GetEntryBuffer(0, buffer));
    ASSERT_TRUE(zt::DecompressBuffer(buffer, back));
    EXPECT_EQ(back, "gespeichert, nicht komprimiert");
    std::vector<std::string_view> pieces;
    EXPECT_FALSE(zt::StoredPieces(buffer, pieces)) << "really deflated";

    // The same member with a wrong CRC is refused when its data is asked for.
    std::string bytes = ReadFile(t / "s.zip");
    Patch32(bytes, FindSig(bytes, kLocal) + 14, 1234);
    Patch32(bytes, FindSig(bytes, kCentral) + 16, 1234);
    WriteFile(t / "bad.zip", bytes);
    ZipArchive bad;
    ASSERT_TRUE(bad.Open(t / "bad.zip", ZipArchive::kReadOnDemand));
    EXPECT_FALSE(bad.GetEntryBuffer(0, buffer));
    EXPECT_FALSE(bad.ReadEntryData(0, back));
}

TEST(ZipArchive, DosTimeRoundTrip) {
    uint16_t t = 0, d = 0;
    const int64_t when = 1700000000; // even seconds survive
    ZipArchive::ToDosTime(when, t, d);
    EXPECT_EQ(ZipArchive::FromDosTime(t, d), when);
    ZipArchive::ToDosTime(0, t, d); // before 1980: the year field is 0
    EXPECT_EQ(d >> 9, 0);
}

TEST(ZipArchive, RefusesHostileArchives) {
    TempDir t;
    const std::string good = MakeSample(t / "good.zip");
    const size_t end = FindSig(good, kEnd);
    const size_t central = FindSig(good, kCentral);
    struct Case {
        const char* what;
        std::function<void(std::string&)> mutate;
        ZipArchive::Error error;
    };
    const Case cases[] = {
        {"empty file", [](std::string& s) { s.clear(); }, ZipArchive::Error::NotZip},
        {"truncated in the central directory", [&](std::string& s) { s.resize(central + 20); }, ZipArchive::Error::NotZip},
        {"truncated before the end record's comment", [&](std::string& s) { s.resize(s.size() - 2); },
         ZipArchive::Error::Damaged},
        {"comment length past the end", [&](std::string& s) { Patch16(s, end + 20, 60000); }, ZipArchive::Error::Damaged},
        {"lying uncompressed size (bomb claim)",
         [&](std::string& s) { Patch32(s, central + 24, 0x7FFFFFFF); }, ZipArchive::Error::Damaged},
        {"compressed size past the archive", [&](std::string& s) { Patch32(s, central + 20, 0x00FFFFFF); },
         ZipArchive::Error::Damaged},
        {"unknown method", [&](std::string& s) {
             Patch16(s, central + 10, 12);
             Patch16(s, FindSig(s, kLocal) + 8, 12);
         }, ZipArchive::Error::Method},
        {"encrypted member", [&](std::string& s) { Patch16(s, central + 8, 1); }, ZipArchive::Error::Method},
        {"zip64 entry count", [&](std::string& s) {
             Patch16(s, end + 8, 0xFFFF);
             Patch16(s, end + 10, 0xFFFF);
         }, ZipArchive::Error::Zip64},
        {"zip64 sizes", [&](std::string& s) { Patch32(s, central + 20, 0xFFFFFFFF); }, ZipArchive::Error::Zip64},
        {"entry count disagrees", [&](std::string& s) {
             Patch16(s, end + 8, 2);
             Patch16(s, end + 10, 2);
         }, ZipArchive::Error::Damaged},
        {"central directory offset wrong", [&](std::string& s) { Patch32(s, end + 16, uint32_t(central - 1)); },
         ZipArchive::Error::Damaged},
        {"local header offset wrong", [&](std::string& s) { Patch32(s, central + 42, 7); }, ZipArchive::Error::Damaged},
        {"overlapping members", [&](std::string& s) {
             // the second central record points at the first member's header
             Patch32(s, FindSig(s, kCentral, 1) + 42, 0);
         }, ZipArchive::Error::Damaged},
        {"local crc disagrees", [&](std::string& s) { Patch32(s, FindSig(s, kLocal) + 14, 99); },
         ZipArchive::Error::Damaged},
        {"second disk", [&](std::string& s) { Patch16(s, end + 4, 1); }, ZipArchive::Error::Damaged},
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        c.mutate(bytes);
        WriteFile(t / "bad.zip", bytes);
        ZipArchive z;
        EXPECT_FALSE(z.Open(t / "bad.zip", ZipArchive::kReadOnDemand)) << c.what;
        EXPECT_EQ(int(z.LastError()), int(c.error)) << c.what << ": " << z.ErrorDetail();
    }
    // A member whose deflate stream lies about its size is refused when read.
    std::string bytes = good;
    Patch32(bytes, central + 24, 40); // honest for the ratio, wrong for the stream
    Patch32(bytes, FindSig(bytes, kLocal) + 22, 40);
    WriteFile(t / "lie.zip", bytes);
    ZipArchive z;
    ASSERT_TRUE(z.Open(t / "lie.zip", ZipArchive::kReadOnDemand));
    std::string data;
    EXPECT_FALSE(z.ReadEntryData(0, data));
    EXPECT_TRUE(data.empty());
}

TEST(ZipArchive, HoldsAtMost65534Members) {
    TempDir t;
    ZipArchive z;
    ASSERT_TRUE(z.Open(t / "many.zip", ZipArchive::kCreate));
    for (size_t i = 0; i < ZipArchive::kMaxEntries; ++i) ASSERT_NE(z.AddEntry("f" + std::to_string(i), {}), ZipArchive::kNoEntry);
    EXPECT_EQ(z.AddEntry("one too many", {}), ZipArchive::kNoEntry);
    EXPECT_EQ(int(z.LastError()), int(ZipArchive::Error::TooManyMembers));
    ASSERT_TRUE(z.Close());
    ZipArchive r;
    ASSERT_TRUE(r.Open(t / "many.zip", ZipArchive::kReadOnDemand));
    EXPECT_EQ(r.EntryCount(), ZipArchive::kMaxEntries);
}

TEST(ZipArchive, AbandonedArchiveLeavesNothing) {
    TempDir t;
    WriteFile(t / "old.zip", "old");
    {
        ZipArchive z;
        ASSERT_TRUE(z.Open(t / "old.zip", ZipArchive::kCreate));
        z.AddEntry("x", "y");
        z.Abandon();
    }
    EXPECT_EQ(ReadFile(t / "old.zip"), "old");
    int count = 0;
    for (auto& e : std::filesystem::directory_iterator(t.path())) (void)e, ++count;
    EXPECT_EQ(count, 1);
}

// ---- other programs

TEST(ZipInterop, InfoZipAndPythonReadOurArchives) {
    if (!HaveTool("unzip") || !HaveTool("python3")) GTEST_SKIP() << "unzip or python3 missing (scripts/setup.sh)";
    TempDir t;
    MakeSample(t / "a.zip");
    EXPECT_EQ(std::system(("unzip -tq " + t / "a.zip" + " >/dev/null").c_str()), 0);
    const std::string script = t / "check.py";
    WriteFile(script,
              "import sys, zipfile\n"
              "z = zipfile.ZipFile(sys.argv[1])\n"
              "names = [i.filename for i in z.infolist()]\n"
              "assert names == ['Ordner/Text.txt', 'leer.txt', 'Ordner/'], names\n"
              "assert z.read('Ordner/Text.txt').startswith(b'Zeile 0\\nZeile 1\\n')\n"
              "assert z.read('leer.txt') == b''\n"
              "assert z.testzip() is None\n"
              "assert z.comment == 'Grüße'.encode('cp850'), z.comment\n");
    EXPECT_EQ(std::system(("python3 " + script + " " + t / "a.zip").c_str()), 0);
}

TEST(ZipInterop, ReadsArchivesOfInfoZipAndPython) {
    if (!HaveTool("zip") || !HaveTool("python3")) GTEST_SKIP() << "zip or python3 missing (scripts/setup.sh)";
    TempDir t;
    std::filesystem::create_directories(t / "src/sub");
    std::string big;
    for (int i = 0; i < 5000; ++i) big += "Zeile " + std::to_string(i) + "\n";
    WriteFile(t / "src/a.txt", big);
    WriteFile(t / "src/sub/b.bin", std::string("\x00\x01\x02\xff", 4));
    WriteFile(t / "src/sub/empty", "");
    const std::string cd = "cd " + t / "src" + " && ";
    ASSERT_EQ(std::system((cd + "zip -qr ../deflated.zip . && zip -qr0 ../stored.zip . && "
                                "echo 'Archivkommentar' | zip -qz ../deflated.zip").c_str()), 0);
    WriteFile(t / "make.py",
              "import sys, zipfile, io\n"
              "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
              "    z.writestr('p/a.txt', b'x' * 10000)\n"
              "    z.writestr(zipfile.ZipInfo('p/dir/'), b'')\n"
              "    z.comment = b'py'\n"
              "# written to a stream that cannot seek: data descriptors follow the data\n"
              "class W(io.RawIOBase):\n"
              "    def __init__(s, f): s.f = f\n"
              "    def writable(s): return True\n"
              "    def write(s, b): return s.f.write(b)\n"
              "with open(sys.argv[2], 'wb') as f:\n"
              "    with zipfile.ZipFile(W(f), 'w', zipfile.ZIP_DEFLATED) as z:\n"
              "        z.writestr('s.txt', b'streamed ' * 100)\n");
    ASSERT_EQ(std::system(("python3 " + t / "make.py" + " " + t / "py.zip" + " " + t / "stream.zip").c_str()), 0);

    auto member = [&](const std::string& archive, const std::string& name) {
        ZipArchive z;
        EXPECT_TRUE(z.Open(archive, ZipArchive::kReadOnDemand)) << archive << " " << z.ErrorDetail();
        for (size_t i = 0; i < z.EntryCount(); ++i) {
            if (z.Entry(i).name != name) continue;
            std::string data, buffer, back;
            EXPECT_TRUE(z.ReadEntryData(i, data));
            EXPECT_TRUE(z.GetEntryBuffer(i, buffer));
            if (!data.empty()) {
                EXPECT_TRUE(zt::DecompressBuffer(buffer, back));
                EXPECT_EQ(back, data);
            }
            return data;
        }
        ADD_FAILURE() << name << " not in " << archive;
        return std::string();
    };
    for (const char* a : {"deflated.zip", "stored.zip"}) {
        EXPECT_EQ(member(t / a, "a.txt"), big) << a;
        EXPECT_EQ(member(t / a, "sub/b.bin"), std::string("\x00\x01\x02\xff", 4)) << a;
        EXPECT_EQ(member(t / a, "sub/empty"), "") << a;
    }
    ZipArchive z;
    ASSERT_TRUE(z.Open(t / "deflated.zip", ZipArchive::kReadAll));
    EXPECT_EQ(z.ArchiveComment(), "Archivkommentar");
    EXPECT_EQ(member(t / "py.zip", "p/a.txt"), std::string(10000, 'x'));
    EXPECT_EQ(member(t / "stream.zip", "s.txt").size(), 900u);
}
