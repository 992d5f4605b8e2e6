#include "text/pagecolors.h"

#include "base/bytes.h"

namespace zt {

namespace {

std::optional<uint32_t> Color(uint32_t rgb) {
    rgb &= 0xFFFFFF;
    if (rgb == PageColors::kNoColor) return std::nullopt;
    return rgb;
}

} // namespace

void PageColors::SetTextBackground(uint32_t rgb) { textBackground = Color(rgb); }
void PageColors::SetFilesBackground(uint32_t rgb) { filesBackground = Color(rgb); }

std::string PageColors::Encode() const {
    if (!textBackground && !filesBackground) return {};
    std::string out;
    out.reserve(kSize);
    PutLE32(out, 1);
    PutLE32(out, (textBackground ? 1u : 0u) | (filesBackground ? 2u : 0u));
    PutLE32(out, textBackground.value_or(kNoColor));
    PutLE32(out, filesBackground.value_or(kNoColor));
    out.resize(kSize, '\0');
    return out;
}

PageColors PageColors::Decode(std::string_view data) {
    PageColors c;
    if (data.size() < 8) return c;
    uint32_t flags = GetLE32(data.data() + 4);
    if ((flags & 1) && data.size() >= 12) c.SetTextBackground(GetLE32(data.data() + 8));
    if ((flags & 2) && data.size() >= 16) c.SetFilesBackground(GetLE32(data.data() + 12));
    return c;
}

uint32_t LegacyColorToRgb(uint32_t rrggbb) {
    return ((rrggbb >> 16) & 0xFF) | (rrggbb & 0xFF00) | ((rrggbb & 0xFF) << 16);
}

} // namespace zt
