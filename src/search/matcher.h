// Finding a search text in a Windows-1252 string: byte for byte, or ignoring
// case (the letters of the code page, umlauts included), and optionally only
// as a whole word (white space, the start or the end of the string on both
// sides; a comma or a full stop right after a word prevents a whole-word hit).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

// The lower-case form of a Windows-1252 byte (ß and the other letters
// without a capital stay as they are).
unsigned char FoldCp1252(unsigned char c);
// Space, tab, line feed, vertical tab, form feed, carriage return.
inline bool IsSearchSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

class CZTMatcher {
public:
    CZTMatcher(std::string_view pattern, bool matchCase, bool wholeWord);

    bool Empty() const { return pattern_.empty(); }
    size_t Length() const { return pattern_.size(); }

    // The first hit starting at or after `from`, or npos. The next search
    // starts one position after a hit's start, so overlapping hits are all
    // found (aa occurs twice in aaa).
    size_t Find(std::string_view text, size_t from = 0) const;
    // Every hit, in order.
    void FindAll(std::string_view text, std::vector<size_t>& hits) const;
    // The bytes at `pos` equal the search text (with the case rule, without
    // the word rule).
    bool MatchesAt(std::string_view text, size_t pos) const;
    // MatchesAt and the word rule.
    bool IsHit(std::string_view text, size_t pos) const;

private:
    bool WordBounds(std::string_view text, size_t pos) const;

    std::string pattern_; // folded unless case matters
    bool matchCase_;
    bool wholeWord_;
    size_t skip_[256];
};

} // namespace zt
