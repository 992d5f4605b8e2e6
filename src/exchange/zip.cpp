#include "exchange/zip.h"

#include "base/fileio.h"
#include "core/compress.h"
#include "exchange/oemcodepage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt {

namespace {

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr size_t kEndSize = 22;
constexpr size_t kMaxComment = 65535;
// Create mode gathers headers and small members up to this many bytes
// before it hands them to the writer; larger data goes out directly.
constexpr size_t kOutBuffer = size_t(1) << 20;
constexpr size_t kDirectWrite = size_t(64) << 10;

uint16_t Get16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

void Put16(std::string& s, uint16_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

std::string ToZipName(std::string_view ansi) {
    std::string s = AnsiToOem(ansi);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

} // namespace

bool ZipEntry::IsDirectory() const {
    return (externalAttributes & 0x10) != 0 || (!name.empty() && (name.back() == '/' || name.back() == '\\'));
}

ZipArchive::ZipArchive() = default;

ZipArchive::~ZipArchive() {
    if (mode_ == kCreate) Abandon();
    else if (file_) std::fclose(file_);
}

bool ZipArchive::Fail(Error e, std::string detail) {
    error_ = e;
    detail_ = std::move(detail);
    return false;
}

bool ZipArchive::Open(const std::string& path, int mode) {
    if (file_ || writer_) return Fail(Error::CannotOpen, "already open");
    entries_.clear();
    comment_.clear();
    error_ = Error::None;
    detail_.clear();
    path_ = path;
    offset_ = 0;
    if (mode == kCreate) {
        // What a killed export of this archive left behind goes first.
        RemoveStaleTempFiles(path);
        writer_ = std::make_unique<CAtomicFileWriter>();
        if (!writer_->Open(path)) {
            const std::string why = writer_->Error();
            writer_.reset();
            return Fail(Error::CannotOpen, why);
        }
        out_.clear();
        out_.reserve(kOutBuffer);
        mode_ = kCreate;
        return true;
    }
    if (mode != kReadAll && mode != kReadOnDemand) return Fail(Error::CannotOpen, "mode");
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(Error::CannotOpen, std::strerror(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(Error::CannotOpen, std::strerror(errno ? errno : EINVAL));
    }
    file_ = ::fdopen(fd, "rb");
    if (!file_) {
        ::close(fd);
        return Fail(Error::CannotOpen, std::strerror(errno));
    }
    fileSize_ = uint64_t(st.st_size);
    mode_ = mode;
    if (!ReadDirectory()) {
        std::fclose(file_);
        file_ = nullptr;
        mode_ = -1;
        entries_.clear();
        return false;
    }
    if (mode == kReadAll) {
        for (auto& e : entries_) {
            if (!ReadMember(e, e.data)) {
                Close();
                entries_.clear();
                return Fail(Error::Damaged, "short read");
            }
            e.loaded = true;
        }
    }
    return true;
}

bool ZipArchive::ReadAt(uint64_t offset, void* out, size_t n) {
    if (!file_ || offset > fileSize_ || n > fileSize_ - offset) return false;
    int fd = fileno(file_);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd, static_cast<char*>(out) + done, n - done, off_t(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += size_t(r);
    }
    return true;
}

bool ZipArchive::ReadDirectory() {
    if (fileSize_ < kEndSize) return Fail(Error::NotZip);
    // The end record lies within the last 22 + 65535 bytes.
    const uint64_t window = std::min<uint64_t>(fileSize_, kEndSize + kMaxComment);
    std::string tail(size_t(window), '\0');
    const uint64_t tailStart = fileSize_ - window;
    if (!ReadAt(tailStart, tail.data(), tail.size())) return Fail(Error::Damaged, "read");
    const auto* t = reinterpret_cast<const unsigned char*>(tail.data());
    size_t endPos = std::string::npos;
    bool commentPastEnd = false;
    for (size_t i = tail.size() - kEndSize + 1; i-- > 0;) {
        if (Get32(t + i) != kEndSig) continue;
        const size_t commentLength = Get16(t + i + 20);
        if (i + kEndSize + commentLength > tail.size()) {
            commentPastEnd = true;
            continue;
        }
        endPos = i;
        break;
    }
    if (endPos == std::string::npos) return Fail(commentPastEnd ? Error::Damaged : Error::NotZip);
    const unsigned char* end = t + endPos;
    const uint64_t endOffset = tailStart + endPos;
    const uint16_t disk = Get16(end + 4), cdDisk = Get16(end + 6), onDisk = Get16(end + 8), total = Get16(end + 10);
    const uint32_t cdSize = Get32(end + 12), cdOffset = Get32(end + 16);
    comment_.assign(reinterpret_cast<const char*>(end + 22), Get16(end + 20));
    if (endOffset >= 20) {
        unsigned char loc[4];
        if (ReadAt(endOffset - 20, loc, 4) && Get32(loc) == kZip64LocatorSig) return Fail(Error::Zip64);
    }
    if (total == 0xFFFF || onDisk == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF)
        return Fail(Error::Zip64);
    if (disk != 0 || cdDisk != 0 || onDisk != total) return Fail(Error::Damaged, "disk numbers");
    if (uint64_t(cdOffset) + cdSize != endOffset) return Fail(Error::Damaged, "central directory offset");

    std::string cd(cdSize, '\0');
    if (!ReadAt(cdOffset, cd.data(), cd.size())) return Fail(Error::Damaged, "central directory");
    const auto* c = reinterpret_cast<const unsigned char*>(cd.data());
    size_t pos = 0;
    entries_.reserve(total);
    for (size_t k = 0; k < total; ++k) {
        if (cd.size() - pos < 46 || Get32(c + pos) != kCentralSig) return Fail(Error::Damaged, "central record");
        const unsigned char* r = c + pos;
        ZipEntry e;
        e.versionMadeBy = Get16(r + 4);
        e.versionNeeded = Get16(r + 6);
        e.flags = Get16(r + 8);
        e.method = Get16(r + 10);
        e.time = Get16(r + 12);
        e.date = Get16(r + 14);
        e.crc = Get32(r + 16);
        e.compressedSize = Get32(r + 20);
        e.uncompressedSize = Get32(r + 24);
        const size_t n = Get16(r + 28), x = Get16(r + 30), m = Get16(r + 32);
        e.diskStart = Get16(r + 34);
        e.internalAttributes = Get16(r + 36);
        e.externalAttributes = Get32(r + 38);
        e.localHeaderOffset = Get32(r + 42);
        if (cd.size() - pos - 46 < n + x + m) return Fail(Error::Damaged, "central record");
        e.name.assign(cd, pos + 46, n);
        e.extra.assign(cd, pos + 46 + n, x);
        e.comment.assign(cd, pos + 46 + n + x, m);
        pos += 46 + n + x + m;
        if (e.compressedSize == 0xFFFFFFFF || e.uncompressedSize == 0xFFFFFFFF || e.localHeaderOffset == 0xFFFFFFFF ||
            e.diskStart == 0xFFFF)
            return Fail(Error::Zip64);
        if (e.diskStart != 0) return Fail(Error::Damaged, "disk numbers");
        if (e.flags & 0x41) return Fail(Error::Method, "encrypted");
        if (e.method != 0 && e.method != 8) return Fail(Error::Method, std::to_string(e.method));
        if (e.method == 0 && e.compressedSize != e.uncompressedSize) return Fail(Error::Damaged, "stored sizes");
        if (e.method == 8 && e.uncompressedSize > MaxInflatedSize(e.compressedSize))
            return Fail(Error::Damaged, "implausible size");
        entries_.push_back(std::move(e));
    }
    if (pos != cd.size()) return Fail(Error::Damaged, "central directory size");

    // Local headers: each must be where the directory says, agree with it, and
    // hold its data before the next member and the central directory.
    std::vector<size_t> order(entries_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return entries_[a].localHeaderOffset < entries_[b].localHeaderOffset; });
    for (size_t k = 0; k < order.size(); ++k) {
        ZipEntry& e = entries_[order[k]];
        unsigned char h[30];
        if (uint64_t(e.localHeaderOffset) + 30 > cdOffset || !ReadAt(e.localHeaderOffset, h, 30) ||
            Get32(h) != kLocalSig)
            return Fail(Error::Damaged, "local header");
        const uint16_t flags = Get16(h + 6), method = Get16(h + 8);
        const uint32_t crc = Get32(h + 14), csize = Get32(h + 18), usize = Get32(h + 22);
        if (method != e.method) return Fail(Error::Damaged, "local method");
        if (!(flags & 0x08) && csize == e.compressedSize && usize == e.uncompressedSize && crc != e.crc)
            return Fail(Error::Damaged, "local crc");
        e.dataOffset = uint64_t(e.localHeaderOffset) + 30 + Get16(h + 26) + Get16(h + 28);
        const uint64_t dataEnd = e.dataOffset + e.compressedSize;
        const uint64_t limit = k + 1 < order.size() ? entries_[order[k + 1]].localHeaderOffset : cdOffset;
        if (dataEnd > limit) return Fail(Error::Damaged, "member overlaps");
    }
    return true;
}

bool ZipArchive::ReadMember(const ZipEntry& e, std::string& data) {
    if (e.loaded) {
        data = e.data;
        return true;
    }
    if (mode_ != kReadAll && mode_ != kReadOnDemand) return false;
    data.resize(e.compressedSize);
    if (!ReadAt(e.dataOffset, data.data(), data.size())) {
        data.clear();
        return false;
    }
    return true;
}

bool ZipArchive::GetEntryBuffer(size_t index, std::string& buffer) {
    buffer.clear();
    if (index >= entries_.size()) return false;
    const ZipEntry& e = entries_[index];
    if (e.uncompressedSize == 0) return e.crc == 0 || Fail(Error::Damaged, "crc");
    if (e.method == 0) {
        std::string data;
        if (!ReadMember(e, data)) return Fail(Error::Damaged, "short read");
        if (Crc32(data) != e.crc) return Fail(Error::Damaged, "crc");
        buffer = CompressBuffer(data);
        return true;
    }
    // The prefix, then the deflate stream read straight behind it.
    Put32(buffer, e.uncompressedSize);
    Put32(buffer, e.crc);
    if (e.loaded) {
        buffer += e.data;
        return true;
    }
    buffer.resize(8 + size_t(e.compressedSize));
    if (!ReadAt(e.dataOffset, buffer.data() + 8, e.compressedSize)) {
        buffer.clear();
        return Fail(Error::Damaged, "short read");
    }
    return true;
}

bool ZipArchive::ReadEntryData(size_t index, std::string& out) {
    out.clear();
    if (index >= entries_.size()) return false;
    const ZipEntry& e = entries_[index];
    if (e.uncompressedSize == 0) return e.crc == 0 || Fail(Error::Damaged, "crc");
    std::string data;
    if (!ReadMember(e, data)) return Fail(Error::Damaged, "short read");
    if (e.method == 0) {
        if (Crc32(data) != e.crc) return Fail(Error::Damaged, "crc");
        out = std::move(data);
        return true;
    }
    std::string buffer;
    GetEntryBuffer(index, buffer);
    out.resize(e.uncompressedSize);
    if (!DecompressBufferTo(buffer, out.data(), out.size())) {
        out.clear();
        return Fail(Error::Damaged, "inflate");
    }
    return true;
}

std::string ZipArchive::EntryName(size_t index) const {
    std::string s = OemToAnsi(entries_[index].name);
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

int64_t ZipArchive::EntryTime(size_t index) const { return FromDosTime(entries_[index].time, entries_[index].date); }

void ZipArchive::ToDosTime(int64_t time, uint16_t& dosTime, uint16_t& dosDate) {
    std::time_t t = std::time_t(time < 1 ? 1 : time);
    std::tm tm{};
    localtime_r(&t, &tm);
    const int year = tm.tm_year + 1900 <= 1980 ? 0 : (tm.tm_year + 48) & 0x7F;
    dosDate = uint16_t(tm.tm_mday + 32 * (tm.tm_mon + 1) + 512 * year);
    dosTime = uint16_t(tm.tm_sec / 2 + 32 * tm.tm_min + 2048 * tm.tm_hour);
}

int64_t ZipArchive::FromDosTime(uint16_t dosTime, uint16_t dosDate) {
    std::tm tm{};
    tm.tm_year = 80 + (dosDate >> 9);
    tm.tm_mon = std::max(1, (dosDate >> 5) & 0x0F) - 1;
    tm.tm_mday = std::max(1, dosDate & 0x1F);
    tm.tm_hour = dosTime >> 11;
    tm.tm_min = (dosTime >> 5) & 0x3F;
    tm.tm_sec = (dosTime & 0x1F) * 2;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    return t == std::time_t(-1) ? 1 : int64_t(t);
}

// ---- writing

uint16_t ZipArchive::Add(std::string_view name) {
    if (mode_ != kCreate || entries_.size() >= kMaxEntries) {
        if (mode_ == kCreate) Fail(Error::TooManyMembers);
        return kNoEntry;
    }
    ZipEntry e;
    e.name = name.empty() ? "file" + std::to_string(entries_.size()) : ToZipName(name);
    entries_.push_back(std::move(e));
    SetEntryTime(entries_.size() - 1, std::time(nullptr));
    return uint16_t(entries_.size() - 1);
}

uint16_t ZipArchive::AddEntry(std::string_view name, std::string_view data) {
    if (data.size() > 0xFFFFFFFEu) {
        Fail(Error::TooLarge);
        return kNoEntry;
    }
    uint16_t i = Add(name);
    if (i == kNoEntry) return i;
    ZipEntry& e = entries_[i];
    if (!data.empty()) {
        std::string buffer = CompressBuffer(data);
        e.method = 8;
        e.crc = Crc32(data);
        e.uncompressedSize = uint32_t(data.size());
        e.data = buffer.substr(8);
        e.compressedSize = uint32_t(e.data.size());
    }
    e.loaded = true;
    return i;
}

uint16_t ZipArchive::AddCompressedEntry(std::string_view name, std::string_view compressed, uint32_t crc,
                                        uint32_t uncompressedLength) {
    if (compressed.size() > 0xFFFFFFFEu) {
        Fail(Error::TooLarge);
        return kNoEntry;
    }
    uint16_t i = Add(name);
    if (i == kNoEntry) return i;
    ZipEntry& e = entries_[i];
    if (!compressed.empty()) {
        e.method = 8;
        e.crc = crc;
        e.uncompressedSize = uncompressedLength;
        e.data.assign(compressed);
        e.compressedSize = uint32_t(e.data.size());
    }
    e.loaded = true;
    return i;
}

void ZipArchive::SetEntryTime(size_t index, int64_t time) {
    if (index < entries_.size()) ToDosTime(time, entries_[index].time, entries_[index].date);
}

bool ZipArchive::Flush() {
    if (!writer_) return Fail(Error::Write, "not open");
    if (out_.empty()) return true;
    const bool ok = writer_->Write(out_);
    out_.clear();
    return ok || Fail(Error::Write, writer_->Error());
}

bool ZipArchive::Put(const void* p, size_t n) {
    if (!writer_) return Fail(Error::Write, "not open");
    // Large data goes out as it is, without a copy into the buffer.
    if (n >= kDirectWrite || out_.size() + n > kOutBuffer) {
        if (!Flush()) return false;
        if (n >= kDirectWrite) {
            if (!writer_->Write(std::string_view(static_cast<const char*>(p), n)))
                return Fail(Error::Write, writer_->Error());
            offset_ += n;
            return true;
        }
    }
    out_.append(static_cast<const char*>(p), n);
    offset_ += n;
    return true;
}

uint16_t ZipArchive::WriteCompressedEntry(std::string_view name, std::string_view compressed, uint32_t crc,
                                          uint32_t uncompressedLength, int64_t time) {
    uint16_t i = AddCompressedEntry(name, {}, 0, 0);
    if (i == kNoEntry) return i;
    ZipEntry& e = entries_[i];
    if (!compressed.empty()) {
        e.method = 8;
        e.crc = crc;
        e.uncompressedSize = uncompressedLength;
        e.compressedSize = uint32_t(compressed.size());
    }
    SetEntryTime(i, time);
    return WriteEntryData(i, compressed) ? i : kNoEntry;
}

bool ZipArchive::WriteEntry(size_t index) {
    if (mode_ != kCreate || index >= entries_.size()) return false;
    if (entries_[index].written) return true;
    std::string data = std::move(entries_[index].data);
    return WriteEntryData(index, data);
}

bool ZipArchive::WriteEntryData(size_t index, std::string_view data) {
    ZipEntry& e = entries_[index];
    if (e.name.size() > 65535 || e.name.size() + e.comment.size() > 65535 || e.extra.size() > 65535)
        return Fail(Error::Write, "name and comment too long");
    const uint64_t size = 30 + e.name.size() + e.extra.size() + data.size();
    if (offset_ + size > 0xFFFFFFFEu) return Fail(Error::TooLarge);
    e.localHeaderOffset = uint32_t(offset_);
    std::string h;
    Put32(h, kLocalSig);
    Put16(h, e.versionNeeded);
    Put16(h, e.flags);
    Put16(h, e.method);
    Put16(h, e.time);
    Put16(h, e.date);
    Put32(h, e.crc);
    Put32(h, e.compressedSize);
    Put32(h, e.uncompressedSize);
    Put16(h, uint16_t(e.name.size()));
    Put16(h, uint16_t(e.extra.size()));
    h += e.name;
    h += e.extra;
    if (!Put(h.data(), h.size()) || !Put(data.data(), data.size())) return false;
    std::string().swap(e.data);
    e.loaded = false;
    e.written = true;
    return true;
}

bool ZipArchive::Close(const std::string& keepAs) {
    if (mode_ != kCreate) {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        mode_ = -1;
        return true;
    }
    bool ok = error_ == Error::None || error_ == Error::TooManyMembers;
    for (size_t i = 0; ok && i < entries_.size(); ++i) ok = WriteEntry(i);
    const uint64_t cdOffset = offset_;
    std::string cd;
    for (size_t i = 0; ok && i < entries_.size(); ++i) {
        const ZipEntry& e = entries_[i];
        Put32(cd, kCentralSig);
        Put16(cd, e.versionMadeBy);
        Put16(cd, e.versionNeeded);
        Put16(cd, e.flags);
        Put16(cd, e.method);
        Put16(cd, e.time);
        Put16(cd, e.date);
        Put32(cd, e.crc);
        Put32(cd, e.compressedSize);
        Put32(cd, e.uncompressedSize);
        Put16(cd, uint16_t(e.name.size()));
        Put16(cd, uint16_t(e.extra.size()));
        Put16(cd, uint16_t(e.comment.size()));
        Put16(cd, e.diskStart);
        Put16(cd, e.internalAttributes);
        Put32(cd, e.externalAttributes);
        Put32(cd, e.localHeaderOffset);
        cd += e.name;
        cd += e.extra;
        cd += e.comment;
    }
    if (ok && (cdOffset + cd.size() + kEndSize + comment_.size() > 0xFFFFFFFEu)) ok = Fail(Error::TooLarge);
    if (ok && comment_.size() > kMaxComment) ok = Fail(Error::Write, "archive comment too long");
    if (ok) {
        std::string end;
        Put32(end, kEndSig);
        Put16(end, 0);
        Put16(end, 0);
        Put16(end, uint16_t(entries_.size()));
        Put16(end, uint16_t(entries_.size()));
        Put32(end, uint32_t(cd.size()));
        Put32(end, uint32_t(cdOffset));
        Put16(end, uint16_t(comment_.size()));
        end += comment_;
        ok = Put(cd.data(), cd.size()) && Put(end.data(), end.size());
    }
    if (ok) ok = Flush();
    if (ok) {
        ok = keepAs.empty() ? writer_->Commit() : writer_->KeepAs(keepAs);
        if (!ok) Fail(Error::Write, writer_->Error());
    } else {
        writer_->Abandon();
    }
    if (ok) path_ = keepAs.empty() ? path_ : keepAs;
    writer_.reset();
    std::string().swap(out_);
    mode_ = -1;
    return ok;
}

void ZipArchive::Abandon() {
    if (mode_ != kCreate) return;
    if (writer_) writer_->Abandon();
    writer_.reset();
    std::string().swap(out_);
    mode_ = -1;
}

} // namespace zt
