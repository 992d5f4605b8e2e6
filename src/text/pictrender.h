// A small reader of Mac pictures (PICT, versions 1 and 2) as \macpict
// pictures carry them: bitmaps (packed, direct and plain), embedded JPEG
// images, rectangles, rounded rectangles, ovals, polygons, lines and text in
// their colours. Patterns are drawn solid; arcs, regions and clipping are
// left out. Every length is checked against the data and the drawing work
// is bounded like the metafile player's.
#pragma once

#include <string_view>

class QPainter;
class QRectF;

namespace zt {

// The picture frame and resolution of a PICT file with its 512-byte prefix.
struct PictHeader {
    int left = 0, top = 0, right = 0, bottom = 0;
    double dpi = 72;
};

bool ReadPictHeader(std::string_view file, PictHeader& header);

// Draws the PICT file (with its 512-byte prefix) into `target`. False when
// it is no PICT; damaged data ends the drawing early.
bool DrawPict(std::string_view file, QPainter& painter, const QRectF& target);

} // namespace zt
