#include "system.h"

#include "cp1252.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/random.h>
#include <unistd.h>

namespace zt {

namespace {

class SystemClock : public Clock {
public:
    int64_t Now() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

const SystemClock kSystemClock;
std::atomic<const Clock*> gClock{nullptr};

} // namespace

const Clock& CurrentClock() {
    const Clock* c = gClock.load();
    return c ? *c : kSystemClock;
}

void SetClock(const Clock* clock) { gClock.store(clock); }

int32_t NowStamp() {
    int64_t t = CurrentClock().Now();
    if (t > INT32_MAX) return INT32_MAX;
    if (t < INT32_MIN) return INT32_MIN;
    return int32_t(t);
}

std::string CurrentUserName() {
    std::string name;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::string buf(size_t(size), '\0');
    struct passwd pw;
    struct passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_name)
        name = result->pw_name;
    if (name.size() > 1024) name.resize(1024);
    if (name.empty()) {
        if (const char* user = std::getenv("USER")) name = user;
        else name = "DefaultUser";
    }
    return Utf8ToCp1252(name);
}

std::string TempDirectory() {
    for (const char* var : {"TMP", "TEMP", "TMPDIR"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            std::string dir(v);
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
            return dir;
        }
    }
    return "/tmp";
}

bool RandomBytes(void* out, size_t n) {
    auto p = static_cast<unsigned char*>(out);
    while (n > 0) {
        ssize_t got = getrandom(p, n, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += got;
        n -= size_t(got);
    }
    return true;
}

std::string NewServerIdent() {
    unsigned char u[16];
    if (!RandomBytes(u, sizeof u)) return {};
    u[7] = uint8_t((u[7] & 0x0F) | 0x40); // version 4 (high nibble of Data3)
    u[8] = uint8_t((u[8] & 0x3F) | 0x80); // variant 1
    // The GUID fields as a little-endian machine holds them: Data1 (4 bytes),
    // Data2, Data3 (2 bytes each), Data4 (8 bytes).
    uint32_t data1 = uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
    unsigned data2 = unsigned(u[4]) | unsigned(u[5]) << 8;
    unsigned data3 = unsigned(u[6]) | unsigned(u[7]) << 8;
    uint32_t tail0 = uint32_t(u[8]) | uint32_t(u[9]) << 8 | uint32_t(u[10]) << 16 | uint32_t(u[11]) << 24;
    uint32_t tail1 = uint32_t(u[12]) | uint32_t(u[13]) << 8 | uint32_t(u[14]) << 16 | uint32_t(u[15]) << 24;
    char out[33];
    std::snprintf(out, sizeof out, "%08X%04X%04X%08X%08X", data1, data2, data3, tail0, tail1);
    return std::string(out, 32);
}

} // namespace zt
