// Feeds arbitrary bytes to the zip reader as an archive file and reads every
// member it accepts: both read modes must agree, no member may yield more
// than it states, and a member's compressed buffer must inflate to its data.
#include "core/compress.h"
#include "exchange/zip.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = [] {
        char name[] = "/tmp/fuzz_zip-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        std::atexit([] { unlink(path.c_str()); });
        return std::string(name);
    }();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    zt::ZipArchive all, lazy;
    const bool a = all.Open(path, zt::ZipArchive::kReadAll);
    const bool b = lazy.Open(path, zt::ZipArchive::kReadOnDemand);
    if (a != b) __builtin_trap();
    if (!b) return 0;
    if (all.EntryCount() != lazy.EntryCount() || lazy.EntryCount() > zt::ZipArchive::kMaxEntries) __builtin_trap();
    for (size_t i = 0; i < lazy.EntryCount(); ++i) {
        std::string bytes, buffer, back;
        (void)lazy.EntryName(i);
        (void)lazy.EntryTime(i);
        if (lazy.ReadEntryData(i, bytes)) {
            if (bytes.size() != lazy.Entry(i).uncompressedSize) __builtin_trap();
            if (!lazy.GetEntryBuffer(i, buffer)) __builtin_trap();
            if (!bytes.empty() && (!zt::DecompressBuffer(buffer, back) || back != bytes)) __builtin_trap();
        }
        std::string other;
        if (all.ReadEntryData(i, other) && other != bytes) __builtin_trap();
    }
    return 0;
}
