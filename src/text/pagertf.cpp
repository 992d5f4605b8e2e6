#include "text/pagertf.h"

#include <algorithm>

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

bool IsRtfText(std::string_view text) { return text.substr(0, 5) == "{\\rtf"; }

std::string TextToPageRtf(std::string_view text, int points, bool bold) {
    if (IsRtfText(text)) return std::string(text);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 256);
    out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
           "{\\f1\\fnil\\fcharset0 Courier New;}}\r\n\\viewkind4\\uc1\\pard\\f1\\fs";
    out += std::to_string(2 * int64_t(points));
    if (bold) out += "\\b";
    out += "\r\n";
    for (unsigned char c : text) {
        switch (c) {
        case '\t': out += "\\tab "; break;
        case '\n': out += "\\par "; break;
        case '\\': out += "\\\\"; break;
        case '{': out += "\\{"; break;
        case '}': out += "\\}"; break;
        default:
            if (c >= 0x80) {
                out += "\\'";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 15]);
            } else if (c >= 0x20 && c != 0x7F) {
                out.push_back(char(c));
            }
            break;
        }
    }
    if (bold) out += "\\b0";
    out += "\r\n}\r\n";
    return out;
}

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

std::optional<LegacyTrailer> FindLegacyTrailer(std::string_view text) {
    constexpr std::string_view kStart = "{\\ztxext";
    constexpr std::string_view kColor = "\\ztxbgcolor";
    size_t from = text.size() > 100 ? text.size() - 100 : 0;
    size_t at = text.find(kStart, from);
    if (at == std::string_view::npos) return std::nullopt;
    LegacyTrailer trailer;
    trailer.start = at;
    size_t c = text.find(kColor, at);
    if (c != std::string_view::npos) {
        size_t p = c + kColor.size();
        uint64_t v = 0;
        size_t digits = 0;
        while (p < text.size() && text[p] >= '0' && text[p] <= '9' && digits < 12) {
            v = v * 10 + uint64_t(text[p] - '0');
            ++p;
            ++digits;
        }
        if (digits > 0 && v <= 0xFFFFFF) trailer.backgroundColor = uint32_t(v);
    }
    return trailer;
}

} // namespace zt
