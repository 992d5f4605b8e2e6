// The tables of zettrix-server and the typed operations on them, written once
// for both SQL engines. Every operation runs inside the caller's transaction.
//
// users:  name, the short PSK form, HAUTH, level
// docs:   name, header, document time, write lock (user, session, lease end)
// rights: (document, user) -> right
// pages:  document, parent (0 at the top), position, title, times, users,
//         uncompressed length, body as the compressed buffer received
// files:  document, page, name, lengths, times, users, content compressed
// nonces: the MACs of recent requests, to refuse replays
// lock_sessions: per document the DOC_TIME at which the current lock holder
//         took the lock (every change since then is the holder's own)
// temp_idents: the temporary page and file idents the lock holder sent, with
//         the rows made for them, so that a save repeated after a lost
//         answer finds its pages and files instead of making them twice
#pragma once

#include "sqldb.h"

#include <optional>
#include <string>
#include <vector>

namespace zt::docsrv {

struct UserRow {
    int64_t id = 0;
    std::string name, psk, hauth;
    int level = 1;
};

struct DocRow {
    int64_t id = 0;
    std::string name, title, cuser, muser;
    int64_t ctime = 1, mtime = 1, docTime = 1;
    std::string lockUser, lockIdent;
    int64_t lockUntil = 0;
};

struct PageRow {
    int64_t id = 0, parent = 0, pos = 0;
    std::string title;
    int64_t time = 1, ctime = 1;
    std::string cuser, muser;
    int64_t length = 0;
    std::string content; // filled only where asked for
};

struct FileRow {
    int64_t id = 0, page = 0;
    std::string name;
    int64_t length = 0, lengthCompr = 0, mtime = 1, ctime = 1, stime = 1;
    std::string cuser, muser;
    bool hasContent = false;
    std::string content;
};

class CDocStore {
  public:
    explicit CDocStore(CSqlDb& db) : db_(db) {}
    CSqlDb& Db() { return db_; }

    void CreateSchema();

    std::optional<UserRow> FindUser(const std::string& name);
    std::vector<UserRow> Users();
    int64_t AddUser(const UserRow& user); // throws SqlError(unique) when the name is taken
    bool DeleteUser(const std::string& name);
    void SetUserSecrets(int64_t id, const std::string& psk, const std::string& hauth);

    // `forUpdate` locks the row until the transaction ends.
    std::optional<DocRow> FindDoc(int64_t id, bool forUpdate);
    std::optional<DocRow> FindDocByName(const std::string& name, bool forUpdate);
    int64_t AddDoc(const DocRow& doc);
    void UpdateDoc(const DocRow& doc); // header, time and lock
    void DeleteDoc(int64_t id);

    // (document, right) for every document `userId` has a right on, by name.
    std::vector<std::pair<DocRow, int>> DocsOf(int64_t userId);
    int RightOf(int64_t docId, int64_t userId); // 0 for none
    // (user name, right) of a document, by name.
    std::vector<std::pair<std::string, int>> RightsOf(int64_t docId);
    void SetRights(int64_t docId, const std::vector<std::pair<int64_t, int>>& rights);

    // Pages without bodies, ordered by parent and position.
    std::vector<PageRow> Pages(int64_t docId);
    std::optional<PageRow> FindPage(int64_t docId, int64_t pageId, bool withContent);
    int64_t AddPage(int64_t docId, const PageRow& page, bool withContent);
    void MovePage(int64_t pageId, int64_t parent, int64_t pos, const std::string& title);
    void SetPageContent(int64_t pageId, const PageRow& page);
    void DeletePage(int64_t pageId);
    // Number of files per page of a document.
    std::vector<std::pair<int64_t, int64_t>> FileCounts(int64_t docId);

    // Files of a page; contents of those up to `inlineLimit` compressed bytes.
    std::vector<FileRow> Files(int64_t pageId, int64_t inlineLimit);
    std::optional<FileRow> FindFile(int64_t docId, int64_t fileId, bool withContent);
    int64_t AddFile(int64_t docId, const FileRow& file);
    void UpdateFile(const FileRow& file);
    void RenameFile(int64_t fileId, const std::string& name);
    void DeleteFile(int64_t fileId);

    // The DOC_TIME at which the lock holder of the document took the lock;
    // -1 when none was recorded.
    int64_t LockBase(int64_t docId);
    // A new holder takes the lock at `baseTime`; the temporary idents of the
    // one before are forgotten.
    void StartLockSession(int64_t docId, int64_t baseTime);
    enum class TempKind : int { Page = 0, File = 1 };
    std::optional<int64_t> FindTemp(int64_t docId, TempKind kind, const std::string& temp);
    void RememberTemp(int64_t docId, TempKind kind, const std::string& temp, int64_t target);

    // False when `mac` was seen before; remembers it until `until`, forgets
    // those whose time has passed.
    bool RememberNonce(const std::string& mac, int64_t now, int64_t until);

  private:
    CSqlDb& db_;
};

} // namespace zt::docsrv
