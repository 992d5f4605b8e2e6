// The form tree a script describes for a form dialog, detached from the
// script engine: one node per form object, with the properties the layout
// and the controls read, and the elements that attach child forms to it.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zt::forms {

enum class CZTFormKind { Text, Picture, Edit, Button, Combo, Listbox, Unknown };

// The twelve placement codes: first digit the side of the reference, second
// the alignment along it.
enum CZTOrientation : int {
    RightBottom = 11, RightCenter = 12, RightTop = 13,
    TopRight = 21, TopCenter = 22, TopLeft = 23,
    LeftTop = 31, LeftCenter = 32, LeftBottom = 33,
    BottomLeft = 41, BottomCenter = 42, BottomRight = 43,
};

struct CZTFormNode;

struct CZTFormElement {
    int orientation = RightTop;
    std::optional<int> gap;          // dialog units
    std::unique_ptr<CZTFormNode> form;
};

struct CZTFormNode {
    CZTFormKind kind = CZTFormKind::Unknown;
    std::optional<int> cx, cy;       // dialog units, when set
    std::optional<QString> value;    // text, picture path, edit text, combo text
    std::optional<QString> text;     // button caption
    int check = 0;                   // button: initial check state ("value")
    int selection = -1;              // combo and list box
    QStringList items;               // "comboStrings" / "listboxStrings"
    std::set<std::string> flags;     // the keywords that count ("center", "sort", ...)
    bool hasOnclick = false;
    void* cookie = nullptr;          // the caller's handle of the form object
    std::vector<CZTFormElement> elements;

    bool Has(const char* flag) const { return flags.count(flag) != 0; }
};

// What the dialog gives back for one record at OK (only the fields its kind
// reads back are set).
struct CZTFormReadBack {
    std::optional<QString> value;
    std::optional<int> check;
    std::optional<int> selection;
};

} // namespace zt::forms
