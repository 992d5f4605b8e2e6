// The control a form becomes, chosen by the keywords its script set: one
// plain description per kind that the dialog maps onto its widgets.
#pragma once

#include "script/forms/formmodel.h"

namespace zt::forms {

enum class CZTAlign { Left, Center, Right };
enum class CZTButtonKind { Push, CheckBox, AutoRadio, ThreeState };
enum class CZTComboKind { Simple, DropDown, DropDownList };
enum class CZTLetterCase { AsTyped, Lower, Upper };

struct CZTControlStyle {
    CZTFormKind kind = CZTFormKind::Unknown;
    bool tabStop = false;
    bool group = false;          // a button that starts a new group
    // text
    CZTAlign align = CZTAlign::Left;
    bool vcenter = false;
    bool wordWrap = true;        // off with "leftnowordwrap"
    bool mnemonic = false;       // "&" marks a mnemonic ("prefix")
    // edit field
    bool multiline = false, wantReturn = false, password = false, readOnly = false;
    bool vscroll = false, hscroll = false, autoHScroll = true, autoVScroll = false;
    bool oemConvert = false, noHideSel = false;
    CZTLetterCase letterCase = CZTLetterCase::AsTyped;
    // button
    CZTButtonKind button = CZTButtonKind::Push;
    bool leftText = false;
    // combo and list box
    CZTComboKind combo = CZTComboKind::Simple;
    bool sort = false;
};

CZTControlStyle StyleOf(const CZTFormNode& node);

// An edit field's text with every CR LF, CR, LF and backspace turned into
// CR LF, as the field shows it.
QString EditFieldText(const QString& value);

} // namespace zt::forms
