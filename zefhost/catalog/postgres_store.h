// A catalog kept in a PostgreSQL database: the rows of one catalog in the
// tables of its library's schema (postgres_schema.h). Every connection is a
// session of its own on the server; readers hold a repeatable-read snapshot
// from open to close, and locks are the server's session-bound advisory
// locks, so a writer whose process dies, whose connection is lost or whose
// machine crashes holds nothing once the server notices.
#pragma once

#include <sys/types.h>

#include <functional>
#include <future>
#include <memory>
#include <utility>
#include <optional>
#include <string>
#include <vector>

#include "postgres.h"
#include "store.h"

namespace zefhost::catalog {

// Where a database library is and what its sessions are set up with.
struct DatabasePlace {
    std::string conninfo;  // as given: a libpq URI or keyword string
    std::string shown;     // the same without its password
    std::string schema;    // the library's, lower case
    std::string library;   // the library's name, upper case
    int busy_timeout_ms = 10000;
};

// The two 31-bit keys of an advisory lock: one names what kind of thing in
// which schema, the other the thing (a catalog, an entry, a writer).
struct LockKeys {
    int32_t space;
    int32_t object;
};
LockKeys catalog_presence_keys(const std::string &schema, const std::string &catalog);
LockKeys entry_keys(const std::string &schema, const std::string &catalog, const EntryKey &key);
LockKeys writer_keys(const std::string &schema, int64_t content);

// A connection set up for the library's schema (search path, lock wait),
// read-only when `read_only`.
std::unique_ptr<pg::Connection> connect(const DatabasePlace &place, bool read_only);

class PostgresSession final : public StoreSession {
public:
    // `connect_more` makes another connection to the same database, for
    // reading a long entry on two server sessions at once.
    using Connector = std::function<std::unique_ptr<pg::Connection>()>;
    PostgresSession(std::unique_ptr<pg::Connection> connection, std::string catalog, int32_t format_version,
                    Connector connect_more = {})
        : connection_(std::move(connection)),
          catalog_(std::move(catalog)),
          format_version_(format_version),
          connect_more_(std::move(connect_more)) {}
    ~PostgresSession() override;

    pg::Connection &connection() { return *connection_; }

    void begin(Kind kind) override;
    void commit() override;
    void rollback() noexcept override;
    bool in_transaction() const override { return connection_->in_transaction(); }

    std::optional<EntryRow> entry(const EntryKey &key) override;
    std::vector<EntryInfo> entries() override;
    std::vector<EntryKey> keys(const std::string &type_filter) override;
    std::vector<Piece> pieces(int64_t content) override;
    std::optional<std::span<const uint8_t>> load_chunk(int64_t chunk, std::span<const Piece> next) override;
    void release_chunk() noexcept override;

    void put_entry(const EntryKey &key, const EntryRow &row) override;
    void delete_entry_row(const EntryKey &key) override;
    void drop_content(int64_t content) override;
    int64_t stage_piece(int64_t content, const Piece &piece, std::span<const uint8_t> bytes,
                        int64_t replaced_chunk) override;
    void merge_content(int64_t staged, int64_t content) override;
    int64_t add_writer(const EntryKey &key) override;
    void remove_writer(int64_t content) override;
    std::vector<int64_t> writers(const EntryKey *key) override;
    std::vector<int64_t> claim_writers(const EntryKey *key) override;
    bool empty() override;

    std::vector<std::string> store_problems() override { return {}; }
    std::vector<int64_t> piece_contents() override;
    int64_t unused_chunks() override;
    std::vector<EntryKey> entries_with_bad_attributes() override;
    int64_t drop_unused_chunks() override;

private:
    std::unique_ptr<pg::Connection> connection_;
    std::string catalog_;
    int32_t format_version_;
    // Chunks fetched in one request: the one asked for and those named to
    // follow it, held until a chunk outside them is asked for.
    struct Batch {
        pg::Result rows;
        std::vector<std::pair<int64_t, int>> ids;  // chunk id, row
        std::optional<std::span<const uint8_t>> find(int64_t chunk) const;
    };
    static Batch batch_of(pg::Result result);
    // A request for chunks sent and not yet received, on one of the two
    // connections.
    struct InFlight {
        pg::Connection *connection;
        std::vector<int64_t> ids;
    };
    void drop_in_flight() noexcept;
    // Starts making the second connection, in a transaction that shares
    // this one's snapshot, on a thread of its own, so that the server sets
    // up its session while this one fetches the first chunks. Asked while
    // this connection is idle (it exports the snapshot).
    void start_helper();
    // The second connection once it is ready; null while it is being
    // made, or when there is none.
    pg::Connection *ready_helper();
    // Waits for a helper still being made and lets go of it.
    void end_helper() noexcept;

    Batch current_;
    std::vector<InFlight> in_flight_;  // oldest first
    Connector connect_more_;
    std::unique_ptr<pg::Connection> helper_;
    std::future<std::unique_ptr<pg::Connection>> helper_coming_;
    bool helper_refused_ = false;
    bool reading_ = false;  // in a read transaction (a snapshot that can be shared)
};

class PostgresStore final : public Store {
public:
    // Opens an existing catalog of the library (kCatalogMissing when there
    // is none). A writable store holds the catalog's presence lock for its
    // life, so that no one removes the catalog as empty under it.
    PostgresStore(DatabasePlace place, std::string catalog, bool writable);
    ~PostgresStore() override;

    std::unique_ptr<StoreSession> acquire() override;
    void give_back(std::unique_ptr<StoreSession> session) override;

    std::unique_ptr<HeldLock> lock_entry(StoreSession &session, const EntryKey &key, const std::string &what,
                                         const WaitPolicy &wait) override;
    std::unique_ptr<HeldLock> lock_writer(StoreSession &session, int64_t content) override;
    bool writer_alive(StoreSession &session, int64_t content) override;

    static std::string identity_of(const DatabasePlace &place, const std::string &catalog);

private:
    DatabasePlace place_;
    std::string catalog_;
    std::vector<std::unique_ptr<StoreSession>> idle_;
};

}  // namespace zefhost::catalog
