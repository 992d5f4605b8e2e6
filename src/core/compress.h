// The compressed-buffer layout of page texts, attached files and history chunks:
// uint32 LE uncompressed length, uint32 LE CRC-32 of the uncompressed data, then
// a raw deflate stream. Also the gzip form of external content files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

uint32_t Crc32(std::string_view data, uint32_t crc = 0);

// Deflates `data` (default level, 15-bit window, memory level 8) into the
// compressed-buffer layout. An empty input gives an empty buffer.
std::string CompressBuffer(std::string_view data);

// The stated uncompressed length and CRC of a compressed buffer; false when the
// buffer is shorter than its 8-byte prefix.
bool BufferPrefix(std::string_view buffer, uint32_t& length, uint32_t& crc);

// The largest uncompressed length a deflate stream of `compressedSize` bytes can
// honestly produce; stated lengths above it mark damaged data.
uint64_t MaxInflatedSize(uint64_t compressedSize);

// Inflates a compressed buffer (tries a zlib-wrapped stream first, then raw
// deflate) and checks the result against the stated length and CRC-32. Returns
// false with `error` set when the data is damaged; allocates at most the stated
// length, which must be plausible for the input size.
bool DecompressBuffer(std::string_view buffer, std::string& out, std::string* error = nullptr);

// The compressed-buffer layout made of stored deflate blocks: valid for every
// reader, but costs only a copy and the CRC-32. Texts taken over from a
// revision body are kept this way until they are packed (see PackBuffer).
std::string StoreBuffer(std::string_view data);
inline constexpr size_t kStoredBlock = 65535;
// The size of StoreBuffer's result for `n` bytes.
inline size_t StoredBufferSize(size_t n) { return n == 0 ? 0 : 8 + 5 * ((n + kStoredBlock - 1) / kStoredBlock) + n; }

// When `buffer` consists of stored deflate blocks only (as StoreBuffer makes
// them), the pieces of its uncompressed data in order; false otherwise. The
// CRC-32 is not checked.
bool StoredPieces(std::string_view buffer, std::vector<std::string_view>& pieces);

// Recompresses a buffer of stored blocks with the default level; other buffers
// stay as they are. False when the buffer is damaged.
bool PackBuffer(std::string& buffer);

// Inflates a compressed buffer into exactly `size` bytes at `out` (its stated
// length must be `size`) and checks the CRC-32.
bool DecompressBufferTo(std::string_view buffer, char* out, size_t size, std::string* error = nullptr);

// Adler-32 as zlib computes it; `adler` 1 starts a new sum.
uint32_t Adler32(std::string_view data, uint32_t adler = 1);

// The length of the compressed buffer at the start of `buffer` (prefix and
// raw deflate stream up to its end); buffer.size() when no complete stream is
// found. Used to drop padding that follows a buffer.
size_t CompressedBufferLength(std::string_view buffer);

// Inflates a zlib (RFC 1950) stream of which `expected` bytes are announced.
bool InflateZlib(std::string_view stream, uint32_t expected, std::string& out);

// External content files: gzip made from a compressed buffer without
// recompression. An empty buffer becomes an empty file; a buffer of fewer than
// 8 bytes cannot be written (returns false).
bool BufferToGzip(std::string_view buffer, std::string& out);

// Parses a gzip file back into a compressed buffer (trailer CRC and length).
// False for damaged gzip data.
bool GzipToBuffer(std::string_view gz, std::string& out);

} // namespace zt
