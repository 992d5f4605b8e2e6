// A small player of enhanced metafiles, as \emfblip pictures carry them:
// lines, polylines, polygons and Bezier curves in their 32- and 16-bit
// forms, rectangles, ellipses, arcs, paths, text, device-independent
// bitmaps, pens, brushes and fonts (stock objects included), saved states,
// the world transform and window and viewport origin and extent, drawn with
// QPainter.
//
// Hostile data is bounded: every size, count and offset is checked against
// its record and the record against the data, the object table against the
// header's count, the saved states against a fixed depth, and the drawing
// work against a budget in proportion to the target size. Records that are
// not understood are skipped.
#pragma once

#include <cstdint>
#include <string_view>

class QPainter;
class QRectF;

namespace zt {

// The header record of an enhanced metafile: the picture's bounds in device
// units, its frame in hundredths of a millimetre and the reference device.
struct EmfHeader {
    int boundsLeft = 0, boundsTop = 0, boundsRight = 0, boundsBottom = 0;
    int frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;
    int handles = 0;
    int devicePixelsX = 0, devicePixelsY = 0, deviceMmX = 0, deviceMmY = 0;
    // The picture's size in hundredths of a millimetre: the frame's, else
    // the bounds' at 96 dots per inch.
    int WidthHimetric() const;
    int HeightHimetric() const;
};

// Reads the header record; false when `data` is no enhanced metafile.
bool ReadEmfHeader(std::string_view data, EmfHeader& header);

// Plays the enhanced metafile `data` into `target` (device coordinates of
// the painter), which the picture's frame is mapped onto. False when `data`
// is no enhanced metafile; a damaged record ends the playback early. Text is
// drawn only when a QGuiApplication exists (fonts need one).
bool DrawEmf(std::string_view data, QPainter& painter, const QRectF& target);

} // namespace zt
