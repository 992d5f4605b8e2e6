// The RTF to HTML and text converter. It reads RTF held in memory, page texts
// with their picture twins included, and writes an HTML file with the pictures
// beside it (for the site export) or plain text (for the text exports and
// whole-text searches).
//
// A converter object keeps all state of its conversions, so conversions in
// different objects are independent and may run on different threads. The
// options and HTML settings stay until changed; everything else is reset at
// the start of every conversion.
#pragma once

#include "text/pictures.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

struct RtfConverterOptions {
    bool noAlignment = false;      // \qc, \qj, \ql, \qr are ignored
    bool noTextStyle = false;      // bold, italic, underline, sizes, colours ... are ignored
    bool noHeadings = true;        // styles never produce headings
    bool noFontNames = false;      // no font-family division and no font face tags
    bool noSymbolFont = false;     // a "Symbol" font does not switch to the Symbol map
    bool noDefaultFont = false;    // no font face tag for text in the default font
    bool noAutoUrlDetect = false;  // words that look like addresses stay plain words
    bool deleteSourcePictures = true;  // a picture converted to JPEG loses its source file
};

using RtfPictureKind = PictureKind;

// Renders a picture file that a browser cannot show (bitmap, metafile, Mac
// picture, other kinds) as a JPEG file of quality 60 at `jpegPath`. Returns
// false when it cannot; the image then names the source file.
using RtfPictureConverter =
    std::function<bool(const std::string& sourcePath, RtfPictureKind kind, const std::string& jpegPath)>;

// The converter every converter object starts with: ConvertPictureToJpeg
// at quality 60.
bool ConvertRtfPicture(const std::string& sourcePath, RtfPictureKind kind, const std::string& jpegPath);

// Offered every word that may become a link: the word as written (HTML) and
// without its enclosing brackets or quotes. Returning true means the callback
// appended its own markup for the word to `out`.
using RtfLinkCallback =
    std::function<bool(std::string& out, std::string_view word, std::string_view stripped)>;

struct RtfHtmlSettings {
    std::string headText;        // written after the title
    std::string bodyStartText;   // written right after the body opens
    std::string bodyEndText;     // written right before the body closes
    std::string title;           // used when the RTF has no title (or always, see below)
    bool titleOverrides = false; // the title above wins over the RTF's own title
    std::string bodyAttributes;  // attributes of the BODY tag
    std::string imagePrefix;     // put before the picture file names in IMG tags
    RtfLinkCallback linkCallback;
    RtfPictureConverter pictureConverter = ConvertRtfPicture;
};

// Forms of plain text output: Windows-1252 with bracketed names for other
// characters ("[alpha]"), the search form (a space for every character outside
// Windows-1252), or UTF-8.
enum class RtfTextMode { Text = 1, Search = 2, Utf8 = 3 };

// Where one byte of a plain text in the search form came from: the input bytes
// [begin, end) of its character (an escape counts whole, with the fallback
// bytes that follow a \uN). An empty range marks a space that stands for a
// picture or an object. `ansi`: the character was read with the Windows-1252
// map (no font of another character set, not the Symbol font).
struct RtfTextSpan {
    uint32_t begin = 0, end = 0;
    bool ansi = false;
};

struct RtfTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The document information of the last conversion (HTML conversions read it).
struct RtfDocInfo {
    std::string title, subject, author, operatorName, keywords, comment, doccomm;
    RtfTime created, revised, printed, backedUp;
};

// Where the text of the RTF lies in the HTML of the last conversion into
// memory (between the body start and end texts): the bytes [begin, end).
struct RtfHtmlBody {
    size_t begin = 0, end = 0;
};

class RtfConverter {
public:
    RtfConverter();
    ~RtfConverter();
    RtfConverter(const RtfConverter&) = delete;
    RtfConverter& operator=(const RtfConverter&) = delete;

    RtfConverterOptions& Options();
    // Back to the defaults: "noHeadings" and "deleteSourcePictures" on, all others off.
    void ResetConverterOptions();
    RtfHtmlSettings& HtmlSettings();
    // Picture counter to 0, table and list state cleared (done by every conversion).
    void ResetConverterState();

    // Writes HTML to `path`; pictures go beside it, named after the path
    // without its extension + "Img" + number + extension. False when the file
    // cannot be created, the input is not RTF or is damaged beyond reading;
    // the file may then hold partial HTML.
    bool RtfToHtmlFile(std::string_view rtf, const std::string& path);
    // The same into memory; pictures are written with `pictureBase` as above,
    // or left out when it is empty.
    bool RtfToHtml(std::string_view rtf, std::string& html, const std::string& pictureBase = {});
    // Plain text; empty and false for input that is not RTF or is damaged.
    bool RtfToText(std::string_view rtf, RtfTextMode mode, std::string& text);
    // The same, and for every output byte where it came from (meant for the
    // search form, which writes one byte per character).
    bool RtfToText(std::string_view rtf, RtfTextMode mode, std::string& text, std::vector<RtfTextSpan>& spans);

    const RtfDocInfo& Info() const;
    RtfHtmlBody LastHtmlBody() const;
    // Why the last conversion failed (for logs; never shown to the user).
    const std::string& LastMessage() const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// One-off conversions with default options and settings.
bool RtfToHtmlFile(std::string_view rtf, const std::string& path);
bool RtfToText(std::string_view rtf, RtfTextMode mode, std::string& text);

} // namespace zt
