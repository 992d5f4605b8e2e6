// Picture files of page texts: the file forms of RTF picture data (placeable
// metafile header, Mac picture prefix) and the conversion of pictures that a
// browser cannot show into JPEG files of quality 60. Qt stays out of this
// header; the rendering side is in text/picture.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zt {

// Kinds of RTF pictures, told by the picture group's type control word.
enum class PictureKind { Jpeg, Png, Bitmap, Metafile, MacPict, Unknown };

// The quality every picture twin and converted picture is encoded with.
constexpr int kPictureJpegQuality = 60;

// The metafile extent in twips of a \picw or \pich value under mapping mode
// `mapMode` of \wmetafileN: (value * 1440 + 1440) / D with D 96 (mode 1),
// 254 (2), 2540 (3, 7, 8), 100 (4), 1000 (5); mode 6 keeps the value.
// Nothing for other modes. Clamped to 0..32767, the range of the header.
std::optional<int> MetafileExtent(int64_t value, int mapMode);

// The 22-byte placeable metafile header for a box from 0, 0 to `width`,
// `height` (clamped to 0..32767) at 1440 units per inch.
std::string PlaceableMetafileHeader(int width, int height);

// The 512 bytes that precede the data of a Mac picture file.
std::string MacPictPrefix();

// The picture file of a metafile, Mac picture or bitmap group's data: a
// metafile gets its placeable header, whose box is the goal size + 1, else
// the picture size under the mapping mode (a missing goal size then becomes
// that box); a Mac picture gets its prefix; bitmap data stays as it is.
// Empty for other kinds.
std::string PictureFileOf(PictureKind kind, std::string data, int64_t picw, int64_t pich, int mapMode,
                          int64_t& goalw, int64_t& goalh);

// Width and height in pixels of PNG or JPEG data.
bool ImagePixelSize(std::string_view data, int& width, int& height);

// Renders picture data (a file's bytes: PNG, JPEG, BMP, GIF, a placeable
// metafile, a Mac picture with its 512-byte prefix, or a packed
// device-independent bitmap without file header) on white at its own pixel
// size and encodes it as JPEG. `quality` below 1 becomes 10, above 100
// becomes 100. False when the data cannot be read or drawn.
bool ConvertPictureDataToJpeg(std::string_view data, int quality, std::string& jpeg);

// The same from file to file. False (and no destination file) on any failure.
bool ConvertPictureToJpeg(const std::string& sourcePath, const std::string& destPath, int quality);

} // namespace zt
