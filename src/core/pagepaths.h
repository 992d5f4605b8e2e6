// Names of pages as text: the display path shown to the user, and the link
// path written into page texts ("zt:" links) with its resolution.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CZTPageNode;
class CZTPageTree;

namespace zt {

// "/" followed by the titles from the root down to the page, joined by "/".
// Empty for no page.
std::string PagePath(const CZTPageNode* node);

// The link name before encoding: the title; among siblings with equal titles
// the first keeps it and the following ones get "(1)", "(2)", ... appended, in
// sibling order.
std::string LinkNameText(const CZTPageNode* node);

// The link name: LinkNameText in URL form encoding, every "." as "%2E".
std::string LinkName(const CZTPageNode* node);

// "/" followed by the link names from the root down, joined by "/".
std::string LinkPath(const CZTPageNode* node);

// The link names (encoded) of a row of siblings, in order, in one pass
// (LinkName of each one alone compares it with every sibling before it).
std::vector<std::string> LinkNamesOf(const std::vector<CZTPageNode*>& siblings);

// The page a link path names, or null. A path starting with "/" starts at the
// root, otherwise at `current` (at the root when there is no current page).
// Empty segments are skipped; "." stays (at the root: the first root page);
// ".." goes to the parent and fails at the root; any other segment is
// URL-decoded and matched, byte for byte, against the link names (before
// encoding) of the children of the position, the first equal one winning.
CZTPageNode* ResolvePath(const CZTPageTree& tree, const CZTPageNode* current, std::string_view path);

} // namespace zt
