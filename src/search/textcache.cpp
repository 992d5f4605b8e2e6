#include "search/textcache.h"

namespace zt {

namespace {
size_t Cost(const std::string& s) { return s.size() + 64; }
} // namespace

std::shared_ptr<const std::string> CZTSearchTextCache::Find(const CZTTextKey& key) {
    std::lock_guard lock(mutex_);
    auto it = index_.find(key.ident);
    if (it == index_.end()) return nullptr;
    if (!(it->second->key == key)) return nullptr;
    lru_.splice(lru_.begin(), lru_, it->second);
    return it->second->text;
}

void CZTSearchTextCache::Put(const CZTTextKey& key, std::shared_ptr<const std::string> text) {
    if (!text) return;
    std::lock_guard lock(mutex_);
    if (Cost(*text) > budget_) return;
    auto it = index_.find(key.ident);
    if (it != index_.end()) {
        bytes_ -= Cost(*it->second->text);
        lru_.erase(it->second);
        index_.erase(it);
    }
    bytes_ += Cost(*text);
    lru_.push_front({key, std::move(text)});
    index_[key.ident] = lru_.begin();
    Trim();
}

void CZTSearchTextCache::Forget(int32_t ident) {
    std::lock_guard lock(mutex_);
    auto it = index_.find(ident);
    if (it == index_.end()) return;
    bytes_ -= Cost(*it->second->text);
    lru_.erase(it->second);
    index_.erase(it);
}

void CZTSearchTextCache::Clear() {
    std::lock_guard lock(mutex_);
    lru_.clear();
    index_.clear();
    bytes_ = 0;
}

void CZTSearchTextCache::SetBudget(size_t bytes) {
    std::lock_guard lock(mutex_);
    budget_ = bytes;
    Trim();
}

size_t CZTSearchTextCache::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

size_t CZTSearchTextCache::Entries() const {
    std::lock_guard lock(mutex_);
    return lru_.size();
}

void CZTSearchTextCache::Trim() {
    while (bytes_ > budget_ && !lru_.empty()) {
        Entry& e = lru_.back();
        bytes_ -= Cost(*e.text);
        index_.erase(e.key.ident);
        lru_.pop_back();
    }
}

} // namespace zt
