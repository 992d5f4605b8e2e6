// The search index of the HTML site, built on a thread of its own: the site
// writer hands every page over in site order with its RTF, the thread turns
// it into plain text and adds it to the index in the same order. The page
// texts wait in a queue of bounded size, so a slow thread holds the writer
// back instead of collecting the whole document.
#pragma once

#include <memory>
#include <string>

namespace zt::htmlsite {

class SearchIndexWorker {
public:
    // `maxQueuedBytes`: RTF bytes that may wait for the thread.
    explicit SearchIndexWorker(size_t maxQueuedBytes = 32u << 20);
    ~SearchIndexWorker(); // stops the thread; what is still queued is dropped
    SearchIndexWorker(const SearchIndexWorker&) = delete;
    SearchIndexWorker& operator=(const SearchIndexWorker&) = delete;

    // `rtf` empty: the page has no text. Blocks while the queue is full.
    void Add(std::string titleUtf8, std::string href, std::string rtf);
    // Waits until every page handed over is in the index and returns the
    // index as JSON. Rethrows what the thread could not handle (out of memory).
    std::string Finish();

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace zt::htmlsite
