#include "ui/leftview.h"

#include "core/pagepaths.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QStyledItemDelegate>

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/document.h"
#include "ui/commands.h"
#include "ui/pagetreemodel.h"
#include "ui/treedialogs.h"

namespace zt::ui {

namespace {

std::string ToBytes(const QString& s) { return zt::Utf8ToCp1252(s.toStdString()); }

// Creates the title editor and remembers it, so that the clipboard commands
// can work on it.
class CZTTitleDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        w->setObjectName(QStringLiteral("titleEditor"));
        editor = qobject_cast<QLineEdit*>(w);
        return w;
    }
    mutable QPointer<QLineEdit> editor;

protected:
    // The target of a drag over the tree looks selected.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        auto* view = qobject_cast<const CLeftView*>(parent());
        if (view && index.isValid() && index == view->DropTarget()) option->state |= QStyle::State_Selected;
    }
};

} // namespace

CLeftView::CLeftView(CZTDocument& doc, Prompter& prompter, QWidget* parent)
    : QTreeView(parent), doc_(doc), prompter_(prompter), model_(new CZTPageTreeModel(doc.Tree(), this)) {
    setObjectName(QStringLiteral("treeView"));
    setModel(model_);
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setExpandsOnDoubleClick(false);
    setItemDelegate(new CZTTitleDelegate(this));
    setIconSize(QSize(16, 16));
    model_->renameHandler = [this](CZTPageNode* node, const QString& text) { return RenameFromEditor(node, text); };
    connect(model_, &CZTPageTreeModel::expansionChanged, this,
            [this](const QModelIndex& index, bool expanded) { setExpanded(index, expanded); });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (CZTPageNode* n = model_->Node(index)) doc_.Tree().SetExpanded(n, true);
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (CZTPageNode* n = model_->Node(index)) doc_.Tree().SetExpanded(n, false);
    });
}

CLeftView::~CLeftView() = default;

CZTPageNode* CLeftView::CurrentPage() const { return model_->Node(currentIndex()); }

QStringList CLeftView::ExpandedPaths() const {
    QStringList paths;
    std::function<void(const std::vector<CZTPageNode*>&)> walk = [&](const std::vector<CZTPageNode*>& pages) {
        for (CZTPageNode* p : pages) {
            if (!p->HasChildren() || !isExpanded(model_->IndexOf(p))) continue;
            paths.append(QString::fromLatin1(zt::LinkPath(p)));
            walk(p->Children());
        }
    };
    walk(doc_.Tree().RootPages());
    return paths;
}

void CLeftView::ExpandPaths(const QStringList& paths) {
    for (const QString& path : paths) {
        const QByteArray bytes = path.toLatin1();
        if (CZTPageNode* p = zt::ResolvePath(doc_.Tree(), nullptr, std::string_view(bytes.constData(), size_t(bytes.size()))))
            setExpanded(model_->IndexOf(p), true);
    }
}

void CLeftView::SelectPage(CZTPageNode* node) {
    QModelIndex idx = model_->IndexOf(node);
    if (idx.isValid()) {
        setCurrentIndex(idx);
        scrollTo(idx);
    } else {
        setCurrentIndex({});
        emit currentPageChanged(nullptr);
    }
}

void CLeftView::EditCurrentTitle() {
    if (!editable_ || !currentIndex().isValid()) return;
    scrollTo(currentIndex());
    edit(currentIndex());
}

QLineEdit* CLeftView::TitleEditor() const {
    if (state() != QAbstractItemView::EditingState) return nullptr;
    auto* d = static_cast<CZTTitleDelegate*>(itemDelegate());
    return d->editor.data();
}

void CLeftView::SetEditable(bool editable) {
    editable_ = editable;
    model_->SetEditable(editable);
}

void CLeftView::ApplyBackground() {
    TreeBackground bg = doc_.Background();
    QPalette pal = palette();
    QColor c = bg.colorSet ? QColor(bg.color & 0xFF, (bg.color >> 8) & 0xFF, (bg.color >> 16) & 0xFF)
                           : QApplication::palette(this).color(QPalette::Base);
    pal.setColor(QPalette::Base, c);
    setPalette(pal);
}

void CLeftView::BeginReload() {
    reloading_ = true;
    model_->BeginReset();
}

void CLeftView::EndReload() {
    model_->EndReset();
    // The expansion state lives in the pages; the view takes it over.
    std::vector<CZTPageNode*> stack(doc_.Tree().RootPages().begin(), doc_.Tree().RootPages().end());
    while (!stack.empty()) {
        CZTPageNode* n = stack.back();
        stack.pop_back();
        if (n->IsExpanded()) setExpanded(model_->IndexOf(n), true);
        for (CZTPageNode* c : n->Children()) stack.push_back(c);
    }
    reloading_ = false;
    ApplyBackground();
}

void CLeftView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (!reloading_) emit currentPageChanged(model_->Node(current));
}

bool CLeftView::RenameFromEditor(CZTPageNode* node, const QString& text) {
    if (!editable_) return false;
    if (!doc_.RenamePage(node, ToBytes(text))) {
        prompter_.Message(MessageText(Msg::EmptyName), Prompter::Icon::Warning);
        return false;
    }
    emit treeChanged();
    return true;
}

// ---- command routing

bool CLeftView::Handles(int id) const {
    switch (id) {
    case ID_TREE_INSERT_NEIGHBOUR:
    case ID_TREE_INSERT_CHILD:
    case ID_TREE_NEW_MEMO:
    case ID_TREE_DELETE_PAGE:
    case ID_TREE_DELETE_SUBTREE:
    case ID_TREE_COPY_PAGE:
    case ID_TREE_COPY_SUBTREE:
    case ID_TREE_SORT:
    case ID_TREE_SORT_CONTEXT:
    case ID_TREE_LEFT:
    case ID_TREE_RIGHT:
    case ID_TREE_UP:
    case ID_TREE_DOWN:
    case ID_TREE_MULTIPLE:
    case ID_TREE_ENTRY_STYLE:
    case ID_TREE_EXPAND_SIBLINGS:
    case ID_TREE_COLLAPSE_SIBLINGS:
    case ID_TREE_EXPAND_ALL:
    case ID_TREE_BACKGROUND:
    case ID_PAGE_PROPERTIES:
        return true;
    default:
        return false;
    }
}

bool CLeftView::IsEnabled(int id, bool* checked) const {
    const CZTPageTree& tree = doc_.Tree();
    CZTPageNode* cur = CurrentPage();
    if (checked) *checked = false;
    switch (id) {
    case ID_TREE_INSERT_NEIGHBOUR:
    case ID_TREE_INSERT_CHILD:
        // Without a current page the new page becomes a root page.
        return editable_;
    case ID_TREE_NEW_MEMO:
        return editable_;
    case ID_TREE_DELETE_PAGE:
    case ID_TREE_DELETE_SUBTREE:
    case ID_TREE_COPY_PAGE:
    case ID_TREE_COPY_SUBTREE:
    case ID_TREE_SORT:
    case ID_TREE_SORT_CONTEXT:
    case ID_TREE_ENTRY_STYLE:
        return editable_ && cur;
    case ID_TREE_LEFT:
        return editable_ && cur && tree.CanMoveLeft(cur);
    case ID_TREE_RIGHT:
        return editable_ && cur && tree.CanMoveRight(cur);
    case ID_TREE_UP:
        return editable_ && cur && tree.CanMoveUp(cur);
    case ID_TREE_DOWN:
        return editable_ && cur && tree.CanMoveDown(cur);
    case ID_TREE_MULTIPLE:
        return editable_ && !tree.IsEmpty();
    case ID_TREE_EXPAND_SIBLINGS:
        return cur && tree.CanExpandSiblings(cur);
    case ID_TREE_COLLAPSE_SIBLINGS:
        return cur && tree.CanCollapseSiblings(cur);
    case ID_TREE_EXPAND_ALL:
        if (checked) *checked = !tree.IsEmpty() && tree.AllExpanded();
        return !tree.IsEmpty();
    case ID_TREE_BACKGROUND:
        return editable_;
    case ID_PAGE_PROPERTIES:
        return cur != nullptr;
    case ID_EDIT_CUT:
    case ID_EDIT_COPY: {
        QLineEdit* e = TitleEditor();
        return e && e->hasSelectedText();
    }
    case ID_EDIT_PASTE: {
        QLineEdit* e = TitleEditor();
        const QMimeData* mime = QApplication::clipboard()->mimeData();
        return e && mime && mime->hasText();
    }
    default:
        return false;
    }
}

bool CLeftView::Execute(int id) {
    if (!IsEnabled(id)) return Handles(id) || id == ID_EDIT_CUT || id == ID_EDIT_COPY || id == ID_EDIT_PASTE;
    switch (id) {
    case ID_TREE_INSERT_NEIGHBOUR: InsertNeighbour(); break;
    case ID_TREE_INSERT_CHILD: InsertChild(); break;
    case ID_TREE_NEW_MEMO: InsertMemo(); break;
    case ID_TREE_DELETE_PAGE: DeleteCurrent(false); break;
    case ID_TREE_DELETE_SUBTREE: DeleteCurrent(true); break;
    case ID_TREE_COPY_PAGE: CopyCurrent(false); break;
    case ID_TREE_COPY_SUBTREE: CopyCurrent(true); break;
    case ID_TREE_SORT:
    case ID_TREE_SORT_CONTEXT: Sort(); break;
    case ID_TREE_LEFT:
    case ID_TREE_RIGHT:
    case ID_TREE_UP:
    case ID_TREE_DOWN: Move(id); break;
    case ID_TREE_MULTIPLE: MultipleMove(); break;
    case ID_TREE_ENTRY_STYLE: EditEntryStyle(); break;
    case ID_TREE_EXPAND_SIBLINGS: doc_.Tree().ExpandSiblings(CurrentPage()); break;
    case ID_TREE_COLLAPSE_SIBLINGS: doc_.Tree().CollapseSiblings(CurrentPage()); break;
    case ID_TREE_EXPAND_ALL: doc_.Tree().ToggleExpandAll(); break;
    case ID_TREE_BACKGROUND: ChooseBackground(); break;
    case ID_PAGE_PROPERTIES: ShowPageProperties(); break;
    case ID_EDIT_CUT: TitleEditor()->cut(); break;
    case ID_EDIT_COPY: TitleEditor()->copy(); break;
    case ID_EDIT_PASTE: TitleEditor()->paste(); break;
    default: return false;
    }
    return true;
}

void CLeftView::AfterChange(CZTPageNode* select) {
    if (select) SelectPage(select);
    emit treeChanged();
}

// ---- commands

void CLeftView::InsertNeighbour() {
    CZTPageNode* node =
        doc_.InsertPage(CurrentPage(), CZTPageTree::Placement::AsNeighbour, CZTPageTree::NewEntryTitle());
    if (!node) return;
    AfterChange(node);
    EditCurrentTitle();
}

void CLeftView::InsertChild() {
    CZTPageNode* cur = CurrentPage();
    CZTPageNode* node = doc_.InsertPage(cur, CZTPageTree::Placement::AsChild, CZTPageTree::NewEntryTitle());
    if (!node) return;
    if (cur) setExpanded(model_->IndexOf(cur), true);
    AfterChange(node);
    EditCurrentTitle();
}

void CLeftView::InsertMemo() {
    QString title = QDateTime::currentDateTime().toString(QStringLiteral("'Memo 'yyyy-MM-dd HH:mm"));
    CZTPageNode* node = doc_.InsertPage(nullptr, CZTPageTree::Placement::AsChild, ToBytes(title));
    if (!node) return;
    AfterChange(node);
    emit textFocusRequested();
}

void CLeftView::DeleteCurrent(bool subtree) {
    CZTPageNode* cur = CurrentPage();
    if (!cur) return;
    if (!prompter_.AskOkCancel(MessageText(subtree ? Msg::ConfirmDeleteSubtree : Msg::ConfirmDeletePage))) return;
    CZTPageTree::DeleteResult r = doc_.DeletePage(cur, subtree);
    if (!r.select) r.select = doc_.Tree().FirstRootPage();
    if (r.select)
        AfterChange(r.select);
    else {
        SelectPage(nullptr);
        emit treeChanged();
    }
}

void CLeftView::CopyCurrent(bool subtree) {
    CZTPageNode* cur = CurrentPage();
    if (!cur) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    doc_.CopyPages(cur, subtree, cur, false);
    QApplication::restoreOverrideCursor();
    AfterChange(cur);
}

void CLeftView::Move(int id) {
    CZTPageNode* cur = CurrentPage();
    CZTPageNode* moved = nullptr;
    switch (id) {
    case ID_TREE_UP: moved = doc_.MoveUp(cur); break;
    case ID_TREE_DOWN: moved = doc_.MoveDown(cur); break;
    case ID_TREE_LEFT: moved = doc_.MoveLeft(cur); break;
    case ID_TREE_RIGHT: moved = doc_.MoveRight(cur); break;
    }
    if (!moved) return;
    if (CZTPageNode* p = moved->Parent()) setExpanded(model_->IndexOf(p), true);
    AfterChange(moved);
}

void CLeftView::Sort() {
    CZTPageNode* cur = CurrentPage();
    CZTSortDialog dlg(this);
    if (dlg.exec() != QDialog::Accepted) return;
    doc_.SortSiblings(cur, dlg.AllLevels(), dlg.Descending());
    AfterChange(cur);
}

void CLeftView::EditEntryStyle() {
    CZTPageNode* cur = CurrentPage();
    CZTTreeEntryDialog dlg(QString::fromStdString(zt::Cp1252ToUtf8(cur->Title())), cur->Style(), this);
    if (dlg.exec() != QDialog::Accepted) return;
    const std::string title = ToBytes(dlg.Title());
    if (title != cur->Title()) {
        if (!doc_.RenamePage(cur, title)) prompter_.Message(MessageText(Msg::EmptyName), Prompter::Icon::Warning);
    }
    TreeEntryStyle style = dlg.Style();
    if (style.flags != cur->Style().flags || dlg.ColourChosen() || dlg.Siblings() || dlg.Subtrees())
        doc_.SetTreeEntryStyle(cur, style, dlg.Siblings(), dlg.Subtrees());
    viewport()->update();
    AfterChange(cur);
}

void CLeftView::MultipleMove() {
    CZTMultipleDialog dlg(doc_, prompter_, CurrentPage(), this);
    connect(&dlg, &CZTMultipleDialog::targetChosen, this, [this](CZTPageNode* target) { AfterChange(target); });
    dlg.exec();
    emit treeChanged();
}

void CLeftView::ChooseBackground() {
    TreeBackground bg = doc_.Background();
    QColor initial = bg.colorSet ? QColor(bg.color & 0xFF, (bg.color >> 8) & 0xFF, (bg.color >> 16) & 0xFF)
                                 : QColor(Qt::white);
    QColor c = QColorDialog::getColor(initial, this, QStringLiteral("Hintergrundfarbe der Baumansicht"));
    if (!c.isValid()) return;
    doc_.SetBackground(int32_t(c.red() | (c.green() << 8) | (c.blue() << 16)));
    ApplyBackground();
    emit treeChanged();
}

void CLeftView::ShowPageProperties() {
    CZTPagePropertiesDialog dlg(doc_, CurrentPage(), this);
    dlg.exec();
}

// ---- input

void CLeftView::contextMenuEvent(QContextMenuEvent* event) {
    QModelIndex idx = indexAt(event->pos());
    if (idx.isValid() && event->reason() == QContextMenuEvent::Mouse) setCurrentIndex(idx);
    QMenu menu(this);
    auto add = [&](QMenu* m, const char* text, int id) {
        QAction* a = m->addAction(QString::fromUtf8(text));
        bool enabled = Handles(id) ? IsEnabled(id) : (commandEnabled && commandEnabled(id));
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, [this, id] {
            if (Handles(id))
                Execute(id);
            else if (runCommand)
                runCommand(id);
        });
    };
    QMenu* insert = menu.addMenu(QStringLiteral("Neue Seite einfügen"));
    add(insert, "als Nachbar", ID_TREE_INSERT_NEIGHBOUR);
    add(insert, "als Kind", ID_TREE_INSERT_CHILD);
    insert->setEnabled(editable_);
    menu.addSeparator();
    add(&menu, "Seite kopieren", ID_TREE_COPY_PAGE);
    add(&menu, "Unterbaum kopieren", ID_TREE_COPY_SUBTREE);
    menu.addSeparator();
    add(&menu, "Seite löschen", ID_TREE_DELETE_PAGE);
    add(&menu, "Unterbaum löschen", ID_TREE_DELETE_SUBTREE);
    menu.addSeparator();
    add(&menu, "Verschieben/Kopieren...", ID_TREE_MULTIPLE);
    menu.addSeparator();
    add(&menu, "Nachbarseiten öffnen", ID_TREE_EXPAND_SIBLINGS);
    add(&menu, "Nachbarseiten schließen", ID_TREE_COLLAPSE_SIBLINGS);
    menu.addSeparator();
    add(&menu, "Drucken...", ID_PAGE_PRINT);
    add(&menu, "Seitenansicht...", ID_PAGE_PREVIEW);
    menu.addSeparator();
    QMenu* imp = menu.addMenu(QStringLiteral("Importieren"));
    add(imp, "Verzeichnis...", ID_IMPORT_DIRECTORY_PAGES);
    add(imp, "Zipdatei...", ID_IMPORT_ZIP_PAGES);
    add(imp, "Zettrix-Datei...", ID_IMPORT_ZTD_PAGES);
    add(imp, "Textdatei...", ID_IMPORT_TEXT_PAGES);
    QMenu* exp = menu.addMenu(QStringLiteral("Exportieren"));
    add(exp, "als Text...", ID_EXPORT_TEXT_PAGES);
    add(exp, "als Verzeichnis...", ID_EXPORT_DIRECTORY_PAGES);
    menu.addSeparator();
    add(&menu, "Sortieren...", ID_TREE_SORT_CONTEXT);
    add(&menu, "Baumeintrag bearbeiten...", ID_TREE_ENTRY_STYLE);
    add(&menu, "Hintergrundfarbe...", ID_TREE_BACKGROUND);
    menu.addSeparator();
    add(&menu, "Eigenschaften...", ID_PAGE_PROPERTIES);
    QPoint at = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse && currentIndex().isValid())
        at = viewport()->mapToGlobal(visualRect(currentIndex()).bottomLeft());
    menu.exec(at);
}

void CLeftView::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState && event->modifiers() == Qt::NoModifier) {
        if (event->key() == Qt::Key_Delete) {
            Execute(ID_TREE_DELETE_PAGE);
            return;
        }
        if (event->key() == Qt::Key_Insert) {
            Execute(ID_TREE_INSERT_NEIGHBOUR);
            return;
        }
    }
    QTreeView::keyPressEvent(event);
}

void CLeftView::mouseReleaseEvent(QMouseEvent* event) {
    QModelIndex before = currentIndex();
    QTreeView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    QModelIndex idx = indexAt(event->position().toPoint());
    if (!idx.isValid() || idx != currentIndex() || !model_->hasChildren(idx)) return;
    // A click on an entry opens it; with the toggle setting a click on an open
    // entry closes it.
    if (!isExpanded(idx))
        expand(idx);
    else if (toggleOnClick_ && before.isValid())
        collapse(idx);
}

} // namespace zt::ui
