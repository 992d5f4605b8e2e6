// A document on the document server, page by page: the server's page list
// mapped onto a local core that serves as cache. Page bodies and files are
// fetched when first needed; a save sends the tree with the changed page
// bodies, then the changed files one by one. A document opened for writing
// keeps its write lock with a keep-alive thread, which touches no page data.
//
// Pages are addressed by their position in the server page list (1-based,
// pre-order). Everything but the keep-alive runs on the calling thread (the
// user-interface thread in the program).
#pragma once

#include "core/docmodel.h"
#include "remote/link.h"

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class CZTDocument;

namespace zt::remote {

struct ServerFileEntry {
    std::string name;
    std::string ident;     // FILE_IDENT; empty for a new file
    std::string tempIdent; // FILE_IDENTN of the last upload
    bool loaded = false;
    bool changed = false;
    int64_t lengthCompr = 0;
};

struct ServerPageEntry {
    std::string title;
    std::string indicator;   // tree indicator
    std::string path;        // page path
    std::string ident;       // NODE_IDENT; empty until the first save
    std::string tempIdent;   // NODE_IDENTN
    int64_t nfiles = 0;      // NODE_NFILES
    int32_t node = 0;        // cache node, 0 while the body was not fetched
    int64_t pageTime = 0;
    bool changed = false;
    std::vector<ServerFileEntry> files;
    // Why the last fetch of the body failed; such a page is shown read-only.
    std::string failure;
};

class CRemoteDocument {
public:
    explicit CRemoteDocument(CServerLink& link);
    ~CRemoteDocument();
    CRemoteDocument(const CRemoteDocument&) = delete;
    CRemoteDocument& operator=(const CRemoteDocument&) = delete;

    CServerLink& Link() { return link_; }

    // Q_GETDOC: the page list, the header and the write flag; the keep-alive
    // starts when the server granted writing. A previous keep-alive still
    // running refuses ("Still Alive"). On failure nothing changed.
    bool Open(const std::string& name, const std::string& ident, bool forWrite);
    enum class ReloadResult { Reloaded, Unchanged, Failed };
    // The same document again with its document time: an unchanged document
    // is answered with errno 50 and stays as it is.
    ReloadResult Reload();
    // Stops the keep-alive (releasing the lock) and empties the cache.
    void Close();

    bool IsOpen() const { return open_; }
    const std::string& Name() const { return name_; }
    const std::string& Ident() const { return docIdent_; }
    int64_t DocTime() const { return docTime_; }
    const CZTDiscInfo& Header() const { return header_; }
    // Writing was granted and the lock is still held.
    bool Writable() const { return write_ && !lockLost_; }
    bool WriteRequested() const { return writeRequested_; }
    // Something changed since the last successful save (kept when the lock
    // is lost, for a save to a local file).
    bool IsModified() const;
    bool LockLost() const { return lockLost_; }
    // Shows, once, what the keep-alive thread met (the lost lock turns the
    // document read-only). Call on the user-interface thread.
    void Poll();
    // Called on the keep-alive thread when the lock is lost (the program
    // posts to its main window and calls Poll there).
    std::function<void()> onLockLost;
    // The renewal interval of the keep-alive (120 s).
    std::chrono::milliseconds keepAliveInterval{120000};
    bool KeepAliveRunning() const { return aliveRunning_; }
    // Cancels the keep-alive's running transfer (any thread): a Close that
    // waits for the release request returns without it.
    void CancelKeepAlive();

    // ---- pages (positions 1..PageCount())
    int PageCount() const { return int(entries_.size()); }
    const ServerPageEntry& Entry(int position) const { return entries_.at(size_t(position - 1)); }
    // The page list in the form the page tree takes (idents are positions).
    CZTPageList PageList() const;
    bool PageLoaded(int position) const;
    // The page's record, fetched when needed; invalid when the fetch failed
    // (Entry().failure tells why).
    CZTPageRecord GetPage(int position);
    // Stores a page body; refused unless writable and the page's body is known.
    bool PutPage(int position, CZTPageRecord record);
    bool SetTitle(int position, const std::string& title);
    // A new page after the last one, with the tree indicator given.
    int AppendPage(const std::string& title, const std::string& indicator);

    int32_t FileCount(int position);
    std::vector<std::string> FileNames(int position);
    // The file with its content, fetched when needed; invalid on failure.
    CZTFileRecord GetFile(int position, const std::string& name);
    bool PutFile(int position, const CZTFileRecord& record);
    bool DeleteFile(int position, const std::string& name);

    // Fetches every missing body (and file with `withFiles`) of the pages
    // first..last under one transfer; the first failure stops it.
    bool FetchRange(int first, int last, bool withFiles);
    bool FetchAll(bool withFiles) { return entries_.empty() || FetchRange(1, PageCount(), withFiles); }

    // Q_SAVEDOC, then Q_SETPAGEFILE per changed file. A failure leaves
    // everything not yet acknowledged marked as changed.
    bool Save();

    // A local document with every page and file (fetched first). With
    // `positions` it tells the page position of every local page. With
    // `partial` the copy is made even when a fetch failed (the pages that did
    // not arrive are empty there); the result is still false then.
    bool CopyToLocal(CZTDocument& out, std::map<int32_t, int>* positions = nullptr, bool partial = false);
    // The local document with the page tree only: pages whose body and files
    // are in the cache get them, the others are left empty and named in
    // `pending` (for a content source that fetches them with StoreInLocal).
    bool OutlineToLocal(CZTDocument& out, std::map<int32_t, int>& positions, std::set<int32_t>& pending);
    // Fetches the page's body and files (when not in the cache) and stores
    // them as local node `ident`; on failure nothing is stored and `error`
    // tells why.
    bool StoreInLocal(int position, CZTDocCore& out, int32_t ident, std::string& error);
    // The page's body and every file of it are in the cache.
    bool Fetched(int position) const;
    // Takes back a local copy made by CopyToLocal (or OutlineToLocal) and edited since: its
    // pages in tree order become the page list. A page that `positions` maps
    // keeps its entry (server ident, cache node) and is marked changed only
    // where its title, place, body or files differ; other pages are new,
    // missing ones are deleted by the next save. `positions` is updated.
    // Refused unless writable.
    bool MergeLocal(CZTDocument& local, std::map<int32_t, int>& positions);
    // Takes the pages of a local document in place of the server's: all of
    // them go to the server with the next save.
    bool ReplaceWith(CZTDocument& local);

    // The local cache.
    CZTDocCore& Cache() { return cache_; }

    // For tests: the text of the last messages the keep-alive met.
    std::vector<std::string> AliveMessages();

private:
    struct AliveShared;
    bool BuildLocal(CZTDocument& out, std::map<int32_t, int>* positions, bool partial, std::set<int32_t>* pending);
    bool FetchPageLocked(int position);
    bool FetchFileLocked(int position, size_t fileIndex);
    bool ReadDoc(const srv::GetDocAnswer& answer);
    void AssignPaths();
    void TakeHeader(const srv::DocHeader& h);
    void StartKeepAlive();
    void StopKeepAlive();
    void LoseLock();
    // Turns the document read-only when the server refused a change for the
    // lock or the document time; true then (the lock message was shown).
    bool LockRefused(bool serverError, int errnum);
    srv::SaveDocRequest BuildSave();
    bool SendFiles();

    CServerLink& link_;
    CZTDocCore cache_;
    std::vector<ServerPageEntry> entries_;
    CZTDiscInfo header_;
    std::string name_, docIdent_;
    int64_t docTime_ = 0;
    bool open_ = false, write_ = false, writeRequested_ = false;
    bool structureChanged_ = false;
    bool lastUnchanged_ = false;
    std::atomic<bool> lockLost_{false};
    bool lockLostShown_ = false;

    std::shared_ptr<AliveShared> alive_;
    std::thread aliveThread_;
    std::atomic<bool> aliveRunning_{false};
};

// Tree indicators to depths (0 for a root page) and back.
std::vector<int> IndicatorDepths(const std::vector<std::string>& indicators);

} // namespace zt::remote
