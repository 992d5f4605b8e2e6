#include "text/rtfwords.h"

#include <array>

namespace zt {

namespace {

struct WordInfo {
    std::string_view word;
    RtfKwKind kind;
};

constexpr WordInfo kWords[] = {
    {"", RtfKwKind::Other},
#define ZT_RTF_INFO(id, word, kind) {word, RtfKwKind::kind},
    ZT_RTF_WORDS(ZT_RTF_INFO)
#undef ZT_RTF_INFO
};
static_assert(std::size(kWords) == size_t(RtfKw::Count_));

// Open addressing over a power-of-two table, FNV-1a hashed: one probe for
// nearly every word, known or not.
constexpr size_t kSlots = 1024;
static_assert(kSlots >= 2 * std::size(kWords));

inline uint32_t Hash(std::string_view w) {
    uint32_t h = 2166136261u;
    for (unsigned char c : w) h = (h ^ c) * 16777619u;
    return h;
}

struct WordHash {
    std::array<uint16_t, kSlots> slot{};  // 0 empty, else the word's index
    WordHash() {
        for (size_t i = 1; i < std::size(kWords); ++i) {
            size_t s = Hash(kWords[i].word) & (kSlots - 1);
            while (slot[s]) s = (s + 1) & (kSlots - 1);
            slot[s] = uint16_t(i);
        }
    }
};

const WordHash& Table() {
    static const WordHash table;
    return table;
}

} // namespace

RtfKw LookupRtfWord(std::string_view word) {
    if (word.empty() || word.size() > 32) return RtfKw::Unknown;
    const auto& t = Table();
    for (size_t s = Hash(word) & (kSlots - 1);; s = (s + 1) & (kSlots - 1)) {
        uint16_t i = t.slot[s];
        if (!i) return RtfKw::Unknown;
        if (kWords[i].word == word) return RtfKw(i);
    }
}

RtfKwKind RtfWordKind(RtfKw kw) {
    size_t i = size_t(kw);
    return i < std::size(kWords) ? kWords[i].kind : RtfKwKind::Other;
}

std::string_view RtfWordText(RtfKw kw) {
    size_t i = size_t(kw);
    return i < std::size(kWords) ? kWords[i].word : std::string_view();
}

} // namespace zt
