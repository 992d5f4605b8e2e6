// Hidden text carried through the document as properties.
#include "text/qt/rtfhidden.h"

#include "text/qt/rtfinternal.h"
#include "text/qt/rtfproperties.h"

#include <QTextBlock>
#include <QTextCursor>

namespace zt::textqt::detail {

void HiddenText::Add(std::u16string_view s) {
    // Beyond the cap hidden text is dropped; it never becomes visible.
    const int room = kMaxHiddenText - total_;
    if (room <= 0) return;
    const int n = std::min<int>(room, int(s.size()));
    pending_.append(QStringView(s.data(), n));
    total_ += n;
}

void HiddenText::InsertBefore(QTextCursor& cursor, const QTextCharFormat& f, std::u16string_view& s) {
    if (s.empty()) return;
    const size_t n = s.size() > 1 && QChar::isHighSurrogate(s[0]) && QChar::isLowSurrogate(s[1]) ? 2 : 1;
    QTextCharFormat with = f;
    with.setProperty(kHiddenBeforeProperty, pending_);
    cursor.insertText(QString::fromUtf16(s.data(), qsizetype(n)), with);
    pending_.clear();
    s.remove_prefix(n);
}

void HiddenText::AttachAtBlockEnd(QTextCursor& cursor) {
    if (pending_.isEmpty()) return;
    if (cursor.positionInBlock() > 0) {
        QTextCursor c(cursor);
        c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
        QTextCharFormat f;
        f.setProperty(kHiddenAfterProperty, cursor.charFormat().stringProperty(kHiddenAfterProperty) + pending_);
        c.mergeCharFormat(f);
    } else {
        QTextBlockFormat f = cursor.blockFormat();
        f.setProperty(kHiddenBlockProperty, f.stringProperty(kHiddenBlockProperty) + pending_);
        cursor.setBlockFormat(f);
    }
    pending_.clear();
}

} // namespace zt::textqt::detail
