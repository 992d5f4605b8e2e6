// Timing for the benchmarks: the best of several runs, in seconds; and the
// plain file write the benchmarks set the program's own writing against.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

namespace zt::bench {

template <class F>
double BestSeconds(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

// The bytes into `path` with nothing else done (no temporary name, no
// rename); synced when `sync` is set.
inline void WritePlain(const std::string& path, std::string_view bytes, bool sync = false) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += size_t(n);
    }
    if (fd >= 0 && sync) ::fsync(fd);
    if (fd >= 0) ::close(fd);
}

} // namespace zt::bench
