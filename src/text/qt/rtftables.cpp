#include "text/qt/rtftables.h"

#include "text/qt/rtfdocument.h"

#include <QTextCursor>
#include <QTextTable>

#include <algorithm>

namespace zt::textqt::detail {

namespace {

// Qt's own column insertion copies the width of the column before from the
// very list it inserts into, which may move under it: the widths are taken
// off while the columns are added and put back extended.
void AppendColumns(QTextTable& table, int count) {
    if (count <= 0) return;
    QTextTableFormat tf = table.format();
    QList<QTextLength> widths = tf.columnWidthConstraints();
    if (!widths.isEmpty()) {
        tf.clearColumnWidthConstraints();
        table.setFormat(tf);
    }
    table.appendColumns(count);
    if (widths.isEmpty()) return;
    const QTextLength last = widths.last();
    for (int i = 0; i < count; ++i) widths.append(last);
    tf = table.format();
    tf.setColumnWidthConstraints(widths);
    table.setFormat(tf);
}

} // namespace

void RowDef::Start() {
    cols = 0;
    pendingMerge = 0;
    merge.fill(0);
    defined = true;
    intblSince = false;
}

void RowDef::AddCell(int x) {
    if (cols < kMaxTableColumns) {
        merge[size_t(cols)] = pendingMerge;
        cellx[size_t(cols++)] = std::clamp(x, -(1 << 24), 1 << 24);
    }
    pendingMerge = 0;
}

RowDef& TableNest::Def(int depth) {
    if (depth < 1 || depth > kMaxTableDepth) {
        scratch_ = RowDef{};
        return scratch_;
    }
    return defs_[size_t(depth)];
}

bool TableNest::InRow() const { return !levels_.empty() && levels_.back().state == State::InRow; }

int TableNest::TargetDepth(int itap, bool inTable) const {
    int d = itap > 0 ? itap : (inTable ? 1 : 0);
    if (d > 0) return std::min(d, kMaxTableDepth);
    const RowDef& top = defs_[1];
    if (levels_.empty()) return top.defined && top.intblSince ? 1 : 0;
    // Text without table marks stays in the open cell; after a row the
    // table goes on only with a new row definition, and an inner table
    // whose row ended gives the cursor back to the cell around it.
    if (levels_.back().state == State::InRow) return Depth();
    if (levels_.size() == 1) return top.defined ? 1 : 0;
    return Depth() - 1;
}

bool TableNest::NeedsMove(int depth) const {
    if (capped_) return !levels_.empty();
    if (depth != Depth()) return true;
    if (levels_.empty()) return false;
    const Level& l = levels_.back();
    return l.state != State::InRow || l.cellParPending || l.cellIndex >= l.table->columns();
}

bool TableNest::CountCells(int n) {
    if (cells_ + n > kMaxTableCells) {
        capped_ = true;
        return false;
    }
    cells_ += n;
    return true;
}

bool TableNest::MoveTo(int depth) {
    if (capped_) {
        LeaveAll();
        return false;
    }
    depth = std::clamp(depth, 0, kMaxTableDepth);
    while (Depth() > depth) Leave();
    if (!levels_.empty() && levels_.back().state == State::AfterRow) {
        if (!NewRow(levels_.back(), Depth())) return false;
    }
    bool started = false;
    if (!levels_.empty()) Position(levels_.back(), Depth() < depth);
    while (!capped_ && Depth() < depth) {
        if (!levels_.empty() && levels_.back().state != State::InRow) break;
        if (!StartLevel()) break;
        started = true;
    }
    return started;
}

bool TableNest::StartLevel() {
    const int depth = Depth() + 1;
    const RowDef& d = defs_[size_t(depth)];
    // Nested rows are defined after their cells: such a table starts with
    // one column and takes its widths at its first row mark.
    const bool known = d.cols > 0 && (depth == 1 || d.defined);
    const int cols = known ? std::clamp(d.cols, 1, kMaxTableColumns) : 1;
    if (!CountCells(cols)) return false;
    QTextTableFormat tf;
    tf.setCellPadding(2);
    tf.setBorder(1);
    tf.setCellSpacing(0);
    Level l;
    l.table = cur_.insertTable(1, cols, tf);
    l.usedRows = 1;
    l.vStart.fill(-1);
    if (known) SetWidths(l, d);
    defs_[size_t(depth)].defined = false;
    cur_ = l.table->cellAt(0, 0).firstCursorPosition();
    levels_.push_back(std::move(l));
    return true;
}

void TableNest::SetWidths(Level& l, const RowDef& d) {
    QList<QTextLength> widths;
    int prev = 0;
    const int cols = std::min(d.cols, l.table->columns());
    for (int i = 0; i < cols; ++i) {
        int w = std::clamp(d.cellx[size_t(i)] - prev, 1, kMaxCellWidth);
        prev = d.cellx[size_t(i)];
        widths.append(QTextLength(QTextLength::FixedLength, TwipsToUnits(w)));
    }
    if (widths.isEmpty()) return;
    QTextTableFormat tf = l.table->format();
    tf.setColumnWidthConstraints(widths);
    l.table->setFormat(tf);
    l.widthsSet = true;
}

bool TableNest::NewRow(Level& l, int depth) {
    if (!CountCells(l.table->columns())) {
        Leave();
        return false;
    }
    // Rows are added in growing batches: every insertion makes Qt rebuild
    // the table's grid. Rows left over are removed when the table ends.
    if (l.usedRows >= l.table->rows()) l.table->appendRows(std::clamp(l.usedRows / 4, 1, 32));
    ++l.usedRows;
    RowDef& d = defs_[size_t(depth)];
    if (d.cols > l.table->columns() && d.cols <= kMaxTableColumns &&
        CountCells((d.cols - l.table->columns()) * l.usedRows))
        AppendColumns(*l.table, d.cols - l.table->columns());
    l.state = State::InRow;
    l.cellIndex = 0;
    d.defined = false;
    cur_ = l.table->cellAt(l.usedRows - 1, 0).firstCursorPosition();
    return true;
}

// Puts the cursor where the open cell takes content: a cell past the last
// column adds one, a pending paragraph mark becomes a paragraph. Before a
// table inside the cell the mark ends the paragraph that holds the table.
void TableNest::Position(Level& l, bool forTable) {
    if (l.state != State::InRow) return;
    if (l.cellIndex >= l.table->columns()) {
        if (l.table->columns() >= kMaxTableColumns) {
            l.cellIndex = l.table->columns() - 1;
        } else if (!CountCells(l.usedRows)) {
            Leave();
            return;
        } else {
            AppendColumns(*l.table, 1);
            l.cellIndex = l.table->columns() - 1;
        }
        cur_ = l.table->cellAt(l.usedRows - 1, l.cellIndex).lastCursorPosition();
    }
    if (l.cellParPending) {
        l.cellParPending = false;
        // The paragraph that ended keeps its format and its list; the new one
        // starts with the same paragraph format.
        if (forTable)
            cur_.setBlockFormat(l.cellParFormat);
        else
            cur_.insertBlock(l.cellParFormat);
    }
}

void TableNest::SetPendingPar(const QTextBlockFormat& f) {
    if (levels_.empty()) return;
    levels_.back().cellParPending = true;
    levels_.back().cellParFormat = f;
}

bool TableNest::HasPendingPar(int depth) const {
    return Depth() == depth && InRow() && levels_.back().cellParPending;
}

bool TableNest::TakePendingPar(int depth) {
    if (Depth() != depth || !InRow()) return false;
    bool was = levels_.back().cellParPending;
    levels_.back().cellParPending = false;
    return was;
}

bool TableNest::CellInColumns() const {
    return !levels_.empty() && levels_.back().cellIndex < levels_.back().table->columns();
}

void TableNest::NextCell() {
    if (levels_.empty()) return;
    Level& l = levels_.back();
    l.cellParPending = false;
    ++l.cellIndex;
    if (l.cellIndex < l.table->columns()) cur_ = l.table->cellAt(l.usedRows - 1, l.cellIndex).firstCursorPosition();
}

bool TableNest::EndRow(int depth) {
    if (depth < 1 || Depth() < depth) return false;
    while (Depth() > depth) Leave();
    Level& l = levels_.back();
    if (l.state != State::InRow) return false;
    RowDef& d = defs_[size_t(depth)];
    if (depth > 1) {
        // The definition of a nested row came with the row mark: the
        // columns it names and, on the first row, their widths.
        if (d.cols > l.table->columns() && d.cols <= kMaxTableColumns &&
            CountCells((d.cols - l.table->columns()) * l.usedRows))
            AppendColumns(*l.table, d.cols - l.table->columns());
        if (!l.widthsSet && d.cols > 0) SetWidths(l, d);
    }
    MergeRowCells(l, d, l.usedRows - 1);
    l.cellParPending = false;
    l.state = State::AfterRow;
    d.defined = false;
    // A nested definition belongs to its own row only.
    if (depth > 1) d.cols = 0;
    return true;
}

// The merges the row definition asked for, once the row's cells are there:
// cells joined to the left first, then cells joined to the ones above.
void TableNest::MergeRowCells(Level& l, const RowDef& d, int row) {
    if (row < 0) return;
    QTextTable* t = l.table;
    const int cols = std::min(d.cols, t->columns());
    for (int c = 0; c < cols;) {
        int n = 1;
        if (d.merge[size_t(c)] & RowDef::kMergeHFirst)
            while (c + n < cols && (d.merge[size_t(c + n)] & RowDef::kMergeHNext)) ++n;
        if (n > 1) t->mergeCells(row, c, 1, n);
        c += n;
    }
    for (int c = 0; c < cols; ++c) {
        const uint8_t m = d.merge[size_t(c)];
        if (m & RowDef::kMergeVFirst) {
            l.vStart[size_t(c)] = row;
        } else if ((m & RowDef::kMergeVNext) && l.vStart[size_t(c)] >= 0) {
            const int top = l.vStart[size_t(c)];
            const QTextTableCell first = t->cellAt(top, c);
            if (first.isValid() && first.row() == top && first.column() == c)
                t->mergeCells(top, c, row - top + 1, std::max(1, first.columnSpan()));
        } else {
            l.vStart[size_t(c)] = -1;
        }
    }
}

void TableNest::Leave() {
    if (levels_.empty()) return;
    Level& l = levels_.back();
    if (l.usedRows < l.table->rows()) l.table->removeRows(l.usedRows, l.table->rows() - l.usedRows);
    cur_.setPosition(l.table->lastPosition());
    cur_.movePosition(QTextCursor::NextBlock);
    const int depth = Depth();
    levels_.pop_back();
    defs_[size_t(depth)].defined = false;
    defs_[size_t(depth)].intblSince = false;
    if (depth > 1) defs_[size_t(depth)].cols = 0;
}

void TableNest::LeaveAll() {
    while (!levels_.empty()) Leave();
}

} // namespace zt::textqt::detail
