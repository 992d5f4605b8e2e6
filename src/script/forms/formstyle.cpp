#include "script/forms/formstyle.h"

namespace zt::forms {

CZTControlStyle StyleOf(const CZTFormNode& n) {
    CZTControlStyle s;
    s.kind = n.kind;
    switch (n.kind) {
    case CZTFormKind::Text:
        s.align = n.Has("right") ? CZTAlign::Right : n.Has("center") ? CZTAlign::Center : CZTAlign::Left;
        s.vcenter = n.Has("vcenter");
        s.wordWrap = !n.Has("leftnowordwrap");
        s.mnemonic = n.Has("prefix");
        break;
    case CZTFormKind::Picture:
        s.align = CZTAlign::Center;
        s.vcenter = true;
        break;
    case CZTFormKind::Edit:
        s.tabStop = true;
        s.multiline = n.Has("multiline");
        s.wantReturn = n.Has("wantreturn");
        s.password = n.Has("password");
        s.readOnly = n.Has("readonly");
        s.vscroll = n.Has("vscroll");
        s.hscroll = n.Has("hscroll");
        s.autoHScroll = !n.Has("noautohscroll");
        s.autoVScroll = n.Has("autovscroll");
        s.align = n.Has("right") ? CZTAlign::Right : n.Has("center") ? CZTAlign::Center : CZTAlign::Left;
        s.letterCase = n.Has("uppercase") ? CZTLetterCase::Upper
                       : n.Has("lowercase") ? CZTLetterCase::Lower : CZTLetterCase::AsTyped;
        s.oemConvert = n.Has("oemconvert");
        s.noHideSel = n.Has("nohidesel");
        break;
    case CZTFormKind::Button:
        s.tabStop = !n.Has("notabstop");
        s.group = n.Has("group");
        s.leftText = n.Has("lefttext");
        // One kind per button; the three-state button wins over the radio
        // button, which wins over the check box.
        s.button = n.Has("auto3state")     ? CZTButtonKind::ThreeState
                   : n.Has("autoradio")    ? CZTButtonKind::AutoRadio
                   : n.Has("autocheckbox") ? CZTButtonKind::CheckBox : CZTButtonKind::Push;
        break;
    case CZTFormKind::Combo:
        s.tabStop = true;
        s.combo = n.Has("dropdownlist") ? CZTComboKind::DropDownList
                  : n.Has("dropdown")   ? CZTComboKind::DropDown : CZTComboKind::Simple;
        s.sort = n.Has("sort");
        s.vscroll = n.Has("vscroll");
        s.autoHScroll = n.Has("autohscroll");
        s.oemConvert = n.Has("oemconvert");
        break;
    case CZTFormKind::Listbox:
        s.tabStop = true;
        s.sort = n.Has("sort");
        s.vscroll = n.Has("vscroll");
        break;
    case CZTFormKind::Unknown:
        break;
    }
    return s;
}

QString EditFieldText(const QString& value) {
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\r')) {
            if (i + 1 < value.size() && value[i + 1] == QLatin1Char('\n')) ++i;
            out += QLatin1String("\r\n");
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\b')) {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace zt::forms
