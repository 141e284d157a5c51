// A catalog kept in one SQLite file (schema.h): its main connection
// (catalog-level requests), a small pool of further connections for entry
// handles (each reader holds a snapshot on a connection of its own), and
// every SQL statement the file store runs, so that the file's schema is
// read and written in this one place. Writers lock bytes of a companion
// file (writer_lock.h).
#pragma once

#include <sys/types.h>

#include <compare>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "sqlite.h"
#include "store.h"

namespace zefhost::catalog {

// Identifies a catalog file however it was named.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FileId &) const = default;
};

std::filesystem::path reserve_file(const std::filesystem::path &catalog_file);

class SqliteSession final : public StoreSession {
public:
    // `written` is the catalog file as the store found it: a write
    // transaction first checks that the file's name still leads to it.
    SqliteSession(std::unique_ptr<sql::Connection> connection, int32_t format_version,
                  std::optional<FileId> written = std::nullopt)
        : connection_(std::move(connection)), format_version_(format_version), written_(written) {}
    ~SqliteSession() override;

    sql::Connection &connection() { return *connection_; }

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
    // A write transaction holds the whole file: no writer ends meanwhile.
    std::vector<int64_t> claim_writers(const EntryKey *key) override { return writers(key); }
    bool empty() override;

    std::vector<std::string> store_problems() override;
    std::vector<int64_t> piece_contents() override;
    int64_t unused_chunks() override;
    std::vector<EntryKey> entries_with_bad_attributes() override;
    int64_t drop_unused_chunks() override;

private:
    std::unique_ptr<sql::Connection> connection_;
    int32_t format_version_;
    std::optional<FileId> written_;
    bool durable_ = false;  // the open transaction runs at synchronous=FULL
    sql::Statement *chunk_ = nullptr;  // holds the loaded chunk until reset
};

class SqliteStore final : public Store {
public:
    // Opens an existing catalog file and checks that it is one. A store
    // opened only to read still opens its connections read-write where the
    // user may write, so that the last one to close can fold the
    // write-ahead log into the file and remove it; in a directory the user
    // cannot write, a catalog that no one is writing is read as it stands.
    SqliteStore(std::filesystem::path file, bool writable, int busy_timeout_ms);
    // Closes the connections (the last connection of all processes removes
    // SQLite's -wal and -shm), then removes the writers file if no process
    // uses it.
    ~SqliteStore() override;

    const std::filesystem::path &file() const { return file_; }
    FileId id() const { return id_; }
    // The file its sessions check before each write (none when read-only).
    std::optional<FileId> written() const {
        return writable_ ? std::optional<FileId>(id_) : std::nullopt;
    }
    sql::Connection &main_connection() { return static_cast<SqliteSession &>(*main_).connection(); }

    std::unique_ptr<StoreSession> acquire() override;
    void give_back(std::unique_ptr<StoreSession> session) override;

    std::unique_ptr<HeldLock> lock_entry(StoreSession &session, const EntryKey &key, const std::string &what,
                                         const WaitPolicy &wait) override;
    std::unique_ptr<HeldLock> lock_writer(StoreSession &session, int64_t content) override;
    bool writer_alive(StoreSession &session, int64_t content) override;

    // After a commit: folds the write-ahead log into the file and empties
    // it, unless a reader still needs it (then it waits for another time:
    // this never waits).
    void settle(StoreSession &session) override;
    // Room kept for deletions on a full disk: "<catalog>-reserve", a file of
    // 512 KB allocated beside the catalog. Kept after every settle that
    // emptied the log; given back to the file system when a deletion finds
    // the disk full.
    void keep_reserve();
    bool release_reserve() override;

    // Removes a catalog file that holds no entry and no writer, unless
    // another process uses it for writing. Never fails.
    static void remove_if_empty(const std::filesystem::path &file);

    // The identity of a catalog file.
    static std::string identity_of(FileId id);

private:
    std::unique_ptr<sql::Connection> open_connection();
    // The writers file (writer_lock.h), opened on first use. Writable
    // stores only.
    LockFile &locks();

    std::filesystem::path file_;
    sql::Connection::Access access_;
    int busy_timeout_ms_;
    pid_t owner_;
    std::optional<LockFile> lock_file_;
    FileId id_;
    std::vector<std::unique_ptr<StoreSession>> idle_;
};

}  // namespace zefhost::catalog
