// Synthetic documents for benchmarks: N pages of RTF text and attached files
// of given sizes, made from a fixed seed so that every run sees the same bytes.
#pragma once

#include "core/document.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zt::bench {

struct DocLayout {
    int pages = 1000;
    size_t textBytes = 20000;              // RTF text per page (about)
    std::vector<size_t> fileSizes;         // attached files, spread over the pages
    uint32_t seed = 42;
};

// Fills `doc` (new) with pages and files; returns the total of the
// uncompressed bytes (texts and files).
uint64_t Generate(CZTDocument& doc, const DocLayout& layout);

// The layout of the "100 MB" document of the benchmarks: about 60 MB of page
// text and 40 MB of attached files of mixed kinds.
DocLayout HundredMegabytes();

} // namespace zt::bench
