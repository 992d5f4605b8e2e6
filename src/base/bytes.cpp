#include "bytes.h"

#include "cp1252.h"

namespace zt {

std::string StringPrefix(size_t length) {
    std::string out;
    if (length < 255) {
        out.push_back(char(length));
    } else if (length < 0xFFFE) {
        out.push_back(char(0xFF));
        PutLE16(out, uint16_t(length));
    } else {
        out.push_back(char(0xFF));
        PutLE16(out, 0xFFFF);
        PutLE32(out, uint32_t(length));
    }
    return out;
}

void AppendPrefixedString(std::string& out, std::string_view s) {
    out += StringPrefix(s.size());
    out.append(s.data(), s.size());
}

namespace {

// Reads the plain prefix; `wide` is set when the 0xFF 0xFFFE announcement came first.
bool ReadPrefix(std::string_view in, size_t& pos, uint64_t& length, bool& wide) {
    wide = false;
    for (int round = 0; round < 2; ++round) {
        if (pos + 1 > in.size()) return false;
        uint8_t b = uint8_t(in[pos]);
        if (b < 255) {
            length = b;
            pos += 1;
            return true;
        }
        if (pos + 3 > in.size()) return false;
        uint16_t w = GetLE16(in.data() + pos + 1);
        if (w == 0xFFFE && round == 0) {
            wide = true;
            pos += 3;
            continue;
        }
        if (w < 0xFFFF) {
            length = w;
            pos += 3;
            return true;
        }
        if (pos + 7 > in.size()) return false;
        length = GetLE32(in.data() + pos + 3);
        pos += 7;
        return true;
    }
    return false;
}

} // namespace

std::optional<std::string> ReadPrefixedString(std::string_view in, size_t& pos) {
    size_t p = pos;
    uint64_t length = 0;
    bool wide = false;
    if (!ReadPrefix(in, p, length, wide)) return std::nullopt;
    uint64_t bytes = wide ? length * 2 : length;
    if (bytes > in.size() - p) return std::nullopt;
    std::string result;
    if (wide) {
        std::u16string w;
        w.reserve(size_t(length));
        for (size_t i = 0; i < length; ++i) w.push_back(char16_t(GetLE16(in.data() + p + 2 * i)));
        result = Utf16ToCp1252(w);
    } else {
        result.assign(in.data() + p, size_t(bytes));
    }
    pos = p + size_t(bytes);
    return result;
}

std::string ToHex(std::string_view bytes, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

std::string TrimWhite(std::string_view s) {
    auto white = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    size_t b = 0, e = s.size();
    while (b < e && white(s[b])) ++b;
    while (e > b && white(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

} // namespace zt
