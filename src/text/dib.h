// Packed device-independent bitmaps: an info header (the 12-byte core header
// or the 40-byte header and its longer versions), bit masks or a colour
// table, then the pixel rows, bottom-up unless the height is negative.
// Read by the JPEG writer, the picture loader (\dibitmap data) and the
// metafile renderer (StretchDIBits and friends); written from images by
// BitmapToDib.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

class DibReader {
public:
    enum class Error { None, InvalidData, BitCount };

    // The largest picture accepted, in pixels. Uncompressed data must hold
    // every row it announces; run-length encoded data, which can describe far
    // more pixels than it has bytes, may describe kRlePixelsPerByte pixels per
    // byte and kRleFreePixels more.
    static constexpr int64_t kMaxPixels = int64_t(1) << 25;
    static constexpr int64_t kRlePixelsPerByte = 1024;
    static constexpr int64_t kRleFreePixels = int64_t(1) << 20;
    static constexpr int kMaxSide = 1 << 16;

    // Reads the header, masks and colour table of `dib` (which must outlive
    // the reader) and checks that the pixels are all there. Uncompressed
    // 1, 4, 8, 16, 24 and 32 bits per pixel, bit fields and run-length
    // encoded 4 and 8 bits are understood.
    bool Parse(std::string_view dib);
    Error LastError() const { return error_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bits_; }

    // Row `y`, counted from the top of the picture, as 3 * Width() bytes of
    // red, green, blue.
    void RowRgb(int y, uint8_t* rgb) const;

    // Packed size of the parsed bitmap (header, table and pixels) within the
    // data given to Parse.
    size_t PackedSize() const { return packedSize_; }

private:
    struct Mask {
        uint32_t mask = 0;
        int shift = 0;
        int width = 0;
        uint8_t Scale(uint32_t pixel) const;
    };
    bool Fail(Error e) {
        error_ = e;
        return false;
    }
    bool DecodeRle(std::string_view data);

    Error error_ = Error::InvalidData;
    int width_ = 0, height_ = 0, bits_ = 0;
    bool topDown_ = false;
    uint32_t compression_ = 0;
    size_t stride_ = 0;
    size_t packedSize_ = 0;
    const uint8_t* pixels_ = nullptr;
    uint8_t palette_[256][3] = {};  // red, green, blue
    int paletteSize_ = 0;
    Mask red_, green_, blue_;
    std::vector<uint8_t> indices_;  // decoded run-length data, one index per pixel, bottom-up
};

} // namespace zt
