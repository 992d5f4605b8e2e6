#include "fileio.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt {

bool ReadWholeFile(const std::string& path, std::string& out, std::string* error) {
    out.clear();
    auto fail = [&](int err) {
        if (error) *error = std::strerror(err);
        out.clear();
        return false;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(EISDIR);
    }
    size_t len = 0;
    out.resize(fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 ? size_t(st.st_size) + 1 : 65536);
    for (;;) {
        if (len == out.size()) out.resize(out.size() * 2);
        ssize_t n = ::read(fd, out.data() + len, out.size() - len);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            return fail(err);
        }
        if (n == 0) break;
        len += size_t(n);
    }
    ::close(fd);
    out.resize(len);
    return true;
}

bool WriteFileReplacing(const std::string& path, std::string_view data, std::string* error) {
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    ::fchmod(fd, 0644);
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = std::strerror(errno);
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += size_t(n);
    }
    if (::close(fd) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
        if (error) *error = std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace zt
