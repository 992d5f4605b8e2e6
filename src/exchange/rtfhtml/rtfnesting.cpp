#include "exchange/rtfhtml/rtfnesting.h"

#include "text/rtfwords.h"

#include <algorithm>

namespace zt::rtfhtml {

void ComputeSpans(TableLayout& layout) {
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
}

namespace {

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

TableLayout PrescanTable(const RtfTokenizer& reader, size_t offset, size_t& budget, size_t maxCellsPerRow,
                         size_t maxCells) {
    TableLayout layout;
    RtfTokenizer s = reader;
    int baseDepth = reader.Depth();
    s.Seek(offset, baseDepth);
    std::vector<TableCell> cur, prev;
    bool defined = false, afterRow = false;
    int left = 0;
    uint8_t merge = 0;
    size_t total = 0;
    RtfToken t;
    bool ended = false;
    while (!ended && s.Next(t)) {
        if (s.Position() - offset > budget) {
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
                if (total >= maxCells) {
                    // A table this large ends here; what follows starts a new one.
                    ended = true;
                    break;
                }
                if (cur.size() < maxCellsPerRow) {
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
                    if (total + prev.size() > maxCells) {
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
    budget -= std::min(budget, scanned);
    rtfhtml::ComputeSpans(layout);
    return layout;
}

TableLayout PrescanNested(const RtfTokenizer& reader, size_t offset, int level, size_t& budget,
                          size_t maxCellsPerRow, size_t maxCells) {
    TableLayout layout;
    RtfTokenizer s = reader;
    const int baseDepth = reader.Depth();
    s.Seek(offset, baseDepth);
    int para = level;       // the level of the paragraph read
    int propsDepth = -1;    // group depth inside the nested row definition, -1 outside
    std::vector<TableCell> def;
    int left = 0;
    uint8_t merge = 0;
    size_t total = 0;
    bool ended = false;
    RtfToken t;
    while (!ended && s.Next(t)) {
        if (s.Position() - offset > budget) {
            ended = true;
            break;
        }
        if (t.type == RtfTokenType::GroupOpen) {
            const int depth = s.Depth();
            RtfToken n;
            if (!s.Next(n)) break;
            if (n.type == RtfTokenType::GroupClose) continue;
            bool skip = false;
            if (n.type == RtfTokenType::Symbol && n.symbol == '*') {
                RtfToken w;
                if (!s.Next(w)) break;
                if (propsDepth < 0 && para == level && w.type == RtfTokenType::Word &&
                    LookupRtfWord(w.word) == RtfKw::nesttableprops) {
                    propsDepth = depth;
                    def.clear();
                    left = 0;
                    merge = 0;
                    continue;
                }
                // Ignorable groups and the definitions of deeper levels.
                skip = true;
            } else if (n.type == RtfTokenType::Word && RtfWordKind(LookupRtfWord(n.word)) == RtfKwKind::Dest) {
                // Destinations, the text for readers without nested tables among them.
                skip = true;
            }
            if (skip) {
                while (s.Depth() >= depth && s.Next(n)) {
                }
                continue;
            }
            t = n;
        }
        switch (t.type) {
        case RtfTokenType::GroupClose:
            if (propsDepth >= 0 && s.Depth() < propsDepth) propsDepth = -1;
            // The text's last group closes: so does the table.
            if (s.Depth() == 0) ended = true;
            break;
        case RtfTokenType::Text:
        case RtfTokenType::Hex:
            if (propsDepth < 0 && para < level) ended = true;
            break;
        case RtfTokenType::Error: ended = true; break;
        case RtfTokenType::Word: {
            const RtfKw kw = LookupRtfWord(t.word);
            const int32_t v = t.hasParam ? t.param : 0;
            if (propsDepth >= 0) {
                switch (kw) {
                case RtfKw::trowd:
                    def.clear();
                    left = 0;
                    merge = 0;
                    break;
                case RtfKw::trleft: left = v; break;
                case RtfKw::clvmgf: merge = 1; break;
                case RtfKw::clvmrg: merge = 2; break;
                case RtfKw::cellx:
                    if (def.size() < maxCellsPerRow && total < maxCells) {
                        TableCell c;
                        c.left = def.empty() ? left : def.back().right;
                        c.right = v;
                        if (c.right <= c.left) c.right = c.left > INT32_MAX - 100 ? INT32_MAX : c.left + 100;
                        c.merge = merge;
                        def.push_back(c);
                        ++total;
                    }
                    merge = 0;
                    break;
                case RtfKw::nestrow: layout.rows.push_back(def); break;
                default: break;
                }
                break;
            }
            switch (kw) {
            case RtfKw::pard: para = 0; break;
            case RtfKw::intbl: para = std::max(para, 1); break;
            case RtfKw::itap: para = std::clamp(v, 0, kMaxTableNesting + 1); break;
            case RtfKw::cell:
            case RtfKw::row: ended = true; break;
            case RtfKw::nestcell:
            case RtfKw::nestrow:
                if (std::max(para, 2) < level) ended = true;
                break;
            default:
                if (para < level && (RtfWordKind(kw) == RtfKwKind::Special || kw == RtfKw::u)) ended = true;
                break;
            }
            break;
        }
        default: break;
        }
        if (ended) break;
    }
    layout.endOffset = ended ? t.offset : SIZE_MAX;
    const size_t scanned = (ended ? t.offset : s.Position()) - std::min(offset, ended ? t.offset : s.Position());
    budget -= std::min(budget, scanned);
    ComputeSpans(layout);
    return layout;
}

} // namespace zt::rtfhtml
