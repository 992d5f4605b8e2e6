// The dialog "Hintergrundfarbe setzen": a colour and whether the
// neighbouring pages and their subtrees take it too.
#pragma once

#include <QColor>
#include <QDialog>

class QCheckBox;
class QPushButton;

namespace zt::ui {

class CZTBackgroundDialog : public QDialog {
    Q_OBJECT
public:
    CZTBackgroundDialog(const QColor& colour, QWidget* parent = nullptr);
    QColor Colour() const { return colour_; }
    void SetColour(const QColor& colour);

    QCheckBox* siblings = nullptr;
    QCheckBox* subtrees = nullptr;
    QPushButton* chooser = nullptr;

private:
    QColor colour_;
};

} // namespace zt::ui
