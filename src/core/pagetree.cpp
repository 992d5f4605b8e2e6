#include "core/pagetree.h"

#include <algorithm>
#include <locale>

#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/messages.h"

// ---------------------------------------------------------------- marks

int zt::NextMark(int mark, CZTMarkEvent event, bool hasFiles) {
    switch (event) {
    case CZTMarkEvent::Reset:
        return hasFiles ? 1 : 0;
    case CZTMarkEvent::Inserted:
        return hasFiles ? 5 : 4;
    case CZTMarkEvent::PageChanged:
        switch (mark) {
        case 0: return 4;
        case 1: return 3;
        case 2: return 5;
        default: return mark;
        }
    case CZTMarkEvent::FilesChanged:
        switch (mark) {
        case 0:
        case 1: return 2;
        case 3:
        case 4: return 5;
        default: return mark;
        }
    }
    return mark;
}

// ---------------------------------------------------------------- nodes

CZTPageNode* CZTPageNode::Parent() const {
    return parent_ && parent_->parent_ ? parent_ : nullptr;
}

const std::vector<CZTPageNode*>& CZTPageNode::Siblings() const {
    static const std::vector<CZTPageNode*> none;
    return parent_ ? parent_->children_ : none;
}

CZTPageNode* CZTPageNode::PrevSibling() const {
    return parent_ && row_ > 0 ? parent_->children_[row_ - 1] : nullptr;
}

CZTPageNode* CZTPageNode::NextSibling() const {
    return parent_ && row_ + 1 < parent_->children_.size() ? parent_->children_[row_ + 1] : nullptr;
}

int CZTPageNode::Depth() const {
    int depth = 0;
    for (const CZTPageNode* p = this; p->parent_; p = p->parent_) ++depth;
    return depth;
}

bool CZTPageNode::IsAncestorOf(const CZTPageNode* other) const {
    if (!other) return false;
    for (const CZTPageNode* p = other->parent_; p; p = p->parent_)
        if (p == this) return true;
    return false;
}

// ---------------------------------------------------------------- walk

CZTPageWalker::CZTPageWalker(const CZTPageTree& tree, const CZTPageNode* start, bool subtreeOnly) {
    next_ = start ? start : tree.FirstRootPage();
    if (next_ && !tree.Owns(next_)) next_ = nullptr;
    stop_ = subtreeOnly ? next_ : nullptr;
}

bool CZTPageWalker::NextInWalk(CZTWalkStep& step) {
    if (!next_) return false;
    step.node = next_;
    step.ident = next_->Ident();
    step.code = code_;

    if (next_->HasChildren()) {
        next_ = next_->FirstChild();
        code_ = "c";
        return true;
    }
    const CZTPageNode* cur = next_;
    size_t climbed = 0;
    while (cur && cur != stop_ && !cur->NextSibling()) {
        cur = cur->Parent();
        ++climbed;
    }
    if (!cur || cur == stop_) {
        next_ = nullptr;
    } else {
        next_ = cur->NextSibling();
        if (climbed == 0)
            code_ = "n";
        else
            code_.assign(climbed, 'p');
    }
    return true;
}

// ---------------------------------------------------------------- tree

namespace {

// A position code: 'c', 'n' or 'p' with its count; kind 0 when malformed.
struct Code {
    char kind = 0;
    size_t climb = 0;
};

Code ParseCode(std::string_view code) {
    if (code == "c") return {'c', 0};
    if (code == "n") return {'n', 0};
    if (!code.empty() && code.find_first_not_of('p') == std::string_view::npos) return {'p', code.size()};
    return {};
}

} // namespace

CZTPageTree::CZTPageTree() : root_(new CZTPageNode) {}

CZTPageTree::~CZTPageTree() = default;

void CZTPageTree::AddListener(CZTPageTreeListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void CZTPageTree::RemoveListener(CZTPageTreeListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

template <class F> void CZTPageTree::Notify(F&& f) {
    if (listeners_.empty()) return;
    auto copy = listeners_;
    for (auto* l : copy) f(*l);
}

CZTPageNode* CZTPageTree::FindPage(int32_t ident) const {
    auto it = nodes_.find(ident);
    return it == nodes_.end() ? nullptr : it->second.get();
}

bool CZTPageTree::Owns(const CZTPageNode* node) const {
    return node && node != root_.get() && FindPage(node->ident_) == node;
}

size_t CZTPageTree::CountPages(const CZTPageNode* node) const {
    if (!node) return nodes_.size();
    if (!Owns(node)) return 0;
    size_t count = 0;
    std::vector<const CZTPageNode*> stack{node};
    while (!stack.empty()) {
        const CZTPageNode* n = stack.back();
        stack.pop_back();
        ++count;
        stack.insert(stack.end(), n->children_.begin(), n->children_.end());
    }
    return count;
}

void CZTPageTree::Renumber(CZTPageNode* parent, size_t from) {
    for (size_t i = from; i < parent->children_.size(); ++i) parent->children_[i]->row_ = i;
}

CZTPageNode* CZTPageTree::LinkNew(CZTPageNode* parent, size_t row, std::string title, int32_t ident) {
    row = std::min(row, parent->children_.size());
    Notify([&](CZTPageTreeListener& l) { l.PageAboutToBeInserted(Public(parent), row); });
    std::unique_ptr<CZTPageNode> owned(new CZTPageNode);
    CZTPageNode* node = owned.get();
    node->ident_ = ident;
    node->title_ = std::move(title);
    node->parent_ = parent;
    nodes_.emplace(ident, std::move(owned));
    parent->children_.insert(parent->children_.begin() + ptrdiff_t(row), node);
    Renumber(parent, row);
    Notify([&](CZTPageTreeListener& l) { l.PageInserted(node); });
    return node;
}

CZTPageNode* CZTPageTree::InsertPage(CZTPageNode* anchor, Placement placement, std::string_view code,
                                     std::string title, int32_t ident) {
    if (ident <= 0 || nodes_.count(ident)) return nullptr;
    if (anchor && !Owns(anchor)) return nullptr;
    CZTPageNode* root = root_.get();
    switch (placement) {
    case Placement::AsChild:
        return LinkNew(anchor ? anchor : root, 0, std::move(title), ident);
    case Placement::AsNeighbour:
        if (!anchor) return LinkNew(root, root->children_.size(), std::move(title), ident);
        return LinkNew(anchor->parent_, anchor->row_ + 1, std::move(title), ident);
    case Placement::PositionCode: {
        Code c = ParseCode(code);
        if (c.kind == 0) return nullptr;
        if (!anchor) {
            if (c.kind == 'c') return LinkNew(root, 0, std::move(title), ident);
            return LinkNew(root, root->children_.size(), std::move(title), ident);
        }
        if (c.kind == 'c') return LinkNew(anchor, 0, std::move(title), ident);
        if (c.kind == 'n') return LinkNew(anchor->parent_, anchor->row_ + 1, std::move(title), ident);
        // Climb k levels; the page becomes the next sibling of the ancestor
        // reached, or the last root page when the climb leaves the tree.
        CZTPageNode* ancestor = anchor;
        for (size_t i = 0; i < c.climb && ancestor != root; ++i) ancestor = ancestor->parent_;
        if (ancestor == root) return LinkNew(root, root->children_.size(), std::move(title), ident);
        return LinkNew(ancestor->parent_, ancestor->row_ + 1, std::move(title), ident);
    }
    }
    return nullptr;
}

CZTPageTree::InsertListResult CZTPageTree::InsertPageList(CZTPageNode* anchor, bool asChild,
                                                          const CZTPageList& list) {
    InsertListResult result;
    if (anchor && !Owns(anchor)) {
        result.ok = false;
        return result;
    }
    CZTPageNode* prev = nullptr;
    for (const CZTPageListEntry& e : list) {
        if (e.indicator == "f") continue;
        CZTPageNode* node =
            prev ? InsertPage(prev, Placement::PositionCode, e.indicator, e.title, e.ident)
                 : InsertPage(anchor, asChild ? Placement::AsChild : Placement::AsNeighbour, {}, e.title, e.ident);
        if (!node) {
            result.ok = false;
            break;
        }
        result.pages.push_back(node);
        prev = node;
    }
    return result;
}

void CZTPageTree::Clear() {
    Notify([](CZTPageTreeListener& l) { l.TreeAboutToBeCleared(); });
    root_->children_.clear();
    nodes_.clear();
    Notify([](CZTPageTreeListener& l) { l.TreeCleared(); });
}

CZTPageTree::RenameResult CZTPageTree::RenamePage(CZTPageNode* node, std::string_view text) {
    if (!Owns(node)) return RenameResult::Unchanged;
    std::string title = zt::TrimWhite(text);
    if (title == node->title_) return RenameResult::Unchanged;
    if (title.empty()) return RenameResult::Empty;
    SetTitle(node, std::move(title));
    ApplyMark(node, CZTMarkEvent::PageChanged);
    return RenameResult::Renamed;
}

void CZTPageTree::SetTitle(CZTPageNode* node, std::string title) {
    if (!Owns(node)) return;
    node->title_ = std::move(title);
    Notify([&](CZTPageTreeListener& l) { l.PageChanged(node, CZTPageChange::Title); });
}

void CZTPageTree::Relocate(CZTPageNode* node, CZTPageNode* newParent, size_t destRow) {
    CZTPageNode* oldParent = node->parent_;
    size_t oldRow = node->row_;
    destRow = std::min(destRow, newParent->children_.size());
    if (oldParent == newParent && (destRow == oldRow || destRow == oldRow + 1)) return;
    Notify([&](CZTPageTreeListener& l) { l.PageAboutToBeMoved(node, Public(newParent), destRow); });
    oldParent->children_.erase(oldParent->children_.begin() + ptrdiff_t(oldRow));
    Renumber(oldParent, oldRow);
    size_t row = (oldParent == newParent && destRow > oldRow) ? destRow - 1 : destRow;
    newParent->children_.insert(newParent->children_.begin() + ptrdiff_t(row), node);
    node->parent_ = newParent;
    Renumber(newParent, row);
    Notify([&](CZTPageTreeListener& l) { l.PageMoved(node); });
}

void CZTPageTree::LiftChildren(CZTPageNode* node) {
    // Each child in turn goes directly before the page, so that together they
    // take its place in their former order.
    while (!node->children_.empty()) Relocate(node->children_.front(), node->parent_, node->row_);
}

void CZTPageTree::Unlink(CZTPageNode* node) {
    Notify([&](CZTPageTreeListener& l) { l.PageAboutToBeRemoved(node); });
    CZTPageNode* parent = node->parent_;
    size_t row = node->row_;
    int32_t ident = node->ident_;
    parent->children_.erase(parent->children_.begin() + ptrdiff_t(row));
    Renumber(parent, row);
    nodes_.erase(ident);
    Notify([&](CZTPageTreeListener& l) { l.PageRemoved(Public(parent), row, ident); });
}

CZTPageTree::DeleteResult CZTPageTree::DeletePage(CZTPageNode* node, bool withSubtree) {
    DeleteResult result;
    if (!Owns(node)) return result;
    CZTPageNode* select = node->NextSibling();
    if (!select) select = node->PrevSibling();
    if (!select) select = node->Parent();

    if (withSubtree) {
        // Depth first: a page goes only when its children are gone.
        CZTPageNode* cur = node;
        while (true) {
            while (cur->HasChildren()) cur = cur->children_.back();
            CZTPageNode* parent = cur->parent_;
            bool last = cur == node;
            result.removed.push_back(cur->ident_);
            Unlink(cur);
            if (last) break;
            cur = parent;
        }
    } else {
        LiftChildren(node);
        result.removed.push_back(node->ident_);
        Unlink(node);
    }
    result.select = select ? select : FirstRootPage();
    return result;
}

CZTPageNode* CZTPageTree::MovePage(CZTPageNode* node, CZTPageNode* target, MoveMode mode, bool withSubtree) {
    if (!Owns(node)) return nullptr;
    if (target && (!Owns(target) || target == node || node->IsAncestorOf(target))) return nullptr;
    if (!target && mode == MoveMode::After) return nullptr;
    if (!withSubtree) LiftChildren(node);
    CZTPageNode* parent = target ? target : root_.get();
    switch (mode) {
    case MoveMode::After:
        Relocate(node, target->parent_, target->row_ + 1);
        break;
    case MoveMode::FirstChild:
        Relocate(node, parent, 0);
        break;
    case MoveMode::LastChild:
        Relocate(node, parent, parent->children_.size());
        break;
    }
    return node;
}

bool CZTPageTree::CanMoveUp(const CZTPageNode* node) const { return Owns(node) && node->PrevSibling(); }
bool CZTPageTree::CanMoveDown(const CZTPageNode* node) const { return Owns(node) && node->NextSibling(); }
bool CZTPageTree::CanMoveLeft(const CZTPageNode* node) const { return Owns(node) && node->Parent(); }
bool CZTPageTree::CanMoveRight(const CZTPageNode* node) const { return Owns(node); }

CZTPageNode* CZTPageTree::MoveUp(CZTPageNode* node) {
    if (!CanMoveUp(node)) return nullptr;
    // Directly after the sibling before the previous one, or first child.
    Relocate(node, node->parent_, node->row_ - 1);
    return node;
}

CZTPageNode* CZTPageTree::MoveDown(CZTPageNode* node) {
    if (!CanMoveDown(node)) return nullptr;
    Relocate(node, node->parent_, node->row_ + 2);
    return node;
}

CZTPageNode* CZTPageTree::MoveLeft(CZTPageNode* node) {
    if (!CanMoveLeft(node)) return nullptr;
    CZTPageNode* parent = node->parent_;
    Relocate(node, parent->parent_, parent->row_ + 1);
    return node;
}

CZTPageNode* CZTPageTree::MoveRight(CZTPageNode* node, const std::function<int32_t()>& allocateIdent) {
    if (!CanMoveRight(node)) return nullptr;
    CZTPageNode* newParent = node->PrevSibling();
    if (!newParent) {
        int32_t ident = allocateIdent ? allocateIdent() : 0;
        if (ident <= 0 || nodes_.count(ident)) return nullptr;
        newParent = LinkNew(node->parent_, 0, NewEntryTitle(), ident);
    }
    Relocate(node, newParent, 0);
    return node;
}

int CZTPageTree::DefaultTitleCompare(std::string_view a, std::string_view b) {
    // Folds the Windows-1252 capitals to their small letters.
    static const auto fold = [](unsigned char c) -> unsigned char {
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
        if (c == 0x8A || c == 0x8C || c == 0x8E) return c + 0x10;
        if (c == 0x9F) return 0xFF;
        return c;
    };
    struct Collator {
        std::locale locale;
        bool ok = false;
        Collator() {
            try {
                locale = std::locale("");
                ok = std::has_facet<std::collate<wchar_t>>(locale) && std::has_facet<std::ctype<wchar_t>>(locale);
            } catch (...) {
                ok = false;
            }
        }
        std::wstring Key(std::string_view s) const {
            std::wstring w;
            w.reserve(s.size());
            for (unsigned char c : s) w.push_back(wchar_t(zt::Cp1252ToUnicode(fold(c))));
            std::use_facet<std::ctype<wchar_t>>(locale).tolower(w.data(), w.data() + w.size());
            return w;
        }
    };
    static const Collator collator;

    if (collator.ok) {
        std::wstring ka = collator.Key(a), kb = collator.Key(b);
        return std::use_facet<std::collate<wchar_t>>(collator.locale)
            .compare(ka.data(), ka.data() + ka.size(), kb.data(), kb.data() + kb.size());
    }
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int d = int(fold(static_cast<unsigned char>(a[i]))) - int(fold(static_cast<unsigned char>(b[i])));
        if (d != 0) return d;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

void CZTPageTree::SortChildren(CZTPageNode* parent, bool descending, const TitleCompare& compare) {
    if (parent->children_.size() < 2) return;
    Notify([&](CZTPageTreeListener& l) { l.ChildrenAboutToBeSorted(Public(parent)); });
    std::stable_sort(parent->children_.begin(), parent->children_.end(),
                     [&](const CZTPageNode* x, const CZTPageNode* y) {
                         int c = compare(x->title_, y->title_);
                         return descending ? c > 0 : c < 0;
                     });
    Renumber(parent, 0);
    Notify([&](CZTPageTreeListener& l) { l.ChildrenSorted(Public(parent)); });
}

void CZTPageTree::SortSiblings(CZTPageNode* node, bool allLevels, bool descending, const TitleCompare& compare) {
    if (node && !Owns(node)) return;
    const TitleCompare& cmp = compare ? compare : TitleCompare(&CZTPageTree::DefaultTitleCompare);
    CZTPageNode* parent = node ? node->parent_ : root_.get();
    SortChildren(parent, descending, cmp);
    if (allLevels) {
        std::vector<CZTPageNode*> stack(parent->children_.begin(), parent->children_.end());
        while (!stack.empty()) {
            CZTPageNode* n = stack.back();
            stack.pop_back();
            SortChildren(n, descending, cmp);
            stack.insert(stack.end(), n->children_.begin(), n->children_.end());
        }
    }
    if (parent != root_.get()) ApplyMark(parent, CZTMarkEvent::PageChanged);
}

std::vector<CZTPageNode*> CZTPageTree::SetTreeEntryStyle(CZTPageNode* node, const TreeEntryStyle& style,
                                                         bool siblings, bool subtrees) {
    std::vector<CZTPageNode*> affected;
    if (!Owns(node)) return affected;
    std::vector<CZTPageNode*> heads = siblings ? node->parent_->children_ : std::vector<CZTPageNode*>{node};
    for (CZTPageNode* head : heads) {
        if (!subtrees) {
            affected.push_back(head);
            continue;
        }
        // Pre-order through the subtree.
        std::vector<CZTPageNode*> stack{head};
        while (!stack.empty()) {
            CZTPageNode* n = stack.back();
            stack.pop_back();
            affected.push_back(n);
            stack.insert(stack.end(), n->children_.rbegin(), n->children_.rend());
        }
    }
    for (CZTPageNode* n : affected) {
        SetStyle(n, style);
        ApplyMark(n, CZTMarkEvent::PageChanged);
    }
    return affected;
}

void CZTPageTree::SetStyle(CZTPageNode* node, const TreeEntryStyle& style) {
    if (!Owns(node)) return;
    node->style_ = style;
    Notify([&](CZTPageTreeListener& l) { l.PageChanged(node, CZTPageChange::Style); });
}

void CZTPageTree::ChangeMark(CZTPageNode* node, int mark) {
    if (node->mark_ == mark) return;
    node->mark_ = mark;
    Notify([&](CZTPageTreeListener& l) { l.PageChanged(node, CZTPageChange::Mark); });
}

void CZTPageTree::ApplyMark(CZTPageNode* node, CZTMarkEvent event, bool hasFiles) {
    if (!Owns(node)) return;
    ChangeMark(node, zt::NextMark(node->mark_, event, hasFiles));
}

void CZTPageTree::ResetMarks(const std::function<bool(int32_t)>& hasFiles) {
    for (auto& [ident, node] : nodes_)
        ChangeMark(node.get(), zt::NextMark(node->mark_, CZTMarkEvent::Reset, hasFiles && hasFiles(ident)));
}

void CZTPageTree::SetMark(CZTPageNode* node, int mark) {
    if (!Owns(node) || mark < 0 || mark > 5) return;
    ChangeMark(node, mark);
}

void CZTPageTree::ChangeExpanded(CZTPageNode* node, bool expanded) {
    if (node->expanded_ == expanded) return;
    node->expanded_ = expanded;
    Notify([&](CZTPageTreeListener& l) { l.PageChanged(node, CZTPageChange::Expanded); });
}

void CZTPageTree::SetExpanded(CZTPageNode* node, bool expanded) {
    if (Owns(node)) ChangeExpanded(node, expanded);
}

bool CZTPageTree::CanExpandSiblings(const CZTPageNode* node) const {
    if (!Owns(node)) return false;
    for (const CZTPageNode* s : node->Siblings())
        if (!s->expanded_ && s->HasChildren()) return true;
    return false;
}

bool CZTPageTree::CanCollapseSiblings(const CZTPageNode* node) const {
    if (!Owns(node)) return false;
    for (const CZTPageNode* s : node->Siblings())
        if (s->expanded_) return true;
    return false;
}

void CZTPageTree::ExpandSiblings(CZTPageNode* node) {
    if (!Owns(node)) return;
    for (CZTPageNode* s : node->parent_->children_) ChangeExpanded(s, true);
}

void CZTPageTree::CollapseSiblings(CZTPageNode* node) {
    if (!Owns(node)) return;
    for (CZTPageNode* s : node->parent_->children_) ChangeExpanded(s, false);
}

bool CZTPageTree::AllExpanded() const {
    for (const auto& [ident, node] : nodes_)
        if (node->HasChildren() && !node->expanded_) return false;
    return true;
}

void CZTPageTree::ToggleExpandAll() {
    bool expand = !AllExpanded();
    CZTPageWalker walker(*this);
    CZTWalkStep step;
    while (walker.NextInWalk(step)) ChangeExpanded(const_cast<CZTPageNode*>(step.node), expand);
}

CZTPageList CZTPageTree::BuildPageList(const CZTPageNode* subtree) const {
    CZTPageList list;
    if (subtree && !Owns(subtree)) return list;
    CZTPageWalker walker(*this, subtree, subtree != nullptr);
    CZTWalkStep step;
    while (walker.NextInWalk(step)) list.push_back({step.code, step.node->title_, step.ident, {}});
    return list;
}

CZTPageList CZTPageTree::BuildPageList(const CZTPageNode* start, size_t limit) const {
    CZTPageList list;
    if (start && !Owns(start)) return list;
    CZTPageWalker walker(*this, start, false);
    CZTWalkStep step;
    while (list.size() < limit && walker.NextInWalk(step))
        list.push_back({step.code, step.node->title_, step.ident, {}});
    return list;
}

std::string CZTPageTree::NewEntryTitle() {
    return zt::Utf8ToCp1252(zt::MessageText(zt::Msg::NewEntryTitle));
}
