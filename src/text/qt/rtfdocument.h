// The program's rich edit control is a QTextDocument; this bridge reads the
// stored RTF dialect into it and writes it back as RTF.
//
// Units: the document lays out in pixels at 96 dpi, so one layout unit is
// 15 twips. Indents, tab stops and picture sizes keep their twips exactly as
// double values (720 twips = 48.0, 568 twips = 37.8666...); the writer rounds
// back to whole twips. Font sizes are points (twips / 20).
#pragma once

#include <QTextFormat>

#include <string>
#include <string_view>

class QByteArray;
class QTextBlock;
class QTextCursor;
class QTextDocument;
class QTextDocumentFragment;

namespace zt::textqt {

constexpr double kTwipsPerUnit = 15.0;
inline double TwipsToUnits(int twips) { return twips / kTwipsPerUnit; }
int UnitsToTwips(double units);

// Format properties the control needs beyond Qt's own.
enum FormatProperty : int {
    // char: int, the font's character set (\fcharset of its font entry).
    kCharsetProperty = QTextFormat::UserProperty + 1,
    // char: int, vertical offset in twips, positive upwards (\up N, \dn N
    // negative). Set together with the vertical alignment super/subscript.
    kOffsetTwipsProperty,
    // char: bool, the control's protection mark (\protect).
    kProtectedProperty,
    // block: bool, the paragraph carries a bullet.
    kBulletProperty,
    // image: QByteArray, the picture file as stored (PNG or JPEG bytes).
    kPictureBytesProperty,
    // image: QString, "png" or "jpeg".
    kPictureKindProperty,
};

// Replaces the whole content of the document with the RTF text. Bytes after
// the RTF document's closing brace are ignored. Returns false (and leaves the
// document empty) when the bytes are not RTF the reader can take.
bool LoadRtf(std::string_view rtf, QTextDocument& doc, std::string* error = nullptr);

// Inserts the RTF text at the cursor, replacing its selection; the cursor
// ends after the inserted text.
bool InsertRtf(std::string_view rtf, QTextCursor& cursor, std::string* error = nullptr);

// Inserts Windows-1252 plain text at the cursor (CR LF, CR and LF break
// paragraphs), in the cursor's character format.
void InsertPlainText(std::string_view cp1252, QTextCursor& cursor);

// The whole document, or a fragment, as RTF (ANSI code page 1252, \uN for
// characters outside it). Picture groups carry the stored bytes; the twin pass
// adds the twins.
std::string WriteRtf(const QTextDocument& doc);
std::string WriteRtf(const QTextDocumentFragment& fragment);

// Paragraph indents in twips as the editing commands see them: the first
// line starts at `start`, the following lines at start + offset.
struct ParaIndents {
    int start = 0;
    int offset = 0;
    int right = 0;
};
ParaIndents GetIndents(const QTextBlockFormat& format);
void SetIndents(QTextBlockFormat& format, const ParaIndents& indents);

// Bullets of the paragraphs the cursor's selection touches.
bool HasBullet(const QTextBlock& block);
void SetBullets(QTextCursor& cursor, bool on);

// Puts a picture at the cursor. PNG and JPEG bytes are kept as they are;
// other formats Qt can read are stored as PNG. The picture is shown at its
// own pixel size at 96 dpi.
bool InsertPicture(QTextCursor& cursor, const QByteArray& fileBytes, std::string* error = nullptr);

} // namespace zt::textqt
