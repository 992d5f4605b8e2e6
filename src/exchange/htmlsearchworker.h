// The search index of the HTML site, built on a thread of its own: the site
// writer hands every page over in site order with the HTML it wrote, the
// thread takes the text out of it and adds it to the index in the same order.
// The pages wait in a queue of bounded size, so a slow thread holds the
// writer back instead of collecting the whole document.
#pragma once

#include <memory>
#include <string>

namespace zt::htmlsite {

class SearchIndexWorker {
public:
    // `maxQueuedBytes`: HTML bytes that may wait for the thread.
    explicit SearchIndexWorker(size_t maxQueuedBytes = 32u << 20);
    ~SearchIndexWorker(); // stops the thread; what is still queued is dropped
    SearchIndexWorker(const SearchIndexWorker&) = delete;
    SearchIndexWorker& operator=(const SearchIndexWorker&) = delete;

    // The page's text is html[begin, end) (see AppendHtmlText); an empty
    // range: the page has no text. Blocks while the queue is full.
    void Add(std::string titleUtf8, std::string href, std::string html, size_t begin, size_t end);
    // Waits until every page handed over is in the index and returns the
    // index as the script of the search page (SearchIndex::TakeScript).
    // Rethrows what the thread could not handle (out of memory).
    std::string Finish();

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace zt::htmlsite
