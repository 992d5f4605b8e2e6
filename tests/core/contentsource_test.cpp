// Pages whose content is kept elsewhere: a pending node is fetched from the
// core's content source the first time it is read, a node that cannot be had
// reads as not there and refuses changes, and whatever writes every page
// fetches first and writes nothing without it.
#include "core/document.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

using namespace zt;

namespace {

class CFakeSource : public CZTContentSource {
public:
    std::map<int32_t, std::string> texts;
    std::set<int32_t> failing;
    int single = 0, bulk = 0;

    bool FetchNode(CZTDocCore& core, int32_t ident, std::string& error) override {
        ++single;
        return Store(core, ident, error);
    }
    bool FetchNodes(CZTDocCore& core, std::set<int32_t>& idents, std::string& error) override {
        ++bulk;
        bool ok = true;
        for (auto i = idents.begin(); i != idents.end();) {
            if (Store(core, *i, error)) {
                i = idents.erase(i);
            } else {
                ok = false;
                ++i;
            }
        }
        return ok;
    }
    int32_t PendingFileCount(int32_t) const override { return 2; }

private:
    bool Store(CZTDocCore& core, int32_t ident, std::string& error) {
        if (failing.count(ident)) {
            error = "server gone";
            return false;
        }
        CZTPageRecord r = CZTPageRecord::New("u");
        r.SetText(texts[ident], "u");
        return core.PutPage(ident, std::move(r));
    }
};

struct Fixture {
    test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    CFakeSource source;
    CZTPageNode* a = nullptr;
    CZTPageNode* b = nullptr;
    Fixture() {
        a = doc.AddPage(nullptr, "A");
        b = doc.AddPage(nullptr, "B");
        source.texts = {{a->Ident(), "Text A"}, {b->Ident(), "Text B"}};
        doc.Archive().Core().SetContentSource(&source, {a->Ident(), b->Ident()});
    }
    CZTDocCore& Core() { return doc.Archive().Core(); }
};

} // namespace

TEST(ContentSource, APendingPageIsFetchedOnceWhenRead) {
    Fixture f;
    // Counting files and reading properties fetch nothing.
    EXPECT_EQ(f.doc.Archive().FileCount(f.a->Ident()), 2);
    std::string_view data;
    EXPECT_FALSE(f.doc.Archive().GetExtItem(f.a->Ident(), 1, data));
    EXPECT_EQ(f.source.single, 0);
    EXPECT_EQ(f.doc.PageText(f.a), "Text A");
    EXPECT_EQ(f.doc.PageText(f.a), "Text A");
    EXPECT_EQ(f.source.single, 1);
    EXPECT_FALSE(f.Core().Pending(f.a->Ident()));
    EXPECT_TRUE(f.Core().Pending(f.b->Ident()));
    EXPECT_EQ(f.doc.Archive().FileCount(f.a->Ident()), 0);
    // Deleting a page that never arrived fetches nothing.
    f.doc.DeletePage(f.b, false);
    EXPECT_FALSE(f.Core().AnyPending());
    EXPECT_EQ(f.source.single, 1);
}

TEST(ContentSource, AFailedPageRefusesChangesUntilFetchedAgain) {
    Fixture f;
    f.source.failing = {f.a->Ident()};
    EXPECT_FALSE(f.doc.Archive().GetPage(f.a->Ident()).valid);
    ASSERT_TRUE(f.Core().FetchFailure(f.a->Ident()));
    EXPECT_EQ(*f.Core().FetchFailure(f.a->Ident()), "server gone");
    EXPECT_FALSE(f.doc.SetPageText(f.a, "leer"));
    EXPECT_EQ(f.doc.AttachFile(f.a, CZTFileRecord::New("x.txt", "u")), 0);
    EXPECT_FALSE(f.doc.Archive().SetExtItem(f.a->Ident(), 1, "p"));
    // Read again: not asked for on every read.
    f.doc.PageText(f.a);
    EXPECT_EQ(f.source.single, 1);
    // Fetching everything tries again; once the source answers, all is here.
    EXPECT_FALSE(f.Core().EnsureAllContent());
    EXPECT_FALSE(f.Core().Pending(f.b->Ident())); // what arrived is kept
    f.source.failing.clear();
    EXPECT_TRUE(f.Core().EnsureAllContent());
    EXPECT_FALSE(f.Core().FetchFailure(f.a->Ident()));
    EXPECT_TRUE(f.doc.SetPageText(f.a, "neu"));
}

TEST(ContentSource, SavesAndCopiesFetchFirstAndWriteNothingWithoutIt) {
    test::TempDir dir;
    {
        Fixture f;
        ASSERT_TRUE(f.doc.Save(dir / "all.ztd"));
        EXPECT_EQ(f.source.bulk, 1);
        CZTDocument back(f.prompter);
        ASSERT_TRUE(back.Open(dir / "all.ztd"));
        EXPECT_EQ(back.PageText(back.Tree().FirstRootPage()), "Text A");
    }
    {
        Fixture f;
        f.source.failing = {f.b->Ident()};
        EXPECT_FALSE(f.doc.Save(dir / "failed.ztd"));
        EXPECT_FALSE(f.doc.SaveCopy(dir / "copy.ztd"));
        EXPECT_FALSE(std::filesystem::exists(dir / "failed.ztd"));
        EXPECT_FALSE(std::filesystem::exists(dir / "copy.ztd"));
    }
    {
        // The source gone (the server document let go): what did not arrive
        // stays not there, and no save writes it empty.
        Fixture f;
        EXPECT_EQ(f.doc.PageText(f.a), "Text A");
        f.Core().DropContentSource();
        EXPECT_FALSE(f.doc.Archive().GetPage(f.b->Ident()).valid);
        EXPECT_FALSE(f.doc.SetPageText(f.b, "leer"));
        EXPECT_FALSE(f.doc.Save(dir / "dropped.ztd"));
        EXPECT_FALSE(std::filesystem::exists(dir / "dropped.ztd"));
        EXPECT_FALSE(f.prompter.messages.empty());
    }
}
