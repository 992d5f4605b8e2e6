#include "document.h"

#include "base/messages.h"
#include "core/extbytes.h"

#include <new>

namespace {

// Opening and saving may need much memory; running out is told, never an abort.
template <typename F>
bool GuardMemory(zt::Prompter& prompter, F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        prompter.Message(zt::MessageText(zt::Msg::OutOfMemory), zt::Prompter::Icon::Error);
        return false;
    }
}

} // namespace

CZTDocument::CZTDocument(zt::Prompter& prompter) : archive_(prompter) {}
CZTDocument::~CZTDocument() = default;

void CZTDocument::New() {
    tree_.Clear();
    archive_.NewDocument();
}

void CZTDocument::TakePageList(CZTPageNode* anchor, bool asChild, const CZTPageList& pages, bool inserted) {
    auto result = tree_.InsertPageList(anchor, asChild, pages);
    for (CZTPageNode* node : result.pages) {
        std::string_view style;
        if (archive_.GetExtItem(node->Ident(), zt::kExtTreeEntryStyle, style))
            if (auto s = TreeEntryStyle::Decode(style)) tree_.SetStyle(node, *s);
        // Pages read into an open document (copies, inserted document
        // files) bring their reminders only when the user wants them taken
        // over; by default a copy carries none.
        std::string_view reminders;
        if (inserted && !takeOverPageReminders &&
            archive_.GetExtItem(node->Ident(), zt::kExtReminders, reminders))
            archive_.SetExtItem(node->Ident(), zt::kExtReminders, {});
        bool hasFiles = archive_.FileCount(node->Ident()) > 0;
        tree_.ApplyMark(node, inserted ? CZTMarkEvent::Inserted : CZTMarkEvent::Reset, hasFiles);
    }
}

bool CZTDocument::Open(const std::string& path) {
    // A failed open leaves the open document as it was; only running out of
    // memory after the new document was read (while the tree is rebuilt)
    // leaves a new, empty one.
    bool opened = false;
    const bool ok = GuardMemory(Prompter(), [&] {
        CZTPageList pages;
        if (!archive_.Open(path, pages)) return false;
        opened = true;
        tree_.Clear();
        TakePageList(nullptr, true, pages, false);
        return true;
    });
    if (!ok && opened) {
        tree_.Clear();
        archive_.NewDocument();
    }
    return ok;
}

bool CZTDocument::OpenRevisionBody(std::string_view body, const std::string& title) {
    tree_.Clear();
    CZTPageList pages;
    if (!archive_.OpenRevisionBody(body, title, pages)) return false;
    TakePageList(nullptr, true, pages, false);
    return true;
}

bool CZTDocument::Save(const std::string& path) {
    return GuardMemory(Prompter(), [&] { return SaveUnguarded(path); });
}

bool CZTDocument::SaveUnguarded(const std::string& path) {
    const std::string target = path.empty() ? archive_.FilePath() : path;
    if (target.empty()) return false;
    CZTPageList pages = tree_.BuildPageList();
    if (archive_.Core().directoryForm && target != archive_.FilePath()) {
        // Save As of a directory-form document: a single-file copy under the
        // new name; the document keeps its name, form and modified state.
        CZTArchive::CopyOptions options;
        options.kind = CZTArchive::CopyKind::External;
        options.wholeDocument = true;
        options.keepEncryption = true;
        return archive_.SaveCopy(target, pages, options);
    }
    if (!archive_.Save(target, pages)) return false;
    tree_.ResetMarks([this](int32_t ident) { return archive_.FileCount(ident) > 0; });
    return true;
}

bool CZTDocument::SaveCopy(const std::string& path) {
    return GuardMemory(Prompter(), [&] { return archive_.SaveCopy(path, tree_.BuildPageList(), {}); });
}

bool CZTDocument::InsertFile(const std::string& path, CZTPageNode* anchor, bool asChild) {
    return GuardMemory(Prompter(), [&] {
        CZTPageList pages;
        if (!archive_.Insert(path, pages)) return false;
        TakePageList(anchor, asChild, pages, true);
        return true;
    });
}

CZTPageNode* CZTDocument::AddPage(CZTPageNode* parent, std::string title, bool first) {
    int32_t ident = archive_.AppendNode();
    CZTPageNode* node = nullptr;
    if (first || (!parent && tree_.IsEmpty()) || (parent && !parent->HasChildren())) {
        node = tree_.InsertPage(parent, CZTPageTree::Placement::AsChild, {}, std::move(title), ident);
    } else {
        CZTPageNode* last = parent ? parent->LastChild() : tree_.RootPages().back();
        node = tree_.InsertPage(last, CZTPageTree::Placement::AsNeighbour, {}, std::move(title), ident);
    }
    if (node) {
        // The page's record exists from the start, stamped with its creator.
        archive_.PutPage(ident, CZTPageRecord::New(archive_.User()));
        tree_.ApplyMark(node, CZTMarkEvent::Inserted, false);
        archive_.SetModified();
    }
    return node;
}

CZTPageTree::DeleteResult CZTDocument::DeletePage(CZTPageNode* node, bool withSubtree) {
    CZTPageTree::DeleteResult result = tree_.DeletePage(node, withSubtree);
    for (int32_t ident : result.removed) archive_.DeletePage(ident);
    if (!result.removed.empty()) archive_.SetModified();
    return result;
}

CZTPageNode* CZTDocument::CopyPages(CZTPageNode* source, bool withSubtree, CZTPageNode* target, bool asChild) {
    if (!source) return nullptr;
    CZTPageList pages = tree_.BuildPageList(source, withSubtree ? tree_.CountPages(source) : 1);
    CZTArchive::CopyOptions options;
    options.kind = CZTArchive::CopyKind::Internal;
    options.wholeDocument = false;
    options.subtreeTitle = source->Title();
    std::string bytes;
    if (!archive_.WriteCopy(pages, options, bytes) || bytes.empty()) return nullptr;
    CZTPageList inserted;
    bool ok = archive_.InsertBytes(std::move(bytes), inserted);
    if (inserted.empty()) return nullptr;
    TakePageList(target, asChild, inserted, true);
    archive_.SetModified();
    (void)ok;
    return tree_.FindPage(inserted.front().ident);
}

CZTPageNode* CZTDocument::MovePage(CZTPageNode* node, CZTPageNode* target, CZTPageTree::MoveMode mode,
                                   bool withSubtree) {
    CZTPageNode* moved = tree_.MovePage(node, target, mode, withSubtree);
    if (moved) archive_.SetModified();
    return moved;
}

bool CZTDocument::RenamePage(CZTPageNode* node, std::string_view title) {
    auto r = tree_.RenamePage(node, title);
    if (r == CZTPageTree::RenameResult::Renamed) archive_.SetModified();
    return r != CZTPageTree::RenameResult::Empty;
}

std::string CZTDocument::PageText(const CZTPageNode* node) {
    if (!node) return {};
    CZTPageRecord r = archive_.GetPage(node->Ident());
    const std::string* t = r.GetText();
    return t ? *t : std::string();
}

bool CZTDocument::SetPageText(CZTPageNode* node, std::string_view text) {
    if (!node) return false;
    CZTPageRecord r = archive_.GetPage(node->Ident());
    if (!r.SetText(text, archive_.User())) return false;
    if (!archive_.PutPage(node->Ident(), std::move(r))) return false;
    tree_.ApplyMark(node, CZTMarkEvent::PageChanged);
    archive_.SetModified();
    return true;
}

int CZTDocument::AttachFile(CZTPageNode* node, const CZTFileRecord& record) {
    if (!node) return 0;
    int r = archive_.PutFile(node->Ident(), record);
    if (r != 0) {
        tree_.ApplyMark(node, CZTMarkEvent::FilesChanged);
        archive_.SetModified();
    }
    return r;
}

bool CZTDocument::DetachFile(CZTPageNode* node, std::string_view name) {
    if (!node || !archive_.GetFile(node->Ident(), name).valid) return false;
    archive_.DeleteFile(node->Ident(), name);
    tree_.ApplyMark(node, CZTMarkEvent::FilesChanged);
    archive_.SetModified();
    return true;
}

CZTPageNode* CZTDocument::InsertPage(CZTPageNode* anchor, CZTPageTree::Placement placement, std::string title) {
    if (placement == CZTPageTree::Placement::PositionCode) return nullptr;
    int32_t ident = archive_.AppendNode();
    CZTPageNode* node = tree_.InsertPage(anchor, placement, {}, std::move(title), ident);
    if (!node) return nullptr;
    archive_.PutPage(ident, CZTPageRecord::New(archive_.User()));
    tree_.ApplyMark(node, CZTMarkEvent::Inserted, false);
    archive_.SetModified();
    return node;
}

CZTPageNode* CZTDocument::MoveUp(CZTPageNode* node) {
    CZTPageNode* moved = tree_.MoveUp(node);
    if (moved) archive_.SetModified();
    return moved;
}

CZTPageNode* CZTDocument::MoveDown(CZTPageNode* node) {
    CZTPageNode* moved = tree_.MoveDown(node);
    if (moved) archive_.SetModified();
    return moved;
}

CZTPageNode* CZTDocument::MoveLeft(CZTPageNode* node) {
    CZTPageNode* moved = tree_.MoveLeft(node);
    if (moved) archive_.SetModified();
    return moved;
}

CZTPageNode* CZTDocument::MoveRight(CZTPageNode* node) {
    std::vector<int32_t> created;
    CZTPageNode* moved = tree_.MoveRight(node, [&] {
        int32_t ident = archive_.AppendNode();
        created.push_back(ident);
        return ident;
    });
    for (int32_t ident : created) {
        CZTPageNode* page = tree_.FindPage(ident);
        if (!page) continue; // the ident was not used
        archive_.PutPage(ident, CZTPageRecord::New(archive_.User()));
        tree_.ApplyMark(page, CZTMarkEvent::Inserted, false);
    }
    if (moved) archive_.SetModified();
    return moved;
}

void CZTDocument::SortSiblings(CZTPageNode* node, bool allLevels, bool descending) {
    if (!node) return;
    tree_.SortSiblings(node, allLevels, descending);
    archive_.SetModified();
}

void CZTDocument::SetTreeEntryStyle(CZTPageNode* node, const TreeEntryStyle& style, bool siblings, bool subtrees) {
    if (!node) return;
    for (CZTPageNode* page : tree_.SetTreeEntryStyle(node, style, siblings, subtrees))
        archive_.SetExtItem(page->Ident(), zt::kExtTreeEntryStyle, page->Style().IsSet() ? page->Style().Encode() : "");
    archive_.SetModified();
}

TreeBackground CZTDocument::Background() const {
    std::string_view data;
    if (!archive_.GetExtItem(-1, zt::kExtTreeBackground, data)) return {};
    return TreeBackground::Decode(data);
}

void CZTDocument::SetBackground(int32_t rgb) {
    TreeBackground bg;
    bg.colorSet = rgb != TreeBackground::kWhite;
    bg.color = rgb;
    archive_.SetExtItem(-1, zt::kExtTreeBackground, bg.Encode());
    archive_.SetModified();
}
