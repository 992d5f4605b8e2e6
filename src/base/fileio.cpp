#include "fileio.h"

#include "base/messages.h"
#include "base/names.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt {

namespace {

std::atomic<int64_t> gWriteLimit{[] {
    const char* v = std::getenv("ZT_TEST_WRITE_LIMIT");
    return v && *v ? int64_t(std::strtoll(v, nullptr, 10)) : int64_t(-1);
}()};
std::atomic<int64_t> gWritten{0};

void SetText(std::string* error, const std::string& text) {
    if (error) *error = text;
}

bool SyncDirectory(const std::string& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool IsTempSuffix(std::string_view s) {
    if (s.size() != 6) return false;
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

} // namespace

std::string SystemErrorText(int err) {
    switch (err) {
    case ENOSPC: return MessageText(Msg::ErrNoSpace);
    case EACCES:
    case EPERM: return MessageText(Msg::ErrAccess);
    case ENOENT: return MessageText(Msg::ErrNotFound);
    case EROFS: return MessageText(Msg::ErrReadOnly);
    case EISDIR: return MessageText(Msg::ErrIsDirectory);
    case ENOTDIR: return MessageText(Msg::ErrNotDirectory);
    case ENOMEM: return MessageText(Msg::OutOfMemory);
    case EIO: return MessageText(Msg::ErrIo);
    case EDQUOT: return MessageText(Msg::ErrQuota);
    case EEXIST: return MessageText(Msg::ErrExists);
    case ENAMETOOLONG: return MessageText(Msg::ErrNameTooLong);
    case ELOOP: return MessageText(Msg::ErrLinkLoop);
    case EPIPE: return MessageText(Msg::ErrBrokenPipe);
    case EBUSY:
    case ETXTBSY: return MessageText(Msg::ErrBusy);
    case EFBIG: return FormatMessage(Msg::ErrTooLarge, {std::to_string(kMaxReadBytes)});
    default: return FormatMessage(Msg::ErrOther, {std::to_string(err), std::strerror(err)});
    }
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string* error, uint64_t limit) {
    out.clear();
    int fd = -1;
    auto fail = [&](const std::string& why) {
        if (fd >= 0) ::close(fd);
        SetText(error, why);
        std::string().swap(out);
        return false;
    };
    // Non-blocking, so that opening a FIFO does not wait for a writer; the
    // file type is checked before a byte is read.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fail(SystemErrorText(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0) return fail(SystemErrorText(errno));
    if (S_ISDIR(st.st_mode)) return fail(SystemErrorText(EISDIR));
    if (!S_ISREG(st.st_mode)) return fail(MessageText(Msg::ErrNotRegular));
    if (uint64_t(st.st_size) > limit) return fail(FormatMessage(Msg::ErrTooLarge, {std::to_string(limit)}));
    const size_t size = size_t(st.st_size);
    try {
        out.resize(size);
    } catch (const std::bad_alloc&) {
        return fail(MessageText(Msg::OutOfMemory));
    }
    // By the size found: a file that grows meanwhile is read up to that size,
    // one that shrinks up to its end.
    size_t len = 0;
    while (len < size) {
        ssize_t n = ::read(fd, out.data() + len, size - len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(SystemErrorText(errno));
        }
        if (n == 0) break;
        len += size_t(n);
    }
    ::close(fd);
    out.resize(len);
    return true;
}

std::string ResolveLinks(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::string link(size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n <= 0) return current;
        link.resize(size_t(n));
        if (link[0] != '/') link = DirectoryPart(current) + link;
        current = link;
    }
    return path;
}

std::string TempPatternFor(const std::string& path) {
    std::string dir = DirectoryPart(path);
    return (dir.empty() ? std::string("./") : dir) + "." + FileNamePart(path) + ".";
}

int RemoveStaleTempFiles(const std::string& path) {
    const std::string target = ResolveLinks(path);
    std::string dir = DirectoryPart(target);
    if (dir.empty()) dir = "./";
    const std::string prefix = "." + FileNamePart(target) + ".";
    if (prefix.size() < 3) return 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 0;
    int removed = 0;
    const uid_t me = ::geteuid();
    while (dirent* e = ::readdir(d)) {
        std::string_view name(e->d_name);
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix ||
            !IsTempSuffix(name.substr(prefix.size())))
            continue;
        const std::string full = dir + std::string(name);
        int fd = ::open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st;
        // Only our own regular files; a save in progress holds its lock.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == me &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat now;
            // Still the same file under that name (not renamed meanwhile).
            if (::lstat(full.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev &&
                ::unlink(full.c_str()) == 0)
                ++removed;
        }
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

// ------------------------------------------------------------ atomic writer

void CAtomicFileWriter::SetWriteLimitForTests(int64_t bytes) {
    gWritten = 0;
    gWriteLimit = bytes;
}

bool CAtomicFileWriter::TestLayerAllows(size_t& n) {
    const int64_t limit = gWriteLimit.load();
    if (limit < 0) return true;
    const int64_t room = limit - gWritten.load();
    if (room <= 0) return false;
    if (int64_t(n) > room) n = size_t(room);
    gWritten += int64_t(n);
    return true;
}

CAtomicFileWriter::~CAtomicFileWriter() { Abandon(); }

bool CAtomicFileWriter::SetError(int err) {
    if (err_ == 0) {
        err_ = err ? err : EIO;
        error_ = SystemErrorText(err_);
    }
    return false;
}

void CAtomicFileWriter::Fail(int err) { SetError(err); }

bool CAtomicFileWriter::Open(const std::string& path, Direct direct) {
    Abandon();
    err_ = 0;
    error_.clear();
    committed_ = false;
    direct_ = false;
    if (path.empty()) return SetError(ENOENT);
    target_ = ResolveLinks(path);
    struct stat st;
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    mode_t mode;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return SetError(EISDIR);
        if (!S_ISREG(st.st_mode)) {
            // Never renamed over: a FIFO or character device is written into.
            if (direct == Direct::Refuse || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
                err_ = EINVAL;
                error_ = MessageText(Msg::ErrNotRegular);
                return false;
            }
            fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd_ < 0) return SetError(errno);
            direct_ = true;
            return true;
        }
        mode = mode_ >= 0 && modeAlways_ ? mode_t(mode_) : st.st_mode & 07777;
    } else if (mode_ >= 0) {
        mode = mode_t(mode_);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    temp_ = TempPatternFor(target_) + "XXXXXX";
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temp_.clear();
        return SetError(errno);
    }
    // Held until the descriptor is closed: a later open or save sees that
    // this temporary file is in use and leaves it alone.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    ::fchmod(fd_, mode);
    return true;
}

bool CAtomicFileWriter::Write(std::string_view bytes) {
    if (fd_ < 0) return SetError(EBADF);
    if (err_) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        size_t n = bytes.size() - done;
        if (!TestLayerAllows(n)) return SetError(ENOSPC);
        ssize_t w = ::write(fd_, bytes.data() + done, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return SetError(errno);
        }
        if (w == 0) return SetError(EIO);
        done += size_t(w);
    }
    return true;
}

bool CAtomicFileWriter::Commit() {
    if (fd_ < 0) return SetError(EBADF);
    if (err_) {
        Abandon();
        return false;
    }
    if (direct_) {
        // Devices and FIFOs: what was written is out; closing tells the rest.
        int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0 && errno != EINTR) return SetError(errno);
        committed_ = true;
        return true;
    }
    if (!deferSync_ && ::fsync(fd_) != 0) {
        SetError(errno);
        Abandon();
        return false;
    }
    // The rename happens while the lock is held, so that no cleanup of stale
    // temporary files takes this one away in between.
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        SetError(errno);
        Abandon();
        return false;
    }
    temp_.clear();
    int rc = ::close(fd_);
    fd_ = -1;
    if (!deferSync_) SyncDirectory(DirectoryPart(target_));
    committed_ = true;
    if (rc != 0 && errno != EINTR) return SetError(errno);
    return true;
}

void CAtomicFileWriter::Abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

bool CAtomicFileWriter::KeepAs(const std::string& path) {
    if (fd_ < 0) return SetError(EBADF);
    if (err_) {
        Abandon();
        return false;
    }
    if (direct_) {
        const int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0 && errno != EINTR) return SetError(errno);
        return true;
    }
    if (path.empty()) {
        SetError(ENOENT);
        Abandon();
        return false;
    }
    if (!deferSync_ && ::fsync(fd_) != 0) {
        SetError(errno);
        Abandon();
        return false;
    }
    // Never over an existing file; where the file system cannot rename
    // without replacing, a hard link does the same.
    int rc = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        rc = ::link(temp_.c_str(), path.c_str());
        if (rc == 0) ::unlink(temp_.c_str());
    }
    if (rc != 0) {
        SetError(errno);
        Abandon();
        return false;
    }
    temp_.clear();
    rc = ::close(fd_);
    fd_ = -1;
    if (!deferSync_) SyncDirectory(DirectoryPart(path));
    if (rc != 0 && errno != EINTR) return SetError(errno);
    return true;
}

bool WriteFileReplacing(const std::string& path, std::string_view data, std::string* error, bool deferSync) {
    CAtomicFileWriter w;
    if (deferSync) w.DeferSync();
    if (!w.Open(path) || !w.Write(data) || !w.Commit()) {
        SetText(error, w.Error());
        return false;
    }
    return true;
}

bool SyncFileSystem(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetText(error, SystemErrorText(errno));
        return false;
    }
    const int rc = ::syncfs(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0) {
        SetText(error, SystemErrorText(err));
        return false;
    }
    return true;
}

bool WriteAll(int fd, std::string_view data, std::string* error) {
    size_t done = 0;
    while (done < data.size()) {
        size_t n = data.size() - done;
        if (!CAtomicFileWriter::TestLayerAllows(n)) {
            SetText(error, SystemErrorText(ENOSPC));
            return false;
        }
        ssize_t w = ::write(fd, data.data() + done, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            SetText(error, SystemErrorText(errno));
            return false;
        }
        if (w == 0) {
            SetText(error, SystemErrorText(EIO));
            return false;
        }
        done += size_t(w);
    }
    return true;
}

} // namespace zt
