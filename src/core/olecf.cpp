#include "olecf.h"

#include "base/bytes.h"
#include "base/cp1252.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zt {

namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderFatEntries = 109;
constexpr size_t kDirEntrySize = 128;
constexpr size_t kMiniSectorSize = 64;

constexpr uint8_t kTypeStorage = 1;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;

// Simple case folding of UTF-16 code units: ASCII and the Latin-1 letters.
char16_t FoldCase(char16_t c) {
    if (c >= u'a' && c <= u'z') return char16_t(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
    return c;
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    size_t pos = 0;
    while (pos < s.size()) {
        char32_t cp = DecodeUtf8(s, pos);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

class CompoundReader {
  public:
    explicit CompoundReader(std::string_view file) : file_(file) {}

    bool Read(std::string_view streamName, std::string& out) {
        if (!ReadHeader() || !LoadFat() || !LoadDirectory()) return false;
        const uint32_t entry = FindStream(Utf8ToUtf16(streamName));
        if (entry == kNoStream) return Fail("no stream of that name");
        const unsigned char* e = DirEntry(entry);
        const uint32_t start = GetLE32(e + 116);
        const uint64_t size = StreamSize(e);
        if (size > file_.size()) return Fail("stream larger than the file");
        if (size == 0) return true;
        if (size < miniCutoff_) {
            if (!LoadMiniStream()) return false;
            return ReadMiniStream(start, size, out);
        }
        return ReadRegularStream(start, size, out);
    }

    std::string error;

  private:
    bool Fail(const char* what) {
        error = std::string("compound file: ") + what;
        return false;
    }

    // Sector `index` starts one sector size into the file (the header's sector).
    uint64_t SectorOffset(uint32_t index) const { return (uint64_t(index) + 1) << sectorShift_; }

    bool ReadHeader() {
        if (file_.size() < kHeaderSize) return Fail("file too short");
        if (file_.substr(0, 8) != kCompoundFileSignature) return Fail("signature missing");
        const auto* h = reinterpret_cast<const unsigned char*>(file_.data());
        if (GetLE16(h + 28) != 0xFFFE) return Fail("unknown byte order");
        majorVersion_ = GetLE16(h + 26);
        sectorShift_ = GetLE16(h + 30);
        if (!((majorVersion_ == 3 && sectorShift_ == 9) || (majorVersion_ == 4 && sectorShift_ == 12)))
            return Fail("unsupported version or sector size");
        if (GetLE16(h + 32) != 6) return Fail("unsupported mini sector size");
        sectorSize_ = size_t(1) << sectorShift_;
        sectorCount_ =
            file_.size() > sectorSize_ ? (file_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_ : 0;
        // Sector numbers at or above the special values cannot be addressed.
        if (sectorCount_ > kMaxRegularSector) sectorCount_ = kMaxRegularSector;
        fatSectorCount_ = GetLE32(h + 44);
        firstDirSector_ = GetLE32(h + 48);
        miniCutoff_ = GetLE32(h + 56);
        firstMiniFatSector_ = GetLE32(h + 60);
        firstDifatSector_ = GetLE32(h + 68);
        return true;
    }

    // A sector that must be wholly inside the file.
    const unsigned char* FullSector(uint32_t index) {
        if (index >= sectorCount_) return nullptr;
        const uint64_t offset = SectorOffset(index);
        if (offset + sectorSize_ > file_.size()) return nullptr;
        return reinterpret_cast<const unsigned char*>(file_.data() + offset);
    }

    bool AddFatSector(uint32_t index) {
        const unsigned char* s = FullSector(index);
        if (!s) return Fail("FAT sector outside the file");
        for (size_t i = 0; i < sectorSize_ / 4; ++i)
            fat_.push_back(GetLE32(s + 4 * i));
        return true;
    }

    bool LoadFat() {
        if (fatSectorCount_ == 0) return Fail("no FAT");
        if (fatSectorCount_ > sectorCount_) return Fail("FAT larger than the file");
        fat_.reserve(size_t(fatSectorCount_) * (sectorSize_ / 4));
        const auto* h = reinterpret_cast<const unsigned char*>(file_.data());
        size_t found = 0;
        for (size_t i = 0; i < kHeaderFatEntries && found < fatSectorCount_; ++i, ++found) {
            uint32_t index = GetLE32(h + 76 + 4 * i);
            if (index > kMaxRegularSector) return Fail("FAT sector list ends early");
            if (!AddFatSector(index)) return false;
        }
        // The rest of the list is in the DIFAT sectors, each ending with the
        // number of the next one.
        uint32_t difat = firstDifatSector_;
        std::vector<bool> seen(sectorCount_);
        while (found < fatSectorCount_) {
            if (difat >= sectorCount_) return Fail("DIFAT sector out of range");
            if (seen[difat]) return Fail("DIFAT chain loops");
            seen[difat] = true;
            const unsigned char* s = FullSector(difat);
            if (!s) return Fail("DIFAT sector outside the file");
            const size_t perSector = sectorSize_ / 4 - 1;
            for (size_t i = 0; i < perSector && found < fatSectorCount_; ++i, ++found) {
                uint32_t index = GetLE32(s + 4 * i);
                if (index > kMaxRegularSector) return Fail("FAT sector list ends early");
                if (!AddFatSector(index)) return false;
            }
            difat = GetLE32(s + 4 * perSector);
        }
        return true;
    }

    // Follows a chain from `start` until its end or until `limit` sectors are
    // collected. Every index is checked and a loop is an error.
    bool CollectChain(uint32_t start, uint64_t limit, std::vector<uint32_t>& sectors) {
        sectors.clear();
        std::vector<bool> seen(sectorCount_);
        uint32_t current = start;
        while (sectors.size() < limit && current != kEndOfChain) {
            if (current >= sectorCount_ || current >= fat_.size()) return Fail("sector index out of range");
            if (seen[current]) return Fail("sector chain loops");
            seen[current] = true;
            sectors.push_back(current);
            current = fat_[current];
        }
        return true;
    }

    bool ReadRegularStream(uint32_t start, uint64_t size, std::string& out) {
        const uint64_t needed = (size + sectorSize_ - 1) / sectorSize_;
        if (needed > sectorCount_) return Fail("stream larger than the file");
        std::vector<uint32_t> sectors;
        if (!CollectChain(start, needed, sectors)) return false;
        if (sectors.size() < needed) return Fail("sector chain ends early");
        out.reserve(size_t(size));
        for (uint32_t s : sectors) {
            const uint64_t take = std::min<uint64_t>(sectorSize_, size - out.size());
            const uint64_t offset = SectorOffset(s);
            if (offset + take > file_.size()) return Fail("file truncated");
            out.append(file_.data() + offset, size_t(take));
        }
        return true;
    }

    bool LoadDirectory() {
        std::vector<uint32_t> sectors;
        if (!CollectChain(firstDirSector_, sectorCount_, sectors)) return false;
        if (sectors.empty()) return Fail("no directory");
        directory_.reserve(sectors.size() * sectorSize_);
        for (uint32_t s : sectors) {
            const unsigned char* p = FullSector(s);
            if (!p) return Fail("file truncated");
            directory_.append(reinterpret_cast<const char*>(p), sectorSize_);
        }
        entryCount_ = directory_.size() / kDirEntrySize;
        if (DirEntry(0)[66] != kTypeRoot) return Fail("root entry missing");
        return true;
    }

    const unsigned char* DirEntry(uint32_t index) const {
        return reinterpret_cast<const unsigned char*>(directory_.data()) + size_t(index) * kDirEntrySize;
    }

    uint64_t StreamSize(const unsigned char* e) const {
        const uint64_t low = GetLE32(e + 120);
        // Version 3 files keep only the low half; the high half may hold anything.
        if (majorVersion_ == 3) return low;
        return low | (uint64_t(GetLE32(e + 124)) << 32);
    }

    bool NameMatches(const unsigned char* e, const std::u16string& wanted) const {
        const uint16_t bytes = GetLE16(e + 64);
        if (bytes < 2 || bytes > 64 || bytes % 2 != 0) return false;
        const size_t units = bytes / 2 - 1;
        if (units != wanted.size()) return false;
        for (size_t i = 0; i < units; ++i)
            if (FoldCase(char16_t(GetLE16(e + 2 * i))) != FoldCase(wanted[i])) return false;
        return true;
    }

    // Walks the directory tree level by level from the root: the siblings of
    // each storage form a binary tree below its child entry. Each entry is
    // visited at most once, so damaged links cannot make the walk loop.
    uint32_t FindStream(const std::u16string& wanted) const {
        std::vector<bool> visited(entryCount_);
        visited[0] = true;
        std::vector<uint32_t> level{0}, next, pending;
        while (!level.empty()) {
            next.clear();
            for (uint32_t storage : level) {
                pending.assign(1, GetLE32(DirEntry(storage) + 76));
                while (!pending.empty()) {
                    const uint32_t id = pending.back();
                    pending.pop_back();
                    if (id >= entryCount_ || visited[id]) continue;
                    visited[id] = true;
                    const unsigned char* e = DirEntry(id);
                    if (e[66] == kTypeStream && NameMatches(e, wanted)) return id;
                    if (e[66] == kTypeStorage) next.push_back(id);
                    pending.push_back(GetLE32(e + 72)); // right sibling
                    pending.push_back(GetLE32(e + 68)); // left sibling
                }
            }
            level.swap(next);
        }
        return kNoStream;
    }

    // The mini stream lives in regular sectors starting at the root entry's
    // sector; the mini FAT chains its 64-byte sectors.
    bool LoadMiniStream() {
        const unsigned char* root = DirEntry(0);
        miniStreamSize_ = StreamSize(root);
        if (miniStreamSize_ > file_.size()) return Fail("mini stream larger than the file");
        const uint64_t needed = (miniStreamSize_ + sectorSize_ - 1) / sectorSize_;
        if (!CollectChain(GetLE32(root + 116), needed, miniStreamSectors_)) return false;
        if (miniStreamSectors_.size() < needed) return Fail("sector chain ends early");
        std::vector<uint32_t> sectors;
        if (!CollectChain(firstMiniFatSector_, sectorCount_, sectors)) return false;
        miniFat_.reserve(sectors.size() * (sectorSize_ / 4));
        for (uint32_t s : sectors) {
            const unsigned char* p = FullSector(s);
            if (!p) return Fail("file truncated");
            for (size_t i = 0; i < sectorSize_ / 4; ++i)
                miniFat_.push_back(GetLE32(p + 4 * i));
        }
        return true;
    }

    bool ReadMiniStream(uint32_t start, uint64_t size, std::string& out) {
        if (size > miniStreamSize_) return Fail("stream larger than the mini stream");
        const uint64_t miniSectors = (miniStreamSize_ + kMiniSectorSize - 1) / kMiniSectorSize;
        std::vector<bool> seen(static_cast<size_t>(miniSectors));
        out.reserve(size_t(size));
        uint32_t current = start;
        while (out.size() < size) {
            if (current >= miniSectors) {
                return Fail(current == kEndOfChain ? "mini sector chain ends early"
                                                   : "mini sector index out of range");
            }
            if (seen[current]) return Fail("mini sector chain loops");
            seen[current] = true;
            const uint64_t position = uint64_t(current) * kMiniSectorSize;
            const uint64_t take = std::min<uint64_t>(kMiniSectorSize, size - out.size());
            if (position + take > miniStreamSize_) return Fail("mini stream truncated");
            // A mini sector never straddles two regular sectors.
            const uint32_t sector = miniStreamSectors_[size_t(position >> sectorShift_)];
            const uint64_t offset = SectorOffset(sector) + (position & (sectorSize_ - 1));
            if (offset + take > file_.size()) return Fail("file truncated");
            out.append(file_.data() + offset, size_t(take));
            if (out.size() < size) {
                if (current >= miniFat_.size()) return Fail("mini sector index out of range");
                current = miniFat_[current];
            }
        }
        return true;
    }

    std::string_view file_;
    uint16_t majorVersion_ = 0;
    uint16_t sectorShift_ = 0;
    size_t sectorSize_ = 0;
    uint64_t sectorCount_ = 0;
    uint32_t fatSectorCount_ = 0;
    uint32_t firstDirSector_ = kEndOfChain;
    uint32_t miniCutoff_ = 4096;
    uint32_t firstMiniFatSector_ = kEndOfChain;
    uint32_t firstDifatSector_ = kEndOfChain;
    std::vector<uint32_t> fat_;
    std::string directory_;
    size_t entryCount_ = 0;
    uint64_t miniStreamSize_ = 0;
    std::vector<uint32_t> miniStreamSectors_;
    std::vector<uint32_t> miniFat_;
};

} // namespace

bool IsCompoundFile(std::string_view fileBytes) {
    return fileBytes.substr(0, kCompoundFileSignature.size()) == kCompoundFileSignature;
}

bool ReadCompoundStream(std::string_view fileBytes, std::string_view streamName, std::string& out,
                        std::string* error) {
    out.clear();
    CompoundReader reader(fileBytes);
    if (reader.Read(streamName, out)) return true;
    out.clear();
    out.shrink_to_fit();
    if (error) *error = reader.error;
    return false;
}

} // namespace zt
