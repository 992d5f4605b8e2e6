#include "text/dib.h"

#include "base/bytes.h"

#include <algorithm>

namespace zt {

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

int LowestBit(uint32_t m) {
    int s = 0;
    while (m && !(m & 1)) {
        m >>= 1;
        ++s;
    }
    return s;
}

int BitWidth(uint32_t m) {
    int n = 0;
    for (; m; m &= m - 1) ++n;
    return n;
}

} // namespace

uint8_t DibReader::Mask::Scale(uint32_t pixel) const {
    if (!width) return 0;
    uint32_t v = (pixel & mask) >> shift;
    if (width >= 8) return uint8_t(v >> (width - 8));
    // Repeat the bits so that the largest value becomes 255: a 5-bit v gives
    // v * 8 + v / 4.
    uint32_t out = 0;
    int have = 0;
    while (have < 8) {
        out = (out << width) | v;
        have += width;
    }
    return uint8_t(out >> (have - 8));
}

bool DibReader::Parse(std::string_view dib) {
    *this = DibReader();
    const auto* d = reinterpret_cast<const uint8_t*>(dib.data());
    if (dib.size() < 12) return Fail(Error::InvalidData);
    uint32_t headerSize = GetLE32(d);
    int64_t w, h;
    uint32_t used = 0;
    if (headerSize == 12) {
        w = GetLE16(d + 4);
        h = int16_t(GetLE16(d + 6));
        bits_ = GetLE16(d + 10);
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 ||
               headerSize == 108 || headerSize == 124) {
        if (dib.size() < headerSize) return Fail(Error::InvalidData);
        w = int32_t(GetLE32(d + 4));
        h = int32_t(GetLE32(d + 8));
        bits_ = GetLE16(d + 14);
        compression_ = GetLE32(d + 16);
        used = GetLE32(d + 32);
    } else {
        return Fail(Error::InvalidData);
    }
    if (bits_ != 1 && bits_ != 4 && bits_ != 8 && bits_ != 16 && bits_ != 24 && bits_ != 32)
        return Fail(Error::BitCount);
    topDown_ = h < 0;
    if (h < 0) h = -h;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) return Fail(Error::InvalidData);
    width_ = int(w);
    height_ = int(h);

    size_t pos = headerSize;
    bool bitfields = compression_ == kBiBitfields || compression_ == kBiAlphaBitfields;
    if (compression_ == kBiRle8 && bits_ != 8) return Fail(Error::InvalidData);
    if (compression_ == kBiRle4 && bits_ != 4) return Fail(Error::InvalidData);
    if (compression_ != kBiRgb && compression_ != kBiRle8 && compression_ != kBiRle4 && !bitfields)
        return Fail(Error::InvalidData);
    if ((compression_ == kBiRle8 || compression_ == kBiRle4) && topDown_) return Fail(Error::InvalidData);

    if (bits_ == 16 || bits_ == 32) {
        uint32_t r = bits_ == 16 ? 0x7C00 : 0xFF0000, g = bits_ == 16 ? 0x03E0 : 0x00FF00,
                 b = bits_ == 16 ? 0x001F : 0x0000FF;
        if (bitfields) {
            // The masks follow a 40-byte header and sit inside the longer ones.
            size_t at = 40;
            if (headerSize == 40) {
                pos += compression_ == kBiAlphaBitfields ? 16 : 12;
                if (dib.size() < pos) return Fail(Error::InvalidData);
            }
            r = GetLE32(d + at);
            g = GetLE32(d + at + 4);
            b = GetLE32(d + at + 8);
        }
        for (auto [mask, m] : {std::pair{r, &red_}, std::pair{g, &green_}, std::pair{b, &blue_}}) {
            m->mask = mask;
            m->shift = LowestBit(mask);
            m->width = std::min(BitWidth(mask), 32 - m->shift);
        }
    } else if (bitfields) {
        return Fail(Error::InvalidData);
    }

    if (bits_ <= 8) {
        uint64_t entries = used ? std::min<uint64_t>(used, 1u << bits_) : (1u << bits_);
        size_t entrySize = headerSize == 12 ? 3 : 4;
        if (dib.size() - pos < entries * entrySize) return Fail(Error::InvalidData);
        for (uint64_t i = 0; i < entries; ++i) {
            const uint8_t* e = d + pos + i * entrySize;
            palette_[i][0] = e[2];
            palette_[i][1] = e[1];
            palette_[i][2] = e[0];
        }
        paletteSize_ = int(entries);
        pos += entries * entrySize;
        // A table entry count larger than the depth allows is skipped.
        if (used > entries && headerSize != 12) {
            uint64_t extra = uint64_t(used - entries) * 4;
            if (extra > dib.size() - pos) return Fail(Error::InvalidData);
            pos += size_t(extra);
        }
    } else if (used && headerSize != 12) {
        // A colour table for palette devices before the pixels of a deep bitmap.
        uint64_t skip = uint64_t(std::min<uint32_t>(used, 256)) * 4;
        if (skip > dib.size() - pos) return Fail(Error::InvalidData);
        pos += size_t(skip);
    }

    stride_ = (size_t(width_) * size_t(bits_) + 31) / 32 * 4;
    if (compression_ == kBiRle8 || compression_ == kBiRle4) {
        if (w * h > kRleFreePixels + kRlePixelsPerByte * int64_t(dib.size() - pos)) return Fail(Error::InvalidData);
        if (!DecodeRle(dib.substr(pos))) return Fail(Error::InvalidData);
        packedSize_ = dib.size();
    } else {
        uint64_t need = uint64_t(stride_) * uint64_t(height_);
        // A 40-byte header with 16 or 32 bits may be followed by the space of
        // three masks even without bit fields; the size tells.
        if (headerSize == 40 && !bitfields && (bits_ == 16 || bits_ == 32) && dib.size() - pos == need + 12)
            pos += 12;
        if (dib.size() - pos < need) return Fail(Error::InvalidData);
        pixels_ = d + pos;
        packedSize_ = pos + size_t(need);
    }
    error_ = Error::None;
    return true;
}

bool DibReader::DecodeRle(std::string_view data) {
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    const size_t n = data.size();
    indices_.assign(size_t(width_) * size_t(height_), 0);
    const bool four = compression_ == kBiRle4;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint8_t index) {
        if (x < width_ && y < height_) indices_[size_t(y) * size_t(width_) + size_t(x)] = index;
        ++x;
    };
    size_t i = 0;
    while (i + 1 < n && y < height_) {
        uint8_t count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && x < width_; ++k) put(four ? ((k & 1) ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move
            if (i + 1 >= n) break;
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else {  // a run of literal pixels, padded to 16 bits
            size_t bytes = four ? (size_t(value) + 1) / 2 : value;
            if (bytes > n - i) return false;
            for (int k = 0; k < value; ++k) {
                uint8_t b = p[i + (four ? k / 2 : k)];
                put(four ? ((k & 1) ? b & 15 : b >> 4) : b);
            }
            i += (bytes + 1) & ~size_t(1);
        }
    }
    return true;
}

void DibReader::RowRgb(int y, uint8_t* rgb) const {
    if (width_ <= 0 || y < 0 || y >= height_) return;
    const int stored = topDown_ ? y : height_ - 1 - y;
    auto index = [&](int i, uint8_t* out) {
        if (i < paletteSize_) {
            out[0] = palette_[i][0];
            out[1] = palette_[i][1];
            out[2] = palette_[i][2];
        } else {
            out[0] = out[1] = out[2] = 0;
        }
    };
    if (!indices_.empty()) {
        const uint8_t* row = indices_.data() + size_t(stored) * size_t(width_);
        for (int x = 0; x < width_; ++x) index(row[x], rgb + 3 * x);
        return;
    }
    const uint8_t* row = pixels_ + size_t(stored) * stride_;
    switch (bits_) {
    case 1:
    case 4:
    case 8: {
        const int perByte = 8 / bits_;
        const int mask = (1 << bits_) - 1;
        for (int x = 0; x < width_; ++x) {
            int shift = 8 - bits_ * (x % perByte + 1);
            index((row[x / perByte] >> shift) & mask, rgb + 3 * x);
        }
        break;
    }
    case 16:
        for (int x = 0; x < width_; ++x) {
            uint32_t v = GetLE16(row + 2 * x);
            rgb[3 * x] = red_.Scale(v);
            rgb[3 * x + 1] = green_.Scale(v);
            rgb[3 * x + 2] = blue_.Scale(v);
        }
        break;
    case 24:
        for (int x = 0; x < width_; ++x) {
            rgb[3 * x] = row[3 * x + 2];
            rgb[3 * x + 1] = row[3 * x + 1];
            rgb[3 * x + 2] = row[3 * x];
        }
        break;
    case 32:
        for (int x = 0; x < width_; ++x) {
            uint32_t v = GetLE32(row + 4 * x);
            rgb[3 * x] = red_.Scale(v);
            rgb[3 * x + 1] = green_.Scale(v);
            rgb[3 * x + 2] = blue_.Scale(v);
        }
        break;
    }
}

} // namespace zt
