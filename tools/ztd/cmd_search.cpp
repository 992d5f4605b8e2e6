// Search and replace across a document: titles, page texts and file names.
#include "ztd.h"

#include "base/cp1252.h"
#include "core/pagepaths.h"
#include "search/hitlist.h"
#include "search/searcher.h"
#include "search/textcache.h"

#include <iostream>

namespace ztd {

namespace {

// Options and scope from the command line; `pathIndex` is the position of
// the optional page path. False (usage) when the path names no page.
bool TakeOptions(Context& c, const Args& a, size_t textIndex, size_t pathIndex, zt::CZTSearchOptions& o,
                 CZTPageNode*& current, int& rc) {
    o.text = zt::Utf8ToCp1252(a.positional[textIndex]);
    o.in = zt::CZTSearchOptions::InFor(a.Has("--titles"), a.Has("--texts"), a.Has("--files"));
    o.matchCase = a.Has("--case");
    o.wholeWord = a.Has("--word");
    o.scope = zt::CZTSearchScope::Document;
    current = nullptr;
    if (a.positional.size() > pathIndex) {
        current = c.Page(a.positional[pathIndex]);
        if (!current) {
            rc = kDocError;
            return false;
        }
        o.scope = a.Has("--page") ? zt::CZTSearchScope::Page : zt::CZTSearchScope::Subtree;
    }
    if (o.text.empty()) {
        rc = kUsage;
        return false;
    }
    return true;
}

void PrintHits(CZTDocument& doc, const std::vector<zt::CZTSearchHit>& hits, bool json) {
    if (json) std::cout << "[";
    bool first = true;
    for (const zt::CZTSearchHit& h : hits) {
        const CZTPageNode* node = doc.Tree().FindPage(h.ident);
        const std::string link = node ? zt::LinkPath(node) : std::string();
        const char* kind = h.kind == zt::CZTSearchHit::Kind::Title ? "title"
                         : h.kind == zt::CZTSearchHit::Kind::Text  ? "text"
                                                                   : "file";
        if (json) {
            std::cout << (first ? "" : ",") << "\n  {\"page\":" << JsonString(U8(link)) << ",\"path\":"
                      << JsonString(U8(h.path)) << ",\"ident\":" << h.ident << ",\"kind\":\"" << kind
                      << "\",\"offset\":" << h.offset << ",\"line\":" << h.line << ",\"column\":" << h.column;
            if (h.kind == zt::CZTSearchHit::Kind::File) std::cout << ",\"file\":" << JsonString(U8(h.fileName));
            std::cout << ",\"context\":" << JsonString(U8(h.context));
            if (h.replaced) std::cout << ",\"replacement\":" << JsonString(U8(h.replacement));
            std::cout << "}";
        } else {
            std::cout << U8(link) << "\t" << kind;
            if (h.kind == zt::CZTSearchHit::Kind::Text) std::cout << ":" << h.line << ":" << h.column;
            if (h.kind == zt::CZTSearchHit::Kind::File) std::cout << ":" << U8(h.fileName);
            std::cout << "\t" << h.offset << "\t" << U8(h.context) << "\n";
        }
        first = false;
    }
    if (json) std::cout << (first ? "]\n" : "\n]\n");
}

int Search(Context& c, const Args& a) {
    if (!c.Open(a.positional[1])) return kDocError;
    zt::CZTSearchOptions o;
    CZTPageNode* current = nullptr;
    int rc = kOk;
    if (!TakeOptions(c, a, 2, 3, o, current, rc)) return rc;
    auto hits = zt::RunSearch(c.doc, current, o, std::make_shared<zt::CZTSearchTextCache>(), 2, true);
    PrintHits(c.doc, hits, a.Has("--json"));
    return kOk;
}

int Replace(Context& c, const Args& a) {
    if (!c.Open(a.positional[1])) return kDocError;
    zt::CZTSearchOptions o;
    CZTPageNode* current = nullptr;
    int rc = kOk;
    if (!TakeOptions(c, a, 2, 4, o, current, rc)) return rc;
    const std::string replacement = zt::Utf8ToCp1252(a.positional[3]);
    zt::CZTHitList list;
    list.SetCache(std::make_shared<zt::CZTSearchTextCache>());
    list.Begin(o, current);
    zt::CZTSearchCounters counters;
    auto hits = zt::RunSearch(c.doc, current, o, list.Cache(), 2, true, &counters);
    list.Append(std::move(hits), counters);
    if (a.Has("--dry-run")) {
        PrintHits(c.doc, list.Rows(), a.Has("--json"));
        return kOk;
    }
    std::vector<size_t> rows;
    for (size_t i = 0; i < list.Size(); ++i) rows.push_back(i);
    auto result = list.Replace(c.doc, c.prompter, rows, replacement, replacement.empty());
    PrintHits(c.doc, list.Rows(), a.Has("--json"));
    if (result.replaced == 0) return kOk;
    return c.SaveBack();
}

} // namespace

void AddSearchCommands(std::vector<Command>& commands) {
    commands.push_back({"search", 2, Search,
                        "search DOC TEXT [PFAD] [--page] [--titles|--texts|--files] [--case] [--word] [--json]  "
                        "Fundstellen: Seite, Art, Position, Umgebung"});
    commands.push_back({"replace", 3, Replace,
                        "replace DOC TEXT NEU [PFAD] [--page] [--titles|--texts|--files] [--case] [--word] "
                        "[--dry-run] [--json]  ersetzt (NEU leer: löscht) und speichert"});
}

} // namespace ztd
