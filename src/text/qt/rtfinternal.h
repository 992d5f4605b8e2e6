// Pieces the reader, the writer and the editing helpers of the control share.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

class QImage;
class QTextCursor;

namespace zt::textqt::detail {

// Limits that keep hostile RTF bounded.
constexpr int kMaxGroupDepth = 400;
constexpr int kMaxFonts = 1000;
constexpr int kMaxColors = 1000;
constexpr int kMaxNameLength = 256;
constexpr int kMaxTabStops = 32;
constexpr int kMaxTableColumns = 64;
constexpr int kMaxTableCells = 20000;
constexpr int kMaxCellWidth = 63360;  // twips, 44 inches
// Tables inside table cells: levels deeper than this are flattened into the
// cells of the deepest one.
constexpr int kMaxTableDepth = 8;
constexpr int kMaxPictureSide = 16384;
// Decoded pixels of one picture and of all pictures of one text.
constexpr int64_t kMaxPicturePixels = 50'000'000;
constexpr int64_t kMaxTotalPixels = 200'000'000;
constexpr size_t kMaxPictureBytes = 64u << 20;
constexpr size_t kMaxFieldInstruction = 2048;
constexpr size_t kMaxPicturesTotal = 256u << 20;
// List table, list overrides and the stylesheet.
constexpr int kMaxLists = 1000;
constexpr int kMaxListLevels = 9;  // \ilvl 0 to 8
constexpr int kMaxListOverrides = 2000;
constexpr int kMaxLevelText = 64;  // characters of one \leveltext
constexpr int kMaxStyles = 2000;
constexpr int kMaxStyleNumber = 32767;
constexpr int kMaxStyleWords = 64;  // formatting words kept per style
// Characters of hidden text kept per document.
constexpr int kMaxHiddenText = 1 << 20;

// Puts the picture at the cursor as an image registered with the cursor's
// document: `bytes` are the stored file (PNG or JPEG), shown at
// widthUnits x heightUnits.
void InsertImage(QTextCursor& cursor, const QImage& image, const QByteArray& bytes, const QString& kind,
                 double widthUnits, double heightUnits);

// Bullet on or off for the cursor's block. A bullet joins the list of the
// block before when that one carries a bullet too.
void SetBlockBullet(QTextCursor& cursor, bool on);

// Numbering of the cursor's block in the list style `style` (decimal,
// letters, roman; 0 removes it). A numbered block joins the list of the
// block before when that one is numbered in the same style.
void SetBlockNumber(QTextCursor& cursor, int style);
// Moves the first-line indent of the cursor's block into the list item's
// hanging indent (inList) or back (not inList).
void SetListHang(QTextCursor& cursor, bool inList);

// Whether a list style numbers its items.
bool IsNumberStyle(int style);

} // namespace zt::textqt::detail
