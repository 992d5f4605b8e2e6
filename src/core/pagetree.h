// The page tree: the ordered forest of pages under an invisible root, as the
// user edits it. Nodes carry the page ident (the key of the page's record in
// the content store), title, tree entry style, change mark and expansion state.
// The model owns the hierarchy; views follow it through CZTPageTreeListener.
//
// The model never touches the content store: operations that create pages take
// idents allocated by the caller, and operations that remove pages report the
// idents removed so that the caller can drop their records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/pagelist.h"
#include "core/treeentrystyle.h"

class CZTPageTree;

// Change marks 0..5: the left half tells whether the page changed since the
// last save, the right half the state of its attached files.
//   0 page unchanged, no files       3 page changed, files unchanged
//   1 page unchanged, has files      4 page changed, no files
//   2 page unchanged, files changed  5 page changed, files changed
enum class CZTMarkEvent {
    Reset,        // after open and save: 1 with files, else 0
    Inserted,     // pages arriving by copy, import or reading into a document: 5 with files, else 4
    PageChanged,  // 0->4, 1->3, 2->5; 3, 4, 5 stay
    FilesChanged, // 0->2, 1->2, 3->5, 4->5; 2, 5 stay
};

namespace zt {
// The mark after `event`; `hasFiles` matters for Reset and Inserted only.
int NextMark(int mark, CZTMarkEvent event, bool hasFiles = false);
} // namespace zt

enum class CZTPageChange { Title, Style, Mark, Expanded };

class CZTPageNode {
public:
    CZTPageNode(const CZTPageNode&) = delete;
    CZTPageNode& operator=(const CZTPageNode&) = delete;

    int32_t Ident() const { return ident_; }
    const std::string& Title() const { return title_; }
    const TreeEntryStyle& Style() const { return style_; }
    int Mark() const { return mark_; }
    bool IsExpanded() const { return expanded_; }

    // The parent page; null for a root page.
    CZTPageNode* Parent() const;
    const std::vector<CZTPageNode*>& Children() const { return children_; }
    // The children of the parent (the root pages for a root page), this page
    // among them.
    const std::vector<CZTPageNode*>& Siblings() const;
    size_t ChildCount() const { return children_.size(); }
    bool HasChildren() const { return !children_.empty(); }
    CZTPageNode* Child(size_t row) const { return row < children_.size() ? children_[row] : nullptr; }
    CZTPageNode* FirstChild() const { return Child(0); }
    CZTPageNode* LastChild() const { return children_.empty() ? nullptr : children_.back(); }
    CZTPageNode* PrevSibling() const;
    CZTPageNode* NextSibling() const;
    // Position among the siblings.
    size_t Row() const { return row_; }
    // 1 for root pages.
    int Depth() const;
    // True when `other` lies in this page's subtree below this page.
    bool IsAncestorOf(const CZTPageNode* other) const;

private:
    friend class CZTPageTree;
    CZTPageNode() = default;

    int32_t ident_ = 0;
    std::string title_;
    TreeEntryStyle style_;
    int mark_ = 0;
    bool expanded_ = false;
    CZTPageNode* parent_ = nullptr; // the invisible root for root pages, null for the root itself
    std::vector<CZTPageNode*> children_;
    size_t row_ = 0;
};

// Follows the changes of a CZTPageTree. A parent of null stands for the
// invisible root (the root pages). Each change is announced before and after
// it is made, in the pairs an item model needs.
class CZTPageTreeListener {
public:
    virtual ~CZTPageTreeListener() = default;

    virtual void PageAboutToBeInserted(const CZTPageNode* parent, size_t row) {}
    virtual void PageInserted(CZTPageNode* page) {}
    // A page is removed only when it has no children left.
    virtual void PageAboutToBeRemoved(CZTPageNode* page) {}
    virtual void PageRemoved(const CZTPageNode* parent, size_t row, int32_t ident) {}
    // `destRow` is the row in `newParent` counted before the move (the row of
    // the page that will follow the moved page, or the child count).
    virtual void PageAboutToBeMoved(CZTPageNode* page, const CZTPageNode* newParent, size_t destRow) {}
    virtual void PageMoved(CZTPageNode* page) {}
    virtual void ChildrenAboutToBeSorted(const CZTPageNode* parent) {}
    virtual void ChildrenSorted(const CZTPageNode* parent) {}
    virtual void PageChanged(CZTPageNode* page, CZTPageChange what) {}
    virtual void TreeAboutToBeCleared() {}
    virtual void TreeCleared() {}
};

// One step of the pre-order walk.
struct CZTWalkStep {
    const CZTPageNode* node = nullptr;
    int32_t ident = 0;
    std::string code; // "c", "n" or "p" repeated k times
};

// The pre-order walk (a page, then its children in order, then its next
// sibling) with the position code of each page relative to the page yielded
// before it. The first page of a walk is "c". The tree must not change while
// a walker is in use.
class CZTPageWalker {
public:
    // Starts at `start` (the first root page when null). With `subtreeOnly`
    // the walk ends after the last page of the start page's subtree;
    // otherwise it goes on through the rest of the tree.
    explicit CZTPageWalker(const CZTPageTree& tree, const CZTPageNode* start = nullptr, bool subtreeOnly = false);

    // Yields the next page; false at the end of the walk.
    bool NextInWalk(CZTWalkStep& step);

private:
    const CZTPageNode* next_ = nullptr;
    const CZTPageNode* stop_ = nullptr;
    std::string code_ = "c";
};

class CZTPageTree {
public:
    enum class Placement {
        AsChild,      // first child of the anchor; first root page without anchor
        AsNeighbour,  // directly after the anchor; last root page without anchor
        PositionCode, // relative to the anchor taken as the previous page of a walk
    };
    enum class MoveMode { After, FirstChild, LastChild };
    enum class RenameResult { Unchanged, Empty, Renamed };

    struct DeleteResult {
        CZTPageNode* select = nullptr; // page to select next, null when the tree is empty
        std::vector<int32_t> removed;  // idents of the pages removed, children before parents
    };
    struct InsertListResult {
        std::vector<CZTPageNode*> pages; // the pages inserted, in list order
        bool ok = true;                  // false when an entry was refused; the pages before it stay
    };

    // Compares two titles: negative, zero or positive.
    using TitleCompare = std::function<int(std::string_view, std::string_view)>;

    CZTPageTree();
    ~CZTPageTree();
    CZTPageTree(const CZTPageTree&) = delete;
    CZTPageTree& operator=(const CZTPageTree&) = delete;

    void AddListener(CZTPageTreeListener* listener);
    void RemoveListener(CZTPageTreeListener* listener);

    // --- queries
    bool IsEmpty() const { return root_->children_.empty(); }
    const std::vector<CZTPageNode*>& RootPages() const { return root_->children_; }
    CZTPageNode* FirstRootPage() const { return root_->FirstChild(); }
    CZTPageNode* FindPage(int32_t ident) const;
    // True when `node` is a page of this tree.
    bool Owns(const CZTPageNode* node) const;
    // The page and all its descendants; with null, every page of the tree.
    size_t CountPages(const CZTPageNode* node = nullptr) const;

    // --- building
    // Creates a page with `ident` (> 0, not yet in the tree), `title` and no
    // style, placed as `placement` says; `code` is used with PositionCode only.
    // Null when the ident, the anchor or the code is not acceptable.
    CZTPageNode* InsertPage(CZTPageNode* anchor, Placement placement, std::string_view code, std::string title,
                            int32_t ident);
    // Rebuilds pages from a page list: the first page lands at the anchor (as
    // its first child with `asChild`, else directly after it; as first or last
    // root page without anchor), the following pages by their position codes
    // relative to the page before: "c" its first child, "n" directly after it,
    // "p" k times directly after its k-th ancestor (last root page when the
    // climb leaves the tree). "f" entries (attached files of a listing) are
    // skipped.
    InsertListResult InsertPageList(CZTPageNode* anchor, bool asChild, const CZTPageList& list);
    // Removes every page (no removal events per page).
    void Clear();

    // --- editing
    // Trims white space; an unchanged title does nothing, an empty one is
    // rejected; otherwise stores it and applies PageChanged.
    RenameResult RenamePage(CZTPageNode* node, std::string_view text);
    // Stores the title as given (no mark change).
    void SetTitle(CZTPageNode* node, std::string title);
    // Without subtree the children take the page's place in their order and
    // only the page goes; with subtree the whole subtree goes. The page to
    // select is the next sibling, else the previous one, else the parent, else
    // the first root page. Pointers to removed pages become invalid.
    DeleteResult DeletePage(CZTPageNode* node, bool withSubtree);
    // Moves `node` after `target` or to its first or last child (a null target
    // with FirstChild/LastChild means the root level). Without subtree the
    // children stay behind at the page's place. Refused (null) when the target
    // is the page itself or lies in its subtree, or After has no target.
    // Returns the moved page.
    CZTPageNode* MovePage(CZTPageNode* node, CZTPageNode* target, MoveMode mode, bool withSubtree);

    // The four move commands move the whole subtree and return the moved page,
    // or null when the move is not possible.
    bool CanMoveUp(const CZTPageNode* node) const;
    bool CanMoveDown(const CZTPageNode* node) const;
    bool CanMoveLeft(const CZTPageNode* node) const;
    bool CanMoveRight(const CZTPageNode* node) const;
    CZTPageNode* MoveUp(CZTPageNode* node);
    CZTPageNode* MoveDown(CZTPageNode* node);
    CZTPageNode* MoveLeft(CZTPageNode* node);
    // Without a previous sibling a new page titled NewEntryTitle() is first
    // inserted in the page's place, with an ident from `allocateIdent`, and
    // the page becomes its first child.
    CZTPageNode* MoveRight(CZTPageNode* node, const std::function<int32_t()>& allocateIdent);

    // Sorts the page and its siblings (the root pages when `node` is null or a
    // root page) by title; with `allLevels` the children of every page below
    // as well. The parent page gets PageChanged. Equal titles keep their order.
    void SortSiblings(CZTPageNode* node, bool allLevels, bool descending, const TitleCompare& compare = {});
    // Case-insensitive comparison with the collation of the user's locale;
    // byte-wise case-insensitive (Windows-1252) when no locale is available.
    static int DefaultTitleCompare(std::string_view a, std::string_view b);

    // Gives `style` to the page (with siblings: to every child of its parent;
    // with subtrees: to every descendant of each of those too), applies
    // PageChanged to each and returns them in order, for the caller to store
    // their kind 1 property.
    std::vector<CZTPageNode*> SetTreeEntryStyle(CZTPageNode* node, const TreeEntryStyle& style, bool siblings,
                                                bool subtrees);
    // Sets the style as read from the store (no mark change).
    void SetStyle(CZTPageNode* node, const TreeEntryStyle& style);

    // --- change marks
    void ApplyMark(CZTPageNode* node, CZTMarkEvent event, bool hasFiles = false);
    // Reset for every page; `hasFiles` tells whether a page has attached files.
    void ResetMarks(const std::function<bool(int32_t ident)>& hasFiles);
    void SetMark(CZTPageNode* node, int mark);

    // --- expansion
    void SetExpanded(CZTPageNode* node, bool expanded);
    bool CanExpandSiblings(const CZTPageNode* node) const;   // some sibling is collapsed and has children
    bool CanCollapseSiblings(const CZTPageNode* node) const; // some sibling is expanded
    void ExpandSiblings(CZTPageNode* node);
    void CollapseSiblings(CZTPageNode* node);
    // True when every page that has children is expanded.
    bool AllExpanded() const;
    // Collapses all when AllExpanded(), else expands all.
    void ToggleExpandAll();

    // --- page lists
    // The walk over the whole tree (null) or over the subtree of `subtree`.
    CZTPageList BuildPageList(const CZTPageNode* subtree = nullptr) const;
    // The walk starting at `start`, at most `limit` pages.
    CZTPageList BuildPageList(const CZTPageNode* start, size_t limit) const;

    // The title of pages the program creates itself ("Neuer Eintrag").
    static std::string NewEntryTitle();

private:
    template <class F> void Notify(F&& f);
    CZTPageNode* Public(CZTPageNode* n) const { return n == root_.get() ? nullptr : n; }
    CZTPageNode* LinkNew(CZTPageNode* parent, size_t row, std::string title, int32_t ident);
    void Relocate(CZTPageNode* node, CZTPageNode* newParent, size_t destRow);
    void LiftChildren(CZTPageNode* node);
    void Unlink(CZTPageNode* node);
    void ChangeMark(CZTPageNode* node, int mark);
    void ChangeExpanded(CZTPageNode* node, bool expanded);
    void SortChildren(CZTPageNode* parent, bool descending, const TitleCompare& compare);
    static void Renumber(CZTPageNode* parent, size_t from);

    std::unique_ptr<CZTPageNode> root_;
    std::unordered_map<int32_t, std::unique_ptr<CZTPageNode>> nodes_;
    std::vector<CZTPageTreeListener*> listeners_;
};
