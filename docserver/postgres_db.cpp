// PostgreSQL engine: a pool of connections; a transaction takes one for the
// calling thread and gives it back at its end. Several server processes can
// share one database: locks, leases and document times live in its rows,
// writers lock the document row (SELECT ... FOR UPDATE) and time is the
// database's. Texts travel as LATIN1 so that every byte of a name round-trips.
#include "sqldb.h"

#include <libpq-fe.h>

#include <mutex>

namespace zt::docsrv {

namespace {

thread_local PGconn* tlConn = nullptr;

class CPostgresDb final : public CSqlDb {
  public:
    explicit CPostgresDb(std::string conninfo) : conninfo_(std::move(conninfo)) { main_ = Connect(); }
    ~CPostgresDb() override {
        for (PGconn* c : idle_) PQfinish(c);
        PQfinish(main_);
    }

    const char* EngineName() const override { return "postgresql"; }

    std::string Dialect(const std::string& sql) const override {
        std::string s;
        s.reserve(sql.size() + 16);
        int n = 0;
        for (size_t i = 0; i < sql.size(); ++i) {
            if (sql[i] == '?') {
                s += '$' + std::to_string(++n);
            } else if (sql.compare(i, 4, "{PK}") == 0) {
                s += "BIGSERIAL PRIMARY KEY";
                i += 3;
            } else if (sql.compare(i, 5, "{INT}") == 0) {
                s += "BIGINT";
                i += 4;
            } else if (sql.compare(i, 6, "{BLOB}") == 0) {
                s += "BYTEA";
                i += 5;
            } else if (sql.compare(i, 11, "{FORUPDATE}") == 0) {
                s += "FOR UPDATE";
                i += 10;
            } else {
                s += sql[i];
            }
        }
        return s;
    }

    void Exec(const std::string& sql, const std::vector<SqlValue>& params) override { Run(sql, params, nullptr); }

    std::vector<Row> Query(const std::string& sql, const std::vector<SqlValue>& params) override {
        std::vector<Row> rows;
        Run(sql, params, &rows);
        return rows;
    }

    void Begin(bool write) override {
        tlConn = Acquire();
        try {
            Plain(tlConn, write ? "BEGIN ISOLATION LEVEL READ COMMITTED"
                                : "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        } catch (...) {
            Release(tlConn, true);
            tlConn = nullptr;
            throw;
        }
    }
    void Commit() override {
        PGconn* c = tlConn;
        tlConn = nullptr;
        try {
            Plain(c, "COMMIT");
        } catch (...) {
            Release(c, true);
            throw;
        }
        Release(c, false);
    }
    void Rollback() override {
        PGconn* c = tlConn;
        tlConn = nullptr;
        if (!c) return;
        PGresult* r = PQexec(c, "ROLLBACK");
        PQclear(r);
        Release(c, PQstatus(c) != CONNECTION_OK);
    }
    int64_t DbNow() override {
        auto rows = Query("SELECT CAST(floor(extract(epoch FROM now())) AS BIGINT)", {});
        return rows.empty() ? 0 : std::stoll(rows[0][0]);
    }

  private:
    PGconn* Connect() {
        PGconn* c = PQconnectdb(conninfo_.c_str());
        if (PQstatus(c) != CONNECTION_OK) {
            std::string why = PQerrorMessage(c);
            PQfinish(c);
            throw SqlError("cannot connect to PostgreSQL: " + why);
        }
        PQsetClientEncoding(c, "LATIN1");
        Plain(c, "SET client_min_messages TO WARNING");
        return c;
    }
    PGconn* Acquire() {
        {
            std::lock_guard<std::mutex> g(poolMutex_);
            if (!idle_.empty()) {
                PGconn* c = idle_.back();
                idle_.pop_back();
                return c;
            }
        }
        return Connect();
    }
    void Release(PGconn* c, bool broken) {
        if (!c) return;
        if (broken || PQstatus(c) != CONNECTION_OK) {
            PQfinish(c);
            return;
        }
        std::lock_guard<std::mutex> g(poolMutex_);
        idle_.push_back(c);
    }
    static void Plain(PGconn* c, const char* sql) {
        PGresult* r = PQexec(c, sql);
        bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        std::string why = ok ? "" : PQresultErrorMessage(r);
        PQclear(r);
        if (!ok) throw SqlError(std::string(sql) + ": " + why);
    }

    static int Hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return 0;
    }

    void Run(const std::string& text, const std::vector<SqlValue>& params, std::vector<Row>* rows) {
        std::string sql = Dialect(text);
        std::vector<std::string> texts(params.size());
        std::vector<const char*> values(params.size());
        std::vector<int> lengths(params.size()), formats(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            const SqlValue& v = params[i];
            if (auto n = std::get_if<int64_t>(&v)) {
                texts[i] = std::to_string(*n);
                values[i] = texts[i].c_str();
            } else if (auto t = std::get_if<std::string>(&v)) {
                values[i] = t->c_str();
            } else if (auto b = std::get_if<Blob>(&v)) {
                values[i] = b->bytes.data();
                lengths[i] = int(b->bytes.size());
                formats[i] = 1;
            } else {
                values[i] = nullptr;
            }
        }
        std::unique_lock<std::mutex> g(mainMutex_, std::defer_lock);
        PGconn* c = tlConn;
        if (!c) {
            g.lock();
            c = main_;
        }
        PGresult* r = PQexecParams(c, sql.c_str(), int(params.size()), nullptr, values.data(), lengths.data(),
                                   formats.data(), 0);
        ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
            const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            bool unique = state && std::string(state) == "23505";
            std::string why = PQresultErrorMessage(r);
            PQclear(r);
            throw SqlError(why, unique);
        }
        if (rows) {
            int nr = PQntuples(r), nc = PQnfields(r);
            rows->reserve(size_t(nr));
            for (int i = 0; i < nr; ++i) {
                Row row(static_cast<size_t>(nc));
                for (int j = 0; j < nc; ++j) {
                    if (PQgetisnull(r, i, j)) continue;
                    const char* p = PQgetvalue(r, i, j);
                    int len = PQgetlength(r, i, j);
                    if (PQftype(r, j) == 17 && len >= 2 && p[0] == '\\' && p[1] == 'x') {
                        std::string& out = row[size_t(j)];
                        out.resize(size_t(len - 2) / 2);
                        for (size_t k = 0; k < out.size(); ++k)
                            out[k] = char(Hex(p[2 + 2 * k]) << 4 | Hex(p[3 + 2 * k]));
                    } else {
                        row[size_t(j)].assign(p, size_t(len));
                    }
                }
                rows->push_back(std::move(row));
            }
        }
        PQclear(r);
    }

    std::string conninfo_;
    PGconn* main_ = nullptr;
    std::mutex mainMutex_, poolMutex_;
    std::vector<PGconn*> idle_;
};

} // namespace

std::unique_ptr<CSqlDb> OpenPostgresDb(const std::string& conninfo) {
    return std::make_unique<CPostgresDb>(conninfo);
}

} // namespace zt::docsrv
