#include "handler.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "security/protocol.h"
#include "security/securebytes.h"
#include "server/answers.h"
#include "server/envelope.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <set>

namespace zt::docsrv {

using namespace zt::srv;

namespace {

std::string Txt(Msg id, const std::vector<std::string>& args = {}) {
    return Utf8ToCp1252(FormatMessage(id, args));
}

// A refusal raised inside a transaction; the transaction is rolled back.
struct Refusal {
    int errnum;
    std::string text;
};

[[noreturn]] void Refuse(int errnum, Msg id, const std::vector<std::string>& args = {}) {
    throw Refusal{errnum, Txt(id, args)};
}

int64_t IdentOf(const std::string& s) {
    auto v = ParseInt(s);
    return v && *v > 0 ? *v : -1;
}

bool IsLowerHex64(const std::string& s) {
    if (s.size() != 64) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

DocHeader HeaderOf(const DocRow& d) {
    DocHeader h;
    h.docName = d.name;
    h.docIdent = std::to_string(d.id);
    h.docTime = d.docTime;
    h.docTitle = d.title;
    h.muser = d.muser;
    h.cuser = d.cuser;
    h.ctime = d.ctime;
    h.mtime = d.mtime;
    return h;
}

} // namespace

CServerClock::CServerClock() {
    if (const char* f = std::getenv("ZT_SERVER_CLOCK_FILE")) file_ = f;
}

int64_t CServerClock::Offset() const {
    if (file_.empty()) return 0;
    std::ifstream in(file_);
    long long v = 0;
    if (in >> v) return v;
    return 0;
}

// Everything one request needs while it is handled.
struct CDocServer::Ctx {
    EnvelopeParts parts;
    Request request;
    UserRow user;
    SecureBytes psk;
    int64_t realNow = 0;
    // Set by the password change: the answer is sealed under the new PSK.
    std::optional<SecureBytes> newPsk;
};

CDocServer::CDocServer(CSqlDb& db, ServerConfig config)
    : db_(db), store_(db), config_(config), memoryNonces_(std::string(db.EngineName()) == "sqlite") {}

bool CDocServer::FreshNonce(const std::string& mac, int64_t realNow) {
    int64_t until = realNow + 2 * config_.freshnessSeconds + 1;
    if (!memoryNonces_)
        return InTransaction(db_, true, [&] { return store_.RememberNonce(mac, realNow, until); });
    std::lock_guard<std::mutex> g(nonceMutex_);
    while (!nonceOrder_.empty() && nonceOrder_.front().first < realNow) {
        nonces_.erase(nonceOrder_.front().second);
        nonceOrder_.pop_front();
    }
    if (!nonces_.emplace(mac, until).second) return false;
    nonceOrder_.emplace_back(until, mac);
    return true;
}

SecureBytes CDocServer::PskFor(const std::string& shortPsk, const std::string& cadd) {
    std::string key = shortPsk + '\n' + cadd;
    {
        std::lock_guard<std::mutex> g(pskMutex_);
        auto it = pskCache_.find(key);
        if (it != pskCache_.end()) {
            WipeString(key);
            return it->second;
        }
    }
    SecureBytes psk = ProtocolPskFromShort(cadd, shortPsk);
    std::lock_guard<std::mutex> g(pskMutex_);
    if (pskCache_.size() >= 4096) pskCache_.clear();
    pskCache_.emplace(std::move(key), psk);
    return psk;
}

Outcome CDocServer::Handle(std::string_view envelope) {
    Outcome out;
    Ctx ctx;
    ctx.realNow = int64_t(std::time(nullptr));
    std::string err;
    auto unsealed = [&](int errnum, std::string text) {
        out.errnum = errnum;
        out.body = BuildErrorEnvelope(ctx.parts.ztident, errnum, text);
        return out;
    };
    if (!ReadRequestEnvelope(envelope, ctx.parts, err)) return unsealed(kErrMalformed, Txt(Msg::SrvMalformed, {err}));
    out.user = ctx.parts.user;
    std::optional<UserRow> user;
    try {
        user = InTransaction(db_, false, [&] { return store_.FindUser(ctx.parts.user); });
    } catch (const SqlError& e) {
        out.internal = true;
        out.body = e.what();
        return out;
    }
    if (!user) return unsealed(kErrAuth, Txt(Msg::SrvAuthFailed));
    ctx.user = *user;
    ctx.psk = PskFor(ctx.user.psk, ctx.parts.cadd);
    if (!VerifyEnvelope(ctx.parts, ctx.parts.user, ctx.psk)) return unsealed(kErrAuth, Txt(Msg::SrvAuthFailed));
    auto plain = OpenEnvelope(ctx.parts, ctx.psk);
    if (!plain) return unsealed(kErrAuth, Txt(Msg::SrvAuthFailed));
    HandleOpened(ctx, *plain, out);
    return out;
}

// The rules of one request kind, applied inside one transaction.
class CRules {
  public:
    CRules(CDocStore& store, const ServerConfig& config, CServerClock& clock, CDocServer::Ctx& ctx)
        : store_(store), db_(store.Db()), config_(config), clock_(clock), ctx_(ctx) {}

    using Result = std::variant<AnswerBody, ErrorAnswer>;

    Result Run() {
        const RequestBody& body = ctx_.request.body;
        switch (ctx_.request.kind()) {
        case Kind::GetContent: return InTransaction(db_, false, [&] { return GetContent(); });
        case Kind::GetDoc: {
            const auto& r = std::get<GetDocRequest>(body);
            return InTransaction(db_, r.openForWrite, [&] { return GetDoc(r); });
        }
        case Kind::GetPage:
            return InTransaction(db_, false, [&] { return GetPage(std::get<GetPageRequest>(body)); });
        case Kind::GetPageFile:
            return InTransaction(db_, false, [&] { return GetPageFile(std::get<GetPageFileRequest>(body)); });
        case Kind::SaveDoc:
            return InTransaction(db_, true, [&] { return SaveDoc(std::get<SaveDocRequest>(body)); });
        case Kind::SetPageFile:
            return InTransaction(db_, true, [&] { return SetPageFile(std::get<SetPageFileRequest>(body)); });
        case Kind::Alive: return InTransaction(db_, true, [&] { return Alive(std::get<AliveRequest>(body)); });
        case Kind::Admin: return InTransaction(db_, true, [&] { return Admin(std::get<AdminRequest>(body)); });
        }
        return ErrorAnswer{kErrMalformed, Txt(Msg::SrvMalformed, {"kind"})};
    }

    std::string docName; // for the log line

  private:
    int64_t Now() { return db_.DbNow() + clock_.Offset(); }

    DocRow LoadDoc(const std::string& ident, const std::string& name, bool forUpdate) {
        docName = name;
        std::optional<DocRow> doc;
        if (!ident.empty()) {
            int64_t id = IdentOf(ident);
            if (id > 0) doc = store_.FindDoc(id, forUpdate);
            if (doc && doc->name != name) doc.reset();
        } else {
            doc = store_.FindDocByName(name, forUpdate);
        }
        if (!doc) Refuse(kErrNotFound, Msg::SrvNoSuchDocument);
        return *doc;
    }

    int RightOn(const DocRow& doc) { return store_.RightOf(doc.id, ctx_.user.id); }
    // The right for administration: level 4 may manage every document.
    int AdminRightOn(const DocRow& doc) { return ctx_.user.level >= 4 ? kGrantGrant : RightOn(doc); }

    bool Held(const DocRow& doc, int64_t now) const {
        return doc.lockUser == ctx_.user.name && doc.lockIdent == ctx_.request.head.ztident && doc.lockUntil > now;
    }
    static bool Free(const DocRow& doc, int64_t now) { return doc.lockUser.empty() || doc.lockUntil <= now; }

    // The lock row names this session (its lease may have run out).
    bool Named(const DocRow& doc) const {
        return doc.lockUser == ctx_.user.name && doc.lockIdent == ctx_.request.head.ztident;
    }

    void TakeLock(DocRow& doc, int64_t now) {
        // A new holder: every change from now on is its own.
        if (!Named(doc)) store_.StartLockSession(doc.id, doc.docTime);
        doc.lockUser = ctx_.user.name;
        doc.lockIdent = ctx_.request.head.ztident;
        doc.lockUntil = now + config_.leaseSeconds;
    }

    // Whether the client's copy of DOC_TIME `docTime` may be written over:
    // it is the document's, or it is older only by changes this session made
    // itself under its lock (a save whose answer never arrived). Nobody else
    // can have written since, as the lock row still names this session.
    bool CopyCurrent(const DocRow& doc, int64_t docTime) {
        if (docTime == doc.docTime) return true;
        if (!Named(doc) || docTime > doc.docTime) return false;
        int64_t base = store_.LockBase(doc.id);
        return base >= 0 && docTime >= base;
    }

    // A change needs WRITE, this session's lock and a copy that is current.
    // A lease that ran out unclaimed is taken again, as the keep-alive does.
    void NeedWriter(DocRow& doc, int64_t docTime, int64_t now) {
        if (RightOn(doc) < kWrite) Refuse(kErrNoRight, Msg::SrvNoRight);
        if (!Held(doc, now) && !Free(doc, now)) Refuse(kErrLocked, Msg::SrvLocked);
        if (!CopyCurrent(doc, docTime)) Refuse(Held(doc, now) ? kErrStale : kErrLocked, Msg::SrvStaleDocTime);
        if (!Held(doc, now)) TakeLock(doc, now);
    }

    void Touch(DocRow& doc, const std::string& muser, int64_t mtime, int64_t now) {
        doc.muser = muser.empty() ? ctx_.user.name : muser;
        doc.mtime = std::max<int64_t>(1, mtime);
        doc.docTime = std::max(now, doc.docTime + 1);
        TakeLock(doc, now);
        store_.UpdateDoc(doc);
    }

    Result GetContent() {
        GetContentAnswer a;
        a.user = ctx_.user.name;
        a.level = ctx_.user.level;
        for (auto& [doc, right] : store_.DocsOf(ctx_.user.id))
            a.docs.push_back({doc.name, std::to_string(doc.id), right});
        return AnswerBody(std::move(a));
    }

    void BuildTree(std::vector<TreeNode>& out, int64_t parent, const std::map<int64_t, std::vector<const PageRow*>>& kids,
                   const std::map<int64_t, int64_t>& counts, std::set<int64_t>& done, int depth) {
        auto it = kids.find(parent);
        if (it == kids.end() || depth > 200) return;
        for (const PageRow* p : it->second) {
            if (!done.insert(p->id).second) continue;
            TreeNode n;
            n.ident = std::to_string(p->id);
            n.title = p->title;
            auto c = counts.find(p->id);
            n.nfiles = c == counts.end() ? 0 : c->second;
            BuildTree(n.children, p->id, kids, counts, done, depth + 1);
            out.push_back(std::move(n));
        }
    }

    Result GetDoc(const GetDocRequest& r) {
        DocRow doc = LoadDoc(r.docIdent, r.docName, r.openForWrite);
        int right = RightOn(doc);
        if (right < kRead) Refuse(kErrNoRight, Msg::SrvNoRight);
        int64_t now = Now();
        if (r.docTime != 0 && r.docTime == doc.docTime) {
            if (r.openForWrite && Held(doc, now)) {
                TakeLock(doc, now);
                store_.UpdateDoc(doc);
            }
            return ErrorAnswer{kErrUnchanged, Txt(Msg::SrvUnchanged)};
        }
        GetDocAnswer a;
        if (r.openForWrite && right >= kWrite && (Free(doc, now) || Held(doc, now))) {
            TakeLock(doc, now);
            store_.UpdateDoc(doc);
            a.write = true;
        }
        a.header = HeaderOf(doc);
        auto pages = store_.Pages(doc.id);
        std::map<int64_t, std::vector<const PageRow*>> kids;
        for (const auto& p : pages) kids[p.parent].push_back(&p);
        std::map<int64_t, int64_t> counts;
        for (auto [page, n] : store_.FileCounts(doc.id)) counts[page] = n;
        std::set<int64_t> done;
        BuildTree(a.nodes, 0, kids, counts, done, 0);
        return AnswerBody(std::move(a));
    }

    static FileInfo InfoOf(const FileRow& f) {
        FileInfo i;
        i.name = f.name;
        i.ident = std::to_string(f.id);
        i.length = f.length;
        i.lengthCompr = f.lengthCompr;
        i.cuser = f.cuser;
        i.muser = f.muser;
        i.mtime = f.mtime;
        i.ctime = f.ctime;
        i.stime = f.stime;
        i.hasContent = f.hasContent;
        i.content = f.content;
        return i;
    }

    Result GetPage(const GetPageRequest& r) {
        DocRow doc = LoadDoc(r.docIdent, r.docName, false);
        if (RightOn(doc) < kRead) Refuse(kErrNoRight, Msg::SrvNoRight);
        int64_t id = IdentOf(r.nodeIdent);
        auto page = id > 0 ? store_.FindPage(doc.id, id, true) : std::nullopt;
        if (!page) Refuse(kErrNotFound, Msg::SrvNoSuchPage);
        GetPageAnswer a;
        a.docName = doc.name;
        a.docIdent = std::to_string(doc.id);
        a.docTime = doc.docTime;
        a.nodeIdent = r.nodeIdent;
        a.page.title = page->title;
        a.page.time = page->time;
        a.page.ctime = page->ctime;
        a.page.cuser = page->cuser;
        a.page.muser = page->muser;
        a.page.hasContent = !(r.pageTime != 0 && r.pageTime >= page->time);
        if (a.page.hasContent) a.page.content = std::move(page->content);
        for (const auto& f : store_.Files(page->id, config_.inlineFileLimit)) a.files.push_back(InfoOf(f));
        return AnswerBody(std::move(a));
    }

    Result GetPageFile(const GetPageFileRequest& r) {
        DocRow doc = LoadDoc(r.docIdent, r.docName, false);
        if (RightOn(doc) < kRead) Refuse(kErrNoRight, Msg::SrvNoRight);
        int64_t id = IdentOf(r.fileIdent);
        auto file = id > 0 ? store_.FindFile(doc.id, id, true) : std::nullopt;
        if (!file) Refuse(kErrNotFound, Msg::SrvNoSuchFile);
        GetPageFileAnswer a;
        a.docName = doc.name;
        a.docIdent = std::to_string(doc.id);
        a.docTime = doc.docTime;
        a.file = InfoOf(*file);
        return AnswerBody(std::move(a));
    }

    struct SaveState {
        int64_t docId = 0, now = 0;
        std::map<int64_t, PageRow> existing;
        std::set<int64_t> seen;
        std::set<std::string> temps;
        std::vector<IdentPair> pairs;
    };

    void SaveNodes(const std::vector<SaveNode>& nodes, int64_t parent, SaveState& st) {
        int64_t pos = 0;
        for (const SaveNode& n : nodes) {
            int64_t id = 0;
            // A temporary ident this session sent before names the page made
            // for it then (a save repeated after its answer was lost).
            std::optional<int64_t> made;
            if (n.identIsTemp) {
                if (!st.temps.insert(n.ident).second) Refuse(kErrMalformed, Msg::SrvMalformed, {"NODE_IDENTN twice"});
                made = store_.FindTemp(st.docId, CDocStore::TempKind::Page, n.ident);
                if (made && (!st.existing.count(*made) || st.seen.count(*made))) made.reset();
            }
            if (made) st.pairs.push_back({n.ident, std::to_string(*made)});
            if (n.identIsTemp && !made) {
                PageRow p;
                p.parent = parent;
                p.pos = pos;
                p.title = n.title;
                p.time = n.hasContent ? std::max<int64_t>(1, n.time) : st.now;
                p.ctime = n.hasContent ? std::max<int64_t>(1, n.ctime) : st.now;
                p.cuser = n.hasContent ? n.cuser : ctx_.user.name;
                p.muser = n.hasContent ? n.muser : ctx_.user.name;
                p.length = n.length;
                p.content = n.content;
                id = store_.AddPage(st.docId, p, n.hasContent);
                store_.RememberTemp(st.docId, CDocStore::TempKind::Page, n.ident, id);
                st.pairs.push_back({n.ident, std::to_string(id)});
                if (n.filesLoaded && !n.files.empty()) Refuse(kErrNotFound, Msg::SrvNoSuchFile);
            } else {
                id = made ? *made : IdentOf(n.ident);
                if (!st.existing.count(id)) Refuse(kErrNotFound, Msg::SrvNoSuchPage);
                if (st.seen.count(id)) Refuse(kErrMalformed, Msg::SrvMalformed, {"NODE_IDENT twice"});
                store_.MovePage(id, parent, pos, n.title);
                if (n.hasContent) {
                    PageRow p;
                    p.time = std::max<int64_t>(1, n.time);
                    p.ctime = std::max<int64_t>(1, n.ctime);
                    p.cuser = n.cuser;
                    p.muser = n.muser;
                    p.length = n.length;
                    p.content = n.content;
                    store_.SetPageContent(id, p);
                }
                if (n.filesLoaded) {
                    auto files = store_.Files(id, -1);
                    std::map<int64_t, const FileRow*> byId;
                    for (const auto& f : files) byId[f.id] = &f;
                    std::set<int64_t> kept;
                    for (const auto& ref : n.files) {
                        int64_t fid = IdentOf(ref.ident);
                        auto it = byId.find(fid);
                        if (it == byId.end()) Refuse(kErrNotFound, Msg::SrvNoSuchFile);
                        if (!kept.insert(fid).second) Refuse(kErrMalformed, Msg::SrvMalformed, {"FILE_IDENT twice"});
                        if (!ref.name.empty() && ref.name != it->second->name) store_.RenameFile(fid, ref.name);
                    }
                    for (const auto& f : files)
                        if (!kept.count(f.id)) store_.DeleteFile(f.id);
                }
            }
            st.seen.insert(id);
            SaveNodes(n.children, id, st);
            ++pos;
        }
    }

    Result SaveDoc(const SaveDocRequest& r) {
        DocRow doc = LoadDoc(r.docIdent, r.docName, true);
        int64_t now = Now();
        NeedWriter(doc, r.docTime, now);
        SaveState st;
        st.docId = doc.id;
        st.now = now;
        for (auto& p : store_.Pages(doc.id)) st.existing.emplace(p.id, std::move(p));
        SaveNodes(r.nodes, 0, st);
        for (const auto& [id, p] : st.existing)
            if (!st.seen.count(id)) store_.DeletePage(id);
        doc.title = r.docTitle;
        Touch(doc, r.docMuser, r.docMtime, now);
        SaveDocAnswer a;
        a.header = HeaderOf(doc);
        a.identn = std::move(st.pairs);
        return AnswerBody(std::move(a));
    }

    Result SetPageFile(const SetPageFileRequest& r) {
        DocRow doc = LoadDoc(r.docIdent, r.docName, true);
        int64_t now = Now();
        NeedWriter(doc, r.docTime, now);
        int64_t pageId = IdentOf(r.nodeIdent);
        auto page = pageId > 0 ? store_.FindPage(doc.id, pageId, false) : std::nullopt;
        if (!page) Refuse(kErrNotFound, Msg::SrvNoSuchPage);
        auto files = store_.Files(page->id, -1);
        const FileData& d = r.file;
        FileRow f;
        f.page = page->id;
        f.name = d.name;
        f.length = d.length;
        f.lengthCompr = int64_t(d.content.size());
        f.mtime = std::max<int64_t>(1, d.mtime);
        f.ctime = std::max<int64_t>(1, d.ctime);
        f.stime = now;
        f.cuser = d.cuser;
        f.muser = d.muser;
        f.content = d.content;
        SetPageFileAnswer a;
        // An upload repeated after its answer was lost finds its file again.
        std::optional<int64_t> made;
        if (d.identIsTemp) {
            made = store_.FindTemp(doc.id, CDocStore::TempKind::File, d.ident);
            if (made && std::none_of(files.begin(), files.end(), [&](const FileRow& o) { return o.id == *made; }))
                made.reset();
        }
        if (d.identIsTemp && !made) {
            for (const auto& o : files)
                if (o.name == d.name) Refuse(kErrNameTaken, Msg::SrvNameTaken, {Cp1252ToUtf8(d.name)});
            int64_t id = store_.AddFile(doc.id, f);
            store_.RememberTemp(doc.id, CDocStore::TempKind::File, d.ident, id);
            a.identn.push_back({d.ident, std::to_string(id)});
        } else {
            if (made) a.identn.push_back({d.ident, std::to_string(*made)});
            f.id = made ? *made : IdentOf(d.ident);
            bool found = false;
            for (const auto& o : files) {
                if (o.id == f.id) found = true;
                else if (o.name == d.name) Refuse(kErrNameTaken, Msg::SrvNameTaken, {Cp1252ToUtf8(d.name)});
            }
            if (!found) Refuse(kErrNotFound, Msg::SrvNoSuchFile);
            store_.UpdateFile(f);
        }
        Touch(doc, r.docMuser, r.docMtime, now);
        a.header = HeaderOf(doc);
        return AnswerBody(std::move(a));
    }

    Result Alive(const AliveRequest& r) {
        DocRow doc = LoadDoc(r.docIdent, r.docName, true);
        if (RightOn(doc) < kWrite) Refuse(kErrNoRight, Msg::SrvNoRight);
        int64_t now = Now();
        AliveAnswer a;
        a.docName = doc.name;
        a.docIdent = std::to_string(doc.id);
        if (r.hold) {
            if (!Held(doc, now)) {
                if (!Free(doc, now)) Refuse(kErrLocked, Msg::SrvLocked);
                if (!CopyCurrent(doc, r.docTime)) Refuse(kErrLocked, Msg::SrvStaleDocTime);
            }
            TakeLock(doc, now);
            store_.UpdateDoc(doc);
            a.write = true;
        } else if (Held(doc, now)) {
            doc.lockUser.clear();
            doc.lockIdent.clear();
            doc.lockUntil = 0;
            store_.UpdateDoc(doc);
        }
        return AnswerBody(std::move(a));
    }

    Result Admin(const AdminRequest& r) {
        AdminAnswer a;
        a.command = r.command;
        switch (r.command) {
        case AdminCommand::DocAdd: {
            docName = r.docName;
            if (ctx_.user.level < 2) Refuse(kErrNoRight, Msg::SrvLevelTooLow);
            if (r.docName.empty()) Refuse(kErrMalformed, Msg::SrvMalformed, {"DOC_NAME"});
            if (store_.FindDocByName(r.docName, true))
                Refuse(kErrNameTaken, Msg::SrvNameTaken, {Cp1252ToUtf8(r.docName)});
            int64_t now = Now();
            DocRow d;
            d.name = r.docName;
            d.title = r.docName;
            d.cuser = d.muser = ctx_.user.name;
            d.ctime = d.mtime = d.docTime = std::max<int64_t>(1, now);
            try {
                d.id = store_.AddDoc(d);
            } catch (const SqlError& e) {
                if (e.unique) Refuse(kErrNameTaken, Msg::SrvNameTaken, {Cp1252ToUtf8(r.docName)});
                throw;
            }
            store_.SetRights(d.id, {{ctx_.user.id, kGrantGrant}});
            a.docName = d.name;
            a.docIdent = std::to_string(d.id);
            break;
        }
        case AdminCommand::DocDel: {
            DocRow doc = LoadDoc(r.docIdent, r.docName, true);
            if (AdminRightOn(doc) < kGrantGrant) Refuse(kErrNoRight, Msg::SrvNoRight);
            int64_t now = Now();
            if (!Free(doc, now) && !Held(doc, now)) Refuse(kErrLocked, Msg::SrvLocked);
            store_.DeleteDoc(doc.id);
            a.docName = doc.name;
            a.docIdent = std::to_string(doc.id);
            break;
        }
        case AdminCommand::ChgDocPre: {
            DocRow doc = LoadDoc(r.docIdent, r.docName, false);
            if (AdminRightOn(doc) < kGrant) Refuse(kErrNoRight, Msg::SrvNoRight);
            a.docName = doc.name;
            a.docIdent = std::to_string(doc.id);
            for (auto& [name, rw] : store_.RightsOf(doc.id)) a.docUsers.push_back({name, rw});
            for (auto& u : store_.Users()) a.allUsers.push_back(u.name);
            break;
        }
        case AdminCommand::ChgDocPost: {
            DocRow doc = LoadDoc(r.docIdent, r.docName, true);
            int mine = AdminRightOn(doc);
            if (mine < kGrant) Refuse(kErrNoRight, Msg::SrvNoRight);
            if (r.docNameNew.empty()) Refuse(kErrMalformed, Msg::SrvMalformed, {"DOC_NAME_NEW"});
            if (r.docNameNew != doc.name && store_.FindDocByName(r.docNameNew, true))
                Refuse(kErrNameTaken, Msg::SrvNameTaken, {Cp1252ToUtf8(r.docNameNew)});
            std::map<std::string, int> wanted;
            std::vector<std::pair<int64_t, int>> rights;
            for (const auto& u : r.users) {
                auto row = store_.FindUser(u.name);
                if (!row) Refuse(kErrNotFound, Msg::SrvNoSuchUser, {Cp1252ToUtf8(u.name)});
                if (!wanted.emplace(u.name, u.right).second)
                    Refuse(kErrMalformed, Msg::SrvMalformed, {"user twice in USERDOC"});
                rights.emplace_back(row->id, u.right);
            }
            std::map<std::string, int> old;
            for (auto& [name, rw] : store_.RightsOf(doc.id)) old[name] = rw;
            if (mine < kGrantGrant) {
                std::set<std::string> names;
                for (auto& [n, rw] : old) names.insert(n);
                for (auto& [n, rw] : wanted) names.insert(n);
                for (const auto& n : names) {
                    int o = old.count(n) ? old[n] : 0, w = wanted.count(n) ? wanted[n] : 0;
                    if (o != w && (o > kWrite || w > kWrite)) Refuse(kErrNoRight, Msg::SrvNoRight);
                }
            }
            bool keeper = std::any_of(r.users.begin(), r.users.end(), [](const UserRight& u) {
                return u.right == kGrantGrant;
            });
            if (!keeper) Refuse(kErrNoRight, Msg::SrvNoRight);
            doc.name = r.docNameNew;
            store_.UpdateDoc(doc);
            store_.SetRights(doc.id, rights);
            a.docName = doc.name;
            a.docIdent = std::to_string(doc.id);
            docName = doc.name;
            break;
        }
        case AdminCommand::ChgPwd: {
            if (!IsLowerHex64(r.pskNew) || !IsLowerHex64(r.hauthNew))
                Refuse(kErrMalformed, Msg::SrvMalformed, {"PSK_NEW or HAUTH_NEW"});
            store_.SetUserSecrets(ctx_.user.id, r.pskNew, r.hauthNew);
            ctx_.newPsk = ProtocolPskFromShort(ctx_.parts.cadd, r.pskNew);
            break;
        }
        }
        return AnswerBody(std::move(a));
    }

    CDocStore& store_;
    CSqlDb& db_;
    const ServerConfig& config_;
    CServerClock& clock_;
    CDocServer::Ctx& ctx_;
};

void CDocServer::HandleOpened(Ctx& ctx, const std::string& plain, Outcome& out) {
    std::string err;
    bool readOk = ReadRequestText(plain, ctx.request, err);
    Kind kind = ctx.request.kind();
    out.kind = RequestElement(kind);
    AdminCommand command = AdminCommand::DocAdd;
    if (kind == Kind::Admin) command = std::get<AdminRequest>(ctx.request.body).command;
    bool passwordChange = kind == Kind::Admin && command == AdminCommand::ChgPwd;
    AnswerHead head{ctx.parts.ztident, ctx.realNow};
    auto seal = [&](const std::string& text, std::string_view psk) {
        out.body = BuildEnvelopeWithPsk(text, ctx.parts.ztident, ctx.parts.user, psk, ctx.parts.cadd, true);
    };
    auto refuse = [&](int errnum, std::string text) {
        out.errnum = errnum;
        if (passwordChange) out.body = BuildErrorEnvelope(ctx.parts.ztident, errnum, text);
        else seal(BuildErrorAnswerText(head, kind, {errnum, std::move(text)}, command), ctx.psk);
    };
    if (!readOk) return refuse(kErrMalformed, Txt(Msg::SrvMalformed, {err}));
    const RequestHead& h = ctx.request.head;
    if (h.ztident != ctx.parts.ztident) return refuse(kErrMalformed, Txt(Msg::SrvMalformed, {"ZTIDENT"}));
    if (h.user != ctx.parts.user || !ConstantTimeEqual(h.hauth, ctx.user.hauth))
        return refuse(kErrAuth, Txt(Msg::SrvAuthFailed));
    if (h.zttime < ctx.realNow - config_.freshnessSeconds || h.zttime > ctx.realNow + config_.freshnessSeconds)
        return refuse(kErrAuth, Txt(Msg::SrvAuthFailed));
    CRules rules(store_, config_, clock_, ctx);
    try {
        if (!FreshNonce(ctx.parts.mac, ctx.realNow)) return refuse(kErrAuth, Txt(Msg::SrvAuthFailed));
        auto result = rules.Run();
        out.doc = rules.docName;
        if (auto* e = std::get_if<ErrorAnswer>(&result)) return refuse(e->errnum, e->text);
        std::string text = BuildAnswerText(head, std::get<AnswerBody>(result));
        seal(text, ctx.newPsk ? std::string_view(*ctx.newPsk) : std::string_view(ctx.psk));
    } catch (const Refusal& r) {
        out.doc = rules.docName;
        refuse(r.errnum, r.text);
    } catch (const SqlError& e) {
        out.doc = rules.docName;
        out.internal = true;
        out.body = e.what();
    }
}

} // namespace zt::docsrv
