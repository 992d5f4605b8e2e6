// Character formats over a selection of a text document: the fragments of a
// selection with their formats, a change applied to each of them, and the
// font face, size and effects as the editing commands and scripts read them.
// Every change sets the protection mark on the text it changes (the view
// relies on every character carrying it).
#pragma once

#include <QString>
#include <QTextCharFormat>

#include <functional>
#include <vector>

class QTextCursor;
class QTextDocument;

namespace zt::textqt {

// A [start, end) range of the selection with its character format.
struct FormatPiece {
    int start, end;
    QTextCharFormat format;
};

// The fragments of the selection in order; empty without a selection.
std::vector<FormatPiece> SelectionPieces(const QTextCursor& cursor);

// Changes the format of every fragment of the selection with `change` as one
// undoable step, adding the protection mark. Without a selection the
// cursor's insertion format changes.
void ModifySelectionChars(QTextCursor& cursor, const std::function<void(QTextCharFormat&)>& change);

// The face of a format (the document's default face when it names none) and
// its size in points (the document's default size when it has none).
QString FaceOf(const QTextCharFormat& f, const QTextDocument* doc);
double PointsOf(const QTextCharFormat& f, const QTextDocument* doc);

enum class CharEffect { Bold, Italic, Underline, StrikeOut };
bool EffectOf(const QTextCharFormat& f, CharEffect e);
void SetEffect(QTextCharFormat& f, CharEffect e, bool on);

} // namespace zt::textqt
