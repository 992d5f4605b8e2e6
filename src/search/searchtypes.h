// What a search looks for and what it finds: the options of the search
// dialog and one hit (a row of the hit list).
#pragma once

#include <cstdint>
#include <string>

namespace zt {

// "Suchen in": what is searched, in the order of the dialog's list.
enum class CZTSearchIn : int {
    All = 0,        // titles, texts and file names
    Tree = 1,       // titles
    Text = 2,       // texts
    Files = 3,      // file names
    TreeText = 4,   // titles and texts
    TreeFiles = 5,  // titles and file names
    TextFiles = 6,  // texts and file names
};

enum class CZTSearchScope { Document, Subtree, Page };

struct CZTSearchOptions {
    std::string text;  // Windows-1252
    CZTSearchIn in = CZTSearchIn::All;
    bool matchCase = false;
    bool wholeWord = false;
    CZTSearchScope scope = CZTSearchScope::Subtree;

    bool Titles() const { return in == CZTSearchIn::All || in == CZTSearchIn::Tree || in == CZTSearchIn::TreeText || in == CZTSearchIn::TreeFiles; }
    bool Texts() const { return in == CZTSearchIn::All || in == CZTSearchIn::Text || in == CZTSearchIn::TreeText || in == CZTSearchIn::TextFiles; }
    bool Files() const { return in == CZTSearchIn::All || in == CZTSearchIn::Files || in == CZTSearchIn::TreeFiles || in == CZTSearchIn::TextFiles; }
    // The entry that searches exactly these kinds (All when none is asked).
    static CZTSearchIn InFor(bool titles, bool texts, bool files);
};

struct CZTSearchHit {
    enum class Kind { Title, Text, File };
    int32_t ident = 0;
    std::string path;        // "/" and the titles from the root down
    Kind kind = Kind::Text;
    int32_t offset = 0;      // character position in the plain text, the title or the file name
    int32_t line = 0;        // text hits: counted from 1; 0 otherwise
    int32_t column = 0;      // text hits: characters since the last line feed
    std::string searchText;
    std::string fileName;    // file name hits
    std::string replacement; // the replacement cell: empty until replaced
    bool replaced = false;
    std::string context;     // the text around the hit (when asked for)
};

// The page counter, title, text and file counters of a search.
struct CZTSearchCounters {
    int pages = 0, titles = 0, texts = 0, files = 0;
};

} // namespace zt
