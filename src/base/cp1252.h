// Windows-1252 <-> Unicode. The document model and the files hold Windows-1252
// bytes; the user interface and the command-line tool speak UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace zt {

// The Unicode code point of a Windows-1252 byte. The five bytes that code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the
// same value so that every byte survives a round trip.
char32_t Cp1252ToUnicode(unsigned char c);

// The Windows-1252 byte of a code point, or -1 when the code page lacks it.
int UnicodeToCp1252(char32_t cp);

std::string Cp1252ToUtf8(std::string_view bytes);

// Characters that Windows-1252 lacks become `replacement`; invalid UTF-8
// sequences are taken byte by byte as Windows-1252. `lossless` (optional) tells
// whether every character could be kept.
std::string Utf8ToCp1252(std::string_view utf8, char replacement = '?', bool* lossless = nullptr);

// UTF-16 code units to Windows-1252 (used for wide strings in old files).
std::string Utf16ToCp1252(std::u16string_view text, char replacement = '?');

// Decodes one UTF-8 code point starting at `pos`; returns U+FFFD and advances
// one byte for malformed input.
char32_t DecodeUtf8(std::string_view s, size_t& pos);
// True when `s` is well-formed UTF-8 (plain ASCII included).
bool IsUtf8(std::string_view s);
void AppendUtf8(std::string& out, char32_t cp);

} // namespace zt
