// Byte buffers for key material that wipe themselves.
//
// Every buffer that once held a key, a password hash or a derived secret is
// overwritten five times (0x00, 0xA5, 0x5A, 0xFF, 0x00) before its memory is
// given back: on destruction, on clear(), on shrinking and whenever the buffer
// grows into a new allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

// Overwrites `n` bytes at `p` with 0x00, 0xA5, 0x5A, 0xFF and 0x00 in turn, in a
// way the compiler cannot drop.
void WipeBytes(void* p, size_t n);

// Wipes the characters of `s` (its whole capacity) and empties it.
void WipeString(std::string& s);

// Compares two byte strings in time that depends only on their lengths.
bool ConstantTimeEqual(std::string_view a, std::string_view b);

// An allocator that wipes every block before it is released.
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept {
        WipeBytes(p, n * sizeof(T));
        ::operator delete(p);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const noexcept {
        return true;
    }
};

// A byte string for secrets. It converts to std::string_view, so it can be
// handed to every function that takes bytes.
class SecureBytes {
public:
    SecureBytes() = default;
    // `n` zero bytes.
    explicit SecureBytes(size_t n) : bytes_(n) {}
    explicit SecureBytes(std::string_view bytes) : bytes_(bytes.begin(), bytes.end()) {}
    SecureBytes(const void* p, size_t n)
        : bytes_(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n) {}

    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    uint8_t& operator[](size_t i) { return bytes_[i]; }
    uint8_t operator[](size_t i) const { return bytes_[i]; }

    std::string_view view() const { return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()}; }
    operator std::string_view() const { return view(); }
    // A plain copy; the caller takes over the duty to wipe it.
    std::string str() const { return std::string(view()); }

    // Shrinking wipes the dropped tail; growing appends zero bytes.
    void resize(size_t n);
    void append(std::string_view bytes);
    void append(const SecureBytes& bytes) { append(bytes.view()); }
    // Wipes the content and empties the buffer.
    void clear();

    friend bool operator==(const SecureBytes& a, const SecureBytes& b) { return a.view() == b.view(); }
    friend bool operator==(const SecureBytes& a, std::string_view b) { return a.view() == b; }

private:
    std::vector<uint8_t, WipingAllocator<uint8_t>> bytes_;
};

} // namespace zt
