// JPEG output of bitmaps: baseline JPEG with three components in RGB, the
// library's default settings apart from the quality, rows top-down.
#pragma once

#include <string>
#include <string_view>

namespace zt {

// Encodes the packed device-independent bitmap `dib` (see text/dib.h; 1, 4,
// 8, 16, 24 or 32 bits per pixel) with `quality` 0..100. On failure `error`
// (when given) gets "Invalid input data", "Invalid bitmap bit count" or the
// library's message, and `jpeg` is left empty.
bool EncodeJpeg(std::string_view dib, int quality, std::string& jpeg, std::string* error = nullptr);

// The same into the file at `path`; "Cannot open " + path when it cannot be
// created. Nothing is left at `path` on failure.
bool WriteJpeg(std::string_view dib, int quality, const std::string& path, std::string* error = nullptr);

} // namespace zt
