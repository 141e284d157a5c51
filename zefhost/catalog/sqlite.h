// Thin RAII over the SQLite C API, shaped for the catalog store: a
// connection that keeps its prepared statements, a statement whose errors
// become CatalogError, a scope that resets a cached statement, and a
// transaction that rolls back unless committed.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zefhost::catalog::sql {

// What a failed SQLite call means for the catalog's caller: a damaged store,
// an entry or catalog busy beyond the wait, or an input/output failure.
int32_t status_for(int rc);

class Statement;

class Connection {
public:
    // immutable: read-only, and trusting that no one changes the file while
    // it is open (so SQLite needs no -wal or -shm file beside it, which a
    // directory the user cannot write cannot take).
    enum class Access { read_only, immutable, read_write, create };

    // Opens the file (creating it only with Access::create). Errors while
    // opening are reported as "cannot be opened or damaged".
    Connection(const std::filesystem::path &path, Access access);
    // Closes the connection, but only in the process that opened it.
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return db_; }
    const std::filesystem::path &path() const { return path_; }
    // In a child made by fork(): the connection, its transaction and the
    // read marks it keeps in the shared -shm are the parent's. Nothing here
    // then runs SQL on it (a request fails, a rollback or reset does
    // nothing), so that nothing the child lets go of changes the parent's.
    bool foreign() const;
    void refuse_if_foreign() const;

    // Runs SQL without results; throws CatalogError on failure.
    void exec(const char *sql);
    // A statement prepared once for this connection; `sql` must be a string
    // that lives as long as the program (a literal), it is the cache key.
    Statement &cached(const char *sql);

    bool in_transaction() const { return sqlite3_get_autocommit(db_) == 0; }
    int64_t last_insert_rowid() const { return sqlite3_last_insert_rowid(db_); }

    // Throws the CatalogError for `rc`, naming the connection's last message.
    [[noreturn]] void fail(int rc, std::string_view doing) const;

private:
    sqlite3 *db_ = nullptr;
    pid_t owner_;
    std::filesystem::path path_;
    std::unordered_map<const char *, std::unique_ptr<Statement>> statements_;
};

class Statement {
public:
    Statement(Connection &connection, const char *sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(int index, int64_t value);
    Statement &bind(int index, std::string_view text);
    // The bytes must stay valid until the statement is stepped to its end or reset.
    Statement &bind_blob(int index, const void *data, size_t size);

    // One step: true when a row is there, false at the end.
    bool step();
    // Steps a statement that returns no rows.
    void run();
    void reset();

    int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string text(int column) const;
    // Valid until the next step or reset of this statement.
    std::span<const uint8_t> blob(int column) const;
    bool is_null(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    bool is_integer(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_INTEGER; }
    bool is_text(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_TEXT; }
    bool is_blob(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_BLOB; }

private:
    Connection &connection_;
    sqlite3_stmt *stmt_ = nullptr;
};

// Resets a (cached) statement when the scope ends, so that it holds no read
// lock and no bound pointers afterwards.
class Use {
public:
    explicit Use(Statement &statement) : statement_(statement) {}
    ~Use() { statement_.reset(); }
    Use(const Use &) = delete;
    Use &operator=(const Use &) = delete;
    Statement *operator->() { return &statement_; }
    Statement &operator*() { return statement_; }

private:
    Statement &statement_;
};

// BEGIN IMMEDIATE (a write: takes the write lock now) or BEGIN (a read: the
// snapshot is taken by the first read). Rolled back at scope end unless
// committed. A durable write reaches the disk before its commit returns
// (synchronous=FULL, which SQLite lets change only outside a transaction);
// any other commit survives a killed process but perhaps not a lost machine.
class Transaction {
public:
    enum class Kind { read, write, durable_write };
    Transaction(Connection &connection, Kind kind);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();

private:
    void end(const char *sql);

    Connection &connection_;
    bool durable_;
    bool open_ = true;
};

}  // namespace zefhost::catalog::sql
