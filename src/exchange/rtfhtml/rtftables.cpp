// Tables: the prescan of rows, cells and spans, and the rows and cells as the text reaches them.
#include "exchange/rtfhtml/rtfconverter_impl.h"

namespace zt {

namespace {

using Impl = RtfConverter::Impl;

bool SkippedInPrescan(RtfKw kw) {
    if (RtfWordKind(kw) != RtfKwKind::Dest) return false;
    switch (kw) {
    case RtfKw::field:
    case RtfKw::fldrslt:
    case RtfKw::footnote:
    case RtfKw::result:
    case RtfKw::shprslt:
        return false;
    default:
        return true;
    }
}

} // namespace

Impl::TableLayout Impl::Prescan(size_t offset) {
    TableLayout layout;
    RtfTokenizer s = tok_;
    int baseDepth = tok_.Depth();
    s.Seek(offset, baseDepth);
    std::vector<TableCell> cur, prev;
    bool defined = false, afterRow = false;
    int left = 0;
    uint8_t merge = 0;
    size_t total = 0;
    RtfToken t;
    bool ended = false;
    while (!ended && s.Next(t)) {
        if (s.Position() - offset > prescanBudget_) {
            // Input that keeps starting tables again has used up what the
            // prescans may read: the table ends here.
            ended = true;
            layout.endOffset = t.offset;
            break;
        }
        if (t.type == RtfTokenType::GroupOpen) {
            int depth = s.Depth();
            RtfToken n;
            if (!s.Next(n)) break;
            if (n.type == RtfTokenType::GroupClose) continue;
            bool skip = (n.type == RtfTokenType::Symbol && n.symbol == '*') ||
                        (n.type == RtfTokenType::Word && SkippedInPrescan(LookupRtfWord(n.word)));
            if (skip) {
                while (s.Depth() >= depth && s.Next(n)) {
                }
                continue;
            }
            t = n;
        }
        switch (t.type) {
        case RtfTokenType::GroupClose:
            if (s.Depth() == 0) ended = true;
            break;
        case RtfTokenType::Text:
        case RtfTokenType::Hex:
            if (afterRow) ended = true;
            break;
        case RtfTokenType::Error:
            ended = true;
            break;
        case RtfTokenType::Word: {
            RtfKw kw = LookupRtfWord(t.word);
            int32_t v = t.hasParam ? t.param : 0;
            switch (kw) {
            case RtfKw::trowd:
                afterRow = false;
                cur.clear();
                defined = true;
                left = 0;
                merge = 0;
                break;
            case RtfKw::trleft: left = v; break;
            case RtfKw::clvmgf: merge = 1; break;
            case RtfKw::clvmrg: merge = 2; break;
            case RtfKw::cellx:
                afterRow = false;
                defined = true;
                if (total >= kMaxTableCells) {
                    // A table this large ends here; what follows starts a new one.
                    ended = true;
                    break;
                }
                if (cur.size() < kMaxCellsPerRow) {
                    TableCell c;
                    c.left = cur.empty() ? left : cur.back().right;
                    c.right = v;
                    if (c.right <= c.left) c.right = c.left > INT32_MAX - 100 ? INT32_MAX : c.left + 100;
                    c.merge = merge;
                    cur.push_back(c);
                    ++total;
                }
                merge = 0;
                break;
            case RtfKw::intbl: afterRow = false; break;
            case RtfKw::row:
                if (!defined) {
                    if (total + prev.size() > kMaxTableCells) {
                        ended = true;
                        break;
                    }
                    cur = prev;
                    total += cur.size();
                }
                layout.rows.push_back(cur);
                prev = std::move(cur);
                cur.clear();
                defined = false;
                afterRow = true;
                break;
            default:
                if (afterRow && (RtfWordKind(kw) == RtfKwKind::Special || kw == RtfKw::u) &&
                    kw != RtfKw::cell && kw != RtfKw::nestcell && kw != RtfKw::nestrow)
                    ended = true;
                break;
            }
            break;
        }
        default:
            break;
        }
        if (ended) {
            layout.endOffset = t.offset;
            break;
        }
    }
    if (!ended) layout.endOffset = SIZE_MAX;
    size_t scanned = (ended ? layout.endOffset : s.Position()) - offset;
    prescanBudget_ -= std::min(prescanBudget_, scanned);
    // Columns and spans.
    std::vector<int> edges;
    for (const auto& r : layout.rows)
        for (const auto& c : r) {
            edges.push_back(c.left);
            edges.push_back(c.right);
        }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    auto column = [&](int x) { return int(std::lower_bound(edges.begin(), edges.end(), x) - edges.begin()); };
    for (size_t r = 0; r < layout.rows.size(); ++r) {
        for (size_t i = 0; i < layout.rows[r].size(); ++i) {
            TableCell& c = layout.rows[r][i];
            c.colspan = std::max(1, column(c.right) - column(c.left));
            if (c.merge == 1) {
                size_t k = r + 1;
                while (k < layout.rows.size() && i < layout.rows[k].size() && layout.rows[k][i].merge == 2) ++k;
                c.rowspan = int(k - r);
            }
        }
    }
    return layout;
}

void Impl::StartTable(size_t offset) {
    CloseParagraph();
    layout_ = Prescan(offset);
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
