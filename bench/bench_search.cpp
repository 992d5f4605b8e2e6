// Searching the 100 MB benchmark document: a word that is absent, on one and
// on two threads, against the machine's own cost of the same work's raw
// parts measured in the same run (inflate of every page text and the RTF to
// text conversion of it, on one core); and a second search of the unchanged
// document, which takes the cached plain texts.
#include "benchutil.h"
#include "docgen.h"

#include "base/prompter.h"
#include "core/compress.h"
#include "core/document.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "search/searcher.h"
#include "search/textcache.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

using zt::bench::BestSeconds;

namespace {
std::string LoadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string a;
    f >> a;
    return a.empty() ? "?" : a;
}
} // namespace

int main() {
    const std::string load = LoadAverage();
    zt::SilentPrompter prompter;
    CZTDocument doc(prompter);
    doc.New();
    zt::bench::Generate(doc, zt::bench::HundredMegabytes());

    // The raw parts: inflate and convert every page text, one core.
    size_t rtfBytes = 0, plainBytes = 0, pages = 0;
    CZTPageList list = doc.Tree().BuildPageList();
    const double inflateText = BestSeconds(3, [&] {
        zt::RtfConverter converter;
        std::string rtf, text;
        rtfBytes = plainBytes = pages = 0;
        for (const auto& e : list) {
            const CZTNode* n = doc.Archive().Core().Node(e.ident);
            if (!n || n->method != 1) continue;
            rtf.clear();
            if (n->content.IsShared())
                rtf.assign(n->content.SharedText());
            else if (!zt::DecompressBuffer(n->content.str(), rtf))
                continue;
            converter.RtfToText(rtf, zt::RtfTextMode::Search, text);
            rtfBytes += rtf.size();
            plainBytes += text.size();
            ++pages;
        }
    });

    zt::CZTSearchOptions o;
    o.text = "Xylophonschl\xfc" "ssel"; // in no page
    o.scope = zt::CZTSearchScope::Document;
    size_t hits = 0;
    auto search = [&](int threads, std::shared_ptr<zt::CZTSearchTextCache> cache) {
        hits = zt::RunSearch(doc, nullptr, o, cache, threads).size();
    };
    const double one = BestSeconds(3, [&] { search(1, nullptr); });
    const double two = BestSeconds(3, [&] { search(2, nullptr); });
    auto cache = std::make_shared<zt::CZTSearchTextCache>();
    const double first = BestSeconds(1, [&] { search(2, cache); });
    const double second = BestSeconds(3, [&] { search(2, cache); });
    o.text = "projekt";
    const double present = BestSeconds(3, [&] { search(2, cache); });
    const size_t presentHits = hits;

    std::printf("Load average of the machine when the run began: %s (%u cores, shared with other builds, so the\n"
                "second thread finds little free time). Wall times are the best of three.\n\n",
                load.c_str(), std::thread::hardware_concurrency());
    std::printf("| figure | seconds | ratio |\n|---|---|---|\n");
    std::printf("| document: %zu pages with text, %.1f MB of page RTF, %.1f MB of plain text | | |\n", pages,
                rtfBytes / 1e6, plainBytes / 1e6);
    std::printf("| raw: inflate + RTF to text of every page, one core | %.3f | 1.00 |\n", inflateText);
    std::printf("| search for an absent word, one thread | %.3f | %.2f x raw (limit 1.5) |\n", one, one / inflateText);
    std::printf("| search for an absent word, two threads (%u cores) | %.3f | %.2f x raw |\n",
                std::thread::hardware_concurrency(), two, two / inflateText);
    std::printf("| first search filling the plain text cache, two threads | %.3f | %.2f x raw |\n", first,
                first / inflateText);
    std::printf("| second search, no page changed (cached plain texts, %.1f MB) | %.3f | limit 0.2 s |\n",
                cache->Bytes() / 1e6, second);
    std::printf("| cached search for a common word (%zu hits, case ignored) | %.3f | |\n", presentHits, present);
    return 0;
}
