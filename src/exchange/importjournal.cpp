#include "exchange/importjournal.h"

#include "core/document.h"

#include <algorithm>

namespace zt {

ImportJournal::ImportJournal(CZTDocument& doc)
    : doc_(doc), firstNew_(doc.Archive().Core().NodeCount()), wasModified_(doc.IsModified()) {}

bool ImportJournal::IsNew(const CZTPageNode* page) const { return page && page->Ident() >= firstNew_; }

void ImportJournal::PageChanging(const CZTPageNode* page) {
    if (!page || IsNew(page)) return;
    const int32_t ident = page->Ident();
    if (std::none_of(texts_.begin(), texts_.end(), [&](const auto& t) { return t.first == ident; }))
        texts_.emplace_back(ident, doc_.Archive().GetPage(ident));
    if (std::none_of(marks_.begin(), marks_.end(), [&](const auto& m) { return m.first == ident; }))
        marks_.emplace_back(ident, page->Mark());
}

void ImportJournal::FileAdded(const CZTPageNode* page, const std::string& name) {
    if (!page || IsNew(page)) return;
    if (std::none_of(marks_.begin(), marks_.end(), [&](const auto& m) { return m.first == page->Ident(); }))
        marks_.emplace_back(page->Ident(), page->Mark());
    files_.emplace_back(page->Ident(), name);
}

void ImportJournal::Rollback() {
    std::vector<int32_t> made;
    for (const auto& e : doc_.Tree().BuildPageList())
        if (e.ident >= firstNew_) made.push_back(e.ident);
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        if (CZTPageNode* node = doc_.Tree().FindPage(*it)) doc_.DeletePage(node, true);
    for (auto it = files_.rbegin(); it != files_.rend(); ++it) doc_.Archive().DeleteFile(it->first, it->second);
    for (auto& t : texts_) doc_.Archive().PutPage(t.first, std::move(t.second));
    for (const auto& m : marks_)
        if (CZTPageNode* node = doc_.Tree().FindPage(m.first)) doc_.Tree().SetMark(node, m.second);
    texts_.clear();
    files_.clear();
    marks_.clear();
    if (!wasModified_) doc_.Archive().SetModified(false);
}

} // namespace zt
