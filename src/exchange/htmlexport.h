// The HTML site: the whole document as static pages below a new directory,
// with a table of contents that mirrors the page tree, one file list per page
// with attached files, the attached files themselves, navigation bars, head
// and foot lines, and a search page that searches a JSON index of the page
// texts in the browser, without a server.
//
// Every text that comes from the document (titles, file names, font names,
// the document name) is HTML-escaped where it is written; names on the disk
// come from URL-encoded and sanitised titles, so nothing is written outside
// the site directory. Every link inside the site points to a file the site
// holds: a page link whose target does not exist becomes plain text.
#pragma once

#include "exchange/exchange.h"

#include <string>
#include <string_view>

namespace zt {

// The settings of the HTML export dialog (stored as the user's settings).
struct HtmlExportSettings {
    bool titleLine = true; // "HtmlTitle"
    bool linkHead = true;  // "HtmlLinkHead"
    bool linkFoot = true;  // "HtmlLinkFoot"
    std::string head1, head2, foot1, foot2; // HTML (Windows-1252) put on every page
    std::string meta;      // "HtmlMeta": HTML placed into every head
    int dirMode = 1;       // "HtmlDir": 0 with directory levels, 1 flat
};

struct HtmlExportOptions {
    HtmlExportSettings settings;
    // The page whose subtree becomes the site (null: the whole document). Its
    // pages keep their document paths in titles; links to pages outside it
    // become plain text.
    const CZTPageNode* page = nullptr;
    bool showMessages = true;
    bool continueAfterError = false; // with messages off: skip failed pages instead of stopping
    bool searchPage = true;          // ztSearch.htm with its index
    ExchangeProgress* progress = nullptr;
};

// Writes the site into a new directory "HTML-" + document name below
// `folder` (UTF-8), numbered " (#N)" when taken. The outcome names it. The
// subtree's top page is the site's first page (at the top level of the
// contents and of the directories).
ExportOutcome ExportHtml(CZTDocument& doc, const std::string& folder, const HtmlExportOptions& options,
                         Prompter& prompter);

// """ "&" "'" "<" ">" as entities.
std::string HtmlEscape(std::string_view s);
// A title as a site name: URL form encoding, then the disk name rule (so "%"
// becomes "-"), at most 100 bytes.
std::string HtmlExportTitle(std::string_view title);

} // namespace zt
