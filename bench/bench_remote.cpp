// Server documents over loopback (zettrix-server, SQLite): the request
// counts of opening a document of 3,000 pages, of showing a page that was not
// fetched yet and of a save after a few edits, and the time to open the
// document from the server against opening it from a local file (and against
// the raw inflate of its page texts, the machine's own limit).
// ZT_BENCH_REMOTE_FULL=1 uses the 100 MB document instead of the smaller one.
// Prints Markdown (bench/run.sh collects it into BENCHMARKS.md).
#include "docgen.h"
#include "harness.h"

#include "core/compress.h"
#include "core/document.h"
#include "remote/remotedoc.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace zt;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

} // namespace

int main() {
    SilentPrompter prompter(true);
    test::TempDir dir;
    test::CServerProcess server(dir / "zt.db", dir.path());
    if (!server.AddUser("bench", "bench-pw", 2) ||
        !server.Start({"--inline-files", "65536", "--max-request", "400000000"})) {
        std::printf("zettrix-server did not start\n");
        return 1;
    }
    const bool full = std::getenv("ZT_BENCH_REMOTE_FULL") != nullptr;
    bench::DocLayout layout;
    if (full) {
        layout = bench::HundredMegabytes();
    } else {
        layout.pages = 3000;
        layout.textBytes = 3000;
        layout.fileSizes = {20000, 150000, 800000};
    }
    CZTDocument local(prompter);
    local.New();
    uint64_t bytes = bench::Generate(local, layout);
    const std::string localPath = dir / "local.ztd";
    local.Save(localPath);
    const int pages = int(local.Tree().CountPages());

    remote::Connection conn{"bench", "bench-pw", "127.0.0.1:" + std::to_string(server.Port()), "ztweb/ztDB.php",
                            false};
    remote::CServerLink link(prompter, conn);
    if (!link.CreateDocument("Bench")) return 1;
    srv::GetContentAnswer list;
    link.LoadContentList(list);
    std::string ident;
    for (const auto& d : list.docs)
        if (d.name == "Bench") ident = d.ident;
    {
        remote::CRemoteDocument up(link);
        up.Open("Bench", ident, true);
        up.ReplaceWith(local);
        if (!up.Save()) {
            std::printf("upload failed\n");
            return 1;
        }
        up.Close();
    }

    // Opening from the server: one request for the page list.
    remote::CServerLink reader(prompter, conn);
    remote::CRemoteDocument doc(reader);
    int64_t r0 = reader.Transport().RequestCount();
    auto t0 = Clock::now();
    doc.Open("Bench", ident, true);
    auto t1 = Clock::now();
    int64_t openRequests = reader.Transport().RequestCount() - r0;
    // The first page shown: one round trip.
    r0 = reader.Transport().RequestCount();
    auto t2 = Clock::now();
    CZTPageRecord first = doc.GetPage(1);
    auto t3 = Clock::now();
    int64_t pageRequests = reader.Transport().RequestCount() - r0;
    // Every page and file fetched (what an export needs).
    r0 = reader.Transport().RequestCount();
    auto t4 = Clock::now();
    doc.FetchAll(true);
    auto t5 = Clock::now();
    int64_t allRequests = reader.Transport().RequestCount() - r0;

    // Three pages and one file changed: the tree and one upload.
    for (int p : {10, 1500, 2999})
        if (p <= doc.PageCount()) doc.PutPage(p, doc.GetPage(p));
    CZTFileRecord f = CZTFileRecord::New("neu.bin", "bench");
    f.SetContent(std::string(100000, 'x'), "bench");
    doc.PutFile(2, f);
    r0 = reader.Transport().RequestCount();
    auto t6 = Clock::now();
    bool saved = doc.Save();
    auto t7 = Clock::now();
    int64_t saveRequests = reader.Transport().RequestCount() - r0;
    doc.Close();

    // The local file.
    CZTDocument again(prompter);
    auto l0 = Clock::now();
    again.Open(localPath);
    auto l1 = Clock::now();
    // Raw limit: inflating every page text once.
    uint64_t raw = 0;
    auto i0 = Clock::now();
    for (const auto& e : again.Tree().BuildPageList()) {
        CZTPageRecord r = again.Archive().GetPage(e.ident);
        std::string out;
        if (r.method == 1 && DecompressBuffer(r.content.str(), out)) raw += out.size();
    }
    auto i1 = Clock::now();

    std::printf("Document: %d pages, %.1f MB of text and files (%s), loopback, SQLite.\n\n", pages,
                double(bytes) / 1e6, full ? "the 100 MB benchmark document" : "a smaller stand-in for the 100 MB one");
    std::printf("| measure | requests | time | |\n|---|---|---|---|\n");
    std::printf("| open from the server (page list) | %lld | %.1f ms | one request, no page bodies |\n",
                (long long)openRequests, Ms(t1 - t0));
    std::printf("| show a page not fetched yet | %lld | %.2f ms | one round trip%s |\n", (long long)pageRequests,
                Ms(t3 - t2), first.valid ? "" : " (failed)");
    std::printf("| fetch every page and file | %lld | %.1f ms | one per page body and per large file |\n",
                (long long)allRequests, Ms(t5 - t4));
    std::printf("| save after 3 page edits and 1 new file | %lld | %.1f ms | the tree with 3 bodies, then 1 file%s |\n",
                (long long)saveRequests, Ms(t7 - t6), saved ? "" : " (failed)");
    std::printf("| open the local file | | %.1f ms | |\n", Ms(l1 - l0));
    std::printf("| inflate every page text (raw limit) | | %.1f ms | %.1f MB |\n", Ms(i1 - i0), double(raw) / 1e6);
    std::printf("\nratio server open / local open: %.2f; server open + every page and file / local open: %.2f\n",
                Ms(t1 - t0) / Ms(l1 - l0), (Ms(t1 - t0) + Ms(t5 - t4)) / Ms(l1 - l0));
    return 0;
}
