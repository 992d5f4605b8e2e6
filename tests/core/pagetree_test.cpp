#include "core/pagetree.h"

#include <gtest/gtest.h>

#include <functional>
#include <algorithm>
#include <map>
#include <set>
#include <random>

#include "core/treeentrystyle.h"

namespace {

// Shape of a tree as text: "A(B C(D)) E".
std::string Shape(const std::vector<CZTPageNode*>& pages) {
    std::string out;
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i) out += ' ';
        out += pages[i]->Title();
        if (pages[i]->HasChildren()) out += "(" + Shape(pages[i]->Children()) + ")";
    }
    return out;
}
std::string Shape(const CZTPageTree& t) { return Shape(t.RootPages()); }

// Builds a tree from the shape notation; idents are 1, 2, ... in pre-order
// unless `nextIdent` says otherwise.
void Build(CZTPageTree& t, std::string_view shape, int32_t& nextIdent) {
    std::vector<CZTPageNode*> parents{nullptr};
    CZTPageNode* last = nullptr;
    size_t i = 0;
    while (i < shape.size()) {
        char c = shape[i];
        if (c == ' ') {
            ++i;
        } else if (c == '(') {
            parents.push_back(last);
            ++i;
        } else if (c == ')') {
            parents.pop_back();
            ++i;
        } else {
            size_t j = shape.find_first_of(" ()", i);
            if (j == std::string_view::npos) j = shape.size();
            CZTPageNode* parent = parents.back();
            CZTPageNode* prevSibling = parent ? parent->LastChild() : (t.IsEmpty() ? nullptr : t.RootPages().back());
            std::string title(shape.substr(i, j - i));
            last = prevSibling ? t.InsertPage(prevSibling, CZTPageTree::Placement::AsNeighbour, {}, title, nextIdent++)
                               : t.InsertPage(parent, CZTPageTree::Placement::AsChild, {}, title, nextIdent++);
            i = j;
        }
    }
}

struct TreeTest : ::testing::Test {
    CZTPageTree tree;
    int32_t nextIdent = 1;
    void Make(std::string_view shape) { Build(tree, shape, nextIdent); }
    CZTPageNode* Page(std::string_view title) {
        CZTPageWalker w(tree);
        CZTWalkStep s;
        while (w.NextInWalk(s))
            if (s.node->Title() == title) return const_cast<CZTPageNode*>(s.node);
        ADD_FAILURE() << "no page " << title;
        return nullptr;
    }
    std::function<int32_t()> Allocator() {
        return [this] { return nextIdent++; };
    }
};

TEST(ChangeMarks, TransitionTable) {
    // rows: mark 0..5; columns: PageChanged, FilesChanged
    const int expected[6][2] = {{4, 2}, {3, 2}, {5, 2}, {3, 5}, {4, 5}, {5, 5}};
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(zt::NextMark(m, CZTMarkEvent::PageChanged), expected[m][0]) << m;
        EXPECT_EQ(zt::NextMark(m, CZTMarkEvent::FilesChanged), expected[m][1]) << m;
        EXPECT_EQ(zt::NextMark(m, CZTMarkEvent::Reset, false), 0);
        EXPECT_EQ(zt::NextMark(m, CZTMarkEvent::Reset, true), 1);
        EXPECT_EQ(zt::NextMark(m, CZTMarkEvent::Inserted, false), 4);
        EXPECT_EQ(zt::NextMark(m, CZTMarkEvent::Inserted, true), 5);
    }
}

TEST_F(TreeTest, ResetMarksAskPerPageForFiles) {
    Make("A(B) C");
    tree.ResetMarks([](int32_t ident) { return ident == 2; });
    EXPECT_EQ(Page("A")->Mark(), 0);
    EXPECT_EQ(Page("B")->Mark(), 1);
    tree.ApplyMark(Page("B"), CZTMarkEvent::PageChanged);
    EXPECT_EQ(Page("B")->Mark(), 3);
}

TEST_F(TreeTest, InsertPagePlacements) {
    using P = CZTPageTree::Placement;
    struct Case {
        const char* shape;
        const char* anchor; // null: no anchor
        P placement;
        const char* code;
        const char* expected;
    };
    const Case cases[] = {
        {"A(B) C", "A", P::AsChild, "", "A(X B) C"},
        {"A(B) C", "A", P::AsNeighbour, "", "A(B) X C"},
        {"A(B) C", nullptr, P::AsChild, "", "X A(B) C"},
        {"A(B) C", nullptr, P::AsNeighbour, "", "A(B) C X"},
        {"A(B) C", "B", P::PositionCode, "c", "A(B(X)) C"},
        {"A(B D) C", "B", P::PositionCode, "n", "A(B X D) C"},
        {"A(B(E) D) C", "E", P::PositionCode, "p", "A(B(E) X D) C"},
        {"A(B(E) D) C", "E", P::PositionCode, "pp", "A(B(E) D) X C"},
        {"A(B(E) D) C", "E", P::PositionCode, "pppppp", "A(B(E) D) C X"},
        {"A", nullptr, P::PositionCode, "c", "X A"},
        {"A", nullptr, P::PositionCode, "p", "A X"},
    };
    for (const Case& c : cases) {
        CZTPageTree t;
        int32_t id = 1;
        Build(t, c.shape, id);
        CZTPageNode* anchor = nullptr;
        if (c.anchor) {
            CZTPageWalker w(t);
            CZTWalkStep s;
            while (w.NextInWalk(s))
                if (s.node->Title() == c.anchor) anchor = const_cast<CZTPageNode*>(s.node);
        }
        CZTPageNode* x = t.InsertPage(anchor, c.placement, c.code, "X", 100);
        ASSERT_NE(x, nullptr) << c.expected;
        EXPECT_EQ(Shape(t), c.expected);
        EXPECT_EQ(t.FindPage(100), x);
        EXPECT_EQ(x->Mark(), 0);
        EXPECT_FALSE(x->Style().IsSet());
    }
}

TEST_F(TreeTest, InsertPageRefusesBadInput) {
    Make("A");
    using P = CZTPageTree::Placement;
    EXPECT_EQ(tree.InsertPage(nullptr, P::AsChild, {}, "X", 1), nullptr);  // ident in use
    EXPECT_EQ(tree.InsertPage(nullptr, P::AsChild, {}, "X", 0), nullptr);  // no ident
    EXPECT_EQ(tree.InsertPage(nullptr, P::AsChild, {}, "X", -1), nullptr); // no ident
    for (const char* code : {"", "x", "cn", "pn", "C"})
        EXPECT_EQ(tree.InsertPage(Page("A"), P::PositionCode, code, "X", 9), nullptr) << code;
    CZTPageTree other;
    int32_t id = 50;
    Build(other, "Z", id);
    EXPECT_EQ(tree.InsertPage(other.FirstRootPage(), P::AsChild, {}, "X", 9), nullptr); // foreign anchor
    EXPECT_EQ(Shape(tree), "A");
}

TEST_F(TreeTest, DeleteSinglePageKeepsChildrenInOrderAtItsPlace) {
    Make("A B(C D(E)) F");
    auto r = tree.DeletePage(Page("B"), false);
    EXPECT_EQ(Shape(tree), "A C D(E) F");
    EXPECT_EQ(r.removed, std::vector<int32_t>{2});
    EXPECT_EQ(r.select->Title(), "F"); // next sibling of the deleted page
    EXPECT_EQ(tree.FindPage(2), nullptr);
    EXPECT_EQ(tree.CountPages(), 5u);
}

TEST_F(TreeTest, DeleteSubtreeReportsEveryIdentChildrenFirst) {
    Make("A B(C D(E)) F");
    auto r = tree.DeletePage(Page("B"), true);
    EXPECT_EQ(Shape(tree), "A F");
    ASSERT_EQ(r.removed.size(), 4u);
    EXPECT_EQ(r.removed.back(), 2); // B last
    auto pos = [&](int32_t id) { return std::find(r.removed.begin(), r.removed.end(), id) - r.removed.begin(); };
    EXPECT_LT(pos(5), pos(4)); // E before D
    EXPECT_EQ(std::set<int32_t>(r.removed.begin(), r.removed.end()), (std::set<int32_t>{2, 3, 4, 5}));
}

TEST_F(TreeTest, DeleteSelectsNextThenPreviousThenParentThenFirstRoot) {
    struct Case {
        const char* shape;
        const char* victim;
        bool subtree;
        const char* select; // "" = none
    };
    const Case cases[] = {
        {"A(B C D)", "C", true, "D"}, {"A(B C)", "C", true, "B"}, {"A(B)", "B", true, "A"},
        {"A(B)", "A", false, "B"},    {"A(B)", "A", true, ""},    {"A", "A", false, ""},
    };
    for (const Case& c : cases) {
        CZTPageTree t;
        int32_t id = 1;
        Build(t, c.shape, id);
        CZTPageNode* victim = nullptr;
        CZTPageWalker w(t);
        for (CZTWalkStep s; w.NextInWalk(s);)
            if (s.node->Title() == c.victim) victim = const_cast<CZTPageNode*>(s.node);
        auto r = t.DeletePage(victim, c.subtree);
        EXPECT_EQ(r.select ? r.select->Title() : std::string(), c.select) << c.shape << " " << c.victim;
    }
    CZTPageTree t;
    int32_t id = 1;
    Build(t, "A", id);
    t.DeletePage(t.FirstRootPage(), false);
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_EQ(t.CountPages(), 0u);
}

TEST_F(TreeTest, MovePageRefusesOwnSubtreeAndItself) {
    Make("A(B(C)) D");
    using M = CZTPageTree::MoveMode;
    for (M mode : {M::After, M::FirstChild, M::LastChild}) {
        for (bool sub : {true, false}) {
            EXPECT_EQ(tree.MovePage(Page("A"), Page("A"), mode, sub), nullptr);
            EXPECT_EQ(tree.MovePage(Page("A"), Page("B"), mode, sub), nullptr);
            EXPECT_EQ(tree.MovePage(Page("A"), Page("C"), mode, sub), nullptr);
        }
    }
    EXPECT_EQ(tree.MovePage(Page("A"), nullptr, M::After, true), nullptr);
    EXPECT_EQ(Shape(tree), "A(B(C)) D");
}

TEST_F(TreeTest, MovePageModes) {
    using M = CZTPageTree::MoveMode;
    struct Case {
        const char* node;
        const char* target; // null: root level
        M mode;
        bool subtree;
        const char* expected;
    };
    const Case cases[] = {
        {"B", "D", M::After, true, "A D(E) B(C)"},
        {"B", "D", M::After, false, "A(C) D(E) B"},
        {"B", "D", M::FirstChild, true, "A D(B(C) E)"},
        {"B", "D", M::LastChild, true, "A D(E B(C))"},
        {"E", nullptr, M::FirstChild, true, "E A(B(C)) D"},
        {"B", nullptr, M::LastChild, false, "A(C) D(E) B"},
        {"C", "A", M::After, true, "A(B) C D(E)"},
        {"A", "D", M::LastChild, false, "B(C) D(E A)"},
    };
    for (const Case& c : cases) {
        CZTPageTree t;
        int32_t id = 1;
        Build(t, "A(B(C)) D(E)", id);
        auto find = [&](const char* title) -> CZTPageNode* {
            if (!title) return nullptr;
            CZTPageWalker w(t);
            for (CZTWalkStep s; w.NextInWalk(s);)
                if (s.node->Title() == title) return const_cast<CZTPageNode*>(s.node);
            return nullptr;
        };
        CZTPageNode* node = find(c.node);
        int32_t ident = node->Ident();
        EXPECT_EQ(t.MovePage(node, find(c.target), c.mode, c.subtree), node) << c.expected;
        EXPECT_EQ(Shape(t), c.expected);
        EXPECT_EQ(t.FindPage(ident), node);
    }
}

TEST_F(TreeTest, MoveCommands) {
    Make("P(A B C)");
    EXPECT_FALSE(tree.CanMoveUp(Page("A")));
    EXPECT_EQ(tree.MoveUp(Page("A")), nullptr);
    EXPECT_EQ(tree.MoveUp(Page("B")), Page("B")); // second child becomes the first
    EXPECT_EQ(Shape(tree), "P(B A C)");
    tree.MoveUp(Page("C"));
    EXPECT_EQ(Shape(tree), "P(B C A)");
    EXPECT_FALSE(tree.CanMoveDown(Page("A")));
    tree.MoveDown(Page("B"));
    EXPECT_EQ(Shape(tree), "P(C B A)");
    tree.MoveRight(Page("A"), Allocator()); // under its previous sibling, as first child
    tree.MoveRight(Page("B"), Allocator());
    EXPECT_EQ(Shape(tree), "P(C(B(A)))");
    EXPECT_FALSE(tree.CanMoveLeft(Page("P")));
    tree.MoveLeft(Page("B"));
    EXPECT_EQ(Shape(tree), "P(C B(A))");
    tree.MoveLeft(Page("B"));
    EXPECT_EQ(Shape(tree), "P(C) B(A)");
}

TEST_F(TreeTest, MoveRightOnFirstChildCreatesNewEntryPage) {
    Make("P(A(X) B)");
    CZTPageNode* a = Page("A");
    int32_t before = nextIdent;
    EXPECT_EQ(tree.MoveRight(a, Allocator()), a);
    const std::string n = CZTPageTree::NewEntryTitle();
    EXPECT_EQ(n, "Neuer Eintrag");
    EXPECT_EQ(Shape(tree), "P(" + n + "(A(X)) B)");
    EXPECT_EQ(a->Parent()->Ident(), before);
    EXPECT_EQ(a->Parent()->Parent(), Page("P"));

    // At top level the new page becomes the first root page.
    CZTPageTree t;
    int32_t id = 1;
    Build(t, "R S", id);
    t.MoveRight(t.FirstRootPage(), [&] { return id++; });
    EXPECT_EQ(Shape(t), n + "(R) S");

    // Without a usable ident nothing changes.
    CZTPageTree u;
    id = 1;
    Build(u, "R S", id);
    EXPECT_EQ(u.MoveRight(u.FirstRootPage(), [] { return 2; }), nullptr);
    EXPECT_EQ(u.MoveRight(u.FirstRootPage(), {}), nullptr);
    EXPECT_EQ(Shape(u), "R S");
}

TEST_F(TreeTest, SortIsCaseInsensitiveAndMarksTheParent) {
    Make("P(b A a B)");
    tree.SortSiblings(Page("A"), false, false);
    ASSERT_EQ(Page("P")->ChildCount(), 4u);
    auto lower = [&](size_t i) { return char(std::tolower(Page("P")->Child(i)->Title()[0])); };
    EXPECT_EQ(std::string({lower(0), lower(1), lower(2), lower(3)}), "aabb");
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(Page("P")->Child(i)->Row(), i);
    EXPECT_EQ(Page("P")->Mark(), 4);

    tree.SortSiblings(Page("A"), false, true);
    EXPECT_EQ(std::string({lower(0), lower(1), lower(2), lower(3)}), "bbaa");
}

TEST_F(TreeTest, SortAllLevelsAndTextOrder) {
    Make("z(9 10 c(y x)) m(q p)");
    tree.SortSiblings(Page("m"), true, false);
    EXPECT_EQ(Shape(tree), "m(p q) z(10 9 c(x y))");
    EXPECT_EQ(Page("m")->Mark(), 0); // root level: no parent page to mark

    tree.SortSiblings(Page("p"), false, true);
    EXPECT_EQ(Shape(tree), "m(q p) z(10 9 c(x y))");
    EXPECT_EQ(Page("m")->Mark(), 4);

    // A caller's comparison is used as given.
    tree.SortSiblings(Page("m"), false, false,
                      [](std::string_view a, std::string_view b) { return int(a.size()) - int(b.size()); });
    EXPECT_EQ(Shape(tree), "m(q p) z(10 9 c(x y))");
}

TEST(DefaultTitleCompare, FoldsCaseIncludingWindows1252Letters) {
    auto cmp = &CZTPageTree::DefaultTitleCompare;
    EXPECT_EQ(cmp("abc", "ABC"), 0);
    EXPECT_EQ(cmp("\xC4pfel", "\xE4PFEL"), 0); // Äpfel / äPFEL
    EXPECT_LT(cmp("a", "B"), 0);
    EXPECT_GT(cmp("b", "A"), 0);
    EXPECT_LT(cmp("10", "9"), 0);
    EXPECT_LT(cmp("", "a"), 0);
}

TEST_F(TreeTest, RenameTrimsAndRejectsEmpty) {
    Make("A");
    CZTPageNode* a = Page("A");
    EXPECT_EQ(tree.RenamePage(a, "  A \t"), CZTPageTree::RenameResult::Unchanged);
    EXPECT_EQ(tree.RenamePage(a, "   "), CZTPageTree::RenameResult::Empty);
    EXPECT_EQ(a->Title(), "A");
    EXPECT_EQ(a->Mark(), 0);
    EXPECT_EQ(tree.RenamePage(a, " Neu "), CZTPageTree::RenameResult::Renamed);
    EXPECT_EQ(a->Title(), "Neu");
    EXPECT_EQ(a->Mark(), 4);
}

TEST_F(TreeTest, TreeEntryStyleReachesSiblingsAndSubtrees) {
    Make("P(A(A1) B(B1(B2))) Q");
    TreeEntryStyle st;
    st.flags = TreeEntryStyle::Bold;
    auto titles = [](const std::vector<CZTPageNode*>& v) {
        std::string s;
        for (auto* n : v) s += n->Title() + " ";
        return s;
    };
    EXPECT_EQ(titles(tree.SetTreeEntryStyle(Page("A"), st, false, false)), "A ");
    EXPECT_EQ(titles(tree.SetTreeEntryStyle(Page("A"), st, true, false)), "A B ");
    EXPECT_EQ(titles(tree.SetTreeEntryStyle(Page("B"), st, true, true)), "A A1 B B1 B2 ");
    EXPECT_TRUE(Page("B2")->Style().Has(TreeEntryStyle::Bold));
    EXPECT_EQ(Page("B2")->Mark(), 4);
    EXPECT_FALSE(Page("P")->Style().IsSet());
    EXPECT_EQ(Page("P")->Mark(), 0);
}

TEST(TreeEntryStyleRecord, RoundTripAndLayout) {
    TreeEntryStyle s;
    s.fontName = "Arial";
    s.fontSize = 12;
    s.textColor = 0x0000FF;
    s.backColor = 0x00FF00;
    s.flags = TreeEntryStyle::FontNameSet | TreeEntryStyle::SizeSet | TreeEntryStyle::Italic;
    std::string rec = s.Encode();
    ASSERT_EQ(rec.size(), 84u);
    EXPECT_EQ(rec.substr(0, 9), std::string("\x01\0\0\0Arial", 9));
    EXPECT_EQ(rec[4 + 5], '\0');
    EXPECT_EQ(rec.substr(68, 4), std::string("\x0C\0\0\0", 4));
    EXPECT_EQ(rec.substr(80, 4), std::string("\x03\x02\0\0", 4));
    EXPECT_EQ(TreeEntryStyle::Decode(rec), s);

    s.fontName = std::string(100, 'x');
    auto back = TreeEntryStyle::Decode(s.Encode());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->fontName, std::string(63, 'x'));

    std::string full(84, 'y'); // no terminator at all
    EXPECT_EQ(TreeEntryStyle::Decode(full)->fontName.size(), 63u);
    EXPECT_FALSE(TreeEntryStyle::Decode(rec.substr(0, 83)));
    EXPECT_FALSE(TreeEntryStyle().IsSet());
    EXPECT_EQ(TreeEntryStyle().backColor, 0xFFFFFF);
}

TEST(TreeBackgroundRecord, WhiteOrUnsetRemovesTheProperty) {
    TreeBackground b;
    EXPECT_TRUE(b.Encode().empty());
    b.colorSet = true;
    EXPECT_TRUE(b.Encode().empty()); // white
    b.color = 0x102030;
    std::string rec = b.Encode();
    ASSERT_EQ(rec.size(), 144u);
    auto d = TreeBackground::Decode(rec);
    EXPECT_TRUE(d.colorSet);
    EXPECT_EQ(d.color, 0x102030);
    EXPECT_FALSE(TreeBackground::Decode(rec.substr(0, 11)).colorSet);
}

TEST_F(TreeTest, Expansion) {
    Make("A(A1) B(B1) C");
    EXPECT_FALSE(tree.AllExpanded());
    EXPECT_TRUE(tree.CanExpandSiblings(Page("C")));
    EXPECT_FALSE(tree.CanCollapseSiblings(Page("C")));
    tree.ExpandSiblings(Page("C"));
    EXPECT_TRUE(tree.AllExpanded());
    EXPECT_TRUE(Page("C")->IsExpanded());
    EXPECT_FALSE(tree.CanExpandSiblings(Page("C")));
    tree.ToggleExpandAll(); // all expanded: collapses everything
    EXPECT_FALSE(Page("A")->IsExpanded());
    tree.ToggleExpandAll();
    EXPECT_TRUE(Page("A1")->IsExpanded());
    EXPECT_TRUE(tree.AllExpanded());
}

TEST_F(TreeTest, WalkYieldsPositionCodes) {
    Make("A(B(C(D)) E) F");
    auto codes = [](const CZTPageList& l) {
        std::string s;
        for (auto& e : l) s += e.title + ":" + e.indicator + " ";
        return s;
    };
    EXPECT_EQ(codes(tree.BuildPageList()), "A:c B:c C:c D:c E:pp F:p ");
    EXPECT_EQ(codes(tree.BuildPageList(Page("B"))), "B:c C:c D:c ");
    EXPECT_EQ(codes(tree.BuildPageList(Page("C"), 3)), "C:c D:c E:pp ");
    EXPECT_EQ(codes(tree.BuildPageList(Page("D"), 0)), "");
    EXPECT_EQ(tree.CountPages(Page("A")), 5u);
    EXPECT_EQ(tree.CountPages(Page("D")), 1u);
    EXPECT_EQ(tree.CountPages(), 6u);
    EXPECT_EQ(tree.BuildPageList()[2].ident, 3);
    EXPECT_EQ(tree.BuildPageList()[2].spare, "");
}

TEST_F(TreeTest, InsertPageListAtAnchor) {
    Make("X(Y) Z");
    CZTPageList list = {{"c", "A", 10, {}}, {"c", "B", 11, {}}, {"f", "file.txt", 0, {}},
                        {"p", "C", 12, {}}, {"pp", "D", 13, {}}};
    auto r = tree.InsertPageList(Page("X"), true, list);
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.pages.size(), 4u);
    // C ("p" after B) follows A at once, ahead of the anchor's own child Y;
    // D ("pp") climbs out of the tree and becomes the last root page.
    EXPECT_EQ(Shape(tree), "X(A(B) C Y) Z D");

    CZTPageTree t2;
    int32_t id = 1;
    Build(t2, "X(Y) Z", id);
    auto r2 = t2.InsertPageList(t2.FirstRootPage(), false, {{"c", "A", 10, {}}, {"n", "B", 11, {}}});
    EXPECT_TRUE(r2.ok);
    EXPECT_EQ(Shape(t2), "X(Y) A B Z");
}

TEST_F(TreeTest, InsertPageListStopsAtABadEntryKeepingEarlierPages) {
    const CZTPageList cases[] = {
        {{"c", "A", 10, {}}, {"c", "B", 11, {}}, {"q", "C", 12, {}}, {"n", "D", 13, {}}},
        {{"c", "A", 10, {}}, {"c", "B", 11, {}}, {"n", "C", 10, {}}, {"n", "D", 13, {}}},
        {{"c", "A", 10, {}}, {"c", "B", 11, {}}, {"n", "C", 0, {}}},
    };
    for (const auto& list : cases) {
        CZTPageTree t;
        auto r = t.InsertPageList(nullptr, true, list);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.pages.size(), 2u);
        EXPECT_EQ(Shape(t), "A(B)");
    }
}

// A random tree, its page list, and the tree rebuilt from that list must have
// the same shape and idents.
TEST(PageListRoundTrip, RandomTreesKeepTheirShape) {
    std::mt19937 rng(20240517);
    for (int round = 0; round < 200; ++round) {
        CZTPageTree t;
        int32_t ident = 1;
        size_t pages = 1 + rng() % 40;
        std::vector<CZTPageNode*> all;
        for (size_t i = 0; i < pages; ++i) {
            CZTPageNode* anchor = all.empty() || rng() % 5 == 0 ? nullptr : all[rng() % all.size()];
            auto placement = rng() % 2 ? CZTPageTree::Placement::AsChild : CZTPageTree::Placement::AsNeighbour;
            all.push_back(t.InsertPage(anchor, placement, {}, "T" + std::to_string(ident), ident));
            ++ident;
        }
        CZTPageList list = t.BuildPageList();
        ASSERT_EQ(list.size(), pages);
        ASSERT_EQ(list.front().indicator, "c");

        CZTPageTree copy;
        ASSERT_TRUE(copy.InsertPageList(nullptr, true, list).ok);
        ASSERT_EQ(Shape(copy), Shape(t)) << round;
        CZTPageList again = copy.BuildPageList();
        for (size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(again[i].ident, list[i].ident);
            EXPECT_EQ(again[i].indicator, list[i].indicator);
        }

        // A subtree list inserted under a fresh anchor reproduces the subtree.
        CZTPageNode* sub = all[rng() % all.size()];
        CZTPageList subList = t.BuildPageList(sub);
        ASSERT_EQ(subList.size(), t.CountPages(sub));
        for (auto& e : subList) e.ident += 1000;
        CZTPageTree host;
        host.InsertPage(nullptr, CZTPageTree::Placement::AsChild, {}, "H", 1);
        ASSERT_TRUE(host.InsertPageList(host.FirstRootPage(), true, subList).ok);
        EXPECT_EQ(Shape(host), "H(" + Shape({sub}) + ")");
    }
}

// Replays the listener's events onto its own copy of the hierarchy, the way an
// item model does; after any sequence of operations the copy must equal the tree.
struct Mirror : CZTPageTreeListener {
    const CZTPageTree& tree;
    std::map<int32_t, std::vector<int32_t>> kids; // parent ident (0 = root) -> children
    int32_t pendingParent = -1;
    size_t pendingRow = 0;
    explicit Mirror(const CZTPageTree& t) : tree(t) {}
    static int32_t Id(const CZTPageNode* n) { return n ? n->Ident() : 0; }
    void PageAboutToBeInserted(const CZTPageNode* parent, size_t row) override {
        pendingParent = Id(parent);
        pendingRow = row;
    }
    void PageInserted(CZTPageNode* page) override {
        auto& v = kids[pendingParent];
        ASSERT_LE(pendingRow, v.size());
        v.insert(v.begin() + ptrdiff_t(pendingRow), page->Ident());
        ASSERT_EQ(Id(page->Parent()), pendingParent);
    }
    void PageAboutToBeRemoved(CZTPageNode* page) override { EXPECT_FALSE(page->HasChildren()); }
    void PageRemoved(const CZTPageNode* parent, size_t row, int32_t ident) override {
        auto& v = kids[Id(parent)];
        ASSERT_LT(row, v.size());
        ASSERT_EQ(v[row], ident);
        v.erase(v.begin() + ptrdiff_t(row));
        kids.erase(ident);
    }
    void PageAboutToBeMoved(CZTPageNode* page, const CZTPageNode* newParent, size_t dest) override {
        auto& from = kids[Id(page->Parent())];
        size_t row = page->Row();
        ASSERT_EQ(from.at(row), page->Ident());
        from.erase(from.begin() + ptrdiff_t(row));
        bool same = Id(newParent) == Id(page->Parent());
        ASSERT_FALSE(same && (dest == row || dest == row + 1)); // no empty moves
        if (same && dest > row) --dest;
        auto& to = kids[Id(newParent)];
        ASSERT_LE(dest, to.size());
        to.insert(to.begin() + ptrdiff_t(dest), page->Ident());
    }
    void ChildrenSorted(const CZTPageNode* parent) override {
        auto& v = kids[Id(parent)];
        v.clear();
        for (auto* c : parent ? parent->Children() : tree.RootPages()) v.push_back(c->Ident());
    }
    void TreeCleared() override { kids.clear(); }
    void Check() {
        std::map<int32_t, std::vector<int32_t>> actual;
        CZTPageWalker w(tree);
        for (CZTWalkStep s; w.NextInWalk(s);) actual[Id(s.node->Parent())].push_back(s.ident);
        std::erase_if(kids, [](auto& kv) { return kv.second.empty(); });
        EXPECT_EQ(kids, actual);
    }
};

TEST(PageTreeListener, EventsLetAViewFollowEveryChange) {
    CZTPageTree t;
    Mirror mirror(t);
    t.AddListener(&mirror);
    std::mt19937 rng(7);
    int32_t ident = 1;
    auto pick = [&]() -> CZTPageNode* {
        if (t.IsEmpty()) return nullptr;
        size_t n = rng() % t.CountPages();
        CZTPageWalker w(t);
        CZTWalkStep s;
        for (size_t i = 0; i <= n; ++i) w.NextInWalk(s);
        return const_cast<CZTPageNode*>(s.node);
    };
    for (int step = 0; step < 600; ++step) {
        CZTPageNode* a = pick();
        CZTPageNode* b = pick();
        switch (rng() % 10) {
        case 0:
        case 1:
        case 2:
            t.InsertPage(a, rng() % 2 ? CZTPageTree::Placement::AsChild : CZTPageTree::Placement::AsNeighbour, {},
                         std::string(1, char('a' + rng() % 26)), ident++);
            break;
        case 3:
            if (a) t.DeletePage(a, rng() % 2);
            break;
        case 4:
            if (a) t.MovePage(a, b, CZTPageTree::MoveMode(rng() % 3), rng() % 2);
            break;
        case 5:
            if (a) t.MoveUp(a), t.MoveDown(b);
            break;
        case 6:
            if (a) t.MoveLeft(a);
            break;
        case 7:
            if (a) t.MoveRight(a, [&] { return ident++; });
            break;
        case 8:
            if (a) t.SortSiblings(a, rng() % 2, rng() % 2);
            break;
        case 9:
            t.InsertPageList(a, rng() % 2, {{"c", "L", ident, {}}, {"c", "M", ident + 1, {}}, {"p", "N", ident + 2, {}}});
            ident += 3;
            break;
        }
        if (step % 50 == 0) mirror.Check();
    }
    mirror.Check();
    t.Clear();
    mirror.Check();
    t.RemoveListener(&mirror);
}

TEST(PageTreeListener, MoveDownAnnouncesTheRowBeforeTheMove) {
    CZTPageTree t;
    int32_t id = 1;
    Build(t, "A B C", id);
    struct Rec : CZTPageTreeListener {
        std::string log;
        void PageAboutToBeMoved(CZTPageNode* p, const CZTPageNode* np, size_t dest) override {
            log += p->Title() + "->" + (np ? np->Title() : "root") + "@" + std::to_string(dest) + " ";
        }
        void PageChanged(CZTPageNode* p, CZTPageChange what) override {
            log += p->Title() + (what == CZTPageChange::Mark ? "!mark " : "!other ");
        }
    } rec;
    t.AddListener(&rec);
    t.MoveDown(t.FirstRootPage());
    t.MoveUp(t.RootPages()[1]);
    t.ApplyMark(t.FirstRootPage(), CZTMarkEvent::PageChanged);
    t.ApplyMark(t.FirstRootPage(), CZTMarkEvent::PageChanged); // 4 stays 4: no event
    EXPECT_EQ(rec.log, "A->root@2 A->root@0 A!mark ");
}

TEST(PageTree, DeepTreesNeedNoRecursion) {
    CZTPageTree t;
    CZTPageList list;
    for (int32_t i = 1; i <= 200000; ++i) list.push_back({"c", "d", i, {}});
    ASSERT_TRUE(t.InsertPageList(nullptr, true, list).ok);
    EXPECT_EQ(t.CountPages(t.FirstRootPage()), 200000u);
    EXPECT_EQ(t.BuildPageList().size(), 200000u);
    t.SortSiblings(t.FirstRootPage(), true, false);
    auto r = t.DeletePage(t.FirstRootPage(), true);
    EXPECT_EQ(r.removed.size(), 200000u);
    EXPECT_TRUE(t.IsEmpty());
}

} // namespace
