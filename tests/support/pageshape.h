// The page tree as one line for comparisons in tests: titles (UTF-8) joined
// by blanks, children in parentheses after their parent, "A(B C) D".
#pragma once

#include "base/cp1252.h"
#include "core/pagetree.h"

#include <string>
#include <vector>

namespace zt::test {

inline std::string Shape(const std::vector<CZTPageNode*>& pages) {
    std::string s;
    for (const CZTPageNode* p : pages) {
        if (!s.empty()) s += ' ';
        s += zt::Cp1252ToUtf8(p->Title());
        if (p->HasChildren()) s += "(" + Shape(p->Children()) + ")";
    }
    return s;
}

} // namespace zt::test
