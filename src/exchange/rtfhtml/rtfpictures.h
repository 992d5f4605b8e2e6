// File forms of RTF picture data: the placeable metafile header, the Mac
// picture prefix, the bitmap file header, and the pixel size of PNG and JPEG
// data.
#pragma once

#include "text/pictures.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zt::rtfhtml {

// The metafile extent in twips of a \picw or \pich value under mapping mode
// `mapMode` of \wmetafileN as zt::MetafileExtent, with the divisor 2540 for
// the modes it does not know.
int MetafileExtent(int64_t value, int mapMode);

using zt::MacPictPrefix;
using zt::PlaceableMetafileHeader;

// The 14-byte file header that makes a packed device-independent bitmap a
// .bmp file; empty when `dib` does not start with a known info header.
std::string BitmapFileHeader(std::string_view dib);

using zt::ImagePixelSize;

} // namespace zt::rtfhtml
