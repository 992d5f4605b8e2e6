#include "search/searcher.h"

#include "core/compress.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "search/matcher.h"
#include "search/textcache.h"

#include <algorithm>
#include <set>

namespace zt {

CZTSearchIn CZTSearchOptions::InFor(bool titles, bool texts, bool files) {
    if (titles && texts && files) return CZTSearchIn::All;
    if (titles && texts) return CZTSearchIn::TreeText;
    if (titles && files) return CZTSearchIn::TreeFiles;
    if (texts && files) return CZTSearchIn::TextFiles;
    if (titles) return CZTSearchIn::Tree;
    if (texts) return CZTSearchIn::Text;
    if (files) return CZTSearchIn::Files;
    return CZTSearchIn::All;
}

namespace {

constexpr size_t kContextChars = 30;

std::string ContextOf(std::string_view text, size_t pos, size_t len) {
    size_t b = pos > kContextChars ? pos - kContextChars : 0;
    size_t e = std::min(text.size(), pos + len + kContextChars);
    for (size_t i = pos; i > b; --i)
        if (text[i - 1] == '\n') {
            b = i;
            break;
        }
    for (size_t i = pos + len; i < e; ++i)
        if (text[i] == '\n') {
            e = i;
            break;
        }
    std::string s(text.substr(b, e - b));
    for (char& c : s)
        if (c == '\t') c = ' ';
    return s;
}

} // namespace

CZTSearchPage TakeSearchPage(CZTDocument& doc, const CZTPageNode* node, const CZTSearchOptions& options,
                             CZTSearchTextCache* cache) {
    CZTSearchPage p;
    p.ident = node->Ident();
    p.path = PagePath(node);
    p.title = node->Title();
    const CZTNode* n = doc.Archive().Core().Node(p.ident);
    if (!n || !n->used) return p;
    if (options.Files())
        for (const CZTFileEntry& f : n->files) p.files.push_back(f.name);
    if (options.Texts() && n->method == 1 && !n->content.empty()) {
        p.hasText = true;
        p.length = n->uncompressedLength;
        p.crc = n->crc;
        p.mtime = n->mtime;
        if (cache) p.plain = cache->Find({p.ident, p.length, p.crc, p.mtime});
        if (!p.plain) p.content = n->content;
    }
    return p;
}

std::vector<CZTSearchPage> TakeSearchPages(CZTDocument& doc, const CZTPageNode* current,
                                           const CZTSearchOptions& options, CZTSearchTextCache* cache) {
    std::vector<CZTSearchPage> pages;
    const CZTPageTree& tree = doc.Tree();
    if (options.scope == CZTSearchScope::Page) {
        if (current) pages.push_back(TakeSearchPage(doc, current, options, cache));
        return pages;
    }
    const CZTPageNode* start = nullptr;
    bool subtree = false;
    if (options.scope == CZTSearchScope::Subtree) {
        if (!current) return pages;
        start = current;
        subtree = true;
    }
    CZTPageWalker walker(tree, start, subtree);
    CZTWalkStep step;
    while (walker.NextInWalk(step)) pages.push_back(TakeSearchPage(doc, step.node, options, cache));
    return pages;
}

std::string PageSearchText(std::string_view rtf, RtfConverter& converter) {
    std::string text;
    if (!converter.RtfToText(rtf, RtfTextMode::Search, text)) text.clear();
    return text;
}

void SearchPage(const CZTSearchPage& page, const CZTSearchOptions& options, const CZTMatcher& matcher,
                CZTSearchTextCache* cache, RtfConverter& converter, bool withContext,
                std::vector<CZTSearchHit>& hits) {
    if (matcher.Empty()) return;
    std::vector<size_t> at;
    auto add = [&](CZTSearchHit::Kind kind, size_t offset) {
        CZTSearchHit h;
        h.ident = page.ident;
        h.path = page.path;
        h.kind = kind;
        h.offset = int32_t(offset);
        h.searchText = options.text;
        hits.push_back(std::move(h));
        return &hits.back();
    };
    if (options.Titles()) {
        at.clear();
        matcher.FindAll(page.title, at);
        for (size_t o : at) {
            CZTSearchHit* h = add(CZTSearchHit::Kind::Title, o);
            if (withContext) h->context = page.title;
        }
    }
    if (options.Texts() && page.hasText) {
        std::shared_ptr<const std::string> plain = page.plain;
        if (!plain) {
            std::string rtf;
            std::string_view source;
            if (page.content.IsShared()) {
                source = page.content.SharedText();
            } else if (DecompressBuffer(page.content.str(), rtf)) {
                source = rtf;
            }
            auto text = std::make_shared<std::string>(PageSearchText(source, converter));
            plain = text;
            if (cache && !source.empty()) cache->Put({page.ident, page.length, page.crc, page.mtime}, plain);
        }
        at.clear();
        matcher.FindAll(*plain, at);
        int32_t line = 1;
        size_t lineStart = 0, counted = 0;
        for (size_t o : at) {
            for (; counted < o; ++counted)
                if ((*plain)[counted] == '\n') {
                    ++line;
                    lineStart = counted + 1;
                }
            CZTSearchHit* h = add(CZTSearchHit::Kind::Text, o);
            h->line = line;
            h->column = int32_t(o - lineStart);
            if (withContext) h->context = ContextOf(*plain, o, matcher.Length());
        }
    }
    if (options.Files()) {
        for (const std::string& name : page.files) {
            at.clear();
            matcher.FindAll(name, at);
            for (size_t o : at) {
                CZTSearchHit* h = add(CZTSearchHit::Kind::File, o);
                h->fileName = name;
                if (withContext) h->context = name;
            }
        }
    }
}

void CountHits(const std::vector<CZTSearchHit>& pageHits, CZTSearchCounters& counters) {
    if (pageHits.empty()) return;
    std::set<std::pair<int32_t, std::string>> files;
    std::set<int32_t> pages;
    for (const CZTSearchHit& h : pageHits) {
        pages.insert(h.ident);
        switch (h.kind) {
        case CZTSearchHit::Kind::Title: ++counters.titles; break;
        case CZTSearchHit::Kind::Text: ++counters.texts; break;
        case CZTSearchHit::Kind::File: files.insert({h.ident, h.fileName}); break;
        }
    }
    counters.pages += int(pages.size());
    counters.files += int(files.size());
}

// ---- the job

CZTSearchJob::CZTSearchJob(std::vector<CZTSearchPage> pages, CZTSearchOptions options,
                           std::shared_ptr<CZTSearchTextCache> cache, int threads, bool withContext)
    : pages_(std::move(pages)), options_(std::move(options)), cache_(std::move(cache)),
      threads_(std::max(1, threads)), withContext_(withContext) {
    results_.resize(pages_.size());
    finished_.assign(pages_.size(), 0);
}

CZTSearchJob::~CZTSearchJob() {
    Cancel();
    Wait();
}

void CZTSearchJob::Start() {
    if (!workers_.empty() || done_) return;
    int n = int(std::min<size_t>(size_t(threads_), std::max<size_t>(pages_.size(), 1)));
    running_ = n;
    for (int i = 0; i < n; ++i) workers_.emplace_back([this] { Work(); });
}

void CZTSearchJob::Cancel() { cancel_ = true; }

void CZTSearchJob::Wait() {
    for (std::thread& t : workers_)
        if (t.joinable()) t.join();
    workers_.clear();
}

size_t CZTSearchJob::PagesDone() const {
    std::lock_guard lock(mutex_);
    return ready_;
}

void CZTSearchJob::Work() {
    CZTMatcher matcher(options_.text, options_.matchCase, options_.wholeWord);
    RtfConverter converter;
    std::vector<CZTSearchHit> hits;
    for (;;) {
        if (cancel_) break;
        size_t i = next_.fetch_add(1);
        if (i >= pages_.size()) break;
        hits.clear();
        SearchPage(pages_[i], options_, matcher, cache_.get(), converter, withContext_, hits);
        // The copy is not needed any more.
        pages_[i].content.clear();
        pages_[i].plain.reset();
        std::lock_guard lock(mutex_);
        results_[i] = std::move(hits);
        hits = {};
        finished_[i] = 1;
        while (ready_ < pages_.size() && finished_[ready_]) ++ready_;
    }
    if (--running_ == 0) done_ = true;
}

std::vector<CZTSearchHit> CZTSearchJob::TakeHits(CZTSearchCounters* added) {
    std::vector<CZTSearchHit> out;
    std::lock_guard lock(mutex_);
    for (; taken_ < ready_; ++taken_) {
        if (added) CountHits(results_[taken_], *added);
        for (CZTSearchHit& h : results_[taken_]) out.push_back(std::move(h));
        results_[taken_] = {};
    }
    return out;
}

std::vector<CZTSearchHit> RunSearch(CZTDocument& doc, const CZTPageNode* current, const CZTSearchOptions& options,
                                    std::shared_ptr<CZTSearchTextCache> cache, int threads, bool withContext,
                                    CZTSearchCounters* counters) {
    CZTSearchJob job(TakeSearchPages(doc, current, options, cache.get()), options, cache, threads, withContext);
    job.Start();
    job.Wait();
    return job.TakeHits(counters);
}

} // namespace zt
