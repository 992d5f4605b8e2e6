#include "base/linecode.h"

#include <algorithm>
#include <cstdint>

namespace zt {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-.";
constexpr size_t kLineBytes = 45;

// 6-bit value of a line code character, -1 for others.
struct DecodeTable {
    int8_t v[256];
    constexpr DecodeTable() : v() {
        for (int i = 0; i < 256; ++i) v[i] = -1;
        for (int i = 0; i < 64; ++i) v[uint8_t(kAlphabet[i])] = int8_t(i);
    }
};
constexpr DecodeTable kDecode;

inline bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

std::string EncodeLines(std::string_view bytes) {
    std::string out;
    size_t lines = bytes.size() / kLineBytes + 1;
    out.reserve(bytes.size() / 3 * 4 + lines * 2 + 8);
    for (size_t pos = 0; pos < bytes.size(); pos += kLineBytes) {
        size_t n = std::min(kLineBytes, bytes.size() - pos);
        out.push_back(kAlphabet[n]);
        for (size_t i = 0; i < n; i += 3) {
            uint32_t v = uint32_t(uint8_t(bytes[pos + i])) << 16;
            if (i + 1 < n) v |= uint32_t(uint8_t(bytes[pos + i + 1])) << 8;
            if (i + 2 < n) v |= uint32_t(uint8_t(bytes[pos + i + 2]));
            out.push_back(kAlphabet[(v >> 18) & 63]);
            out.push_back(kAlphabet[(v >> 12) & 63]);
            out.push_back(kAlphabet[(v >> 6) & 63]);
            out.push_back(kAlphabet[v & 63]);
        }
        out.push_back('_');
    }
    out += "A_";
    return out;
}

bool DecodeLines(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size() / 4 * 3);
    size_t pos = 0;
    auto next = [&](int& value) {
        while (pos < text.size() && IsSpace(uint8_t(text[pos]))) ++pos;
        if (pos >= text.size()) return false;
        value = kDecode.v[uint8_t(text[pos++])];
        return true;
    };
    auto expectEnd = [&]() {
        while (pos < text.size() && IsSpace(uint8_t(text[pos]))) ++pos;
        return pos < text.size() && text[pos++] == '_';
    };
    for (;;) {
        int count = 0;
        if (!next(count) || count < 0) break;
        if (count == 0) {
            if (expectEnd()) return true;
            break;
        }
        bool ok = true;
        for (int i = 0; i < count && ok; i += 3) {
            int q[4];
            for (int k = 0; k < 4 && ok; ++k) ok = next(q[k]) && q[k] >= 0;
            if (!ok) break;
            uint32_t v = uint32_t(q[0]) << 18 | uint32_t(q[1]) << 12 | uint32_t(q[2]) << 6 | uint32_t(q[3]);
            out.push_back(char(v >> 16));
            if (i + 1 < count) out.push_back(char(v >> 8));
            if (i + 2 < count) out.push_back(char(v));
        }
        if (!ok || !expectEnd()) break;
    }
    out.clear();
    return false;
}

} // namespace zt
