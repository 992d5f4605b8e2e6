#include "core/olecf.h"

#include "base/bytes.h"

#include "core/document.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zt;

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;

// Where the writer put things, for tests that damage the file afterwards.
struct Layout {
    std::string bytes;
    size_t sectorSize = 0;
    std::vector<uint32_t> start;      // per directory entry: first sector or mini sector
    std::vector<uint32_t> fatSectors; // in FAT order
    uint32_t firstDir = kEnd;
    uint32_t firstMiniFat = kEnd;
    uint32_t firstDifat = kEnd;

    size_t SectorOffset(uint32_t s) const { return (size_t(s) + 1) * sectorSize; }
    size_t DirEntryOffset(size_t entry) const {
        // The test files keep the whole directory in consecutive sectors.
        return SectorOffset(firstDir) + entry * 128;
    }
    void SetFat(uint32_t index, uint32_t value) {
        const size_t per = sectorSize / 4;
        SetLE32(&bytes[SectorOffset(fatSectors.at(index / per)) + 4 * (index % per)], value);
    }
    void SetMiniFat(uint32_t index, uint32_t value) {
        SetLE32(&bytes[SectorOffset(firstMiniFat) + 4 * index], value);
    }
};

// A tiny writer of compound files: streams of 4096 bytes and more in regular
// sectors, smaller ones in the mini stream; siblings are chained to the right.
class CompoundWriter {
  public:
    explicit CompoundWriter(int version = 3) : version_(version), shift_(version == 3 ? 9 : 12) {
        entries_.push_back({"Root Entry", 5, "", -1});
    }
    int AddStorage(const std::string& name, int parent = 0) { return Add(name, 1, "", parent); }
    int AddStream(const std::string& name, std::string data, int parent = 0) {
        return Add(name, 2, std::move(data), parent);
    }

    // Sector order: FAT, DIFAT, directory, mini FAT, mini stream, then the
    // large streams in the order added (so the last one ends the file).
    Layout Build() {
        const size_t ss = size_t(1) << shift_;
        const size_t per = ss / 4;
        auto count = [&](size_t bytes) { return (bytes + ss - 1) / ss; };
        Layout layout;
        layout.sectorSize = ss;
        layout.start.assign(entries_.size(), kEnd);

        std::string mini;
        std::vector<uint32_t> miniFat;
        size_t largeSectors = 0;
        for (size_t i = 1; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            if (e.type != 2 || e.data.empty()) continue;
            if (e.data.size() >= 4096) {
                largeSectors += count(e.data.size());
                continue;
            }
            layout.start[i] = uint32_t(mini.size() / 64);
            const size_t n = (e.data.size() + 63) / 64;
            for (size_t k = 0; k < n; ++k)
                miniFat.push_back(k + 1 < n ? uint32_t(mini.size() / 64 + k + 1) : kEnd);
            mini += e.data;
            mini.resize(mini.size() + (64 - mini.size() % 64) % 64, '\0');
        }
        std::string miniFatBytes;
        for (uint32_t v : miniFat)
            PutLE32(miniFatBytes, v);
        while (miniFatBytes.size() % ss)
            PutLE32(miniFatBytes, kFree);
        const size_t dirSectors = count(entries_.size() * 128);

        // The FAT covers every sector including its own and the DIFAT's.
        const size_t data = dirSectors + count(miniFatBytes.size()) + count(mini.size()) + largeSectors;
        size_t fatCount = 0, difatCount = 0;
        for (;;) {
            size_t f = (data + fatCount + difatCount + per - 1) / per;
            size_t x = f > 109 ? (f - 109 + per - 2) / (per - 1) : 0;
            if (f == fatCount && x == difatCount) break;
            fatCount = f;
            difatCount = x;
        }
        sectors_.assign(fatCount + difatCount, std::string());
        fat_.assign(fatCount, kFatSect);
        fat_.resize(fatCount + difatCount, kDifSect);
        for (size_t i = 0; i < fatCount; ++i)
            layout.fatSectors.push_back(uint32_t(i));
        if (difatCount) layout.firstDifat = uint32_t(fatCount);

        layout.firstDir = Reserve(dirSectors);
        layout.firstMiniFat = Allocate(miniFatBytes);
        const uint32_t miniStart = Allocate(mini);
        for (size_t i = 1; i < entries_.size(); ++i)
            if (entries_[i].type == 2 && entries_[i].data.size() >= 4096)
                layout.start[i] = Allocate(entries_[i].data);
        std::string dir;
        for (size_t i = 0; i < entries_.size(); ++i)
            dir += DirEntry(i, i == 0 ? miniStart : layout.start[i],
                            i == 0 ? mini.size() : entries_[i].data.size());
        while (dir.size() % ss)
            dir += EmptyEntry();
        Fill(layout.firstDir, dir);

        fat_.resize(fatCount * per, kFree);
        for (size_t i = 0; i < fatCount; ++i)
            for (size_t k = 0; k < per; ++k)
                PutLE32(sectors_[i], fat_[i * per + k]);
        for (size_t i = 0; i < difatCount; ++i) {
            std::string& s = sectors_[fatCount + i];
            for (size_t k = 0; k < per - 1; ++k) {
                size_t n = 109 + i * (per - 1) + k;
                PutLE32(s, n < fatCount ? uint32_t(n) : kFree);
            }
            PutLE32(s, i + 1 < difatCount ? uint32_t(fatCount + i + 1) : kEnd);
        }

        std::string h(kCompoundFileSignature);
        h.append(16, '\0');
        PutLE16(h, 0x3E);
        PutLE16(h, uint16_t(version_));
        PutLE16(h, 0xFFFE);
        PutLE16(h, uint16_t(shift_));
        PutLE16(h, 6);
        h.append(6, '\0');
        PutLE32(h, version_ == 4 ? uint32_t(dirSectors) : 0);
        PutLE32(h, uint32_t(fatCount));
        PutLE32(h, layout.firstDir);
        PutLE32(h, 0);
        PutLE32(h, 4096);
        PutLE32(h, layout.firstMiniFat);
        PutLE32(h, uint32_t(miniFatBytes.size() / ss));
        PutLE32(h, layout.firstDifat);
        PutLE32(h, uint32_t(difatCount));
        for (size_t i = 0; i < 109; ++i)
            PutLE32(h, i < fatCount ? uint32_t(i) : kFree);
        h.resize(ss, '\0');
        layout.bytes = h;
        for (const auto& sector : sectors_)
            layout.bytes += sector;
        return layout;
    }

  private:
    struct Entry {
        std::string name;
        uint8_t type;
        std::string data;
        int parent;
    };

    int Add(const std::string& name, uint8_t type, std::string data, int parent) {
        entries_.push_back({name, type, std::move(data), parent});
        return int(entries_.size() - 1);
    }

    // Appends `count` sectors chained in the FAT; the first of them.
    uint32_t Reserve(size_t count) {
        if (count == 0) return kEnd;
        const uint32_t first = uint32_t(sectors_.size());
        for (size_t k = 0; k < count; ++k) {
            sectors_.emplace_back();
            fat_.push_back(k + 1 < count ? uint32_t(sectors_.size()) : kEnd);
        }
        return first;
    }

    void Fill(uint32_t first, const std::string& data) {
        const size_t ss = size_t(1) << shift_;
        for (size_t off = 0; off < data.size(); off += ss) {
            std::string s = data.substr(off, ss);
            s.resize(ss, '\0');
            sectors_[first + off / ss] = s;
        }
    }

    uint32_t Allocate(const std::string& data) {
        const size_t ss = size_t(1) << shift_;
        const uint32_t first = Reserve((data.size() + ss - 1) / ss);
        Fill(first, data);
        return first;
    }

    std::string DirEntry(size_t i, uint32_t start, uint64_t size) const {
        const Entry& e = entries_[i];
        std::string d;
        for (char c : e.name)
            PutLE16(d, uint8_t(c));
        d.resize(64, '\0');
        PutLE16(d, uint16_t(2 * e.name.size() + 2));
        d.push_back(char(e.type));
        d.push_back(1); // black
        auto next = [&](size_t from) -> uint32_t {
            for (size_t k = from + 1; k < entries_.size(); ++k)
                if (entries_[k].parent == e.parent) return uint32_t(k);
            return kFree;
        };
        auto firstChild = [&]() -> uint32_t {
            for (size_t k = 1; k < entries_.size(); ++k)
                if (entries_[k].parent == int(i)) return uint32_t(k);
            return kFree;
        };
        PutLE32(d, kFree);                    // left
        PutLE32(d, i == 0 ? kFree : next(i)); // right
        PutLE32(d, e.type == 2 ? kFree : firstChild());
        d.append(16 + 4 + 16, '\0'); // class, state, times
        PutLE32(d, e.type == 1 ? 0 : start);
        PutLE32(d, uint32_t(size));
        PutLE32(d, uint32_t(size >> 32));
        return d;
    }

    static std::string EmptyEntry() {
        std::string d(64 + 2 + 2, '\0');
        PutLE32(d, kFree);
        PutLE32(d, kFree);
        PutLE32(d, kFree);
        d.resize(128, '\0');
        return d;
    }

    int version_;
    int shift_;
    std::vector<Entry> entries_;
    std::vector<std::string> sectors_;
    std::vector<uint32_t> fat_;
};

std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    return s;
}

struct Sample {
    Layout layout;
    int contents, small, inner, tiny, empty;
};

Sample MakeSample(int version) {
    CompoundWriter w(version);
    Sample s{};
    s.contents = w.AddStream("Contents", Pattern(10000, 1));
    s.small = w.AddStream("Small", Pattern(300, 2)); // five mini sectors
    const int sub = w.AddStorage("Sub");
    s.inner = w.AddStream("Inner", Pattern(5000, 3), sub);
    s.tiny = w.AddStream("Tiny", "x", sub);
    s.empty = w.AddStream("Empty", "");
    s.layout = w.Build();
    return s;
}

std::string Read(const std::string& file, const std::string& name, bool* ok = nullptr,
                 std::string* error = nullptr) {
    std::string out = "junk";
    std::string err;
    bool r = ReadCompoundStream(file, name, out, &err);
    if (ok) *ok = r;
    if (error) *error = err;
    if (!r) {
        EXPECT_TRUE(out.empty());
    }
    return out;
}

} // namespace

TEST(CompoundFile, StreamsComeBackInBothVersions) {
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        const std::string file = MakeSample(version).layout.bytes;
        EXPECT_TRUE(IsCompoundFile(file));
        struct Case {
            const char* name;
            std::string data;
        };
        const Case cases[] = {
            {"Contents", Pattern(10000, 1)},
            {"CONTENTS", Pattern(10000, 1)},
            {"small", Pattern(300, 2)},
            {"Inner", Pattern(5000, 3)},
            {"tiny", "x"},
            {"Empty", ""},
        };
        for (const auto& c : cases) {
            bool ok = false;
            EXPECT_EQ(Read(file, c.name, &ok), c.data) << c.name;
            EXPECT_TRUE(ok) << c.name;
        }
        bool ok = true;
        std::string error;
        Read(file, "Missing", &ok, &error);
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find("no stream"), std::string::npos);
        Read(file, "Sub", &ok); // a storage is no stream
        EXPECT_FALSE(ok);
    }
}

TEST(CompoundFile, ShallowestStreamOfANameWins) {
    CompoundWriter w;
    const int sub = w.AddStorage("Deep");
    w.AddStream("Contents", "inner one", sub);
    w.AddStream("Contents", "top one");
    EXPECT_EQ(Read(w.Build().bytes, "contents"), "top one");
}

TEST(CompoundFile, LargeFatListContinuesInDifatSectors) {
    CompoundWriter w;
    const std::string big = Pattern(110 * 128 * 512, 4);
    w.AddStream("Contents", big);
    Layout l = w.Build();
    ASSERT_NE(l.firstDifat, kEnd);
    bool ok = false;
    EXPECT_TRUE(Read(l.bytes, "Contents", &ok) == big);
    EXPECT_TRUE(ok);
    // A full DIFAT sector that names itself as the next one, and a FAT list
    // longer than the header and this sector hold.
    const size_t difat = l.SectorOffset(l.firstDifat);
    for (size_t k = 0; k + 1 < l.sectorSize / 4; ++k)
        SetLE32(&l.bytes[difat + 4 * k], l.fatSectors[0]);
    SetLE32(&l.bytes[difat + l.sectorSize - 4], l.firstDifat);
    SetLE32(&l.bytes[44], 109 + 127 + 1);
    std::string error;
    Read(l.bytes, "Contents", &ok, &error);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "compound file: DIFAT chain loops");
}

TEST(CompoundFile, DamagedFilesGiveErrors) {
    using Patch = std::function<void(Sample&)>;
    auto setDir32 = [](Sample& s, int entry, size_t field, uint32_t v) {
        SetLE32(&s.layout.bytes[s.layout.DirEntryOffset(entry) + field], v);
    };
    struct Case {
        const char* what;
        int version;
        const char* stream;
        const char* reason;
        Patch patch;
    };
    const Case cases[] = {
        {"regular chain loops", 3, "Contents", "sector chain loops",
         [](Sample& s) { s.layout.SetFat(s.layout.start[s.contents] + 1, s.layout.start[s.contents]); }},
        {"regular chain to itself", 4, "Contents", "sector chain loops",
         [](Sample& s) { s.layout.SetFat(s.layout.start[s.contents], s.layout.start[s.contents]); }},
        {"sector out of range", 3, "Contents", "sector index out of range",
         [](Sample& s) { s.layout.SetFat(s.layout.start[s.contents], 0x00FFFFFF); }},
        {"special value inside a chain", 3, "Contents", "sector index out of range",
         [](Sample& s) { s.layout.SetFat(s.layout.start[s.contents], kFatSect); }},
        {"chain ends early", 3, "Contents", "sector chain ends early",
         [](Sample& s) { s.layout.SetFat(s.layout.start[s.contents], kEnd); }},
        {"start out of range", 3, "Contents", "sector index out of range",
         [&](Sample& s) { setDir32(s, s.contents, 116, 999999); }},
        {"size beyond the file", 3, "Contents", "stream larger than the file",
         [&](Sample& s) { setDir32(s, s.contents, 120, 0x7FFFFFFF); }},
        {"huge size in version 4", 4, "Contents", "stream larger than the file",
         [&](Sample& s) { setDir32(s, s.contents, 124, 1); }},
        {"mini chain loops", 3, "Small", "mini sector chain loops",
         [](Sample& s) { s.layout.SetMiniFat(s.layout.start[s.small] + 1, s.layout.start[s.small]); }},
        {"mini sector out of range", 3, "Small", "mini sector index out of range",
         [](Sample& s) { s.layout.SetMiniFat(s.layout.start[s.small], 5000); }},
        {"mini chain ends early", 4, "Small", "mini sector chain ends early",
         [](Sample& s) { s.layout.SetMiniFat(s.layout.start[s.small], kEnd); }},
        {"mini stream beyond the file", 3, "Small", "mini stream larger than the file",
         [&](Sample& s) { setDir32(s, 0, 120, 0x7FFFFFF0); }},
        {"mini start out of range", 3, "Small", "mini sector index out of range",
         [&](Sample& s) { setDir32(s, s.small, 116, 70000); }},
        {"directory chain loops", 3, "Contents", "sector chain loops",
         [](Sample& s) { s.layout.SetFat(s.layout.firstDir + 1, s.layout.firstDir); }},
        {"directory out of range", 3, "Contents", "sector index out of range",
         [](Sample& s) { SetLE32(&s.layout.bytes[48], 123456); }},
        {"FAT count beyond the file", 3, "Contents", "FAT larger than the file",
         [](Sample& s) { SetLE32(&s.layout.bytes[44], 0x7FFFFFFF); }},
        {"FAT sector out of range", 3, "Contents", "FAT sector outside the file",
         [](Sample& s) { SetLE32(&s.layout.bytes[76], 0x00FFFFFF); }},
        {"no FAT", 3, "Contents", "no FAT", [](Sample& s) { SetLE32(&s.layout.bytes[44], 0); }},
        {"truncated in a stream", 3, "Inner", "file truncated",
         [](Sample& s) { s.layout.bytes.resize(s.layout.bytes.size() - 300); }},
        {"truncated in a sector", 4, "Inner", "file truncated",
         [](Sample& s) { s.layout.bytes.resize(s.layout.bytes.size() - 3500); }},
        {"truncated before the stream", 4, "Contents", "sector index out of range",
         [](Sample& s) { s.layout.bytes.resize(s.layout.SectorOffset(s.layout.start[s.contents]) + 10); }},
        {"header only", 3, "Contents", "FAT larger than the file",
         [](Sample& s) { s.layout.bytes.resize(512); }},
        {"short", 3, "Contents", "file too short", [](Sample& s) { s.layout.bytes.resize(100); }},
        {"empty", 3, "Contents", "file too short", [](Sample& s) { s.layout.bytes.clear(); }},
        {"signature", 3, "Contents", "signature missing", [](Sample& s) { s.layout.bytes[0] = 'X'; }},
        {"byte order", 3, "Contents", "unknown byte order", [](Sample& s) { s.layout.bytes[28] = 0; }},
        {"version 5", 3, "Contents", "unsupported version or sector size",
         [](Sample& s) { s.layout.bytes[26] = 5; }},
        {"version 3 with large sectors", 3, "Contents", "unsupported version or sector size",
         [](Sample& s) { s.layout.bytes[30] = 12; }},
        {"root entry missing", 3, "Contents", "root entry missing",
         [&](Sample& s) { s.layout.bytes[s.layout.DirEntryOffset(0) + 66] = 0; }},
    };
    for (const auto& c : cases) {
        Sample s = MakeSample(c.version);
        c.patch(s);
        bool ok = true;
        std::string error;
        Read(s.layout.bytes, c.stream, &ok, &error);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(error, std::string("compound file: ") + c.reason) << c.what;
    }
}

TEST(CompoundFile, LenientWhereTheFormatAllows) {
    // A last sector cut short after the data it holds.
    Sample v4 = MakeSample(4);
    v4.layout.bytes.resize(v4.layout.bytes.size() - 100);
    EXPECT_EQ(Read(v4.layout.bytes, "Inner"), Pattern(5000, 3));
    // Version 3 keeps only the low half of a stream size.
    Sample s = MakeSample(3);
    SetLE32(&s.layout.bytes[s.layout.DirEntryOffset(s.contents) + 124], 0xDEADBEEF);
    EXPECT_EQ(Read(s.layout.bytes, "Contents"), Pattern(10000, 1));
    // Damaged links of unrelated directory entries do not stop the search.
    SetLE32(&s.layout.bytes[s.layout.DirEntryOffset(s.tiny) + 72], 0x7FFFFFFF);
    SetLE32(&s.layout.bytes[s.layout.DirEntryOffset(s.inner) + 68], 0);
    EXPECT_EQ(Read(s.layout.bytes, "Empty"), "");
    EXPECT_EQ(Read(s.layout.bytes, "tiny"), "x");
    bool ok = true;
    Read(s.layout.bytes, "Nothing", &ok);
    EXPECT_FALSE(ok);
    // No error text wanted.
    std::string out;
    EXPECT_FALSE(ReadCompoundStream("short", "Contents", out, nullptr));
}

// A document kept in the "Contents" stream of a compound file opens like the
// plain file; it is saved as a plain file later.
TEST(CompoundFile, DocumentInContentsStreamOpens) {
    zt::test::TempDir dir;
    zt::test::ScriptedPrompter p;
    std::string plain;
    {
        CZTDocument doc(p);
        doc.SetPageText(doc.AddPage(nullptr, "Alt"), "old text");
        ASSERT_TRUE(doc.Save(dir / "plain.ztd"));
        plain = zt::test::ReadFile(dir / "plain.ztd");
    }
    for (size_t pad : {size_t(0), size_t(5000)}) { // mini stream and regular sectors
        CompoundWriter w(3);
        w.AddStream("Contents", plain + std::string(pad, '\0'));
        zt::test::WriteFile(dir / "ole.ztd", w.Build().bytes);
        CZTDocument doc(p);
        ASSERT_TRUE(doc.Open(dir / "ole.ztd")) << pad;
        ASSERT_NE(doc.Tree().FirstRootPage(), nullptr);
        EXPECT_EQ(doc.PageText(doc.Tree().FirstRootPage()), "old text");
        ASSERT_TRUE(doc.Save());
        EXPECT_FALSE(zt::IsCompoundFile(zt::test::ReadFile(dir / "ole.ztd")));
    }
    EXPECT_TRUE(p.messages.empty());
}
