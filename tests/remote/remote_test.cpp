// The program's side of the server link against zettrix-server on loopback:
// content list and administration, opening, fetching on demand, saving only
// what changed, the keep-alive and the write lock, reload.
#include "fixture.h"

#include "base/messages.h"
#include "core/document.h"

#include <chrono>
#include <thread>

using namespace zt;
using namespace zt::test;
using remote::CRemoteDocument;

namespace {

const srv::ContentDoc* Find(const srv::GetContentAnswer& list, const std::string& name) {
    for (const auto& d : list.docs)
        if (d.name == name) return &d;
    return nullptr;
}

} // namespace

TEST(RemoteAddress, TypedAddressAndHostPort) {
    struct Case {
        const char* typed;
        const char* hostPort;
        const char* script;
        bool other;
    } cases[] = {
        {"example.org:8080/ztweb/ztDB.php", "example.org:8080", "ztweb/ztDB.php", false},
        {"http://example.org/x", "example.org", "x", false},
        {"HTTP://example.org", "example.org", "", false},
        {"https://example.org:8443/a/b", "example.org:8443", "a/b", true},
    };
    for (const auto& c : cases) {
        auto a = remote::ParseTypedAddress(c.typed);
        ASSERT_TRUE(a) << c.typed;
        EXPECT_EQ(a->hostPort, c.hostPort);
        EXPECT_EQ(a->scriptPath, c.script);
        EXPECT_EQ(a->otherScheme, c.other);
    }
    EXPECT_FALSE(remote::ParseTypedAddress("/only/path"));
    EXPECT_EQ(remote::SplitHostPort("h:8080", true)->port, 8080);
    EXPECT_EQ(remote::SplitHostPort("h:8080", false)->port, 8080);
    EXPECT_EQ(remote::SplitHostPort("h", true)->port, 443);
    EXPECT_EQ(remote::SplitHostPort("h", false)->port, 80);
    EXPECT_FALSE(remote::SplitHostPort("h:99999", false));
    EXPECT_FALSE(remote::SplitHostPort("h:", false));
    EXPECT_FALSE(remote::SplitHostPort("a b:80", false));
}

TEST(RemoteTrust, TrustedListSkipsWhatIsNoCertificate) {
    EXPECT_TRUE(remote::DecodeTrustedList("").empty());
    EXPECT_TRUE(remote::DecodeTrustedList("\x30\x05garbage").empty());
    // A list of two elements that are not certificates reads as empty.
    std::string list = remote::EncodeTrustedList({std::string("\x02\x01\x05", 3), std::string("\x04\x00", 2)});
    EXPECT_TRUE(remote::DecodeTrustedList(list).empty());
}

TEST(RemoteTree, IndicatorsToDepths) {
    EXPECT_EQ(remote::IndicatorDepths({"c", "c", "c", "pp", "n", "c", "p"}),
              (std::vector<int>{0, 1, 2, 0, 0, 1, 0}));
}

TEST_F(RemoteTest, ContentListAndAdministration) {
    StartServer();
    auto alice = Link("alice");
    std::string ident = Create(*alice, "Notizen");
    ASSERT_FALSE(ident.empty());
    srv::GetContentAnswer list;
    ASSERT_TRUE(alice->LoadContentList(list));
    EXPECT_EQ(list.user, "alice");
    EXPECT_EQ(list.level, 2);
    ASSERT_TRUE(Find(list, "Notizen"));
    EXPECT_EQ(Find(list, "Notizen")->right, srv::kGrantGrant);

    // Rights: bob may write; then the document is renamed.
    std::vector<srv::UserRight> users;
    std::vector<std::string> all;
    ASSERT_TRUE(alice->ReadDocumentUsers("Notizen", ident, users, all));
    EXPECT_NE(std::find(all.begin(), all.end(), "bob"), all.end());
    users.push_back({"bob", srv::kWrite});
    ASSERT_TRUE(alice->ChangeDocument("Notizen", ident, "Notizen 2", users));
    auto bob = Link("bob");
    ASSERT_TRUE(bob->LoadContentList(list));
    ASSERT_TRUE(Find(list, "Notizen 2"));
    EXPECT_EQ(Find(list, "Notizen 2")->right, srv::kWrite);
    EXPECT_EQ(list.level, 1);

    // A plain user may not create documents: the server's refusal is shown.
    prompter_.messages.clear();
    EXPECT_FALSE(bob->CreateDocument("Bobs"));
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].rfind("XML Data Error:\n", 0), 0u);

    // The password change: the old one no longer works, the new one does.
    ASSERT_TRUE(bob->ChangePassword("bob-neu"));
    EXPECT_EQ(bob->connection.password, "bob-neu");
    ASSERT_TRUE(bob->LoadContentList(list));
    auto oldBob = Link("bob");
    prompter_.messages.clear();
    EXPECT_FALSE(oldBob->LoadContentList(list));
    EXPECT_FALSE(prompter_.messages.empty());

    ASSERT_TRUE(alice->DeleteDocument("Notizen 2", ident));
    ASSERT_TRUE(alice->LoadContentList(list));
    EXPECT_FALSE(Find(list, "Notizen 2"));
}

TEST_F(RemoteTest, OpenFetchOnDemandAndSaveOnlyChanges) {
    StartServer();
    std::string ident = MakeDocument("Buch", 7);
    auto link = Link("alice");
    CRemoteDocument doc(*link);
    int64_t before = link->Transport().RequestCount();
    ASSERT_TRUE(doc.Open("Buch", ident, true));
    // One request for the page list, no page bodies.
    EXPECT_EQ(link->Transport().RequestCount() - before, 1);
    ASSERT_EQ(doc.PageCount(), 7);
    EXPECT_TRUE(doc.Writable());
    EXPECT_EQ(doc.Entry(1).indicator, "c");
    EXPECT_EQ(doc.Entry(2).indicator, "c");
    EXPECT_EQ(doc.Entry(3).indicator, "n");
    EXPECT_EQ(doc.Entry(4).indicator, "p");
    EXPECT_EQ(doc.Entry(2).path, "/Seite+1/Seite+2");
    for (int p = 1; p <= 7; ++p) EXPECT_FALSE(doc.PageLoaded(p));

    // A page not fetched yet costs one round trip, the second read none.
    before = link->Transport().RequestCount();
    EXPECT_EQ(TextOf(doc.GetPage(3)), "Seite 3");
    EXPECT_EQ(link->Transport().RequestCount() - before, 1);
    EXPECT_EQ(TextOf(doc.GetPage(3)), "Seite 3");
    EXPECT_EQ(link->Transport().RequestCount() - before, 1);

    // The file of page 2 came with its page (small files are inline).
    ASSERT_EQ(doc.FileNames(2), std::vector<std::string>{"a.txt"});
    CZTFileRecord f = doc.GetFile(2, "a.txt");
    ASSERT_TRUE(f.valid);
    EXPECT_EQ(*f.GetText(), "Inhalt von a");

    // Edit one page, add a file to another, add a page: the save sends the
    // tree with one changed body, then one file.
    ASSERT_TRUE(doc.PutPage(3, RecordWith("Seite 3 neu")));
    ASSERT_TRUE(doc.PutFile(2, FileWith("b.bin", std::string("\0\1\2\3", 4))));
    int added = doc.AppendPage("Anhang", "n");
    ASSERT_TRUE(doc.PutPage(added, RecordWith("neu")));
    EXPECT_TRUE(doc.IsModified());
    before = link->Transport().RequestCount();
    ASSERT_TRUE(doc.Save());
    EXPECT_EQ(link->Transport().RequestCount() - before, 2);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(doc.Entry(added).ident.empty());
    // Nothing changed: the tree alone.
    before = link->Transport().RequestCount();
    ASSERT_TRUE(doc.Save());
    EXPECT_EQ(link->Transport().RequestCount() - before, 1);
    doc.Close();

    // Another session reads what was saved.
    auto bob = Link("alice");
    CRemoteDocument other(*bob);
    ASSERT_TRUE(other.Open("Buch", ident, false));
    EXPECT_FALSE(other.Writable());
    ASSERT_EQ(other.PageCount(), 8);
    EXPECT_EQ(TextOf(other.GetPage(3)), "Seite 3 neu");
    EXPECT_EQ(TextOf(other.GetPage(8)), "neu");
    EXPECT_EQ(other.Entry(8).title, "Anhang");
    CZTFileRecord b = other.GetFile(2, "b.bin");
    ASSERT_TRUE(b.valid);
    EXPECT_EQ(*b.GetText(), std::string("\0\1\2\3", 4));
    EXPECT_EQ(TextOf(other.GetPage(1)), "Seite 1");
    // Read-only: every store operation is refused.
    EXPECT_FALSE(other.PutPage(1, RecordWith("x")));
    EXPECT_FALSE(other.PutFile(1, FileWith("x", "y")));
    EXPECT_EQ(other.AppendPage("x", "n"), 0);
    EXPECT_FALSE(other.Save());

    // The local copy holds every page and file.
    CZTDocument local(prompter_);
    ASSERT_TRUE(other.CopyToLocal(local));
    EXPECT_EQ(local.Tree().CountPages(), 8u);
}

TEST_F(RemoteTest, LargeFilesAreFetchedWhenNeeded) {
    StartServer({"--inline-files", "10"});
    auto link = Link("alice");
    std::string ident = Create(*link, "Dateien");
    {
        CRemoteDocument doc(*link);
        ASSERT_TRUE(doc.Open("Dateien", ident, true));
        int p = doc.AppendPage("P", "c");
        ASSERT_TRUE(doc.PutFile(p, FileWith("gross.txt", std::string(5000, 'x'))));
        ASSERT_TRUE(doc.Save());
        doc.Close();
    }
    CRemoteDocument doc(*link);
    ASSERT_TRUE(doc.Open("Dateien", ident, false));
    ASSERT_EQ(doc.FileNames(1), std::vector<std::string>{"gross.txt"});
    EXPECT_FALSE(doc.Entry(1).files[0].loaded);
    int64_t before = link->Transport().RequestCount();
    CZTFileRecord f = doc.GetFile(1, "gross.txt");
    ASSERT_TRUE(f.valid);
    EXPECT_EQ(f.GetText()->size(), 5000u);
    EXPECT_EQ(link->Transport().RequestCount() - before, 1);
}

TEST_F(RemoteTest, ReloadOfAnUnchangedDocumentChangesNothing) {
    StartServer();
    std::string ident = MakeDocument("R", 3);
    auto link = Link("alice");
    CRemoteDocument doc(*link);
    ASSERT_TRUE(doc.Open("R", ident, false));
    EXPECT_EQ(TextOf(doc.GetPage(1)), "Seite 1");
    prompter_.messages.clear();
    EXPECT_EQ(doc.Reload(), CRemoteDocument::ReloadResult::Unchanged);
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_EQ(doc.PageCount(), 3);

    // Changed by another session: the reload brings the new tree.
    {
        auto other = Link("alice");
        CRemoteDocument w(*other);
        ASSERT_TRUE(w.Open("R", ident, true));
        w.AppendPage("Vier", "n");
        ASSERT_TRUE(w.Save());
        w.Close();
    }
    EXPECT_EQ(doc.Reload(), CRemoteDocument::ReloadResult::Reloaded);
    EXPECT_EQ(doc.PageCount(), 4);
}

TEST_F(RemoteTest, WriteLockKeepAliveAndSecondWriter) {
    StartServer({"--lease", "3"});
    std::string ident = MakeDocument("L", 2);
    auto link = Link("alice");
    CRemoteDocument doc(*link);
    doc.keepAliveInterval = std::chrono::milliseconds(500);
    ASSERT_TRUE(doc.Open("L", ident, true));
    ASSERT_TRUE(doc.Writable());
    EXPECT_TRUE(doc.KeepAliveRunning());

    // A second client gets the document read-only.
    auto link2 = Link("alice");
    CRemoteDocument second(*link2);
    ASSERT_TRUE(second.Open("L", ident, true));
    EXPECT_FALSE(second.Writable());

    // Across twice the lease the keep-alive holds the lock: the save works.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(doc.PutPage(1, RecordWith("gehalten")));
    ASSERT_TRUE(doc.Save()) << (prompter_.messages.empty() ? "" : prompter_.messages.back());
    EXPECT_TRUE(doc.AliveMessages().empty());

    // Closing releases the lock: the second client can now write.
    doc.Close();
    EXPECT_FALSE(doc.KeepAliveRunning());
    second.Close();
    ASSERT_TRUE(second.Open("L", ident, true));
    EXPECT_TRUE(second.Writable());
    second.Close();
}

TEST_F(RemoteTest, LostLockTurnsReadOnlyAndKeepsChanges) {
    StartServer({"--lease", "2"});
    std::string ident = MakeDocument("Lost", 2);
    auto link = Link("alice");
    CRemoteDocument doc(*link);
    doc.keepAliveInterval = std::chrono::hours(1); // no renewal: the lease runs out
    ASSERT_TRUE(doc.Open("Lost", ident, true));
    ASSERT_TRUE(doc.PutPage(1, RecordWith("ungespeichert")));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // Another session takes the lock.
    auto link2 = Link("alice");
    CRemoteDocument thief(*link2);
    ASSERT_TRUE(thief.Open("Lost", ident, true));
    ASSERT_TRUE(thief.Writable());

    prompter_.messages.clear();
    EXPECT_FALSE(doc.Save());
    EXPECT_TRUE(doc.LockLost());
    EXPECT_FALSE(doc.Writable());
    EXPECT_TRUE(doc.IsModified());
    const std::string lost = MessageText(Msg::RemoteLockLost);
    EXPECT_EQ(std::count(prompter_.messages.begin(), prompter_.messages.end(), lost), 1);
    EXPECT_FALSE(doc.PutPage(1, RecordWith("mehr")));
    // The unsaved text is still there for a local copy.
    EXPECT_EQ(TextOf(doc.GetPage(1)), "ungespeichert");
    CZTDocument local(prompter_);
    ASSERT_TRUE(doc.CopyToLocal(local));
    ASSERT_TRUE(local.Save((dir_ / "kopie.ztd")));
    CZTDocument back(prompter_);
    ASSERT_TRUE(back.Open(dir_ / "kopie.ztd"));
    EXPECT_EQ(back.PageText(back.Tree().FirstRootPage()), "ungespeichert");
    thief.Close();
}

TEST_F(RemoteTest, KeepAliveRefusedTurnsReadOnly) {
    StartServer({"--lease", "1"});
    std::string ident = MakeDocument("K", 1);
    auto link = Link("alice");
    CRemoteDocument doc(*link);
    std::atomic<int> told{0};
    doc.onLockLost = [&] { ++told; };
    doc.keepAliveInterval = std::chrono::milliseconds(2500);
    ASSERT_TRUE(doc.Open("K", ident, true));
    ASSERT_TRUE(doc.PutPage(1, RecordWith("offen")));
    // The lease runs out before the first renewal and another session takes
    // the lock; the renewal is refused.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    auto link2 = Link("alice");
    CRemoteDocument thief(*link2);
    thief.keepAliveInterval = std::chrono::milliseconds(300);
    ASSERT_TRUE(thief.Open("K", ident, true));
    ASSERT_TRUE(thief.Writable());
    // The renewal is due after 2.5 s; a loaded machine may be late with it.
    for (int i = 0; i < 300 && !told; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(told, 1);
    prompter_.messages.clear();
    doc.Poll();
    EXPECT_FALSE(doc.Writable());
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(prompter_.messages.size(), 1u);
    doc.Poll();
    EXPECT_EQ(prompter_.messages.size(), 1u);
    thief.Close();
}

TEST_F(RemoteTest, ReplaceWithALocalDocument) {
    StartServer();
    auto link = Link("alice");
    std::string ident = Create(*link, "Put");
    CZTDocument local(prompter_);
    local.New();
    CZTPageNode* a = local.AddPage(nullptr, "A");
    local.SetPageText(a, "Text A");
    CZTPageNode* b = local.AddPage(a, "B");
    local.SetPageText(b, "Text B");
    local.AttachFile(b, FileWith("f.txt", "F"));
    CRemoteDocument doc(*link);
    ASSERT_TRUE(doc.Open("Put", ident, true));
    ASSERT_TRUE(doc.ReplaceWith(local));
    ASSERT_TRUE(doc.Save());
    doc.Close();
    CRemoteDocument again(*link);
    ASSERT_TRUE(again.Open("Put", ident, false));
    ASSERT_EQ(again.PageCount(), 2);
    EXPECT_EQ(again.Entry(2).indicator, "c");
    EXPECT_EQ(TextOf(again.GetPage(2)), "Text B");
    EXPECT_EQ(*again.GetFile(2, "f.txt").GetText(), "F");
}

// The program edits a local copy of the server document; taking it back
// keeps the server's pages and sends only what was changed.
TEST_F(RemoteTest, LocalCopyTakenBackSendsOnlyTheChanges) {
    StartServer();
    std::string ident = MakeDocument("M", 5);
    auto link = Link("alice");
    CRemoteDocument doc(*link);
    ASSERT_TRUE(doc.Open("M", ident, true));
    std::vector<std::string> idents;
    for (int p = 1; p <= doc.PageCount(); ++p) idents.push_back(doc.Entry(p).ident);
    CZTDocument local(prompter_);
    std::map<int32_t, int> positions;
    ASSERT_TRUE(doc.CopyToLocal(local, &positions));
    ASSERT_EQ(positions.size(), 5u);

    // Nothing edited: nothing to save.
    ASSERT_TRUE(doc.MergeLocal(local, positions));
    EXPECT_FALSE(doc.IsModified());

    // One text, one title, one new file, one page less, one page more.
    CZTPageNode* first = local.Tree().FirstRootPage();
    CZTPageNode* third = local.Tree().FindPage([&] {
        for (auto& [id, pos] : positions)
            if (pos == 3) return id;
        return 0;
    }());
    ASSERT_TRUE(first && third);
    ASSERT_TRUE(local.SetPageText(third, "Seite 3 lokal"));
    ASSERT_TRUE(local.RenamePage(first, "Erste"));
    ASSERT_EQ(local.AttachFile(first, FileWith("neu.txt", "neu")), 1);
    CZTPageNode* last = local.Tree().FindPage([&] {
        for (auto& [id, pos] : positions)
            if (pos == 5) return id;
        return 0;
    }());
    ASSERT_TRUE(last);
    local.DeletePage(last, true);
    CZTPageNode* added = local.AddPage(nullptr, "Dazu");
    ASSERT_TRUE(local.SetPageText(added, "dazu"));
    ASSERT_TRUE(doc.MergeLocal(local, positions));
    EXPECT_TRUE(doc.IsModified());
    ASSERT_EQ(doc.PageCount(), 5);
    EXPECT_EQ(doc.Entry(1).ident, idents[0]);
    EXPECT_EQ(doc.Entry(3).ident, idents[2]);
    EXPECT_TRUE(doc.Entry(3).changed);
    EXPECT_FALSE(doc.Entry(2).changed);
    int64_t before = link->Transport().RequestCount();
    ASSERT_TRUE(doc.Save());
    // The tree with two bodies (page 3 and the new page), then one file.
    EXPECT_EQ(link->Transport().RequestCount() - before, 2);
    EXPECT_FALSE(doc.IsModified());
    doc.Close();

    auto other = Link("alice");
    CRemoteDocument check(*other);
    ASSERT_TRUE(check.Open("M", ident, false));
    ASSERT_EQ(check.PageCount(), 5);
    EXPECT_EQ(check.Entry(1).title, "Erste");
    EXPECT_EQ(check.Entry(1).ident, idents[0]);
    EXPECT_EQ(TextOf(check.GetPage(3)), "Seite 3 lokal");
    EXPECT_EQ(TextOf(check.GetPage(5)), "dazu");
    EXPECT_EQ(check.Entry(5).title, "Dazu");
    EXPECT_EQ(*check.GetFile(1, "neu.txt").GetText(), "neu");
    EXPECT_EQ(TextOf(check.GetPage(2)), "Seite 2");
    EXPECT_EQ(check.FileNames(2), std::vector<std::string>{"a.txt"});
}
