#include "text/rtfcodepage.h"

#include "base/cp1252.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace zt {

namespace {

#include "text/rtfcodepage_tables.inc"

// The Symbol font, bytes 0x20..0xFF.
const char16_t kSymbol[224] = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B,  // 20
    0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,  // 40
    0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9,  // 50
    0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F,
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,  // 60
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,  // 70
    0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x0000,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                  // 80
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                  // 90
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663,  // A0
    0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,  // B0
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5,
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,  // C0
    0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5,  // D0
    0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C,  // E0
    0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA,
    0x0000, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F,  // F0
    0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0x0000,
};

// Code pages that may be asked of iconv, with its name for them.
struct IconvName {
    int number;
    const char* name;
};
const IconvName kIconvNames[] = {
    {737, "CP737"},     {775, "CP775"},     {852, "CP852"},       {855, "CP855"},
    {857, "CP857"},     {860, "CP860"},     {861, "CP861"},       {862, "CP862"},
    {863, "CP863"},     {864, "CP864"},     {865, "CP865"},       {866, "CP866"},
    {869, "CP869"},     {874, "CP874"},     {932, "CP932"},       {936, "CP936"},
    {949, "CP949"},     {950, "CP950"},     {1251, "CP1251"},     {1253, "CP1253"},
    {1254, "CP1254"},   {1255, "CP1255"},   {1256, "CP1256"},     {1257, "CP1257"},
    {1258, "CP1258"},   {10007, "MACCYRILLIC"}, {20866, "KOI8-R"}, {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"}, {28593, "ISO-8859-3"}, {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"}, {28597, "ISO-8859-7"}, {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"},
    {28605, "ISO-8859-15"},
};

void FillAscii(RtfCodePage& page) {
    for (int b = 0; b < 0x80; ++b) page.single_[b] = char32_t(b);
}

std::unique_ptr<RtfCodePage> BuildBuiltIn(int number) {
    auto page = std::make_unique<RtfCodePage>(number);
    const char16_t* high = nullptr;
    switch (number) {
    case 1252:
        FillAscii(*page);
        for (int b = 0x80; b < 0x100; ++b) {
            char32_t c = Cp1252ToUnicode(uint8_t(b));
            page->single_[b] = (c >= 0x80 && c < 0xA0) ? 0 : c;
        }
        return page;
    case kRtfSymbolCodePage:
        for (int b = 0; b < 0x20; ++b) page->single_[b] = char32_t(b);
        for (int b = 0x20; b < 0x100; ++b) page->single_[b] = kSymbol[b - 0x20];
        return page;
    case 1250: high = kCp1250High; break;
    case 850: high = kCp850High; break;
    case 437: high = kCp437High; break;
    case 10000: high = kCp10000High; break;
    default: return nullptr;
    }
    FillAscii(*page);
    for (int b = 0x80; b < 0x100; ++b) page->single_[b] = high[b - 0x80];
    return page;
}

// Converts `n` bytes with `cd`; returns the single character produced, 0 when
// the bytes make no complete character, and sets `incomplete` when more bytes
// are needed.
char32_t IconvOne(iconv_t cd, const unsigned char* bytes, size_t n, bool& incomplete) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[2];
    std::memcpy(in, bytes, n);
    char* inp = in;
    size_t inLeft = n;
    char32_t outBuf[4] = {};
    char* outp = reinterpret_cast<char*>(outBuf);
    size_t outLeft = sizeof(outBuf);
    incomplete = false;
    size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    if (r == size_t(-1)) {
        incomplete = errno == EINVAL;
        return 0;
    }
    if (inLeft != 0 || outLeft != sizeof(outBuf) - sizeof(char32_t)) return 0;
    return outBuf[0];
}

std::unique_ptr<RtfCodePage> BuildWithIconv(int number) {
    const char* name = nullptr;
    for (const auto& n : kIconvNames)
        if (n.number == number) name = n.name;
    if (!name) return nullptr;
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == iconv_t(-1)) return nullptr;
    auto page = std::make_unique<RtfCodePage>(number);
    int leads = 0;
    for (int b = 0; b < 0x100; ++b) {
        unsigned char byte = uint8_t(b);
        bool incomplete = false;
        char32_t c = IconvOne(cd, &byte, 1, incomplete);
        page->single_[b] = c;
        if (incomplete && b >= 0x80) page->lead_[b] = uint8_t(++leads);
    }
    if (leads > 0) {
        page->pairs_.assign(size_t(leads) * 256, 0);
        for (int b = 0x80; b < 0x100; ++b) {
            if (!page->lead_[b]) continue;
            for (int t = 0; t < 0x100; ++t) {
                unsigned char pair[2] = {uint8_t(b), uint8_t(t)};
                bool incomplete = false;
                page->pairs_[size_t(page->lead_[b] - 1) * 256 + t] = IconvOne(cd, pair, 2, incomplete);
            }
        }
    }
    iconv_close(cd);
    // Control bytes stay what they are in every code page.
    for (int b = 0; b < 0x20; ++b) page->single_[b] = char32_t(b);
    return page;
}

} // namespace

const RtfCodePage& RtfCodePageFor(int number) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<RtfCodePage>> pages;
    static const RtfCodePage* fallback = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (!fallback) {
        auto p = BuildBuiltIn(1252);
        fallback = p.get();
        pages[1252] = std::move(p);
    }
    auto it = pages.find(number);
    if (it != pages.end()) return it->second ? *it->second : *fallback;
    auto page = BuildBuiltIn(number);
    if (!page) page = BuildWithIconv(number);
    // Unknown numbers are remembered as well; the set of numbers that can be
    // asked for is bounded by the whitelist above plus what was asked before,
    // so hostile input cannot grow it beyond a few entries per number.
    const RtfCodePage* result = page ? page.get() : fallback;
    if (page || pages.size() < 4096) pages[number] = std::move(page);
    return *result;
}

int CodePageOfCharset(int charset) {
    switch (charset) {
    case 0: return 1252;
    case 2: return kRtfSymbolCodePage;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 437;
    default: return 0;
    }
}

} // namespace zt
