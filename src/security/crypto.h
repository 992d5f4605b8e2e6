// The cryptographic primitives: SHA-1, SHA-256, HMAC, PBKDF2, AES-256-CBC,
// AES key wrap and random bytes. All inputs and outputs are byte strings;
// results that may carry secrets come back as SecureBytes.
#pragma once

#include "security/securebytes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zt {

// ---- Hashes -----------------------------------------------------------------

constexpr size_t kSha1Size = 20;
constexpr size_t kSha256Size = 32;

SecureBytes Sha1(std::string_view data);
SecureBytes Sha256(std::string_view data);

// SHA-1 over data given in pieces, for content hashes (not secrets): the
// digest goes into a plain 20-byte array.
class Sha1Hasher {
public:
    Sha1Hasher();
    ~Sha1Hasher();
    Sha1Hasher(const Sha1Hasher&);
    Sha1Hasher& operator=(const Sha1Hasher&);

    void Update(std::string_view data);
    void Update(const void* p, size_t n);
    // Writes the digest of everything fed since the last reset to `out`
    // (kSha1Size bytes); the hasher starts over.
    void Final(uint8_t* out);
    void Reset();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// SHA-256 over data given in pieces.
class Sha256Hasher {
public:
    Sha256Hasher();
    ~Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&);
    Sha256Hasher& operator=(const Sha256Hasher&);

    void Update(std::string_view data);
    void Update(const void* p, size_t n);
    // The digest of everything fed since the last reset; the hasher starts over.
    SecureBytes Final();
    void Reset();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ---- HMAC -------------------------------------------------------------------

// RFC 2104; a key longer than 64 bytes is hashed first.
SecureBytes HmacSha1(std::string_view key, std::string_view data);
SecureBytes HmacSha256(std::string_view key, std::string_view data);

// HMAC-SHA256 over data given in pieces.
class HmacSha256Hasher {
public:
    explicit HmacSha256Hasher(std::string_view key);
    ~HmacSha256Hasher();
    HmacSha256Hasher(const HmacSha256Hasher&);
    HmacSha256Hasher& operator=(const HmacSha256Hasher&);

    void Update(std::string_view data);
    // The 32-byte tag; the hasher starts over with the same key.
    SecureBytes Final();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ---- PBKDF2 -----------------------------------------------------------------

// RFC 8018 PBKDF2 with HMAC-SHA1 or HMAC-SHA256 as PRF. An iteration count of 0
// counts as 1. The inner and outer HMAC states are keyed once, so every
// iteration costs two runs of the compression function.
SecureBytes Pbkdf2HmacSha1(std::string_view password, std::string_view salt, uint32_t iterations,
                           size_t length);
SecureBytes Pbkdf2HmacSha256(std::string_view password, std::string_view salt, uint32_t iterations,
                             size_t length);

// ---- AES --------------------------------------------------------------------

constexpr size_t kAesKeySize = 32;
constexpr size_t kAesBlockSize = 16;

enum class CbcPadding {
    Pkcs7, // n bytes of value n (1..16); a whole block is added to full blocks
    Zero,  // a partial last block is filled with zero bytes; full blocks gain nothing
    None,  // the input must be whole blocks
};

// AES-256-CBC. The key must have 32 bytes and the IV 16 (the IV is only read);
// otherwise, or for CbcPadding::None with a partial block, nullopt.
std::optional<std::string> AesCbcEncrypt(std::string_view key, std::string_view iv, std::string_view plain,
                                         CbcPadding padding);

// Decrypts whole blocks and keeps any padding. nullopt for a wrong key or IV
// size or a length that is not a multiple of 16.
std::optional<SecureBytes> AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view cipher);

// Removes PKCS#7 padding in place. Let n be the last byte: when n is 0, n > 16,
// n > length, or one of the last n bytes differs from n, the data becomes empty
// and false is returned; otherwise the length shrinks by n.
bool RemovePkcs7Padding(SecureBytes& data);

// RFC 3394 AES key wrap with the initial value A6A6A6A6A6A6A6A6. The KEK has
// 16, 24 or 32 bytes; the key data is a multiple of 8 bytes, at least 16. The
// result is 8 bytes longer. nullopt for sizes out of range.
std::optional<std::string> AesKeyWrap(std::string_view kek, std::string_view keyData);

// Reverses AesKeyWrap. nullopt when the sizes are out of range or the initial
// value does not come out (wrong KEK or damaged data).
std::optional<SecureBytes> AesKeyUnwrap(std::string_view kek, std::string_view wrapped);

// ---- Random bytes -----------------------------------------------------------

// Fills `out` from the operating system's cryptographic generator. Returns false
// when the generator fails; there is no weaker fallback, and the operation
// that asked must fail (Msg::NoRandomSource).
bool DrawRandom(void* out, size_t n);
// `n` random bytes, or nullopt when the generator fails.
std::optional<SecureBytes> DrawRandom(size_t n);

// Replaces the generator behind DrawRandom (tests simulate a failing or a
// fixed source with it); nullptr restores the operating system's generator.
using RandomSource = bool (*)(void* out, size_t n);
void SetRandomSource(RandomSource source);

} // namespace zt
