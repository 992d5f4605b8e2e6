#include "docstream.h"

#include "base/bytes.h"
#include "base/fileio.h"
#include "base/names.h"
#include "core/ztexception.h"
#include "security/keyring.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<int64_t> gWriteLimit{-1};
std::atomic<int64_t> gWrittenTotal{0};
constexpr size_t kFileBuffer = 1 << 20;
} // namespace

void CZTDocStream::SetWriteLimitForTests(int64_t bytes) {
    gWrittenTotal = 0;
    gWriteLimit = bytes;
}

CZTDocStream::CZTDocStream() = default;
CZTDocStream::~CZTDocStream() = default;
CZTDocStream::CZTDocStream(CZTDocStream&&) noexcept = default;
CZTDocStream& CZTDocStream::operator=(CZTDocStream&&) noexcept = default;

CZTDocStream CZTDocStream::Loading(std::string bytes, std::string filePath) {
    CZTDocStream s;
    s.loaded_ = std::make_shared<const std::string>(std::move(bytes));
    s.filePath_ = std::move(filePath);
    return s;
}

bool CZTDocStream::LoadFile(const std::string& path, CZTDocStream& out, std::string* error) {
    std::string bytes;
    if (!zt::ReadWholeFile(path, bytes, error)) return false;
    out = Loading(std::move(bytes), path);
    return true;
}

CZTDocStream CZTDocStream::StoringMemory() {
    CZTDocStream s;
    s.storing_ = true;
    return s;
}

CZTDocStream CZTDocStream::StoringFile(int fd, std::string filePath) {
    CZTDocStream s;
    s.storing_ = true;
    s.fd_ = fd;
    s.filePath_ = std::move(filePath);
    s.data_.reserve(kFileBuffer);
    return s;
}

// ------------------------------------------------------------------ loading

const std::string& CZTDocStream::Loaded() const {
    static const std::string kNone;
    return loaded_ ? *loaded_ : kNone;
}

int32_t CZTDocStream::ReadInt() {
    const std::string& in = Loaded();
    if (in.size() - pos_ < 4) ThrowDamaged("unexpected end of data");
    int32_t v = int32_t(zt::GetLE32(in.data() + pos_));
    pos_ += 4;
    return v;
}

std::string CZTDocStream::ReadString() {
    auto s = zt::ReadPrefixedString(Loaded(), pos_);
    if (!s) ThrowDamaged("string runs past the end of data");
    return std::move(*s);
}

std::string CZTDocStream::ReadBytes(int64_t n) { return std::string(ReadView(n)); }

std::string_view CZTDocStream::ReadView(int64_t n) {
    const std::string& in = Loaded();
    if (n < 0 || uint64_t(n) > in.size() - pos_) ThrowDamaged("length beyond the end of data");
    std::string_view out(in.data() + pos_, size_t(n));
    pos_ += size_t(n);
    return out;
}

std::string_view CZTDocStream::PeekRemaining() const {
    if (storing_) return {};
    return std::string_view(Loaded()).substr(pos_);
}

void CZTDocStream::Skip(size_t n) {
    if (n > Loaded().size() - pos_) ThrowDamaged("length beyond the end of data");
    pos_ += n;
}

void CZTDocStream::ContinueWith(std::string bytes) {
    loaded_ = std::make_shared<const std::string>(std::move(bytes));
    pos_ = 0;
}

// ------------------------------------------------------------------ storing

void CZTDocStream::WriteInt(int32_t v) {
    char b[4];
    zt::SetLE32(b, uint32_t(v));
    WriteBytes(std::string_view(b, 4));
}

void CZTDocStream::WriteString(std::string_view s) {
    WriteBytes(zt::StringPrefix(s.size()));
    WriteBytes(s);
}

void CZTDocStream::WriteBytes(std::string_view bytes) {
    if (failed_) return;
    written_ += bytes.size();
    if (cipher_) {
        if (!cipher_->Write(bytes) && !failed_) {
            failed_ = true;
            error_ = "encryption failed";
        }
        return;
    }
    WriteRaw(bytes);
}

bool CZTDocStream::BeginEncryption(zt::CZtKeyRing& ring) {
    if (!storing_ || failed_ || cipher_) return false;
    if (!ring.BeginWrite([this](const void* p, size_t n) {
            WriteRaw(std::string_view(static_cast<const char*>(p), n));
            return !failed_;
        }))
        return false;
    cipher_ = &ring;
    return true;
}

bool CZTDocStream::EndEncryption() {
    if (!cipher_) return false;
    zt::CZtKeyRing* ring = cipher_;
    cipher_ = nullptr;
    bool ok = ring->EndWrite();
    if (!ok && !failed_) {
        failed_ = true;
        error_ = "encryption failed";
    }
    return ok && !failed_;
}

void CZTDocStream::WriteRaw(std::string_view bytes) {
    if (failed_) return;
    if (fd_ < 0) {
        data_.append(bytes);
        return;
    }
    if (data_.size() + bytes.size() > kFileBuffer) {
        if (!Flush()) return;
        if (bytes.size() >= kFileBuffer) {
            data_.assign(bytes);
            Flush();
            return;
        }
    }
    data_.append(bytes);
}

bool CZTDocStream::Flush() {
    if (fd_ < 0 || failed_) return !failed_;
    size_t done = 0;
    while (done < data_.size()) {
        size_t chunk = data_.size() - done;
        int64_t limit = gWriteLimit.load();
        if (limit >= 0) {
            int64_t room = limit - gWrittenTotal.load();
            if (room <= 0) {
                failed_ = true;
                error_ = zt::SystemErrorText(ENOSPC);
                return false;
            }
            if (int64_t(chunk) > room) chunk = size_t(room);
        }
        if (!zt::CAtomicFileWriter::TestLayerAllows(chunk)) {
            failed_ = true;
            error_ = zt::SystemErrorText(ENOSPC);
            return false;
        }
        ssize_t n = ::write(fd_, data_.data() + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            error_ = zt::SystemErrorText(errno);
            return false;
        }
        gWrittenTotal += n;
        done += size_t(n);
    }
    data_.clear();
    return true;
}

uint64_t CZTDocStream::Size() const { return storing_ ? written_ : Loaded().size(); }
uint64_t CZTDocStream::Position() const { return storing_ ? written_ : pos_; }

bool CZTDocStream::DirectoryOfFile(std::string& dir) const {
    if (filePath_.empty()) return false;
    dir = zt::DirectoryPart(filePath_);
    if (dir.empty()) dir = "./";
    return true;
}
