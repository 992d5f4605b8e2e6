// Tables: rows and cells as the text reaches them, tables inside cells
// (their layouts come from the prescans in rtfnesting.cpp).
#include "exchange/rtfhtml/rtfconverter_impl.h"

namespace zt {

namespace {

using Impl = RtfConverter::Impl;

} // namespace

void Impl::StartTable(size_t offset) {
    CloseParagraph();
    layout_ = rtfhtml::PrescanTable(tok_, offset, prescanBudget_, kMaxCellsPerRow, kMaxTableCells);
    inTable_ = true;
    row_ = cell_ = 0;
    rowOpen_ = cellOpen_ = false;
    Markup("\n<TABLE BORDER=\"1\">\n");
}

void Impl::EndTable() {
    CloseParagraph();
    inTable_ = false;
    Markup("</TABLE>\n");
    layout_ = TableLayout{};
    if (!outerTables_.empty()) {
        // Back in the cell that holds the table.
        OpenTable& o = outerTables_.back();
        layout_ = std::move(o.layout);
        row_ = o.row;
        cell_ = o.cell;
        rowOpen_ = o.rowOpen;
        cellOpen_ = o.cellOpen;
        inTable_ = true;
        outerTables_.pop_back();
    }
}

// Content of a deeper level than the open table opens the tables inside
// the open cell, each with its own prescan.
void Impl::EnterNestedTables() {
    while (inTable_ && TableLevel() < std::min(ParaLevel(), rtfhtml::kMaxTableNesting)) {
        if (!cellOpen_) EnsureCell();
        CloseParagraph();
        const int level = TableLevel() + 1;
        TableLayout layout =
            rtfhtml::PrescanNested(tok_, tokBegin_, level, prescanBudget_, kMaxCellsPerRow, kMaxTableCells);
        // A table that ends where it begins has nothing to hold.
        if (layout.endOffset <= tokBegin_) return;
        outerTables_.push_back({std::move(layout_), row_, cell_, rowOpen_, cellOpen_});
        layout_ = std::move(layout);
        row_ = cell_ = 0;
        rowOpen_ = cellOpen_ = false;
        Markup("\n<TABLE BORDER=\"1\">\n");
    }
}

// \nestcell ends a cell of a nested table; without one it stands as a space.
void Impl::OnNestedCell() {
    if (inTable_) {
        if (!headWritten_) WriteHead();
        if (!cellOpen_) EnsureCell();
        EnterNestedTables();
    }
    if (outerTables_.empty()) {
        EmitHtmlChar(' ');
        return;
    }
    OnCell();
}

void Impl::EnsureCell() {
    if (!rowOpen_) {
        rowOpen_ = true;
        Markup("<!--% ROW " + Int(int64_t(row_) + 1) + " --><TR>\n");
    }
    if (cellOpen_) return;
    cellOpen_ = true;
    const TableCell* c = nullptr;
    if (row_ < layout_.rows.size() && cell_ < layout_.rows[row_].size()) c = &layout_.rows[row_][cell_];
    if (c && c->merge == 2) return;
    Markup("<TD COLSPAN=" + Int(c ? c->colspan : 1) + " ROWSPAN=" + Int(c ? c->rowspan : 1) + ">");
}

void Impl::OnCell() {
    if (!inTable_) return;
    if (!cellOpen_) {
        if (!headWritten_) WriteHead();
        EnsureCell();
    }
    CloseParagraph();
    ++cell_;
    cellOpen_ = false;
}

void Impl::OnRow() {
    if (!inTable_) return;
    CloseParagraph();
    ++row_;
    cell_ = 0;
    rowOpen_ = cellOpen_ = false;
    if (row_ >= layout_.rows.size()) EndTable();
}

} // namespace zt
