// Between the script's form objects and the dialog that shows them: the
// dialog (a widget program's business) gets the form tree and talks back
// through CZTFormCallbacks; while it is up, every form is bound to its
// control, through which "GetResult", "GetSelection" and "Refresh" reach it.
// Programs without windows have no presenter.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include "script/forms/formmodel.h"

namespace zt::forms {

// One control of the open dialog.
class CZTFormControl {
public:
    virtual ~CZTFormControl() = default;
    // Button: its check state (int); edit field, text, combo box: its text;
    // list box: the text of the selected item.
    virtual QVariant Result() const = 0;
    // Combo and list box: the selected index (-1 for none).
    virtual int Selection() const { return -1; }
    virtual void SetCheck(int state) {}
    virtual void SetText(const QString& text) {}
    virtual void SetPicture(const QString& path) {}
    // Replaces the items; selection is selected when it lies within them.
    virtual void SetItems(const QStringList& items, int selection) {}
};

// What the dialog calls while it runs; node is a node of the tree handed to
// Show (its cookie names the form object).
class CZTFormCallbacks {
public:
    virtual ~CZTFormCallbacks() = default;
    // Binds the form to its control; null unbinds it.
    virtual void Bind(const CZTFormNode& node, CZTFormControl* control) = 0;
    // A button whose form has "onclick" was clicked: runs the handler.
    virtual void Click(const CZTFormNode& node) = 0;
    // OK: the values of one control to write back into its form.
    virtual void ReadBack(const CZTFormNode& node, const CZTFormReadBack& values) = 0;
    // Called every few milliseconds while the dialog waits (the script's
    // timer); false when the script was stopped: the dialog then closes as
    // with Cancel.
    virtual bool Poll() = 0;
};

class CZTFormPresenter {
public:
    virtual ~CZTFormPresenter() = default;
    // Shows the tree as a modal dialog: 1 for OK, 2 for Cancel. Every bound
    // form is unbound again before it returns.
    virtual int Show(const CZTFormNode& root, const QString& title, CZTFormCallbacks& callbacks) = 0;
};

} // namespace zt::forms
