// File forms of RTF picture data: the placeable metafile header, the Mac
// picture prefix, the bitmap file header, and the pixel size of PNG and JPEG
// data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zt::rtfhtml {

// The metafile extent in twips of a \picw or \pich value under mapping mode
// `mapMode` of \wmetafileN: (value * 1440 + 1440) / D with D 96 (mode 1),
// 254 (2), 100 (4), 1000 (5), 2540 (others); mode 6 keeps the value. The
// result is clamped to the 16-bit range of the header.
int MetafileExtent(int64_t value, int mapMode);

// The 22-byte placeable metafile header for a box of `width` by `height`
// twips at 1440 units per inch.
std::string PlaceableMetafileHeader(int width, int height);

// The 512 bytes that precede the data of a Mac picture file.
std::string MacPictPrefix();

// The 14-byte file header that makes a packed device-independent bitmap a
// .bmp file; empty when `dib` does not start with a known info header.
std::string BitmapFileHeader(std::string_view dib);

// Width and height in pixels of PNG or JPEG data.
bool ImagePixelSize(std::string_view data, int& width, int& height);

} // namespace zt::rtfhtml
