#include "text/qt/charformat.h"

#include "text/qt/rtfdocument.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace zt::textqt {

std::vector<FormatPiece> SelectionPieces(const QTextCursor& cursor) {
    std::vector<FormatPiece> pieces;
    const int s = cursor.selectionStart(), e = cursor.selectionEnd();
    if (s == e) return pieces;
    const QTextDocument* doc = cursor.document();
    for (QTextBlock b = doc->findBlock(s); b.isValid() && b.position() <= e; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const int fs = std::max(s, f.position()), fe = std::min(e, f.position() + f.length());
            if (fs < fe) pieces.push_back({fs, fe, f.charFormat()});
        }
    }
    return pieces;
}

void ModifySelectionChars(QTextCursor& cursor, const std::function<void(QTextCharFormat&)>& change) {
    if (!cursor.hasSelection()) {
        QTextCharFormat f = cursor.charFormat();
        change(f);
        f.setProperty(kProtectedProperty, true);
        cursor.setCharFormat(f);
        return;
    }
    const std::vector<FormatPiece> pieces = SelectionPieces(cursor);
    QTextCursor c(cursor.document());
    cursor.beginEditBlock();
    for (const FormatPiece& p : pieces) {
        QTextCharFormat f = p.format;
        change(f);
        f.setProperty(kProtectedProperty, true);
        c.setPosition(p.start);
        c.setPosition(p.end, QTextCursor::KeepAnchor);
        c.setCharFormat(f);
    }
    cursor.endEditBlock();
}

QString FaceOf(const QTextCharFormat& f, const QTextDocument* doc) {
    const QStringList fam = f.fontFamilies().toStringList();
    if (!fam.isEmpty() && !fam.front().isEmpty()) return fam.front();
    return doc ? doc->defaultFont().family() : QString();
}

double PointsOf(const QTextCharFormat& f, const QTextDocument* doc) {
    if (f.hasProperty(QTextFormat::FontPointSize)) return f.fontPointSize();
    return doc ? doc->defaultFont().pointSizeF() : 12.0;
}

bool EffectOf(const QTextCharFormat& f, CharEffect e) {
    switch (e) {
    case CharEffect::Bold: return f.fontWeight() >= QFont::Bold;
    case CharEffect::Italic: return f.fontItalic();
    case CharEffect::Underline: return f.fontUnderline();
    case CharEffect::StrikeOut: return f.fontStrikeOut();
    }
    return false;
}

void SetEffect(QTextCharFormat& f, CharEffect e, bool on) {
    switch (e) {
    case CharEffect::Bold: f.setFontWeight(on ? QFont::Bold : QFont::Normal); break;
    case CharEffect::Italic: f.setFontItalic(on); break;
    case CharEffect::Underline: f.setFontUnderline(on); break;
    case CharEffect::StrikeOut: f.setFontStrikeOut(on); break;
    }
}

} // namespace zt::textqt
