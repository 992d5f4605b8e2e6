#include "search/matcher.h"

#include <gtest/gtest.h>

#include <vector>

namespace zt {
namespace {

struct MatchCase {
    const char* pattern;
    const char* text;
    bool matchCase;
    bool wholeWord;
    std::vector<size_t> hits;
};

TEST(Matcher, FindsEveryHitByTheRules) {
    const MatchCase cases[] = {
        {"Test", "ein Test ist", false, true, {4}},
        {"Test", "Tests", false, true, {}},
        {"Test", "ein Test, ist", false, true, {}},
        {"Test", "Test", false, true, {0}},
        {"Test", "a\tTest\nb", false, true, {2}},
        {"test", "test TEST Test tEsT", false, false, {0, 5, 10, 15}},
        {"test", "test TEST Test", true, false, {0}},
        {"aa", "aaa", true, false, {0, 1}},
        {"aa", "aaa", false, false, {0, 1}},
        {"\xe4rger", "\xc4rger und \xe4rger", false, false, {0, 10}},   // Ärger, ärger
        {"\xe4rger", "\xc4rger und \xe4rger", true, false, {10}},
        {"stra\xdf" "e", "STRA\xdf" "E", false, false, {0}},          // ß has no capital
        {"\x9a", "\x8a\x9a", false, false, {0, 1}},                    // Š, š
        {"x", "axbxc", true, false, {1, 3}},
        {"x", "axbxc", true, true, {}},
        {"abc", "ab", false, false, {}},
        {"", "abc", false, false, {}},
        {"ab", "xxabyyab", false, true, {}},
        {"ab", "ab ab", true, true, {0, 3}},
    };
    for (const MatchCase& c : cases) {
        CZTMatcher m(c.pattern, c.matchCase, c.wholeWord);
        std::vector<size_t> got;
        m.FindAll(c.text, got);
        EXPECT_EQ(got, c.hits) << c.pattern << " in " << c.text << " case " << c.matchCase << " word " << c.wholeWord;
    }
}

TEST(Matcher, LongTextsAgreeWithTheNaiveSearch) {
    std::string text;
    uint32_t seed = 7;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245 + 12345;
        const char alphabet[] = "abAB \xe4\xc4";
        text.push_back(alphabet[(seed >> 16) % 7]);
    }
    for (const char* p : {"ab", "aBa", "\xe4" "b", "a a", "bbb"}) {
        for (bool matchCase : {false, true}) {
            CZTMatcher m(p, matchCase, false);
            std::vector<size_t> got, want;
            m.FindAll(text, got);
            for (size_t i = 0; i + strlen(p) <= text.size(); ++i)
                if (m.MatchesAt(text, i)) want.push_back(i);
            EXPECT_EQ(got, want) << p << " case " << matchCase;
        }
    }
}

} // namespace
} // namespace zt
