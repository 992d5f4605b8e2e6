// A small player of Windows metafiles: the records that RTF producers put
// into \wmetafile pictures (lines, polygons, rectangles, ellipses, arcs,
// text, device-independent bitmaps, pens, brushes, fonts, clipping, window
// and viewport origin and extent) drawn with QPainter.
//
// Hostile data is bounded: records are checked against the data, the object
// table against the header's count, the saved states against a fixed depth,
// and the drawing work against a budget in proportion to the target size.
#pragma once

#include <cstdint>
#include <string_view>

class QPainter;
class QRectF;

namespace zt {

// The 22-byte header of a placeable metafile: the picture's box in metafile
// units and the units per inch.
struct PlaceableHeader {
    int left = 0, top = 0, right = 0, bottom = 0;
    int unitsPerInch = 1440;
};

// Reads the placeable header and checks that a metafile header follows.
bool ReadPlaceableHeader(std::string_view data, PlaceableHeader& header);

// Plays the placeable metafile `data` into `target` (device coordinates of
// the painter), which the header's box is mapped onto. False when `data` is
// no placeable metafile; a damaged record ends the playback early. Text is
// drawn only when a QGuiApplication exists (fonts need one).
bool DrawWmf(std::string_view data, QPainter& painter, const QRectF& target);

} // namespace zt
