#include "ui/treedrag.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMouseEvent>
#include <QTextDocument>
#include <QUrl>

#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/system.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "exchange/exchange.h"
#include "print/composer.h"
#include "text/pagertf.h"
#include "text/qt/rtfdocument.h"
#include "ui/filedialogs.h"
#include "ui/filesdrag.h"
#include "ui/leftview.h"
#include "ui/listview.h"
#include "ui/mainframe.h"
#include "ui/pagetreemodel.h"
#include "ui/settings.h"
#include "ui/textview.h"
#include "ui/treedropfeedback.h"

namespace zt::ui {

namespace {

// Dropped texts beyond this size are refused rather than stored.
constexpr qsizetype kMaxDroppedText = 64 * 1024 * 1024;

QString Msg8(Msg id) { return QString::fromUtf8(MessageText(id)); }

std::string Int32Bytes(int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[size_t(i)] = char(uint32_t(v) >> (8 * i) & 0xFF);
    return s;
}

int32_t Int32At(std::string_view s) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(s[size_t(i)]);
    return int32_t(v);
}

QStringList LocalFiles(const QMimeData* data) {
    QStringList files;
    if (!data->hasUrls()) return files;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile()) files << u.toLocalFile();
    return files;
}

bool HasTextFormat(const QMimeData* data) {
    return data->hasFormat(QString::fromLatin1(kMimeRtf)) || data->hasFormat(QStringLiteral("application/rtf")) ||
           data->hasText();
}

} // namespace

std::string BuildZettrixData(std::string_view title, std::string_view document) {
    std::string out = Int32Bytes(kZettrixDragTag);
    AppendPrefixedString(out, title);
    out += document;
    return out;
}

bool ReadZettrixData(std::string_view bytes, CZTZettrixData& out) {
    if (bytes.size() < 4) return false;
    // Older versions wrote the tag "ZT02" in the same place.
    if (Int32At(bytes) != kZettrixDragTag && bytes.substr(0, 4) != "ZT02") return false;
    size_t pos = 4;
    auto title = ReadPrefixedString(bytes, pos);
    if (!title) return false;
    out.title = std::move(*title);
    out.document = std::string(bytes.substr(pos));
    return true;
}

// ---- the data of a tree drag

CZTTreeMimeData::CZTTreeMimeData(CZTTreeDragDrop& owner, int32_t ident, std::string title)
    : owner_(&owner), ident_(ident), title_(std::move(title)) {}

QStringList CZTTreeMimeData::formats() const {
    return {QString::fromLatin1(kMimeZettrix),  QString::fromLatin1(kMimeFileText), QString::fromLatin1(kMimeFileSize),
            QString::fromLatin1(kMimeBTree),    QString::fromLatin1(kMimeBTitle),   QString::fromLatin1(kMimeUriList),
            QString::fromLatin1(kMimeRtf),      QStringLiteral("text/plain")};
}

bool CZTTreeMimeData::hasFormat(const QString& mime) const { return formats().contains(mime); }

QVariant CZTTreeMimeData::retrieveData(const QString& mime, QMetaType) const {
    auto* self = const_cast<CZTTreeMimeData*>(this);
    CZTTreeDragDrop* owner = owner_;
    if (!owner) return {};
    const QByteArray name = mime.toLatin1();
    // Requests for these two come before the text formats and widen them.
    if (name == kMimeBTree) {
        subtree_ = true;
        return QByteArray();
    }
    if (name == kMimeBTitle) {
        titles_ = true;
        return QByteArray();
    }
    if (name == kMimeZettrix) return owner->RenderZettrix(*self, shortForm_);
    if (name == kMimeFileText) return QByteArray::fromStdString(title_);
    if (name == kMimeFileSize) return QByteArray::fromStdString(Int32Bytes(lastSize_));
    if (name == kMimeUriList) return owner->RenderFileList(*self);
    if (name == kMimeRtf) return owner->RenderText(*self, true);
    if (mime == QLatin1String("text/plain")) return QString::fromUtf8(owner->RenderText(*self, false));
    return {};
}

// ---- the drag and drop controller

CZTTreeDragDrop::CZTTreeDragDrop(CMainFrame& frame) : QObject(&frame), frame_(frame) {
    CLeftView* tree = frame_.TreeView();
    tree->setAcceptDrops(true);
    tree->viewport()->setAcceptDrops(true);
    tree->viewport()->installEventFilter(this);
    frame_.FilesView()->viewport()->installEventFilter(this);
    feedback_ = new CZTTreeDropFeedback(*tree, [this](const QDragMoveEvent& e) {
        return TreeDragOver(e.mimeData(), e.modifiers(), e.possibleActions()) != Qt::IgnoreAction;
    });
    // Files dragged out belong to the document shown: they go with it.
    filesDrag_ = new CZTFilesDrag(*frame_.FilesView(), frame_.Document(), frame_.Document().Prompter());
    connect(&frame_, &CMainFrame::documentChanged, this, [this] { temps_.Clear(); });
    connect(&frame_, &CMainFrame::documentChanged, filesDrag_, &CZTFilesDrag::Clear);
}

CZTTreeDragDrop::~CZTTreeDragDrop() = default;

bool CZTTreeDragDrop::Editable() const { return frame_.IsEditable(); }

void CZTTreeDragDrop::Beep() {
    ++beeps;
    QApplication::beep();
}

int CZTTreeDragDrop::Ask(CZTDropQuestion& q) {
    if (answerQuestion) return answerQuestion(q);
    CZTDropQuestionDialog d(q, &frame_);
    d.exec();
    return d.Choice();
}

CZTPageNode* CZTTreeDragDrop::NodeAt(const QPoint& viewportPos) const {
    CLeftView* tree = frame_.TreeView();
    const QModelIndex index = tree->indexAt(viewportPos);
    return index.isValid() ? tree->PageModel()->Node(index) : nullptr;
}

void CZTTreeDragDrop::Select(CZTPageNode* node) {
    CLeftView* tree = frame_.TreeView();
    if (!node) node = tree->CurrentPage() ? tree->CurrentPage() : frame_.Document().Tree().FirstRootPage();
    if (node) tree->SelectPage(node);
    emit tree->treeChanged();
}

QByteArray CZTTreeDragDrop::ReadOwn(const QMimeData* data, const char* mime, bool shortForm) const {
    const auto* own = qobject_cast<const CZTTreeMimeData*>(data);
    if (!own) return data->data(QString::fromLatin1(mime));
    const bool wasInternal = own->internal_, wasShort = own->shortForm_;
    own->internal_ = true;
    own->shortForm_ = shortForm;
    const QByteArray bytes = data->data(QString::fromLatin1(mime));
    own->internal_ = wasInternal;
    own->shortForm_ = wasShort;
    return bytes;
}

std::string CZTTreeDragDrop::SubtreeDocument(CZTPageNode* node) {
    CZTDocument& doc = frame_.Document();
    CZTArchive::CopyOptions options;
    options.kind = CZTArchive::CopyKind::External; // it may leave the program
    options.wholeDocument = false;
    options.subtreeTitle = node->Title();
    std::string bytes;
    if (!doc.Archive().WriteCopy(doc.Tree().BuildPageList(node), options, bytes)) return {};
    return bytes;
}

QByteArray CZTTreeDragDrop::RenderZettrix(CZTTreeMimeData& data, bool shortForm) {
    if (shortForm) return QByteArray::fromStdString(BuildZettrixData(data.title_, {}));
    CZTPageNode* node = frame_.Document().Tree().FindPage(data.ident_);
    if (!node) return {};
    const std::string document = SubtreeDocument(node);
    if (document.empty()) return {};
    data.lastSize_ = int32_t(std::min<size_t>(document.size(), INT32_MAX));
    if (!data.internal_) data.takenOutside_ = true;
    return QByteArray::fromStdString(BuildZettrixData(data.title_, document));
}

QByteArray CZTTreeDragDrop::RenderText(CZTTreeMimeData& data, bool rtf) {
    CZTPageNode* node = frame_.Document().Tree().FindPage(data.ident_);
    if (!node) return {};
    const CZTPreferences& prefs = frame_.Settings().prefs;
    zt::print::ComposeOptions options;
    options.mode = data.subtree_ ? zt::print::ComposeMode::Subtree : zt::print::ComposeMode::Page;
    options.titles = data.titles_;
    options.face = prefs.defaultFont;
    options.sizeTwips = prefs.defaultFontSize;
    QTextDocument composed;
    std::vector<zt::print::ComposedPage> record;
    if (!zt::print::ComposePages(frame_.Document(), node, options, composed, record)) return {};
    if (rtf) return QByteArray::fromStdString(zt::textqt::WriteRtf(composed));
    return composed.toPlainText().toUtf8();
}

QByteArray CZTTreeDragDrop::RenderFileList(CZTTreeMimeData& data) {
    if (data.droppedFile_.isEmpty() || !QFile::exists(data.droppedFile_)) {
        CZTPageNode* node = frame_.Document().Tree().FindPage(data.ident_);
        if (!node) return {};
        const std::string document = SubtreeDocument(node);
        if (document.empty()) return {};
        std::string title = data.title_.substr(0, 254);
        if (title.empty()) title = "(NULL)";
        const std::string disk = Cp1252ToUtf8(ExportSafeName(title + ".ztd"));
        const std::string path = temps_.NewPath(disk, true);
        if (path.empty() || !WriteFileReplacing(path, document)) return {};
        data.lastSize_ = int32_t(std::min<size_t>(document.size(), INT32_MAX));
        data.droppedFile_ = QFile::decodeName(path.c_str());
    }
    if (!data.internal_) data.takenOutside_ = true;
    return QUrl::fromLocalFile(data.droppedFile_).toEncoded() + "\r\n";
}

CZTTreeMimeData* CZTTreeDragDrop::CreateDragData(CZTPageNode* node) {
    if (!node) return nullptr;
    // The text being edited goes with the page.
    if (CZettrixView* text = frame_.TextView()) text->SaveCurrentPage();
    return new CZTTreeMimeData(*this, node->Ident(), node->Title());
}

Qt::DropAction CZTTreeDragDrop::BeginTreeDrag(CZTPageNode* node) {
    CZTTreeMimeData* data = CreateDragData(node);
    if (!data) return Qt::IgnoreAction;
    // On the heap: the platform keeps the drag, and with it the data, after
    // exec() returns, until a target in another process has fetched it.
    auto* drag = new QDrag(frame_.TreeView());
    drag->setMimeData(data);
    const Qt::DropActions allowed = Editable() ? (Qt::CopyAction | Qt::MoveAction) : Qt::CopyAction;
    if (runDrag) {
        const Qt::DropAction result = runDrag(*drag, allowed);
        AfterDrag(*data, result);
        delete drag;
        return result;
    }
    const Qt::DropAction result = drag->exec(allowed, Qt::CopyAction);
    AfterDrag(*data, result); // the drag is deleted later by the platform
    return result;
}

void CZTTreeDragDrop::AfterDrag(const CZTTreeMimeData& data, Qt::DropAction result) {
    // Moved to another instance or the file manager: the subtree leaves.
    if (result != Qt::MoveAction || !data.TakenOutside() || !Editable()) return;
    CZTDocument& doc = frame_.Document();
    CZTPageNode* node = doc.Tree().FindPage(data.SourceIdent());
    if (!node) return;
    const CZTPageTree::DeleteResult r = doc.DeletePage(node, true);
    doc.SetModified();
    Select(r.select);
}

Qt::DropAction CZTTreeDragDrop::TreeDragOver(const QMimeData* data, Qt::KeyboardModifiers keys,
                                             Qt::DropActions possible) const {
    if (!data || !Editable()) return Qt::IgnoreAction;
    const bool zettrix = data->hasFormat(QString::fromLatin1(kMimeZettrix));
    // Files of the own list are not written out while the pointer moves.
    const bool ownFiles = IsOwnFiles(data);
    if (!zettrix && !ownFiles && LocalFiles(data).isEmpty() && !HasTextFormat(data)) return Qt::IgnoreAction;
    Qt::DropAction action = Qt::CopyAction;
    const bool ctrl = keys & Qt::ControlModifier, shift = keys & Qt::ShiftModifier;
    if (ctrl && shift) return Qt::IgnoreAction;
    if (ctrl)
        action = Qt::CopyAction;
    else if (zettrix || (keys & Qt::AltModifier) || (ownFiles && shift))
        action = Qt::MoveAction;
    if (!(possible & action)) action = (possible & Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
    return action;
}

bool CZTTreeDragDrop::TreeDrop(const QMimeData* data, Qt::DropAction action, CZTPageNode* target) {
    if (!data || !Editable()) return false;
    CZTDocument& doc = frame_.Document();
    const auto* own = qobject_cast<const CZTTreeMimeData*>(data);
    const bool sameTree = own && own->Owner() == this;
    CZTPageNode* source = sameTree ? doc.Tree().FindPage(own->SourceIdent()) : nullptr;
    if (sameTree) {
        if (!source) return false;
        // Not onto the page itself, nor into its own subtree.
        if (target && (target == source || source->IsAncestorOf(target))) {
            Beep();
            return false;
        }
    }
    if (IsOwnFiles(data)) return OwnFilesDrop(*qobject_cast<const CZTFilesMimeData*>(data), action, target);
    const bool zettrix = data->hasFormat(QString::fromLatin1(kMimeZettrix));
    if (!zettrix) {
        const QStringList files = LocalFiles(data);
        if (!files.isEmpty()) return ShellFilesDropOnTree(files, target);
        if (!HasTextFormat(data)) return false;
    }
    CZTZettrixData payload;
    if (zettrix && !ReadZettrixData(ReadOwn(data, kMimeZettrix, sameTree).toStdString(), payload)) {
        doc.Prompter().Message(MessageText(Msg::FileDamaged), Prompter::Icon::Error);
        return false;
    }
    CZTDropQuestion q;
    q.title = Msg8(action == Qt::MoveAction ? Msg::DropMoveTitle : Msg::DropCopyTitle);
    q.label = Msg8(Msg::DropPageAs);
    q.options = {Msg8(Msg::DropAsChildPage), Msg8(Msg::DropAsNeighbourPage), Msg8(Msg::DropAsFile)};
    q.preset = zettrix || !target ? 1 : 2;
    const int choice = Ask(q);
    if (choice < 0) return false;
    if (choice == 2) {
        // Into the files list of the target page.
        if (!target) return false;
        Select(target);
        return FilesListDrop(data, action);
    }
    const bool asChild = choice == 0;
    CZTPageNode* result = nullptr;
    if (zettrix) {
        if (sameTree) {
            if (action == Qt::MoveAction)
                result = doc.MovePage(source, target,
                                      asChild  ? CZTPageTree::MoveMode::FirstChild
                                      : target ? CZTPageTree::MoveMode::After
                                               : CZTPageTree::MoveMode::LastChild,
                                      true);
            else
                result = doc.CopyPages(source, true, target, asChild);
            if (result) doc.SetModified();
        } else {
            if (payload.document.empty()) {
                doc.Prompter().Message(MessageText(Msg::FileDamaged), Prompter::Icon::Error);
                return false;
            }
            // The reader checks every length; a damaged document changes nothing.
            result = InsertDocument(payload.document, target, asChild);
        }
        Select(result);
        return result != nullptr;
    }
    return DropText(data, target, asChild);
}

CZTPageNode* CZTTreeDragDrop::InsertDocument(const std::string& bytes, CZTPageNode* target, bool asChild) {
    CZTDocument& doc = frame_.Document();
    // Read as a document file from the private temporary directory, then
    // removed again.
    const std::string path = temps_.NewPath("ZT-DD.ztd", true);
    if (path.empty() || !WriteFileReplacing(path, bytes)) {
        if (!path.empty()) temps_.Remove(path);
        doc.Prompter().Message(MessageText(Msg::FileDamaged), Prompter::Icon::Error);
        return nullptr;
    }
    const CZTPageTree& tree = doc.Tree();
    const size_t before = tree.CountPages();
    const bool ok = doc.InsertFile(path, target, asChild);
    temps_.Remove(path);
    if (!ok || tree.CountPages() == before) return nullptr;
    doc.SetModified();
    // The first inserted page sits where the copy was placed.
    if (asChild) return target ? target->FirstChild() : tree.FirstRootPage();
    return target ? target->NextSibling() : tree.RootPages().back();
}

bool CZTTreeDragDrop::DropText(const QMimeData* data, CZTPageNode* target, bool asChild) {
    CZTDocument& doc = frame_.Document();
    std::string rtf;
    const QString rtfMime = data->hasFormat(QString::fromLatin1(kMimeRtf)) ? QString::fromLatin1(kMimeRtf)
                                                                           : QStringLiteral("application/rtf");
    if (data->hasFormat(rtfMime)) {
        const QByteArray bytes = data->data(rtfMime);
        if (bytes.size() > kMaxDroppedText) return false;
        rtf = bytes.toStdString();
        rtf = rtf.substr(0, rtf.find('\0'));
    }
    if (!IsRtfText(rtf)) {
        const QString text = data->text();
        if (text.size() > kMaxDroppedText) return false;
        rtf = TextToPageRtf(Utf8ToCp1252(text.toStdString()), 10, false);
    }
    CZTPageNode* page = doc.InsertPage(target, asChild ? CZTPageTree::Placement::AsChild
                                                       : CZTPageTree::Placement::AsNeighbour,
                                       Utf8ToCp1252(MessageText(Msg::NewEntryTitle)));
    if (!page) return false;
    doc.SetPageText(page, rtf);
    Select(page);
    frame_.TreeView()->EditCurrentTitle();
    return true;
}

bool CZTTreeDragDrop::ShellFilesDropOnTree(const QStringList& paths, CZTPageNode* target) {
    if (paths.isEmpty() || !Editable()) return false;
    CZTDocument& doc = frame_.Document();
    CZTDropQuestion q;
    q.title = Msg8(Msg::DropDialogTitle);
    q.label = Msg8(Msg::DropFilesOnTreeAs);
    q.options = {Msg8(Msg::DropAsChildPages), Msg8(Msg::DropAsNeighbourPages), Msg8(Msg::DropAsFilesInList)};
    q.note = Msg8(Msg::DropWithTextImport);
    q.preset = 1;
    const int choice = Ask(q);
    if (choice < 0) return false;
    if (choice == 2) {
        CZTPageNode* page = target;
        if (!page) page = doc.AddPage(nullptr, Utf8ToCp1252(MessageText(Msg::NewEntryTitle)));
        if (!page) return false;
        Select(page);
        const int taken = frame_.FilesView()->ImportPaths(paths);
        if (!target) frame_.TreeView()->EditCurrentTitle();
        return taken > 0;
    }
    return ImportAsPages(paths, target, choice == 0);
}

bool CZTTreeDragDrop::ImportAsPages(const QStringList& paths, CZTPageNode* target, bool asChild) {
    CZTDocument& doc = frame_.Document();
    BinaryChoice binary = BinaryChoice::Ask;
    if (paths.size() > 1) {
        CZTDropQuestion b;
        b.title = Msg8(Msg::DropQuestionTitle);
        b.label = Msg8(Msg::DropBinaryFiles);
        b.options = {Msg8(Msg::DropBinaryAll), Msg8(Msg::DropBinaryEach), Msg8(Msg::DropBinaryNone),
                     Msg8(Msg::DropBinaryAllAsFiles)};
        b.preset = 1;
        const int answer = Ask(b);
        if (answer < 0) return false;
        binary = BinaryChoice(answer);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    doc.Prompter().Status(MessageText(Msg::ImportingFiles));
    CZTPageNode* first = nullptr;
    CZTPageNode* previous = target;
    bool firstStep = true;
    for (const QString& path : paths) {
        const InsertMode mode = firstStep && asChild ? InsertMode::Children : InsertMode::Neighbours;
        const ImportOutcome r =
            ImportDirectory(doc, QFile::encodeName(path).toStdString(), previous, mode, binary, doc.Prompter());
        if (r.result == ExchangeResult::Cancelled) break;
        if (!r.last) continue;
        if (!first) first = r.first ? r.first : r.last;
        previous = r.last;
        firstStep = false;
    }
    doc.Prompter().Status("");
    QApplication::restoreOverrideCursor();
    Select(first);
    return first != nullptr;
}

bool CZTTreeDragDrop::IsOwnFiles(const QMimeData* data) const {
    const auto* own = qobject_cast<const CZTFilesMimeData*>(data);
    return own && filesDrag_ && own->Owner() == filesDrag_;
}

bool CZTTreeDragDrop::OwnFilesDrop(const CZTFilesMimeData& data, Qt::DropAction action, CZTPageNode* target) {
    CZTPageNode* source = frame_.Document().Tree().FindPage(data.Page());
    if (!source || data.Names().empty()) return false;
    CZTDropQuestion q;
    q.title = Msg8(action == Qt::MoveAction ? Msg::DropMoveTitle : Msg::DropCopyTitle);
    q.label = Msg8(Msg::DropPageAs);
    q.options = {Msg8(Msg::DropAsChildPage), Msg8(Msg::DropAsNeighbourPage), Msg8(Msg::DropAsFile)};
    // Onto the page the files come from they rather become pages; at the
    // root there is no page to take them as files.
    q.preset = !target || target == source ? 1 : 2;
    const int choice = Ask(q);
    if (choice < 0) return false;
    if (choice == 2) return StoreOwnFiles(data, source, target, action == Qt::MoveAction);
    // As pages through the file import, from the copies the data writes.
    const QStringList files = LocalFiles(&data);
    if (files.isEmpty()) return false;
    const bool done = ImportAsPages(files, target, choice == 0);
    filesDrag_->RemoveCopies(files);
    data.CopiesRemoved();
    return done;
}

bool CZTTreeDragDrop::StoreOwnFiles(const CZTFilesMimeData& data, CZTPageNode* source, CZTPageNode* target,
                                    bool move) {
    if (!target || target == source) return false; // already there
    CZTDocument& doc = frame_.Document();
    CZTListView* list = frame_.FilesView();
    CZTDialogConflictAsker dialog(list);
    ConflictResolver conflicts(list->conflictAsker ? list->conflictAsker : &dialog);
    auto exists = [&](const std::string& n) { return doc.Archive().GetFile(target->Ident(), n).valid; };
    auto unique = [&](const std::string& n) { return MakeUniqueFileName(doc, target->Ident(), n); };
    const std::string from = PagePath(source);
    int stored = 0;
    for (const std::string& original : data.Names()) {
        const CZTFileRecord record = doc.Archive().GetFile(source->Ident(), original);
        std::string bytes;
        if (!FileContent(doc, source->Ident(), original, bytes, doc.Prompter())) continue; // the user was told
        std::string name = original;
        bool overwrite = false;
        const ConflictResolver::Outcome outcome =
            conflicts.Resolve(name, Cp1252ToUtf8(from + "/" + original), exists, unique, overwrite);
        if (outcome == ConflictResolver::Outcome::Cancel) break;
        if (outcome == ConflictResolver::Outcome::Skip) continue;
        if (!StoreFile(doc, target, name, bytes, record.mtime > 0 ? record.mtime : NowStamp())) {
            doc.Prompter().Message(FormatMessage(Msg::FileLoadError, {Cp1252ToUtf8(name)}), Prompter::Icon::Error);
            continue;
        }
        ++stored;
        // Stored safely in the target: only now does it leave the source.
        if (move) doc.DetachFile(source, original);
    }
    if (!stored) return false;
    doc.SetModified();
    Select(target);
    list->Refresh();
    emit list->filesChanged();
    return true;
}

bool CZTTreeDragDrop::FilesListDrop(const QMimeData* data, Qt::DropAction) {
    CZTListView* files = frame_.FilesView();
    CZTPageNode* page = files->Page();
    if (!data || !page || !Editable()) return false;
    if (!data->hasFormat(QString::fromLatin1(kMimeZettrix))) return files->TakeMimeData(data);
    CZTDocument& doc = frame_.Document();
    const CZTPreferences& prefs = frame_.Settings().prefs;
    CZTDropQuestion q;
    q.title = Msg8(Msg::DropDialogTitle);
    q.label = Msg8(Msg::DropOnFilesAs);
    q.options = {Msg8(Msg::DropAsDocument), Msg8(Msg::DropAsTextContent)};
    q.formats = {Msg8(Msg::DropFormatRtf), Msg8(Msg::DropFormatText)};
    if (data->hasFormat(QString::fromLatin1(kMimeBTree))) {
        q.checks = {Msg8(Msg::DropWholeSubtree), Msg8(Msg::DropWithTitles)};
        q.checked = {prefs.drag == 0, prefs.caption != 0};
    }
    const int choice = Ask(q);
    if (choice < 0) return false;
    std::string name, bytes;
    if (choice == 0) {
        CZTZettrixData payload;
        if (!ReadZettrixData(ReadOwn(data, kMimeZettrix).toStdString(), payload) || payload.document.empty()) {
            doc.Prompter().Message(MessageText(Msg::FileDamaged), Prompter::Icon::Error);
            return false;
        }
        name = DiskNameRule(payload.title.empty() ? std::string("(NULL)") : payload.title) + ".ztd";
        bytes = std::move(payload.document);
    } else {
        q.checked.resize(2, false);
        if (q.checked[0]) ReadOwn(data, kMimeBTree);
        if (q.checked[1]) ReadOwn(data, kMimeBTitle);
        const bool rtf = q.format == 0 && data->hasFormat(QString::fromLatin1(kMimeRtf));
        const QByteArray text = rtf ? ReadOwn(data, kMimeRtf) : data->text().toUtf8();
        if (text.size() > kMaxDroppedText) return false;
        bytes = rtf ? text.toStdString() : Utf8ToCp1252(text.toStdString());
        bytes = bytes.substr(0, bytes.find('\0'));
        name = std::string(MessageText(Msg::NewFileName)) + (rtf ? ".rtf" : ".txt");
    }
    name = MakeUniqueFileName(doc, page->Ident(), name);
    if (!StoreFile(doc, page, name, bytes, NowStamp())) {
        doc.Prompter().Message(FormatMessage(Msg::FileLoadError, {Cp1252ToUtf8(name)}), Prompter::Icon::Error);
        return false;
    }
    files->Refresh();
    emit files->filesChanged();
    return true;
}

// ---- events of the tree's and the files list's viewports

bool CZTTreeDragDrop::eventFilter(QObject* watched, QEvent* event) {
    CLeftView* tree = frame_.TreeView();
    if (!tree || !frame_.FilesView()) return false; // the window is closing
    const bool onTree = watched == tree->viewport();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (onTree && e->button() == Qt::LeftButton) {
            pressAt_ = e->position().toPoint();
            CZTPageNode* node = NodeAt(pressAt_);
            pressedIdent_ = node ? node->Ident() : 0;
        }
        return false;
    }
    case QEvent::MouseButtonRelease:
        pressedIdent_ = 0;
        return false;
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (!onTree || !pressedIdent_ || !(e->buttons() & Qt::LeftButton) || tree->TitleEditor()) return false;
        if ((e->position().toPoint() - pressAt_).manhattanLength() < QApplication::startDragDistance()) return false;
        CZTPageNode* node = frame_.Document().Tree().FindPage(pressedIdent_);
        pressedIdent_ = 0;
        if (!node) return false;
        BeginTreeDrag(node);
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        if (onTree) {
            const Qt::DropAction a = TreeDragOver(e->mimeData(), e->modifiers(), e->possibleActions());
            if (a == Qt::IgnoreAction) {
                e->ignore();
            } else {
                e->setDropAction(a);
                e->accept();
            }
            return true;
        }
        if (!e->mimeData()->hasFormat(QString::fromLatin1(kMimeZettrix))) return false; // the list's own
        if (Editable() && frame_.FilesView()->Page()) {
            e->setDropAction((e->possibleActions() & Qt::CopyAction) ? Qt::CopyAction : e->proposedAction());
            e->accept();
        } else {
            e->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        if (onTree) {
            const Qt::DropAction a = TreeDragOver(e->mimeData(), e->modifiers(), e->possibleActions());
            if (a == Qt::IgnoreAction) {
                e->ignore();
                return true;
            }
            const bool done = TreeDrop(e->mimeData(), a, NodeAt(e->position().toPoint()));
            if (done) {
                e->setDropAction(a);
                e->accept();
            } else {
                e->ignore();
            }
            return true;
        }
        if (!e->mimeData()->hasFormat(QString::fromLatin1(kMimeZettrix))) return false;
        if (FilesListDrop(e->mimeData(), e->dropAction())) {
            e->setDropAction(Qt::CopyAction); // the page stays where it is
            e->accept();
        } else {
            e->ignore();
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace zt::ui
