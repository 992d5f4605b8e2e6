// The stored form of page texts: plain text to page RTF, the line code that
// carries picture twins and other byte data inside RTF, and the legacy
// trailer of texts written by older versions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/linecode.h"

namespace zt {

// True when `text` already is RTF (begins with "{\rtf").
bool IsRtfText(std::string_view text);

// Appends a plain Windows-1252 text as RTF text: tabs and line feeds as
// \tab and \par, the RTF specials escaped, bytes above 127 as \'xx, other
// control characters left out.
void AppendRtfEscaped(std::string& out, std::string_view text);

// Page RTF for a plain Windows-1252 text, in Courier New of `points` points,
// bold when asked. A text that already is RTF is returned unchanged.
std::string TextToPageRtf(std::string_view text, int points, bool bold);

// The legacy trailer "{\ztxext ...}" that older versions appended after the
// RTF document. It is looked for within the last 100 bytes of the text.
struct LegacyTrailer {
    size_t start = 0;                       // offset of "{\ztxext": the RTF ends here
    std::optional<uint32_t> backgroundColor;  // 0xRRGGBB from \ztxbgcolor
};
std::optional<LegacyTrailer> FindLegacyTrailer(std::string_view text);

} // namespace zt
