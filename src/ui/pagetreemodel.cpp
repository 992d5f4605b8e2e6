#include "ui/pagetreemodel.h"

#include <QColor>
#include <QFont>
#include <QIcon>

#include "base/cp1252.h"
#include "ui/markicons.h"

namespace zt::ui {

namespace {

QColor FromRgb(int32_t rgb) { return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF); }

} // namespace

CZTPageTreeModel::CZTPageTreeModel(CZTPageTree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree) {
    tree_.AddListener(this);
}

CZTPageTreeModel::~CZTPageTreeModel() { tree_.RemoveListener(this); }

CZTPageNode* CZTPageTreeModel::Node(const QModelIndex& index) const {
    return index.isValid() ? static_cast<CZTPageNode*>(index.internalPointer()) : nullptr;
}

QModelIndex CZTPageTreeModel::IndexOf(const CZTPageNode* node) const {
    if (!node) return {};
    return createIndex(int(node->Row()), 0, const_cast<CZTPageNode*>(node));
}

QModelIndex CZTPageTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0) return {};
    const std::vector<CZTPageNode*>& children = parent.isValid() ? Node(parent)->Children() : tree_.RootPages();
    if (size_t(row) >= children.size()) return {};
    return createIndex(row, 0, children[size_t(row)]);
}

QModelIndex CZTPageTreeModel::parent(const QModelIndex& child) const {
    CZTPageNode* node = Node(child);
    return node ? IndexOf(node->Parent()) : QModelIndex();
}

int CZTPageTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    return int(parent.isValid() ? Node(parent)->ChildCount() : tree_.RootPages().size());
}

int CZTPageTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool CZTPageTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant CZTPageTreeModel::data(const QModelIndex& index, int role) const {
    const CZTPageNode* node = Node(index);
    if (!node) return {};
    const TreeEntryStyle& style = node->Style();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(zt::Cp1252ToUtf8(node->Title()));
    case Qt::DecorationRole:
        return MarkIcon(node->Mark());
    case Qt::FontRole: {
        if (!style.IsSet()) return {};
        QFont f;
        if (style.Has(TreeEntryStyle::FontNameSet) && !style.fontName.empty())
            f.setFamily(QString::fromStdString(zt::Cp1252ToUtf8(style.fontName)));
        if (style.Has(TreeEntryStyle::SizeSet) && style.fontSize > 0 && style.fontSize < 200)
            f.setPointSize(style.fontSize);
        f.setBold(style.Has(TreeEntryStyle::Bold));
        f.setItalic(style.Has(TreeEntryStyle::Italic));
        f.setUnderline(style.Has(TreeEntryStyle::Underline));
        f.setStrikeOut(style.Has(TreeEntryStyle::StrikeOut));
        return f;
    }
    case Qt::ForegroundRole:
        if (style.Has(TreeEntryStyle::TextColorSet)) return FromRgb(style.textColor);
        return {};
    case Qt::BackgroundRole:
        if (style.Has(TreeEntryStyle::BackColorSet)) return FromRgb(style.backColor);
        return {};
    default:
        return {};
    }
}

bool CZTPageTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    CZTPageNode* node = Node(index);
    if (!node || role != Qt::EditRole || !editable_ || !renameHandler) return false;
    return renameHandler(node, value.toString());
}

Qt::ItemFlags CZTPageTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable_) f |= Qt::ItemIsEditable;
    return f;
}

void CZTPageTreeModel::PageAboutToBeInserted(const CZTPageNode* parent, size_t row) {
    if (bulk_) return;
    beginInsertRows(IndexOf(parent), int(row), int(row));
}

void CZTPageTreeModel::PageInserted(CZTPageNode*) {
    if (bulk_) return;
    endInsertRows(); }

void CZTPageTreeModel::PageAboutToBeRemoved(CZTPageNode* page) {
    if (bulk_) return;
    beginRemoveRows(IndexOf(page->Parent()), int(page->Row()), int(page->Row()));
}

void CZTPageTreeModel::PageRemoved(const CZTPageNode*, size_t, int32_t) {
    if (bulk_) return;
    endRemoveRows(); }

void CZTPageTreeModel::PageAboutToBeMoved(CZTPageNode* page, const CZTPageNode* newParent, size_t destRow) {
    if (bulk_) return;
    moving_ = beginMoveRows(IndexOf(page->Parent()), int(page->Row()), int(page->Row()), IndexOf(newParent),
                            int(destRow));
    if (!moving_) {
        // Not a move the view can follow row by row: redo the layout instead.
        emit layoutAboutToBeChanged();
    }
}

void CZTPageTreeModel::PageMoved(CZTPageNode*) {
    if (bulk_) return;
    if (moving_) {
        endMoveRows();
        moving_ = false;
        return;
    }
    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex& old : persistent) changePersistentIndex(old, IndexOf(Node(old)));
    emit layoutChanged();
}

void CZTPageTreeModel::ChildrenAboutToBeSorted(const CZTPageNode* parent) {
    if (bulk_) return;
    emit layoutAboutToBeChanged({QPersistentModelIndex(IndexOf(parent))}, QAbstractItemModel::VerticalSortHint);
}

void CZTPageTreeModel::ChildrenSorted(const CZTPageNode* parent) {
    if (bulk_) return;
    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex& old : persistent) {
        CZTPageNode* node = Node(old);
        if (node && node->Parent() == parent) changePersistentIndex(old, IndexOf(node));
    }
    emit layoutChanged({QPersistentModelIndex(IndexOf(parent))}, QAbstractItemModel::VerticalSortHint);
}

void CZTPageTreeModel::PageChanged(CZTPageNode* page, CZTPageChange what) {
    if (bulk_) return;
    QModelIndex idx = IndexOf(page);
    if (what == CZTPageChange::Expanded) {
        emit expansionChanged(idx, page->IsExpanded());
        return;
    }
    emit dataChanged(idx, idx);
}

void CZTPageTreeModel::BeginReset() {
    if (bulk_++ == 0) beginResetModel();
}

void CZTPageTreeModel::EndReset() {
    if (bulk_ > 0 && --bulk_ == 0) endResetModel();
}

void CZTPageTreeModel::TreeAboutToBeCleared() {
    if (bulk_) return;
    beginResetModel(); }

void CZTPageTreeModel::TreeCleared() {
    if (bulk_) return;
    endResetModel(); }

} // namespace zt::ui
