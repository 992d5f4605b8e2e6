#include "text/qt/linkmarker.h"

#include <QAbstractTextDocumentLayout>
#include <QBrush>
#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace zt::textqt {

namespace {

// The delimiter tables work on code points up to U+00FF; the document's own
// line and paragraph separators stand for vertical tab and CR.
char16_t Code(QChar c) {
    const char16_t u = c.unicode();
    if (u == 0x2028) return 0x0B;
    if (u == 0x2029) return 0x0D;
    return u;
}

} // namespace

const QList<QString>& LinkSchemes() {
    static const QList<QString> schemes = {
        QStringLiteral("http://"), QStringLiteral("nntp://"),     QStringLiteral("news://"),
        QStringLiteral("ftp://"),  QStringLiteral("file:/"),      QStringLiteral("mailto:"),
        QStringLiteral("https://"), QStringLiteral("gopher://"),  QStringLiteral("prospero://"),
        QStringLiteral("telnet://"), QStringLiteral("wais://"),   QStringLiteral("www."),
        QStringLiteral("zt:"),     QStringLiteral("ztf:"),
    };
    return schemes;
}

bool IsLinkStartDelimiter(QChar c) {
    switch (Code(c)) {
    case 0x20: case 0x0B: case 0x0D: case 0x0A: case 0x09:
    case 0x22: case 0x27: case 0x7B: case 0x5B: case 0x28: case 0x3C:
        return true;
    default:
        return false;
    }
}

bool IsLinkEndDelimiter(QChar c) {
    switch (Code(c)) {
    case 0x20: case 0x0B: case 0x0D: case 0x0A: case 0x09:
    case 0x22: case 0x27: case 0x2C: case 0x3A: case 0x2A:
    case 0x5B: case 0x7B: case 0x7D: case 0x5D: case 0x60:
    case 0xB4: case 0x5E: case 0xB0: case 0x3C: case 0x3E:
        return true;
    default:
        return false;
    }
}

QList<LinkRange> FindLinks(QStringView text) {
    const qsizetype n = text.size();
    QList<LinkRange> found;
    for (const QString& scheme : LinkSchemes()) {
        const qsizetype len = scheme.size();
        // Occurrences come in increasing order; the end found for one serves
        // every later one that starts its scan before it, so a text full of
        // schemes is still scanned once per scheme.
        qsizetype knownEnd = -1, knownFrom = -1;
        for (qsizetype pos = text.indexOf(scheme, 0, Qt::CaseSensitive); pos >= 0;
             pos = text.indexOf(scheme, pos + 1, Qt::CaseSensitive)) {
            if (pos > 0 && !IsLinkStartDelimiter(text[pos - 1])) continue;
            const qsizetype from = pos + len;
            qsizetype end;
            if (knownEnd >= 0 && from >= knownFrom && from <= knownEnd) {
                end = knownEnd;
            } else {
                end = from;
                while (end < n && !IsLinkEndDelimiter(text[end])) ++end;
            }
            knownFrom = from;
            knownEnd = end;
            if (end > from) found.push_back({int(pos), int(end - pos)});
        }
    }
    std::sort(found.begin(), found.end(), [](const LinkRange& a, const LinkRange& b) {
        return a.start != b.start ? a.start < b.start : a.length > b.length;
    });
    QList<LinkRange> joined;
    for (const LinkRange& r : found) {
        if (!joined.isEmpty() && r.start < joined.back().end()) {
            LinkRange& last = joined.back();
            last.length = std::max(last.end(), r.end()) - last.start;
        } else {
            joined.push_back(r);
        }
    }
    return joined;
}

QString LinkTextAround(const QTextCursor& cursor) {
    if (cursor.hasSelection()) return cursor.selectedText().trimmed();
    const QString text = cursor.block().text();
    auto above = [](QChar c) {
        const char16_t u = c.unicode();
        return u > 0x20 && u != 0x7F && !(u >= 0x80 && u <= 0x9F) && u != 0x2028 && u != 0x2029;
    };
    qsizetype left = std::clamp<qsizetype>(cursor.positionInBlock(), 0, text.size());
    qsizetype right = left;
    while (left > 0 && above(text[left - 1])) --left;
    while (right < text.size() && above(text[right])) ++right;
    return text.mid(left, right - left).trimmed();
}

bool IsFollowable(QStringView text) {
    for (const QString& scheme : LinkSchemes()) {
        if (text.startsWith(scheme, Qt::CaseSensitive) && text.size() > scheme.size() &&
            !IsLinkEndDelimiter(text[scheme.size()]))
            return true;
    }
    return false;
}

} // namespace zt::textqt

CZTLinkMarker::CZTLinkMarker(QTextDocument* document, bool enabled, bool makeLayout)
    : QSyntaxHighlighter(static_cast<QObject*>(document)), enabled_(enabled) {
    if (!document) return;
    // A document tells about its changes only once it has a layout; a view
    // makes one anyway, a document without a view gets it here.
    if (makeLayout) document->documentLayout();
    // Attaching to a document with text queues the base class's whole-text
    // pass, which has the text laid out again after every block and takes
    // minutes on a large page; and until it has run, edits are not followed.
    // It is run at once here with nothing to mark, then the marks are set in
    // one pass.
    quiet_ = true;
    setDocument(document);
    QMetaObject::invokeMethod(this, "_q_delayedRehighlight", Qt::DirectConnection);
    quiet_ = false;
    following_ = true;
    Follow();
    MarkAll();
}

void CZTLinkMarker::Follow() {
    // While marking is off or suspended the base class does not even look at
    // the changes, so that loading a large page costs nothing extra.
    QTextDocument* doc = document();
    if (!doc || following_ == IsActive()) return;
    if (IsActive())
        connect(doc, SIGNAL(contentsChange(int,int,int)), this, SLOT(_q_reformatBlocks(int,int,int)));
    else
        disconnect(doc, SIGNAL(contentsChange(int,int,int)), this, SLOT(_q_reformatBlocks(int,int,int)));
    following_ = IsActive();
}

void CZTLinkMarker::MarkAll() {
    QTextDocument* doc = document();
    if (!doc) return;
    const bool active = IsActive();
    const QTextCharFormat format = LinkFormat();
    bool changed = false;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        QTextLayout* layout = block.layout();
        if (!layout) continue;
        QList<QTextLayout::FormatRange> ranges;
        if (active) {
            for (const auto& r : zt::textqt::FindLinks(block.text())) {
                QTextLayout::FormatRange range;
                range.start = r.start;
                range.length = r.length;
                range.format = format;
                ranges.append(range);
            }
        }
        if (layout->formats() != ranges) {
            layout->setFormats(ranges);
            changed = true;
        }
    }
    if (changed) doc->markContentsDirty(0, doc->characterCount());
}

void CZTLinkMarker::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Follow();
    if (suspended_ == 0) MarkAll();
}

void CZTLinkMarker::Suspend() {
    if (suspended_++ != 0) return;
    Follow();
    if (enabled_) MarkAll();
}

void CZTLinkMarker::Resume() {
    if (suspended_ == 0 || --suspended_ != 0) return;
    Follow();
    if (enabled_) MarkAll();
}

bool CZTLinkMarker::LinkRangeAt(int position, int& start, int& length) const {
    const QTextDocument* doc = document();
    if (!IsActive() || !doc || position < 0) return false;
    const QTextBlock block = doc->findBlock(position);
    if (!block.isValid()) return false;
    const int offset = position - block.position();
    for (const auto& r : zt::textqt::FindLinks(block.text())) {
        if (offset >= r.start && offset < r.end()) {
            start = block.position() + r.start;
            length = r.length;
            return true;
        }
    }
    return false;
}

QString CZTLinkMarker::LinkAt(int position) const {
    int start = 0, length = 0;
    if (!LinkRangeAt(position, start, length)) return {};
    const QTextBlock block = document()->findBlock(position);
    return block.text().mid(start - block.position(), length);
}

QString CZTLinkMarker::LinkAtPoint(const QPointF& documentPoint) const {
    const QTextDocument* doc = document();
    if (!IsActive() || !doc) return {};
    // An exact hit gives the character under the point, -1 beside the text.
    return LinkAt(doc->documentLayout()->hitTest(documentPoint, Qt::ExactHit));
}

QTextCharFormat CZTLinkMarker::LinkFormat() {
    QTextCharFormat f;
    f.setForeground(QBrush(QColor(0, 0, 255)));
    f.setFontUnderline(true);
    f.setUnderlineColor(QColor(0, 0, 255));
    return f;
}

void CZTLinkMarker::highlightBlock(const QString& text) {
    if (quiet_ || !IsActive()) return;
    const QTextCharFormat format = LinkFormat();
    for (const auto& r : zt::textqt::FindLinks(text)) setFormat(r.start, r.length, format);
}
