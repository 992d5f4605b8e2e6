// The HTML site: a generated notebook of 5,000 small pages (9.6 MB of page
// RTF) against its fixed goal of 1.0 s, and the ~100 MB benchmark document
// against what the bytes need in the same run: RTF to HTML of every page plus
// writing the pages and the attached files (inflated) as plain files, synced
// once as the site is.
//
// Creating thousands of files costs what the file system makes it cost: the
// notebook's site is measured in memory (/dev/shm, the program's own cost)
// and on the disk (TMPDIR), each beside writing the same files plainly on the
// same file system in the same run. Times are the best of several runs:
// bench_site [RUNS] [notebook] (notebook only). Prints a table.
#include "docgen.h"

#include "base/fileio.h"
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
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using zt::bench::WritePlain;

uint64_t PageRtfBytes(CZTDocument& doc) {
    uint64_t n = 0;
    for (const auto& e : doc.Tree().BuildPageList()) {
        CZTPageRecord r = doc.Archive().GetPage(e.ident);
        if (const std::string* t = r.GetText()) n += t->size();
    }
    return n;
}

double ProcessorSeconds() {
    struct rusage u;
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct SiteRun {
    double seconds = 0;
    double processor = 1e30; // the least processor time of the runs
    size_t files = 0;
    std::vector<std::string> contents; // the bytes of every file of the last site
};

// The best of `runs` exports of the site, each into a fresh folder (emptied
// outside the timing).
SiteRun Site(CZTDocument& doc, const std::string& dir, int runs, int dirMode, bool search, bool keep = false) {
    zt::SilentPrompter prompter(true);
    zt::HtmlExportOptions options;
    options.settings.dirMode = dirMode;
    options.searchPage = search;
    options.showMessages = false;
    SiteRun r;
    r.seconds = 1e30;
    std::string written;
    for (int i = 0; i < runs; ++i) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const double cpu = ProcessorSeconds();
        const double s = zt::bench::BestSeconds(1, [&] {
            zt::ExportOutcome out = zt::ExportHtml(doc, dir, options, prompter);
            if (out.result != zt::ExchangeResult::Ok) std::fprintf(stderr, "site export failed\n");
            r.files = out.files;
            written = out.written;
        });
        r.processor = std::min(r.processor, ProcessorSeconds() - cpu);
        r.seconds = std::min(r.seconds, s);
    }
    if (keep)
        for (const auto& e : fs::recursive_directory_iterator(written))
            if (e.is_regular_file()) {
                r.contents.emplace_back();
                zt::ReadWholeFile(e.path().string(), r.contents.back());
            }
    fs::remove_all(dir);
    return r;
}

// The best of `runs` times to write `files` as plain files into a fresh
// directory below `dir`, synced once.
double PlainFiles(const std::vector<std::string>& files, const std::string& dir, int runs) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        best = std::min(best, zt::bench::BestSeconds(1, [&] {
            for (size_t n = 0; n < files.size(); ++n) WritePlain(dir + "/" + std::to_string(n), files[n]);
            zt::SyncFileSystem(dir);
        }));
    }
    fs::remove_all(dir);
    return best;
}

// The limit of a site: RTF to HTML of every page, written with every attached
// file (inflated) as plain files into `dir`, synced once. Returns the bytes.
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
    zt::SyncFileSystem(dir);
    return written;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const bool notebookOnly = argc > 2 && std::string(argv[2]) == "notebook";
    const std::string disk = fs::temp_directory_path() / "zt-bench-site";
    const std::string memory = fs::is_directory("/dev/shm") ? "/dev/shm/zt-bench-site" : disk;
    zt::SilentPrompter prompter(true);
    double load = 0;
    ::getloadavg(&load, 1);

    // The notebook: 5,000 pages of about 1,920 bytes of RTF each.
    zt::bench::DocLayout small;
    small.pages = 5000;
    small.textBytes = 1920;
    CZTDocument notebook(prompter);
    zt::bench::Generate(notebook, small);
    const double notebookMb = double(PageRtfBytes(notebook)) / 1e6;
    const SiteRun flatMem = Site(notebook, memory, runs, 1, true, true);
    const double plainMem = PlainFiles(flatMem.contents, memory, runs);
    const SiteRun levelsMem = Site(notebook, memory, runs, 0, true);
    const SiteRun bareMem = Site(notebook, memory, runs, 1, false);
    const SiteRun flatDisk = Site(notebook, disk, runs, 1, true);
    const double plainDisk = PlainFiles(flatMem.contents, disk, runs);
    uint64_t siteBytes = 0;
    for (const std::string& f : flatMem.contents) siteBytes += f.size();

    std::printf("Notebook: %d pages, %.1f MB of page RTF; its site %zu files, %.1f MB.\n", small.pages, notebookMb,
                flatMem.files, double(siteBytes) / 1e6);
    if (notebookOnly) {
        std::printf("memory: flat %.3f s (processor %.3f s; plain files %.3f s), levels %.3f s, no search %.3f s; "
                    "disk: flat %.3f s (processor %.3f s; plain files %.3f s)\n",
                    flatMem.seconds, flatMem.processor, plainMem, levelsMem.seconds, bareMem.seconds, flatDisk.seconds,
                    flatDisk.processor, plainDisk);
        return 0;
    }

    // The 100 MB document against its limit, on the disk and in memory. The
    // site and the limit take turns, so that both meet the file system in
    // the same state (creating files after many deletions costs more).
    zt::bench::DocLayout layout = zt::bench::HundredMegabytes();
    CZTDocument big(prompter);
    const uint64_t raw = zt::bench::Generate(big, layout);
    const int bigRuns = runs;
    SiteRun bigSite, bigBare, bigMem;
    bigSite.seconds = bigBare.seconds = bigMem.seconds = 1e30;
    uint64_t outBytes = 0;
    double limitS = 1e30, limitMem = 1e30;
    auto better = [](SiteRun& best, const SiteRun& r) {
        best.seconds = std::min(best.seconds, r.seconds);
        best.processor = std::min(best.processor, r.processor);
    };
    for (int i = 0; i < bigRuns; ++i) {
        better(bigSite, Site(big, disk, 1, 1, true));
        fs::remove_all(disk);
        fs::create_directories(disk);
        limitS = std::min(limitS, zt::bench::BestSeconds(1, [&] { outBytes = HtmlAndFiles(big, disk); }));
        fs::remove_all(disk);
        better(bigBare, Site(big, disk, 1, 1, false));
        better(bigMem, Site(big, memory, 1, 1, true));
        fs::remove_all(memory);
        fs::create_directories(memory);
        limitMem = std::min(limitMem, zt::bench::BestSeconds(1, [&] { HtmlAndFiles(big, memory); }));
        fs::remove_all(memory);
    }

    std::printf("Document: %d pages, %.1f MB uncompressed; the limit writes %.1f MB of HTML and files.\n\n",
                layout.pages, double(raw) / 1e6, double(outBytes) / 1e6);
    std::printf("Load average when the run began: %.2f (%ld cores). Wall times are the best of %d runs (the 100 MB "
                "document: %d); \"processor\" is the least processor time of those runs.\n\n",
                load, ::sysconf(_SC_NPROCESSORS_ONLN), runs, bigRuns);
    std::printf("| operation | time | against, same run | ratio | goal |\n|---|---|---|---|---|\n");
    std::printf("| notebook site in memory, flat (the default), search page | %.3f s (processor %.3f s) | goal 1.0 s "
                "| %.2f | <= 1.0 |\n",
                flatMem.seconds, flatMem.processor, flatMem.seconds / 1.0);
    std::printf("| the same | | writing its %zu files plainly in memory %.3f s | %.2f | |\n", flatMem.contents.size(),
                plainMem, flatMem.seconds / plainMem);
    std::printf("| notebook site in memory, directory levels | %.3f s (processor %.3f s) | goal 1.0 s | %.2f | <= 1.0 |\n",
                levelsMem.seconds, levelsMem.processor, levelsMem.seconds / 1.0);
    std::printf("| notebook site in memory, flat, no search page | %.3f s (processor %.3f s) | goal 1.0 s | %.2f | |\n",
                bareMem.seconds, bareMem.processor, bareMem.seconds / 1.0);
    std::printf("| notebook site on the disk, flat, search page | %.3f s (processor %.3f s) | writing its files plainly "
                "on the disk %.3f s | %.2f | |\n",
                flatDisk.seconds, flatDisk.processor, plainDisk, flatDisk.seconds / plainDisk);
    std::printf("| site of the 100 MB document on the disk, flat, search page | %.3f s (processor %.3f s) | RTF to HTML "
                "of every page + writing pages and files, synced, %.3f s | %.2f | <= 1.5 |\n",
                bigSite.seconds, bigSite.processor, limitS, bigSite.seconds / limitS);
    std::printf("| the same, no search page | %.3f s (processor %.3f s) | the same limit | %.2f | |\n", bigBare.seconds,
                bigBare.processor, bigBare.seconds / limitS);
    std::printf("| the same in memory, search page | %.3f s (processor %.3f s) | the limit in memory %.3f s | %.2f | |\n",
                bigMem.seconds, bigMem.processor, limitMem, bigMem.seconds / limitMem);
    return 0;
}
