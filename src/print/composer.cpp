#include "print/composer.h"

#include "base/cp1252.h"
#include "core/document.h"
#include "text/pagertf.h"
#include "text/qt/rtfdocument.h"

#include <QFont>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdlib>

namespace tq = zt::textqt;

namespace zt::print {

std::string NextNumber(const std::string& number, const std::string& code) {
    std::vector<int> parts;
    size_t i = 0;
    while (i <= number.size()) {
        size_t j = number.find('.', i);
        if (j == std::string::npos) j = number.size();
        parts.push_back(std::atoi(number.substr(i, j - i).c_str()));
        i = j + 1;
    }
    if (code == "c") {
        parts.push_back(1);
    } else if (code == "n") {
        parts.back() += 1;
    } else {
        for (char ch : code)
            if (ch == 'p' && parts.size() > 1) parts.pop_back();
        parts.back() += 1;
    }
    std::string out;
    for (size_t k = 0; k < parts.size(); ++k) out += (k ? "." : "") + std::to_string(parts[k]);
    return out;
}

namespace {

QTextCharFormat BaseFormat(const ComposeOptions& o) {
    QTextCharFormat f;
    f.setFontFamilies(QStringList{o.face});
    f.setFontPointSize(o.sizeTwips / 20.0);
    f.setFontWeight(QFont::Normal);
    f.setProperty(tq::kCharsetProperty, 1);
    return f;
}

} // namespace

bool ComposePages(CZTDocument& doc, const CZTPageNode* anchor, const ComposeOptions& options, QTextDocument& out,
                  std::vector<ComposedPage>& record) {
    record.clear();
    out.clear();
    out.setUndoRedoEnabled(false);
    QFont font(options.face);
    font.setPointSizeF(options.sizeTwips / 20.0);
    out.setDefaultFont(font);
    const CZTPageTree& tree = doc.Tree();
    if (options.mode == ComposeMode::Document) anchor = tree.FirstRootPage();
    if (!anchor) return false;
    const size_t count = options.mode == ComposeMode::Document ? tree.CountPages()
                         : options.mode == ComposeMode::Subtree ? tree.CountPages(anchor)
                                                                : 1;
    const QTextCharFormat base = BaseFormat(options);
    QTextCharFormat titleFormat = base;
    titleFormat.setFontWeight(QFont::Bold);
    titleFormat.setFontUnderline(true);
    titleFormat.setFontPointSize(18);

    QTextCursor c(&out);
    c.setBlockCharFormat(base);
    c.setCharFormat(base);
    CZTPageWalker walker(tree, anchor, options.mode == ComposeMode::Subtree);
    CZTWalkStep step;
    std::string number;
    size_t done = 0;
    while (done < count && walker.NextInWalk(step)) {
        number = done == 0 ? "1" : NextNumber(number, step.code);
        record.push_back({number + " " + step.node->Title(), 0});
        c.movePosition(QTextCursor::End);
        if (options.titles) {
            c.setCharFormat(titleFormat);
            c.insertText(QString::fromStdString(zt::Cp1252ToUtf8(record.back().heading)), titleFormat);
            c.insertBlock(QTextBlockFormat(), base);
            c.insertBlock(QTextBlockFormat(), base);
        }
        c.setCharFormat(base);
        const std::string text = doc.PageText(step.node);
        if (!text.empty()) {
            if (zt::IsRtfText(text))
                tq::InsertRtf(text, c);
            else
                tq::InsertPlainText(text, c);
        }
        c.movePosition(QTextCursor::End);
        // The page ends with its own line break; the next page starts in a
        // fresh paragraph of the default look.
        c.insertBlock(QTextBlockFormat(), base);
        record.back().endOffset = c.position();
        ++done;
    }
    return !record.empty();
}

} // namespace zt::print
