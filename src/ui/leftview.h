// The page tree view: shows the page tree through CZTPageTreeModel and runs
// every tree command (insert, rename, delete, copy, move, sort, entry style,
// multiple move/copy/delete, expansion, properties, background colour).
#pragma once

#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>

class CZTDocument;
class CZTPageNode;
class QLineEdit;

namespace zt {
class Prompter;
}

namespace zt::ui {

class CZTPageTreeModel;

class CLeftView : public QTreeView {
    Q_OBJECT
public:
    CLeftView(CZTDocument& doc, Prompter& prompter, QWidget* parent = nullptr);
    ~CLeftView() override;

    CZTPageTreeModel* PageModel() const { return model_; }
    // The current page (the selected node), null when there is none.
    CZTPageNode* CurrentPage() const;
    // Selects a page (null: none) and makes it visible.
    void SelectPage(CZTPageNode* node);
    // The link paths of the expanded pages, and expanding pages by them.
    QStringList ExpandedPaths() const;
    void ExpandPaths(const QStringList& paths);
    // Starts the in-place title editor on the current page.
    void EditCurrentTitle();
    // The title editor while a title is being edited.
    QLineEdit* TitleEditor() const;

    // Titles and structure may change (a local document, or one the server
    // lets us write).
    void SetEditable(bool editable);
    bool IsEditable() const { return editable_; }
    void SetToggleOnClick(bool on) { toggleOnClick_ = on; }
    // Applies the document's tree background.
    void ApplyBackground();
    // The entry shown as the target of a drag over the tree (invalid: none);
    // it is drawn as selected.
    void SetDropTarget(const QModelIndex& index) { dropTarget_ = index; }
    QModelIndex DropTarget() const { return dropTarget_; }
    // The whole tree is about to be replaced (open, new) and has been.
    void BeginReload();
    void EndReload();

    // Command routing: whether the view handles `id`, and its state.
    bool Handles(int id) const;
    bool IsEnabled(int id, bool* checked = nullptr) const;
    // Runs a tree command; false when the view does not handle it.
    bool Execute(int id);
    std::function<void(int id)> runCommand; // commands of the context menu that others handle
    std::function<bool(int id)> commandEnabled;

signals:
    void currentPageChanged(CZTPageNode* page);
    void treeChanged();
    // A command wants the text view to take the focus.
    void textFocusRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    bool RenameFromEditor(CZTPageNode* node, const QString& text);
    void InsertNeighbour();
    void InsertChild();
    void InsertMemo();
    void DeleteCurrent(bool subtree);
    void CopyCurrent(bool subtree);
    void Move(int id);
    void Sort();
    void EditEntryStyle();
    void MultipleMove();
    void ChooseBackground();
    void ShowPageProperties();
    void AfterChange(CZTPageNode* select);

    CZTDocument& doc_;
    Prompter& prompter_;
    CZTPageTreeModel* model_;
    bool editable_ = true;
    bool toggleOnClick_ = false;
    bool reloading_ = false;
    QPersistentModelIndex dropTarget_;
};

} // namespace zt::ui
