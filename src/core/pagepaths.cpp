#include "core/pagepaths.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "base/urlcode.h"
#include "core/pagetree.h"

namespace zt {

namespace {

std::string Numbered(const std::string& title, size_t k) {
    return k == 0 ? title : title + "(" + std::to_string(k) + ")";
}

std::vector<const CZTPageNode*> Chain(const CZTPageNode* node) {
    std::vector<const CZTPageNode*> chain;
    for (const CZTPageNode* n = node; n; n = n->Parent()) chain.push_back(n);
    std::reverse(chain.begin(), chain.end());
    return chain;
}

} // namespace

std::string PagePath(const CZTPageNode* node) {
    std::string path;
    for (const CZTPageNode* n : Chain(node)) path += "/" + n->Title();
    return path;
}

std::string LinkNameText(const CZTPageNode* node) {
    if (!node) return {};
    const auto& siblings = node->Siblings();
    size_t k = 0;
    for (size_t i = 0; i < node->Row() && i < siblings.size(); ++i)
        if (siblings[i]->Title() == node->Title()) ++k;
    return Numbered(node->Title(), k);
}

std::string LinkName(const CZTPageNode* node) { return LinkNameEncode(LinkNameText(node)); }

std::string LinkPath(const CZTPageNode* node) {
    std::string path;
    for (const CZTPageNode* n : Chain(node)) path += "/" + LinkName(n);
    return path;
}

std::vector<std::string> LinkNamesOf(const std::vector<CZTPageNode*>& siblings) {
    std::vector<std::string> names;
    names.reserve(siblings.size());
    std::unordered_map<std::string_view, size_t> seen;
    for (const CZTPageNode* n : siblings) names.push_back(LinkNameEncode(Numbered(n->Title(), seen[n->Title()]++)));
    return names;
}

CZTPageNode* ResolvePath(const CZTPageTree& tree, const CZTPageNode* current, std::string_view path) {
    if (current && !tree.Owns(current)) return nullptr;
    // The position; null stands for the root.
    const CZTPageNode* pos = (!path.empty() && path.front() == '/') ? nullptr : current;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view segment = path.substr(start, end - start);
        start = end + 1;
        if (segment.empty()) continue;
        if (segment == ".") {
            if (!pos && !(pos = tree.FirstRootPage())) return nullptr;
            continue;
        }
        if (segment == "..") {
            if (!pos) return nullptr;
            pos = pos->Parent();
            continue;
        }
        std::string name = UrlFormDecode(segment);
        const auto& children = pos ? pos->Children() : tree.RootPages();
        std::unordered_map<std::string_view, size_t> seen;
        const CZTPageNode* found = nullptr;
        for (const CZTPageNode* child : children) {
            size_t k = seen[child->Title()]++;
            // Only a title that starts the name can match.
            if (child->Title().size() > name.size() || name.compare(0, child->Title().size(), child->Title()) != 0)
                continue;
            if (Numbered(child->Title(), k) == name) {
                found = child;
                break;
            }
        }
        if (!found) return nullptr;
        pos = found;
    }
    return const_cast<CZTPageNode*>(pos);
}

} // namespace zt
