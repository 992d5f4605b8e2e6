#include "urlcode.h"

#include "bytes.h"

namespace zt {

namespace {

int HexValue(char c) { return HexDigitValue(c); }

std::string Encode(std::string_view bytes, bool encodeDot) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    for (unsigned char c : bytes) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || (c == '.' && !encodeDot);
        if (keep) {
            out.push_back(char(c));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

} // namespace

std::string UrlFormEncode(std::string_view bytes) { return Encode(bytes, false); }

std::string LinkNameEncode(std::string_view title) { return Encode(title, true); }

std::string UrlFormDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < text.size() + 0 && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out.push_back(char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace zt
