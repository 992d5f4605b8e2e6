// Following links written in page texts, with the window side played by
// recording callbacks.
#include "core/links.h"

#include <gtest/gtest.h>

#include "base/messages.h"
#include "core/document.h"
#include "support/scripted_prompter.h"

namespace {

using zt::FollowResult;

// Root: Notes, Notes, Kap.2, Käse, Parent(Child(Sibling), Sibling); files on Parent.
struct LinkTest : ::testing::Test {
    zt::test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    CZTPageNode *notes1, *notes2, *kap, *kaese, *parent, *child, *grandSibling, *sibling;

    // What the callbacks saw.
    CZTPageNode* selected = nullptr;
    std::pair<CZTPageNode*, std::string> opened;
    std::string external;
    std::vector<std::string> messages;

    void SetUp() override {
        doc.New();
        notes1 = doc.AddPage(nullptr, "Notes");
        notes2 = doc.AddPage(nullptr, "Notes");
        kap = doc.AddPage(nullptr, "Kap.2");
        kaese = doc.AddPage(nullptr, "K\xE4se");
        parent = doc.AddPage(nullptr, "Parent");
        child = doc.AddPage(parent, "Child");
        grandSibling = doc.AddPage(child, "Sibling");
        sibling = doc.AddPage(parent, "Sibling");
        for (const char* name : {"a b\xFC.txt", "x.txt"}) {
            CZTFileRecord f = CZTFileRecord::New(name, "test");
            ASSERT_TRUE(f.SetContent("content", "test"));
            ASSERT_NE(doc.AttachFile(parent, f), 0);
        }
    }

    FollowResult Follow(const CZTPageNode* current, const std::string& text) {
        selected = nullptr;
        opened = {};
        external.clear();
        messages.clear();
        zt::LinkContext c;
        c.tree = &doc.Tree();
        c.current = current;
        c.archive = &doc.Archive();
        c.selectPage = [&](CZTPageNode* p) { selected = p; };
        c.openFile = [&](CZTPageNode* p, const std::string& name) { opened = {p, name}; };
        c.openExternal = [&](const std::string& a) { external = a; };
        c.message = [&](const std::string& m) { messages.push_back(m); };
        return zt::FollowLink(text, c);
    }
};

TEST_F(LinkTest, PageLinksSelectTheirPage) {
    const std::vector<std::tuple<CZTPageNode*, std::string, CZTPageNode*>> cases = {
        {nullptr, "zt:/Notes", notes1},
        {nullptr, "zt:/Notes(1)", notes2},
        {nullptr, "ZT:/Notes%281%29", notes2},
        {nullptr, "zt:/Kap%2E2", kap},
        {nullptr, "zt:/Kap.2", kap},
        {nullptr, "  zt:/Parent/Sibling\t", sibling},
        {nullptr, "zt:/K\xC3\xA4se", kaese},  // typed as is, not encoded
        {nullptr, "zt:/K%E4se", kaese},
        {child, "zt:../Sibling", sibling},
        {child, "zt:Sibling", grandSibling},
        {child, "zt:.", child},
        {sibling, "zt:..", parent},
        {kap, "zt:/", nullptr},
        {sibling, "zt:Sibling", nullptr},
        {nullptr, "zt:/Missing", nullptr},
        {nullptr, "zt:/M\xC3\xBCll", nullptr},
    };
    for (const auto& [current, text, expected] : cases) {
        const FollowResult r = Follow(current, text);
        EXPECT_EQ(selected, expected) << text;
        EXPECT_EQ(r, expected ? FollowResult::PageSelected : FollowResult::PageNotFound) << text;
        EXPECT_EQ(messages.size(), expected ? 0u : 1u) << text;
    }
    Follow(nullptr, "zt:/Missing");
    EXPECT_EQ(messages, std::vector<std::string>{"Seite\n/Missing\nnicht gefunden."});
    Follow(nullptr, "zt:/M\xC3\xBCll");
    EXPECT_EQ(messages, std::vector<std::string>{"Seite\n/M\xC3\xBCll\nnicht gefunden."});
    Follow(sibling, "zt:Sibling");
    EXPECT_EQ(messages, std::vector<std::string>{"Seite\nSibling\nnicht gefunden."});
}

TEST_F(LinkTest, FileLinksOpenAttachedFiles) {
    EXPECT_EQ(Follow(nullptr, "ztf:/Parent/a+b%FC.txt"), FollowResult::FileOpened);
    EXPECT_EQ(opened, std::make_pair(parent, std::string("a b\xFC.txt")));
    EXPECT_EQ(Follow(nullptr, "ztf:/Parent/a%20b\xC3\xBC.txt"), FollowResult::FileOpened);
    EXPECT_EQ(opened, std::make_pair(parent, std::string("a b\xFC.txt")));
    EXPECT_EQ(Follow(child, "ZTF:../x.txt"), FollowResult::FileOpened);
    EXPECT_EQ(opened, std::make_pair(parent, std::string("x.txt")));
    EXPECT_EQ(Follow(parent, "ztf:x.txt"), FollowResult::FileOpened);  // the current page's file
    EXPECT_EQ(opened.first, parent);
    EXPECT_TRUE(messages.empty());

    EXPECT_EQ(Follow(nullptr, "ztf:/Parent/gone%2Etxt"), FollowResult::FileNotFound);
    EXPECT_EQ(messages, std::vector<std::string>{"Datei 'gone.txt' nicht gefunden."});
    EXPECT_EQ(opened.first, nullptr);
    EXPECT_EQ(Follow(nullptr, "ztf:/Nope/x.txt"), FollowResult::PageNotFound);
    EXPECT_EQ(messages, std::vector<std::string>{"Seite\n/Nope\nnicht gefunden."});
    EXPECT_EQ(Follow(nullptr, "ztf:/x.txt"), FollowResult::PageNotFound);  // the root holds no files
    EXPECT_EQ(Follow(nullptr, "ztf:x.txt"), FollowResult::PageNotFound);   // no current page
}

TEST_F(LinkTest, OtherTextsGoToTheSystem) {
    const std::pair<const char*, const char*> cases[] = {
        {"www.x.de", "http://www.x.de"},
        {"WWW.x.de/a", "http://WWW.x.de/a"},
        {" mailto:a@b.de ", "mailto:a@b.de"},
        {"https://x.de/?q=1", "https://x.de/?q=1"},
        {"zt", "zt"},
    };
    for (const auto& [text, address] : cases) {
        EXPECT_EQ(Follow(nullptr, text), FollowResult::ExternalOpened) << text;
        EXPECT_EQ(external, address);
    }
    EXPECT_EQ(Follow(nullptr, ""), FollowResult::Nothing);
    EXPECT_EQ(Follow(nullptr, " \t\r\n"), FollowResult::Nothing);
    EXPECT_TRUE(external.empty());
}

} // namespace
