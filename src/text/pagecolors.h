// The page colours property (page ext item kind 2, 144 bytes, little-endian):
// int32 version 1, int32 flags, int32 text background colour (flags bit 0),
// int32 files list background colour (flags bit 1), zero-filled. Colours
// are RGB values with red in the low byte; 0xFFFFFF means no colour.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zt {

struct PageColors {
    static constexpr uint32_t kExtKind = 2;
    static constexpr size_t kSize = 144;
    static constexpr uint32_t kNoColor = 0xFFFFFF;

    std::optional<uint32_t> textBackground;
    std::optional<uint32_t> filesBackground;

    // Setting 0xFFFFFF clears the colour.
    void SetTextBackground(uint32_t rgb);
    void SetFilesBackground(uint32_t rgb);

    // The 144-byte record; empty when no colour is set, which means the
    // property is removed.
    std::string Encode() const;
    // A record shorter than 16 bytes reads the colours it holds; flags
    // without their colour, and 0xFFFFFF, read as no colour.
    static PageColors Decode(std::string_view data);

    bool operator==(const PageColors&) const = default;
};

// The page colour of the legacy trailer's \ztxbgcolor (0xRRGGBB, red in the
// high byte) as an RGB value with red in the low byte.
uint32_t LegacyColorToRgb(uint32_t rrggbb);

} // namespace zt
