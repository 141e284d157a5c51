#include "sqlite.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "catalog_error.h"

namespace zefhost::catalog::sql {

namespace {

// A URI naming `path`, every byte outside the unreserved set escaped.
std::string file_uri(const std::filesystem::path &path, const char *query) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path.string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri + "?" + query;
}

}  // namespace

int32_t status_for(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
        return zef::kCatalogDamaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return zef::kCatalogEntryInUse;
    default:
        return zef::kCatalogIoFailure;
    }
}

Connection::Connection(const std::filesystem::path &path, Access access)
    : owner_(getpid()), path_(path) {
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    switch (access) {
    case Access::read_only: flags |= SQLITE_OPEN_READONLY; break;
    case Access::immutable: flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI; break;
    case Access::read_write: flags |= SQLITE_OPEN_READWRITE; break;
    case Access::create: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
    }
    std::string name = access == Access::immutable ? file_uri(path, "immutable=1") : path.string();
    int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        catalog::fail(zef::kCatalogDamaged, path.string() + ": cannot be opened: " + message);
    }
    if ((access == Access::read_write || access == Access::create) && sqlite3_db_readonly(db_, "main") == 1) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        catalog::fail(zef::kCatalogDamaged, path.string() + ": cannot be opened for writing");
    }
}

Connection::~Connection() {
    statements_.clear();
    if (db_ != nullptr && !foreign()) sqlite3_close_v2(db_);
}

bool Connection::foreign() const { return getpid() != owner_; }

void Connection::refuse_if_foreign() const {
    if (foreign())
        catalog::fail(zef::kCatalogIoFailure, path_.string() + ": the connection belongs to process " +
                                                  std::to_string(owner_) + ", not to this one");
}

void Connection::exec(const char *sql) {
    refuse_if_foreign();
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fail(rc, sql);
}

Statement &Connection::cached(const char *sql) {
    refuse_if_foreign();
    auto it = statements_.find(sql);
    if (it != statements_.end()) return *it->second;
    auto statement = std::make_unique<Statement>(*this, sql);
    Statement &ref = *statement;
    statements_.emplace(sql, std::move(statement));
    return ref;
}

void Connection::fail(int rc, std::string_view doing) const {
    std::string message = path_.string();
    message += ": ";
    message += doing;
    message += ": ";
    // The connection's message is its last call's, which is not always the
    // one that failed: a durable BEGIN that failed has reset the safety level since.
    bool own = db_ != nullptr && (sqlite3_extended_errcode(db_) == rc || sqlite3_errcode(db_) == (rc & 0xFF));
    message += own ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    // SQLite says "disk I/O error" when it could not grow its -shm or -wal.
    if (db_ != nullptr && (rc & 0xFF) == SQLITE_IOERR && sqlite3_system_errno(db_) == ENOSPC)
        message += " (the disk is full)";
    catalog::fail(status_for(rc), message);
}

Statement::Statement(Connection &connection, const char *sql) : connection_(connection) {
    int rc = sqlite3_prepare_v3(connection.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_,
                                nullptr);
    if (rc != SQLITE_OK) connection.fail(rc, "prepare");
}

Statement::~Statement() {
    if (!connection_.foreign()) sqlite3_finalize(stmt_);
}

Statement &Statement::bind(int index, int64_t value) {
    int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) connection_.fail(rc, "bind");
    return *this;
}

Statement &Statement::bind(int index, std::string_view text) {
    int rc = sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) connection_.fail(rc, "bind");
    return *this;
}

Statement &Statement::bind_blob(int index, const void *data, size_t size) {
    // A zero-length blob needs a non-null pointer to be a blob and not NULL.
    static const uint8_t kEmpty = 0;
    int rc = sqlite3_bind_blob64(stmt_, index, size ? data : &kEmpty, size, SQLITE_STATIC);
    if (rc != SQLITE_OK) connection_.fail(rc, "bind");
    return *this;
}

bool Statement::step() {
    connection_.refuse_if_foreign();
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    connection_.fail(rc, sqlite3_sql(stmt_));
}

void Statement::run() {
    while (step()) {
    }
}

void Statement::reset() {
    if (connection_.foreign()) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int column) const {
    const auto *p = sqlite3_column_text(stmt_, column);
    int n = sqlite3_column_bytes(stmt_, column);
    return p ? std::string(reinterpret_cast<const char *>(p), n) : std::string();
}

std::span<const uint8_t> Statement::blob(int column) const {
    const void *p = sqlite3_column_blob(stmt_, column);
    int n = sqlite3_column_bytes(stmt_, column);
    if (p == nullptr) return {};
    return {static_cast<const uint8_t *>(p), static_cast<size_t>(n)};
}

Transaction::Transaction(Connection &connection, Kind kind)
    : connection_(connection), durable_(kind == Kind::durable_write) {
    connection.refuse_if_foreign();
    if (durable_) connection.exec("PRAGMA synchronous=FULL");
    int rc = sqlite3_exec(connection.handle(), kind == Kind::read ? "BEGIN" : "BEGIN IMMEDIATE",
                          nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        if (durable_) sqlite3_exec(connection.handle(), "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        connection.fail(rc, "begin");
    }
}

Transaction::~Transaction() {
    if (open_) end("ROLLBACK");
}

void Transaction::commit() {
    connection_.refuse_if_foreign();
    int rc = sqlite3_exec(connection_.handle(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        // A failed COMMIT may leave the transaction open; the destructor
        // rolls it back.
        connection_.fail(rc, "commit");
    }
    end(nullptr);
}

// Rolls back (when sql is given and a transaction is still open) and puts
// the connection back to its everyday safety level.
void Transaction::end(const char *sql) {
    open_ = false;
    if (connection_.foreign()) return;
    if (sql != nullptr && connection_.in_transaction())
        sqlite3_exec(connection_.handle(), sql, nullptr, nullptr, nullptr);
    if (durable_) sqlite3_exec(connection_.handle(), "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
}

}  // namespace zefhost::catalog::sql
