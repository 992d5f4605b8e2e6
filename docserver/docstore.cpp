#include "docstore.h"

namespace zt::docsrv {

namespace {

int64_t I(const std::string& s) {
    if (s.empty()) return 0;
    try {
        return std::stoll(s);
    } catch (...) {
        return 0;
    }
}

constexpr const char* kDocCols =
    "id, name, title, cuser, muser, ctime, mtime, doc_time, lock_user, lock_ident, lock_until";
constexpr const char* kPageCols = "id, parent, pos, title, ptime, pctime, pcuser, pmuser, plength";

DocRow ToDoc(const Row& r) {
    DocRow d;
    d.id = I(r[0]);
    d.name = r[1];
    d.title = r[2];
    d.cuser = r[3];
    d.muser = r[4];
    d.ctime = I(r[5]);
    d.mtime = I(r[6]);
    d.docTime = I(r[7]);
    d.lockUser = r[8];
    d.lockIdent = r[9];
    d.lockUntil = I(r[10]);
    return d;
}

PageRow ToPage(const Row& r) {
    PageRow p;
    p.id = I(r[0]);
    p.parent = I(r[1]);
    p.pos = I(r[2]);
    p.title = r[3];
    p.time = I(r[4]);
    p.ctime = I(r[5]);
    p.cuser = r[6];
    p.muser = r[7];
    p.length = I(r[8]);
    if (r.size() > 9) p.content = r[9];
    return p;
}

constexpr const char* kFileCols = "id, page_id, name, flength, fcompr, fmtime, fctime, fstime, fcuser, fmuser";

FileRow ToFile(const Row& r) {
    FileRow f;
    f.id = I(r[0]);
    f.page = I(r[1]);
    f.name = r[2];
    f.length = I(r[3]);
    f.lengthCompr = I(r[4]);
    f.mtime = I(r[5]);
    f.ctime = I(r[6]);
    f.stime = I(r[7]);
    f.cuser = r[8];
    f.muser = r[9];
    if (r.size() > 11) {
        f.hasContent = r[11] == "1";
        f.content = r[10];
    }
    return f;
}

} // namespace

void CDocStore::CreateSchema() {
    const char* ddl[] = {
        "CREATE TABLE IF NOT EXISTS users (id {PK}, name TEXT NOT NULL UNIQUE, psk TEXT NOT NULL, "
        "hauth TEXT NOT NULL, level {INT} NOT NULL)",
        "CREATE TABLE IF NOT EXISTS docs (id {PK}, name TEXT NOT NULL UNIQUE, title TEXT NOT NULL, "
        "cuser TEXT NOT NULL, muser TEXT NOT NULL, ctime {INT} NOT NULL, mtime {INT} NOT NULL, "
        "doc_time {INT} NOT NULL, lock_user TEXT NOT NULL, lock_ident TEXT NOT NULL, lock_until {INT} NOT NULL)",
        "CREATE TABLE IF NOT EXISTS rights (doc_id {INT} NOT NULL REFERENCES docs(id) ON DELETE CASCADE, "
        "user_id {INT} NOT NULL REFERENCES users(id) ON DELETE CASCADE, rw {INT} NOT NULL, "
        "PRIMARY KEY (doc_id, user_id))",
        "CREATE TABLE IF NOT EXISTS pages (id {PK}, doc_id {INT} NOT NULL REFERENCES docs(id) ON DELETE CASCADE, "
        "parent {INT} NOT NULL, pos {INT} NOT NULL, title TEXT NOT NULL, ptime {INT} NOT NULL, "
        "pctime {INT} NOT NULL, pcuser TEXT NOT NULL, pmuser TEXT NOT NULL, plength {INT} NOT NULL, "
        "content {BLOB} NOT NULL)",
        "CREATE INDEX IF NOT EXISTS pages_doc ON pages(doc_id)",
        "CREATE TABLE IF NOT EXISTS files (id {PK}, doc_id {INT} NOT NULL REFERENCES docs(id) ON DELETE CASCADE, "
        "page_id {INT} NOT NULL REFERENCES pages(id) ON DELETE CASCADE, name TEXT NOT NULL, "
        "flength {INT} NOT NULL, fcompr {INT} NOT NULL, fmtime {INT} NOT NULL, fctime {INT} NOT NULL, "
        "fstime {INT} NOT NULL, fcuser TEXT NOT NULL, fmuser TEXT NOT NULL, content {BLOB} NOT NULL)",
        "CREATE INDEX IF NOT EXISTS files_page ON files(page_id)",
        "CREATE TABLE IF NOT EXISTS nonces (mac TEXT PRIMARY KEY, until_time {INT} NOT NULL)",
        "CREATE INDEX IF NOT EXISTS nonces_until ON nonces(until_time)",
        "CREATE TABLE IF NOT EXISTS lock_sessions (doc_id {INT} PRIMARY KEY REFERENCES docs(id) ON DELETE CASCADE, "
        "base_time {INT} NOT NULL)",
        "CREATE TABLE IF NOT EXISTS temp_idents (doc_id {INT} NOT NULL REFERENCES docs(id) ON DELETE CASCADE, "
        "kind {INT} NOT NULL, temp TEXT NOT NULL, target {INT} NOT NULL, PRIMARY KEY (doc_id, kind, temp))",
    };
    for (const char* s : ddl) db_.Exec(s, {});
}

std::optional<UserRow> CDocStore::FindUser(const std::string& name) {
    auto rows = db_.Query("SELECT id, name, psk, hauth, level FROM users WHERE name = ?", {name});
    if (rows.empty()) return std::nullopt;
    const Row& r = rows[0];
    return UserRow{I(r[0]), r[1], r[2], r[3], int(I(r[4]))};
}

std::vector<UserRow> CDocStore::Users() {
    std::vector<UserRow> out;
    for (const Row& r : db_.Query("SELECT id, name, psk, hauth, level FROM users ORDER BY name", {}))
        out.push_back({I(r[0]), r[1], r[2], r[3], int(I(r[4]))});
    return out;
}

int64_t CDocStore::AddUser(const UserRow& u) {
    auto rows = db_.Query("INSERT INTO users (name, psk, hauth, level) VALUES (?, ?, ?, ?) RETURNING id",
                          {u.name, u.psk, u.hauth, int64_t(u.level)});
    return rows.empty() ? 0 : I(rows[0][0]);
}

bool CDocStore::DeleteUser(const std::string& name) {
    auto rows = db_.Query("DELETE FROM users WHERE name = ? RETURNING id", {name});
    return !rows.empty();
}

void CDocStore::SetUserSecrets(int64_t id, const std::string& psk, const std::string& hauth) {
    db_.Exec("UPDATE users SET psk = ?, hauth = ? WHERE id = ?", {psk, hauth, id});
}

std::optional<DocRow> CDocStore::FindDoc(int64_t id, bool forUpdate) {
    auto rows = db_.Query(std::string("SELECT ") + kDocCols + " FROM docs WHERE id = ? " +
                              (forUpdate ? "{FORUPDATE}" : ""),
                          {id});
    if (rows.empty()) return std::nullopt;
    return ToDoc(rows[0]);
}

std::optional<DocRow> CDocStore::FindDocByName(const std::string& name, bool forUpdate) {
    auto rows = db_.Query(std::string("SELECT ") + kDocCols + " FROM docs WHERE name = ? " +
                              (forUpdate ? "{FORUPDATE}" : ""),
                          {name});
    if (rows.empty()) return std::nullopt;
    return ToDoc(rows[0]);
}

int64_t CDocStore::AddDoc(const DocRow& d) {
    auto rows = db_.Query("INSERT INTO docs (name, title, cuser, muser, ctime, mtime, doc_time, lock_user, "
                          "lock_ident, lock_until) VALUES (?, ?, ?, ?, ?, ?, ?, '', '', 0) RETURNING id",
                          {d.name, d.title, d.cuser, d.muser, d.ctime, d.mtime, d.docTime});
    return rows.empty() ? 0 : I(rows[0][0]);
}

void CDocStore::UpdateDoc(const DocRow& d) {
    db_.Exec("UPDATE docs SET name = ?, title = ?, cuser = ?, muser = ?, ctime = ?, mtime = ?, doc_time = ?, "
             "lock_user = ?, lock_ident = ?, lock_until = ? WHERE id = ?",
             {d.name, d.title, d.cuser, d.muser, d.ctime, d.mtime, d.docTime, d.lockUser, d.lockIdent, d.lockUntil,
              d.id});
}

void CDocStore::DeleteDoc(int64_t id) {
    db_.Exec("DELETE FROM files WHERE doc_id = ?", {id});
    db_.Exec("DELETE FROM pages WHERE doc_id = ?", {id});
    db_.Exec("DELETE FROM rights WHERE doc_id = ?", {id});
    db_.Exec("DELETE FROM temp_idents WHERE doc_id = ?", {id});
    db_.Exec("DELETE FROM lock_sessions WHERE doc_id = ?", {id});
    db_.Exec("DELETE FROM docs WHERE id = ?", {id});
}

std::vector<std::pair<DocRow, int>> CDocStore::DocsOf(int64_t userId) {
    std::vector<std::pair<DocRow, int>> out;
    auto rows = db_.Query("SELECT d.id, d.name, d.title, d.cuser, d.muser, d.ctime, d.mtime, d.doc_time, "
                          "d.lock_user, d.lock_ident, d.lock_until, r.rw FROM docs d JOIN rights r ON r.doc_id = d.id "
                          "WHERE r.user_id = ? ORDER BY d.name",
                          {userId});
    for (const Row& r : rows) out.emplace_back(ToDoc(r), int(I(r[11])));
    return out;
}

int CDocStore::RightOf(int64_t docId, int64_t userId) {
    auto rows = db_.Query("SELECT rw FROM rights WHERE doc_id = ? AND user_id = ?", {docId, userId});
    return rows.empty() ? 0 : int(I(rows[0][0]));
}

std::vector<std::pair<std::string, int>> CDocStore::RightsOf(int64_t docId) {
    std::vector<std::pair<std::string, int>> out;
    for (const Row& r : db_.Query("SELECT u.name, r.rw FROM rights r JOIN users u ON u.id = r.user_id "
                                  "WHERE r.doc_id = ? ORDER BY u.name",
                                  {docId}))
        out.emplace_back(r[0], int(I(r[1])));
    return out;
}

void CDocStore::SetRights(int64_t docId, const std::vector<std::pair<int64_t, int>>& rights) {
    db_.Exec("DELETE FROM rights WHERE doc_id = ?", {docId});
    for (const auto& [user, rw] : rights)
        db_.Exec("INSERT INTO rights (doc_id, user_id, rw) VALUES (?, ?, ?)", {docId, user, int64_t(rw)});
}

std::vector<PageRow> CDocStore::Pages(int64_t docId) {
    std::vector<PageRow> out;
    for (const Row& r :
         db_.Query(std::string("SELECT ") + kPageCols + " FROM pages WHERE doc_id = ? ORDER BY parent, pos", {docId}))
        out.push_back(ToPage(r));
    return out;
}

std::optional<PageRow> CDocStore::FindPage(int64_t docId, int64_t pageId, bool withContent) {
    auto rows = db_.Query(std::string("SELECT ") + kPageCols + (withContent ? ", content" : "") +
                              " FROM pages WHERE doc_id = ? AND id = ?",
                          {docId, pageId});
    if (rows.empty()) return std::nullopt;
    return ToPage(rows[0]);
}

int64_t CDocStore::AddPage(int64_t docId, const PageRow& p, bool withContent) {
    auto rows = db_.Query("INSERT INTO pages (doc_id, parent, pos, title, ptime, pctime, pcuser, pmuser, plength, "
                          "content) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                          {docId, p.parent, p.pos, p.title, p.time, p.ctime, p.cuser, p.muser,
                           withContent ? p.length : int64_t(0), Blob{withContent ? p.content : std::string()}});
    return rows.empty() ? 0 : I(rows[0][0]);
}

void CDocStore::MovePage(int64_t pageId, int64_t parent, int64_t pos, const std::string& title) {
    db_.Exec("UPDATE pages SET parent = ?, pos = ?, title = ? WHERE id = ?", {parent, pos, title, pageId});
}

void CDocStore::SetPageContent(int64_t pageId, const PageRow& p) {
    db_.Exec("UPDATE pages SET ptime = ?, pctime = ?, pcuser = ?, pmuser = ?, plength = ?, content = ? WHERE id = ?",
             {p.time, p.ctime, p.cuser, p.muser, p.length, Blob{p.content}, pageId});
}

void CDocStore::DeletePage(int64_t pageId) {
    db_.Exec("DELETE FROM files WHERE page_id = ?", {pageId});
    db_.Exec("DELETE FROM pages WHERE id = ?", {pageId});
}

std::vector<std::pair<int64_t, int64_t>> CDocStore::FileCounts(int64_t docId) {
    std::vector<std::pair<int64_t, int64_t>> out;
    for (const Row& r : db_.Query("SELECT page_id, COUNT(*) FROM files WHERE doc_id = ? GROUP BY page_id", {docId}))
        out.emplace_back(I(r[0]), I(r[1]));
    return out;
}

std::vector<FileRow> CDocStore::Files(int64_t pageId, int64_t inlineLimit) {
    std::vector<FileRow> out;
    for (const Row& r : db_.Query(std::string("SELECT ") + kFileCols +
                                      ", CASE WHEN fcompr <= ? THEN content ELSE NULL END, "
                                      "CASE WHEN fcompr <= ? THEN 1 ELSE 0 END FROM files WHERE page_id = ? ORDER BY id",
                                  {inlineLimit, inlineLimit, pageId}))
        out.push_back(ToFile(r));
    return out;
}

std::optional<FileRow> CDocStore::FindFile(int64_t docId, int64_t fileId, bool withContent) {
    auto rows = db_.Query(std::string("SELECT ") + kFileCols + (withContent ? ", content, 1" : "") +
                              " FROM files WHERE doc_id = ? AND id = ?",
                          {docId, fileId});
    if (rows.empty()) return std::nullopt;
    return ToFile(rows[0]);
}

int64_t CDocStore::AddFile(int64_t docId, const FileRow& f) {
    auto rows = db_.Query("INSERT INTO files (doc_id, page_id, name, flength, fcompr, fmtime, fctime, fstime, fcuser, "
                          "fmuser, content) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                          {docId, f.page, f.name, f.length, f.lengthCompr, f.mtime, f.ctime, f.stime, f.cuser,
                           f.muser, Blob{f.content}});
    return rows.empty() ? 0 : I(rows[0][0]);
}

void CDocStore::UpdateFile(const FileRow& f) {
    db_.Exec("UPDATE files SET name = ?, flength = ?, fcompr = ?, fmtime = ?, fctime = ?, fstime = ?, fcuser = ?, "
             "fmuser = ?, content = ? WHERE id = ?",
             {f.name, f.length, f.lengthCompr, f.mtime, f.ctime, f.stime, f.cuser, f.muser, Blob{f.content}, f.id});
}

void CDocStore::RenameFile(int64_t fileId, const std::string& name) {
    db_.Exec("UPDATE files SET name = ? WHERE id = ?", {name, fileId});
}

void CDocStore::DeleteFile(int64_t fileId) { db_.Exec("DELETE FROM files WHERE id = ?", {fileId}); }

int64_t CDocStore::LockBase(int64_t docId) {
    auto rows = db_.Query("SELECT base_time FROM lock_sessions WHERE doc_id = ?", {docId});
    return rows.empty() ? -1 : I(rows[0][0]);
}

void CDocStore::StartLockSession(int64_t docId, int64_t baseTime) {
    db_.Exec("DELETE FROM temp_idents WHERE doc_id = ?", {docId});
    db_.Exec("INSERT INTO lock_sessions (doc_id, base_time) VALUES (?, ?) "
             "ON CONFLICT (doc_id) DO UPDATE SET base_time = excluded.base_time",
             {docId, baseTime});
}

std::optional<int64_t> CDocStore::FindTemp(int64_t docId, TempKind kind, const std::string& temp) {
    auto rows = db_.Query("SELECT target FROM temp_idents WHERE doc_id = ? AND kind = ? AND temp = ?",
                          {docId, int64_t(kind), temp});
    if (rows.empty()) return std::nullopt;
    return I(rows[0][0]);
}

void CDocStore::RememberTemp(int64_t docId, TempKind kind, const std::string& temp, int64_t target) {
    db_.Exec("INSERT INTO temp_idents (doc_id, kind, temp, target) VALUES (?, ?, ?, ?) "
             "ON CONFLICT (doc_id, kind, temp) DO UPDATE SET target = excluded.target",
             {docId, int64_t(kind), temp, target});
}

bool CDocStore::RememberNonce(const std::string& mac, int64_t now, int64_t until) {
    db_.Exec("DELETE FROM nonces WHERE until_time < ?", {now});
    auto rows = db_.Query("INSERT INTO nonces (mac, until_time) VALUES (?, ?) ON CONFLICT DO NOTHING RETURNING mac",
                          {mac, until});
    return !rows.empty();
}

} // namespace zt::docsrv
