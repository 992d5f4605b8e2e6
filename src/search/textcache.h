// The plain texts of pages as the search reads them, kept between searches
// so that a second search of unchanged pages converts nothing. An entry is
// valid while its page's stored text has the same length, CRC-32 and
// modification time; the oldest entries go first when the budget is full.
// Safe to use from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zt {

struct CZTTextKey {
    int32_t ident = 0;
    int32_t length = 0;
    uint32_t crc = 0;
    int32_t mtime = 0;
    bool operator==(const CZTTextKey&) const = default;
};

class CZTSearchTextCache {
public:
    static constexpr size_t kDefaultBudget = size_t(256) << 20;
    explicit CZTSearchTextCache(size_t budgetBytes = kDefaultBudget) : budget_(budgetBytes) {}

    std::shared_ptr<const std::string> Find(const CZTTextKey& key);
    void Put(const CZTTextKey& key, std::shared_ptr<const std::string> text);
    void Forget(int32_t ident);
    void Clear();
    void SetBudget(size_t bytes);
    size_t Bytes() const;
    size_t Entries() const;

private:
    struct Entry {
        CZTTextKey key;
        std::shared_ptr<const std::string> text;
    };
    void Trim();

    mutable std::mutex mutex_;
    size_t budget_;
    size_t bytes_ = 0;
    std::list<Entry> lru_; // most recent first
    std::unordered_map<int32_t, std::list<Entry>::iterator> index_;
};

} // namespace zt
