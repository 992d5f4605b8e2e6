// The search dialog "Suchen und Ersetzen im Dokument": a modeless window (at
// most one per main window) that searches titles, texts and file names, lists
// every hit, shows a hit in its view and replaces or deletes selected hits.
// The search runs on worker threads; the list fills while it goes and the
// window stays responsive. The hit list follows later edits through
// NotifyPageChange (the main window forwards the text view's saves, the tree's
// title changes and deletions and the files list's changes).
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/pagetree.h"
#include "search/hitlist.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;
class QTextDocument;

namespace zt {
class CZTSearchJob;
class CZTSearchTextCache;
} // namespace zt

namespace zt::ui {

class CMainFrame;

class CZTSearchDialog : public QDialog, private CZTPageTreeListener {
    Q_OBJECT
public:
    explicit CZTSearchDialog(CMainFrame& frame);
    ~CZTSearchDialog() override;

    // ---- what the main window tells
    // kind: text saved, title changed, a file name changed, page deleted.
    void NotifyPageChange(int32_t ident, CZTPageNotice notice);
    // The document's editability changed.
    void RefreshEditable();

    // ---- the controls' actions
    void RunSearch();
    void CancelSearch();
    bool Searching() const { return job_ != nullptr; }
    // Waits until the running search ended (tests).
    void WaitForSearch();
    void ShowSelectedHit();
    void RemoveSelectedRows();
    void ReplaceSelected();
    void SelectAllRows();

    CZTHitList& HitList() { return list_; }
    QTreeWidget* List() const { return rows_; }
    QComboBox* SearchText() const { return searchText_; }
    QComboBox* ReplaceText() const { return replaceText_; }
    QComboBox* SearchIn() const { return searchIn_; }
    QLabel* CounterLine() const { return counter_; }

    // Where a text hit of the page's plain text lies in the text view's
    // document: the same position when both texts agree, else the same
    // occurrence of the search text. -1 when the view does not hold it.
    static int ViewPosition(const QTextDocument& doc, const std::string& plain, const CZTSearchHit& hit,
                            bool matchCase, bool wholeWord);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // CZTPageTreeListener
    void PageChanged(CZTPageNode* page, CZTPageChange what) override;
    void PageAboutToBeRemoved(CZTPageNode* page) override;
    void TreeAboutToBeCleared() override;

    CZTSearchOptions TakeOptions() const;
    void Poll();
    void FinishSearch();
    void FillRows();
    void UpdateButtons();
    void UpdateCounter();
    std::vector<size_t> SelectedRows() const;
    void ShowHit(size_t row);
    static void Remember(QComboBox* box, const QString& text);

    CMainFrame& frame_;
    CZTHitList list_;
    std::shared_ptr<CZTSearchTextCache> cache_;
    std::unique_ptr<CZTSearchJob> job_;
    QTimer* poll_ = nullptr;
    // Notices that came while a search ran, applied when it ends.
    std::vector<std::pair<int32_t, CZTPageNotice>> pending_;
    int sortColumn_ = -1;
    bool sortDescending_ = false;

    QComboBox* searchText_ = nullptr;
    QComboBox* searchIn_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QCheckBox* wholeWord_ = nullptr;
    QRadioButton* scopeDocument_ = nullptr;
    QRadioButton* scopeSubtree_ = nullptr;
    QRadioButton* scopePage_ = nullptr;
    QComboBox* replaceText_ = nullptr;
    QCheckBox* deleteMode_ = nullptr;
    QTreeWidget* rows_ = nullptr;
    QLabel* counter_ = nullptr;
    QLabel* progress_ = nullptr;
    QPushButton* search_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* show_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* replace_ = nullptr;
    QPushButton* selectAll_ = nullptr;
};

} // namespace zt::ui
