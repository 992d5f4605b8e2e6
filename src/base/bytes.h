// Byte strings and little-endian helpers shared by every layer.
//
// Titles, texts and names are Windows-1252 byte strings held in std::string;
// they become Unicode only at the user-interface boundary (see cp1252.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zt {

inline void PutLE16(std::string& out, uint16_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

inline void PutLE32(std::string& out, uint32_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
    out.push_back(char((v >> 16) & 0xFF));
    out.push_back(char((v >> 24) & 0xFF));
}

inline uint16_t GetLE16(const void* p) {
    auto b = static_cast<const unsigned char*>(p);
    return uint16_t(b[0] | (b[1] << 8));
}

inline uint32_t GetLE32(const void* p) {
    auto b = static_cast<const unsigned char*>(p);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

inline void SetLE32(void* p, uint32_t v) {
    auto b = static_cast<unsigned char*>(p);
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
    b[2] = uint8_t(v >> 16);
    b[3] = uint8_t(v >> 24);
}

// The length prefix of the stored string form: one byte below 255; 0xFF and a
// uint16 below 0xFFFE; otherwise 0xFF, uint16 0xFFFF and a uint32.
std::string StringPrefix(size_t length);

// Appends prefix and bytes of `s` in the stored string form.
void AppendPrefixedString(std::string& out, std::string_view s);

// Reads one prefixed string from `in` starting at `pos`. Returns nullopt when the
// data ends early; advances `pos` past the string on success. The wide-character
// announcement (0xFF, 0xFFFE) is accepted: the UTF-16 text is converted to
// Windows-1252.
std::optional<std::string> ReadPrefixedString(std::string_view in, size_t& pos);

// The value of a hexadecimal digit (either case), -1 for any other character.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Lower-case hexadecimal form of bytes.
std::string ToHex(std::string_view bytes, bool upper = false);

// ASCII case-insensitive comparison helpers.
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
std::string TrimWhite(std::string_view s);

} // namespace zt
