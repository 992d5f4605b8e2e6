#include "text/pictures.h"

#include "base/bytes.h"
#include "base/fileio.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace zt {

std::string PictureFileOf(PictureKind kind, std::string data, int64_t picw, int64_t pich, int mapMode,
                          int64_t& goalw, int64_t& goalh) {
    switch (kind) {
    case PictureKind::Metafile: {
        const int boxw = goalw > 0 ? int(std::min<int64_t>(goalw + 1, 32767)) : MetafileExtent(picw, mapMode).value_or(0);
        const int boxh = goalh > 0 ? int(std::min<int64_t>(goalh + 1, 32767)) : MetafileExtent(pich, mapMode).value_or(0);
        if (goalw <= 0) goalw = boxw;
        if (goalh <= 0) goalh = boxh;
        return PlaceableMetafileHeader(boxw, boxh) + data;
    }
    case PictureKind::MacPict: return MacPictPrefix() + data;
    case PictureKind::Bitmap: return data;
    default: return {};
    }
}

std::optional<int> MetafileExtent(int64_t value, int mapMode) {
    int64_t v = std::clamp<int64_t>(value, 0, 1000000000);
    int64_t r;
    switch (mapMode) {
    case 1: r = (v * 1440 + 1440) / 96; break;
    case 2: r = (v * 1440 + 1440) / 254; break;
    case 3:
    case 7:
    case 8: r = (v * 1440 + 1440) / 2540; break;
    case 4: r = (v * 1440 + 1440) / 100; break;
    case 5: r = (v * 1440 + 1440) / 1000; break;
    case 6: r = v; break;
    default: return std::nullopt;
    }
    return int(std::min<int64_t>(r, 32767));
}

std::string PlaceableMetafileHeader(int width, int height) {
    std::string h;
    h.reserve(22);
    PutLE32(h, 0x9AC6CDD7u);
    PutLE16(h, 0);  // handle
    PutLE16(h, 0);  // left
    PutLE16(h, 0);  // top
    PutLE16(h, uint16_t(std::clamp(width, 0, 32767)));
    PutLE16(h, uint16_t(std::clamp(height, 0, 32767)));
    PutLE16(h, 1440);
    PutLE32(h, 0);  // reserved
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= GetLE16(h.data() + i);
    PutLE16(h, sum);
    return h;
}

std::string MacPictPrefix() { return std::string(512, ' '); }

bool ImagePixelSize(std::string_view d, int& width, int& height) {
    auto be16 = [&](size_t i) { return (uint32_t(uint8_t(d[i])) << 8) | uint8_t(d[i + 1]); };
    auto be32 = [&](size_t i) { return (be16(i) << 16) | be16(i + 2); };
    if (d.size() >= 24 && d.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8) &&
        d.substr(12, 4) == "IHDR") {
        uint32_t w = be32(16), h = be32(20);
        if (w == 0 || h == 0 || w > 1000000 || h > 1000000) return false;
        width = int(w);
        height = int(h);
        return true;
    }
    if (d.size() >= 4 && uint8_t(d[0]) == 0xFF && uint8_t(d[1]) == 0xD8) {
        size_t i = 2;
        while (i + 4 <= d.size()) {
            if (uint8_t(d[i]) != 0xFF) return false;
            uint8_t marker = uint8_t(d[i + 1]);
            if (marker == 0xFF) {
                ++i;
                continue;
            }
            if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
                i += 2;
                continue;
            }
            uint32_t len = be16(i + 2);
            if (len < 2) return false;
            bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
            if (sof) {
                if (i + 9 > d.size()) return false;
                uint32_t h = be16(i + 5), w = be16(i + 7);
                if (w == 0 || h == 0) return false;
                width = int(w);
                height = int(h);
                return true;
            }
            i += 2 + len;
        }
    }
    return false;
}

bool ConvertPictureToJpeg(const std::string& sourcePath, const std::string& destPath, int quality) {
    std::ifstream in(sourcePath, std::ios::binary);
    if (!in || destPath.empty()) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string jpeg;
    if (!ConvertPictureDataToJpeg(bytes, quality, jpeg)) return false;
    return WriteFileReplacing(destPath, jpeg);
}

} // namespace zt
