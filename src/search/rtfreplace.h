// Replacing characters of a page's plain text in the page RTF itself: only
// the bytes of the replaced characters change, so every format around them
// (and between them, for a hit that spans format runs) stays as it was.
#pragma once

#include "exchange/rtfhtml/rtfconverter.h"

#include <string>
#include <string_view>
#include <vector>

namespace zt {

// Characters [offset, offset + length) of the plain text become
// `replacement` (Windows-1252; empty deletes them).
struct CZTTextEdit {
    size_t offset = 0;
    size_t length = 0;
    std::string replacement;
};

// Applies `edits` (in ascending order, not overlapping) to `rtf`, whose
// search form's source map is `spans`. The replacement takes the place of the
// first character and the format in force there; the other characters'
// bytes are dropped, the control words and groups between them stay. An edit
// that covers a character without text of its own (a picture, an object) or
// lies outside the text is not made: `applied` tells which were (one flag per
// edit). Returns the new RTF.
std::string ReplaceInRtf(std::string_view rtf, const std::vector<RtfTextSpan>& spans,
                         const std::vector<CZTTextEdit>& edits, std::vector<bool>* applied = nullptr);

// The RTF form of Windows-1252 text: markup characters escaped, tabs as
// \tab, other control characters dropped, bytes above 127 as \'xx (`ansi`)
// or as \uN in a group of their own (where another character set is in force).
void AppendRtfText(std::string& out, std::string_view text, bool ansi);

} // namespace zt
