#include "exchange/rtfhtml/rtfpictures.h"

#include "base/bytes.h"

namespace zt::rtfhtml {

int MetafileExtent(int64_t value, int mapMode) {
    if (auto e = zt::MetafileExtent(value, mapMode)) return *e;
    return *zt::MetafileExtent(value, 3);
}

std::string BitmapFileHeader(std::string_view dib) {
    if (dib.size() < 12) return {};
    uint32_t headerSize = GetLE32(dib.data());
    uint32_t bits = 0;
    uint32_t used = 0;
    uint32_t compression = 0;
    if (headerSize == 12) {
        bits = GetLE16(dib.data() + 10);
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
               headerSize == 124) {
        if (dib.size() < 40) return {};
        bits = GetLE16(dib.data() + 14);
        compression = GetLE32(dib.data() + 16);
        used = GetLE32(dib.data() + 32);
    } else {
        return {};
    }
    uint64_t paletteEntries = used ? used : (bits <= 8 ? (1u << bits) : 0);
    if (paletteEntries > 256) paletteEntries = 256;
    uint64_t offset = 14 + uint64_t(headerSize) + paletteEntries * (headerSize == 12 ? 3 : 4);
    if (headerSize == 40 && (compression == 3 || compression == 6)) offset += compression == 3 ? 12 : 16;
    uint64_t fileSize = 14 + uint64_t(dib.size());
    if (offset > fileSize || fileSize > UINT32_MAX) return {};
    std::string h = "BM";
    PutLE32(h, uint32_t(fileSize));
    PutLE32(h, 0);
    PutLE32(h, uint32_t(offset));
    return h;
}

} // namespace zt::rtfhtml
