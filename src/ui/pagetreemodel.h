// The item model over the page tree. It follows CZTPageTree through its
// listener events and never holds the hierarchy itself: every index points at
// a CZTPageNode of the tree.
#pragma once

#include <QAbstractItemModel>

#include <functional>

#include "core/pagetree.h"

namespace zt::ui {

class CZTPageTreeModel : public QAbstractItemModel, private CZTPageTreeListener {
    Q_OBJECT
public:
    explicit CZTPageTreeModel(CZTPageTree& tree, QObject* parent = nullptr);
    ~CZTPageTreeModel() override;

    CZTPageTree& Tree() { return tree_; }
    CZTPageNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const CZTPageNode* node) const;

    // Many changes at once (opening a document): the model resets once at the
    // end instead of following every page.
    void BeginReset();
    void EndReset();

    // Whether titles may be edited in place.
    void SetEditable(bool editable) { editable_ = editable; }
    // Called when the user finished editing a title; returns whether the edit
    // was taken (an empty title is refused).
    std::function<bool(CZTPageNode*, const QString&)> renameHandler;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The tree changed the expansion state of a page.
    void expansionChanged(const QModelIndex& index, bool expanded);

private:
    void PageAboutToBeInserted(const CZTPageNode* parent, size_t row) override;
    void PageInserted(CZTPageNode* page) override;
    void PageAboutToBeRemoved(CZTPageNode* page) override;
    void PageRemoved(const CZTPageNode* parent, size_t row, int32_t ident) override;
    void PageAboutToBeMoved(CZTPageNode* page, const CZTPageNode* newParent, size_t destRow) override;
    void PageMoved(CZTPageNode* page) override;
    void ChildrenAboutToBeSorted(const CZTPageNode* parent) override;
    void ChildrenSorted(const CZTPageNode* parent) override;
    void PageChanged(CZTPageNode* page, CZTPageChange what) override;
    void TreeAboutToBeCleared() override;
    void TreeCleared() override;

    CZTPageTree& tree_;
    bool editable_ = true;
    bool moving_ = false;
    int bulk_ = 0;
};

} // namespace zt::ui
