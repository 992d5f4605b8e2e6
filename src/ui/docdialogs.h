// Dialogs about the whole document and the program: the document property
// sheet, the archive list and the about box.
#pragma once

#include <QDialog>

class CZTDocument;
class QCheckBox;
class QFontMetrics;
class QLineEdit;
class QListWidget;

namespace zt::ui {

struct CZTArchiveList;

// Shortens a text that is too wide for `width` pixels (less 22) around its
// first third, four characters per step, while a third of it is at least 6
// characters: first d - 3 characters, "...", last n - d - 4 characters.
QString FitText(const QString& text, const QFontMetrics& metrics, int width);

class CZTDocPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    CZTDocPropertiesDialog(CZTDocument& doc, bool editable, QWidget* parent = nullptr);
    QLineEdit* titleEdit;

private:
    void accept() override;
    CZTDocument& doc_;
    bool editable_;
};

class CZTArchivesDialog : public QDialog {
    Q_OBJECT
public:
    CZTArchivesDialog(CZTArchiveList& list, QWidget* parent = nullptr);
    // The path chosen with "Auswählen", empty when none.
    QString chosen;
    QListWidget* list;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Fill();
    void Add();
    void Remove();
    void Choose();
    CZTArchiveList& archives_;
    QCheckBox* autoAdd_;
    QCheckBox* autoRemove_;
};

void ShowAboutBox(QWidget* parent);

} // namespace zt::ui
