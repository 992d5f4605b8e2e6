// Text files in the formats of the format table: which rows this system can
// read and write, the file dialog filters, format detection, the file opener
// every text import and export goes through, the text export of pages and
// the import of text files as pages.
//
// The word processor rows (Word 6.0, Word 97, Windows Write) are read and
// written through LibreOffice (exchange/converter.h); they are offered only
// while its command is on PATH. LibreOffice reads all three but writes only
// the Word 97 form: a Word 6.0 export is written as a Word 97 ".doc" (which
// every current word processor reads), and Windows Write is readable only.
#pragma once

#include "exchange/converter.h"
#include "exchange/exchange.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

enum TextConverterRow { kFormatWord6 = 3, kFormatWord97 = 4, kFormatWrite = 5 };

// The largest text file taken in as one page; larger ones are refused with
// a message (before anything is read).
inline constexpr uint64_t kMaxTextPageBytes = uint64_t(64) << 20;

// The file dialog filter of the readable (writable) rows, in table order:
// "filter name|pattern|" each (for writing the short name), ended by "|".
std::string BuildFilter(bool forWriting);
// The same as Qt wants it: "Text Documents (*.txt);;Rich Text Format (*.rtf)".
// Entries are "name (pattern)" where the name lacks the pattern.
std::string BuildQtFilter(bool forWriting);
// The row of the n-th entry of the filter (from 0), -1 when there is none.
int FormatOfFilter(int position, bool forWriting);
// The position of the Qt filter entry `entry` (as QFileDialog reports it), -1 when unknown.
int FilterPosition(std::string_view entry, bool forWriting);

// The detected type of a file: 0 plain text, 2 RTF, 3 Word 6.0, 4 Word 97,
// 5 Windows Write, -1 unknown. For writing the name alone decides; for
// reading an unreadable file gives -1, and the first bytes confirm or
// correct the name's guess.
int DetectTextFormat(const std::string& path, bool forWriting);

enum class TextOpenMode { Read, Write };

// An open text file. Reading hands out the whole content at once (RTF for a
// converted file), writing takes the bytes (RTF for a converted file) and
// puts the file in place at Close.
class CZTTextFile {
public:
    virtual ~CZTTextFile() = default;
    virtual bool ReadAll(std::string& out, std::string& error) = 0;
    virtual bool Write(std::string_view bytes, std::string& error) = 0;
    virtual bool Close(std::string& error) = 0;
    // The row the file is read or written as (0 for plain files).
    int Type() const { return type_; }
    // True when the file goes through the converter.
    bool Converted() const { return converted_; }

protected:
    int type_ = 0;
    bool converted_ = false;
};

struct TextFileOptions {
    bool detect = true;
    int chosenFormat = kFormatText;
    ConverterRun run;
    Prompter* status = nullptr; // gets the progress texts
};

// Opens `path` (UTF-8): with detection a Word or Write file goes through the
// converter when it is there, else it is read as plain bytes; an MS-DOS text
// file (chosen format 1 on a text file) converts between the MS-DOS and the
// Windows code page (CR LF line ends when written); anything else is a plain
// file. Null with `error` (German) when the file cannot be opened.
std::unique_ptr<CZTTextFile> OpenTextFile(const std::string& path, TextOpenMode mode, std::string& error,
                                          const TextFileOptions& options = {});

// Reads a file for a page: the bytes (or the converted RTF), refused above
// kMaxTextPageBytes. False with `error` (German).
bool ReadTextForPage(const std::string& path, std::string& out, std::string& error,
                     const TextFileOptions& options = {});

// The texts of the pages of an export in one text: formats 0/1 plain text
// (Windows-1252), else one RTF document holding the pages one after another
// (their fonts and colours kept). With titles, each page starts with its
// number in the walk ("1", "1.1", "2") and its title as a heading.
bool ComposePagesText(CZTDocument& doc, ExportWhat what, const CZTPageNode* page, bool withTitles, bool asRtf,
                      std::string& out);

struct TextExportOptions {
    ExportWhat what = ExportWhat::Document;
    const CZTPageNode* page = nullptr;
    bool withTitles = false;
    int chosenFormat = kFormatRtf;
    bool showMessages = true;
    ConverterRun run;
};

// Writes pages as one text file. The name decides the form (".doc" through
// the converter, ".rtf" RTF, others plain text; MS-DOS text when chosen).
bool ExportText(CZTDocument& doc, const std::string& path, const TextExportOptions& options, Prompter& prompter);

// Imports files as new pages, each after the page the previous file made
// (the first after `after`; at the end without it), as the directory import
// does with a single file (converted files become pages of their RTF).
ImportOutcome ImportTextFiles(CZTDocument& doc, const std::vector<std::string>& files, CZTPageNode* after,
                              BinaryChoice binary, Prompter& prompter, ExchangeProgress* progress = nullptr);

} // namespace zt
