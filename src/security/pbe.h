// Password-based decryption of key files: the PKCS#12 key derivation, the
// PKCS#12 ciphers (RC4 with 128 and 40 bits, triple DES with three and two
// keys, RC2 with 128 and 40 bits, all over SHA-1) and PBES2 with PBKDF2 over
// HMAC-SHA1 or HMAC-SHA256 and AES-CBC or triple DES, as OpenSSL 3 writes by
// default.
#pragma once

#include "security/securebytes.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace zt {

// Iteration counts above this are refused (a damaged or hostile file could
// otherwise keep the program busy for hours).
inline constexpr uint64_t kMaxPbeIterations = 10'000'000;

enum class Pkcs12Hash { Sha1, Sha256 };

// The password as a big-endian BMPString with a terminating zero character.
// The text is read as UTF-8; bytes that are not valid UTF-8 count as Latin-1.
SecureBytes BmpPassword(std::string_view password);

// RFC 7292 appendix B: `length` bytes of purpose `id` (1 key, 2 IV, 3 MAC key).
SecureBytes Pkcs12DeriveKey(Pkcs12Hash hash, std::string_view bmpPassword, std::string_view salt, uint8_t id,
                            uint32_t iterations, size_t length);

// Decrypts `cipher` under the algorithm identifier `algorithm` (the whole
// AlgorithmIdentifier element) with `password` (UTF-8) and removes the
// padding. nullopt for an unknown or malformed algorithm, an iteration count
// out of range, or bytes that do not decrypt (a wrong password, mostly).
std::optional<SecureBytes> PbeDecrypt(std::string_view algorithm, std::string_view password,
                                      std::string_view cipher);

} // namespace zt
