// Speed of the security primitives, as ratios against SHA-1 over the same
// bytes on the same machine in the same run:
//   PBKDF2: time of one unlock-sized run (300,000 iterations) against hashing
//           1 MiB with SHA-1;
//   content stream and protocol sealing: throughput against SHA-1 throughput.
#include "security/cipherstream.h"
#include "security/crypto.h"
#include "security/protocol.h"

#include <chrono>
#include <cstdio>
#include <string>

using namespace zt;

namespace {

template <class F> double Seconds(F&& f, int repeat = 1) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < repeat; ++i)
        f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / repeat;
}

volatile size_t gSink;

} // namespace

int main() {
    const size_t mb = 1 << 20;
    std::string data(64 * mb, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 131 + (i >> 9));

    double sha1 = Seconds([&] { gSink = Sha1(data).size(); }, 3);
    double sha1PerMb = sha1 / 64;
    std::printf("SHA-1                 %8.1f MB/s   (limit)\n", 64 / sha1);

    double sha256 = Seconds([&] { gSink = Sha256(data).size(); }, 3);
    std::printf("SHA-256               %8.1f MB/s   %.2f x SHA-1 time\n", 64 / sha256, sha256 / sha1);

    double p256 =
        Seconds([] { gSink = Pbkdf2HmacSha256("password", "0123456789abcdef", 300000, 32).size(); }, 3);
    double p1 = Seconds([] { gSink = Pbkdf2HmacSha1("password", "0123456789abcdef", 300000, 32).size(); }, 3);
    std::printf("PBKDF2-SHA256 300000  %8.1f ms     %.1f x SHA-1 of 1 MiB\n", p256 * 1e3, p256 / sha1PerMb);
    std::printf("PBKDF2-SHA1 300000    %8.1f ms     %.1f x SHA-1 of 1 MiB (32 bytes = 2 blocks)\n", p1 * 1e3,
                p1 / sha1PerMb);

    // Output buffers are touched once up front: first-touch page faults are not
    // what is measured.
    std::string stored(data.size() + 64, '\0');
    stored.clear();
    const std::string key(32, 'k'), iv(16, 'i');
    double write = Seconds(
        [&] {
            stored.clear();
            CZtCipherStream s;
            s.BeginWrite(key, iv, {}, [&](const void* p, size_t n) {
                stored.append(static_cast<const char*>(p), n);
                return true;
            });
            s.Write(data);
            s.EndWrite();
        },
        3);
    std::printf("stream write          %8.1f MB/s   %.2f x SHA-1 time\n", 64 / write, write / sha1);

    std::string back(data.size(), '\0');
    double read = Seconds(
        [&] {
            size_t pos = 0;
            CZtCipherStream s;
            s.BeginRead(key, iv, 2, stored.size(), {}, [&](void* p, size_t n) {
                std::copy_n(stored.data() + pos, n, static_cast<char*>(p));
                pos += n;
                return true;
            });
            gSink = s.Read(back.data(), back.size());
            s.EndRead();
        },
        3);
    std::printf("stream read           %8.1f MB/s   %.2f x SHA-1 time\n", 64 / read, read / sha1);

    std::string request(mb, 'x');
    double seal = Seconds(
        [&] { gSink = SealPayload(request, "user", "password", "Wed Dec  9 01:33:48 2026")->cipher.size(); },
        5);
    std::printf("SealPayload 1 MiB     %8.1f ms     %.2f x SHA-1 of 1 MiB\n", seal * 1e3, seal / sha1PerMb);
    return 0;
}
