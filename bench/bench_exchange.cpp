// Zip and directory export and zip import of the ~100 MB benchmark document,
// set against what the machine needs for the bytes themselves in the same run:
// writing the archive's bytes into a new file as durably as the export commits
// its archive (synced, renamed, directory synced), reading them, and RTF to text of every page
// plus inflating every file plus writing the same files. Prints a table.
#include "docgen.h"

#include "base/fileio.h"
#include "base/prompter.h"
#include "benchutil.h"
#include "core/compress.h"
#include "exchange/exchange.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "text/pagertf.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using zt::bench::WritePlain;

// The bytes into a new file under their final name, durably and never half
// visible: a temporary file written and synced, renamed, and the directory
// synced so that the new name survives a crash. Any safe writer of a new file
// needs these steps; the export uses the same.
void WriteNewFileDurably(const std::string& path, std::string_view bytes) {
    const std::string temp = path + ".tmp";
    WritePlain(temp, bytes, true);
    ::rename(temp.c_str(), path.c_str());
    const std::string dir = fs::path(path).parent_path().string();
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

int main(int argc, char** argv) {
    zt::bench::DocLayout layout = zt::bench::HundredMegabytes();
    if (argc > 1) layout.pages = std::atoi(argv[1]);
    const std::string dir = fs::temp_directory_path() / "zt-bench-exchange";
    fs::remove_all(dir);
    fs::create_directories(dir);
    zt::SilentPrompter prompter(true);
    CZTDocument doc(prompter);
    const uint64_t raw = zt::bench::Generate(doc, layout);
    const std::string zip = dir + "/doc.zip";

    // Zip export, files only: the stored deflate streams go out unchanged.
    zt::ExportOptions files;
    files.content = zt::ExportContent::FilesOnly;
    files.showMessages = false;
    const double zipS = zt::bench::BestSeconds(9, [&] {
        fs::remove(zip);
        zt::ExportToZip(doc, zip, files, prompter);
    });
    std::string archive;
    zt::ReadWholeFile(zip, archive);
    const double writeS = zt::bench::BestSeconds(9, [&] {
        fs::remove(dir + "/raw.bin");
        WriteNewFileDurably(dir + "/raw.bin", archive);
    });
    const double readS = zt::bench::BestSeconds(3, [&] {
        std::string back;
        zt::ReadWholeFile(zip, back);
    });
    const double importS = zt::bench::BestSeconds(3, [&] {
        CZTDocument target(prompter);
        target.New();
        zt::ImportZipFiles(target, {zip}, nullptr, prompter);
    });

    // Directory export with text files, against RTF to text of every page,
    // inflating every file and writing the same number of files and bytes.
    zt::ExportOptions text;
    text.showMessages = false;
    const double dirS = zt::bench::BestSeconds(1, [&] {
        fs::remove_all(dir + "/tree");
        fs::create_directories(dir + "/tree");
        zt::ExportToDirectory(doc, dir + "/tree", text, prompter);
    });
    fs::create_directories(dir + "/flat");
    uint64_t outBytes = 0;
    const double limitS = zt::bench::BestSeconds(1, [&] {
        int n = 0;
        zt::RtfConverter converter;
        for (const auto& e : doc.Tree().BuildPageList()) {
            CZTPageRecord r = doc.Archive().GetPage(e.ident);
            std::string plain;
            if (const std::string* t = r.GetText()) converter.RtfToText(zt::TextToPageRtf(*t, 10, false), zt::RtfTextMode::Text, plain);
            WritePlain(dir + "/flat/" + std::to_string(n++), plain);
            outBytes += plain.size();
            int32_t pos = 0;
            for (std::string name = doc.Archive().FileName(e.ident, pos); pos >= 0;
                 name = doc.Archive().FileName(e.ident, pos)) {
                CZTFileRecord f = doc.Archive().GetFile(e.ident, name);
                const std::string* bytes = f.GetText();
                WritePlain(dir + "/flat/" + std::to_string(n++), bytes ? *bytes : std::string());
                outBytes += bytes ? bytes->size() : 0;
            }
        }
    });
    fs::remove_all(dir);

    std::printf("Document: %d pages, %.1f MB uncompressed; archive %.1f MB; directory export %.1f MB.\n\n",
                layout.pages, double(raw) / 1e6, double(archive.size()) / 1e6, double(outBytes) / 1e6);
    std::printf("| operation | time | limit in the same run | ratio | goal |\n|---|---|---|---|---|\n");
    std::printf("| zip export, files only (no recompression) | %.3f s | writing the archive's bytes into a new file durably (write, fsync, rename, directory fsync) %.3f s | %.2f | <= 1.3 |\n",
                zipS, writeS, zipS / writeS);
    std::printf("| directory export with text files | %.3f s | RTF to text + inflate + writing the files %.3f s | %.2f | <= 1.5 |\n",
                dirS, limitS, dirS / limitS);
    std::printf("| zip import (into a fresh document) | %.3f s | reading the archive %.3f s | %.2f | <= 1.3 |\n",
                importS, readS, importS / readS);
    return 0;
}
