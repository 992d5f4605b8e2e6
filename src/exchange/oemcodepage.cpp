#include "exchange/oemcodepage.h"

#include "base/cp1252.h"
#include "text/rtfcodepage.h"

#include <array>

namespace zt {

namespace {

struct Tables {
    std::array<char, 256> toOem{};
    std::array<char, 256> toAnsi{};
    Tables() {
        const RtfCodePage& oem = RtfCodePageFor(850);
        toOem.fill('_');
        toAnsi.fill('_');
        for (int b = 0; b < 0x80; ++b) toOem[size_t(b)] = toAnsi[size_t(b)] = char(b);
        for (int o = 0x80; o < 0x100; ++o) {
            char32_t cp = oem.Map(uint8_t(o));
            int a = cp ? UnicodeToCp1252(cp) : -1;
            if (a >= 0x80) {
                toAnsi[size_t(o)] = char(a);
                toOem[size_t(a)] = char(o);
            }
        }
    }
};

const Tables& T() {
    static const Tables tables;
    return tables;
}

std::string Map(std::string_view in, const std::array<char, 256>& table) {
    std::string out(in.size(), '\0');
    for (size_t i = 0; i < in.size(); ++i) out[i] = table[static_cast<unsigned char>(in[i])];
    return out;
}

} // namespace

std::string AnsiToOem(std::string_view ansi) { return Map(ansi, T().toOem); }
std::string OemToAnsi(std::string_view oem) { return Map(oem, T().toAnsi); }

} // namespace zt
