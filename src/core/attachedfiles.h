// The attached files of a page, without windows: storing, importing files and
// directory trees, exporting, temporary copies for other programs, the name
// conflict rule and the binary test. The files view, ztd and scripts use it.
// Names in the store are Windows-1252 bytes; paths on disk are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/pagetree.h"

class CZTDocument;
class CZTPageNode;

namespace zt {

class Prompter;

// ---- binary test

enum class FileKind { Binary, Rtf, Text };

// The kind of content by its first 60 bytes: any byte below 0x20 other than
// tab, line feed and carriage return, or 0x7F, means binary; else RTF when it
// starts with "{\rtf1", else text.
FileKind LooksBinary(std::string_view head);
// The same for a file; a file that cannot be read counts as binary.
FileKind LooksBinaryFile(const std::string& path);

// ---- names

// A store name (Windows-1252) as a file name for the disk (UTF-8): the
// characters the disk name rule replaces become "-", control characters too,
// and a name that would be "." or ".." or empty gets "!" appended. At most
// 200 bytes (the extension kept).
std::string SafeDiskName(std::string_view name);

// The name itself when the page has no file of that name, else the first free
// name with " (#N)" before the extension.
std::string MakeUniqueFileName(CZTDocument& doc, int32_t ident, std::string_view name);

// ---- the name conflict question

enum class ConflictAnswer { Overwrite, Unique, OverwriteAll, UniqueAll, Retry, Skip, Cancel };

// Asks what to do with a name that is taken ("Datei existiert bereits"). The
// name (Windows-1252) may be edited, which matters for Retry.
class ConflictAsker {
public:
    virtual ~ConflictAsker() = default;
    virtual ConflictAnswer Ask(std::string& name, const std::string& source) = 0;
};

// The conflict rule of one batch: the two answers for all hold for the rest
// of the batch. Without an asker every conflict is answered with Unique.
class ConflictResolver {
public:
    enum class Outcome { Store, Skip, Cancel };

    explicit ConflictResolver(ConflictAsker* asker = nullptr) : asker_(asker) {}

    // Settles `name` against `exists`; on Store the name is free, or taken
    // and `overwrite` is set. `unique` makes a free name from a taken one.
    Outcome Resolve(std::string& name, const std::string& source, const std::function<bool(const std::string&)>& exists,
                    const std::function<std::string(const std::string&)>& unique, bool& overwrite);
    bool Cancelled() const { return cancelled_; }

private:
    enum class Mode { Ask, OverwriteAll, UniqueAll };
    ConflictAsker* asker_;
    Mode mode_ = Mode::Ask;
    bool cancelled_ = false;
};

// ---- storing and importing

// Stores bytes as the page's file `name` (added or replacing one of that name,
// which keeps its creator and creation time); modification time `time`
// (positive). The page gets FilesChanged and the document is marked modified.
bool StoreFile(CZTDocument& doc, CZTPageNode* page, const std::string& name, std::string_view bytes, int32_t time);

struct ImportOptions {
    // Where a directory given at the top becomes a page: first child of the
    // page (AsChild) or directly after it (AsNeighbour).
    CZTPageTree::Placement placement = CZTPageTree::Placement::AsChild;
    // Directory levels followed below a directory given at the top.
    int maxDepth = 32;
    // Files larger than this are refused.
    int64_t maxFileSize = int64_t(1) << 30;
    // Paths longer than this are not followed.
    size_t maxPathLength = 259;
};

struct ImportResult {
    int imported = 0;     // files stored
    int pages = 0;        // pages made for directories
    bool cancelled = false;
};

// Imports files and directories into `page` in order. A directory becomes a
// new page titled with its name (see ImportOptions::placement) that receives
// its files; its subdirectories become further pages, first children of it,
// in name order. Symbolic links to directories are not followed, links to
// files only when they point into the directory tree being imported; only
// regular files are read. Errors are told through `prompter`; the progress
// text is "Importiere Dateien...".
ImportResult ImportFiles(CZTDocument& doc, CZTPageNode* page, const std::vector<std::string>& paths,
                         ConflictResolver& conflicts, Prompter& prompter, const ImportOptions& options = {});
// Imports one file under `name` (conflict rule first). False when it was not
// stored (skipped, cancelled or failed).
bool ImportFile(CZTDocument& doc, CZTPageNode* page, const std::string& path, std::string name,
                ConflictResolver& conflicts, Prompter& prompter, const ImportOptions& options = {});

// ---- exporting

// The file's content, or false with the user told ("Datei '%s' nicht
// gefunden." or "Datei ist zerstört. Unleserlich.").
bool FileContent(CZTDocument& doc, int32_t ident, const std::string& name, std::string& bytes, Prompter& prompter);

// Writes the file's content to `path` (replacing it). Errors are told.
bool ExportFile(CZTDocument& doc, int32_t ident, const std::string& name, const std::string& path,
                Prompter& prompter);
// Writes the files into `folder` under their safe disk names; a taken path
// runs the conflict rule with unique names on disk. Returns the count written.
int ExportFiles(CZTDocument& doc, int32_t ident, const std::vector<std::string>& names, const std::string& folder,
                ConflictResolver& conflicts, Prompter& prompter);

// ---- temporary copies

// The temporary copies a document wrote for other programs. Copies go into a
// private directory (mode 0700) of their own, made on first use under the
// temporary directory, or under $XDG_RUNTIME_DIR for an encrypted document so
// that the plain content does not reach a disk. Every copy has a path of its
// own, so two files of the same name never share one. Whatever is left is
// removed by Clear and by the destructor.
class CZTTempFiles {
public:
    CZTTempFiles() = default;
    ~CZTTempFiles();
    CZTTempFiles(const CZTTempFiles&) = delete;
    CZTTempFiles& operator=(const CZTTempFiles&) = delete;

    // A new, free path for a file named `diskName` (UTF-8); the empty file
    // is created so that the path stays ours. Empty on failure.
    std::string NewPath(const std::string& diskName, bool privateContent);
    // Forgets a path that was moved away or deleted by someone else.
    void Forget(const std::string& path);
    // Deletes one copy and forgets it.
    void Remove(const std::string& path);
    bool Contains(const std::string& path) const;
    const std::vector<std::string>& Paths() const { return paths_; }
    // Deletes every copy and the directories.
    void Clear();
    // The directory of plain or private copies (empty before first use).
    const std::string& Directory(bool privateContent) const { return privateContent ? privateDir_ : plainDir_; }

private:
    std::string& DirectoryFor(bool privateContent);
    std::string plainDir_, privateDir_;
    std::vector<std::string> paths_;
};

// Writes the file to a new temporary copy and records it. Empty when the file
// is missing or unreadable (the user was told).
std::string WriteTempCopy(CZTDocument& doc, int32_t ident, const std::string& name, CZTTempFiles& temps,
                          Prompter& prompter);

// Reads a changed copy back as the page's file `name`. False with the user told.
bool ReadBackFile(CZTDocument& doc, CZTPageNode* page, const std::string& name, const std::string& path,
                  Prompter& prompter);

} // namespace zt
