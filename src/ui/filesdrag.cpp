#include "ui/filesdrag.h"

#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "core/document.h"
#include "ui/listview.h"

namespace zt::ui {

namespace {

const QString& UriListMime() {
    static const QString mime = QStringLiteral("text/uri-list");
    return mime;
}

} // namespace

// ---- the data of a drag

CZTFilesMimeData::CZTFilesMimeData(CZTFilesDrag& owner, int32_t ident, std::vector<std::string> names)
    : owner_(&owner), ident_(ident), names_(std::move(names)) {}

QStringList CZTFilesMimeData::formats() const { return {UriListMime()}; }

bool CZTFilesMimeData::hasFormat(const QString& mime) const { return mime == UriListMime(); }

QVariant CZTFilesMimeData::retrieveData(const QString& mime, QMetaType) const {
    if (mime != UriListMime()) return {};
    CZTFilesDrag* owner = owner_;
    // A target may ask again during one drag: the files are written once.
    if (uriList_.isEmpty() && owner) uriList_ = owner->WriteCopies(ident_, names_);
    return uriList_;
}

// ---- the controller

CZTFilesDrag::CZTFilesDrag(CZTListView& list, CZTDocument& doc, Prompter& prompter)
    : QObject(&list), list_(list), doc_(doc), prompter_(prompter) {
    // Pressing a selected entry keeps the selection, so that several files
    // can be dragged at once; the view starts the drag.
    list_.setDragEnabled(true);
    list_.startFileDrag = [this] { BeginDrag(); };
    list_.viewport()->installEventFilter(this);
}

CZTFilesDrag::~CZTFilesDrag() {
    list_.startFileDrag = nullptr;
    Clear();
}

void CZTFilesDrag::Clear() { temps_.Clear(); }

void CZTFilesDrag::RemoveCopies(const QStringList& paths) {
    for (const QString& p : paths) {
        const std::string path = QFile::encodeName(p).toStdString();
        if (temps_.Contains(path)) temps_.Remove(path);
    }
}

CZTFilesMimeData* CZTFilesDrag::CreateDragData() {
    CZTPageNode* page = list_.Page();
    std::vector<std::string> names = list_.SelectedFiles();
    if (!page || names.empty()) return nullptr;
    return new CZTFilesMimeData(*this, page->Ident(), std::move(names));
}

Qt::DropAction CZTFilesDrag::BeginDrag() {
    CZTFilesMimeData* data = CreateDragData();
    if (!data) return Qt::IgnoreAction;
    // On the heap: the platform keeps the drag until a target in another
    // process has fetched the data, which may be after exec() returned.
    auto* drag = new QDrag(&list_);
    drag->setMimeData(data);
    // A move is offered for the tree of this program, which moves the files
    // between pages itself. Whatever another program does with the copies,
    // even when it took them as a move, the files stay in the document: the
    // result of the drag is never acted on here.
    const bool editable = !list_.isEditable || list_.isEditable();
    const Qt::DropActions allowed = editable ? (Qt::CopyAction | Qt::MoveAction) : Qt::DropActions(Qt::CopyAction);
    if (!runDrag) return drag->exec(allowed, Qt::CopyAction);
    const Qt::DropAction result = runDrag(*drag, allowed);
    delete drag;
    return result;
}

QByteArray CZTFilesDrag::WriteCopies(int32_t ident, const std::vector<std::string>& names) {
    QByteArray list;
    const std::vector<std::string> earlier = temps_.Paths();
    for (const std::string& name : names) {
        // The copy of an earlier drag makes way, so that this copy keeps the
        // file's own name.
        const QString diskName = QString::fromStdString(SafeDiskName(name));
        for (const std::string& old : earlier)
            if (temps_.Contains(old) && QFileInfo(QFile::decodeName(old.c_str())).fileName() == diskName)
                temps_.Remove(old);
        const std::string path = WriteTempCopy(doc_, ident, name, temps_, prompter_);
        if (path.empty()) continue; // the user was told
        list += QUrl::fromLocalFile(QFile::decodeName(path.c_str())).toEncoded() + "\r\n";
    }
    return list;
}

bool CZTFilesDrag::IsOwn(const QMimeData* data) const {
    const auto* own = qobject_cast<const CZTFilesMimeData*>(data);
    return own && own->Owner() == this;
}

bool CZTFilesDrag::eventFilter(QObject* watched, QEvent* event) {
    if (watched != list_.viewport()) return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        // Files dragged from this list are not dropped back onto it.
        auto* e = static_cast<QDropEvent*>(event);
        if (!IsOwn(e->mimeData())) return false;
        e->ignore();
        return true;
    }
    default:
        return false;
    }
}

} // namespace zt::ui
