#include "search/matcher.h"

#include <array>
#include <cstring>

namespace zt {

namespace {

constexpr std::array<unsigned char, 256> BuildFold() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) t[size_t(i)] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c) t[size_t(c)] = static_cast<unsigned char>(c + 32);
    // À..Þ without the multiplication sign.
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) t[size_t(c)] = static_cast<unsigned char>(c + 32);
    t[0x8A] = 0x9A; // Š
    t[0x8C] = 0x9C; // Œ
    t[0x8E] = 0x9E; // Ž
    t[0x9F] = 0xFF; // Ÿ
    return t;
}

constexpr std::array<unsigned char, 256> kFold = BuildFold();

} // namespace

unsigned char FoldCp1252(unsigned char c) { return kFold[c]; }

CZTMatcher::CZTMatcher(std::string_view pattern, bool matchCase, bool wholeWord)
    : pattern_(pattern), matchCase_(matchCase), wholeWord_(wholeWord) {
    if (!matchCase_)
        for (char& c : pattern_) c = char(kFold[uint8_t(c)]);
    const size_t m = pattern_.size();
    for (size_t& s : skip_) s = m ? m : 1;
    for (size_t i = 0; i + 1 < m; ++i) {
        unsigned char c = uint8_t(pattern_[i]);
        skip_[c] = m - 1 - i;
        if (!matchCase_) {
            // Both cases of a letter skip alike.
            for (int u = 0; u < 256; ++u)
                if (kFold[size_t(u)] == c) skip_[u] = m - 1 - i;
        }
    }
}

bool CZTMatcher::MatchesAt(std::string_view text, size_t pos) const {
    const size_t m = pattern_.size();
    if (m == 0 || pos > text.size() || text.size() - pos < m) return false;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text.data()) + pos;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern_.data());
    if (matchCase_) return std::memcmp(t, p, m) == 0;
    for (size_t i = 0; i < m; ++i)
        if (kFold[t[i]] != p[i]) return false;
    return true;
}

bool CZTMatcher::WordBounds(std::string_view text, size_t pos) const {
    if (!wholeWord_) return true;
    if (pos > 0 && !IsSearchSpace(uint8_t(text[pos - 1]))) return false;
    size_t end = pos + pattern_.size();
    return end >= text.size() || IsSearchSpace(uint8_t(text[end]));
}

bool CZTMatcher::IsHit(std::string_view text, size_t pos) const {
    return MatchesAt(text, pos) && WordBounds(text, pos);
}

size_t CZTMatcher::Find(std::string_view text, size_t from) const {
    const size_t m = pattern_.size();
    const size_t n = text.size();
    if (m == 0 || from > n || n - from < m) return std::string_view::npos;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern_.data());
    const unsigned char last = p[m - 1];
    size_t pos = from;
    if (matchCase_) {
        if (m == 1) {
            while (pos < n) {
                const void* q = std::memchr(t + pos, last, n - pos);
                if (!q) return std::string_view::npos;
                pos = size_t(static_cast<const unsigned char*>(q) - t);
                if (WordBounds(text, pos)) return pos;
                ++pos;
            }
            return std::string_view::npos;
        }
        while (pos + m <= n) {
            unsigned char c = t[pos + m - 1];
            if (c == last && std::memcmp(t + pos, p, m - 1) == 0 && WordBounds(text, pos)) return pos;
            pos += skip_[c];
        }
        return std::string_view::npos;
    }
    while (pos + m <= n) {
        unsigned char c = t[pos + m - 1];
        if (kFold[c] == last) {
            size_t i = 0;
            while (i + 1 < m && kFold[t[pos + i]] == p[i]) ++i;
            if (i + 1 >= m && WordBounds(text, pos)) return pos;
        }
        pos += skip_[c];
    }
    return std::string_view::npos;
}

void CZTMatcher::FindAll(std::string_view text, std::vector<size_t>& hits) const {
    for (size_t pos = Find(text, 0); pos != std::string_view::npos; pos = Find(text, pos + 1)) hits.push_back(pos);
}

} // namespace zt
