// The search page of the HTML site: a JSON index of the pages (title path,
// address, plain text) and one static page that searches it in the browser.
#pragma once

#include <string>
#include <string_view>

namespace zt::htmlsite {

// Appends `utf8` as a JSON string; "<", ">" and "&" are written as \u escapes
// so that the index can sit inside a script element.
void AppendJsonString(std::string& out, std::string_view utf8);

// Collects the index entries.
class SearchIndex {
public:
    // `titleUtf8`: the display path, `href`: the page file relative to the site.
    void Add(std::string_view titleUtf8, std::string_view href, std::string_view textUtf8);
    // The index as a JSON array of {"t": title, "u": address, "x": text}.
    std::string Json() const { return json_ + "]\n"; }
    bool Empty() const { return count_ == 0; }

private:
    std::string json_ = "[";
    size_t count_ = 0;
};

// ztSearch.htm (UTF-8): loads ztSearch.js, which calls ztSearchIndex with the
// index, and lists the pages that hold every word typed. "ztSearch.htm?q=WORDS"
// searches at once (a search can be linked).
std::string SearchPage(std::string_view documentNameUtf8);

} // namespace zt::htmlsite
