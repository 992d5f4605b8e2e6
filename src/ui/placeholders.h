// The view frames with their title bars, and the stand-in of the
// attached-files view: it shows the current page's files read-only.
#pragma once

#include <QWidget>

class CZTDocument;
class CZTPageNode;
class QLabel;
class QTreeWidget;

namespace zt::ui {

// A view with an optional title bar ("Baumansicht", "Textansicht",
// "Dateienansicht").
class CZTViewFrame : public QWidget {
    Q_OBJECT
public:
    CZTViewFrame(const QString& title, QWidget* view, QWidget* parent = nullptr);
    void SetTitleVisible(bool visible);
    QWidget* View() const { return view_; }

private:
    QLabel* title_;
    QWidget* view_;
};

class CZTFilesPlaceholder : public QWidget {
    Q_OBJECT
public:
    CZTFilesPlaceholder(CZTDocument& doc, QWidget* parent = nullptr);
    void ShowPage(const CZTPageNode* page);
    QTreeWidget* List() const { return list_; }
    // Selects the file of that name.
    void SelectFile(const QString& name);

private:
    CZTDocument& doc_;
    QTreeWidget* list_;
};

} // namespace zt::ui
