// URL form encoding as used by page links and exports.
#pragma once

#include <string>
#include <string_view>

namespace zt {

// Letters, digits, "-", "." and "_" stay; a blank becomes "+"; every other byte
// becomes "%" and two upper-case hexadecimal digits.
std::string UrlFormEncode(std::string_view bytes);

// "+" becomes a blank; "%" with two hexadecimal digits (either case) becomes
// that byte; everything else stays.
std::string UrlFormDecode(std::string_view text);

// The link-name form of a title: URL form encoding with every "." written
// as "%2E".
std::string LinkNameEncode(std::string_view title);

} // namespace zt
