// The HTML site: a generated notebook of 5,000 small pages (9.6 MB of page
// RTF) against its fixed goal, and the ~100 MB benchmark document against
// what the bytes need in the same run: RTF to HTML of every page plus
// writing the pages and the attached files (inflated) as plain files.
// Times are the best of several runs: bench_site [RUNS] [notebook] (only the
// notebook). The sites go below TMPDIR. Prints a table.
#include "docgen.h"

#include "base/prompter.h"
#include "benchutil.h"
#include "core/document.h"
#include "exchange/htmlexport.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "text/pagertf.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void WritePlain(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += size_t(n);
    }
    if (fd >= 0) ::close(fd);
}

uint64_t PageRtfBytes(CZTDocument& doc) {
    uint64_t n = 0;
    for (const auto& e : doc.Tree().BuildPageList()) {
        CZTPageRecord r = doc.Archive().GetPage(e.ident);
        if (const std::string* t = r.GetText()) n += t->size();
    }
    return n;
}

struct SiteRun {
    double seconds = 0;
    size_t files = 0;
};

// The best of `runs` exports of the site, each into a fresh folder (emptied
// outside the timing).
SiteRun Site(CZTDocument& doc, const std::string& dir, int runs, int dirMode, bool search) {
    zt::SilentPrompter prompter(true);
    zt::HtmlExportOptions options;
    options.settings.dirMode = dirMode;
    options.searchPage = search;
    options.showMessages = false;
    SiteRun r;
    r.seconds = 1e30;
    for (int i = 0; i < runs; ++i) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const double s = zt::bench::BestSeconds(1, [&] {
            zt::ExportOutcome out = zt::ExportHtml(doc, dir, options, prompter);
            if (out.result != zt::ExchangeResult::Ok) std::fprintf(stderr, "site export failed\n");
            r.files = out.files;
        });
        r.seconds = std::min(r.seconds, s);
    }
    fs::remove_all(dir);
    return r;
}

// The limit for a site: RTF to HTML of every page, written with every
// attached file (inflated) as plain files into `dir`. Returns the bytes written.
uint64_t HtmlAndFiles(CZTDocument& doc, const std::string& dir) {
    uint64_t written = 0;
    int n = 0;
    zt::RtfConverter converter;
    for (const auto& e : doc.Tree().BuildPageList()) {
        std::string html;
        CZTPageRecord r = doc.Archive().GetPage(e.ident);
        if (const std::string* t = r.GetText()) converter.RtfToHtml(zt::TextToPageRtf(*t, 10, false), html);
        WritePlain(dir + "/" + std::to_string(n++) + ".htm", html);
        written += html.size();
        int32_t pos = 0;
        for (std::string name = doc.Archive().FileName(e.ident, pos); pos >= 0;
             name = doc.Archive().FileName(e.ident, pos)) {
            CZTFileRecord f = doc.Archive().GetFile(e.ident, name);
            const std::string* bytes = f.GetText();
            WritePlain(dir + "/" + std::to_string(n++), bytes ? *bytes : std::string());
            written += bytes ? bytes->size() : 0;
        }
    }
    return written;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string dir = fs::temp_directory_path() / "zt-bench-site";
    fs::remove_all(dir);
    zt::SilentPrompter prompter(true);

    // The notebook: 5,000 pages of about 1,920 bytes of RTF each.
    zt::bench::DocLayout small;
    small.pages = 5000;
    small.textBytes = 1920;
    CZTDocument notebook(prompter);
    zt::bench::Generate(notebook, small);
    const double notebookMb = double(PageRtfBytes(notebook)) / 1e6;
    const SiteRun flat = Site(notebook, dir, runs, 1, true);
    const SiteRun levels = Site(notebook, dir, runs, 0, true);
    const SiteRun bare = Site(notebook, dir, runs, 1, false);
    if (argc > 2 && std::string(argv[2]) == "notebook") {
        std::printf("notebook %.1f MB: flat %.3f s, levels %.3f s, flat without search %.3f s\n", notebookMb,
                    flat.seconds, levels.seconds, bare.seconds);
        return 0;
    }

    // The 100 MB document, and its limit: every page to HTML, written with
    // every attached file as plain files.
    zt::bench::DocLayout layout = zt::bench::HundredMegabytes();
    CZTDocument big(prompter);
    const uint64_t raw = zt::bench::Generate(big, layout);
    const SiteRun bigSite = Site(big, dir, std::max(1, runs / 2), 1, true);
    uint64_t outBytes = 0;
    double limitS = 1e30;
    for (int i = 0; i < std::max(1, runs / 2); ++i) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        limitS = std::min(limitS, zt::bench::BestSeconds(1, [&] { outBytes = HtmlAndFiles(big, dir); }));
    }
    fs::remove_all(dir);

    std::printf("Notebook: %d pages, %.1f MB of page RTF. Document: %d pages, %.1f MB uncompressed, "
                "%.1f MB of HTML and files written by the limit.\n\n",
                small.pages, notebookMb, layout.pages, double(raw) / 1e6, double(outBytes) / 1e6);
    std::printf("| operation | time | limit | ratio | goal |\n|---|---|---|---|---|\n");
    std::printf("| site of the notebook, flat (the default), with search page | %.3f s (%zu files) | 1.0 s | %.2f | <= 1.0 |\n",
                flat.seconds, flat.files, flat.seconds / 1.0);
    std::printf("| site of the notebook, with directory levels | %.3f s (%zu files) | 1.0 s | %.2f | <= 1.0 |\n",
                levels.seconds, levels.files, levels.seconds / 1.0);
    std::printf("| site of the notebook, flat, without search page | %.3f s (%zu files) | 1.0 s | %.2f | |\n",
                bare.seconds, bare.files, bare.seconds / 1.0);
    std::printf("| site of the 100 MB document, flat, with search page | %.3f s (%zu files) | RTF to HTML of every page "
                "+ writing pages and files %.3f s | %.2f | <= 1.5 |\n",
                bigSite.seconds, bigSite.files, limitS, bigSite.seconds / limitS);
    return 0;
}
