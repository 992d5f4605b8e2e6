// SQLite engine: one connection in WAL mode shared by all request threads; a
// transaction holds the connection's mutex from Begin to Commit/Rollback, so
// requests on one SQLite file are handled one after the other. Prepared
// statements are kept per text.
//
// Checkpoints (copying the write-ahead log back into the database file, with
// its fsync) run on a second connection in a thread of their own, woken when
// the log has grown: done inside a commit they would hold every request up
// for the length of a disk flush.
#include "sqldb.h"

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>

namespace zt::docsrv {

namespace {

class CSqliteDb final : public CSqlDb {
  public:
    explicit CSqliteDb(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr) != SQLITE_OK) {
            std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            throw SqlError("cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, 10000);
        Raw("PRAGMA journal_mode=WAL");
        Raw("PRAGMA synchronous=NORMAL");
        Raw("PRAGMA foreign_keys=ON");
        StartCheckpointer(path);
    }
    ~CSqliteDb() override {
        if (checkpointer_.joinable()) {
            {
                std::lock_guard<std::mutex> g(walMutex_);
                stopping_ = true;
            }
            walCv_.notify_one();
            checkpointer_.join();
        }
        for (auto& [sql, st] : cache_) sqlite3_finalize(st);
        sqlite3_close(db_);
        if (side_) {
            sqlite3_wal_checkpoint_v2(side_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            sqlite3_close(side_);
        }
    }

    const char* EngineName() const override { return "sqlite"; }

    std::string Dialect(const std::string& sql) const override {
        std::string s = sql;
        Replace(s, "{PK}", "INTEGER PRIMARY KEY");
        Replace(s, "{INT}", "INTEGER");
        Replace(s, "{BLOB}", "BLOB");
        Replace(s, "{FORUPDATE}", "");
        return s;
    }

    void Exec(const std::string& sql, const std::vector<SqlValue>& params) override { Run(sql, params, nullptr); }

    std::vector<Row> Query(const std::string& sql, const std::vector<SqlValue>& params) override {
        std::vector<Row> rows;
        Run(sql, params, &rows);
        return rows;
    }

    void Begin(bool write) override {
        mutex_.lock();
        try {
            Raw(write ? "BEGIN IMMEDIATE" : "BEGIN");
        } catch (...) {
            mutex_.unlock();
            throw;
        }
    }
    void Commit() override {
        try {
            Raw("COMMIT");
        } catch (...) {
            mutex_.unlock();
            throw;
        }
        mutex_.unlock();
    }
    void Rollback() override {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        mutex_.unlock();
    }
    int64_t DbNow() override { return int64_t(std::time(nullptr)); }

  private:
    // Log pages after which a checkpoint is asked for (SQLite's own default).
    static constexpr int kCheckpointPages = 1000;

    void StartCheckpointer(const std::string& path) {
        if (path == ":memory:" || path.empty()) return;
        if (sqlite3_open_v2(path.c_str(), &side_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
            sqlite3_close(side_);
            side_ = nullptr;
            return; // the main connection keeps checkpointing itself
        }
        sqlite3_wal_hook(db_, &CSqliteDb::WalHook, this);
        checkpointer_ = std::thread([this] { CheckpointLoop(); });
    }

    static int WalHook(void* self, sqlite3*, const char*, int pages) {
        auto* me = static_cast<CSqliteDb*>(self);
        if (pages >= kCheckpointPages) {
            {
                std::lock_guard<std::mutex> g(me->walMutex_);
                me->walWanted_ = true;
            }
            me->walCv_.notify_one();
        }
        return SQLITE_OK;
    }

    void CheckpointLoop() {
        std::unique_lock<std::mutex> g(walMutex_);
        for (;;) {
            walCv_.wait_for(g, std::chrono::seconds(5), [&] { return walWanted_ || stopping_; });
            if (stopping_) return;
            walWanted_ = false;
            g.unlock();
            // Passive: copies what no reader still needs and never waits for
            // the request connection; what is left goes at the next round.
            sqlite3_wal_checkpoint_v2(side_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            g.lock();
        }
    }

    static void Replace(std::string& s, const std::string& from, const std::string& to) {
        for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
            s.replace(p, from.size(), to);
    }

    void Raw(const char* sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::string why = err ? err : "error";
            sqlite3_free(err);
            throw SqlError(std::string(sql) + ": " + why);
        }
    }

    void Run(const std::string& text, const std::vector<SqlValue>& params, std::vector<Row>* rows) {
        std::string sql = Dialect(text);
        sqlite3_stmt*& st = cache_[sql];
        if (!st && sqlite3_prepare_v2(db_, sql.c_str(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
            st = nullptr;
            cache_.erase(sql);
            throw SqlError(std::string("prepare: ") + sqlite3_errmsg(db_));
        }
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        for (size_t i = 0; i < params.size(); ++i) {
            int idx = int(i + 1);
            const SqlValue& v = params[i];
            if (auto n = std::get_if<int64_t>(&v)) sqlite3_bind_int64(st, idx, *n);
            else if (auto t = std::get_if<std::string>(&v))
                sqlite3_bind_text(st, idx, t->data(), int(t->size()), SQLITE_TRANSIENT);
            else if (auto b = std::get_if<Blob>(&v))
                sqlite3_bind_blob(st, idx, b->bytes.empty() ? "" : b->bytes.data(), int(b->bytes.size()),
                                  SQLITE_TRANSIENT);
            else sqlite3_bind_null(st, idx);
        }
        for (;;) {
            int rc = sqlite3_step(st);
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) {
                int ext = sqlite3_extended_errcode(db_);
                std::string why = sqlite3_errmsg(db_);
                sqlite3_reset(st);
                throw SqlError(why, ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY);
            }
            if (!rows) continue;
            int n = sqlite3_column_count(st);
            Row row(static_cast<size_t>(n));
            for (int c = 0; c < n; ++c) {
                const void* p = sqlite3_column_blob(st, c);
                int len = sqlite3_column_bytes(st, c);
                if (p && len > 0) row[size_t(c)].assign(static_cast<const char*>(p), size_t(len));
            }
            rows->push_back(std::move(row));
        }
        sqlite3_reset(st);
    }

    sqlite3* db_ = nullptr;
    sqlite3* side_ = nullptr; // the checkpoint connection
    std::thread checkpointer_;
    std::mutex walMutex_;
    std::condition_variable walCv_;
    bool walWanted_ = false;
    bool stopping_ = false;
    std::recursive_mutex mutex_;
    std::map<std::string, sqlite3_stmt*> cache_;
};

} // namespace

std::unique_ptr<CSqlDb> OpenSqliteDb(const std::string& path) { return std::make_unique<CSqliteDb>(path); }

std::unique_ptr<CSqlDb> OpenSqlDb(const std::string& location) {
    if (location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0) return OpenPostgresDb(location);
    return OpenSqliteDb(location);
}

} // namespace zt::docsrv
