// The hit list of the search dialog without the dialog: the rows of the last
// search, its counters and the page lists that keep the rows consistent with
// later edits (through NotifyPageChange), and the replacement of selected
// hits as one change of the document.
#pragma once

#include "search/searchtypes.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CZTDocument;
class CZTPageNode;

namespace zt {

class Prompter;
class CZTSearchTextCache;

// What another part of the program tells the hit list about a page.
enum class CZTPageNotice : int {
    TextSaved = 0,
    TitleChanged = 1,
    FileNameChanged = 2,
    Deleted = 3,
};

class CZTHitList {
public:
    enum Column { PathColumn = 0, LineColumn = 1, ReplacementColumn = 2 };

    CZTHitList();
    ~CZTHitList();

    // The plain text cache shared with the searches (may be null).
    void SetCache(std::shared_ptr<CZTSearchTextCache> cache) { cache_ = std::move(cache); }
    const std::shared_ptr<CZTSearchTextCache>& Cache() const { return cache_; }

    // A new search: the list, the counters and the lists of pages with
    // removed or dropped rows are cleared; `current` is the page the scope
    // starts from.
    void Begin(const CZTSearchOptions& options, const CZTPageNode* current);
    // Rows found by the running search, in walk order.
    void Append(std::vector<CZTSearchHit> hits, const CZTSearchCounters& added);
    void Clear();

    const std::vector<CZTSearchHit>& Rows() const { return rows_; }
    size_t Size() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    const CZTSearchOptions& Options() const { return options_; }
    const CZTSearchCounters& Counters() const { return counters_; }
    // "Seiten: ..., Gesamt: ..." with the number of rows last.
    std::string CounterLine() const;

    // Removes rows (indexes into Rows()); their pages are remembered as pages
    // whose rows the user removed.
    void RemoveRows(std::vector<size_t> rows);
    // Sorts by a column (again with `descending` for the reverse order);
    // rows that arrive later by a notice are sorted in.
    void Sort(Column column, bool descending);
    bool Sorted() const { return sortColumn_ >= 0; }

    // A page's title, text or file names changed, or it is being deleted
    // (call while the page is still in the tree). The page's rows are dropped
    // and, unless it is deleted, it is searched again. Ignored while the list
    // is empty or a replacement runs. A page whose rows the user removed
    // first asks whether to search it again (`prompter`). True when the rows
    // changed.
    bool NotifyPageChange(CZTDocument& doc, Prompter& prompter, int32_t ident, CZTPageNotice notice);

    // Replaces (or, with `deleteMode`, deletes) the hits of the selected
    // rows, ordered by page: a row already replaced is skipped, a hit that
    // no longer matches stays unreplaced, a file name that is taken is told
    // ("Der Name wird bereits verwendet.") and stays. Later rows of the same
    // page and kind (and file) are shifted by the change in length; the
    // replacement cell shows the replacement or "[gelöscht]". Changed pages
    // get PageChanged (titles, texts) or FilesChanged (file names), and the
    // document is marked modified once. `progress` (may be empty) is called
    // with the number of the row and the count. Returns the number of hits
    // replaced.
    struct ReplaceResult {
        int replaced = 0;
        std::vector<int32_t> textPages;   // pages whose text changed
        std::vector<int32_t> titlePages;  // pages whose title changed
        std::vector<int32_t> filePages;   // pages whose file names changed
    };
    ReplaceResult Replace(CZTDocument& doc, Prompter& prompter, const std::vector<size_t>& rows,
                          const std::string& replacement, bool deleteMode,
                          const std::function<void(int, int)>& progress = {});
    bool Replacing() const { return replacing_; }
    // Pages in which a replacement was made.
    const std::set<int32_t>& ReplacedPages() const { return replacedPages_; }
    const std::set<int32_t>& RemovedRowPages() const { return removedRows_; }
    const std::set<int32_t>& DroppedPages() const { return dropped_; }

    // Page paths again from the tree (after titles changed).
    void RefreshPaths(CZTDocument& doc);

private:
    void RemovePageRows(int32_t ident, size_t* firstRow);
    void InsertPageRows(CZTDocument& doc, int32_t ident, std::vector<CZTSearchHit> hits, size_t at);
    void ApplySort();
    bool InScope(CZTDocument& doc, int32_t ident) const;

    std::shared_ptr<CZTSearchTextCache> cache_;
    std::vector<CZTSearchHit> rows_;
    CZTSearchOptions options_;
    CZTSearchCounters counters_;
    int32_t scopeIdent_ = 0;
    std::set<int32_t> removedRows_;
    std::set<int32_t> dropped_;
    std::set<int32_t> replacedPages_;
    int sortColumn_ = -1;
    bool sortDescending_ = false;
    bool replacing_ = false;
};

} // namespace zt
