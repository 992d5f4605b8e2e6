// The editing commands of the text view as operations on a QTextCursor's
// selection: character effects, fonts, colours, super/subscript, paragraph
// indents, bullets, alignment, tab stops and case conversion. Every
// character format change also sets the protection mark on the text it
// changes. With an empty selection the cursor's insertion format changes.
#pragma once

#include <QColor>
#include <QString>

#include <optional>
#include <vector>

class QTextCursor;
class QTextCharFormat;

namespace zt::ui {

// The user's default font and the indent step, all in twips.
struct CZTEditDefaults {
    QString face = QStringLiteral("Arial");
    int sizeTwips = 240;
    int indentStep = 720;
};

enum class CharEffect { Bold, Italic, Underline, StrikeOut };

// ---- reading the selection
// The character formats of the selection (the insertion format when empty).
std::vector<QTextCharFormat> SelectionCharFormats(const QTextCursor& cursor);
// Face ("" when mixed) and size in points (-1 when mixed).
struct SelectionFont {
    QString face;
    int points = -1;
};
SelectionFont GetSelectionFont(const QTextCursor& cursor);
bool HasEffectUniformly(const QTextCursor& cursor, CharEffect effect);
bool IsSuperscript(const QTextCursor& cursor);
bool IsSubscript(const QTextCursor& cursor);
// True when some text of the selection has an explicit colour / background.
bool HasExplicitColour(const QTextCursor& cursor);
bool HasExplicitBackground(const QTextCursor& cursor);
// The uniform start indent of the selected paragraphs, or none.
std::optional<int> UniformStartIndent(const QTextCursor& cursor);
// The uniform tab stops (twips) of the selected paragraphs, or none.
std::optional<std::vector<int>> UniformTabStops(const QTextCursor& cursor);

// ---- character formats
// The default character format: face with character set 1, size, automatic
// colours, no effects, offset 0, protection mark.
QTextCharFormat DefaultCharFormat(const CZTEditDefaults& defaults);
// Sets the default format on the selection (replacing what was there).
void ApplyDefaultFormat(QTextCursor& cursor, const CZTEditDefaults& defaults);
// Sets the effect on the selection unless it is uniformly set there, in
// which case it is cleared.
void ToggleCharEffect(QTextCursor& cursor, CharEffect effect);
void SetCharEffect(QTextCursor& cursor, CharEffect effect, bool on);
// False (nothing changed) when the selection already has exactly this face.
bool SetFontFace(QTextCursor& cursor, const QString& face, int charset);
// False when the selection already has this size.
bool SetFontSize(QTextCursor& cursor, int points);
// No colour: the automatic colour.
void SetTextColour(QTextCursor& cursor, std::optional<QColor> colour);
void SetTextBackground(QTextCursor& cursor, std::optional<QColor> colour);
// Offsets: superscript the height / 20 upwards, subscript the height / 3
// downwards (twips).
void ToggleSuperscript(QTextCursor& cursor, int defaultSizeTwips = 240);
void ToggleSubscript(QTextCursor& cursor, int defaultSizeTwips = 240);
// The default face and size from a selection of one face and one size;
// false when mixed.
bool TakeDefaultFont(const QTextCursor& cursor, CZTEditDefaults& defaults);
// The default face (character set 1) on the selection; the size stays.
bool UseDefaultFont(QTextCursor& cursor, const CZTEditDefaults& defaults);
// Replaces the selected text by its upper or lower case form, keeping the
// formats, as one undo step.
void ConvertCase(QTextCursor& cursor, bool upper);

// ---- paragraph formats
void ToggleBullets(QTextCursor& cursor, int indentStep);
void IndentMore(QTextCursor& cursor, int indentStep);
void IndentLess(QTextCursor& cursor, int indentStep);
void SetAlignment(QTextCursor& cursor, Qt::Alignment alignment);
// Start indent, hanging offset and right indent on the selected paragraphs.
void SetParagraphIndents(QTextCursor& cursor, int start, int offset, int right);
// Tab stops in twips: sorted, 0 and repeated positions dropped, at most 32.
void SetTabStops(QTextCursor& cursor, std::vector<int> twips);

constexpr int kMaxTabStops = 32;
constexpr int kMaxTabTwips = 31680;

} // namespace zt::ui
