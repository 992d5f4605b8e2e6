// The search page of the HTML site: a JSON index of the pages (title path,
// address, plain text) and one static page that searches it in the browser.
#pragma once

#include <string>
#include <string_view>

namespace zt::htmlsite {

// Appends `utf8` as a JSON string; "<", ">" and "&" are written as \u escapes
// so that the index can sit inside a script element.
void AppendJsonString(std::string& out, std::string_view utf8);

// Appends the text of a stretch of the converter's HTML as UTF-8: tags and
// comments left out, paragraphs, line breaks, rows and list items as line
// feeds, table cells and runs of white space as one blank, entities and
// Windows-1252 bytes decoded.
void AppendHtmlText(std::string& out, std::string_view html);

// Collects the index entries.
class SearchIndex {
public:
    // `titleUtf8`: the display path, `href`: the page file relative to the site.
    void Add(std::string_view titleUtf8, std::string_view href, std::string_view textUtf8);
    // The index as a JSON array of {"t": title, "u": address, "x": text}.
    std::string Json() const { return std::string(JsonIn(TheScript())); }
    bool Empty() const { return count_ == 0; }
    // Ends the index and hands it over as the script ztSearch.htm loads:
    // "ztSearchIndex(" + the JSON + ");\n". The JSON file is written from the
    // same bytes (JsonIn), so a large index is built and held once.
    std::string TakeScript();
    static std::string_view JsonIn(std::string_view script);

private:
    static constexpr std::string_view kScriptHead = "ztSearchIndex(";
    static constexpr std::string_view kScriptTail = "]\n);\n";
    std::string TheScript() const { return script_ + std::string(kScriptTail); }

    std::string script_ = std::string(kScriptHead) + "[";
    size_t count_ = 0;
};

// ztSearch.htm (UTF-8): loads ztSearch.js, which calls ztSearchIndex with the
// index, and lists the pages that hold every word typed. "ztSearch.htm?q=WORDS"
// searches at once (a search can be linked).
std::string SearchPage(std::string_view documentNameUtf8);

} // namespace zt::htmlsite
