// The page list: the hierarchy of pages in transit between the page tree, the
// core and the files. Each entry carries the tree indicator of a pre-order walk:
//   "c"      first child of the previous page (the first entry is always "c"),
//   "n"      next sibling of the previous page,
//   "p"*k    climb k levels from the previous page, then next sibling there.
// A listing of a file without contents also uses "f" entries for attached files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CZTPageListEntry {
    std::string indicator; // tree indicator
    std::string title;     // Windows-1252 bytes
    int32_t ident = 0;     // page ident in the core, 0 for "f" entries
    std::string spare;     // always empty
};

using CZTPageList = std::vector<CZTPageListEntry>;
