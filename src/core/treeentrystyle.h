// The appearance of one entry in the page tree, stored with the page as ext
// item kind 1, and the tree background stored with the document as kind 3.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Stored form (84 bytes, little-endian):
//   0  int32     version, always 1
//   4  char[64]  face name, NUL-terminated, at most 63 characters
//  68  int32     point size
//  72  int32     text colour (RGB, red in the low byte)
//  76  int32     back colour
//  80  uint16    flags (see below)
//  82  2 bytes   reserved, zero
struct TreeEntryStyle {
    static constexpr uint32_t kExtKind = 1;
    static constexpr size_t kSize = 84;
    static constexpr size_t kMaxFontName = 63;

    enum Flag : uint16_t {
        FontNameSet = 0x0001,
        SizeSet = 0x0002,
        TextColorSet = 0x0004,
        BackColorSet = 0x0008,
        Bold = 0x0100,
        Italic = 0x0200,
        Underline = 0x0400,
        StrikeOut = 0x0800,
    };

    int32_t version = 1;
    std::string fontName; // Windows-1252 bytes
    int32_t fontSize = 0;
    int32_t textColor = 0;
    int32_t backColor = 0xFFFFFF;
    uint16_t flags = 0;

    // A style without flags is no style at all: its property is removed from
    // the store instead of written.
    bool IsSet() const { return flags != 0; }
    bool Has(Flag f) const { return (flags & f) != 0; }

    // The 84-byte record; a longer face name is cut to 63 bytes.
    std::string Encode() const;
    // Reads the record; nullopt when fewer than 84 bytes are given. Bytes
    // beyond the record are ignored.
    static std::optional<TreeEntryStyle> Decode(std::string_view data);

    bool operator==(const TreeEntryStyle&) const = default;
};

// The tree view background (document ext item kind 3, 144 bytes): int32
// version 1, int32 flags (bit 0 = colour set), int32 RGB colour, zero-filled.
struct TreeBackground {
    static constexpr uint32_t kExtKind = 3;
    static constexpr size_t kSize = 144;
    static constexpr int32_t kWhite = 0xFFFFFF;

    bool colorSet = false;
    int32_t color = kWhite;

    // Empty when no colour is set or the colour is white: the property is
    // then removed.
    std::string Encode() const;
    // A record shorter than 12 bytes or without the colour flag reads as the
    // default background.
    static TreeBackground Decode(std::string_view data);
};
