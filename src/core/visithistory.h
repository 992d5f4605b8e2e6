// The history of visited pages behind "Zurück" and "Vorwärts": a list of
// page idents and a position P, the number of entries up to and including the
// current one. A visit inserts the page at P and advances P; the entries after
// P (the forward part) stay, so a page skipped by going back stays reachable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CZTVisitHistory {
public:
    // Oldest entries are dropped beyond this many.
    static constexpr size_t kMaxEntries = 10000;

    // Tells whether an ident still names a page; entries that do not are
    // dropped when back or forward reach them.
    using PageExists = std::function<bool(int32_t ident)>;

    // Records that a page was selected by any means other than GoBack and
    // GoForward.
    void Visit(int32_t ident);

    bool CanGoBack() const { return position_ > 1; }
    bool CanGoForward() const { return position_ < entries_.size(); }

    // Moves one step back or forward and returns the page to select (with
    // force, without calling Visit again), or 0 when there is none. The list
    // is left as the selection of that page would leave it.
    int32_t GoBack(const PageExists& exists = {});
    int32_t GoForward(const PageExists& exists = {});

    const std::vector<int32_t>& Entries() const { return entries_; }
    size_t Position() const { return position_; }
    // The current page, 0 when the history is empty.
    int32_t Current() const { return position_ > 0 ? entries_[position_ - 1] : 0; }

    void Clear();

private:
    std::vector<int32_t> entries_;
    size_t position_ = 0;
};
