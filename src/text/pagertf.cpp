#include "text/pagertf.h"

#include <algorithm>

namespace zt {


void AppendRtfEscaped(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
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
}

bool IsRtfText(std::string_view text) { return text.substr(0, 5) == "{\\rtf"; }

std::string TextToPageRtf(std::string_view text, int points, bool bold) {
    if (IsRtfText(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 256);
    out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
           "{\\f1\\fnil\\fcharset0 Courier New;}}\r\n\\viewkind4\\uc1\\pard\\f1\\fs";
    out += std::to_string(2 * int64_t(points));
    if (bold) out += "\\b";
    out += "\r\n";
    AppendRtfEscaped(out, text);
    if (bold) out += "\\b0";
    out += "\r\n}\r\n";
    return out;
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
