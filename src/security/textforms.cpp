#include "security/textforms.h"

#include <array>

#include "base/bytes.h"

namespace zt {

std::string LowerHex(std::string_view bytes) { return ToHex(bytes, false); }
std::string UpperHex(std::string_view bytes) { return ToHex(bytes, true); }

SecureBytes SecureHex(std::string_view bytes, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    SecureBytes out(bytes.size() * 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        out[2 * i] = uint8_t(digits[c >> 4]);
        out[2 * i + 1] = uint8_t(digits[c & 15]);
    }
    return out;
}

namespace {

int HexValue(char c) { return HexDigitValue(c); }

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

} // namespace

std::optional<std::string> HexDecode(std::string_view text) {
    if (text.size() % 2) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(char(hi << 4 | lo));
    }
    return out;
}

std::string Base64Encode(std::string_view bytes) {
    std::string out((bytes.size() + 2) / 3 * 4, '\0');
    auto in = reinterpret_cast<const unsigned char*>(bytes.data());
    char* o = out.data();
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t v = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        *o++ = kBase64[v >> 18];
        *o++ = kBase64[(v >> 12) & 63];
        *o++ = kBase64[(v >> 6) & 63];
        *o++ = kBase64[v & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest) {
        uint32_t v = uint32_t(in[i]) << 16 | (rest == 2 ? uint32_t(in[i + 1]) << 8 : 0);
        *o++ = kBase64[v >> 18];
        *o++ = kBase64[(v >> 12) & 63];
        *o++ = rest == 2 ? kBase64[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
    return out;
}

// Base64 values by character, 0xFF for everything else.
constexpr auto kBase64Values = [] {
    std::array<uint8_t, 256> t{};
    for (auto& v : t) v = 0xFF;
    for (int i = 0; i < 64; ++i) t[uint8_t(kBase64[i])] = uint8_t(i);
    return t;
}();

std::optional<std::string> Base64Decode(std::string_view text) {
    std::string out;
    out.resize(text.size() / 4 * 3);
    char* o = out.data();
    // Whole groups of four plain characters first, without a check per
    // character of what may follow; the rest takes the careful path.
    size_t i = 0;
    auto in = reinterpret_cast<const unsigned char*>(text.data());
    for (; i + 4 <= text.size(); i += 4) {
        const uint32_t a = kBase64Values[in[i]], b = kBase64Values[in[i + 1]], c = kBase64Values[in[i + 2]],
                       d = kBase64Values[in[i + 3]];
        if ((a | b | c | d) & 0x80) break;
        const uint32_t v = a << 18 | b << 12 | c << 6 | d;
        *o++ = char(v >> 16);
        *o++ = char((v >> 8) & 0xFF);
        *o++ = char(v & 0xFF);
    }
    out.resize(size_t(o - out.data()));
    text.remove_prefix(i);
    uint32_t group = 0;
    int count = 0;   // characters in the current group
    int padding = 0; // "=" seen
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            // Padding may only fill the third and fourth place of the last group.
            if (count < 2) return std::nullopt;
            ++padding;
            ++count;
            group <<= 6;
        } else {
            int v = Base64Value(c);
            if (v < 0 || padding) return std::nullopt;
            group = group << 6 | uint32_t(v);
            ++count;
        }
        if (count == 4) {
            out += char(group >> 16);
            if (padding < 2) out += char((group >> 8) & 0xFF);
            if (padding < 1) out += char(group & 0xFF);
            group = 0;
            count = 0;
            if (padding) padding = 3; // nothing may follow a padded group
        }
    }
    if (count != 0) return std::nullopt;
    return out;
}

} // namespace zt
