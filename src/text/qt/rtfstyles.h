// The stylesheet of a text: paragraph styles (\s N) and character styles
// (\*\cs N) with their names, \sbasedon, \snext and formatting, kept with the
// document so that writing it gives the same styles back.
#pragma once

#include "text/qt/rtflists.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QTextDocument;

namespace zt {
class RtfCodePage;
class RtfTokenizer;
} // namespace zt

namespace zt::textqt::detail {

struct StyleEntry {
    bool character = false;
    int number = 0;
    int basedOn = -1, next = -1;  // -1: not given
    bool additive = false;
    QString name;
    // Formatting words with their parameters (kNoParam: none); fonts are
    // held by name, since the writer numbers its own font table.
    static constexpr int kNoParam = INT32_MIN;
    std::vector<std::pair<std::string, int>> words;
    QString font;
    int charset = 0;
    bool hasFont = false;
};
using StyleSheet = std::vector<StyleEntry>;

// The family and character set of font number `f` of the font table; false
// when there is none.
using FontLookup = std::function<bool(int f, QString& family, int& charset)>;

// Reads the rest of a \stylesheet group opened at `depth` (the tokenizer
// stands after the destination word and is left after its closing brace).
GroupEnd ReadStyleSheet(RtfTokenizer& tok, int depth, const RtfCodePage& cp, const FontLookup& fonts,
                        StyleSheet& out);

// The stylesheet kept with a document (empty when it has none).
void SetStyleSheet(QTextDocument& doc, StyleSheet sheet);
std::shared_ptr<const StyleSheet> StyleSheetOf(const QTextDocument& doc);

// The \stylesheet group of the document, or nothing. `fontIndex` gives the
// writer's number of a font.
std::string StyleSheetRtf(const QTextDocument& doc, const std::function<int(const QString&, int)>& fontIndex);

} // namespace zt::textqt::detail
