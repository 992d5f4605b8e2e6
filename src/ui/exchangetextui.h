// The dialogs of the HTML export ("HTML-Export") and of the text export (the
// save dialog with "Unterbaum" and "Titel einfügen").
#pragma once

#include "exchange/htmlexport.h"

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace zt::ui {

class CZTHtmlExportDialog : public QDialog {
    Q_OBJECT
public:
    CZTHtmlExportDialog(QWidget* parent, const HtmlExportSettings& settings, const QString& folder);

    HtmlExportSettings Settings() const;
    QString Folder() const;

    QCheckBox* titleLine = nullptr;
    QCheckBox* linkHead = nullptr;
    QCheckBox* linkFoot = nullptr;
    QLineEdit* head1 = nullptr;
    QLineEdit* head2 = nullptr;
    QLineEdit* foot1 = nullptr;
    QLineEdit* foot2 = nullptr;
    QLineEdit* meta = nullptr;
    QRadioButton* levels = nullptr;
    QRadioButton* flat = nullptr;
    QLineEdit* folder = nullptr;
    // Chooses the folder; the default shows the folder chooser.
    std::function<QString()> chooseFolder;

    void accept() override;
};

// The answer of the text export's save dialog.
struct TextExportChoice {
    QString path;
    int filterPosition = 0;
    bool subtree = false;
    bool titles = false;
};

// The save dialog with the filter of the writable formats and the two check
// boxes below it; false when cancelled.
bool AskTextExport(QWidget* parent, bool wholeDocument, TextExportChoice& choice);

} // namespace zt::ui
