#include "core/document.h"
#include "core/extbytes.h"
#include "core/pagepaths.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zt;

namespace {

CZTFileRecord FileWith(const std::string& name, const std::string& content) {
    CZTFileRecord f = CZTFileRecord::New(name, "someone");
    f.SetContent(content, "someone");
    return f;
}

std::string Shape(const CZTPageTree& tree) {
    std::string s;
    for (const auto& e : tree.BuildPageList()) s += e.indicator + ":" + e.title + " ";
    return s;
}

} // namespace

// Copies within the document and inserted document files carry no page
// reminders unless they are to be taken over; the source keeps its own.
TEST(Document, CopiesLeaveRemindersBehindUnlessTakenOver) {
    test::TempDir dir;
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    CZTPageNode* a = doc.AddPage(nullptr, "A");
    doc.AddPage(a, "B");
    const std::string reminders = "stored reminders";
    ASSERT_TRUE(doc.Archive().SetExtItem(a->Ident(), kExtReminders, reminders));
    ASSERT_TRUE(doc.SaveCopy(dir / "other.ztd"));
    auto remindersOf = [&](const CZTPageNode* n) {
        std::string_view data;
        return doc.Archive().GetExtItem(n->Ident(), kExtReminders, data) ? std::string(data) : std::string();
    };
    for (bool takeOver : {false, true}) {
        doc.takeOverPageReminders = takeOver;
        CZTPageNode* copy = doc.CopyPages(a, true, a, false);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(remindersOf(copy), takeOver ? reminders : "") << takeOver;
        const std::vector<CZTPageNode*> before = doc.Tree().RootPages();
        ASSERT_TRUE(doc.InsertFile(dir / "other.ztd", nullptr, false));
        CZTPageNode* inserted = nullptr;
        for (CZTPageNode* r : doc.Tree().RootPages())
            if (std::find(before.begin(), before.end(), r) == before.end()) inserted = r;
        ASSERT_NE(inserted, nullptr);
        EXPECT_EQ(inserted->Title(), "A");
        EXPECT_EQ(remindersOf(inserted), takeOver ? reminders : "") << takeOver;
        EXPECT_EQ(remindersOf(a), reminders);
    }
}

TEST(Document, CopyPagesDuplicatesTextsAndFilesWithNewIdents) {
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    CZTPageNode* a = doc.AddPage(nullptr, "A");
    CZTPageNode* b = doc.AddPage(a, "B");
    doc.AddPage(nullptr, "C");
    doc.SetPageText(a, "text A");
    doc.SetPageText(b, "text B");
    ASSERT_EQ(doc.AttachFile(b, FileWith("f.txt", "file of B")), 1);

    CZTPageNode* copy = doc.CopyPages(a, true, a, false);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Shape(doc.Tree()), "c:A c:B p:A c:B p:C ");
    EXPECT_NE(copy->Ident(), a->Ident());
    EXPECT_EQ(doc.PageText(copy), "text A");
    CZTPageNode* copyB = copy->FirstChild();
    ASSERT_NE(copyB, nullptr);
    EXPECT_EQ(doc.PageText(copyB), "text B");
    CZTFileRecord f = doc.Archive().GetFile(copyB->Ident(), "f.txt");
    ASSERT_TRUE(f.valid);
    EXPECT_EQ(f.createdBy, doc.Archive().User());
    EXPECT_EQ(doc.Archive().GetPage(copyB->Ident()).createdBy, doc.Archive().User());
    EXPECT_EQ(copy->Mark(), 4);
    EXPECT_EQ(copyB->Mark(), 5);
    // The source is unchanged.
    EXPECT_EQ(doc.Archive().GetFile(b->Ident(), "f.txt").createdBy, "someone");

    // A single page copy takes only the page.
    CZTPageNode* single = doc.CopyPages(a, false, nullptr, true);
    ASSERT_NE(single, nullptr);
    EXPECT_FALSE(single->HasChildren());
    EXPECT_EQ(doc.Tree().FirstRootPage(), single);
}

TEST(Document, DeleteRemovesRecordsAndMoveRefusesOwnSubtree) {
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    CZTPageNode* a = doc.AddPage(nullptr, "A");
    CZTPageNode* b = doc.AddPage(a, "B");
    CZTPageNode* c = doc.AddPage(b, "C");
    doc.SetPageText(c, "deep");
    const int32_t identC = c->Ident();
    EXPECT_EQ(doc.MovePage(a, c, CZTPageTree::MoveMode::FirstChild, true), nullptr);
    EXPECT_EQ(doc.MovePage(a, b, CZTPageTree::MoveMode::After, false), nullptr);
    EXPECT_EQ(Shape(doc.Tree()), "c:A c:B c:C ");

    doc.DeletePage(b, false); // the child takes the page's place
    EXPECT_EQ(Shape(doc.Tree()), "c:A c:C ");
    doc.DeletePage(a, true);
    EXPECT_TRUE(doc.Tree().IsEmpty());
    EXPECT_EQ(doc.Archive().GetPage(identC).GetText(), nullptr);
}

TEST(Document, SaveAndReopenKeepsTheTree) {
    test::TempDir dir;
    test::ScriptedPrompter p;
    CZTDocument doc(p);
    CZTPageNode* a = doc.AddPage(nullptr, "Kap.2");
    doc.AddPage(a, "Notes");
    doc.AddPage(a, "Notes");
    doc.AddPage(nullptr, "Z");
    ASSERT_TRUE(doc.Save(dir / "t.ztd"));
    EXPECT_FALSE(doc.IsModified());

    CZTDocument back(p);
    ASSERT_TRUE(back.Open(dir / "t.ztd"));
    EXPECT_EQ(Shape(back.Tree()), "c:Kap.2 c:Notes n:Notes p:Z ");
    CZTPageNode* second = ResolvePath(back.Tree(), nullptr, "/Kap%2E2/Notes(1)");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->PrevSibling()->Title(), "Notes");
    EXPECT_EQ(back.Tree().FirstRootPage()->Mark(), 0);
}
