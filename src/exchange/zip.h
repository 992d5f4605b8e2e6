// The program's own zip container: single disk, members stored or deflated,
// names and comments in the OEM code page. Deflated members travel in and out
// unchanged, since a raw deflate stream is what attached files keep.
//
// Everything an archive states is untrusted: the central directory must agree
// with itself, the local headers and the end record; members must lie inside
// the archive before the central directory and must not overlap; a deflated
// member may claim at most 1032 times its stored size; data that is inflated
// is bounded by the stated size and checked against the CRC-32. Archives that
// need the zip64 form or hold more than 65534 members are refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

class CAtomicFileWriter;

struct ZipEntry {
    uint16_t versionMadeBy = 20;
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = 0;  // 0 stored, 8 deflate
    uint16_t time = 0;    // MS-DOS time and date
    uint16_t date = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t diskStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0; // 0x10 for directory entries
    uint32_t localHeaderOffset = 0;
    std::string name;    // OEM code page, "/" separators
    std::string extra;
    std::string comment; // OEM code page
    std::string data;    // member data as stored, while held in memory
    bool loaded = false;
    bool written = false;
    uint64_t dataOffset = 0; // where the data starts in the file (reading)

    bool IsDirectory() const;
};

class ZipArchive {
public:
    enum Mode { kReadAll = 0, kReadOnDemand = 1, kCreate = 2 };
    static constexpr size_t kMaxEntries = 65534;
    static constexpr uint16_t kNoEntry = 0xFFFF;

    enum class Error {
        None,
        CannotOpen,    // the file cannot be opened or created
        NotZip,        // no end record
        Damaged,       // inconsistent or truncated
        Zip64,         // needs the zip64 form
        TooManyMembers,
        Method,        // a method other than stored and deflate, or encryption
        Write,         // writing failed
        TooLarge,      // the archive would need the zip64 form
    };

    ZipArchive();
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Create mode writes through CAtomicFileWriter: into a temporary file
    // beside `path` (leftovers of a killed export of the same name are removed
    // first), which takes the name only when Close succeeds. False on any
    // failure (see LastError).
    bool Open(const std::string& path, int mode);

    // A new member with `data` deflated (stored with no data when empty); the
    // index, or kNoEntry when not creating or when the archive is full. An
    // empty name becomes "file" + the index.
    uint16_t AddEntry(std::string_view name, std::string_view data);
    // A member of data deflated already (raw deflate), taken unchanged; stored
    // when `compressed` is empty.
    uint16_t AddCompressedEntry(std::string_view name, std::string_view compressed, uint32_t crc,
                                uint32_t uncompressedLength);
    // The same, written at once straight from `compressed` (no copy is kept);
    // kNoEntry when it cannot be added or written.
    uint16_t WriteCompressedEntry(std::string_view name, std::string_view compressed, uint32_t crc,
                                  uint32_t uncompressedLength, int64_t time);
    ZipEntry& Entry(size_t index) { return entries_[index]; }
    const ZipEntry& Entry(size_t index) const { return entries_[index]; }
    // Sets the member's MS-DOS time from seconds since 1970 (local time).
    void SetEntryTime(size_t index, int64_t time);
    // Writes the member's local header and data; the data is released.
    bool WriteEntry(size_t index);
    void SetArchiveComment(std::string comment) { comment_ = std::move(comment); }

    size_t EntryCount() const { return entries_.size(); }
    // The member's data in the compressed-buffer layout (length, CRC-32, raw
    // deflate stream); a stored member is deflated here after its CRC-32 was
    // checked. Empty for an empty member. False when the data cannot be read.
    bool GetEntryBuffer(size_t index, std::string& buffer);
    // The member's data uncompressed, bounded by its stated size and checked
    // against its CRC-32.
    bool ReadEntryData(size_t index, std::string& data);
    // The name in the ANSI code page with "\\" separators.
    std::string EntryName(size_t index) const;
    const std::string& EntryComment(size_t index) const { return entries_[index].comment; }
    const std::string& ArchiveComment() const { return comment_; }
    int64_t EntryTime(size_t index) const;
    uint64_t FileSize() const { return fileSize_; }

    // Create mode: writes every member not yet written, the central directory
    // and the end record, and gives the file its name. With `keepAs` the
    // archive (complete as far as it goes) takes that name instead and the
    // target stays as it was: what a cancelled export leaves, never replacing
    // an existing file. Read modes: closes the file. False when anything failed.
    bool Close(const std::string& keepAs = {});
    // Create mode: drops the file written so far.
    void Abandon();

    Error LastError() const { return error_; }
    const std::string& ErrorDetail() const { return detail_; }
    const std::string& Path() const { return path_; }

    // MS-DOS date and time of seconds since 1970 (local time), and back.
    static void ToDosTime(int64_t time, uint16_t& dosTime, uint16_t& dosDate);
    static int64_t FromDosTime(uint16_t dosTime, uint16_t dosDate);

private:
    bool Fail(Error e, std::string detail = {});
    bool ReadDirectory();
    bool ReadAt(uint64_t offset, void* out, size_t n);
    bool ReadMember(const ZipEntry& e, std::string& data);
    bool Put(const void* p, size_t n);
    bool Flush();
    bool WriteEntryData(size_t index, std::string_view data);
    uint16_t Add(std::string_view name);

    FILE* file_ = nullptr; // read modes
    std::unique_ptr<CAtomicFileWriter> writer_; // create mode
    std::string out_;      // create mode: bytes not yet handed to the writer
    int mode_ = -1;
    std::string path_;
    std::vector<ZipEntry> entries_;
    std::string comment_;
    uint64_t offset_ = 0;   // create: bytes written so far
    uint64_t fileSize_ = 0; // read: size of the file
    Error error_ = Error::None;
    std::string detail_;
};

} // namespace zt
