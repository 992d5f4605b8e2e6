// Find and replace inside the current page's text: a small modeless dialog
// over the text view (one at a time; the other kind replaces it).
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zt {
class Prompter;
}

namespace zt::ui {

class CZettrixView;

class CZTFindDialog : public QDialog {
    Q_OBJECT
public:
    CZTFindDialog(CZettrixView& view, Prompter& prompter, bool replace, QWidget* parent);

    bool IsReplace() const { return replace_; }
    // The text the dialog opens with: the selection without line breaks,
    // else the last search text.
    void TakeSelection();
    QLineEdit* FindText() const { return find_; }
    QLineEdit* ReplaceText() const { return with_; }
    QCheckBox* MatchCase() const { return case_; }
    QCheckBox* WholeWord() const { return word_; }

    // Searches from one character after the selection's start (the caret
    // without one) to the end, then from the beginning up to where the first
    // search of this dialog began; a hit is selected. False after telling
    // "Text nicht gefunden.".
    bool FindNext();
    // Replaces the selection when it is the search text, then searches on.
    bool ReplaceOne();
    // Replaces every hit; returns their number.
    int ReplaceAll();
    // "Weitersuchen" without a dialog: the last search again.
    static bool Repeat(CZettrixView& view, Prompter& prompter);

private:
    bool Matches(const QString& selected) const;

    CZettrixView& view_;
    Prompter& prompter_;
    bool replace_;
    int origin_ = -1;
    bool wrapped_ = false;
    QLineEdit* find_ = nullptr;
    QLineEdit* with_ = nullptr;
    QCheckBox* case_ = nullptr;
    QCheckBox* word_ = nullptr;
};

} // namespace zt::ui
