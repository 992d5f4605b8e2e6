#include "ui/listview.h"

#include <algorithm>

#include "ui/backgrounddialog.h"

#include <QCheckBox>
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QClipboard>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QStyledItemDelegate>
#include <QStyle>
#include <QFontMetrics>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "base/system.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "text/pagecolors.h"
#include "ui/commands.h"
#include "ui/filedialogs.h"
#include "ui/openwith.h"
#include "ui/treedialogs.h"

namespace zt::ui {

namespace {

constexpr int kNameRole = Qt::UserRole;      // the name's Windows-1252 bytes
constexpr int kNumberRole = Qt::UserRole + 1; // size or time for sorting

QString U(const std::string& cp1252) { return QString::fromStdString(Cp1252ToUtf8(cp1252)); }
std::string B(const QString& text) { return Utf8ToCp1252(text.toStdString()); }
std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Names sort byte-wise and case-sensitively, sizes and times as numbers.
class FileItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (column == CZTListView::NameColumn)
            return data(0, kNameRole).toByteArray() < other.data(0, kNameRole).toByteArray();
        return data(column, kNumberRole).toLongLong() < other.data(column, kNumberRole).toLongLong();
    }
};

struct FileTimes {
    qint64 mtime = 0;
    qint64 size = -1;
};
FileTimes Stat(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    return {qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, qint64(st.st_size)};
}

} // namespace

// Grid lines between the cells, and renaming in place through RenameFile.
class CZTFileNameDelegate : public QStyledItemDelegate {
public:
    explicit CZTFileNameDelegate(CZTListView* view) : QStyledItemDelegate(view), view_(view) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(p, option, index);
        p->save();
        p->setPen(option.palette.color(QPalette::Mid));
        p->drawLine(option.rect.topRight(), option.rect.bottomRight());
        p->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        p->restore();
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit) return;
        const std::string old = index.data(kNameRole).toByteArray().toStdString();
        const QString text = edit->text();
        // Renaming rebuilds the list, which the editor must not see.
        QTimer::singleShot(0, view_, [v = view_, old, text] { v->RenameFile(old, text); });
    }

private:
    CZTListView* view_;
};

CZTListView::CZTListView(CZTDocument& doc, Prompter& prompter, QWidget* parent)
    : QTreeWidget(parent), doc_(doc), prompter_(prompter) {
    setObjectName(QStringLiteral("filesView"));
    setRootIsDecorated(false);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setHeaderLabels({QStringLiteral("Dateiname"), QStringLiteral("Größe"), QStringLiteral("Zuletzt geändert"),
                     QStringLiteral("Erstellt am")});
    headerItem()->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    headerItem()->setTextAlignment(ModifiedColumn, Qt::AlignCenter);
    headerItem()->setTextAlignment(CreatedColumn, Qt::AlignCenter);
    // The widths were made for a small dialog font: they grow with the font
    // in use, and the date columns always hold a whole stamp and their title.
    const QFontMetrics fm(font());
    const double scale = std::max(1.0, fm.averageCharWidth() / 5.0);
    const int pad = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 16;
    const int stamp = fm.horizontalAdvance(QStringLiteral("88.88.8888 88:88:88")) + pad;
    const QFontMetrics hm(header()->font());
    setColumnWidth(NameColumn, int(120 * scale));
    setColumnWidth(SizeColumn, std::max(int(60 * scale), hm.horizontalAdvance(QStringLiteral("Größe")) + pad));
    setColumnWidth(ModifiedColumn,
                   std::max({int(100 * scale), stamp, hm.horizontalAdvance(QStringLiteral("Zuletzt geändert")) + pad}));
    setColumnWidth(CreatedColumn,
                   std::max({int(100 * scale), stamp, hm.horizontalAdvance(QStringLiteral("Erstellt am")) + pad}));
    header()->setStretchLastSection(true);
    header()->setSortIndicatorShown(true);
    setSortingEnabled(true);
    sortByColumn(NameColumn, Qt::AscendingOrder);
    setItemDelegate(new CZTFileNameDelegate(this));
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setAutoFillBackground(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { OnDoubleClick(item); });
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { OnWatchedChange(); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { OnWatchedChange(); });
}

CZTListView::~CZTListView() { DocumentClosing(); }

CZTPageNode* CZTListView::Page() const { return ident_ > 0 ? doc_.Tree().FindPage(ident_) : nullptr; }

bool CZTListView::Editable() const { return isEditable ? isEditable() : true; }

// ---- the list

void CZTListView::ShowPage(CZTPageNode* page) {
    clear();
    ident_ = page ? page->Ident() : 0;
    if (page) {
        const CZTNode* node = doc_.Archive().Core().Node(page->Ident());
        setSortingEnabled(false);
        if (node) {
            for (const CZTFileEntry& f : node->files) {
                auto* item = new FileItem(this);
                item->setFlags(item->flags() | Qt::ItemIsEditable);
                item->setText(NameColumn, U(f.name));
                item->setData(NameColumn, kNameRole, QByteArray::fromStdString(f.name));
                item->setText(SizeColumn, QString::number(f.uncompressedLength));
                item->setData(SizeColumn, kNumberRole, qlonglong(f.uncompressedLength));
                item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
                const int32_t times[2] = {f.mtime > 0 ? f.mtime : 1, f.ctime > 0 ? f.ctime : 1};
                for (int c : {ModifiedColumn, CreatedColumn}) {
                    const int32_t t = times[c - ModifiedColumn];
                    item->setText(c, FormatStamp(t));
                    item->setData(c, kNumberRole, qlonglong(t));
                    item->setTextAlignment(c, Qt::AlignCenter);
                }
            }
        }
        setSortingEnabled(true);
    }
    ApplyBackground();
}

void CZTListView::Refresh() {
    const std::vector<std::string> selected = SelectedFiles();
    const int column = sortColumn();
    const Qt::SortOrder order = header()->sortIndicatorOrder();
    ShowPage(Page());
    sortByColumn(column, order);
    for (const std::string& n : selected)
        if (QTreeWidgetItem* item = FindItem(n)) item->setSelected(true);
}

void CZTListView::SelectFile(const QString& name) {
    QTreeWidgetItem* item = FindItem(B(name));
    if (!item) return;
    clearSelection();
    setCurrentItem(item);
    item->setSelected(true);
}

std::string CZTListView::ItemName(const QTreeWidgetItem* item) const {
    return item ? item->data(NameColumn, kNameRole).toByteArray().toStdString() : std::string();
}

QTreeWidgetItem* CZTListView::FindItem(const std::string& name) const {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (ItemName(topLevelItem(i)) == name) return topLevelItem(i);
    return nullptr;
}

std::vector<std::string> CZTListView::SelectedFiles() const {
    std::vector<std::string> out;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) out.push_back(ItemName(topLevelItem(i)));
    return out;
}

QStringList CZTListView::Names() const {
    QStringList out;
    for (int i = 0; i < topLevelItemCount(); ++i) out << topLevelItem(i)->text(NameColumn);
    return out;
}

void CZTListView::Changed() {
    Refresh();
    emit filesChanged();
}

void CZTListView::ApplyBackground() {
    QColor color(Qt::white);
    std::string_view data;
    if (CZTPageNode* p = Page(); p && doc_.Archive().GetExtItem(p->Ident(), PageColors::kExtKind, data)) {
        if (auto c = PageColors::Decode(data).filesBackground)
            color = QColor(int(*c & 0xFF), int((*c >> 8) & 0xFF), int((*c >> 16) & 0xFF));
    }
    QPalette pal = palette();
    pal.setColor(QPalette::Base, color);
    setPalette(pal);
}

// ---- commands

bool CZTListView::Handles(int id) const {
    switch (id) {
    case ID_FILES_NEW:
    case ID_FILES_SELECT_ALL:
    case ID_FILES_IMPORT:
    case ID_FILES_EXPORT:
    case ID_FILES_INSERT_TEXT:
    case ID_FILES_INSERT_PICTURE:
    case ID_FILES_OPEN:
    case ID_FILES_RENAME:
    case ID_FILES_DELETE:
    case ID_FILES_PROPERTIES:
    case ID_FILES_BACKGROUND: return true;
    case ID_EDIT_PASTE: return hasFocus();
    default: return false;
    }
}

bool CZTListView::ClipboardHasFiles() const {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasUrls()) return false;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile()) return true;
    return false;
}

bool CZTListView::IsEnabled(int id) const {
    const size_t selected = size_t(selectedItems().size());
    switch (id) {
    case ID_FILES_NEW:
    case ID_FILES_IMPORT:
    case ID_FILES_BACKGROUND: return ChangesAllowed();
    case ID_FILES_SELECT_ALL: return topLevelItemCount() > 0;
    case ID_FILES_EXPORT:
    case ID_FILES_OPEN:
    case ID_FILES_PROPERTIES: return selected > 0;
    case ID_FILES_INSERT_TEXT:
    case ID_FILES_INSERT_PICTURE: return selected > 0 && insertTarget_ && insertTarget_->CanInsert();
    case ID_FILES_RENAME: return selected == 1 && ChangesAllowed();
    case ID_FILES_DELETE: return selected > 0 && ChangesAllowed();
    case ID_EDIT_PASTE: return selected == 0 && ChangesAllowed() && ClipboardHasFiles();
    default: return false;
    }
}

void CZTListView::Execute(int id) {
    if (!IsEnabled(id)) return;
    switch (id) {
    case ID_FILES_NEW: NewFile(); break;
    case ID_FILES_SELECT_ALL: selectAll(); break;
    case ID_FILES_IMPORT: {
        const QStringList files = chooseImportFiles
                                      ? chooseImportFiles()
                                      : QFileDialog::getOpenFileNames(this, QString(), QString(),
                                                                      QStringLiteral("All files (*)"));
        if (!files.isEmpty()) ImportPaths(files);
        break;
    }
    case ID_FILES_EXPORT: ExportSelected(); break;
    case ID_FILES_OPEN:
        for (const std::string& name : SelectedFiles()) OpenFile(name, false);
        break;
    case ID_FILES_RENAME:
        if (QTreeWidgetItem* item = FindItem(SelectedFiles().front())) {
            setCurrentItem(item, NameColumn);
            editItem(item, NameColumn);
        }
        break;
    case ID_FILES_DELETE: DeleteSelected(); break;
    case ID_FILES_PROPERTIES: ShowProperties(); break;
    case ID_FILES_INSERT_TEXT: InsertSelected(false); break;
    case ID_FILES_INSERT_PICTURE: InsertSelected(true); break;
    case ID_FILES_BACKGROUND: ChooseBackground(); break;
    case ID_EDIT_PASTE: PasteFiles(); break;
    default: break;
    }
}

// ---- operations

int CZTListView::ImportPaths(const QStringList& paths) {
    CZTPageNode* page = Page();
    if (!page || !Editable()) return 0;
    std::vector<std::string> list;
    for (const QString& p : paths) list.push_back(Local(p));
    CZTDialogConflictAsker dialog(this);
    ConflictResolver conflicts(conflictAsker ? conflictAsker : &dialog);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ImportResult r = ImportFiles(doc_, page, list, conflicts, prompter_);
    QApplication::restoreOverrideCursor();
    if (r.imported || r.pages) Changed();
    return r.imported;
}

void CZTListView::ExportSelected() {
    CZTPageNode* page = Page();
    const std::vector<std::string> names = SelectedFiles();
    if (!page || names.empty()) return;
    if (names.size() == 1) {
        const QString suggestion = QString::fromStdString(SafeDiskName(names.front()));
        const QString path =
            chooseSavePath ? chooseSavePath(suggestion) : QFileDialog::getSaveFileName(this, QString(), suggestion);
        if (path.isEmpty()) return;
        prompter_.Status(MessageText(Msg::ExportingFiles));
        ExportFile(doc_, page->Ident(), names.front(), Local(path), prompter_);
        prompter_.Status({});
        return;
    }
    const QString folder = chooseFolder ? chooseFolder()
                                        : QFileDialog::getExistingDirectory(this, QStringLiteral("Dateien Exportieren"));
    if (folder.isEmpty()) return;
    CZTDialogConflictAsker dialog(this);
    ConflictResolver conflicts(conflictAsker ? conflictAsker : &dialog);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ExportFiles(doc_, page->Ident(), names, Local(folder), conflicts, prompter_);
    QApplication::restoreOverrideCursor();
}

bool CZTListView::OpenFile(const std::string& name, bool wait) {
    CZTPageNode* page = Page();
    if (!page) return false;
    const int32_t ident = page->Ident();
    const std::string path = WriteTempCopy(doc_, ident, name, temps_, prompter_);
    if (path.empty()) return false;
    const QString qpath = QFile::decodeName(path.c_str());
    const CZTAssociation assoc = FindAssociation(qpath);
    CZTOpenFileDialog ask(U(name), assoc.command, assoc.executable, this);
    const int choice = ask.exec();
    if (choice == CZTOpenFileDialog::Save) {
        const QString suggestion = QString::fromStdString(SafeDiskName(name));
        const QString target =
            chooseSavePath ? chooseSavePath(suggestion) : QFileDialog::getSaveFileName(this, QString(), suggestion);
        if (target.isEmpty()) {
            temps_.Remove(path);
            return false;
        }
        QFile::remove(target);
        const bool moved = QFile::rename(qpath, target);
        if (moved) temps_.Forget(path);
        else {
            temps_.Remove(path);
            prompter_.Message(FormatMessage(Msg::FileWriteFailed, {target.toStdString()}), Prompter::Icon::Error);
        }
        return moved;
    }
    if (choice != CZTOpenFileDialog::Open) {
        temps_.Remove(path); // nobody uses the copy
        return false;
    }
    QStringList words = QProcess::splitCommand(ask.Command());
    if (words.isEmpty()) {
        prompter_.Message(FormatMessage(Msg::ProgramStartFailed, {""}), Prompter::Icon::Error);
        temps_.Remove(path);
        return false;
    }
    const QString program = words.takeFirst();
    if (!ask.NoFileArgument()) words << qpath;
    const bool readOnly = !Editable();
    QFile::Permissions perms = QFile::ReadOwner | (readOnly ? QFile::Permissions() : QFile::WriteOwner);
    if (program == qpath) perms |= QFile::ExeOwner; // the file is the program
    QFile::setPermissions(qpath, perms);

    if (!wait) {
        if (!QProcess::startDetached(program, words)) {
            prompter_.Message(FormatMessage(Msg::ProgramStartFailed, {program.toStdString()}), Prompter::Icon::Error);
            return false;
        }
        return true; // the copy stays listed until the document closes
    }

    const FileTimes before = Stat(path);
    const int generation = generation_;
    QPointer<CZTListView> alive(this);
    QProcess process;
    QEventLoop loop;
    bool failed = false;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            failed = true;
            loop.quit();
        }
    });
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, words);
    if (!failed && process.state() != QProcess::NotRunning) loop.exec(); // the window stays alive meanwhile
    // The document may have been closed (or the view destroyed) meanwhile.
    if (!alive || generation != generation_) return false;
    if (failed) {
        QFile::setPermissions(qpath, QFile::ReadOwner | QFile::WriteOwner);
        prompter_.Message(FormatMessage(Msg::ProgramStartFailed, {program.toStdString()}), Prompter::Icon::Error);
        temps_.Remove(path);
        return false;
    }
    QFile::setPermissions(qpath, QFile::ReadOwner | QFile::WriteOwner);
    const FileTimes after = Stat(path);
    const bool changed = after.size >= 0 && (after.mtime != before.mtime || after.size != before.size);
    if (changed) {
        if (!readOnly && prompter_.AskOkCancel(MessageText(Msg::RereadChangedFile))) {
            if (ReadBackFile(doc_, doc_.Tree().FindPage(ident), name, path, prompter_)) Changed();
        }
        temps_.Remove(path);
        return true;
    }
    // Many programs hand the file to an instance that already runs and return
    // at once: the copy is watched until the document closes.
    if (!readOnly && after.size >= 0) Watch({path, ident, name, after.mtime, after.size});
    else temps_.Remove(path);
    return true;
}

void CZTListView::Watch(const Watched& w) {
    watched_.push_back(w);
    const QString file = QFile::decodeName(w.path.c_str());
    watcher_->addPath(file);
    const QString dir = QFileInfo(file).absolutePath();
    if (!watcher_->directories().contains(dir)) watcher_->addPath(dir); // editors that save by renaming
}

std::vector<std::string> CZTListView::WatchedFiles() const {
    std::vector<std::string> out;
    for (const Watched& w : watched_) out.push_back(w.path);
    return out;
}

void CZTListView::OnWatchedChange() {
    if (asking_) return;
    for (size_t i = 0; i < watched_.size(); ++i) {
        Watched& w = watched_[i];
        const FileTimes now = Stat(w.path);
        const QString file = QFile::decodeName(w.path.c_str());
        if (now.size >= 0 && !watcher_->files().contains(file)) watcher_->addPath(file); // replaced by a rename
        if (now.size < 0 || (now.mtime == w.mtime && now.size == w.size)) continue;
        w.mtime = now.mtime;
        w.size = now.size;
        if (!Editable()) continue;
        asking_ = true;
        const Watched copy = w;
        const bool reread = prompter_.AskOkCancel(MessageText(Msg::RereadChangedFile));
        asking_ = false;
        if (reread && ReadBackFile(doc_, doc_.Tree().FindPage(copy.ident), copy.name, copy.path, prompter_)) {
            if (copy.ident == ident_) Refresh();
            emit filesChanged();
        }
        break; // the list may have changed meanwhile; later changes call again
    }
}

bool CZTListView::RenameFile(const std::string& oldName, const QString& newName) {
    CZTPageNode* page = Page();
    if (!page || !Editable()) return false;
    const std::string name = B(newName.trimmed());
    if (name == oldName) return false;
    if (name.empty()) {
        prompter_.Message(MessageText(Msg::EmptyName), Prompter::Icon::Warning);
        return false;
    }
    if (doc_.Archive().GetFile(page->Ident(), name).valid) {
        prompter_.Message(MessageText(Msg::NameInUse), Prompter::Icon::Warning);
        return false;
    }
    CZTFileRecord r = doc_.Archive().GetFile(page->Ident(), oldName);
    if (!r.valid) return false;
    r.name = name;
    if (doc_.AttachFile(page, r) == 0) {
        prompter_.Message(FormatMessage(Msg::FileLoadError, {Cp1252ToUtf8(name)}), Prompter::Icon::Error);
        return false;
    }
    doc_.DetachFile(page, oldName);
    Refresh();
    SelectFile(U(name));
    emit filesChanged();
    return true;
}

void CZTListView::DeleteSelected() {
    CZTPageNode* page = Page();
    const std::vector<std::string> names = SelectedFiles();
    if (!page || names.empty() || !Editable()) return;
    if (!prompter_.AskYesNo(MessageText(Msg::ConfirmDeleteFiles))) return;
    for (const std::string& n : names) doc_.DetachFile(page, n);
    Changed();
}

void CZTListView::NewFile() {
    CZTPageNode* page = Page();
    if (!page || !Editable()) return;
    const std::string name = MakeUniqueFileName(doc_, page->Ident(), std::string(MessageText(Msg::NewFileName)) + ".txt");
    if (!StoreFile(doc_, page, name, {}, NowStamp())) {
        prompter_.Message(FormatMessage(Msg::FileLoadError, {Cp1252ToUtf8(name)}), Prompter::Icon::Error);
        return;
    }
    Changed();
    SelectFile(U(name));
}

void CZTListView::ShowProperties() {
    CZTPageNode* page = Page();
    const std::vector<std::string> names = SelectedFiles();
    if (!page || names.empty()) return;
    CZTFileFacts facts;
    int64_t size = 0, packed = 0;
    for (const std::string& n : names) {
        CZTFileRecord r = doc_.Archive().GetFile(page->Ident(), n);
        if (!r.valid) continue;
        size += r.uncompressedLength;
        packed += r.storedLength;
        if (names.size() == 1) {
            facts.name = U(r.name);
            facts.longName = U(PagePath(page) + "/" + r.name);
            facts.createdBy = U(r.createdBy);
            facts.created = FormatStamp(r.ctime);
            facts.modifiedBy = U(r.modifiedBy);
            facts.modified = FormatStamp(r.mtime);
        }
    }
    facts.size = QString::fromStdString(FormatMessage(Msg::BytesCompressed, {std::to_string(size), std::to_string(packed)}));
    CZTFilePropertiesDialog d(facts, this);
    d.exec();
}

void CZTListView::InsertSelected(bool asPicture) {
    CZTPageNode* page = Page();
    if (!page || !insertTarget_) return;
    prompter_.Status(MessageText(asPicture ? Msg::InsertingPictures : Msg::InsertingTextFiles));
    for (const std::string& name : SelectedFiles()) {
        const std::string path = WriteTempCopy(doc_, page->Ident(), name, temps_, prompter_);
        if (path.empty()) continue;
        std::string bytes, error;
        bool inserted = false;
        if (!ReadWholeFile(path, bytes, &error)) {
            inserted = false;
        } else if (asPicture) {
            inserted = insertTarget_->InsertPicture(QByteArray::fromStdString(bytes));
        } else {
            const FileKind kind = LooksBinaryFile(path);
            if (kind == FileKind::Binary &&
                !prompter_.AskOkCancel(FormatMessage(Msg::FileLooksBinary, {Cp1252ToUtf8(name)}))) {
                temps_.Remove(path);
                continue; // skipped by the user
            }
            inserted = insertTarget_->InsertText(bytes, kind == FileKind::Rtf);
        }
        temps_.Remove(path);
        // A file that cannot be inserted is reported and skipped.
        if (!inserted)
            prompter_.Message(FormatMessage(asPicture ? Msg::PictureInsertFailed : Msg::TextFileReadFailed,
                                            {Cp1252ToUtf8(name)}),
                              Prompter::Icon::Error);
    }
    prompter_.Status({});
}

void CZTListView::ChooseBackground() {
    CZTPageNode* page = Page();
    if (!page || !Editable()) return;
    std::string_view data;
    PageColors colors;
    if (doc_.Archive().GetExtItem(page->Ident(), PageColors::kExtKind, data)) colors = PageColors::Decode(data);
    const uint32_t before = colors.filesBackground.value_or(PageColors::kNoColor);
    const QColor shown = before == PageColors::kNoColor
                             ? QColor(Qt::white)
                             : QColor(int(before & 0xFF), int((before >> 8) & 0xFF), int((before >> 16) & 0xFF));
    CZTBackgroundDialog d(shown, this);
    if (d.exec() != QDialog::Accepted) return;
    const QColor c = d.Colour();
    const uint32_t rgb = uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
    if (c == shown && !d.siblings->isChecked() && !d.subtrees->isChecked()) return;
    ChangePageColours(doc_, page, d.siblings->isChecked(), d.subtrees->isChecked(),
                      [rgb](PageColors& colours) { colours.SetFilesBackground(rgb); });
    ApplyBackground();
    emit filesChanged();
}

void CZTListView::PasteFiles() {
    if (!IsEnabled(ID_EDIT_PASTE)) return;
    if (TakeMimeData(QApplication::clipboard()->mimeData())) QApplication::clipboard()->clear();
}

bool CZTListView::TakeMimeData(const QMimeData* data) {
    CZTPageNode* page = Page();
    if (!data || !page || !Editable()) return false;
    if (data->hasUrls()) {
        QStringList files;
        for (const QUrl& u : data->urls())
            if (u.isLocalFile()) files << u.toLocalFile();
        if (!files.isEmpty()) {
            ImportPaths(files);
            return true;
        }
    }
    // Data of another kind becomes a new file named after its type.
    std::string bytes, ext;
    if (data->hasFormat(QStringLiteral("text/rtf")) || data->hasFormat(QStringLiteral("application/rtf"))) {
        bytes = data->data(data->hasFormat(QStringLiteral("text/rtf")) ? QStringLiteral("text/rtf")
                                                                       : QStringLiteral("application/rtf"))
                    .toStdString();
        ext = ".rtf";
    } else if (data->hasHtml()) {
        bytes = data->html().toStdString();
        ext = ".htm";
    } else if (data->hasText()) {
        bytes = B(data->text());
        ext = ".txt";
    } else if (data->hasImage()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        qvariant_cast<QImage>(data->imageData()).save(&buffer, "PNG");
        bytes = png.toStdString();
        ext = ".png";
    } else {
        return false;
    }
    if (ext != ".png") bytes = bytes.substr(0, bytes.find('\0')); // text ends at its first NUL
    const std::string name = MakeUniqueFileName(doc_, page->Ident(), std::string(MessageText(Msg::NewFileName)) + ext);
    if (!StoreFile(doc_, page, name, bytes, NowStamp())) {
        prompter_.Message(FormatMessage(Msg::FileLoadError, {Cp1252ToUtf8(name)}), Prompter::Icon::Error);
        return false;
    }
    Changed();
    return true;
}

void CZTListView::DocumentClosing() {
    ++generation_;
    if (!watched_.empty()) {
        const QStringList files = watcher_->files(), dirs = watcher_->directories();
        if (!files.isEmpty()) watcher_->removePaths(files);
        if (!dirs.isEmpty()) watcher_->removePaths(dirs);
        watched_.clear();
    }
    temps_.Clear();
}

// ---- events

void CZTListView::OnDoubleClick(QTreeWidgetItem* item) {
    if (!item || waiting_) return; // one program waited for at a time
    waiting_ = true;
    QPointer<CZTListView> alive(this);
    OpenFile(ItemName(item), true);
    if (alive) waiting_ = false;
}

void CZTListView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    auto add = [&](QMenu* m, const QString& text, int id) {
        QAction* a = m->addAction(text);
        a->setEnabled(IsEnabled(id));
        connect(a, &QAction::triggered, this, [this, id] { Execute(id); });
    };
    add(&menu, QStringLiteral("Neue Datei"), ID_FILES_NEW);
    menu.addSeparator();
    {
        QAction* a = menu.addAction(QStringLiteral("Einfügen\tStrg+V"));
        a->setEnabled(SelectedFiles().empty() && ChangesAllowed() && ClipboardHasFiles());
        connect(a, &QAction::triggered, this, [this] { PasteFiles(); });
    }
    add(&menu, QStringLiteral("Alles auswählen"), ID_FILES_SELECT_ALL);
    menu.addSeparator();
    add(&menu, QStringLiteral("Importieren..."), ID_FILES_IMPORT);
    add(&menu, QStringLiteral("Exportieren..."), ID_FILES_EXPORT);
    menu.addSeparator();
    QMenu* insert = menu.addMenu(QStringLiteral("In den Text einfügen"));
    add(insert, QStringLiteral("als Text"), ID_FILES_INSERT_TEXT);
    insert->setEnabled(IsEnabled(ID_FILES_INSERT_TEXT));
    menu.addSeparator();
    add(&menu, QStringLiteral("Öffnen / Ausführen..."), ID_FILES_OPEN);
    menu.addSeparator();
    add(&menu, QStringLiteral("Umbenennen"), ID_FILES_RENAME);
    add(&menu, QStringLiteral("Löschen"), ID_FILES_DELETE);
    menu.addSeparator();
    add(&menu, QStringLiteral("Eigenschaften..."), ID_FILES_PROPERTIES);
    menu.exec(event->globalPos());
}

void CZTListView::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState) {
        int id = 0;
        if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) id = ID_FILES_DELETE;
        else if (event->key() == Qt::Key_F2) id = ID_FILES_RENAME;
        else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) id = ID_FILES_OPEN;
        else if (event->matches(QKeySequence::Paste)) id = ID_EDIT_PASTE;
        if (id) {
            Execute(id);
            event->accept();
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

void CZTListView::dragEnterEvent(QDragEnterEvent* event) {
    if (ChangesAllowed() && (event->mimeData()->hasUrls() || event->mimeData()->hasText() ||
                             event->mimeData()->hasHtml() || event->mimeData()->hasImage()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CZTListView::dragMoveEvent(QDragMoveEvent* event) {
    if (ChangesAllowed()) event->acceptProposedAction();
    else event->ignore();
}

void CZTListView::startDrag(Qt::DropActions) {
    if (startFileDrag) startFileDrag();
}

void CZTListView::dropEvent(QDropEvent* event) {
    if (TakeMimeData(event->mimeData())) event->acceptProposedAction();
    else event->ignore();
}

} // namespace zt::ui
