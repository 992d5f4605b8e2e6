// The options sheet "Optionen": bars, start-up, text drag, automatics and
// print margins. Each page writes its values back only when something on it
// changed and the user pressed OK or Apply.
#pragma once

#include <QDialog>

#include <functional>

#include "ui/settings.h"

class QCheckBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QRadioButton;
class QTabWidget;

namespace zt::ui {

class CZTOptionsDialog : public QDialog {
    Q_OBJECT
public:
    struct Capabilities {
        bool autoLink = false; // the text view can recognise hyperlinks
    };
    // `apply` is called after changed pages were written into `live`, with the
    // values from before.
    CZTOptionsDialog(CZTPreferences& live, Capabilities caps,
                     std::function<void(const CZTPreferences& before)> apply, QWidget* parent = nullptr);

    QTabWidget* tabs;
    // Page 1
    QCheckBox *toolBar, *treeBar, *editBar, *pageBar, *ruler, *fontBar, *navBar, *statusBar, *tipsBar, *viewTitles,
        *buttonText;
    // Page 2
    QCheckBox* tray;
    QRadioButton *modeNone, *modeCurrent, *modeLast;
    // Page 3
    QCheckBox *dragSubtree, *dragCaption;
    // Page 4
    QCheckBox *autoLink, *autoWord, *autoSave;
    // Page 5
    QRadioButton *unitCm, *unitInch;
    QDoubleSpinBox *marginLeft, *marginTop, *marginRight, *marginBottom, *indent;

    // OK and Apply.
    void Apply();

private:
    void accept() override;
    void Watch(QWidget* w, int page);
    void ShowMargins(int unit);
    int Twips(const QDoubleSpinBox* box) const;

    CZTPreferences& live_;
    std::function<void(const CZTPreferences&)> apply_;
    bool dirty_[5] = {};
    int shownUnit_ = 1;
    QDialogButtonBox* buttons_;
};

} // namespace zt::ui
