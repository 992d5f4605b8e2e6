// The script form dialog: Qt widgets built from a form tree on the main
// thread, placed by the form layout with dialog units taken from the dialog
// font, OK and Cancel below. Controls are named "form<record>" and the
// buttons "ok" and "cancel", in keyboard order of the tree.
#pragma once

#include "script/forms/formpresenter.h"

class QWidget;

namespace zt::ui {

class CZTFormDialogPresenter : public zt::forms::CZTFormPresenter {
public:
    // parent: the window the dialog is centred over (may be null).
    explicit CZTFormDialogPresenter(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    int Show(const zt::forms::CZTFormNode& root, const QString& title, zt::forms::CZTFormCallbacks& callbacks) override;

private:
    QWidget* parent_;
};

} // namespace zt::ui
