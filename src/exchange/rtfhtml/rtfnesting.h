// The layout of the converter's tables: rows of cells with their edges,
// merge marks and spans, read ahead by a prescan before a table is written,
// for tables in the text and for tables inside table cells (\itapN
// paragraphs whose cells end with \nestcell and whose rows are defined in
// {\*\nesttableprops ... \nestrow} after their cells).
#pragma once

#include "text/rtftokenizer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zt::rtfhtml {

// Tables inside table cells are written as tables down to this level;
// deeper ones run on as text in the cell around them.
constexpr int kMaxTableNesting = 8;

struct TableCell {
    int left = 0, right = 0;
    uint8_t merge = 0;  // 1 first of a vertical merge, 2 continuation
    int colspan = 1, rowspan = 1;
};

struct TableLayout {
    std::vector<std::vector<TableCell>> rows;
    size_t endOffset = SIZE_MAX;
};

// Column spans from the sorted, distinct cell edges and row spans of the
// first cells of vertical merges.
void ComputeSpans(TableLayout& layout);

// Reads ahead from `offset` (where `reader` stands) the table that starts
// there, up to "row" followed by text or a special character other than a
// new row: for every "cellx" a cell with its left and right edge and merge
// mark; a row without its own definition repeats the one before. At most
// `budget` bytes are read; what was read is taken from it.
TableLayout PrescanTable(const RtfTokenizer& reader, size_t offset, size_t& budget, size_t maxCellsPerRow,
                         size_t maxCells);

// Reads ahead from `offset` the table at nesting
// level `level` (2 or more) that starts there: its rows come from the
// nested row definitions of that level; it ends at content, a cell or a row
// mark of a lower level, or when its group closes. At most `budget` bytes are
// read; what was read is taken from it.
// `reader` gives the input and the group depth at `offset`.
TableLayout PrescanNested(const RtfTokenizer& reader, size_t offset, int level, size_t& budget,
                          size_t maxCellsPerRow, size_t maxCells);

} // namespace zt::rtfhtml
