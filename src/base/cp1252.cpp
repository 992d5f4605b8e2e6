#include "cp1252.h"

namespace zt {

namespace {

// 0x80..0x9F; undefined positions keep their C1 control value.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

char32_t Cp1252ToUnicode(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kHigh[c - 0x80];
    return c;
}

int UnicodeToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return int(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return 0x80 + i;
    return -1;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (unsigned char c : bytes) AppendUtf8(out, Cp1252ToUnicode(c));
    return out;
}

char32_t DecodeUtf8(std::string_view s, size_t& pos) {
    unsigned char c = uint8_t(s[pos]);
    int extra = 0;
    char32_t cp = 0;
    if (c < 0x80) {
        ++pos;
        return c;
    } else if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + size_t(extra) >= s.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        unsigned char d = uint8_t(s[pos + i]);
        if ((d & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += size_t(extra) + 1;
    return cp;
}

std::string Utf8ToCp1252(std::string_view utf8, char replacement, bool* lossless) {
    std::string out;
    out.reserve(utf8.size());
    bool ok = true;
    size_t pos = 0;
    while (pos < utf8.size()) {
        size_t start = pos;
        char32_t cp = DecodeUtf8(utf8, pos);
        if (cp == 0xFFFD && pos == start + 1 && uint8_t(utf8[start]) >= 0x80) {
            // Not UTF-8 at all: keep the byte as it is.
            out.push_back(utf8[start]);
            continue;
        }
        int b = UnicodeToCp1252(cp);
        if (b < 0) {
            out.push_back(replacement);
            ok = false;
        } else {
            out.push_back(char(b));
        }
    }
    if (lossless) *lossless = ok;
    return out;
}

std::string Utf16ToCp1252(std::u16string_view text, char replacement) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        int b = UnicodeToCp1252(cp);
        out.push_back(b < 0 ? replacement : char(b));
    }
    return out;
}

bool IsUtf8(std::string_view s) {
    for (size_t pos = 0; pos < s.size();) {
        if (uint8_t(s[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const size_t start = pos;
        if (DecodeUtf8(s, pos) == 0xFFFD && pos == start + 1) return false;
    }
    return true;
}

} // namespace zt
