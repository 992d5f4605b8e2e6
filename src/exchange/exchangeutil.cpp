#include "exchange/exchangeutil.h"

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/names.h"
#include "core/document.h"
#include "text/pagertf.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt {

namespace {

bool PlainComponent(std::string_view c) {
    return !c.empty() && c != "." && c != ".." && c.find('/') == std::string_view::npos &&
           c.find('\\') == std::string_view::npos && c.find('\0') == std::string_view::npos;
}

} // namespace

std::string SafeTree::DiskPath(std::string_view relative) const {
    std::string p = base_;
    if (!relative.empty() && relative.front() != '/') p += "/";
    return p + Cp1252ToUtf8(relative);
}

int SafeTree::OpenDirectory(std::string_view relative, std::string& error) const {
    int fd = ::open(base_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    size_t pos = 0;
    while (pos < relative.size()) {
        size_t slash = relative.find('/', pos);
        if (slash == std::string_view::npos) slash = relative.size();
        std::string_view c = relative.substr(pos, slash - pos);
        pos = slash + 1;
        if (c.empty() && slash == 0) continue; // the leading "/"
        if (!PlainComponent(c)) {
            ::close(fd);
            error = FormatMessage(Msg::ExportUnsafePath, {DiskPath(relative)});
            return -1;
        }
        int next = ::openat(fd, Cp1252ToUtf8(c).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int err = errno;
        ::close(fd);
        if (next < 0) {
            error = err == ELOOP || err == ENOTDIR ? FormatMessage(Msg::ExportUnsafePath, {DiskPath(relative)})
                                                   : std::string(std::strerror(err));
            return -1;
        }
        fd = next;
    }
    return fd;
}

SafeTree::~SafeTree() {
    if (dirFd_ >= 0) ::close(dirFd_);
}

int SafeTree::Directory(std::string_view relative, std::string& error) {
    if (dirFd_ >= 0 && dirName_ == relative) return dirFd_;
    if (dirFd_ >= 0) ::close(dirFd_);
    dirFd_ = OpenDirectory(relative, error);
    dirName_.assign(relative);
    return dirFd_;
}

bool SafeTree::MakeDirectory(std::string_view relative, std::string& error) {
    std::string_view rel = relative;
    const size_t slash = rel.rfind('/');
    std::string_view parent = slash == std::string_view::npos ? std::string_view() : rel.substr(0, slash);
    std::string_view name = slash == std::string_view::npos ? rel : rel.substr(slash + 1);
    if (!PlainComponent(name)) {
        error = FormatMessage(Msg::ExportUnsafePath, {DiskPath(relative)});
        errno = EINVAL;
        return false;
    }
    const int fd = Directory(parent, error);
    if (fd < 0) return false;
    if (::mkdirat(fd, Cp1252ToUtf8(name).c_str(), 0777) == 0) return true;
    error = std::strerror(errno);
    return false;
}

bool SafeTree::Sync(std::string& error) const { return SyncFileSystem(base_, &error); }

bool SafeTree::WriteFile(std::string_view relative, std::string_view bytes, int64_t mtime, std::string& error) {
    const size_t slash = relative.rfind('/');
    std::string_view parent = slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
    std::string_view name = slash == std::string_view::npos ? relative : relative.substr(slash + 1);
    if (!PlainComponent(name)) {
        error = FormatMessage(Msg::ExportUnsafePath, {DiskPath(relative)});
        return false;
    }
    const int dir = Directory(parent, error);
    if (dir < 0) return false;
    if (fileMode_ < 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        fileMode_ = int(0666 & ~mask);
    }
    // A short temporary name beside the file (so that any name the disk
    // takes can be written); the export syncs the whole tree once when it is
    // written.
    static std::atomic<unsigned> counter{0};
    const std::string disk = Cp1252ToUtf8(name);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = ".ztw-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_t(fileMode_));
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = SystemErrorText(errno);
        return false;
    }
    std::string why;
    bool ok = WriteAll(fd, bytes, &why);
    if (ok) {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = time_t(mtime);
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ::futimens(fd, times);
        if (::close(fd) != 0) {
            why = SystemErrorText(errno);
            ok = false;
        }
        fd = -1;
    }
    if (ok && ::renameat(dir, temp.c_str(), dir, disk.c_str()) != 0) {
        why = SystemErrorText(errno);
        ok = false;
    }
    if (!ok) {
        if (fd >= 0) ::close(fd);
        ::unlinkat(dir, temp.c_str(), 0);
        error = why;
    }
    return ok;
}

int64_t ExportFileTime(int64_t t) {
    if (t < 1) t = 1;
    return t < 315532800 ? 315532800 : t;
}

std::string DocumentExportName(const CZTDocument& doc) {
    std::string name = FileNamePart(doc.Archive().FilePath());
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    name = ExportSafeName(Utf8ToCp1252(name));
    if (name.empty() || name == "!") name = Utf8ToCp1252(MessageText(Msg::ExportUnnamed));
    return name;
}

std::string RtfEscape(std::string_view text) {
    std::string out;
    AppendRtfEscaped(out, text);
    return out;
}

std::string AppendRtf(std::string_view pageText, std::string_view rtfBody) {
    std::string rtf = TextToPageRtf(pageText, 10, false);
    size_t end = rtf.rfind('}');
    if (end == std::string::npos) return rtf;
    rtf.insert(end, std::string(rtfBody));
    return rtf;
}

} // namespace zt
