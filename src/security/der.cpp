#include "security/der.h"

namespace zt::der {

namespace {

constexpr int kMaxDepth = 32;

// Reads one element's header and content from `in`; advances `in` past it.
std::optional<Element> ReadElement(std::string_view& in, int depth) {
    if (depth > kMaxDepth || in.size() < 2) return std::nullopt;
    const std::string_view start = in;
    uint8_t tag = uint8_t(in[0]);
    if ((tag & 0x1F) == 0x1F) return std::nullopt;
    uint8_t first = uint8_t(in[1]);
    size_t pos = 2;
    Element e;
    e.tag = tag;
    if (first == 0x80) {
        // Indefinite length: inner elements up to the end-of-contents marker.
        if (!(tag & kConstructed)) return std::nullopt;
        std::string_view inner = in.substr(pos);
        const std::string_view innerStart = inner;
        while (true) {
            if (inner.size() < 2) return std::nullopt;
            if (inner[0] == 0 && inner[1] == 0) break;
            if (!ReadElement(inner, depth + 1)) return std::nullopt;
        }
        size_t contentLength = innerStart.size() - inner.size();
        e.content = innerStart.substr(0, contentLength);
        size_t total = pos + contentLength + 2;
        e.whole = start.substr(0, total);
        in.remove_prefix(total);
        return e;
    }
    size_t length = 0;
    if (first < 0x80) {
        length = first;
    } else {
        size_t n = first & 0x7F;
        if (n > 4 || in.size() < pos + n) return std::nullopt;
        for (size_t i = 0; i < n; ++i) length = (length << 8) | uint8_t(in[pos + i]);
        pos += n;
    }
    if (in.size() - pos < length) return std::nullopt;
    e.content = in.substr(pos, length);
    e.whole = in.substr(0, pos + length);
    in.remove_prefix(pos + length);
    return e;
}

} // namespace

std::optional<Element> Reader::Next() {
    auto e = ReadElement(rest_, depth_);
    if (!e) rest_ = {};
    return e;
}

std::optional<Element> Reader::Next(uint8_t tag) {
    if (!Peek(tag)) return std::nullopt;
    return Next();
}

std::string OidText(std::string_view c) {
    if (c.empty() || c.size() > 64) return {};
    std::string out;
    uint64_t value = 0;
    bool firstArc = true;
    for (size_t i = 0; i < c.size(); ++i) {
        uint8_t b = uint8_t(c[i]);
        if (value == 0 && b == 0x80) return {}; // non-minimal
        if (value > (UINT64_MAX >> 7)) return {};
        value = (value << 7) | (b & 0x7F);
        if (b & 0x80) {
            if (i + 1 == c.size()) return {};
            continue;
        }
        if (firstArc) {
            uint64_t a = value < 40 ? 0 : value < 80 ? 1 : 2;
            out = std::to_string(a) + "." + std::to_string(value - a * 40);
            firstArc = false;
        } else {
            out += "." + std::to_string(value);
        }
        value = 0;
    }
    return out;
}

std::optional<std::string> OctetString(const Element& e, int depth) {
    if ((e.tag & ~kConstructed & 0xFF) != kOctetString && (e.tag & 0xC0) == 0) return std::nullopt;
    if (!e.Constructed()) return std::string(e.content);
    std::string out;
    Reader r(e.content, depth + 1);
    while (!r.AtEnd()) {
        auto piece = r.Next();
        if (!piece || (piece->tag & ~kConstructed) != kOctetString) return std::nullopt;
        auto v = OctetString(*piece, depth + 1);
        if (!v) return std::nullopt;
        out += *v;
    }
    return out;
}

std::optional<uint64_t> SmallInteger(const Element& e) {
    if (e.tag != kInteger || e.content.empty() || (uint8_t(e.content[0]) & 0x80)) return std::nullopt;
    std::string_view c = e.content;
    while (c.size() > 1 && c[0] == 0) c.remove_prefix(1);
    if (c.size() > 8) return std::nullopt;
    uint64_t v = 0;
    for (char ch : c) v = (v << 8) | uint8_t(ch);
    return v;
}

std::optional<std::string_view> BitStringBytes(const Element& e) {
    if (e.tag != kBitString || e.content.empty() || e.content[0] != 0) return std::nullopt;
    return e.content.substr(1);
}

} // namespace zt::der
