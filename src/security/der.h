// A bounded reader of BER/DER: tag, length and content of one element at a
// time, with definite and indefinite lengths, and the values key files and
// certificates use (object identifiers, integers, octet strings). Every
// length is checked against the bytes that are there; nesting is limited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zt::der {

inline constexpr uint8_t kInteger = 0x02;
inline constexpr uint8_t kBitString = 0x03;
inline constexpr uint8_t kOctetString = 0x04;
inline constexpr uint8_t kNull = 0x05;
inline constexpr uint8_t kOid = 0x06;
inline constexpr uint8_t kSequence = 0x30;
inline constexpr uint8_t kSet = 0x31;
inline constexpr uint8_t kConstructed = 0x20;
// [n] context-specific tags; constructed ones as kContext0 | kConstructed.
inline constexpr uint8_t kContext0 = 0x80;

// One element. `tag` is the identifier octet (tags above 30 are refused);
// `content` the content bytes (for an indefinite length, the inner elements
// without the end-of-contents marker); `whole` the element with its header.
struct Element {
    uint8_t tag = 0;
    std::string_view content;
    std::string_view whole;
    bool Constructed() const { return (tag & kConstructed) != 0; }
};

// Reads elements one after another from a byte range.
class Reader {
public:
    explicit Reader(std::string_view bytes, int depth = 0) : rest_(bytes), depth_(depth) {}
    bool AtEnd() const { return rest_.empty(); }
    // The next element; nullopt (and the reader stops) on damaged encoding.
    std::optional<Element> Next();
    // The next element only when its tag is `tag`; otherwise nothing is consumed.
    std::optional<Element> Next(uint8_t tag);
    // Whether the next element has the tag `tag`.
    bool Peek(uint8_t tag) const { return !rest_.empty() && uint8_t(rest_[0]) == tag; }
    int Depth() const { return depth_; }

private:
    std::string_view rest_;
    int depth_;
};

// A reader over the inner elements of a constructed element.
inline Reader Inside(const Element& e, const Reader& outer) { return Reader(e.content, outer.Depth() + 1); }

// The dotted text of an object identifier's content ("1.2.840.113549.1.1.1");
// empty when it is malformed.
std::string OidText(std::string_view content);
// The value of an octet string, primitive or (BER) constructed of pieces.
std::optional<std::string> OctetString(const Element& e, int depth = 0);
// A non-negative integer that fits in 64 bits.
std::optional<uint64_t> SmallInteger(const Element& e);
// The bits of a bit string without its unused-bits octet (which must be 0).
std::optional<std::string_view> BitStringBytes(const Element& e);

} // namespace zt::der
