// The dialog "Hintergrundfarbe setzen": a colour and whether the
// neighbouring pages and their subtrees take it too.
#pragma once

#include <QColor>
#include <QDialog>

#include <functional>
#include <vector>

class CZTDocument;
class CZTPageNode;
namespace zt {
struct PageColors;
}

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

// Gives `page`, its siblings when asked and all pages below those when asked
// the change of their page colours property; each gets PageChanged and the
// document is marked modified.
void ChangePageColours(CZTDocument& doc, CZTPageNode* page, bool siblings, bool subtrees,
                       const std::function<void(zt::PageColors&)>& change);

} // namespace zt::ui
