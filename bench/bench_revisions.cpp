// The revision container on the ~100 MB document: the rolling hash, chunking
// with SHA-1, open, and the incremental save after a one-page edit, next to the
// raw SHA-1, inflate and deflate figures of the same bytes in the same run.
// Prints a Markdown table.
#include "docgen.h"

#include "base/prompter.h"
#include "core/chunker.h"
#include "core/compress.h"
#include "core/revisions.h"
#include "core/serializer.h"
#include "security/crypto.h"

#include <chrono>
#include <cstdio>
#include "benchutil.h"

#include <filesystem>
#include <functional>
#include <string>
#include <fstream>
#include <sys/resource.h>
#include <thread>
#include <utility>

namespace {

double Seconds(const std::function<void()>& f, int repeat = 3) { return zt::bench::BestSeconds(repeat, f); }

double GBps(uint64_t bytes, double s) { return double(bytes) / s / 1e9; }

// Processor time of the whole process (all threads), in seconds.
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The best wall time of `repeat` runs and the processor time of that run.
std::pair<double, double> Timed(const std::function<void()>& f, int repeat = 3) {
    std::pair<double, double> best{1e9, 0};
    for (int i = 0; i < repeat; ++i) {
        const double c0 = CpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best.first) best = {s, CpuSeconds() - c0};
    }
    return best;
}

std::string LoadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string a;
    f >> a;
    return a.empty() ? "?" : a;
}

} // namespace

int main(int argc, char** argv) {
    zt::bench::DocLayout layout = zt::bench::HundredMegabytes();
    if (argc > 1) layout.pages = std::atoi(argv[1]);
    std::string dir = std::filesystem::temp_directory_path() / "zt-bench-revisions";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/bench.ztd";

    const std::string load = LoadAverage();
    zt::SilentPrompter prompter(true);
    CZTDocument doc(prompter);
    zt::bench::Generate(doc, layout);

    // The body of the document as the container stores it.
    std::string body;
    std::vector<std::string> problems;
    zt::WriteRevisionBody(doc.Archive().Core(), doc.Tree().BuildPageList(),
                          [&](std::string_view p) { body.append(p); }, problems);
    const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());

    uint8_t digest[zt::kSha1Size];
    double sha1S = Seconds([&] {
        zt::Sha1Hasher h;
        h.Update(body);
        h.Final(digest);
    });
    std::vector<size_t> candidates;
    double rollS = Seconds([&] {
        candidates.clear();
        zt::FindCutCandidates(bytes, zt::kChunkWindow, body.size(), candidates);
    });
    size_t chunks = 0;
    double chunkS = Seconds([&] {
        chunks = 0;
        zt::Sha1Hasher h;
        zt::CZTChunker chunker([&](std::string_view c) {
            h.Update(c);
            h.Final(digest);
            ++chunks;
        });
        chunker.Feed(body);
        chunker.Finish();
    });

    // First save: every chunk is new and compressed.
    double firstSaveS = Seconds([&] { doc.Save(path); }, 1);
    const CZTHistory& history = doc.Archive().Core().history;
    const size_t storedAfterFirst = history.Chunks().size();

    // Raw figures on the stored chunks: inflate them all, deflate the body.
    std::string joined(body.size(), '\0');
    double inflateS = Seconds([&] {
        size_t at = 0;
        for (const auto& c : history.Chunks()) {
            uint32_t len = 0, crc = 0;
            zt::BufferPrefix(c.bytes, len, crc);
            zt::DecompressBufferTo(c.bytes, joined.data() + at, len);
            at += len;
        }
    });
    double deflateS = Seconds([&] {
        for (size_t at = 0; at < body.size(); at += 20000)
            zt::CompressBuffer(std::string_view(body).substr(at, 20000));
    }, 1);

    const auto [openS, openCpu] = Timed([&] {
        CZTDocument d(prompter);
        d.Open(path);
    });

    // The usual road: open the document, edit one page, save. Every trial
    // edits another page.
    int trial = 0;
    auto editOne = [&](CZTDocument& d) {
        std::vector<CZTPageNode*> pages;
        for (const auto& e : d.Tree().BuildPageList()) pages.push_back(d.Tree().FindPage(e.ident));
        CZTPageNode* page = pages[pages.size() / 2 + size_t(trial++) * 97];
        std::string text = d.PageText(page);
        text.insert(text.size() / 2, " eine kleine \\b \xC4nderung\\b0 ");
        d.SetPageText(page, text);
    };
    auto incremental = [&](CZTDocument& d, size_t& newChunks) {
        std::pair<double, double> best{1e9, 0};
        for (int i = 0; i < 3; ++i) {
            editOne(d);
            const size_t before = d.Archive().Core().history.Chunks().size();
            auto t = Timed([&] { d.Save(path); }, 1);
            if (t.first < best.first) best = t;
            newChunks = std::max(newChunks, d.Archive().Core().history.Chunks().size() - before);
        }
        return best;
    };
    size_t newChunks = 0, newChunksSession = 0;
    CZTDocument opened(prompter);
    opened.Open(path);
    const auto [saveS, saveCpu] = incremental(opened, newChunks);
    const double memSaveS = Seconds([&] {
        editOne(opened);
        CZTDocStream s = CZTDocStream::StoringMemory();
        CZTDocSerializer ser(s);
        ser.Write(opened.Archive().Core(), opened.Tree().BuildPageList(), nullptr, true);
    });
    // The document made in this session holds its pages compressed, so a
    // save inflates every page.
    const auto [sessionSaveS, sessionCpu] = incremental(doc, newChunksSession);
    const double fileMB = double(std::filesystem::file_size(path)) / 1e6;
    const double base = inflateS + sha1S;

    std::printf("Load average of the machine when the run began: %s (2 cores). Wall times are the best of three;\n"
                "\"processor\" is the time of all threads of that run together.\n\n",
                load.c_str());
    std::printf("| figure | value | against |\n|---|---|---|\n");
    std::printf("| document: %d pages, %zu files; body %.1f MB in %zu chunks, file %.1f MB | | |\n", layout.pages,
                layout.fileSizes.size(), double(body.size()) / 1e6, chunks, fileMB);
    std::printf("| raw SHA-1 of the body | %.2f GB/s (%.3f s) | |\n", GBps(body.size(), sha1S), sha1S);
    std::printf("| raw inflate of the body's chunks | %.3f s | |\n", inflateS);
    std::printf("| raw deflate of the body | %.3f s | |\n", deflateS);
    std::printf("| rolling hash alone (one core) | %.2f GB/s | limit 1 GB/s |\n", GBps(body.size(), rollS));
    std::printf("| chunking with SHA-1 of every chunk (one core) | %.2f GB/s | limit 0.6 GB/s |\n",
                GBps(body.size(), chunkS));
    std::printf("| first save (every chunk new, atomic, fsync) | %.3f s | %.2f x deflate |\n", firstSaveS,
                firstSaveS / deflateS);
    std::printf("| open | %.3f s (processor %.3f s) | %.2f x inflate (limit 2) |\n", openS, openCpu,
                openS / inflateS);
    std::printf("| open, edit one page, save (atomic, fsync) | %.3f s (processor %.3f s) | %.2f x inflate+SHA-1 "
                "(limit 1.5) |\n",
                saveS, saveCpu, saveS / base);
    std::printf("| the same save into memory | %.3f s | %.2f x inflate+SHA-1 |\n", memSaveS, memSaveS / base);
    std::printf("| new chunks written by such a save | %zu | of %zu |\n", newChunks, storedAfterFirst);
    std::printf("| edit and save of the document made in this session (pages held compressed) | %.3f s (processor "
                "%.3f s) | %.2f x inflate+SHA-1 |\n",
                sessionSaveS, sessionCpu, sessionSaveS / base);
    std::filesystem::remove_all(dir);
    return 0;
}
