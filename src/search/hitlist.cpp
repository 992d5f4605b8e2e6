#include "search/hitlist.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "search/matcher.h"
#include "search/rtfreplace.h"
#include "search/searcher.h"
#include "search/textcache.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>

namespace zt {

CZTHitList::CZTHitList() = default;
CZTHitList::~CZTHitList() = default;

void CZTHitList::Begin(const CZTSearchOptions& options, const CZTPageNode* current) {
    rows_.clear();
    counters_ = {};
    removedRows_.clear();
    dropped_.clear();
    options_ = options;
    scopeIdent_ = current ? current->Ident() : 0;
    sortColumn_ = -1;
}

void CZTHitList::Append(std::vector<CZTSearchHit> hits, const CZTSearchCounters& added) {
    counters_.pages += added.pages;
    counters_.titles += added.titles;
    counters_.texts += added.texts;
    counters_.files += added.files;
    for (CZTSearchHit& h : hits) rows_.push_back(std::move(h));
    if (sortColumn_ >= 0) ApplySort();
}

void CZTHitList::Clear() {
    rows_.clear();
    counters_ = {};
    removedRows_.clear();
    dropped_.clear();
    replacedPages_.clear();
    sortColumn_ = -1;
}

std::string CZTHitList::CounterLine() const {
    char buf[160];
    std::snprintf(buf, sizeof buf, MessageText(Msg::SearchCounters), counters_.pages, counters_.titles,
                  counters_.texts, counters_.files, int(rows_.size()));
    return buf;
}

void CZTHitList::RemoveRows(std::vector<size_t> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (size_t i = rows.size(); i-- > 0;) {
        if (rows[i] >= rows_.size()) continue;
        removedRows_.insert(rows_[rows[i]].ident);
        rows_.erase(rows_.begin() + std::ptrdiff_t(rows[i]));
    }
}

void CZTHitList::Sort(Column column, bool descending) {
    sortColumn_ = int(column);
    sortDescending_ = descending;
    ApplySort();
}

void CZTHitList::ApplySort() {
    auto less = [this](const CZTSearchHit& a, const CZTSearchHit& b) {
        int c = 0;
        switch (sortColumn_) {
        case PathColumn: c = CZTPageTree::DefaultTitleCompare(a.path, b.path); break;
        case LineColumn:
            if ((a.line > 0) != (b.line > 0))
                c = a.line > 0 ? 1 : -1;
            else if (a.line > 0)
                c = a.line < b.line ? -1 : a.line > b.line ? 1 : 0;
            else
                c = a.fileName.compare(b.fileName);
            break;
        default: c = a.replacement.compare(b.replacement); break;
        }
        return sortDescending_ ? c > 0 : c < 0;
    };
    std::stable_sort(rows_.begin(), rows_.end(), less);
}

bool CZTHitList::InScope(CZTDocument& doc, int32_t ident) const {
    switch (options_.scope) {
    case CZTSearchScope::Document: return true;
    case CZTSearchScope::Page: return ident == scopeIdent_;
    case CZTSearchScope::Subtree: {
        if (ident == scopeIdent_) return true;
        const CZTPageNode* root = doc.Tree().FindPage(scopeIdent_);
        const CZTPageNode* page = doc.Tree().FindPage(ident);
        return root && page && root->IsAncestorOf(page);
    }
    }
    return true;
}

void CZTHitList::RemovePageRows(int32_t ident, size_t* firstRow) {
    std::vector<CZTSearchHit> gone;
    size_t first = SIZE_MAX;
    std::vector<CZTSearchHit> kept;
    kept.reserve(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].ident == ident) {
            if (first == SIZE_MAX) first = kept.size();
            gone.push_back(std::move(rows_[i]));
        } else {
            kept.push_back(std::move(rows_[i]));
        }
    }
    rows_ = std::move(kept);
    CZTSearchCounters c;
    CountHits(gone, c);
    counters_.pages -= c.pages;
    counters_.titles -= c.titles;
    counters_.texts -= c.texts;
    counters_.files -= c.files;
    if (firstRow) *firstRow = first;
}

void CZTHitList::InsertPageRows(CZTDocument& doc, int32_t ident, std::vector<CZTSearchHit> hits, size_t at) {
    if (hits.empty()) return;
    CZTSearchCounters c;
    CountHits(hits, c);
    counters_.pages += c.pages;
    counters_.titles += c.titles;
    counters_.texts += c.texts;
    counters_.files += c.files;
    if (at == SIZE_MAX) {
        // The page had no rows: before the first row of a page later in the walk.
        std::unordered_map<int32_t, size_t> order;
        CZTPageWalker walker(doc.Tree());
        CZTWalkStep step;
        for (size_t n = 0; walker.NextInWalk(step); ++n) order[step.ident] = n;
        size_t mine = order.count(ident) ? order[ident] : SIZE_MAX;
        at = rows_.size();
        for (size_t i = 0; i < rows_.size(); ++i) {
            auto it = order.find(rows_[i].ident);
            if (it != order.end() && it->second > mine) {
                at = i;
                break;
            }
        }
    }
    at = std::min(at, rows_.size());
    rows_.insert(rows_.begin() + std::ptrdiff_t(at), std::make_move_iterator(hits.begin()),
                 std::make_move_iterator(hits.end()));
    if (sortColumn_ >= 0) ApplySort();
}

bool CZTHitList::NotifyPageChange(CZTDocument& doc, Prompter& prompter, int32_t ident, CZTPageNotice notice) {
    if (rows_.empty() || replacing_) return false;
    // A deleted page may already have left the tree; its rows go in any case.
    if (notice != CZTPageNotice::Deleted && !InScope(doc, ident)) return false;
    switch (notice) {
    case CZTPageNotice::TextSaved:
        if (!options_.Texts()) return false;
        break;
    case CZTPageNotice::TitleChanged:
        if (!options_.Titles()) return false;
        break;
    case CZTPageNotice::FileNameChanged:
        if (!options_.Files()) return false;
        break;
    case CZTPageNotice::Deleted: break;
    }
    if (dropped_.count(ident)) return false;
    bool deleted = notice == CZTPageNotice::Deleted;
    if (removedRows_.count(ident) && !deleted) {
        if (prompter.AskYesNo(MessageText(Msg::SearchPageChanged))) {
            removedRows_.erase(ident);
        } else {
            deleted = true;
            dropped_.insert(ident);
        }
    }
    size_t first = SIZE_MAX;
    const size_t before = rows_.size();
    RemovePageRows(ident, &first);
    bool changed = rows_.size() != before;
    if (!deleted) {
        const CZTPageNode* node = doc.Tree().FindPage(ident);
        if (node) {
            CZTMatcher matcher(options_.text, options_.matchCase, options_.wholeWord);
            RtfConverter converter;
            std::vector<CZTSearchHit> hits;
            SearchPage(TakeSearchPage(doc, node, options_, cache_.get()), options_, matcher, cache_.get(), converter,
                       false, hits);
            changed = changed || !hits.empty();
            InsertPageRows(doc, ident, std::move(hits), first);
        }
    }
    return changed;
}

void CZTHitList::RefreshPaths(CZTDocument& doc) {
    std::unordered_map<int32_t, std::string> paths;
    for (CZTSearchHit& h : rows_) {
        auto it = paths.find(h.ident);
        if (it == paths.end()) {
            const CZTPageNode* node = doc.Tree().FindPage(h.ident);
            it = paths.emplace(h.ident, node ? PagePath(node) : h.path).first;
        }
        h.path = it->second;
    }
}

namespace {

// Shifts the rows of one page and kind (and file) that lie after `offset`.
void ShiftRows(std::vector<CZTSearchHit>& rows, int32_t ident, CZTSearchHit::Kind kind, const std::string& file,
               int32_t offset, int32_t line, int32_t delta) {
    if (delta == 0) return;
    for (CZTSearchHit& r : rows) {
        if (r.ident != ident || r.kind != kind || r.offset <= offset) continue;
        if (kind == CZTSearchHit::Kind::File && r.fileName != file) continue;
        r.offset += delta;
        if (kind == CZTSearchHit::Kind::Text && r.line == line) r.column += delta;
    }
}

} // namespace

CZTHitList::ReplaceResult CZTHitList::Replace(CZTDocument& doc, Prompter& prompter, const std::vector<size_t>& rows,
                                              const std::string& replacement, bool deleteMode,
                                              const std::function<void(int, int)>& progress) {
    ReplaceResult result;
    if (!deleteMode && replacement.empty()) return result;
    const std::string with = deleteMode ? std::string() : replacement;
    const std::string cell = deleteMode ? Utf8ToCp1252(MessageText(Msg::HitDeleted)) : replacement;
    const CZTMatcher matcher(options_.text, options_.matchCase, false);
    const int32_t patternLength = int32_t(options_.text.size());
    replacing_ = true;

    // The selected rows by page (rows of one page in list order).
    std::vector<size_t> order;
    for (size_t r : rows)
        if (r < rows_.size() && !rows_[r].replaced) order.push_back(r);
    std::stable_sort(order.begin(), order.end(),
                     [this](size_t a, size_t b) { return rows_[a].ident < rows_[b].ident; });
    order.erase(std::unique(order.begin(), order.end()), order.end());

    RtfConverter converter;
    int done = 0;
    const int total = int(order.size());
    bool anyChange = false;
    int madeBefore = 0;
    for (size_t i = 0; i < order.size();) {
        const int32_t ident = rows_[order[i]].ident;
        size_t j = i;
        while (j < order.size() && rows_[order[j]].ident == ident) ++j;
        CZTPageNode* node = doc.Tree().FindPage(ident);
        if (!node) {
            done += int(j - i);
            i = j;
            continue;
        }
        // Rows of this page by kind, in ascending offset.
        std::vector<size_t> titles, texts;
        std::map<std::string, std::vector<size_t>> files;
        for (size_t k = i; k < j; ++k) {
            const CZTSearchHit& h = rows_[order[k]];
            if (h.kind == CZTSearchHit::Kind::Title) titles.push_back(order[k]);
            else if (h.kind == CZTSearchHit::Kind::Text) texts.push_back(order[k]);
            else files[h.fileName].push_back(order[k]);
        }
        auto byOffset = [this](size_t a, size_t b) { return rows_[a].offset < rows_[b].offset; };
        auto report = [&](size_t n) {
            done += int(n);
            if (progress) progress(done, total);
        };

        // Builds the new string for rows of one string; returns the rows made.
        auto editString = [&](const std::string& s, std::vector<size_t>& list, std::string& out) {
            std::sort(list.begin(), list.end(), byOffset);
            std::vector<size_t> made;
            out.clear();
            size_t pos = 0;
            for (size_t r : list) {
                size_t o = size_t(rows_[r].offset);
                if (o < pos || !matcher.MatchesAt(s, o)) continue;
                out.append(s, pos, o - pos);
                out += with;
                pos = o + size_t(patternLength);
                made.push_back(r);
            }
            out.append(s, std::min(pos, s.size()), std::string::npos);
            return made;
        };
        auto markMade = [&](const std::vector<size_t>& made, const std::string& file) {
            // Later rows first, so the shifts of earlier ones do not move them twice.
            for (size_t m = made.size(); m-- > 0;) {
                CZTSearchHit& h = rows_[made[m]];
                h.replacement = cell;
                h.replaced = true;
                ShiftRows(rows_, ident, h.kind, file, h.offset, h.line, int32_t(with.size()) - patternLength);
            }
            result.replaced += int(made.size());
        };

        if (!titles.empty()) {
            std::string title;
            std::vector<size_t> made = editString(node->Title(), titles, title);
            if (!made.empty()) {
                doc.Tree().SetTitle(node, title);
                doc.Tree().ApplyMark(node, CZTMarkEvent::PageChanged);
                markMade(made, {});
                result.titlePages.push_back(ident);
                anyChange = true;
            }
            report(titles.size());
        }
        if (!texts.empty()) {
            std::sort(texts.begin(), texts.end(), byOffset);
            std::string rtf = doc.PageText(node);
            std::string plain;
            std::vector<RtfTextSpan> spans;
            if (!converter.RtfToText(rtf, RtfTextMode::Search, plain, spans)) plain.clear();
            std::vector<CZTTextEdit> edits;
            std::vector<size_t> candidates;
            for (size_t r : texts) {
                size_t o = size_t(rows_[r].offset);
                if (!matcher.MatchesAt(plain, o)) continue;
                edits.push_back({o, size_t(patternLength), with});
                candidates.push_back(r);
            }
            std::vector<bool> applied;
            std::string updated = ReplaceInRtf(rtf, spans, edits, &applied);
            std::vector<size_t> made;
            for (size_t k = 0; k < candidates.size(); ++k)
                if (applied[k]) made.push_back(candidates[k]);
            if (!made.empty() && doc.SetPageText(node, updated)) {
                markMade(made, {});
                result.textPages.push_back(ident);
                anyChange = true;
            }
            report(texts.size());
        }
        for (auto& [name, list] : files) {
            std::string newName;
            std::vector<size_t> made = editString(name, list, newName);
            if (!made.empty() && newName != name) {
                bool ok = true;
                if (newName.empty()) {
                    prompter.Message(MessageText(Msg::EmptyName), Prompter::Icon::Warning);
                    ok = false;
                } else if (doc.Archive().GetFile(ident, newName).valid) {
                    prompter.Message(MessageText(Msg::NameInUse), Prompter::Icon::Warning);
                    ok = false;
                }
                CZTFileRecord record;
                if (ok) {
                    record = doc.Archive().GetFile(ident, name);
                    ok = record.valid;
                }
                if (ok) {
                    record.name = newName;
                    ok = doc.AttachFile(node, record) != 0;
                    if (ok) doc.DetachFile(node, name);
                }
                if (ok) {
                    markMade(made, name);
                    for (CZTSearchHit& h : rows_)
                        if (h.ident == ident && h.kind == CZTSearchHit::Kind::File && h.fileName == name)
                            h.fileName = newName;
                    result.filePages.push_back(ident);
                    anyChange = true;
                }
            }
            report(list.size());
        }
        const int before = madeBefore;
        madeBefore = result.replaced;
        if (result.replaced > before) replacedPages_.insert(ident);
        i = j;
    }
    if (!result.titlePages.empty()) RefreshPaths(doc);
    if (anyChange) doc.SetModified();
    replacing_ = false;
    return result;
}

} // namespace zt
