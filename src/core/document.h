// The open document without its windows: the content store and the page tree
// together, with the operations that change both (pages created, deleted,
// copied and moved; opening, inserting and saving). The desktop program's
// document, ztd and scripts all work through it.
#pragma once

#include "core/archive.h"
#include "core/pagetree.h"

#include <string>

class CZTDocument {
public:
    explicit CZTDocument(zt::Prompter& prompter);
    ~CZTDocument();

    CZTArchive& Archive() { return archive_; }
    const CZTArchive& Archive() const { return archive_; }
    CZTPageTree& Tree() { return tree_; }
    const CZTPageTree& Tree() const { return tree_; }
    zt::Prompter& Prompter() { return archive_.Prompter(); }

    // A new, empty, untitled document.
    void New();
    // Opens a document file; on failure the document that was open stays as
    // it was (its pages, file name and modified state).
    bool Open(const std::string& path);
    // Makes a revision body the document: new, untitled, its header title
    // `title` (see CZTArchive::OpenRevisionBody).
    bool OpenRevisionBody(std::string_view body, const std::string& title);
    // Saves under the document's own name (or `path` when given, which the
    // document then takes). A directory-form document given another name is
    // saved as a single-file copy and keeps its own name.
    bool Save(const std::string& path = {});
    // Writes a self-contained copy of the whole document to `path`.
    bool SaveCopy(const std::string& path);
    // Inserts the pages of a document file at `anchor` (null: as root pages).
    bool InsertFile(const std::string& path, CZTPageNode* anchor, bool asChild);

    // Whether pages read into this document (copies within it, inserted
    // document files) keep the reminders they carry; off by default, as the
    // "AlarmImpPage" setting is.
    bool takeOverPageReminders = false;

    bool IsModified() const { return archive_.IsModified(); }
    void SetModified() { archive_.SetModified(true); }

    // ---- pages
    // A new page with a fresh ident; `parent` null adds a root page. The page
    // goes last among the parent's children unless `first`.
    CZTPageNode* AddPage(CZTPageNode* parent, std::string title, bool first = false);
    // Deletes a page (its children move up) or a subtree, and their records.
    CZTPageTree::DeleteResult DeletePage(CZTPageNode* node, bool withSubtree);
    // Copies a page or subtree after `target` (or as its first child); the
    // copies get new idents and are stamped as created now by the current
    // user. Returns the first copy, or null.
    CZTPageNode* CopyPages(CZTPageNode* source, bool withSubtree, CZTPageNode* target, bool asChild);
    CZTPageNode* MovePage(CZTPageNode* node, CZTPageNode* target, CZTPageTree::MoveMode mode, bool withSubtree);
    bool RenamePage(CZTPageNode* node, std::string_view title);
    // A new page with a fresh ident placed as the tree's InsertPage places it
    // (as child: first child of the anchor, first root page without one; as
    // neighbour: directly after the anchor, last root page without one).
    CZTPageNode* InsertPage(CZTPageNode* anchor, CZTPageTree::Placement placement, std::string title);
    // The move commands: the whole subtree moves. MoveRight may create a
    // "Neuer Eintrag" page to nest the page under. Null when not possible.
    CZTPageNode* MoveUp(CZTPageNode* node);
    CZTPageNode* MoveDown(CZTPageNode* node);
    CZTPageNode* MoveLeft(CZTPageNode* node);
    CZTPageNode* MoveRight(CZTPageNode* node);
    void SortSiblings(CZTPageNode* node, bool allLevels, bool descending);
    // Gives the style to the page (and its siblings, and their subtrees) and
    // stores each page's kind 1 property (removed for a style without flags).
    void SetTreeEntryStyle(CZTPageNode* node, const TreeEntryStyle& style, bool siblings, bool subtrees);
    // The tree view background (document property kind 3); white removes it.
    TreeBackground Background() const;
    void SetBackground(int32_t rgb);

    // The page's text (decompressed), empty when it has none.
    std::string PageText(const CZTPageNode* node);
    // Stores a new text for the page.
    bool SetPageText(CZTPageNode* node, std::string_view text);
    // Attaches (adds or replaces by name) a file; returns 1, -1 or 0 as PutFile.
    int AttachFile(CZTPageNode* node, const CZTFileRecord& record);
    bool DetachFile(CZTPageNode* node, std::string_view name);

private:
    bool SaveUnguarded(const std::string& path);
    void TakePageList(CZTPageNode* anchor, bool asChild, const CZTPageList& pages, bool inserted);

    CZTArchive archive_;
    CZTPageTree tree_;
};
