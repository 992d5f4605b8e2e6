#include "exchange/rtfhtml/htmlchars.h"

#include "base/cp1252.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace zt::rtfhtml {

namespace {

struct HtmlEntity {
    char32_t code;
    const char* name;
};

#include "exchange/rtfhtml/htmlentities.inc"

// Characters of Windows-1252 that HTML output writes as named entities.
bool WrittenAsEntity(char32_t c) {
    switch (c) {
    case U'&': case U'<': case U'>':
    case 0xC4: case 0xD6: case 0xDC: case 0xE4: case 0xF6: case 0xFC: case 0xDF:
    case 0xA9: case 0xAE: case 0xFD:
        return true;
    default:
        return false;
    }
}

// Plain-text spellings that read better than a bracketed name.
std::string_view TextSpelling(char32_t c) {
    switch (c) {
    case 0x2192: return "->";
    case 0x2190: return "<-";
    case 0x2194: return "<->";
    case 0x21D2: return "=>";
    case 0x21D0: return "<=";
    case 0x21D4: return "<=>";
    case 0x2011: return "-";
    default: return {};
    }
}

} // namespace

std::string_view HtmlEntityName(char32_t c) {
    auto it = std::lower_bound(std::begin(kHtmlEntities), std::end(kHtmlEntities), c,
                               [](const HtmlEntity& e, char32_t v) { return e.code < v; });
    if (it != std::end(kHtmlEntities) && it->code == c) return it->name;
    return {};
}

void AppendHtmlChar(std::string& out, char32_t c) {
    if (c == 0) return;
    if (WrittenAsEntity(c)) {
        out.push_back('&');
        out += HtmlEntityName(c);
        out.push_back(';');
        return;
    }
    int b = UnicodeToCp1252(c);
    if (b >= 0) {
        out.push_back(char(b));
        return;
    }
    std::string_view name = HtmlEntityName(c);
    if (!name.empty()) {
        out.push_back('&');
        out += name;
        out.push_back(';');
        return;
    }
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "&#%u;", unsigned(c));
    out.append(buf, size_t(n));
}

bool AppendTextChar(std::string& out, char32_t c, TextForm form) {
    if (form == TextForm::Utf8) {
        AppendUtf8(out, c);
        return true;
    }
    int b = UnicodeToCp1252(c);
    if (b >= 0) {
        out.push_back(char(b));
        return true;
    }
    if (form == TextForm::Search) {
        out.push_back(' ');
        return true;
    }
    std::string_view spelling = TextSpelling(c);
    if (!spelling.empty()) {
        out += spelling;
        return true;
    }
    std::string_view name = HtmlEntityName(c);
    if (name.empty()) return false;
    out.push_back('[');
    out += name;
    out.push_back(']');
    return true;
}

void AppendHtmlEscaped(std::string& out, std::string_view s) {
    for (char ch : s) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out.push_back(ch); break;
        }
    }
}

} // namespace zt::rtfhtml
