// How the converter writes one character: into HTML (Windows-1252 bytes with
// entities for the umlauts, markup characters and characters outside the code
// page) and into plain text (Windows-1252 bytes with bracketed names for the
// others, the search form with spaces instead, or UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace zt::rtfhtml {

enum class TextForm { Text, Search, Utf8 };

// The HTML 4 entity name of a code point, or an empty view.
std::string_view HtmlEntityName(char32_t c);

// Appends the HTML form of `c` (not for the space, which the writer handles).
// Code point 0 (no character) appends nothing.
void AppendHtmlChar(std::string& out, char32_t c);

// Appends the plain text form of `c`. Returns false when `c` has no form of
// its own in that mode (outside Windows-1252 and without a name); nothing is
// appended then.
bool AppendTextChar(std::string& out, char32_t c, TextForm form);

// Appends `s` (Windows-1252) escaped for an HTML attribute value or element.
void AppendHtmlEscaped(std::string& out, std::string_view s);

} // namespace zt::rtfhtml
