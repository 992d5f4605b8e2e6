// Whole-file reads and writes.
#pragma once

#include <string>
#include <string_view>

namespace zt {

// Reads the whole file; false with `error` (the system's text) when it cannot
// be opened or read, or is a directory.
bool ReadWholeFile(const std::string& path, std::string& out, std::string* error = nullptr);

// Writes `data` to `path` through a temporary file beside it and a rename, so
// a failure never leaves half a file and never touches an existing one.
bool WriteFileReplacing(const std::string& path, std::string_view data, std::string* error = nullptr);

} // namespace zt
