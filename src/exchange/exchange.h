// Directory trees and zip archives: a document, a subtree or a page written
// out as directories and files (or zip members), and directories, zip
// archives and document files read in as pages. Without windows: questions
// and messages go through the Prompter, progress and cancelling through an
// ExchangeProgress.
//
// Names written to the disk come from titles and file names, which a
// document controls: every name passes the disk name rule, Windows device
// names get "!" appended, overlong names are shortened, and every directory
// is opened component by component without following symbolic links, so no
// write leaves the chosen target. An import either completes or leaves the
// document as it was (a failed or cancelled import is rolled back).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CZTDocument;
class CZTPageNode;
class CZTPageTree;

namespace zt {

class Prompter;

// Told how far a long export or import has come; answering false stops it.
class ExchangeProgress {
public:
    virtual ~ExchangeProgress() = default;
    virtual bool Step(uint64_t done, uint64_t total) = 0;
};

// ---- text formats of the exports and imports

enum TextFormatIndex { kFormatText = 0, kFormatDosText = 1, kFormatRtf = 2, kFormatAnyFile = 6 };
inline constexpr int kTextFormatCount = 7;

// The row's description as stored (name, filter, pattern, type separated by
// line feeds); empty for a bad index.
const char* TextFormatDescription(int index);
// The first field of the description ("Text Document").
std::string TextFormatName(int index);
// ".txt" from a pattern of five characters ("*.txt"), else empty.
std::string TextFormatExtension(int index);
// Whether the row can be read or written here: rows that need an external
// converter count as neither while no converter is there.
bool TextFormatAvailable(int index, bool forWriting);
// The rows the export dialog offers, in table order (writable, without
// "Any File").
std::vector<int> ExportTextFormats();

// The page's text in a format: formats 0 and 1 the plain text of its RTF
// (1 in the MS-DOS code page with CR LF line ends), 2 and 6 the stored RTF.
// False when the text cannot be converted.
bool PageTextInFormat(CZTDocument& doc, int32_t ident, int format, std::string& out);

// ---- names

// A title or file name (Windows-1252) as a name for the disk: the disk name
// rule, control characters as "-", "!" after Windows device names (CON,
// NUL, COM1, ...), at most `maxUtf8` bytes in UTF-8 (the extension kept).
std::string ExportSafeName(std::string_view name, size_t maxUtf8 = 200);

// One entry of the export name table.
struct ExportName {
    std::string path; // relative path, components joined by "/", starting with "/" (root: empty)
    size_t parent = 0;
    bool isFile = false;
};
// The names given so far, in walk order, and how many of them carry each
// path folded to lower case (the test for a name already taken).
struct ExportNameTable {
    std::vector<ExportName> entries;
    std::unordered_map<std::string, int> folded;
};

// Registers a title with a position code ("c", "n", "p"..., or "f" for a
// file inside the previous page's directory) and returns its relative path,
// numbered " (#N)" before the extension where a name of the same directory
// matches without regard to case.
std::string RegisterExportName(ExportNameTable& table, std::string_view code, std::string_view title);

// ---- exports

enum class ExportWhat { Document = 0, Subtree = 1, Page = 2 };
enum class ExportContent { Text = 0, FilesOnly = 1, ZipComments = 2 };
enum class ExchangeResult { Ok, Failed, Cancelled };

struct ExportStep {
    std::string code;
    const CZTPageNode* node = nullptr;
};
// The pre-order walk of the export: every page, the page's subtree, or the page.
std::vector<ExportStep> BuildExportSteps(const CZTPageTree& tree, ExportWhat what, const CZTPageNode* page);

struct ExportOptions {
    ExportWhat what = ExportWhat::Document;
    const CZTPageNode* page = nullptr; // the selected page (subtree and page exports)
    int format = kFormatText;
    ExportContent content = ExportContent::Text;
    bool showMessages = true;
    ExchangeProgress* progress = nullptr;
};

struct ExportOutcome {
    ExchangeResult result = ExchangeResult::Failed;
    std::string written; // the top directory or the archive (UTF-8)
    size_t directories = 0, files = 0;
};

// Writes pages as a directory tree below `target` (UTF-8). A document export
// makes a main directory named after the document file; the first page of a
// subtree or page export gets a directory of its own. A cancelled export
// renames its top directory with " (unvollständig)" and says so.
ExportOutcome ExportToDirectory(CZTDocument& doc, const std::string& target, const ExportOptions& options,
                                Prompter& prompter);
// Saves a copy of the whole document in directory form into a new directory
// below `target` named after the document ("ZT-Verzeichnis"); the open
// document stays as it is. Returns the directory, empty on failure.
std::string ExportSpecialDirectory(CZTDocument& doc, const std::string& target, Prompter& prompter);
// Writes pages into a zip archive. Attached files go in as they are stored
// (deflated), never inflated again. The archive takes its name only when it is
// complete; a cancelled export keeps what was written as a valid archive named
// with " (unvollständig)".
ExportOutcome ExportToZip(CZTDocument& doc, const std::string& archive, const ExportOptions& options,
                          Prompter& prompter);

// ---- imports

enum class BinaryChoice { All = 0, Ask = 1, None = 2, AsFiles = 3 };
enum class InsertMode { Children = 0, Neighbours = 1, Files = 2 };

struct ImportOutcome {
    ExchangeResult result = ExchangeResult::Failed;
    CZTPageNode* first = nullptr; // the first page made
    CZTPageNode* last = nullptr;  // the last page made at the top level
    size_t pages = 0, files = 0;
};

// Reads a file or directory tree in as pages at `anchor` (null: the root).
// Directories become pages (their entries each as first child, so in reverse
// order), zip archives and document files become pages holding their
// content, other files pages of text, or attached files by `binary`.
// Symbolic links are followed only inside the directory given, loops stop.
ImportOutcome ImportDirectory(CZTDocument& doc, const std::string& path, CZTPageNode* anchor, InsertMode mode,
                              BinaryChoice binary, Prompter& prompter, ExchangeProgress* progress = nullptr);
// Reads an archive into and below the page `into`: members' directories
// become pages found or made by title, files attached files (deflated data
// taken unchanged), comments page texts.
ImportOutcome ImportZip(CZTDocument& doc, const std::string& archive, CZTPageNode* into, Prompter& prompter,
                        ExchangeProgress* progress = nullptr);
// Every archive into a new page titled with its file name, each directly
// after the previous one (the first after `after`; the last root page
// without it).
ImportOutcome ImportZipFiles(CZTDocument& doc, const std::vector<std::string>& archives, CZTPageNode* after,
                             Prompter& prompter, ExchangeProgress* progress = nullptr);
// Every document file as a new page (titled with its file name) holding its
// pages, each after the previous one.
ImportOutcome ImportDocumentFiles(CZTDocument& doc, const std::vector<std::string>& files, CZTPageNode* after,
                                  Prompter& prompter, ExchangeProgress* progress = nullptr);
// The whole-document imports: the document becomes new, titled after the
// directory (or the first archive without its extension), then the import.
// The caller has asked to save changes first.
ImportOutcome ImportDirectoryAsDocument(CZTDocument& doc, const std::string& path, InsertMode mode,
                                        BinaryChoice binary, Prompter& prompter, ExchangeProgress* progress = nullptr);
ImportOutcome ImportZipAsDocument(CZTDocument& doc, const std::vector<std::string>& archives, Prompter& prompter,
                                  ExchangeProgress* progress = nullptr);

} // namespace zt
