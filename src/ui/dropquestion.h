// The questions a drop asks: the dialog "Verschieben / Kopieren" with its
// choices (as child page, as neighbour, as file, ...), optional check boxes
// and a choice of text formats, and the binary question "Frage...".
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;

namespace zt::ui {

struct CZTDropQuestion {
    QString title;
    QString label;
    QStringList options; // radio buttons, "&" marks the mnemonic
    int preset = 0;
    QString note;        // a line below the options, may be empty
    QStringList checks;  // check boxes below the options
    std::vector<bool> checked;
    QStringList formats; // a choice of text formats, may be empty
    int format = 0;
};

// Shows the question; the chosen option, or -1 for Abbrechen. `q.checked`
// and `q.format` receive the state of the check boxes and the format box.
class CZTDropQuestionDialog : public QDialog {
    Q_OBJECT
public:
    CZTDropQuestionDialog(CZTDropQuestion& question, QWidget* parent = nullptr);
    int Choice() const;
    void accept() override;

private:
    CZTDropQuestion& q_;
    QButtonGroup* group_;
    std::vector<QCheckBox*> checks_;
    QComboBox* formats_ = nullptr;
};

} // namespace zt::ui
