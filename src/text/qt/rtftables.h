// The tables of the RTF reader: one level per table nesting (\itapN; level 1
// is a table in the text, level 2 a table inside one of its cells, ...),
// each with its row definition, the row being filled and the cell the cursor
// is in. Cells end with \cell (level 1) or \nestcell (deeper levels), rows
// with \row or \nestrow; the definitions of nested rows come in
// {\*\nesttableprops ...} after their cells.
#pragma once

#include "text/qt/rtfinternal.h"

#include <QTextBlockFormat>

#include <array>
#include <cstdint>
#include <vector>

class QTextCursor;
class QTextTable;

namespace zt::textqt::detail {

// The cells a row definition (\trowd ... \cellx) gives: right edges in
// twips and merge marks.
struct RowDef {
    static constexpr uint8_t kMergeHFirst = 1, kMergeHNext = 2, kMergeVFirst = 4, kMergeVNext = 8;
    int cols = 0;
    bool defined = false;     // a \trowd came since the last row mark
    bool intblSince = false;  // and an \intbl after it
    uint8_t pendingMerge = 0;
    std::array<int, kMaxTableColumns> cellx{};
    std::array<uint8_t, kMaxTableColumns> merge{};

    void Start();
    void AddCell(int x);
};

class TableNest {
public:
    explicit TableNest(QTextCursor& cursor) : cur_(cursor) {}

    // The definition of the rows of level `depth` (1 to kMaxTableDepth);
    // a scratch definition for any other depth.
    RowDef& Def(int depth);

    // Open levels, 0 outside tables.
    int Depth() const { return int(levels_.size()); }
    // Past the cell cap the rest goes on as text after the tables.
    bool Capped() const { return capped_; }
    // Whether the cell the cursor is in has an open row.
    bool InRow() const;

    // The level content of a paragraph with these marks goes to.
    int TargetDepth(int itap, bool inTable) const;
    // Whether content at `depth` needs the cursor moved: a level opened or
    // left, a new row, a cell added or a pending paragraph made real.
    bool NeedsMove(int depth) const;
    // Moves the cursor for content at `depth`. True when a table was started.
    bool MoveTo(int depth);

    // A paragraph mark inside the open cell: it becomes a real break only
    // when more text follows in the cell.
    void SetPendingPar(const QTextBlockFormat& f);
    // Takes the pending paragraph mark of the open cell of level `depth`.
    bool TakePendingPar(int depth);
    // Whether the open cell of level `depth` ends in a paragraph mark not yet made real.
    bool HasPendingPar(int depth) const;
    // Whether the open cell of the top level lies inside the table's columns.
    bool CellInColumns() const;
    // Ends the cell of the top level and moves into the next one.
    void NextCell();
    // Ends the row of level `depth`, leaving deeper levels. False when no
    // row is open there.
    bool EndRow(int depth);
    void LeaveAll();

private:
    enum class State { InRow, AfterRow };
    struct Level {
        QTextTable* table = nullptr;
        State state = State::InRow;
        int cellIndex = 0, usedRows = 0;
        bool widthsSet = false;
        bool cellParPending = false;
        QTextBlockFormat cellParFormat;
        std::array<int, kMaxTableColumns> vStart{};
    };

    bool CountCells(int n);
    bool StartLevel();
    bool NewRow(Level& l, int depth);
    void Position(Level& l, bool forTable);
    void Leave();
    void SetWidths(Level& l, const RowDef& d);
    void MergeRowCells(Level& l, const RowDef& d, int row);

    QTextCursor& cur_;
    std::vector<Level> levels_;
    std::array<RowDef, kMaxTableDepth + 1> defs_{};
    RowDef scratch_;
    int cells_ = 0;
    bool capped_ = false;
};

} // namespace zt::textqt::detail
