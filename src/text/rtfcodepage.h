// Code pages of RTF text: the document's \ansicpg and the fonts' \fcharset
// select the table that turns text bytes into Unicode characters.
//
// Windows-1252, 1250, IBM 850 and 437, Mac Roman and the Symbol font are built
// in; the other single- and double-byte Windows code pages come from the C
// library's iconv. Tables are built once, shared read-only and thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zt {

// The code page number used for the Symbol font (as Windows' CP_SYMBOL).
constexpr int kRtfSymbolCodePage = 42;

class RtfCodePage {
public:
    int Number() const { return number_; }
    bool IsDoubleByte() const { return !pairs_.empty(); }
    bool IsSymbol() const { return number_ == kRtfSymbolCodePage; }

    // The character of a single byte; 0 when the code page has none (and for
    // the lead bytes of a double-byte code page).
    char32_t Map(unsigned char b) const { return single_[b]; }
    bool IsLeadByte(unsigned char b) const { return lead_[b] != 0; }
    // The character of a lead byte and a trail byte; 0 when there is none.
    char32_t MapPair(unsigned char lead, unsigned char trail) const {
        return lead_[lead] ? pairs_[size_t(lead_[lead] - 1) * 256 + trail] : 0;
    }

    RtfCodePage(int number) : number_(number) {}
    char32_t single_[256] = {};
    uint8_t lead_[256] = {};          // 0, or 1 + the row of the lead byte in pairs_
    std::vector<char32_t> pairs_;     // 256 characters per lead byte

private:
    int number_;
};

// The table of a code page number; unknown or unavailable numbers give
// Windows-1252.
const RtfCodePage& RtfCodePageFor(int number);

// The code page of a font character set (\fcharset N); 0 for the default
// character set 1 and for unknown sets, which mean "the document's code page".
int CodePageOfCharset(int charset);

} // namespace zt
