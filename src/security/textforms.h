// Text forms of byte strings: lower and upper hexadecimal and base64.
#pragma once

#include "security/securebytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace zt {

// Two digits per byte, "0123456789abcdef" or "0123456789ABCDEF".
std::string LowerHex(std::string_view bytes);
std::string UpperHex(std::string_view bytes);
// The same for secrets: the text itself is wiped with the buffer.
SecureBytes SecureHex(std::string_view bytes, bool upper = false);

// Decodes hexadecimal digits of either case. nullopt for an odd length or a
// character that is not a digit.
std::optional<std::string> HexDecode(std::string_view text);

// RFC 4648 base64 with the standard alphabet, padded with "=", without line
// breaks.
std::string Base64Encode(std::string_view bytes);

// Decodes base64. Spaces, tabs and line breaks are skipped; any other
// character outside the alphabet, misplaced "=" or a length that is not a
// multiple of four gives nullopt.
std::optional<std::string> Base64Decode(std::string_view text);

} // namespace zt
