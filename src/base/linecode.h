// The line code that carries byte data inside texts: picture twins in page
// RTF and the compressed contents in the messages of the document server.
#pragma once

#include <string>
#include <string_view>

namespace zt {

// The line code: lines of up to 45 bytes, each written as one character for
// the byte count, four characters per three bytes and "_", closed by "A_".
std::string EncodeLines(std::string_view bytes);

// Decodes the line code. Characters outside the alphabet that are white space
// are skipped; anything else, or input that ends before the end line, fails
// and leaves `out` empty.
bool DecodeLines(std::string_view text, std::string& out);

} // namespace zt
