// Drag and drop of pages, texts and files: subtrees moved and copied within
// the tree, handed to another running instance or to the file manager (as a
// document file), pages dropped onto the files list, and texts and file lists
// dropped onto the tree. The data of a tree drag is made only when a drop
// target asks for it.
#pragma once

#include <QMimeData>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/attachedfiles.h"
#include "ui/dropquestion.h"

class CZTPageNode;
class QDrag;

namespace zt::ui {

class CMainFrame;
class CZTTreeDragDrop;
class CZTTreeDropFeedback;
class CZTFilesDrag;
class CZTFilesMimeData;

inline constexpr char kMimeZettrix[] = "application/x-zettrix";
inline constexpr char kMimeBTree[] = "application/x-zettrix-btree";
inline constexpr char kMimeBTitle[] = "application/x-zettrix-btitle";
inline constexpr char kMimeFileText[] = "application/x-zettrix-filetext";
inline constexpr char kMimeFileSize[] = "application/x-zettrix-filesize";
inline constexpr char kMimeRtf[] = "text/rtf";
inline constexpr char kMimeUriList[] = "text/uri-list";

// The "Zettrix" data: int32 0xFF41, the title (the file's string form), then,
// when it leaves the tree, the subtree written as a document.
inline constexpr int32_t kZettrixDragTag = 0xFF41;
std::string BuildZettrixData(std::string_view title, std::string_view document);
struct CZTZettrixData {
    std::string title;
    std::string document;
};
// False for another tag or data that ends early.
bool ReadZettrixData(std::string_view bytes, CZTZettrixData& out);

// The data of one tree drag.
class CZTTreeMimeData : public QMimeData {
    Q_OBJECT
public:
    CZTTreeMimeData(CZTTreeDragDrop& owner, int32_t ident, std::string title);

    QStringList formats() const override;
    bool hasFormat(const QString& mime) const override;

    int32_t SourceIdent() const { return ident_; }
    const CZTTreeDragDrop* Owner() const { return owner_; }
    // The subtree's "Zettrix" or file data was taken by a target outside
    // this program's own views.
    bool TakenOutside() const { return takenOutside_; }
    // Whether text formats now cover the subtree, with titles.
    bool WholeSubtree() const { return subtree_; }
    bool WithTitles() const { return titles_; }

protected:
    QVariant retrieveData(const QString& mime, QMetaType type) const override;

private:
    friend class CZTTreeDragDrop;
    QPointer<CZTTreeDragDrop> owner_;
    int32_t ident_;
    std::string title_;
    mutable bool subtree_ = false, titles_ = false;
    mutable bool takenOutside_ = false;
    mutable int32_t lastSize_ = 0;
    mutable QString droppedFile_;
    // Set while this program's own views read the data.
    mutable bool internal_ = false, shortForm_ = false;
};

class CZTTreeDragDrop : public QObject {
    Q_OBJECT
public:
    explicit CZTTreeDragDrop(CMainFrame& frame);
    ~CZTTreeDragDrop() override;

    // The data a drag of `node` offers (the caller owns it).
    CZTTreeMimeData* CreateDragData(CZTPageNode* node);
    // Starts a drag of the node: move and copy when the document is
    // editable, copy only otherwise. The effect the drop target chose.
    Qt::DropAction BeginTreeDrag(CZTPageNode* node);
    // The effect a drag over the tree would have.
    Qt::DropAction TreeDragOver(const QMimeData* data, Qt::KeyboardModifiers keys,
                                Qt::DropActions possible) const;
    // A drop on the tree at `target` (null: the root). True when something
    // was inserted or moved.
    bool TreeDrop(const QMimeData* data, Qt::DropAction action, CZTPageNode* target);
    // Files from the file manager dropped on the tree.
    bool ShellFilesDropOnTree(const QStringList& paths, CZTPageNode* target);
    // A drop on the files list of the current page.
    bool FilesListDrop(const QMimeData* data, Qt::DropAction action);

    // The drop target, scrolling and opening shown while dragging over the tree.
    CZTTreeDropFeedback* Feedback() const { return feedback_; }
    // Attached files dragged out of the files list.
    CZTFilesDrag* FilesDrag() const { return filesDrag_; }

    // The bytes of a format, read as this program's own view.
    QByteArray ReadOwn(const QMimeData* data, const char* mime, bool shortForm = false) const;

    // Test hooks: the answer to a question (the chosen option, -1 cancels;
    // the check boxes and the format may be set), and the drag itself.
    std::function<int(CZTDropQuestion& question)> answerQuestion;
    std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)> runDrag;
    // Every beep of a refused drop.
    int beeps = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class CZTTreeMimeData;
    bool Editable() const;
    int Ask(CZTDropQuestion& q);
    void Beep();
    CZTPageNode* NodeAt(const QPoint& viewportPos) const;
    // The renderings of CZTTreeMimeData.
    QByteArray RenderZettrix(CZTTreeMimeData& data, bool shortForm);
    QByteArray RenderText(CZTTreeMimeData& data, bool rtf);
    QByteArray RenderFileList(CZTTreeMimeData& data);
    std::string SubtreeDocument(CZTPageNode* node);
    void AfterDrag(const CZTTreeMimeData& data, Qt::DropAction result);
    bool DropText(const QMimeData* data, CZTPageNode* target, bool asChild);
    // Files dragged from this window's own files list dropped on the tree.
    bool OwnFilesDrop(const CZTFilesMimeData& data, Qt::DropAction action, CZTPageNode* target);
    // Stores (or moves) the dragged files into the target page under the
    // name conflict rule.
    bool StoreOwnFiles(const CZTFilesMimeData& data, CZTPageNode* source, CZTPageNode* target, bool move);
    // Imports files as pages: the first as first child or neighbour of the
    // target, each following one as neighbour of the previous.
    bool ImportAsPages(const QStringList& paths, CZTPageNode* target, bool asChild);
    bool IsOwnFiles(const QMimeData* data) const;
    // Reads a subtree document handed over by another instance into the
    // document at the target; the first inserted page, or null.
    CZTPageNode* InsertDocument(const std::string& bytes, CZTPageNode* target, bool asChild);
    void Select(CZTPageNode* node);

    CMainFrame& frame_;
    CZTTempFiles temps_; // pages dragged out as files
    CZTTreeDropFeedback* feedback_ = nullptr;
    CZTFilesDrag* filesDrag_ = nullptr;
    QPoint pressAt_;
    QPointer<QObject> pressedView_;
    int32_t pressedIdent_ = 0;
};

} // namespace zt::ui
