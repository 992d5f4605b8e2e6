// The MS-DOS (OEM) code page of the German system, IBM 850, against the
// Windows ANSI code page 1252: zip names and comments and MS-DOS text files
// are written in it.
#pragma once

#include <string>
#include <string_view>

namespace zt {

// Bytes of Windows-1252 as IBM 850; characters that code page lacks become "_".
std::string AnsiToOem(std::string_view ansi);
// Bytes of IBM 850 as Windows-1252; characters that code page lacks become "_".
std::string OemToAnsi(std::string_view oem);

} // namespace zt
