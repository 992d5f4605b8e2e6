// The search itself. The pages to visit are taken from the document as
// detached copies (title, path, file names, the stored text or its cached
// plain text) on the caller's thread; the search then runs on worker threads
// over those copies only, so the document may change meanwhile. Hits come in
// walk order as pages are finished; a search can be cancelled.
#pragma once

#include "core/content.h"
#include "search/searchtypes.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CZTDocument;
class CZTPageNode;

namespace zt {

class CZTMatcher;
class CZTSearchTextCache;
class RtfConverter;

// A detached copy of what the search needs of one page.
struct CZTSearchPage {
    int32_t ident = 0;
    std::string path;
    std::string title;
    std::vector<std::string> files;
    // The page text: its cached plain text, or the stored text to convert.
    std::shared_ptr<const std::string> plain;
    CZTContent content;
    bool hasText = false;
    int32_t length = 0;
    uint32_t crc = 0;
    int32_t mtime = 0;
};

// The pages a search with `scope` visits from `current` (the current page;
// null: none, so only a document-wide search visits anything), in the
// pre-order walk. Plain texts found in `cache` are taken instead of the
// stored texts; only what the options search is copied.
std::vector<CZTSearchPage> TakeSearchPages(CZTDocument& doc, const CZTPageNode* current,
                                           const CZTSearchOptions& options, CZTSearchTextCache* cache);
// One page as a search sees it.
CZTSearchPage TakeSearchPage(CZTDocument& doc, const CZTPageNode* node, const CZTSearchOptions& options,
                             CZTSearchTextCache* cache);

// The plain text of a page RTF as it is searched (the converter's search
// form: one byte per character, a space for characters outside
// Windows-1252); empty for a text that is not RTF.
std::string PageSearchText(std::string_view rtf, RtfConverter& converter);

// The hits of one page: titles, then the text, then the file names.
// `withContext` fills the hits' context.
void SearchPage(const CZTSearchPage& page, const CZTSearchOptions& options, const CZTMatcher& matcher,
                CZTSearchTextCache* cache, RtfConverter& converter, bool withContext,
                std::vector<CZTSearchHit>& hits);

class CZTSearchJob {
public:
    // `threads` workers (at least 1).
    CZTSearchJob(std::vector<CZTSearchPage> pages, CZTSearchOptions options,
                 std::shared_ptr<CZTSearchTextCache> cache, int threads = 2, bool withContext = false);
    ~CZTSearchJob(); // cancels and waits
    CZTSearchJob(const CZTSearchJob&) = delete;
    CZTSearchJob& operator=(const CZTSearchJob&) = delete;

    void Start();
    void Cancel();
    void Wait();
    bool Done() const { return done_.load(); }
    bool Cancelled() const { return cancel_.load(); }
    size_t PageCount() const { return pages_.size(); }
    // Pages finished, in walk order without gaps.
    size_t PagesDone() const;
    // Hits of the pages finished since the last call, in walk order, and the
    // counters they add.
    std::vector<CZTSearchHit> TakeHits(CZTSearchCounters* added = nullptr);
    const CZTSearchOptions& Options() const { return options_; }

private:
    void Work();

    std::vector<CZTSearchPage> pages_;
    CZTSearchOptions options_;
    std::shared_ptr<CZTSearchTextCache> cache_;
    int threads_;
    bool withContext_;
    std::vector<std::thread> workers_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> running_{0};
    mutable std::mutex mutex_;
    std::vector<std::vector<CZTSearchHit>> results_;
    std::vector<char> finished_;
    size_t ready_ = 0; // pages finished without gaps
    size_t taken_ = 0; // pages handed out by TakeHits
};

// Adds what the hits of one page count.
void CountHits(const std::vector<CZTSearchHit>& pageHits, CZTSearchCounters& counters);

// A whole search on the calling thread and `threads` workers: the hits in
// walk order.
std::vector<CZTSearchHit> RunSearch(CZTDocument& doc, const CZTPageNode* current, const CZTSearchOptions& options,
                                    std::shared_ptr<CZTSearchTextCache> cache, int threads = 2,
                                    bool withContext = false, CZTSearchCounters* counters = nullptr);

} // namespace zt
