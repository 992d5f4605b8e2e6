#include "remote/remotedoc.h"

#include "base/messages.h"
#include "base/system.h"
#include "base/urlcode.h"
#include "base/xml.h"
#include "core/compress.h"
#include "core/document.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

namespace zt::remote {

namespace {

int32_t Stamp(int64_t t) { return t < 1 ? 1 : t > INT32_MAX ? INT32_MAX : int32_t(t); }
int64_t AtLeast1(int64_t t) { return t < 1 ? 1 : t; }
int64_t Now() { return int64_t(std::time(nullptr)); }

// Records what a thread without a user meets, for the main thread to show.
class CollectingPrompter : public Prompter {
public:
    void Message(std::string_view text, Icon) override {
        std::lock_guard<std::mutex> g(mutex);
        messages.emplace_back(text);
    }
    bool AskYesNo(std::string_view) override { return false; }
    std::mutex mutex;
    std::vector<std::string> messages;
};

// A file record holding a compressed buffer from the server.
bool FileFromServer(const srv::FileInfo& f, const std::string& content, CZTFileRecord& r) {
    r = CZTFileRecord::New(f.name, f.cuser);
    uint32_t len = 0, crc = 0;
    if (!content.empty() && !BufferPrefix(content, len, crc)) return false;
    r.data = content;
    r.method = content.empty() ? 0 : 1;
    r.storedLength = int32_t(content.size());
    r.uncompressedLength = int32_t(len);
    r.crc = crc;
    r.inMemory = true;
    r.mtime = Stamp(f.mtime);
    r.ctime = Stamp(f.ctime);
    r.createdBy = f.cuser;
    r.modifiedBy = f.muser;
    return true;
}

// Flattens the NODES tree into entries with tree indicators.
void Flatten(const std::vector<srv::TreeNode>& nodes, std::vector<ServerPageEntry>& out, int& climb, bool& first) {
    for (size_t i = 0; i < nodes.size(); ++i) {
        ServerPageEntry e;
        e.title = nodes[i].title;
        e.ident = nodes[i].ident;
        e.nfiles = nodes[i].nfiles;
        if (i == 0 && first) e.indicator = "c";
        else if (i == 0) e.indicator = "c";
        else if (climb > 0) e.indicator = std::string(size_t(climb), 'p');
        else e.indicator = "n";
        climb = 0;
        first = false;
        out.push_back(std::move(e));
        if (!nodes[i].children.empty()) {
            Flatten(nodes[i].children, out, climb, first);
            ++climb;
        }
    }
}

} // namespace

std::vector<int> IndicatorDepths(const std::vector<std::string>& indicators) {
    std::vector<int> depths;
    int depth = -1;
    for (size_t i = 0; i < indicators.size(); ++i) {
        const std::string& code = indicators[i];
        if (i == 0) depth = 0;
        else if (code == "c") ++depth;
        else if (!code.empty() && code[0] == 'p') depth = std::max(0, depth - int(code.size()));
        depths.push_back(depth);
    }
    return depths;
}

// The keep-alive's own view: connection copy, stop flag, what it met.
struct CRemoteDocument::AliveShared {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    CollectingPrompter prompter;
    std::unique_ptr<CServerLink> link;
    std::string name, ident;
    int64_t docTime = 0;
    std::timed_mutex* busy = nullptr;
};

CRemoteDocument::CRemoteDocument(CServerLink& link) : link_(link) {}

CRemoteDocument::~CRemoteDocument() { StopKeepAlive(); }

bool CRemoteDocument::IsModified() const {
    if (structureChanged_) return true;
    for (const auto& e : entries_) {
        if (e.changed) return true;
        for (const auto& f : e.files)
            if (f.changed) return true;
    }
    return false;
}

void CRemoteDocument::TakeHeader(const srv::DocHeader& h) {
    header_.Reset(h.muser);
    header_.title = h.docTitle;
    header_.createdBy = h.cuser;
    header_.modifiedBy = h.muser;
    header_.ctime = Stamp(h.ctime);
    header_.mtime = Stamp(h.mtime);
    header_.serverString = h.docIdent.empty() ? docIdent_ : h.docIdent;
    if (h.docTime > 0) docTime_ = h.docTime;
}

void CRemoteDocument::AssignPaths() {
    std::vector<std::string> indicators;
    for (const auto& e : entries_) indicators.push_back(e.indicator);
    std::vector<int> depths = IndicatorDepths(indicators);
    std::vector<std::string> parents; // path of the open page at each depth
    std::set<std::string> used;
    for (size_t i = 0; i < entries_.size(); ++i) {
        int d = depths[i];
        parents.resize(size_t(d));
        std::string base = (d > 0 ? parents[size_t(d - 1)] : std::string()) + "/";
        std::string enc = UrlFormEncode(entries_[i].title);
        std::string path = base + enc;
        for (int n = 1; used.count(path); ++n) path = base + enc + "(" + std::to_string(n) + ")";
        used.insert(path);
        entries_[i].path = path;
        parents.push_back(path);
    }
}

bool CRemoteDocument::ReadDoc(const srv::GetDocAnswer& a) {
    std::vector<ServerPageEntry> entries;
    int climb = 0;
    bool first = true;
    Flatten(a.nodes, entries, climb, first);
    cache_.Clear();
    entries_ = std::move(entries);
    write_ = a.write;
    lockLost_ = false;
    lockLostShown_ = false;
    structureChanged_ = false;
    TakeHeader(a.header);
    AssignPaths();
    open_ = true;
    return true;
}

bool CRemoteDocument::Open(const std::string& name, const std::string& ident, bool forWrite) {
    if (aliveThread_.joinable() && !aliveRunning_) aliveThread_.join();
    if (aliveRunning_ && (name != name_ || ident != docIdent_)) {
        link_.Show(MessageText(Msg::RemoteStillAlive));
        return false;
    }
    srv::GetDocRequest req;
    req.openForWrite = forWrite;
    req.docIdent = ident;
    req.docName = name;
    // The same document again: an unchanged one is answered with errno 50.
    const bool again = open_ && name == name_ && ident == docIdent_ && forWrite == writeRequested_;
    req.docTime = again ? docTime_ : 0;
    srv::GetDocAnswer answer;
    bool ok = false, unchanged = false;
    link_.RunLocked([&] {
        link_.runner ? link_.runner->NextItem("", 0) : void();
        xml::Document doc;
        auto ex = link_.Exchange(req, doc, again);
        if (ex.result == CServerLink::Result::ServerError && again) {
            if (ex.errnum == srv::kErrUnchanged) {
                unchanged = true;
                return true;
            }
            link_.Show(ex.message);
        }
        if (ex.result != CServerLink::Result::Ok) return false;
        srv::AnswerResult r = srv::ReadGetDocAnswer(doc, req, answer);
        if (r.code == srv::AnswerResult::ServerError && again && r.errnum == srv::kErrUnchanged) {
            unchanged = true;
            return true;
        }
        if (!r.ok()) {
            link_.Show(CServerLink::OutcomeText(r));
            return false;
        }
        ok = true;
        return true;
    });
    lastUnchanged_ = unchanged;
    if (unchanged) return true;
    if (!ok) return false;
    ReadDoc(answer);
    name_ = name;
    docIdent_ = ident;
    writeRequested_ = forWrite;
    if (!write_) {
        StopKeepAlive();
    } else if (aliveRunning_ && alive_) {
        // A reload of the document we hold: the running keep-alive goes on.
        std::lock_guard<std::mutex> g(alive_->mutex);
        alive_->docTime = docTime_;
    } else {
        StartKeepAlive();
    }
    return true;
}

CRemoteDocument::ReloadResult CRemoteDocument::Reload() {
    if (!open_) return ReloadResult::Failed;
    // Open with the stored values sends the document time; a lost lock is
    // not asked for again.
    if (lockLost_) writeRequested_ = false;
    if (!Open(name_, docIdent_, writeRequested_)) return ReloadResult::Failed;
    return lastUnchanged_ ? ReloadResult::Unchanged : ReloadResult::Reloaded;
}

void CRemoteDocument::Close() {
    StopKeepAlive();
    cache_.Clear();
    entries_.clear();
    open_ = write_ = false;
    structureChanged_ = false;
}

// ---------------------------------------------------------------- keep-alive

void CRemoteDocument::StartKeepAlive() {
    StopKeepAlive();
    alive_ = std::make_shared<AliveShared>();
    alive_->link = std::make_unique<CServerLink>(alive_->prompter, link_.connection);
    alive_->link->ident = link_.ident;
    alive_->link->silent = true;
    alive_->link->Transport().trust = link_.Transport().trust;
    alive_->name = name_;
    alive_->ident = docIdent_;
    alive_->docTime = docTime_;
    alive_->busy = &link_.Busy();
    aliveRunning_ = true;
    auto shared = alive_;
    auto interval = keepAliveInterval;
    aliveThread_ = std::thread([this, shared, interval] {
        auto send = [&](bool hold) -> bool {
            srv::AliveRequest req;
            req.hold = hold;
            req.docName = shared->name;
            req.docIdent = shared->ident;
            req.docTime = shared->docTime;
            xml::Document doc;
            CServerLink::Exchanged ex;
            {
                std::lock_guard<std::timed_mutex> g(*shared->busy);
                ex = shared->link->Exchange(req, doc, true);
            }
            if (ex.result == CServerLink::Result::TransferFailed) return true; // the loop goes on
            if (ex.result == CServerLink::Result::ServerError) {
                shared->prompter.Message(FormatMessage(Msg::RemoteAliveXmlDataErrorServer,
                                                       {ex.message.substr(ex.message.find('\n') + 1)}),
                                         Prompter::Icon::Error);
                return false;
            }
            if (ex.result == CServerLink::Result::Refused) {
                shared->prompter.Message(MessageText(Msg::RemoteAliveXmlDataError), Prompter::Icon::Error);
                return true;
            }
            srv::AliveAnswer a;
            srv::AnswerResult r = srv::ReadAliveAnswer(doc, req, a);
            if (!r.ok()) {
                shared->prompter.Message(CServerLink::OutcomeText(r, true), Prompter::Icon::Error);
                return r.code != srv::AnswerResult::ServerError;
            }
            return !hold || a.write;
        };
        for (;;) {
            {
                std::unique_lock<std::mutex> lk(shared->mutex);
                shared->wake.wait_for(lk, interval, [&] { return shared->stop; });
                if (shared->stop) break;
            }
            if (!send(true)) {
                // The server no longer holds the lock for us.
                lockLost_ = true;
                if (onLockLost) onLockLost();
                aliveRunning_ = false;
                return;
            }
        }
        send(false);
        aliveRunning_ = false;
    });
}

void CRemoteDocument::StopKeepAlive() {
    if (!aliveThread_.joinable()) return;
    {
        std::lock_guard<std::mutex> g(alive_->mutex);
        alive_->stop = true;
    }
    alive_->wake.notify_all();
    aliveThread_.join();
    for (auto& m : AliveMessages()) (void)m;
}

void CRemoteDocument::CancelKeepAlive() {
    std::shared_ptr<AliveShared> shared = alive_;
    if (shared && shared->link) shared->link->Transport().Cancel();
}

std::vector<std::string> CRemoteDocument::AliveMessages() {
    if (!alive_) return {};
    std::lock_guard<std::mutex> g(alive_->prompter.mutex);
    return alive_->prompter.messages;
}

bool CRemoteDocument::LockRefused(bool serverError, int errnum) {
    // errno 40: the lock is another session's or ran out and was taken;
    // errno 45: the server's document is newer than this copy by changes
    // not made under this session's lock. Either way this copy may no
    // longer be written back: it turns read-only and keeps its changes.
    // Every other refusal leaves the lock alone.
    if (!serverError || (errnum != srv::kErrLocked && errnum != srv::kErrStale)) return false;
    LoseLock();
    return true;
}

void CRemoteDocument::LoseLock() {
    lockLost_ = true;
    Poll();
}

void CRemoteDocument::Poll() {
    if (lockLost_ && !lockLostShown_) {
        lockLostShown_ = true;
        if (aliveThread_.joinable() && !aliveRunning_) aliveThread_.join();
        link_.prompter.Message(MessageText(Msg::RemoteLockLost), Prompter::Icon::Warning);
    }
}

// ---------------------------------------------------------------- pages

CZTPageList CRemoteDocument::PageList() const {
    CZTPageList list;
    for (size_t i = 0; i < entries_.size(); ++i) {
        CZTPageListEntry e;
        e.indicator = entries_[i].indicator;
        e.title = entries_[i].title;
        e.ident = int32_t(i + 1);
        list.push_back(std::move(e));
    }
    return list;
}

bool CRemoteDocument::PageLoaded(int position) const {
    if (position < 1 || position > PageCount()) return true;
    const auto& e = Entry(position);
    return e.node != 0 && write_;
}

bool CRemoteDocument::FetchPageLocked(int position) {
    ServerPageEntry& e = entries_[size_t(position - 1)];
    srv::GetPageRequest req;
    req.docName = name_;
    req.docTime = docTime_;
    req.docIdent = docIdent_;
    req.nodeIdent = e.ident;
    req.pageTime = e.node ? e.pageTime : 0;
    if (link_.runner) link_.runner->NextItem("", 0);
    xml::Document doc;
    auto ex = link_.Exchange(req, doc, true);
    if (ex.result != CServerLink::Result::Ok) {
        e.failure = ex.message.empty() ? MessageText(Msg::ErrorReadingData) : ex.message;
        return false;
    }
    srv::GetPageAnswer a;
    srv::AnswerResult r = srv::ReadGetPageAnswer(doc, req, a);
    auto dropNode = [&] {
        if (e.node) cache_.DeletePage(e.node);
        e.node = 0;
        e.files.clear();
    };
    if (!r.ok()) {
        e.failure = CServerLink::OutcomeText(r);
        if (r.code == srv::AnswerResult::Malformed) dropNode();
        return false;
    }
    if (!a.page.hasContent && (e.node == 0 || e.pageTime < a.page.time)) {
        e.failure = MessageText(Msg::RemoteXmlDataError);
        return false;
    }
    // Build the new state aside; the cache changes only when all of it is good.
    CZTPageRecord rec;
    if (a.page.hasContent) {
        rec = CZTPageRecord::New(a.page.muser);
        if (!a.page.content.empty() && !rec.SetCompressedText(a.page.content, a.page.muser)) {
            e.failure = MessageText(Msg::RemoteXmlDataError);
            dropNode();
            return false;
        }
    } else {
        rec = cache_.GetPage(e.node);
    }
    rec.valid = true;
    rec.mtime = Stamp(a.page.time);
    rec.ctime = Stamp(a.page.ctime);
    rec.createdBy = a.page.cuser;
    rec.modifiedBy = a.page.muser;
    std::vector<ServerFileEntry> files;
    std::vector<CZTFileRecord> loaded;
    for (const auto& f : a.files) {
        ServerFileEntry fe;
        fe.name = f.name;
        fe.ident = f.ident;
        fe.lengthCompr = f.lengthCompr;
        if (f.hasContent) {
            CZTFileRecord fr;
            if (!FileFromServer(f, f.content, fr)) {
                e.failure = MessageText(Msg::RemoteXmlDataError);
                dropNode();
                return false;
            }
            fe.loaded = true;
            loaded.push_back(std::move(fr));
        }
        files.push_back(std::move(fe));
    }
    if (e.node == 0) e.node = cache_.AppendNode();
    // Files the server no longer lists leave the cache.
    std::vector<std::string> old;
    for (int32_t p = 0;;) {
        std::string n = cache_.FileName(e.node, p);
        if (p < 0) break;
        old.push_back(n);
    }
    for (const auto& n : old) {
        bool keep = false;
        for (const auto& f : files)
            if (f.name == n && !f.loaded) keep = true;
        if (!keep) cache_.DeleteFile(e.node, n);
    }
    cache_.PutPage(e.node, std::move(rec));
    for (auto& fr : loaded) cache_.PutFile(e.node, fr);
    e.files = std::move(files);
    e.nfiles = int64_t(e.files.size());
    e.pageTime = a.page.time;
    e.changed = false;
    e.failure.clear();
    // The document time is taken from the open and save answers only: a
    // page answer's time would make a copy whose tree is older look current.
    return true;
}

bool CRemoteDocument::FetchFileLocked(int position, size_t index) {
    ServerPageEntry& e = entries_[size_t(position - 1)];
    ServerFileEntry& fe = e.files[index];
    srv::GetPageFileRequest req;
    req.docName = name_;
    req.docIdent = docIdent_;
    req.docTime = docTime_;
    req.fileIdent = fe.ident;
    if (link_.runner) link_.runner->NextItem(fe.name, 0);
    xml::Document doc;
    auto ex = link_.Exchange(req, doc, false);
    if (ex.result != CServerLink::Result::Ok) return false;
    srv::GetPageFileAnswer a;
    srv::AnswerResult r = srv::ReadGetPageFileAnswer(doc, req, a);
    if (r.ok() && a.file.name != fe.name) r = {srv::AnswerResult::Malformed, -1, "file name"};
    CZTFileRecord fr;
    if (r.ok() && !FileFromServer(a.file, a.file.content, fr)) r = {srv::AnswerResult::Malformed, -1, "content"};
    if (!r.ok()) {
        link_.Show(CServerLink::OutcomeText(r));
        return false;
    }
    if (cache_.PutFile(e.node, fr) == 0) return false;
    fe.loaded = true;
    return true;
}

CZTPageRecord CRemoteDocument::GetPage(int position) {
    if (position < 1) return cache_.GetPage(position);
    if (position > PageCount()) return {};
    ServerPageEntry& e = entries_[size_t(position - 1)];
    if (e.node != 0 && (write_ || e.ident.empty() || e.changed)) return cache_.GetPage(e.node);
    if (e.ident.empty()) return {};
    bool ok = false;
    link_.RunLocked([&] { return ok = FetchPageLocked(position); });
    if (!ok) {
        if (e.failure.empty()) e.failure = MessageText(Msg::ErrorReadingData);
        return {};
    }
    return cache_.GetPage(e.node);
}

bool CRemoteDocument::PutPage(int position, CZTPageRecord record) {
    Poll();
    if (!Writable() || position < 1) return false;
    if (position > PageCount()) return false;
    ServerPageEntry& e = entries_[size_t(position - 1)];
    // The body and the file list come first: a save must not take an
    // unknown file list for an empty one. A page whose body cannot be had
    // is not written over.
    if (e.node == 0 && !e.ident.empty()) {
        bool ok = false;
        link_.RunLocked([&] { return ok = FetchPageLocked(position); });
        if (!ok) return false;
    }
    if (e.node == 0) return false;
    record.valid = true;
    if (!cache_.PutPage(e.node, std::move(record))) return false;
    e.changed = true;
    e.pageTime = Now();
    e.failure.clear();
    return true;
}

bool CRemoteDocument::SetTitle(int position, const std::string& title) {
    Poll();
    if (!Writable() || position < 1 || position > PageCount()) return false;
    entries_[size_t(position - 1)].title = title;
    structureChanged_ = true;
    AssignPaths();
    return true;
}

int CRemoteDocument::AppendPage(const std::string& title, const std::string& indicator) {
    Poll();
    if (!Writable()) return 0;
    ServerPageEntry e;
    e.title = title;
    e.indicator = entries_.empty() ? "c" : indicator;
    e.node = cache_.AppendNode();
    CZTPageRecord r = CZTPageRecord::New(cache_.user);
    cache_.PutPage(e.node, std::move(r));
    e.changed = true;
    e.pageTime = Now();
    entries_.push_back(std::move(e));
    structureChanged_ = true;
    AssignPaths();
    return PageCount();
}

int32_t CRemoteDocument::FileCount(int position) {
    if (position < 1 || position > PageCount()) return 0;
    const auto& e = Entry(position);
    return e.node ? int32_t(e.files.size()) : int32_t(e.nfiles);
}

std::vector<std::string> CRemoteDocument::FileNames(int position) {
    std::vector<std::string> out;
    if (position < 1 || position > PageCount()) return out;
    if (Entry(position).node == 0 && !GetPage(position).valid) return out;
    for (const auto& f : Entry(position).files) out.push_back(f.name);
    return out;
}

CZTFileRecord CRemoteDocument::GetFile(int position, const std::string& name) {
    if (position < 1 || position > PageCount()) return {};
    if (Entry(position).node == 0 && !GetPage(position).valid) return {};
    ServerPageEntry& e = entries_[size_t(position - 1)];
    for (size_t i = 0; i < e.files.size(); ++i) {
        if (e.files[i].name != name) continue;
        if (!e.files[i].loaded) {
            bool ok = false;
            link_.RunLocked([&] { return ok = FetchFileLocked(position, i); });
            if (!ok) return {};
        }
        return cache_.GetFile(e.node, name);
    }
    return {};
}

bool CRemoteDocument::PutFile(int position, const CZTFileRecord& record) {
    Poll();
    if (!Writable() || position < 1 || position > PageCount()) return false;
    ServerPageEntry& e = entries_[size_t(position - 1)];
    if (e.node == 0) return false;
    if (cache_.PutFile(e.node, record) == 0) return false;
    for (auto& f : e.files)
        if (f.name == record.name) {
            f.loaded = f.changed = true;
            return true;
        }
    ServerFileEntry fe;
    fe.name = record.name;
    fe.loaded = fe.changed = true;
    e.files.push_back(std::move(fe));
    return true;
}

bool CRemoteDocument::DeleteFile(int position, const std::string& name) {
    Poll();
    if (!Writable() || position < 1 || position > PageCount()) return false;
    ServerPageEntry& e = entries_[size_t(position - 1)];
    if (e.node == 0) return false;
    auto it = std::find_if(e.files.begin(), e.files.end(), [&](const auto& f) { return f.name == name; });
    if (it == e.files.end()) return false;
    cache_.DeleteFile(e.node, name);
    e.files.erase(it);
    structureChanged_ = true;
    return true;
}

bool CRemoteDocument::FetchRange(int first, int last, bool withFiles) {
    first = std::max(first, 1);
    last = std::min(last, PageCount());
    bool ok = true;
    link_.RunLocked([&] {
        for (int p = first; p <= last && ok; ++p) {
            ServerPageEntry& e = entries_[size_t(p - 1)];
            if (!e.ident.empty() && (e.node == 0 || (!write_ && !e.changed))) {
                if (!FetchPageLocked(p)) {
                    ok = false;
                    break;
                }
            }
            if (!withFiles) continue;
            for (size_t i = 0; i < entries_[size_t(p - 1)].files.size() && ok; ++i)
                if (!entries_[size_t(p - 1)].files[i].loaded && !FetchFileLocked(p, i)) ok = false;
        }
        return ok;
    });
    if (!ok) link_.Show(MessageText(Msg::ErrorReadingData));
    return ok;
}

// ---------------------------------------------------------------- save

srv::SaveDocRequest CRemoteDocument::BuildSave() {
    srv::SaveDocRequest req;
    req.docName = name_;
    req.docIdent = docIdent_;
    req.docMuser = header_.modifiedBy.empty() ? cache_.user : header_.modifiedBy;
    req.docCtime = AtLeast1(header_.ctime);
    req.docMtime = AtLeast1(header_.mtime);
    req.docTime = docTime_;
    req.docTitle = header_.title;
    std::vector<std::string> indicators;
    for (const auto& e : entries_) indicators.push_back(e.indicator);
    std::vector<int> depths = IndicatorDepths(indicators);
    std::vector<std::vector<srv::SaveNode>*> levels{&req.nodes};
    for (size_t i = 0; i < entries_.size(); ++i) {
        ServerPageEntry& e = entries_[i];
        int d = std::min(depths[i], int(levels.size()) - 1);
        levels.resize(size_t(d) + 1);
        srv::SaveNode n;
        if (!e.ident.empty()) {
            n.ident = e.ident;
        } else {
            if (e.tempIdent.empty()) e.tempIdent = NewServerIdent();
            n.ident = e.tempIdent;
            n.identIsTemp = true;
        }
        n.title = e.title;
        if (e.changed && e.node) {
            CZTPageRecord r = cache_.GetPage(e.node);
            n.hasContent = true;
            n.time = AtLeast1(r.mtime);
            n.ctime = AtLeast1(r.ctime);
            n.cuser = r.createdBy;
            n.muser = r.modifiedBy;
            n.length = r.method == 1 ? r.uncompressedLength : 0;
            n.content = r.method == 1 ? std::string(r.content.str()) : std::string();
        }
        n.filesLoaded = e.node != 0;
        if (n.filesLoaded)
            for (const auto& f : e.files)
                if (!f.ident.empty()) n.files.push_back({f.name, f.ident});
        std::vector<srv::SaveNode>* at = levels.back();
        at->push_back(std::move(n));
        levels.push_back(&at->back().children);
    }
    return req;
}

bool CRemoteDocument::SendFiles() {
    for (auto& e : entries_) {
        if (!e.node) continue;
        for (auto& f : e.files) {
            if (!f.loaded || !f.changed) continue;
            CZTFileRecord r = cache_.GetFile(e.node, f.name);
            std::string buffer;
            bool raw = false;
            if (!r.valid || !r.LoadCompressed(buffer, raw) || raw) {
                link_.Show(MessageText(Msg::ErrorReadingData));
                return false;
            }
            srv::SetPageFileRequest req;
            req.docName = name_;
            req.docIdent = header_.serverString.empty() ? docIdent_ : header_.serverString;
            req.docMuser = header_.modifiedBy;
            req.docCtime = AtLeast1(header_.ctime);
            req.docMtime = AtLeast1(header_.mtime);
            req.docTime = docTime_;
            req.nodeIdent = e.ident;
            req.file.name = f.name;
            if (!f.ident.empty()) {
                req.file.ident = f.ident;
            } else {
                if (f.tempIdent.empty()) f.tempIdent = NewServerIdent();
                req.file.ident = f.tempIdent;
                req.file.identIsTemp = true;
            }
            uint32_t len = 0, crc = 0;
            BufferPrefix(buffer, len, crc);
            req.file.length = buffer.empty() ? 0 : len;
            req.file.mtime = AtLeast1(r.mtime);
            req.file.ctime = AtLeast1(r.ctime);
            req.file.stime = AtLeast1(r.mtime);
            req.file.cuser = r.createdBy;
            req.file.muser = r.modifiedBy;
            req.file.content = std::move(buffer);
            if (link_.runner) link_.runner->NextItem(f.name, req.file.content.size());
            xml::Document doc;
            auto ex = link_.Exchange(req, doc, true);
            if (LockRefused(ex.result == CServerLink::Result::ServerError, ex.errnum)) return false;
            if (ex.result != CServerLink::Result::Ok) {
                if (!ex.message.empty()) link_.Show(ex.message);
                return false;
            }
            srv::SetPageFileAnswer a;
            srv::AnswerResult res = srv::ReadSetPageFileAnswer(doc, req, a);
            if (LockRefused(res.code == srv::AnswerResult::ServerError, res.errnum)) return false;
            if (res.ok()) {
                // The answer may map only the file that was sent: a new file
                // needs its mapping, a known file none for another ident.
                if (req.file.identIsTemp) {
                    if (a.identn.size() != 1 || a.identn[0].key != f.tempIdent || a.identn[0].val.empty())
                        res = {srv::AnswerResult::Malformed, -1, "file mapping"};
                } else if (!a.identn.empty() && a.identn[0].key != f.ident) {
                    res = {srv::AnswerResult::Malformed, -1, "file mapping"};
                }
            }
            if (!res.ok()) {
                link_.Show(CServerLink::OutcomeText(res));
                return false;
            }
            TakeHeader(a.header);
            if (req.file.identIsTemp) {
                f.ident = a.identn[0].val;
                f.tempIdent.clear();
            }
            f.changed = false;
        }
    }
    return true;
}

bool CRemoteDocument::Save() {
    Poll();
    if (!open_ || !Writable()) {
        if (open_ && !lockLost_) link_.Show(MessageText(Msg::RemoteReadOnly));
        return false;
    }
    srv::SaveDocRequest req = BuildSave();
    bool ok = false;
    link_.RunLocked([&] {
        if (link_.runner) link_.runner->NextItem("", 0);
        xml::Document doc;
        auto ex = link_.Exchange(req, doc, true);
        if (LockRefused(ex.result == CServerLink::Result::ServerError, ex.errnum)) return false;
        if (ex.result != CServerLink::Result::Ok) {
            if (!ex.message.empty()) link_.Show(ex.message);
            return false;
        }
        srv::SaveDocAnswer a;
        srv::AnswerResult r = srv::ReadSaveDocAnswer(doc, req, a);
        if (LockRefused(r.code == srv::AnswerResult::ServerError, r.errnum)) return false;
        // Every mapping must name a page that was sent with a temporary ident.
        std::map<std::string, ServerPageEntry*> temps;
        for (auto& e : entries_)
            if (e.ident.empty() && !e.tempIdent.empty()) temps[e.tempIdent] = &e;
        if (r.ok())
            for (const auto& p : a.identn)
                if (!temps.count(p.key) || p.val.empty()) r = {srv::AnswerResult::Malformed, -1, "page mapping"};
        if (r.ok() && a.identn.size() != temps.size()) r = {srv::AnswerResult::Malformed, -1, "page mapping"};
        if (!r.ok()) {
            link_.Show(CServerLink::OutcomeText(r));
            return false;
        }
        TakeHeader(a.header);
        for (const auto& p : a.identn) {
            temps[p.key]->ident = p.val;
            temps[p.key]->tempIdent.clear();
        }
        for (auto& e : entries_) {
            e.changed = false;
            for (auto& f : e.files)
                if (!(f.loaded && f.changed)) f.changed = false;
        }
        structureChanged_ = false;
        AssignPaths();
        ok = SendFiles();
        return ok;
    });
    if (alive_) {
        std::lock_guard<std::mutex> g(alive_->mutex);
        alive_->docTime = docTime_;
    }
    return ok;
}

// ---------------------------------------------------------------- local copies

bool CRemoteDocument::CopyToLocal(CZTDocument& out, std::map<int32_t, int>* positions, bool partial) {
    const bool complete = FetchAll(true);
    if (!complete && !partial) return false;
    return BuildLocal(out, positions, partial, nullptr) && complete;
}

bool CRemoteDocument::OutlineToLocal(CZTDocument& out, std::map<int32_t, int>& positions,
                                     std::set<int32_t>& pending) {
    pending.clear();
    return BuildLocal(out, &positions, false, &pending);
}

bool CRemoteDocument::StoreInLocal(int position, CZTDocCore& out, int32_t ident, std::string& error) {
    if (position < 1 || position > PageCount()) {
        error = "no such page";
        return false;
    }
    CZTPageRecord r = GetPage(position);
    const ServerPageEntry& e = Entry(position);
    if (!r.valid) {
        error = e.failure.empty() ? std::string("fetch failed") : e.failure;
        return false;
    }
    // Everything arrives before anything is stored: a failed file leaves
    // the local page as it was.
    std::vector<CZTFileRecord> files;
    for (const std::string& name : FileNames(position)) {
        CZTFileRecord fr = GetFile(position, name);
        if (!fr.valid) {
            error = e.failure.empty() ? "file " + name + " not fetched" : e.failure;
            return false;
        }
        files.push_back(std::move(fr));
    }
    if (!out.PutPage(ident, std::move(r))) {
        error = "page not stored";
        return false;
    }
    for (const auto& fr : files)
        if (out.PutFile(ident, fr, &error) == 0) return false;
    return true;
}

bool CRemoteDocument::Fetched(int position) const {
    if (position < 1 || position > PageCount()) return false;
    const ServerPageEntry& e = Entry(position);
    return e.node && std::all_of(e.files.begin(), e.files.end(), [](const auto& f) { return f.loaded; });
}

bool CRemoteDocument::BuildLocal(CZTDocument& out, std::map<int32_t, int>* positions, bool partial,
                                 std::set<int32_t>* pending) {
    out.New();
    if (positions) positions->clear();
    std::vector<std::string> indicators;
    for (const auto& e : entries_) indicators.push_back(e.indicator);
    std::vector<int> depths = IndicatorDepths(indicators);
    std::vector<CZTPageNode*> parents;
    for (size_t i = 0; i < entries_.size(); ++i) {
        int d = depths[i];
        parents.resize(size_t(std::min<int>(d, int(parents.size()))));
        CZTPageNode* parent = parents.empty() ? nullptr : parents.back();
        CZTPageNode* page = out.AddPage(parent, entries_[i].title);
        if (!page) return false;
        if (positions) (*positions)[page->Ident()] = int(i + 1);
        const ServerPageEntry& e = entries_[i];
        if (pending && !Fetched(int(i + 1))) {
            pending->insert(page->Ident());
        } else if (e.node) {
            CZTPageRecord r = cache_.GetPage(e.node);
            if (r.valid) out.Archive().PutPage(page->Ident(), std::move(r));
            for (const auto& f : e.files) {
                CZTFileRecord fr = cache_.GetFile(e.node, f.name);
                if (!fr.valid && partial) continue;
                if (!fr.valid || out.Archive().PutFile(page->Ident(), fr) == 0) return false;
            }
        }
        parents.push_back(page);
    }
    out.Archive().Header() = header_;
    out.Archive().Header().serverString.clear();
    out.Archive().SetModified(false);
    return true;
}

namespace {

bool SameBody(const CZTPageRecord& a, const CZTPageRecord& b) {
    return a.method == b.method && a.uncompressedLength == b.uncompressedLength && a.content.str() == b.content.str();
}

bool SameFile(const CZTFileRecord& a, const CZTFileRecord& b) {
    std::string x, y;
    bool rawX = false, rawY = false;
    if (!a.LoadCompressed(x, rawX) || !b.LoadCompressed(y, rawY)) return false;
    return rawX == rawY && x == y;
}

} // namespace

bool CRemoteDocument::MergeLocal(CZTDocument& local, std::map<int32_t, int>& positions) {
    Poll();
    if (!Writable()) return false;
    CZTPageList list = local.Tree().BuildPageList();
    std::vector<ServerPageEntry> entries;
    std::map<int32_t, int> placed;
    std::vector<bool> used(entries_.size(), false);
    bool structure = false;
    for (const auto& le : list) {
        if (le.indicator == "f") continue;
        auto it = positions.find(le.ident);
        int old = it == positions.end() ? 0 : it->second;
        if (old < 1 || old > PageCount() || used[size_t(old - 1)]) old = 0;
        // A page whose body never arrived can only stand for its own server
        // page, never become a new (empty) one.
        if (!old && local.Archive().Core().Pending(le.ident)) return false;
        ServerPageEntry e;
        if (old) {
            used[size_t(old - 1)] = true;
            e = entries_[size_t(old - 1)];
        } else {
            e.node = cache_.AppendNode();
            e.changed = true;
            e.pageTime = Now();
            structure = true;
        }
        const std::string indicator = entries.empty() ? "c" : le.indicator;
        // The place of an entry is its position among the others: a moved
        // page changes the indicators around it.
        if (e.title != le.title || e.indicator != indicator || old != int(entries.size()) + 1) structure = true;
        e.title = le.title;
        e.indicator = indicator;
        // A page the local copy never fetched is unchanged (its body and
        // files stay as the server has them).
        if (e.node && !local.Archive().Core().Pending(le.ident)) {
            CZTPageRecord rec = local.Archive().GetPage(le.ident);
            rec.valid = true;
            if (!old || !SameBody(rec, cache_.GetPage(e.node))) {
                cache_.PutPage(e.node, std::move(rec));
                e.changed = true;
                e.pageTime = Now();
            }
            std::vector<ServerFileEntry> files;
            for (int32_t p = 0;;) {
                std::string name = local.Archive().FileName(le.ident, p);
                if (p < 0) break;
                CZTFileRecord fr = local.Archive().GetFile(le.ident, name);
                if (!fr.valid) return false;
                auto known = std::find_if(e.files.begin(), e.files.end(), [&](const auto& f) { return f.name == name; });
                ServerFileEntry fe;
                if (known != e.files.end()) fe = *known;
                else fe.name = name;
                if (known == e.files.end() || (fe.loaded && !SameFile(fr, cache_.GetFile(e.node, name)))) {
                    if (cache_.PutFile(e.node, fr) == 0) return false;
                    fe.loaded = fe.changed = true;
                }
                files.push_back(std::move(fe));
            }
            if (files.size() != e.files.size()) structure = true;
            // Files no longer attached leave the cache; the save's file list
            // no longer names them.
            for (const auto& f : e.files)
                if (std::none_of(files.begin(), files.end(), [&](const auto& g) { return g.name == f.name; })) {
                    cache_.DeleteFile(e.node, f.name);
                    structure = true;
                }
            e.files = std::move(files);
        }
        placed[le.ident] = int(entries.size()) + 1;
        entries.push_back(std::move(e));
    }
    for (size_t i = 0; i < used.size(); ++i)
        if (!used[i]) {
            if (entries_[i].node) cache_.DeletePage(entries_[i].node);
            structure = true;
        }
    if (header_.title != local.Archive().Header().title) {
        header_.title = local.Archive().Header().title;
        structure = true;
    }
    entries_ = std::move(entries);
    if (structure) structureChanged_ = true;
    positions = std::move(placed);
    AssignPaths();
    return true;
}

bool CRemoteDocument::ReplaceWith(CZTDocument& local) {
    if (!Writable()) return false;
    CZTPageList list = local.Tree().BuildPageList();
    std::vector<ServerPageEntry> entries;
    cache_.Clear();
    for (const auto& le : list) {
        if (le.indicator == "f") continue;
        ServerPageEntry e;
        e.title = le.title;
        e.indicator = entries.empty() ? "c" : le.indicator;
        e.node = cache_.AppendNode();
        CZTPageRecord r = local.Archive().GetPage(le.ident);
        r.valid = true;
        cache_.PutPage(e.node, std::move(r));
        for (int32_t p = 0;;) {
            std::string name = local.Archive().FileName(le.ident, p);
            if (p < 0) break;
            CZTFileRecord fr = local.Archive().GetFile(le.ident, name);
            if (!fr.valid || cache_.PutFile(e.node, fr) == 0) return false;
            ServerFileEntry fe;
            fe.name = name;
            fe.loaded = fe.changed = true;
            e.files.push_back(std::move(fe));
        }
        e.changed = true;
        e.pageTime = Now();
        entries.push_back(std::move(e));
    }
    entries_ = std::move(entries);
    header_.title = local.Archive().Header().title;
    structureChanged_ = true;
    AssignPaths();
    return true;
}

} // namespace zt::remote
