#include "security/crypto.h"

#include "base/system.h"
#include "security/sha256ni.h"

#include <cryptopp/aes.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <atomic>
#include <cstring>
#include <type_traits>

namespace zt {

namespace {

using CryptoPP::word32;

const CryptoPP::byte* Bytes(std::string_view s) { return reinterpret_cast<const CryptoPP::byte*>(s.data()); }

template <class H>
SecureBytes Digest(std::string_view data) {
    SecureBytes out(H::DIGESTSIZE);
    H().CalculateDigest(out.data(), Bytes(data), data.size());
    return out;
}

template <class H>
SecureBytes Hmac(std::string_view key, std::string_view data) {
    SecureBytes out(H::DIGESTSIZE);
    CryptoPP::HMAC<H> mac(Bytes(key), key.size());
    mac.CalculateDigest(out.data(), Bytes(data), data.size());
    return out;
}

inline word32 LoadBE(const uint8_t* p) {
    return word32(p[0]) << 24 | word32(p[1]) << 16 | word32(p[2]) << 8 | word32(p[3]);
}

inline void StoreBE(uint8_t* p, word32 v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// PBKDF2 on the bare compression function of H (SHA-1 or SHA-256). The inner
// and outer HMAC states are keyed once; an iteration then hashes one block
// from each of them. Both messages of an iteration are one 64-byte key block
// followed by a digest, so they share the same final block layout.
template <class H>
SecureBytes Pbkdf2(std::string_view password, std::string_view salt, uint32_t iterations, size_t length) {
    constexpr size_t kWords = H::DIGESTSIZE / 4;
    constexpr size_t kBlock = 64;
    static_assert(H::BLOCKSIZE == kBlock);
    if (iterations == 0) iterations = 1;

    uint8_t key[kBlock] = {};
    if (password.size() > kBlock) {
        H().CalculateDigest(key, Bytes(password), password.size());
    } else if (!password.empty()) {
        std::memcpy(key, password.data(), password.size());
    }
    word32 inner[kWords], outer[kWords], block[16];
    H::InitState(inner);
    H::InitState(outer);
    for (size_t i = 0; i < 16; ++i) block[i] = LoadBE(key + 4 * i) ^ 0x36363636u;
    H::Transform(inner, block);
    for (size_t i = 0; i < 16; ++i) block[i] = LoadBE(key + 4 * i) ^ 0x5c5c5c5cu;
    H::Transform(outer, block);

    CryptoPP::HMAC<H> first(Bytes(password), password.size());
    SecureBytes out(length);
    uint8_t u1[H::DIGESTSIZE];
    word32 u[kWords], acc[kWords], state[kWords];
    for (uint32_t index = 1; (size_t(index) - 1) * H::DIGESTSIZE < length; ++index) {
        uint8_t counter[4];
        StoreBE(counter, index);
        first.Update(Bytes(salt), salt.size());
        first.Update(counter, 4);
        first.Final(u1);
        for (size_t i = 0; i < kWords; ++i) acc[i] = u[i] = LoadBE(u1 + 4 * i);

        std::memset(block, 0, sizeof block);
        block[kWords] = 0x80000000u;
        block[15] = word32((kBlock + H::DIGESTSIZE) * 8);
        uint32_t portable = iterations;
        if constexpr (std::is_same_v<H, CryptoPP::SHA256>) {
            // With the SHA extensions the states stay in registers throughout.
            static const bool ni = detail::HaveSha256Ni();
            if (ni) {
                detail::Pbkdf2Sha256NiRounds(inner, outer, u, acc, iterations - 1);
                portable = 1;
            }
        }
        for (uint32_t round = 1; round < portable; ++round) {
            std::memcpy(block, u, sizeof u);
            std::memcpy(state, inner, sizeof state);
            H::Transform(state, block);
            std::memcpy(block, state, sizeof state);
            std::memcpy(u, outer, sizeof u);
            H::Transform(u, block);
            for (size_t i = 0; i < kWords; ++i) acc[i] ^= u[i];
        }
        size_t offset = (size_t(index) - 1) * H::DIGESTSIZE;
        size_t take = std::min<size_t>(H::DIGESTSIZE, length - offset);
        uint8_t t[H::DIGESTSIZE];
        for (size_t i = 0; i < kWords; ++i) StoreBE(t + 4 * i, acc[i]);
        std::memcpy(out.data() + offset, t, take);
        WipeBytes(t, sizeof t);
    }
    WipeBytes(key, sizeof key);
    WipeBytes(inner, sizeof inner);
    WipeBytes(outer, sizeof outer);
    WipeBytes(block, sizeof block);
    WipeBytes(u1, sizeof u1);
    WipeBytes(u, sizeof u);
    WipeBytes(acc, sizeof acc);
    WipeBytes(state, sizeof state);
    return out;
}

std::atomic<RandomSource> gRandomSource{nullptr};

} // namespace

// ---- Hashes -----------------------------------------------------------------

SecureBytes Sha1(std::string_view data) { return Digest<CryptoPP::SHA1>(data); }
SecureBytes Sha256(std::string_view data) { return Digest<CryptoPP::SHA256>(data); }

struct Sha1Hasher::Impl {
    CryptoPP::SHA1 hash;
};

Sha1Hasher::Sha1Hasher() : impl_(std::make_unique<Impl>()) {}
Sha1Hasher::~Sha1Hasher() = default;
Sha1Hasher::Sha1Hasher(const Sha1Hasher& o) : impl_(std::make_unique<Impl>(*o.impl_)) {}
Sha1Hasher& Sha1Hasher::operator=(const Sha1Hasher& o) {
    if (this != &o) *impl_ = *o.impl_;
    return *this;
}

void Sha1Hasher::Update(std::string_view data) { impl_->hash.Update(Bytes(data), data.size()); }
void Sha1Hasher::Update(const void* p, size_t n) { impl_->hash.Update(static_cast<const CryptoPP::byte*>(p), n); }
void Sha1Hasher::Final(uint8_t* out) { impl_->hash.Final(out); }
void Sha1Hasher::Reset() { impl_->hash.Restart(); }

struct Sha256Hasher::Impl {
    CryptoPP::SHA256 hash;
};

Sha256Hasher::Sha256Hasher() : impl_(std::make_unique<Impl>()) {}
Sha256Hasher::~Sha256Hasher() = default;
Sha256Hasher::Sha256Hasher(const Sha256Hasher& o) : impl_(std::make_unique<Impl>(*o.impl_)) {}
Sha256Hasher& Sha256Hasher::operator=(const Sha256Hasher& o) {
    if (this != &o) *impl_ = *o.impl_;
    return *this;
}

void Sha256Hasher::Update(std::string_view data) { impl_->hash.Update(Bytes(data), data.size()); }
void Sha256Hasher::Update(const void* p, size_t n) {
    impl_->hash.Update(static_cast<const CryptoPP::byte*>(p), n);
}

SecureBytes Sha256Hasher::Final() {
    SecureBytes out(kSha256Size);
    impl_->hash.Final(out.data());
    return out;
}

void Sha256Hasher::Reset() { impl_->hash.Restart(); }

// ---- HMAC -------------------------------------------------------------------

SecureBytes HmacSha1(std::string_view key, std::string_view data) { return Hmac<CryptoPP::SHA1>(key, data); }
SecureBytes HmacSha256(std::string_view key, std::string_view data) {
    return Hmac<CryptoPP::SHA256>(key, data);
}

// The inner and outer hashes are keyed once and copied for every message.
struct HmacSha256Hasher::Impl {
    CryptoPP::SHA256 innerKeyed, outerKeyed, running;
};

HmacSha256Hasher::HmacSha256Hasher(std::string_view key) : impl_(std::make_unique<Impl>()) {
    uint8_t block[64] = {};
    if (key.size() > sizeof block) {
        CryptoPP::SHA256().CalculateDigest(block, Bytes(key), key.size());
    } else if (!key.empty()) {
        std::memcpy(block, key.data(), key.size());
    }
    uint8_t pad[64];
    for (size_t i = 0; i < 64; ++i) pad[i] = block[i] ^ 0x36;
    impl_->innerKeyed.Update(pad, 64);
    for (size_t i = 0; i < 64; ++i) pad[i] = block[i] ^ 0x5c;
    impl_->outerKeyed.Update(pad, 64);
    impl_->running = impl_->innerKeyed;
    WipeBytes(block, sizeof block);
    WipeBytes(pad, sizeof pad);
}

HmacSha256Hasher::~HmacSha256Hasher() = default;
HmacSha256Hasher::HmacSha256Hasher(const HmacSha256Hasher& o) : impl_(std::make_unique<Impl>(*o.impl_)) {}
HmacSha256Hasher& HmacSha256Hasher::operator=(const HmacSha256Hasher& o) {
    if (this != &o) *impl_ = *o.impl_;
    return *this;
}

void HmacSha256Hasher::Update(std::string_view data) { impl_->running.Update(Bytes(data), data.size()); }

SecureBytes HmacSha256Hasher::Final() {
    uint8_t inner[kSha256Size];
    impl_->running.Final(inner);
    CryptoPP::SHA256 outer = impl_->outerKeyed;
    outer.Update(inner, sizeof inner);
    SecureBytes out(kSha256Size);
    outer.Final(out.data());
    WipeBytes(inner, sizeof inner);
    impl_->running = impl_->innerKeyed;
    return out;
}

// ---- PBKDF2 -----------------------------------------------------------------

SecureBytes Pbkdf2HmacSha1(std::string_view password, std::string_view salt, uint32_t iterations,
                           size_t length) {
    return Pbkdf2<CryptoPP::SHA1>(password, salt, iterations, length);
}

SecureBytes Pbkdf2HmacSha256(std::string_view password, std::string_view salt, uint32_t iterations,
                             size_t length) {
    return Pbkdf2<CryptoPP::SHA256>(password, salt, iterations, length);
}

// ---- AES --------------------------------------------------------------------

std::optional<std::string> AesCbcEncrypt(std::string_view key, std::string_view iv, std::string_view plain,
                                         CbcPadding padding) {
    if (key.size() != kAesKeySize || iv.size() != kAesBlockSize) return std::nullopt;
    size_t rest = plain.size() % kAesBlockSize;
    size_t full = plain.size() - rest;
    size_t total = full;
    switch (padding) {
    case CbcPadding::Pkcs7: total = full + kAesBlockSize; break;
    case CbcPadding::Zero: total = full + (rest ? kAesBlockSize : 0); break;
    case CbcPadding::None:
        if (rest) return std::nullopt;
        break;
    }
    // The padded plaintext: whole blocks of the input are encrypted in place,
    // the last block is built separately so the input is never copied whole.
    std::string out(total, '\0');
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption enc(Bytes(key), key.size(), Bytes(iv));
    auto dst = reinterpret_cast<CryptoPP::byte*>(out.data());
    if (full) enc.ProcessData(dst, Bytes(plain), full);
    if (total > full) {
        uint8_t last[kAesBlockSize];
        uint8_t fill = padding == CbcPadding::Pkcs7 ? uint8_t(kAesBlockSize - rest) : 0;
        std::memset(last, fill, sizeof last);
        if (rest) std::memcpy(last, plain.data() + full, rest);
        enc.ProcessData(dst + full, last, kAesBlockSize);
        WipeBytes(last, sizeof last);
    }
    return out;
}

std::optional<SecureBytes> AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view cipher) {
    if (key.size() != kAesKeySize || iv.size() != kAesBlockSize || cipher.size() % kAesBlockSize)
        return std::nullopt;
    SecureBytes out(cipher.size());
    if (!cipher.empty()) {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption dec(Bytes(key), key.size(), Bytes(iv));
        dec.ProcessData(out.data(), Bytes(cipher), cipher.size());
    }
    return out;
}

bool RemovePkcs7Padding(SecureBytes& data) {
    size_t len = data.size();
    if (len == 0) return false;
    size_t n = data[len - 1];
    bool ok = n != 0 && n <= kAesBlockSize && n <= len;
    if (ok) {
        for (size_t i = len - n; i < len; ++i) ok = ok && data[i] == n;
    }
    if (!ok) {
        data.clear();
        return false;
    }
    data.resize(len - n);
    return true;
}

namespace {

constexpr uint8_t kWrapIv[8] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6};

bool WrapSizesOk(std::string_view kek, size_t dataLength) {
    return (kek.size() == 16 || kek.size() == 24 || kek.size() == 32) && dataLength >= 16 &&
           dataLength % 8 == 0;
}

void XorCounter(uint8_t a[8], uint64_t t) {
    for (int i = 7; i >= 0; --i, t >>= 8) a[i] ^= uint8_t(t);
}

} // namespace

std::optional<std::string> AesKeyWrap(std::string_view kek, std::string_view keyData) {
    if (!WrapSizesOk(kek, keyData.size())) return std::nullopt;
    size_t n = keyData.size() / 8;
    CryptoPP::AES::Encryption aes(Bytes(kek), kek.size());
    std::string out(keyData.size() + 8, '\0');
    auto r = reinterpret_cast<uint8_t*>(out.data()); // r[0..7] is A, then R[1..n]
    std::memcpy(r, kWrapIv, 8);
    std::memcpy(r + 8, keyData.data(), keyData.size());
    uint8_t b[16];
    for (uint64_t j = 0; j < 6; ++j) {
        for (size_t i = 1; i <= n; ++i) {
            std::memcpy(b, r, 8);
            std::memcpy(b + 8, r + 8 * i, 8);
            aes.ProcessBlock(b);
            std::memcpy(r, b, 8);
            XorCounter(r, n * j + i);
            std::memcpy(r + 8 * i, b + 8, 8);
        }
    }
    WipeBytes(b, sizeof b);
    return out;
}

std::optional<SecureBytes> AesKeyUnwrap(std::string_view kek, std::string_view wrapped) {
    if (wrapped.size() < 8 || !WrapSizesOk(kek, wrapped.size() - 8)) return std::nullopt;
    size_t n = wrapped.size() / 8 - 1;
    CryptoPP::AES::Decryption aes(Bytes(kek), kek.size());
    SecureBytes r(wrapped);
    uint8_t b[16];
    for (uint64_t j = 6; j-- > 0;) {
        for (size_t i = n; i >= 1; --i) {
            std::memcpy(b, r.data(), 8);
            XorCounter(b, n * j + i);
            std::memcpy(b + 8, r.data() + 8 * i, 8);
            aes.ProcessBlock(b);
            std::memcpy(r.data(), b, 8);
            std::memcpy(r.data() + 8 * i, b + 8, 8);
        }
    }
    WipeBytes(b, sizeof b);
    std::string_view a(reinterpret_cast<const char*>(r.data()), 8);
    if (!ConstantTimeEqual(a, std::string_view(reinterpret_cast<const char*>(kWrapIv), 8))) return std::nullopt;
    return SecureBytes(r.view().substr(8));
}

// ---- Random bytes -----------------------------------------------------------

bool DrawRandom(void* out, size_t n) {
    RandomSource source = gRandomSource.load();
    return source ? source(out, n) : RandomBytes(out, n);
}

std::optional<SecureBytes> DrawRandom(size_t n) {
    SecureBytes out(n);
    if (!DrawRandom(out.data(), n)) return std::nullopt;
    return out;
}

void SetRandomSource(RandomSource source) { gRandomSource.store(source); }

} // namespace zt
