// Lists in the modern form: the list table and the list override table of
// the header, read into QTextList objects for the paragraphs that name an
// override (\ls N with \ilvl L), and written back from the document's lists.
#pragma once

#include "text/qt/rtfinternal.h"

#include <QPointer>
#include <QString>
#include <QTextList>

#include <array>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class QTextBlock;
class QTextCursor;
class QTextDocument;

namespace zt {
class RtfCodePage;
class RtfTokenizer;
} // namespace zt

namespace zt::textqt::detail {

// How the reading of a destination group ended: at its closing brace, at the
// end of the input, or at a tokenizer error (nesting too deep).
enum class GroupEnd { Closed, EndOfInput, Error };

struct ListLevelDef {
    int style = QTextListFormat::ListDecimal;  // a QTextListFormat::Style
    int start = 1;
    int li = 0, fi = 0;
    bool indentSet = false;
    QString prefix, suffix = QStringLiteral(".");
};

struct ListDef {
    int id = 0;
    std::array<ListLevelDef, kMaxListLevels> levels{};
};

// The lists of one text being read.
class ListReader {
public:
    // Read the rest of a \listtable or \listoverridetable group: the
    // tokenizer stands right after the destination word of the group opened
    // at `depth` and is left after its closing brace. Bytes are text of `cp`.
    GroupEnd ReadListTable(RtfTokenizer& tok, int depth, const RtfCodePage& cp);
    GroupEnd ReadOverrideTable(RtfTokenizer& tok, int depth);

    // Whether some override is known, so that paragraphs become list items
    // and the \listtext numbers are not text of their own.
    bool HasLists() const { return !overrides_.empty(); }
    // The text goes into a document that has lists already: its lists are
    // marked as lists of this insertion.
    void StartInsertion(QTextDocument& doc);

    bool Knows(int ls) const { return ls > 0 && overrides_.count(ls) != 0; }

    // Makes the cursor's block an item of override `ls` at level `level`.
    // Items of one override and level share a list; an item of a higher
    // level ends the lists below it, so that their numbers start again.
    // False (nothing changed) when the override is unknown.
    bool Apply(QTextCursor& cursor, int ls, int level);

private:
    struct Override {
        size_t list = 0;
        std::array<int, kMaxListLevels> start{};  // 0: the list's own
    };
    std::vector<ListDef> lists_;
    std::unordered_map<int, size_t> listIndex_;  // \listid -> lists_
    std::unordered_map<int, Override> overrides_;
    std::map<std::pair<int, int>, QPointer<QTextList>> open_;
    int insertion_ = 0;
};

// The number text of a block in its list as a reader without lists shows it
// ("3.", "b)", "iv."), starting at the list's start value; empty for bullets.
QString ItemLabel(const QTextBlock& block);

// The lists of a document being written.
class ListWriter {
public:
    struct Item {
        int ls = 0;  // 0: not a list item
        int level = 0;
    };
    // The override and level a block is written with; lists from one
    // override of the source keep sharing one, other lists get one each.
    Item ItemOf(const QTextBlock& block);
    // The \listtable and \listoverridetable groups, or nothing without lists.
    std::string Tables() const;

private:
    struct Out {
        std::array<ListLevelDef, kMaxListLevels> levels{};
        std::array<bool, kMaxListLevels> known{};
    };
    std::vector<Out> out_;
    std::map<std::pair<int, int>, int> bySource_;  // (insertion, source \ls) -> output ls
    std::map<const QTextList*, int> byList_;  // lists without a source override
};

} // namespace zt::textqt::detail
