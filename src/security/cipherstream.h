// The encrypted content stream of a protected document item.
//
// Content mode 2 (the only one written): the plaintext is cut into chunks of
// 1 MiB, each chunk is encrypted with AES-256-CBC under the running IV (a
// partial last chunk gets zero padding) and the running IV becomes the chunk's
// last cipher block, so the item is one CBC chain. HMAC-SHA256 keyed with
// SHA-256(document key) runs over an optional 32-byte header hash and all
// ciphertext; its first 16 bytes follow the ciphertext as the tag.
//
// Content mode 1 (older documents, read only): chunks of 512 bytes, each
// decrypted on its own with the stored IV whose first byte is incremented once
// per chunk before use; no chaining and no tag.
//
// Only one chunk of plaintext and one of ciphertext are held at a time.
#pragma once

#include "security/securebytes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zt {

// Reads exactly `n` stored bytes into `out`; false when they cannot be had.
using RawReader = std::function<bool(void* out, size_t n)>;
// Writes `n` stored bytes; false on failure.
using RawWriter = std::function<bool(const void* p, size_t n)>;

class CZtCipherStream {
public:
    static constexpr size_t kChunkMode2 = 1048576;
    static constexpr size_t kChunkMode1 = 512;
    static constexpr size_t kTagSize = 16;

    enum class End {
        Ok,          // all content read, tag matched (mode 2) or no tag (mode 1)
        TagMismatch, // all content read, but the tag does not match
        Failed,      // the stored bytes ended early, or no stream was active
    };

    CZtCipherStream();
    ~CZtCipherStream();
    CZtCipherStream(const CZtCipherStream&) = delete;
    CZtCipherStream& operator=(const CZtCipherStream&) = delete;

    // Starts writing in content mode 2. `key` has 32 bytes, `iv` 16; a
    // non-empty `headerHash` is fed to the HMAC first.
    bool BeginWrite(std::string_view key, std::string_view iv, std::string_view headerHash, RawWriter writer);
    bool Write(std::string_view plain);
    // Encrypts what is left and writes the tag.
    bool EndWrite();

    // Starts reading an item of `itemLength` stored bytes in content mode 1 or
    // 2 (mode 2: ciphertext then the 16-byte tag). Fails for another mode, or
    // when the ciphertext is not a whole number of blocks.
    bool BeginRead(std::string_view key, std::string_view iv, int mode, uint64_t itemLength,
                   std::string_view headerHash, RawReader reader);
    // The number of plaintext bytes the item holds (whole blocks, including
    // the zero padding of the last chunk).
    uint64_t PayloadLength() const;
    // Plaintext bytes not yet handed out.
    uint64_t Remaining() const;
    // Hands out up to `n` plaintext bytes; returns how many (0 at the end or
    // when the stored bytes ended early, see Failed()).
    size_t Read(void* out, size_t n);
    bool Failed() const;
    // Consumes whatever is left of the item and checks the tag.
    End EndRead();

    bool Active() const;
    // Drops the stream and wipes its key and buffers.
    void Reset();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zt
