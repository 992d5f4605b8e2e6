// The view frames with their title bars, and the stand-in of the text view:
// it shows the current page read-only.
#pragma once

#include <QWidget>

class CZTDocument;
class CZTPageNode;
class QLabel;
class QTextBrowser;

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

// The plain text of page RTF, for the read-only preview.
QString RtfPreviewText(const std::string& rtf);

class CZTTextPlaceholder : public QWidget {
    Q_OBJECT
public:
    CZTTextPlaceholder(CZTDocument& doc, QWidget* parent = nullptr);
    void ShowPage(const CZTPageNode* page);
    QTextBrowser* Browser() const { return browser_; }

private:
    CZTDocument& doc_;
    QTextBrowser* browser_;
};

} // namespace zt::ui
