#include "security/securebytes.h"

#include <cstring>

namespace zt {

void WipeBytes(void* p, size_t n) {
    if (!p || n == 0) return;
    static constexpr uint8_t kPasses[] = {0x00, 0xA5, 0x5A, 0xFF, 0x00};
    for (uint8_t v : kPasses) {
        std::memset(p, v, n);
        // The barrier claims to read the buffer, so no pass counts as a dead store.
        __asm__ __volatile__("" : : "r"(p) : "memory");
    }
}

void WipeString(std::string& s) {
    s.resize(s.capacity());
    WipeBytes(s.data(), s.size());
    s.clear();
}

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

void SecureBytes::resize(size_t n) {
    if (n < bytes_.size()) WipeBytes(bytes_.data() + n, bytes_.size() - n);
    bytes_.resize(n);
}

void SecureBytes::append(std::string_view bytes) {
    auto p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (!bytes.empty() && p >= bytes_.data() && p < bytes_.data() + bytes_.size()) {
        SecureBytes copy(bytes); // the source lies inside this buffer, which may move
        append(copy.view());
        return;
    }
    bytes_.insert(bytes_.end(), p, p + bytes.size());
}

void SecureBytes::clear() {
    WipeBytes(bytes_.data(), bytes_.size());
    bytes_.clear();
}

} // namespace zt
