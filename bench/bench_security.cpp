// Speed of the security work, each figure set against what the raw primitives
// of Crypto++ need for the same work on the same machine in the same run:
//   unlocking a name/password block (two PBKDF2-HMAC-SHA256 runs of 300,000
//   iterations and one of 75,000 for the name tag) against 2 SHA-256
//   compression-function calls per iteration at the rate of bulk SHA-256;
//   the content streams against one-shot AES-256-CBC plus HMAC-SHA256 over
//   the same bytes.
// Prints Markdown tables (bench/run.sh collects them into BENCHMARKS.md).
#include "security/cipherstream.h"
#include "security/crypto.h"
#include "security/keyring.h"
#include "security/protocol.h"

#include <cryptopp/aes.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

using namespace zt;

namespace {

template <class F> double Once(F&& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The best of `repeat` runs, in seconds.
template <class F> double Seconds(F&& f, int repeat = 5) {
    double best = 1e30;
    for (int i = 0; i < repeat; ++i) best = std::min(best, Once(f));
    return best;
}

// The best times of two measurements taken in turns, so that both see the
// same conditions on a shared machine.
template <class F, class G> std::pair<double, double> InTurns(F&& f, G&& g, int repeat = 7) {
    double a = 1e30, b = 1e30;
    for (int i = 0; i < repeat; ++i) {
        a = std::min(a, Once(f));
        b = std::min(b, Once(g));
    }
    return {a, b};
}

volatile size_t gSink;
const CryptoPP::byte* B(const std::string& s) { return reinterpret_cast<const CryptoPP::byte*>(s.data()); }

} // namespace

int main() {
    const size_t mb = 1 << 20, total = 64 * mb;
    std::string data(total, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 131 + (i >> 9));
    const std::string key(32, 'k'), iv(16, 'i');

    // ---- raw rates
    auto hashAll = [&] {
        CryptoPP::byte d[32];
        CryptoPP::SHA256().CalculateDigest(d, B(data), data.size());
        gSink = d[0];
    };
    std::string cipher(total, '\0');
    auto cbcEncrypt = [&] {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption e(B(key), key.size(), B(iv));
        e.ProcessData(reinterpret_cast<CryptoPP::byte*>(cipher.data()), B(data), total);
    };
    std::string back(total, '\0');
    auto cbcDecrypt = [&] {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption d(B(key), key.size(), B(iv));
        d.ProcessData(reinterpret_cast<CryptoPP::byte*>(back.data()), B(cipher), total);
    };
    auto hmacAll = [&] {
        CryptoPP::byte tag[32];
        CryptoPP::HMAC<CryptoPP::SHA256> mac(B(key), key.size());
        mac.CalculateDigest(tag, B(cipher), total);
        gSink = tag[0];
    };

    // ---- key derivation, in turns with bulk SHA-256
    CZtKeyRing made;
    made.CreateEncryption({"Alice", "password", nullptr});
    const std::string area = made.KeyArea();
    auto [sha256, unlock] = InTurns(hashAll, [&] {
        CZtKeyRing ring;
        ring.LoadKeyArea(area);
        gSink = ring.Unlock({"Alice", "password", nullptr});
    });
    const double perCompression = sha256 / double(total / 64);
    const uint64_t unlockIterations = 2 * 300000 + 75000;
    const double unlockLimit = double(unlockIterations) * 2 * perCompression;
    auto [sha256b, pbkdf] = InTurns(hashAll, [] {
        gSink = Pbkdf2HmacSha256("password", "0123456789abcdef", 300000, 32).size();
    });
    const double pbkdfLimit = 300000.0 * 2 * (sha256b / double(total / 64));

    // ---- content streams, in turns with the raw primitives (output buffers
    // touched once before timing)
    std::string stored;
    stored.reserve(total + 64);
    cbcEncrypt();
    auto [rawWrite, streamWrite] = InTurns([&] { cbcEncrypt(), hmacAll(); }, [&] {
        stored.clear();
        CZtCipherStream s;
        s.BeginWrite(key, iv, {}, [&](const void* p, size_t n) {
            stored.append(static_cast<const char*>(p), n);
            return true;
        });
        for (size_t at = 0; at < total; at += mb) s.Write(std::string_view(data).substr(at, mb));
        s.EndWrite();
    }, 5);
    auto [rawRead, streamRead] = InTurns([&] { cbcDecrypt(), hmacAll(); }, [&] {
        size_t pos = 0;
        CZtCipherStream s;
        s.BeginRead(key, iv, 2, stored.size(), {}, [&](void* p, size_t n) {
            std::memcpy(p, stored.data() + pos, n);
            pos += n;
            return true;
        });
        gSink = s.Read(back.data(), back.size());
        s.EndRead();
    }, 5);
    double rawCbcEnc = Seconds(cbcEncrypt), rawCbcDec = Seconds(cbcDecrypt), rawHmac = Seconds(hmacAll);


    std::string request(mb, 'x');
    double seal = Seconds([&] {
        gSink = SealPayload(request, "user", "password", "Wed Dec  9 01:33:48 2026")->cipher.size();
    });

    auto mbps = [&](double s) { return double(total) / mb / s; };
    std::printf("Raw rates of this run: SHA-256 %.1f MB/s (%.1f ns per compression-function call), "
                "AES-256-CBC encryption %.1f MB/s, decryption %.1f MB/s, HMAC-SHA256 %.1f MB/s.\n\n",
                mbps(sha256), perCompression * 1e9, mbps(rawCbcEnc), mbps(rawCbcDec), mbps(rawHmac));
    std::printf("| work | measured | raw limit (same run) | ratio | required |\n");
    std::printf("|---|---|---|---|---|\n");
    std::printf("| unlock a name/password block (2 x 300,000 + 75,000 iterations) | %.1f ms | %.1f ms "
                "(2 compressions per iteration) | %.2f x the limit | at most 1.2 x |\n",
                unlock * 1e3, unlockLimit * 1e3, unlock / unlockLimit);
    std::printf("| PBKDF2-HMAC-SHA256, 300,000 iterations | %.1f ms | %.1f ms | %.2f x the limit | - |\n",
                pbkdf * 1e3, pbkdfLimit * 1e3, pbkdf / pbkdfLimit);
    std::printf("| content stream write, 64 MiB in 1 MiB pieces | %.1f MB/s | %.1f MB/s (AES-256-CBC + HMAC-SHA256) "
                "| %.0f %% of raw | at least 80 %% |\n",
                mbps(streamWrite), mbps(rawWrite), 100 * rawWrite / streamWrite);
    std::printf("| content stream read, 64 MiB | %.1f MB/s | %.1f MB/s (AES-256-CBC + HMAC-SHA256) "
                "| %.0f %% of raw | at least 80 %% |\n",
                mbps(streamRead), mbps(rawRead), 100 * rawRead / streamRead);
    std::printf("| SealPayload of 1 MiB (PSK with 999 rounds, AES-256-CBC, base64) | %.2f ms | %.2f ms "
                "(AES-256-CBC of 1 MiB) | %.2f x | - |\n",
                seal * 1e3, rawCbcEnc / 64 * 1e3, seal / (rawCbcEnc / 64));
    return 0;
}
