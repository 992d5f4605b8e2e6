// The small storage interface of zettrix-server: one SQL connection with
// transactions, parameters and rows, implemented for SQLite and PostgreSQL.
// Statements are written once with "?" placeholders; each engine maps the
// few words that differ (key columns, byte columns, database time).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace zt::docsrv {

struct Blob {
    std::string bytes;
};
using SqlValue = std::variant<std::monostate, int64_t, std::string, Blob>;
// One result row: every column as bytes (numbers in decimal, NULL empty).
using Row = std::vector<std::string>;

// Raised inside the server for database failures; the request handler turns it
// into an answer. `unique` marks a violated unique constraint.
struct SqlError : std::runtime_error {
    SqlError(const std::string& what, bool unique = false) : std::runtime_error(what), unique(unique) {}
    bool unique;
};

class CSqlDb {
  public:
    virtual ~CSqlDb() = default;
    // Engine words: "{PK}" a generated key column, "{INT}" a 64-bit integer,
    // "{BLOB}" bytes, "{FORUPDATE}" a row lock on what a SELECT reads (nothing
    // in SQLite, whose write transactions lock the whole database).
    virtual std::string Dialect(const std::string& sql) const = 0;
    virtual void Exec(const std::string& sql, const std::vector<SqlValue>& params = {}) = 0;
    virtual std::vector<Row> Query(const std::string& sql, const std::vector<SqlValue>& params = {}) = 0;
    // A transaction: `write` ones may change data; read ones see one
    // consistent state. Only one transaction per thread at a time.
    virtual void Begin(bool write) = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    // Seconds since 1970 by the database's clock (the transaction's time).
    virtual int64_t DbNow() = 0;
    virtual const char* EngineName() const = 0;
};

// "postgresql://..." or "postgres://..." opens PostgreSQL, anything else is
// a SQLite file (created when missing). Throws SqlError.
std::unique_ptr<CSqlDb> OpenSqlDb(const std::string& location);
std::unique_ptr<CSqlDb> OpenSqliteDb(const std::string& path);
std::unique_ptr<CSqlDb> OpenPostgresDb(const std::string& conninfo);

// Runs `fn` in a transaction: commits when it returns, rolls back when it throws.
template <class F>
auto InTransaction(CSqlDb& db, bool write, F&& fn) {
    db.Begin(write);
    try {
        if constexpr (std::is_void_v<decltype(fn())>) {
            fn();
            db.Commit();
        } else {
            auto r = fn();
            db.Commit();
            return r;
        }
    } catch (...) {
        try {
            db.Rollback();
        } catch (...) {
        }
        throw;
    }
}

} // namespace zt::docsrv
