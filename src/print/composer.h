// Composing pages into one rich text: the whole document, a page with its
// subtree, or a page alone, optionally with a numbered title line before
// every page. The composition record tells where each page ends.
#pragma once

#include <QString>

#include <string>
#include <vector>

class CZTDocument;
class CZTPageNode;
class QTextDocument;

namespace zt::print {

enum class ComposeMode { Document = 0, Subtree = 1, Page = 2 };

// One composed page: its heading ("1.2 Title", the number as the walk counts
// it, Windows-1252) and the offset in the composed text just after the line
// break that ends it.
struct ComposedPage {
    std::string heading;
    int endOffset = 0;
};

struct ComposeOptions {
    ComposeMode mode = ComposeMode::Document;
    bool titles = false;
    // The default font of texts without their own (the text view's default).
    QString face = QStringLiteral("Arial");
    int sizeTwips = 240;
};

// The number of a page in the walk after the page numbered `number`, given
// the position code of the step ("c", "n", "p..."): "1" then "1.1", "1.2",
// "2", ...
std::string NextNumber(const std::string& number, const std::string& code);

// Fills `out` (cleared first) with the composed text of the pages from
// `anchor` (ignored for the whole document). False when there is no page to
// compose. Texts that do not read as RTF are taken as plain text.
bool ComposePages(CZTDocument& doc, const CZTPageNode* anchor, const ComposeOptions& options, QTextDocument& out,
                  std::vector<ComposedPage>& record);

} // namespace zt::print
