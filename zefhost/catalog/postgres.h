// Thin RAII over libpq, shaped for the catalog store: a connection that
// prepares each statement once, results that free themselves, parameters
// passed as text (numbers) or binary (bytes), and server errors turned into
// CatalogError with the catalog status their SQLSTATE means.
#pragma once

#include <libpq-fe.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "libpq_loader.h"

namespace zefhost::catalog::pg {

// What a failed request means for the catalog's caller, from its SQLSTATE:
// busy (lock not available, serialization failure, deadlock) is
// kCatalogEntryInUse; missing tables are kCatalogDamaged; everything else,
// a lost connection and a full disk among them, kCatalogIoFailure.
int32_t status_for(std::string_view sqlstate);

// One parameter: text (numbers and names), binary bytes, or NULL.
struct Param {
    std::string text;
    const void *data = nullptr;
    size_t size = 0;
    enum class Kind { text, bytes, null } kind = Kind::text;

    Param(int64_t value) : text(std::to_string(value)) {}
    Param(std::string_view value) : text(value) {}
    Param(const std::string &value) : text(value) {}
    Param(const char *value) : text(value) {}
    static Param bytes(std::span<const uint8_t> value) {
        Param p("");
        p.data = value.data();
        p.size = value.size();
        p.kind = Kind::bytes;
        return p;
    }
    static Param null() {
        Param p("");
        p.kind = Kind::null;
        return p;
    }
};

class Result {
public:
    Result() = default;
    explicit Result(PGresult *result) : result_(result) {}
    ~Result() {
        if (result_ != nullptr) libpq().PQclear(result_);
    }
    Result(Result &&other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    Result &operator=(Result &&other) noexcept {
        if (this != &other) {
            if (result_ != nullptr) libpq().PQclear(result_);
            result_ = other.result_;
            other.result_ = nullptr;
        }
        return *this;
    }

    int rows() const { return result_ ? libpq().PQntuples(result_) : 0; }
    // The command tag ("COMMIT", "ROLLBACK", "INSERT 0 1" ...).
    std::string command() const { return result_ ? libpq().PQcmdStatus(result_) : ""; }
    bool is_null(int row, int column) const { return libpq().PQgetisnull(result_, row, column) != 0; }
    // A column of a text result. Integers that are not integers (the store
    // is untrusted) read as 0 and are then refused by the layout checks.
    int64_t integer(int row, int column) const;
    std::string text(int row, int column) const;
    // A bytea column of a text result (hex), decoded.
    std::string bytea_text(int row, int column) const;
    // A column of a binary result, valid while the result lives.
    std::span<const uint8_t> bytes(int row, int column) const;

private:
    PGresult *result_ = nullptr;
};

class Connection {
public:
    // Connects with a libpq URI or keyword string; `shown` names the
    // database in messages (never with its password). Throws CatalogError
    // (kCatalogIoFailure) when the server cannot be reached or refuses.
    Connection(const std::string &conninfo, std::string shown);
    // Closes the connection, but only in the process that opened it.
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    PGconn *handle() const { return conn_; }
    const std::string &shown() const { return shown_; }
    // In a child made by fork(): the session is its parent's, and every
    // request fails here without a byte sent, so that nothing the child
    // lets go of (a transaction, a lock, a writer) ends or changes it.
    bool foreign() const;
    bool broken() const { return foreign() || libpq().PQstatus(conn_) != CONNECTION_OK; }
    bool in_transaction() const { return !foreign() && libpq().PQtransactionStatus(conn_) != PQTRANS_IDLE; }

    // Runs SQL without parameters (several statements allowed).
    void exec(const char *sql);
    // Runs a statement, prepared the first time this connection runs its
    // text: a text built for the call is a statement of its own, wherever
    // it lies.
    Result run(const char *sql, std::initializer_list<Param> params = {}, bool binary_result = false);
    // The same, never throwing: false when it failed.
    bool try_exec(const char *sql) noexcept;
    // Sends a request without waiting for its answer, so that the server
    // works on it while this process does something else; receive() then
    // waits for the answer. Any other request first drops an answer not
    // received. One request at a time; `sql` names it in a failure's
    // message, so it must last until the answer is received (a literal).
    void send(const char *sql, std::initializer_list<Param> params = {}, bool binary_result = false);
    Result receive();
    bool waiting() const { return sent_ != nullptr; }
    void discard() noexcept;

    // Throws the CatalogError for a failed result, naming `doing`.
    [[noreturn]] void fail(PGresult *result, std::string_view doing) const;

private:
    void refuse_if_foreign() const;

    const std::string &prepared(const char *sql);

    PGconn *conn_ = nullptr;
    const char *sent_ = nullptr;  // the request sent and not yet received
    pid_t owner_;
    std::string shown_;
    // Statement names by text. Looked up by the text itself, not where it
    // lies: a text built for one call may lie where another call's did.
    struct TextHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> prepared_;
};

// An identifier quoted for SQL ("work", with any quote doubled).
std::string quoted_identifier(std::string_view name);

}  // namespace zefhost::catalog::pg
