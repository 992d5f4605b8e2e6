#include "text/qt/linkmarker.h"

#include <QBrush>
#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

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

CZTLinkMarker::CZTLinkMarker(QTextDocument* document, bool enabled) : QSyntaxHighlighter(document), enabled_(enabled) {
    // A document tells about its changes only once it has a layout; a view
    // makes one anyway, a document without a view gets it here.
    if (document) document->documentLayout();
    // Mark at once rather than when the event loop next runs, so that the view
    // can ask for links right after loading a page.
    rehighlight();
}

void CZTLinkMarker::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (suspended_ == 0) rehighlight();
}

void CZTLinkMarker::Suspend() {
    if (suspended_++ == 0 && enabled_) rehighlight();
}

void CZTLinkMarker::Resume() {
    if (suspended_ == 0) return;
    if (--suspended_ == 0 && enabled_) rehighlight();
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

QTextCharFormat CZTLinkMarker::LinkFormat() {
    QTextCharFormat f;
    f.setForeground(QBrush(QColor(0, 0, 255)));
    f.setFontUnderline(true);
    f.setUnderlineColor(QColor(0, 0, 255));
    return f;
}

void CZTLinkMarker::highlightBlock(const QString& text) {
    if (!IsActive()) return;
    const QTextCharFormat format = LinkFormat();
    for (const auto& r : zt::textqt::FindLinks(text)) setFormat(r.start, r.length, format);
}
