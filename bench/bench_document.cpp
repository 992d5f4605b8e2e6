// Open and plain save of a ~100 MB document, next to what raw zlib needs to
// inflate and deflate the same bytes in the same run. Prints a Markdown table.
#include "docgen.h"

#include "base/prompter.h"
#include "core/compress.h"

#include <chrono>
#include <cstdio>
#include "benchutil.h"

#include <filesystem>
#include <string>
#include <zlib.h>

namespace {

double Seconds(const std::function<void()>& f, int repeat = 3) { return zt::bench::BestSeconds(repeat, f); }

} // namespace

int main(int argc, char** argv) {
    zt::bench::DocLayout layout = zt::bench::HundredMegabytes();
    if (argc > 1) layout.pages = std::atoi(argv[1]);
    std::string dir = std::filesystem::temp_directory_path() / "zt-bench";
    std::filesystem::create_directories(dir);
    std::string path = dir + "/bench.ztd", copy = dir + "/bench-copy.ztd";

    zt::SilentPrompter prompter(true);
    CZTDocument doc(prompter);
    uint64_t raw = zt::bench::Generate(doc, layout);
    // The plain form: a normal save writes the revision container, which
    // bench_revisions measures.
    CZTArchive::CopyOptions plainForm;
    plainForm.keepHeader = true;
    if (!doc.Archive().SaveCopy(path, doc.Tree().BuildPageList(), plainForm)) return 1;

    // The same bytes for the raw figures: every page text and file, compressed
    // and uncompressed.
    std::vector<std::string> plain, packed;
    for (const auto& e : doc.Tree().BuildPageList()) {
        CZTPageRecord r = doc.Archive().GetPage(e.ident);
        if (const std::string* t = r.GetText()) plain.push_back(*t), packed.push_back(r.content);
        int32_t pos = 0;
        for (std::string n = doc.Archive().FileName(e.ident, pos); pos >= 0; n = doc.Archive().FileName(e.ident, pos)) {
            CZTFileRecord f = doc.Archive().GetFile(e.ident, n);
            std::string buffer;
            bool isRaw = false;
            f.LoadCompressed(buffer, isRaw);
            plain.push_back(*f.GetText());
            packed.push_back(buffer);
        }
    }
    double deflateS = Seconds([&] {
        for (const auto& p : plain) zt::CompressBuffer(p);
    }, 1);
    double inflateS = Seconds([&] {
        std::string out;
        for (const auto& p : packed) zt::DecompressBuffer(p, out);
    });
    double openS = Seconds([&] {
        CZTDocument d(prompter);
        d.Open(path);
    });
    double openVerifyS = Seconds([&] {
        CZTDocument d(prompter);
        d.Open(path);
        for (const auto& e : d.Tree().BuildPageList()) d.Archive().GetPage(e.ident).GetText();
    });
    CZTArchive::CopyOptions keep;
    keep.keepHeader = true;
    double saveS = Seconds([&] { doc.Archive().SaveCopy(copy, doc.Tree().BuildPageList(), keep); });
    double fileMB = double(std::filesystem::file_size(path)) / 1e6;

    std::printf("| figure | seconds | ratio |\n|---|---|---|\n");
    std::printf("| document: %d pages, %zu files, %.1f MB uncompressed, %.1f MB on disk | | |\n", layout.pages,
                layout.fileSizes.size(), double(raw) / 1e6, fileMB);
    std::printf("| raw zlib inflate of all contents | %.3f | 1.00 |\n", inflateS);
    std::printf("| raw zlib deflate of all contents | %.3f | 1.00 |\n", deflateS);
    std::printf("| open (contents stay compressed until used) | %.3f | %.2f x inflate |\n", openS, openS / inflateS);
    std::printf("| open and inflate every page text | %.3f | %.2f x inflate |\n", openVerifyS, openVerifyS / inflateS);
    std::printf("| plain save (atomic, fsync) | %.3f | %.2f x deflate |\n", saveS, saveS / deflateS);
    std::filesystem::remove_all(dir);
    return 0;
}
