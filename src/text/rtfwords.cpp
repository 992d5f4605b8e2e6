#include "text/rtfwords.h"

#include <algorithm>
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

struct SortedWords {
    std::array<uint16_t, size_t(RtfKw::Count_) - 1> order{};
    SortedWords() {
        for (size_t i = 0; i < order.size(); ++i) order[i] = uint16_t(i + 1);
        std::sort(order.begin(), order.end(),
                  [](uint16_t a, uint16_t b) { return kWords[a].word < kWords[b].word; });
    }
};

const SortedWords& Sorted() {
    static const SortedWords sorted;
    return sorted;
}

} // namespace

RtfKw LookupRtfWord(std::string_view word) {
    const auto& s = Sorted();
    auto it = std::lower_bound(s.order.begin(), s.order.end(), word,
                               [](uint16_t a, std::string_view w) { return kWords[a].word < w; });
    if (it != s.order.end() && kWords[*it].word == word) return RtfKw(*it);
    return RtfKw::Unknown;
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
