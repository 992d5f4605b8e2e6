#include "core/visithistory.h"

#include <algorithm>

void CZTVisitHistory::Visit(int32_t ident) {
    entries_.insert(entries_.begin() + ptrdiff_t(position_), ident);
    ++position_;
    if (entries_.size() > kMaxEntries) {
        size_t drop = entries_.size() - kMaxEntries;
        // Drop from the oldest end, but never the current entry.
        drop = std::min(drop, position_ - 1);
        entries_.erase(entries_.begin(), entries_.begin() + ptrdiff_t(drop));
        position_ -= drop;
    }
}

int32_t CZTVisitHistory::GoBack(const PageExists& exists) {
    // Going back takes the entry before the current one out and selects it,
    // which inserts it again at the same place: P simply steps back.
    while (position_ >= 2) {
        int32_t ident = entries_[position_ - 2];
        if (!exists || exists(ident)) {
            --position_;
            return ident;
        }
        entries_.erase(entries_.begin() + ptrdiff_t(position_ - 2));
        --position_;
    }
    return 0;
}

int32_t CZTVisitHistory::GoForward(const PageExists& exists) {
    while (position_ < entries_.size()) {
        int32_t ident = entries_[position_];
        if (!exists || exists(ident)) {
            ++position_;
            return ident;
        }
        entries_.erase(entries_.begin() + ptrdiff_t(position_));
    }
    return 0;
}

void CZTVisitHistory::Clear() {
    entries_.clear();
    position_ = 0;
}
