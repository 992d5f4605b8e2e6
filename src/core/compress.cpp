#include "compress.h"

#include "base/bytes.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace zt {

namespace {

// zlib's checksums take a uInt length; large inputs are fed in slices.
template <class Sum>
uint32_t InSlices(Sum sum, std::string_view data, uint32_t start) {
    const auto* p = reinterpret_cast<const Bytef*>(data.data());
    size_t n = data.size();
    uLong value = start;
    while (n > 0) {
        uInt chunk = n > (1u << 30) ? (1u << 30) : uInt(n);
        value = sum(value, p, chunk);
        p += chunk;
        n -= chunk;
    }
    return uint32_t(value);
}

} // namespace

uint32_t Crc32(std::string_view data, uint32_t crc) { return InSlices(crc32, data, crc); }

std::string CompressBuffer(std::string_view data) {
    if (data.empty()) return {};
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out;
    out.resize(8 + deflateBound(&zs, uLong(data.size())));
    SetLE32(out.data(), uint32_t(data.size()));
    SetLE32(out.data() + 4, Crc32(data));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + 8);
    zs.avail_out = uInt(out.size() - 8);
    int rc = deflate(&zs, Z_FINISH);
    size_t produced = zs.total_out;
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) return {};
    out.resize(8 + produced);
    return out;
}

bool BufferPrefix(std::string_view buffer, uint32_t& length, uint32_t& crc) {
    if (buffer.size() < 8) return false;
    length = GetLE32(buffer.data());
    crc = GetLE32(buffer.data() + 4);
    return true;
}

uint64_t MaxInflatedSize(uint64_t compressedSize) { return compressedSize * 1032 + 1024; }

namespace {

// Inflates with the given window bits into exactly `expected` bytes at `out`.
// The stream must end exactly there.
bool InflateExactTo(std::string_view in, int windowBits, uint32_t expected, char* out) {
    z_stream zs{};
    if (inflateInit2(&zs, windowBits) != Z_OK) return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = uInt(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out);
    zs.avail_out = uInt(expected);
    int rc = Z_OK;
    while (rc == Z_OK) {
        rc = inflate(&zs, Z_FINISH);
        if (rc == Z_BUF_ERROR && zs.avail_out == 0) {
            // More output than announced: probe with one spare byte.
            unsigned char spare;
            zs.next_out = &spare;
            zs.avail_out = 1;
            rc = inflate(&zs, Z_FINISH);
            if (rc == Z_STREAM_END && zs.avail_out == 1) break; // nothing more came
            rc = Z_DATA_ERROR;
        }
    }
    bool ok = rc == Z_STREAM_END && zs.total_out == expected;
    inflateEnd(&zs);
    return ok;
}

bool InflateExact(std::string_view in, int windowBits, uint32_t expected, std::string& out) {
    out.resize(expected);
    bool ok = InflateExactTo(in, windowBits, expected, out.data());
    if (!ok) out.clear();
    return ok;
}

bool IsZlibWrapped(std::string_view stream) {
    return stream.size() >= 2 && (uint8_t(stream[0]) & 0x0F) == 8 &&
           ((uint8_t(stream[0]) << 8) | uint8_t(stream[1])) % 31 == 0;
}

} // namespace

size_t CompressedBufferLength(std::string_view buffer) {
    uint32_t length = 0, crc = 0;
    if (!BufferPrefix(buffer, length, crc) || buffer.size() - 8 > UINT32_MAX) return buffer.size();
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) return buffer.size();
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(buffer.data() + 8));
    zs.avail_in = uInt(buffer.size() - 8);
    unsigned char sink[16384];
    int rc = Z_OK;
    // The output is thrown away; the stated length bounds the work.
    while (rc == Z_OK && zs.total_out <= length) {
        zs.next_out = sink;
        zs.avail_out = sizeof sink;
        rc = inflate(&zs, Z_NO_FLUSH);
    }
    size_t end = rc == Z_STREAM_END ? 8 + size_t(zs.total_in) : buffer.size();
    inflateEnd(&zs);
    return end;
}

bool InflateZlib(std::string_view stream, uint32_t expected, std::string& out) {
    if (stream.size() > UINT32_MAX || expected > MaxInflatedSize(stream.size())) return false;
    return InflateExact(stream, 15, expected, out);
}

bool DecompressBuffer(std::string_view buffer, std::string& out, std::string* error) {
    uint32_t length = 0, crc = 0;
    auto fail = [&](const char* why) {
        if (error) *error = why;
        out.clear();
        return false;
    };
    if (!BufferPrefix(buffer, length, crc)) return fail("compressed data too short");
    std::string_view stream = buffer.substr(8);
    if (stream.size() > UINT32_MAX) return fail("compressed data too large");
    if (length > MaxInflatedSize(stream.size())) return fail("implausible uncompressed length");
    if (length == 0) {
        out.clear();
        return crc == 0 ? true : fail("CRC mismatch");
    }
    bool ok = (IsZlibWrapped(stream) && InflateExact(stream, 15, length, out)) ||
              InflateExact(stream, -15, length, out);
    if (!ok) return fail("inflate failed or length mismatch");
    if (Crc32(out) != crc) return fail("CRC mismatch");
    return true;
}

bool DecompressBufferTo(std::string_view buffer, char* out, size_t size, std::string* error) {
    uint32_t length = 0, crc = 0;
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    if (!BufferPrefix(buffer, length, crc)) return fail("compressed data too short");
    if (length != size) return fail("length mismatch");
    std::string_view stream = buffer.substr(8);
    if (stream.size() > UINT32_MAX) return fail("compressed data too large");
    if (length > MaxInflatedSize(stream.size())) return fail("implausible uncompressed length");
    if (length == 0) return crc == 0 ? true : fail("CRC mismatch");
    bool ok = (IsZlibWrapped(stream) && InflateExactTo(stream, 15, length, out)) ||
              InflateExactTo(stream, -15, length, out);
    if (!ok) return fail("inflate failed or length mismatch");
    if (Crc32(std::string_view(out, size)) != crc) return fail("CRC mismatch");
    return true;
}


std::string StoreBuffer(std::string_view data) {
    if (data.empty()) return {};
    const size_t blocks = (data.size() + kStoredBlock - 1) / kStoredBlock;
    std::string out;
    out.resize(8 + blocks * 5 + data.size());
    char* p = out.data();
    SetLE32(p, uint32_t(data.size()));
    SetLE32(p + 4, Crc32(data));
    p += 8;
    for (size_t at = 0; at < data.size(); at += kStoredBlock) {
        const size_t n = std::min(kStoredBlock, data.size() - at);
        p[0] = at + n == data.size() ? 1 : 0; // BFINAL on the last block, BTYPE 00
        p[1] = char(n & 0xFF);
        p[2] = char(n >> 8);
        p[3] = char(~n & 0xFF);
        p[4] = char((~n >> 8) & 0xFF);
        std::memcpy(p + 5, data.data() + at, n);
        p += 5 + n;
    }
    return out;
}

bool StoredPieces(std::string_view buffer, std::vector<std::string_view>& pieces) {
    pieces.clear();
    uint32_t length = 0, crc = 0;
    if (!BufferPrefix(buffer, length, crc) || buffer.size() < 9) return false;
    size_t pos = 8;
    uint64_t total = 0;
    for (;;) {
        if (buffer.size() - pos < 5) return false;
        const uint8_t head = uint8_t(buffer[pos]);
        if (head > 1) return false;
        const size_t n = GetLE16(buffer.data() + pos + 1);
        if (uint16_t(~n) != GetLE16(buffer.data() + pos + 3)) return false;
        pos += 5;
        if (buffer.size() - pos < n) return false;
        if (n) pieces.push_back(buffer.substr(pos, n));
        pos += n;
        total += n;
        if (head == 1) break;
    }
    if (pos != buffer.size() || total != length) {
        pieces.clear();
        return false;
    }
    return true;
}

bool PackBuffer(std::string& buffer) {
    std::vector<std::string_view> pieces;
    if (!StoredPieces(buffer, pieces)) return true;
    std::string text;
    if (!DecompressBuffer(buffer, text)) return false;
    std::string packed = CompressBuffer(text);
    if (packed.empty()) return false;
    buffer = std::move(packed);
    return true;
}

uint32_t Adler32(std::string_view data, uint32_t adler) { return InSlices(adler32, data, adler); }

bool BufferToGzip(std::string_view buffer, std::string& out) {
    out.clear();
    if (buffer.empty()) return true;
    if (buffer.size() < 8) return false;
    out.reserve(buffer.size() + 10);
    static const char header[10] = {'\x1F', '\x8B', '\x08', 0, 0, 0, 0, 0, 0, '\x0B'};
    out.append(header, 10);
    out.append(buffer.data() + 8, buffer.size() - 8);
    out.append(buffer.data() + 4, 4); // CRC-32
    out.append(buffer.data(), 4);     // length
    return true;
}

bool GzipToBuffer(std::string_view gz, std::string& out) {
    out.clear();
    if (gz.size() < 18 || uint8_t(gz[0]) != 0x1F || uint8_t(gz[1]) != 0x8B) return false;
    if (uint8_t(gz[2]) != 8) return false;
    uint8_t flags = uint8_t(gz[3]);
    if (flags & 0xE0) return false;
    size_t pos = 10;
    size_t end = gz.size() - 8;
    if (flags & 0x04) { // FEXTRA
        if (pos + 2 > end) return false;
        size_t xlen = GetLE16(gz.data() + pos);
        pos += 2;
        if (xlen > end - pos) return false;
        pos += xlen;
    }
    for (uint8_t bit : {uint8_t(0x08), uint8_t(0x10)}) { // FNAME, FCOMMENT
        if (flags & bit) {
            size_t z = gz.find('\0', pos);
            if (z == std::string_view::npos || z >= end) return false;
            pos = z + 1;
        }
    }
    if (flags & 0x02) { // FHCRC
        if (pos + 2 > end) return false;
        pos += 2;
    }
    if (pos > end) return false;
    out.reserve(8 + end - pos);
    out.append(gz.data() + end + 4, 4); // length
    out.append(gz.data() + end, 4);     // CRC-32
    out.append(gz.data() + pos, end - pos);
    return true;
}

} // namespace zt
