// The layout of a form tree: every form gets its own rectangle next to the
// bounding box of what came before it in its parent, and every subtree an
// offset that puts its bounding box at the anchor. Pure arithmetic over
// measurements the caller supplies, so the dialog and the tests share it.
#pragma once

#include <QString>
#include <QSize>

#include <functional>
#include <optional>
#include <vector>

#include "script/forms/formmodel.h"

namespace zt::forms {

// Left, top, right, bottom; right and bottom exclusive.
struct CZTFormRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CZTFormRect Shifted(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    bool operator==(const CZTFormRect&) const = default;
};

// Dialog units from the dialog font's average character width and height.
struct CZTDialogUnits {
    int baseX = 6;   // average character width in pixels
    int baseY = 13;  // character height in pixels
    int X(int du) const;
    int Y(int du) const;
};

// What the layout needs to know about the screen.
struct CZTFormMetrics {
    CZTDialogUnits units;
    // The pixel extent of a text form's value with the control font.
    std::function<QSize(const QString&)> measureText;
    // The pixel size of a picture file, when it can be loaded.
    std::function<std::optional<QSize>(const QString&)> pictureSize;
};

struct CZTFormRecord {
    const CZTFormNode* node = nullptr;
    int parent = -1;          // record index of the parent, -1 for the root
    CZTFormRect rect;         // own rectangle in the parent's frame
    int offsetX = 0, offsetY = 0;  // shift of the subtree
};

constexpr int kMaxFormRecords = 1001;
constexpr int kMarginXDu = 5;
constexpr int kMarginYDu = 6;

struct CZTFormLayout {
    bool failed = false;
    int width = 0, height = 0;   // content size in pixels
    std::vector<CZTFormRecord> records;  // pre-order
    // The control rectangle of record i with the given origin.
    CZTFormRect ControlRect(size_t i, int originX, int originY) const;
};

// Lays out the tree rooted at root, anchored at (0, 0) with orientation 42.
CZTFormLayout LayoutForm(const CZTFormNode& root, const CZTFormMetrics& metrics);

// The text extent rule: CR LF and CR become line breaks; the width is the
// widest line, the height the sum of the line heights plus the external
// leading per line break; an empty line counts the font height.
QSize MeasureTextLines(const QString& text, const std::function<int(const QString&)>& lineWidth,
                       int fontHeight, int externalLeading);

// An item shortened with "..." in its middle until it fits width - 22 pixels
// (items under 18 characters are left whole).
QString ShortenItem(const QString& item, int width, const std::function<int(const QString&)>& extent);

// The geometry of the dialog around a laid-out form tree, in pixels.
struct CZTFormDialogGeometry {
    int clientWidth = 0, clientHeight = 0;
    CZTFormRect ok, cancel;
    int originX = 0, originY = 0;  // where the content's top edge is centred
};
CZTFormDialogGeometry DialogGeometry(const CZTFormLayout& layout, const CZTDialogUnits& units);

} // namespace zt::forms
