#include "extbytes.h"

#include "base/bytes.h"

namespace zt {

bool FindExtItem(std::string_view ext, uint32_t kind, std::string_view& data) {
    size_t pos = 0;
    while (ext.size() - pos > 8) {
        uint32_t k = GetLE32(ext.data() + pos);
        uint32_t size = GetLE32(ext.data() + pos + 4);
        if (size > ext.size() - pos - 8) return false;
        if (k == kind) {
            data = ext.substr(pos + 8, size);
            return true;
        }
        pos += 8 + size_t(size);
    }
    return false;
}

std::string SetExtItem(std::string_view ext, uint32_t kind, std::string_view data) {
    std::string out;
    if (!data.empty()) {
        PutLE32(out, kind);
        PutLE32(out, uint32_t(data.size()));
        out.append(data);
    }
    std::string rest;
    size_t pos = 0;
    bool malformed = false;
    if (ext.size() >= 8) {
        while (ext.size() - pos >= 8) {
            uint32_t k = GetLE32(ext.data() + pos);
            uint32_t size = GetLE32(ext.data() + pos + 4);
            if (size > ext.size() - pos - 8) {
                malformed = true;
                break;
            }
            if (k != kind) rest.append(ext.substr(pos, 8 + size_t(size)));
            pos += 8 + size_t(size);
        }
    }
    if (!malformed) out += rest;
    return out;
}

} // namespace zt
