#include "core/treeentrystyle.h"

#include <algorithm>

#include "base/bytes.h"

std::string TreeEntryStyle::Encode() const {
    std::string out;
    out.reserve(kSize);
    zt::PutLE32(out, uint32_t(version));
    std::string name = fontName.substr(0, std::min(fontName.find('\0'), kMaxFontName));
    out += name;
    out.append(64 - name.size(), '\0');
    zt::PutLE32(out, uint32_t(fontSize));
    zt::PutLE32(out, uint32_t(textColor));
    zt::PutLE32(out, uint32_t(backColor));
    zt::PutLE16(out, flags);
    zt::PutLE16(out, 0);
    return out;
}

std::optional<TreeEntryStyle> TreeEntryStyle::Decode(std::string_view data) {
    if (data.size() < kSize) return std::nullopt;
    TreeEntryStyle s;
    const char* p = data.data();
    s.version = int32_t(zt::GetLE32(p));
    std::string_view name(p + 4, kMaxFontName);
    s.fontName = std::string(name.substr(0, name.find('\0')));
    s.fontSize = int32_t(zt::GetLE32(p + 68));
    s.textColor = int32_t(zt::GetLE32(p + 72));
    s.backColor = int32_t(zt::GetLE32(p + 76));
    s.flags = zt::GetLE16(p + 80);
    return s;
}

std::string TreeBackground::Encode() const {
    if (!colorSet || color == kWhite) return {};
    std::string out;
    out.reserve(kSize);
    zt::PutLE32(out, 1);
    zt::PutLE32(out, 1);
    zt::PutLE32(out, uint32_t(color));
    out.resize(kSize, '\0');
    return out;
}

TreeBackground TreeBackground::Decode(std::string_view data) {
    TreeBackground b;
    if (data.size() < 12) return b;
    if ((zt::GetLE32(data.data() + 4) & 1) == 0) return b;
    b.colorSet = true;
    b.color = int32_t(zt::GetLE32(data.data() + 8));
    return b;
}
