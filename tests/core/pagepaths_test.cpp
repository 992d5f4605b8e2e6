#include "core/pagepaths.h"

#include <gtest/gtest.h>

#include "core/pagetree.h"
#include "core/visithistory.h"

namespace {

using P = CZTPageTree::Placement;

// Root: Notes, Notes, Kap.2, "My Page"(Sub(Deep) Sibling), Other(Sibling)
struct PathTest : ::testing::Test {
    CZTPageTree tree;
    CZTPageNode *notes1, *notes2, *kap, *my, *sub, *deep, *sibling, *other, *otherSibling;
    void SetUp() override {
        notes1 = tree.InsertPage(nullptr, P::AsNeighbour, {}, "Notes", 1);
        notes2 = tree.InsertPage(nullptr, P::AsNeighbour, {}, "Notes", 2);
        kap = tree.InsertPage(nullptr, P::AsNeighbour, {}, "Kap.2", 3);
        my = tree.InsertPage(nullptr, P::AsNeighbour, {}, "My Page", 4);
        sub = tree.InsertPage(my, P::AsChild, {}, "Sub", 5);
        deep = tree.InsertPage(sub, P::AsChild, {}, "Deep", 6);
        sibling = tree.InsertPage(sub, P::AsNeighbour, {}, "Sibling", 7);
        other = tree.InsertPage(nullptr, P::AsNeighbour, {}, "Other", 8);
        otherSibling = tree.InsertPage(other, P::AsChild, {}, "Sibling", 9);
    }
};

TEST_F(PathTest, DisplayPathKeepsTitles) {
    EXPECT_EQ(zt::PagePath(deep), "/My Page/Sub/Deep");
    EXPECT_EQ(zt::PagePath(kap), "/Kap.2");
    EXPECT_EQ(zt::PagePath(nullptr), "");
}

TEST_F(PathTest, LinkNamesNumberEqualSiblingsAndEncode) {
    EXPECT_EQ(zt::LinkNameText(notes1), "Notes");
    EXPECT_EQ(zt::LinkNameText(notes2), "Notes(1)");
    EXPECT_EQ(zt::LinkName(notes2), "Notes%281%29");
    EXPECT_EQ(zt::LinkName(kap), "Kap%2E2");
    EXPECT_EQ(zt::LinkPath(deep), "/My+Page/Sub/Deep");
    // A third equal title counts on.
    CZTPageNode* third = tree.InsertPage(nullptr, P::AsNeighbour, {}, "Notes", 20);
    EXPECT_EQ(zt::LinkNameText(third), "Notes(2)");
    EXPECT_EQ(zt::ResolvePath(tree, nullptr, zt::LinkPath(third)), third);
    // A whole row at once gives each page its own link name.
    const std::vector<std::string> row = zt::LinkNamesOf(tree.RootPages());
    ASSERT_EQ(row.size(), tree.RootPages().size());
    for (size_t i = 0; i < row.size(); ++i) EXPECT_EQ(row[i], zt::LinkName(tree.RootPages()[i])) << i;
    EXPECT_EQ(row.back(), "Notes%282%29");
}

TEST_F(PathTest, ResolvePath) {
    struct Case {
        CZTPageNode* current;
        const char* path;
        CZTPageNode* expected;
    };
    const Case cases[] = {
        {nullptr, "/Notes", notes1},
        {nullptr, "/Notes(1)", notes2},
        {nullptr, "/Notes%281%29", notes2},
        {nullptr, "/Notes(2)", nullptr},
        {nullptr, "/Kap%2E2", kap},
        {nullptr, "/Kap.2", kap},
        {nullptr, "/My+Page/Sub/Deep", deep},
        {nullptr, "//My+Page///Sub/", sub},
        {nullptr, "/my+page", nullptr},   // case-sensitive
        {nullptr, "/Missing", nullptr},
        {nullptr, "/", nullptr},          // the root is no page
        {nullptr, "/.", notes1},          // "." at the root: first root page
        {nullptr, "/..", nullptr},        // no parent of the root
        {nullptr, "Other/Sibling", otherSibling}, // no current page: from the root
        {sub, "../Sibling", sibling},
        {sub, "Sibling", nullptr},        // only among the page's own children
        {sub, "Deep", deep},
        {sub, ".", sub},
        {sub, "./Deep/..", sub},
        {sub, "..", my},
        {sub, "../..", nullptr},          // at the root
        {sub, "../../Kap%2E2", kap},
        {sub, "../../..", nullptr},
        {deep, "/Other/Sibling", otherSibling},
        {deep, "", deep},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zt::ResolvePath(tree, c.current, c.path), c.expected)
            << (c.current ? c.current->Title() : "root") << " " << c.path;
}

TEST_F(PathTest, EveryLinkPathResolvesToItsPage) {
    CZTPageWalker w(tree);
    for (CZTWalkStep s; w.NextInWalk(s);)
        EXPECT_EQ(zt::ResolvePath(tree, deep, zt::LinkPath(s.node)), s.node) << zt::LinkPath(s.node);
}

TEST(VisitHistory, BackThenVisitKeepsTheSkippedPageForward) {
    CZTVisitHistory h;
    EXPECT_FALSE(h.CanGoBack());
    EXPECT_EQ(h.GoBack(), 0);
    h.Visit('A');
    h.Visit('B');
    h.Visit('C');
    EXPECT_EQ(h.Position(), 3u);
    EXPECT_FALSE(h.CanGoForward());
    EXPECT_EQ(h.GoBack(), 'B');
    EXPECT_EQ(h.Entries(), (std::vector<int32_t>{'A', 'B', 'C'}));
    EXPECT_EQ(h.Position(), 2u);
    h.Visit('D');
    EXPECT_EQ(h.Entries(), (std::vector<int32_t>{'A', 'B', 'D', 'C'}));
    EXPECT_EQ(h.Position(), 3u);
    EXPECT_TRUE(h.CanGoForward());
    EXPECT_EQ(h.GoForward(), 'C');
    EXPECT_EQ(h.Current(), 'C');
    EXPECT_EQ(h.GoForward(), 0);
    EXPECT_EQ(h.GoBack(), 'D');
    EXPECT_EQ(h.GoBack(), 'B');
    EXPECT_EQ(h.GoBack(), 'A');
    EXPECT_EQ(h.GoBack(), 0);
    EXPECT_EQ(h.Position(), 1u);
}

TEST(VisitHistory, PagesThatNoLongerExistAreSkipped) {
    CZTVisitHistory h;
    for (int32_t id : {1, 2, 3, 4, 5}) h.Visit(id);
    auto exists = [](int32_t id) { return id != 2 && id != 4; };
    EXPECT_EQ(h.GoBack(exists), 3);
    EXPECT_EQ(h.GoBack(exists), 1);
    EXPECT_EQ(h.GoBack(exists), 0);
    EXPECT_EQ(h.GoForward(exists), 3);
    EXPECT_EQ(h.GoForward(exists), 5);
    EXPECT_EQ(h.Entries(), (std::vector<int32_t>{1, 3, 5}));
    h.Clear();
    EXPECT_EQ(h.Current(), 0);
}

TEST(VisitHistory, LengthIsCapped) {
    CZTVisitHistory h;
    for (size_t i = 0; i < CZTVisitHistory::kMaxEntries + 50; ++i) h.Visit(int32_t(i + 1));
    EXPECT_EQ(h.Entries().size(), CZTVisitHistory::kMaxEntries);
    EXPECT_EQ(h.Current(), int32_t(CZTVisitHistory::kMaxEntries + 50));
    EXPECT_EQ(h.Entries().front(), 51);
}

} // namespace
