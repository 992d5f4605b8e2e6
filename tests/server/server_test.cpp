// zettrix-server driven over loopback with the program's own message
// builders, against SQLite and against a throw-away PostgreSQL cluster.
#include "harness.h"

#include "base/xml.h"
#include "security/protocol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>

using namespace zt;
using namespace zt::srv;
using namespace zt::test;

namespace {

// The errno an answer carries: unsealed (envelope) or sealed (answer element);
// 0 for none, -1 when the answer could not be opened at all.
int ErrnoOf(const OpenedAnswer& o, Kind kind) {
    if (o.serverError) return o.errnum;
    if (!o.error.empty()) return -1;
    for (const xml::Node* a : xml::FindElements(o.document.Root(), AnswerElement(kind), -1))
        for (const xml::Node* e : xml::FindElements(*a, "ERROR_MSG", 0))
            return int(ParseInt(xml::AttributeOf(*e, "errno")).value_or(-2));
    return 0;
}

bool Sealed(const OpenedAnswer& o) { return o.sealed && o.error.empty(); }

class ServerTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        if (GetParam() == "postgresql") {
            if (CPgCluster::BinDir().empty()) GTEST_SKIP() << "PostgreSQL (initdb) is not installed";
            pg_ = std::make_unique<CPgCluster>();
            ASSERT_TRUE(pg_->Ok()) << pg_->Error();
            db_ = pg_->NewDatabase();
            ASSERT_FALSE(db_.empty());
        } else {
            db_ = dir_ / "zt.db";
        }
        server_ = std::make_unique<CServerProcess>(db_, dir_.path());
        ASSERT_TRUE(server_->AddUser("alice", "alice-pw", 2));
        ASSERT_TRUE(server_->AddUser("bob", "bob-pw", 1));
        ASSERT_TRUE(server_->AddUser("carol", "carol-pw", 1));
        ASSERT_TRUE(server_->AddUser("root", "root-pw", 4));
    }
    void TearDown() override {
        server_.reset();
        pg_.reset();
    }

    void Start(const std::vector<std::string>& extra = {"--inline-files", "1000"}) {
        ASSERT_TRUE(server_->Start(extra)) << server_->LogText();
    }

    CClient Client(const std::string& user) const { return CClient(server_->Port(), user, user + "-pw"); }

    // Creates a document and returns its ident.
    std::string AddDoc(const CClient& c, const std::string& name) {
        AdminRequest r;
        r.command = AdminCommand::DocAdd;
        r.docName = name;
        auto o = c.Send(r);
        AdminAnswer a;
        auto res = ReadAdminAnswer(o.document, r, a);
        EXPECT_TRUE(res.ok()) << res.text << o.error;
        return a.docIdent;
    }

    GetDocAnswer Open(const CClient& c, const std::string& name, const std::string& ident, bool write,
                      int64_t docTime = 0, int* errnum = nullptr) {
        GetDocRequest r{write, ident, name, docTime};
        auto o = c.Send(r);
        GetDocAnswer a;
        auto res = ReadGetDocAnswer(o.document, r, a);
        if (errnum) *errnum = ErrnoOf(o, Kind::GetDoc);
        else EXPECT_TRUE(res.ok()) << res.text << o.error;
        return a;
    }

    static SaveNode Page(std::string ident, bool temp, std::string title, std::string body) {
        SaveNode n;
        n.ident = std::move(ident);
        n.identIsTemp = temp;
        n.title = std::move(title);
        if (!body.empty()) {
            n.hasContent = true;
            n.time = n.ctime = 1000;
            n.cuser = n.muser = "alice";
            n.length = int64_t(body.size());
            n.content = Compressed(body);
        }
        n.filesLoaded = true;
        return n;
    }

    SaveDocRequest Save(const DocHeader& h, std::vector<SaveNode> nodes) {
        SaveDocRequest r;
        r.docName = h.docName;
        r.docIdent = h.docIdent;
        r.docMuser = "alice";
        r.docCtime = h.ctime;
        r.docMtime = 2000;
        r.docTime = h.docTime;
        r.docTitle = "Title";
        r.nodes = std::move(nodes);
        return r;
    }

    static SetPageFileRequest Upload(const DocHeader& h, const std::string& node, std::string ident, bool temp,
                                     std::string name, const std::string& data) {
        SetPageFileRequest r;
        r.docName = h.docName;
        r.docIdent = h.docIdent;
        r.docMuser = "alice";
        r.docTime = h.docTime;
        r.nodeIdent = node;
        r.file.name = std::move(name);
        r.file.ident = std::move(ident);
        r.file.identIsTemp = temp;
        r.file.length = int64_t(data.size());
        r.file.cuser = r.file.muser = "alice";
        r.file.content = Compressed(data);
        return r;
    }

    TempDir dir_;
    std::unique_ptr<CPgCluster> pg_;
    std::string db_;
    std::unique_ptr<CServerProcess> server_;
};

std::string Noise(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 16);
    }
    return s;
}

TEST_P(ServerTest, EveryRequestKindRoundTrips) {
    Start();
    CClient alice = Client("alice");
    std::string ident = AddDoc(alice, "Notes");
    ASSERT_FALSE(ident.empty());

    {
        auto o = alice.Send(GetContentRequest{});
        GetContentAnswer a;
        ASSERT_TRUE(ReadGetContentAnswer(o.document, a).ok());
        EXPECT_EQ(a.user, "alice");
        EXPECT_EQ(a.level, 2);
        ASSERT_EQ(a.docs.size(), 1u);
        EXPECT_EQ(a.docs[0].name, "Notes");
        EXPECT_EQ(a.docs[0].ident, ident);
        EXPECT_EQ(a.docs[0].right, kGrantGrant);
    }

    GetDocAnswer doc = Open(alice, "Notes", ident, true);
    EXPECT_TRUE(doc.write);
    EXPECT_TRUE(doc.nodes.empty());
    int64_t t0 = doc.header.docTime;

    // A tree of three new pages: A with the child B, then C.
    SaveNode a = Page("TMPA", true, "A <&> \xe4", "{\\rtf1 page A}");
    a.children.push_back(Page("TMPB", true, "B", "{\\rtf1 page B}"));
    SaveNode c = Page("TMPC", true, "C", "{\\rtf1 page C}");
    auto saveReq = Save(doc.header, {a, c});
    SaveDocAnswer saved;
    {
        auto o = alice.Send(saveReq);
        auto res = ReadSaveDocAnswer(o.document, saveReq, saved);
        ASSERT_TRUE(res.ok()) << res.text;
    }
    ASSERT_EQ(saved.identn.size(), 3u);
    EXPECT_GT(saved.header.docTime, t0);
    EXPECT_EQ(saved.header.docTitle, "Title");
    std::map<std::string, std::string> ids;
    for (auto& p : saved.identn) ids[p.key] = p.val;

    // Another session reads the tree.
    CClient reader = Client("alice");
    GetDocAnswer tree = Open(reader, "Notes", ident, false);
    EXPECT_FALSE(tree.write);
    ASSERT_EQ(tree.nodes.size(), 2u);
    EXPECT_EQ(tree.nodes[0].title, "A <&> \xe4");
    EXPECT_EQ(tree.nodes[0].ident, ids["TMPA"]);
    ASSERT_EQ(tree.nodes[0].children.size(), 1u);
    EXPECT_EQ(tree.nodes[0].children[0].title, "B");
    EXPECT_EQ(tree.nodes[1].ident, ids["TMPC"]);

    GetPageRequest gp{"Notes", saved.header.docTime, ident, ids["TMPA"], 0};
    GetPageAnswer page;
    {
        auto o = reader.Send(gp);
        auto res = ReadGetPageAnswer(o.document, gp, page);
        ASSERT_TRUE(res.ok()) << res.text;
    }
    EXPECT_TRUE(page.page.hasContent);
    EXPECT_EQ(page.page.content, Compressed("{\\rtf1 page A}"));
    EXPECT_EQ(page.page.time, 1000);
    // A current copy is not sent again.
    gp.pageTime = page.page.time;
    {
        auto o = reader.Send(gp);
        GetPageAnswer again;
        ASSERT_TRUE(ReadGetPageAnswer(o.document, gp, again).ok());
        EXPECT_FALSE(again.page.hasContent);
    }

    // A small file travels with its page, a large one on request.
    DocHeader h = saved.header;
    std::string small = "small file", large = Noise(5000, 7);
    SetPageFileAnswer up;
    for (auto [name, data] : {std::pair<std::string, std::string>{"small.txt", small}, {"large.bin", large}}) {
        auto req = Upload(h, ids["TMPA"], "TMPF" + name, true, name, data);
        auto o = alice.Send(req);
        auto res = ReadSetPageFileAnswer(o.document, req, up);
        ASSERT_TRUE(res.ok()) << res.text;
        ASSERT_EQ(up.identn.size(), 1u);
        EXPECT_EQ(up.identn[0].key, "TMPF" + name);
        EXPECT_GT(up.header.docTime, h.docTime);
        h = up.header;
    }
    gp.pageTime = 0;
    gp.docTime = h.docTime;
    {
        auto o = reader.Send(gp);
        ASSERT_TRUE(ReadGetPageAnswer(o.document, gp, page).ok());
    }
    ASSERT_EQ(page.files.size(), 2u);
    EXPECT_TRUE(page.files[0].hasContent);
    EXPECT_EQ(page.files[0].content, Compressed(small));
    EXPECT_FALSE(page.files[1].hasContent);
    EXPECT_EQ(page.files[1].lengthCompr, int64_t(Compressed(large).size()));
    GetPageFileRequest gf{"Notes", ident, h.docTime, page.files[1].ident};
    {
        auto o = reader.Send(gf);
        GetPageFileAnswer f;
        auto res = ReadGetPageFileAnswer(o.document, gf, f);
        ASSERT_TRUE(res.ok()) << res.text;
        EXPECT_EQ(f.file.name, "large.bin");
        EXPECT_EQ(f.file.content, Compressed(large));
    }

    // The next save drops C and the large file, renames the small one, and
    // leaves the body of A as it was.
    SaveNode a2 = Page(ids["TMPA"], false, "A2", "");
    a2.files = {{"renamed.txt", page.files[0].ident}};
    SaveNode b2 = Page(ids["TMPB"], false, "B", "");
    b2.filesLoaded = false;
    a2.children.push_back(b2);
    auto save2 = Save(h, {a2});
    {
        auto o = alice.Send(save2);
        SaveDocAnswer s2;
        auto res = ReadSaveDocAnswer(o.document, save2, s2);
        ASSERT_TRUE(res.ok()) << res.text;
        EXPECT_TRUE(s2.identn.empty());
        EXPECT_GT(s2.header.docTime, h.docTime);
        h = s2.header;
    }
    gp.docTime = h.docTime;
    {
        auto o = reader.Send(gp);
        ASSERT_TRUE(ReadGetPageAnswer(o.document, gp, page).ok());
        EXPECT_EQ(page.page.title, "A2");
        EXPECT_EQ(page.page.content, Compressed("{\\rtf1 page A}"));
        ASSERT_EQ(page.files.size(), 1u);
        EXPECT_EQ(page.files[0].name, "renamed.txt");
    }
    gp.nodeIdent = ids["TMPC"];
    EXPECT_EQ(ErrnoOf(reader.Send(gp), Kind::GetPage), kErrNotFound);

    // Keep-alive renews, release frees the lock for another session.
    AliveRequest alive{true, "Notes", ident, h.docTime};
    {
        auto o = alice.Send(alive);
        AliveAnswer aa;
        EXPECT_TRUE(ReadAliveAnswer(o.document, alive, aa).ok());
        EXPECT_TRUE(aa.write);
    }
    EXPECT_FALSE(Open(reader, "Notes", ident, true).write);
    alive.hold = false;
    {
        auto o = alice.Send(alive);
        AliveAnswer aa;
        EXPECT_TRUE(ReadAliveAnswer(o.document, alive, aa).ok());
        EXPECT_FALSE(aa.write);
    }
    EXPECT_TRUE(Open(reader, "Notes", ident, true).write);

    // Deleting needs the lock to be free or one's own.
    AdminRequest del;
    del.command = AdminCommand::DocDel;
    del.docName = "Notes";
    del.docIdent = ident;
    EXPECT_EQ(ErrnoOf(alice.Send(del), Kind::Admin), kErrLocked);
    {
        auto o = reader.Send(del);
        AdminAnswer da;
        auto res = ReadAdminAnswer(o.document, del, da);
        EXPECT_TRUE(res.ok()) << res.text;
    }
    {
        auto o = alice.Send(GetContentRequest{});
        GetContentAnswer ga;
        ASSERT_TRUE(ReadGetContentAnswer(o.document, ga).ok());
        EXPECT_TRUE(ga.docs.empty());
    }
    std::string log = server_->LogText();
    EXPECT_NE(log.find("user=alice kind=Q_SAVEDOC doc=Notes result=ok"), std::string::npos) << log;
}

TEST_P(ServerTest, EveryErrno) {
    Start();
    CClient alice = Client("alice");
    std::string ident = AddDoc(alice, "Doc");
    GetDocAnswer doc = Open(alice, "Doc", ident, true);
    auto save = Save(doc.header, {Page("T1", true, "P", "{\\rtf1 x}")});
    SaveDocAnswer saved;
    ASSERT_TRUE(ReadSaveDocAnswer(alice.Send(save).document, save, saved).ok());
    DocHeader h = saved.header;
    std::string pageId = saved.identn.at(0).val;

    // 10: unknown user and wrong password are refused unsealed; a wrong HAUTH,
    // a stale ZTTIME and a replayed envelope sealed.
    CClient nobody(server_->Port(), "mallory", "x");
    auto o = nobody.Send(GetContentRequest{});
    EXPECT_TRUE(o.serverError);
    EXPECT_EQ(o.errnum, kErrAuth);
    CClient wrong(server_->Port(), "alice", "wrong");
    o = wrong.Send(GetContentRequest{});
    EXPECT_TRUE(o.serverError);
    EXPECT_EQ(o.errnum, kErrAuth);
    {
        Request r;
        r.head = {alice.ident, int64_t(std::time(nullptr)), "alice", std::string(std::string_view(Hauth("alice", "x")))};
        r.body = GetContentRequest{};
        HttpAnswer a = alice.Post(BuildEnvelope(BuildRequestText(r), alice.ident, "alice", "alice-pw"));
        OpenedAnswer oa;
        ASSERT_TRUE(OpenAnswer(a.body, a.headers, "alice", "alice-pw", oa));
        EXPECT_EQ(ErrnoOf(oa, Kind::GetContent), kErrAuth);
        r.head.hauth = std::string(std::string_view(Hauth("alice", "alice-pw")));
        r.head.zttime -= 3600;
        a = alice.Post(BuildEnvelope(BuildRequestText(r), alice.ident, "alice", "alice-pw"));
        ASSERT_TRUE(OpenAnswer(a.body, a.headers, "alice", "alice-pw", oa));
        EXPECT_EQ(ErrnoOf(oa, Kind::GetContent), kErrAuth);
    }
    std::string envelope;
    o = alice.Send(GetContentRequest{}, &envelope);
    EXPECT_EQ(ErrnoOf(o, Kind::GetContent), 0);
    {
        HttpAnswer a = alice.Post(envelope);
        OpenedAnswer oa;
        ASSERT_TRUE(OpenAnswer(a.body, a.headers, "alice", "alice-pw", oa));
        EXPECT_EQ(ErrnoOf(oa, Kind::GetContent), kErrAuth);
    }

    // 20: no such document, page or file.
    int err = 0;
    Open(alice, "Nope", "", false, 0, &err);
    EXPECT_EQ(err, kErrNotFound);
    Open(alice, "Other name", ident, false, 0, &err);
    EXPECT_EQ(err, kErrNotFound);
    EXPECT_EQ(ErrnoOf(alice.Send(GetPageRequest{"Doc", h.docTime, ident, "99999", 0}), Kind::GetPage), kErrNotFound);
    EXPECT_EQ(ErrnoOf(alice.Send(GetPageFileRequest{"Doc", ident, h.docTime, "4711"}), Kind::GetPageFile),
              kErrNotFound);

    // 30: no right on the document; level too low to create one.
    CClient bob = Client("bob");
    Open(bob, "Doc", ident, false, 0, &err);
    EXPECT_EQ(err, kErrNoRight);
    AdminRequest add;
    add.command = AdminCommand::DocAdd;
    add.docName = "Bobs";
    EXPECT_EQ(ErrnoOf(bob.Send(add), Kind::Admin), kErrNoRight);

    // 40: a save from a session without the lock.
    CClient other = Client("alice");
    EXPECT_FALSE(Open(other, "Doc", ident, true).write);
    auto save2 = Save(h, {Page(pageId, false, "P changed", "")});
    EXPECT_EQ(ErrnoOf(other.Send(save2), Kind::SaveDoc), kErrLocked);

    // 50: the document did not change since the client's copy.
    Open(other, "Doc", ident, false, h.docTime, &err);
    EXPECT_EQ(err, kErrUnchanged);

    // 60: a readable envelope around a malformed text, a text whose ZTIDENT
    // differs, missing headers, and junk.
    {
        std::string text = alice.RequestText(GetPageRequest{"Doc", h.docTime, ident, pageId, 0});
        auto swap = text.find("<DOC_TIME>");
        auto swapEnd = text.find('\n', swap);
        std::string line = text.substr(swap, swapEnd - swap + 1);
        text.erase(swap, line.size());
        text.insert(text.find("</Q_GETPAGE>"), line);
        HttpAnswer a = alice.Post(BuildEnvelope(text, alice.ident, "alice", "alice-pw"));
        OpenedAnswer oa;
        ASSERT_TRUE(OpenAnswer(a.body, a.headers, "alice", "alice-pw", oa));
        EXPECT_EQ(ErrnoOf(oa, Kind::GetPage), kErrMalformed);
        a = alice.Post(BuildEnvelope(alice.RequestText(GetContentRequest{}), "ZT: another", "alice", "alice-pw"));
        ASSERT_TRUE(OpenAnswer(a.body, a.headers, "alice", "alice-pw", oa));
        EXPECT_EQ(ErrnoOf(oa, Kind::GetContent), kErrMalformed);
    }
    for (bool headers : {false, true}) {
        HttpAnswer a = alice.Post(headers ? "<junk" : BuildEnvelope("x", alice.ident, "alice", "alice-pw"), headers);
        OpenedAnswer oa;
        EXPECT_FALSE(OpenAnswer(a.body, a.headers, "alice", "alice-pw", oa));
        EXPECT_TRUE(oa.serverError);
        EXPECT_EQ(oa.errnum, kErrMalformed);
    }

    // 70: a document name that is taken.
    add.docName = "Doc";
    EXPECT_EQ(ErrnoOf(alice.Send(add), Kind::Admin), kErrNameTaken);

    // None of this changed the document.
    GetDocAnswer after = Open(other, "Doc", ident, false);
    EXPECT_EQ(after.header.docTime, h.docTime);
    ASSERT_EQ(after.nodes.size(), 1u);
    EXPECT_EQ(after.nodes[0].title, "P");
}

TEST_P(ServerTest, LeaseExpiresWithTheInjectedClock) {
    Start();
    CClient alice = Client("alice");
    std::string ident = AddDoc(alice, "Leased");
    CClient second = Client("alice");
    GetDocAnswer held = Open(alice, "Leased", ident, true);
    ASSERT_TRUE(held.write);
    EXPECT_FALSE(Open(second, "Leased", ident, true).write);
    EXPECT_EQ(ErrnoOf(second.Send(AliveRequest{true, "Leased", ident, held.header.docTime}), Kind::Alive),
              kErrLocked);
    // A minute before the lease ends (real seconds pass too on a busy machine).
    server_->SetClockOffset(240);
    EXPECT_FALSE(Open(second, "Leased", ident, true).write);
    server_->SetClockOffset(301);
    GetDocAnswer taken = Open(second, "Leased", ident, true);
    EXPECT_TRUE(taken.write);
    // The first session lost its lock: its save and keep-alive are refused.
    auto save = Save(held.header, {Page("T", true, "late", "{\\rtf1 late}")});
    EXPECT_EQ(ErrnoOf(alice.Send(save), Kind::SaveDoc), kErrLocked);
    EXPECT_EQ(ErrnoOf(alice.Send(AliveRequest{true, "Leased", ident, held.header.docTime}), Kind::Alive),
              kErrLocked);
    // The new holder saves.
    auto save2 = Save(taken.header, {Page("T", true, "on time", "{\\rtf1 ok}")});
    EXPECT_EQ(ErrnoOf(second.Send(save2), Kind::SaveDoc), 0);
    // Renewed leases keep it: 200 s later the keep-alive is still accepted.
    server_->SetClockOffset(501);
    GetDocAnswer now = Open(second, "Leased", ident, false);
    EXPECT_EQ(ErrnoOf(second.Send(AliveRequest{true, "Leased", ident, now.header.docTime}), Kind::Alive), 0);
}

// A save or upload whose answer was lost is repeated with the document time
// the client last saw: the lock holder's own changes since it took the lock
// do not make its copy stale, and the repeated temporary idents find the
// page and file made the first time. A copy older than the holder's lock
// (errno 45) and a session without the lock (errno 40) are told apart.
TEST_P(ServerTest, RepeatedSavesOfTheLockHolder) {
    Start();
    CClient alice = Client("alice");
    std::string ident = AddDoc(alice, "Again");
    GetDocAnswer held = Open(alice, "Again", ident, true);
    ASSERT_TRUE(held.write);
    const std::string temp(32, 'A');
    auto save = Save(held.header, {Page(temp, true, "Neu", "{\\rtf1 eins}")});
    auto first = alice.Send(save);
    SaveDocAnswer a1;
    ASSERT_TRUE(ReadSaveDocAnswer(first.document, save, a1).ok());
    ASSERT_EQ(a1.identn.size(), 1u);
    // The same request again, as if the answer had never arrived.
    auto second = alice.Send(save);
    SaveDocAnswer a2;
    ASSERT_TRUE(ReadSaveDocAnswer(second.document, save, a2).ok()) << ErrnoOf(second, Kind::SaveDoc);
    ASSERT_EQ(a2.identn.size(), 1u);
    EXPECT_EQ(a2.identn[0].val, a1.identn[0].val);
    GetDocAnswer now = Open(alice, "Again", ident, false);
    ASSERT_EQ(now.nodes.size(), 1u);
    // An upload repeated the same way updates its file.
    const std::string fileTemp(32, 'B');
    auto up = Upload(a2.header, a1.identn[0].val, fileTemp, true, "f.txt", "eins");
    auto u1 = alice.Send(up);
    SetPageFileAnswer f1;
    ASSERT_TRUE(ReadSetPageFileAnswer(u1.document, up, f1).ok());
    auto u2 = alice.Send(Upload(a2.header, a1.identn[0].val, fileTemp, true, "f.txt", "zwei"));
    SetPageFileAnswer f2;
    ASSERT_TRUE(ReadSetPageFileAnswer(u2.document, up, f2).ok()) << ErrnoOf(u2, Kind::SetPageFile);
    ASSERT_EQ(f2.identn.size(), 1u);
    EXPECT_EQ(f2.identn[0].val, f1.identn[0].val);
    GetPageAnswer page;
    GetPageRequest gp{"Again", f2.header.docTime, ident, a1.identn[0].val, 0};
    auto po = alice.Send(gp);
    ASSERT_TRUE(ReadGetPageAnswer(po.document, gp, page).ok());
    ASSERT_EQ(page.files.size(), 1u);

    // Another session takes the lock after the lease and saves; the first
    // takes it back by opening again but saves from its old copy: errno 45.
    server_->SetClockOffset(301);
    CClient other = Client("alice");
    GetDocAnswer taken = Open(other, "Again", ident, true);
    ASSERT_TRUE(taken.write);
    EXPECT_EQ(ErrnoOf(alice.Send(save), Kind::SaveDoc), kErrLocked);
    auto otherSave = Save(taken.header, {Page(a1.identn[0].val, false, "Von anderen", "{\\rtf1 anders}")});
    ASSERT_EQ(ErrnoOf(other.Send(otherSave), Kind::SaveDoc), 0);
    ASSERT_EQ(ErrnoOf(other.Send(AliveRequest{false, "Again", ident, 0}), Kind::Alive), 0);
    ASSERT_TRUE(Open(alice, "Again", ident, true).write);
    EXPECT_EQ(ErrnoOf(alice.Send(save), Kind::SaveDoc), kErrStale);
    GetDocAnswer last = Open(other, "Again", ident, false);
    ASSERT_EQ(last.nodes.size(), 1u);
    EXPECT_EQ(last.nodes[0].title, "Von anderen");
}

TEST_P(ServerTest, RightsEdits) {
    Start();
    CClient alice = Client("alice"), bob = Client("bob"), carol = Client("carol"), root = Client("root");
    std::string ident = AddDoc(alice, "Shared");
    AdminRequest pre;
    pre.command = AdminCommand::ChgDocPre;
    pre.docName = "Shared";
    pre.docIdent = ident;
    {
        AdminAnswer a;
        auto res = ReadAdminAnswer(alice.Send(pre).document, pre, a);
        ASSERT_TRUE(res.ok()) << res.text;
        EXPECT_EQ(a.docUsers, (std::vector<UserRight>{{"alice", kGrantGrant}}));
        EXPECT_EQ(a.allUsers, (std::vector<std::string>{"alice", "bob", "carol", "root"}));
    }
    EXPECT_EQ(ErrnoOf(carol.Send(pre), Kind::Admin), kErrNoRight);

    auto post = [&](const CClient& c, std::string from, std::string to, std::vector<UserRight> users) {
        AdminRequest r;
        r.command = AdminCommand::ChgDocPost;
        r.docIdent = ident;
        r.docName = std::move(from);
        r.docNameNew = std::move(to);
        r.users = std::move(users);
        auto o = c.Send(r);
        AdminAnswer a;
        auto res = ReadAdminAnswer(o.document, r, a);
        return res.ok() ? 0 : ErrnoOf(o, Kind::Admin);
    };
    EXPECT_EQ(post(alice, "Shared", "Renamed", {{"alice", kGrantGrant}, {"bob", kGrant}, {"carol", kRead}}), 0);
    {
        GetContentAnswer a;
        ASSERT_TRUE(ReadGetContentAnswer(bob.Send(GetContentRequest{}).document, a).ok());
        ASSERT_EQ(a.docs.size(), 1u);
        EXPECT_EQ(a.docs[0].name, "Renamed");
        EXPECT_EQ(a.docs[0].right, kGrant);
    }
    // GRANT moves rights up to WRITE only.
    EXPECT_EQ(post(bob, "Renamed", "Renamed", {{"alice", kGrantGrant}, {"bob", kGrant}, {"carol", kWrite}}), 0);
    EXPECT_EQ(post(bob, "Renamed", "Renamed", {{"alice", kGrantGrant}, {"bob", kGrant}, {"carol", kGrant}}),
              kErrNoRight);
    EXPECT_EQ(post(bob, "Renamed", "Renamed", {{"alice", kWrite}, {"bob", kGrant}}), kErrNoRight);
    EXPECT_EQ(post(bob, "Renamed", "Renamed", {{"alice", kGrantGrant}}), kErrNoRight);
    // Unknown users, taken names, and a document left without GRANTGRANT.
    EXPECT_EQ(post(alice, "Renamed", "Renamed", {{"alice", kGrantGrant}, {"zoe", kRead}}), kErrNotFound);
    AddDoc(alice, "Taken");
    EXPECT_EQ(post(alice, "Renamed", "Taken", {{"alice", kGrantGrant}}), kErrNameTaken);
    EXPECT_EQ(post(alice, "Renamed", "Renamed", {{"alice", kGrant}}), kErrNoRight);
    EXPECT_EQ(post(alice, "Wrong name", "X", {{"alice", kGrantGrant}}), kErrNotFound);
    // Level 4 manages every document.
    pre.docName = "Renamed";
    {
        AdminAnswer a;
        auto res = ReadAdminAnswer(root.Send(pre).document, pre, a);
        ASSERT_TRUE(res.ok()) << res.text;
        EXPECT_EQ(a.docUsers, (std::vector<UserRight>{{"alice", kGrantGrant}, {"bob", kGrant}, {"carol", kWrite}}));
    }
    // carol may now write.
    EXPECT_TRUE(Open(carol, "Renamed", ident, true).write);
}

TEST_P(ServerTest, PasswordChange) {
    Start();
    CClient alice = Client("alice");
    AdminRequest r;
    r.command = AdminCommand::ChgPwd;
    r.pskNew = "not hex";
    r.hauthNew = std::string(std::string_view(Hauth("alice", "new-pw")));
    auto o = alice.Send(r);
    EXPECT_TRUE(o.serverError) << "a refused change is answered unsealed";
    EXPECT_EQ(o.errnum, kErrMalformed);

    r.pskNew = std::string(std::string_view(ProtocolPsk("", "alice", "new-pw")));
    std::string newPw = "new-pw";
    // An answer to a password change is sealed under the new password.
    std::string envelope;
    o = alice.Send(r, &envelope, &newPw);
    AdminAnswer a;
    ASSERT_TRUE(Sealed(o)) << o.error;
    EXPECT_TRUE(ReadAdminAnswer(o.document, r, a).ok());

    o = alice.Send(GetContentRequest{});
    EXPECT_TRUE(o.serverError);
    EXPECT_EQ(o.errnum, kErrAuth);
    CClient renewed(server_->Port(), "alice", "new-pw");
    o = renewed.Send(GetContentRequest{});
    ASSERT_TRUE(Sealed(o)) << o.error;
    GetContentAnswer ga;
    EXPECT_TRUE(ReadGetContentAnswer(o.document, ga).ok());
}

TEST_P(ServerTest, ConcurrentWritersGetOneLock) {
    Start();
    CClient alice = Client("alice");
    std::string ident = AddDoc(alice, "Busy");
    constexpr int kN = 8;
    std::vector<CClient> sessions;
    for (int i = 0; i < kN; ++i) sessions.push_back(Client("alice"));
    std::vector<GetDocAnswer> opened(kN);
    {
        std::vector<std::thread> ts;
        for (int i = 0; i < kN; ++i) ts.emplace_back([&, i] { opened[i] = Open(sessions[i], "Busy", ident, true); });
        for (auto& t : ts) t.join();
    }
    int writers = 0;
    for (auto& o : opened) writers += o.write;
    EXPECT_EQ(writers, 1);
    std::atomic<int> ok{0}, locked{0};
    {
        std::vector<std::thread> ts;
        for (int i = 0; i < kN; ++i)
            ts.emplace_back([&, i] {
                auto save = Save(opened[i].header, {Page("T", true, "from " + std::to_string(i), "{\\rtf1 x}")});
                int e = ErrnoOf(sessions[i].Send(save), Kind::SaveDoc);
                if (e == 0) ++ok;
                else if (e == kErrLocked) ++locked;
            });
        for (auto& t : ts) t.join();
    }
    EXPECT_EQ(ok.load(), 1);
    EXPECT_EQ(locked.load(), kN - 1);
    GetDocAnswer after = Open(alice, "Busy", ident, false);
    ASSERT_EQ(after.nodes.size(), 1u);
}

TEST_P(ServerTest, BadInputLeavesTheDocumentAlone) {
    Start({"--max-request", "65536"});
    CClient alice = Client("alice");
    std::string ident = AddDoc(alice, "Safe");
    GetDocAnswer doc = Open(alice, "Safe", ident, true);
    auto save = Save(doc.header, {Page("T", true, "P", "{\\rtf1 original}")});
    SaveDocAnswer saved;
    ASSERT_TRUE(ReadSaveDocAnswer(alice.Send(save).document, save, saved).ok());
    DocHeader h = saved.header;
    std::string pageId = saved.identn.at(0).val;

    SaveNode changed = Page(pageId, false, "P", "{\\rtf1 changed}");
    struct Case {
        const char* what;
        std::function<void(SaveNode&)> spoil;
    } cases[] = {
        {"stated length too large", [](SaveNode& n) { n.length += 1; }},
        {"stated length too small", [](SaveNode& n) { n.length -= 1; }},
        {"not a compressed buffer", [](SaveNode& n) { n.content = std::string(n.content.size(), 'x'); }},
        {"damaged deflate stream", [](SaveNode& n) { n.content[n.content.size() - 2] ^= 0x55; }},
        {"truncated buffer", [](SaveNode& n) { n.content.resize(n.content.size() - 3); }},
    };
    for (const auto& c : cases) {
        SaveNode n = changed;
        c.spoil(n);
        auto bad = Save(h, {n});
        EXPECT_EQ(ErrnoOf(alice.Send(bad), Kind::SaveDoc), kErrMalformed) << c.what;
    }
    // A tampered envelope, a truncated one and an oversized one.
    std::string env = BuildEnvelope(alice.RequestText(Save(h, {changed})), alice.ident, "alice", "alice-pw");
    std::string tampered = env;
    tampered[tampered.find("<CIPHER>") + 20] ^= 1;
    for (const std::string& body : {tampered, env.substr(0, env.size() / 2)}) {
        HttpAnswer a = alice.Post(body);
        OpenedAnswer oa;
        EXPECT_FALSE(OpenAnswer(a.body, a.headers, "alice", "alice-pw", oa));
        EXPECT_TRUE(oa.serverError);
    }
    auto big = Save(h, {Page(pageId, false, "P", Noise(100000, 3))});
    EXPECT_EQ(alice.Post(BuildEnvelope(alice.RequestText(big), alice.ident, "alice", "alice-pw")).status, 413);

    GetPageRequest gp{"Safe", h.docTime, ident, pageId, 0};
    GetPageAnswer page;
    ASSERT_TRUE(ReadGetPageAnswer(alice.Send(gp).document, gp, page).ok());
    EXPECT_EQ(page.page.content, Compressed("{\\rtf1 original}"));
    EXPECT_EQ(Open(alice, "Safe", ident, false).header.docTime, h.docTime);
}

TEST_P(ServerTest, Https) {
    std::string cert = dir_ / "cert.pem", key = dir_ / "key.pem";
    std::string out;
    ASSERT_EQ(RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                          "-days", "2", "-subj", "/CN=127.0.0.1"},
                         {}, &out),
              0)
        << out;
    Start({"--cert", cert, "--key", key});
    CClient alice(server_->Port(), "alice", "alice-pw", true);
    AddDoc(alice, "Secure");
    auto o = alice.Send(GetContentRequest{});
    GetContentAnswer a;
    ASSERT_TRUE(ReadGetContentAnswer(o.document, a).ok()) << o.error;
    ASSERT_EQ(a.docs.size(), 1u);
    EXPECT_EQ(a.docs[0].name, "Secure");
    CClient plain(server_->Port(), "alice", "alice-pw", false);
    EXPECT_EQ(plain.Post(BuildEnvelope(plain.RequestText(GetContentRequest{}), plain.ident, "alice", "alice-pw")).status,
              0);
}

TEST_P(ServerTest, TwoServersShareOneDatabase) {
    Start();
    CServerProcess second(db_, dir_.path());
    ASSERT_TRUE(second.Start({}));
    CClient viaFirst = Client("alice");
    CClient viaSecond(second.Port(), "alice", "alice-pw");
    std::string ident = AddDoc(viaFirst, "Both");
    GetDocAnswer held = Open(viaFirst, "Both", ident, true);
    ASSERT_TRUE(held.write);
    EXPECT_FALSE(Open(viaSecond, "Both", ident, true).write);
    auto save = Save(held.header, {Page("T", true, "P", "{\\rtf1 x}")});
    EXPECT_EQ(ErrnoOf(viaSecond.Send(save), Kind::SaveDoc), kErrLocked);
    EXPECT_EQ(ErrnoOf(viaFirst.Send(save), Kind::SaveDoc), 0);
    EXPECT_EQ(Open(viaSecond, "Both", ident, false).nodes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

TEST(ServerCommands, UsersAreManagedFromTheCommandLine) {
    TempDir dir;
    std::string db = dir / "u.db", out;
    EXPECT_EQ(RunProgram({ZT_SERVER_BIN, "--db", db, "adduser", "dora", "--level", "3"}, {"ZT_PASSWORD=pw"}), 0);
    EXPECT_NE(RunProgram({ZT_SERVER_BIN, "--db", db, "adduser", "dora"}, {"ZT_PASSWORD=pw"}), 0);
    EXPECT_EQ(RunProgram({ZT_SERVER_BIN, "--db", db, "list"}, {}, &out), 0);
    EXPECT_EQ(out, "dora\t3\n");
    EXPECT_EQ(RunProgram({ZT_SERVER_BIN, "--db", db, "passwd", "dora"}, {"ZT_PASSWORD=pw2"}), 0);
    EXPECT_NE(RunProgram({ZT_SERVER_BIN, "--db", db, "passwd", "nobody"}, {"ZT_PASSWORD=pw2"}), 0);
    EXPECT_EQ(RunProgram({ZT_SERVER_BIN, "--db", db, "deluser", "dora"}), 0);
    EXPECT_EQ(RunProgram({ZT_SERVER_BIN, "--db", db, "list"}, {}, &out), 0);
    EXPECT_EQ(out, "");
    // The database keeps no password.
    std::string bytes = ReadFile(db);
    EXPECT_EQ(bytes.find("pw2"), std::string::npos);
}

} // namespace
