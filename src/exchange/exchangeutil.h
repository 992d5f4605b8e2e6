// Pieces shared by the exports and imports (not part of the interface).
#pragma once

#include "exchange/exchange.h"

#include <cstdint>
#include <string>
#include <string_view>

class CZTPageRecord;

namespace zt {

// Creates directories and files below a base directory whose components come
// from the export name table. Every directory on the way is opened without
// following symbolic links, and components must be plain names, so nothing
// is written outside the base.
//
// A file is written under a temporary name in its directory and renamed over
// its name when complete, through the directory's descriptor (the last one
// used is kept open, so a run of files in one directory opens it once).
class SafeTree {
public:
    explicit SafeTree(std::string base) : base_(std::move(base)) {}
    ~SafeTree();
    SafeTree(const SafeTree&) = delete;
    SafeTree& operator=(const SafeTree&) = delete;
    // `relative`: components (Windows-1252) joined by "/". On failure errno
    // tells why (EEXIST when the directory is there).
    bool MakeDirectory(std::string_view relative, std::string& error);
    bool WriteFile(std::string_view relative, std::string_view bytes, int64_t mtime, std::string& error);
    std::string DiskPath(std::string_view relative) const;
    // Flushes what was written below the base to the disk.
    bool Sync(std::string& error) const;

private:
    // Opens the directory `relative` (all of it) below the base; -1 on failure.
    int OpenDirectory(std::string_view relative, std::string& error) const;
    // The descriptor of the directory `relative`, kept for the next call.
    int Directory(std::string_view relative, std::string& error);
    std::string base_;
    int dirFd_ = -1;
    std::string dirName_;
    int fileMode_ = -1;
};

// The time given to exported files: at least 1 January 1980.
int64_t ExportFileTime(int64_t t);

// Adds up what a long operation did and asks whether to go on.
class ProgressMeter {
public:
    ProgressMeter(ExchangeProgress* progress, uint64_t total) : progress_(progress), total_(total) {}
    // False when the user asked to stop.
    bool Advance(uint64_t amount) {
        done_ += amount;
        if (!progress_) return true;
        if (!progress_->Step(done_ > total_ ? total_ : done_, total_)) stopped_ = true;
        return !stopped_;
    }
    bool Stopped() const { return stopped_; }

private:
    ExchangeProgress* progress_;
    uint64_t total_, done_ = 0;
    bool stopped_ = false;
};

// The name of a document file without directory and extension, as a safe
// name, "Unbenannt" when empty.
std::string DocumentExportName(const CZTDocument& doc);

// Appends RTF text to a page text: the existing text (plain text becomes
// RTF) with `rtfBody` (RTF control words and text) added before its end.
std::string AppendRtf(std::string_view pageText, std::string_view rtfBody);
// Windows-1252 text escaped for RTF, line feeds as paragraphs.
std::string RtfEscape(std::string_view text);

} // namespace zt
