// One open catalog file: its main connection (catalog-level requests), a
// small pool of further connections for entry handles (each reader holds a
// snapshot on a connection of its own), and every SQL statement the store
// runs, so that the schema is read and written in this one place.
#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "names.h"
#include "sqlite.h"
#include "version_attributes.h"
#include "writer_lock.h"

namespace zefhost::catalog {

// The committed state of an entry (a row of `entries`).
struct EntryRow {
    int64_t content = 0;
    std::string description;
    int64_t created = 0;   // microseconds since the epoch
    int64_t modified = 0;  // microseconds since the epoch
    int64_t blocks = 0;
    int64_t bytes = 0;
    int64_t longest = 0;
    // What the version was written with; none when its writer did not say
    // (or wrote it before catalogs kept this).
    std::optional<VersionAttributes> attributes;
};

// An entry as a listing shows it.
struct EntryInfo {
    EntryKey key;
    EntryRow row;
};

// One chunk of a content (a row of `pieces`).
struct Piece {
    int64_t ordinal = 0;
    int64_t first_block = 0;
    int64_t block_count = 0;
    int64_t bytes = 0;
    int64_t longest = 0;
    int64_t chunk = 0;
    int64_t chunk_bytes = -1;  // the length of the chunk row's data; -1 when it is missing
};

// Identifies a catalog file however it was named.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FileId &) const = default;
};

int64_t now_microseconds();

class Store {
public:
    // Opens an existing catalog file and checks that it is one. A store
    // opened only to read still opens its connections read-write where the
    // user may write, so that the last one to close can fold the
    // write-ahead log into the file and remove it; in a directory the user
    // cannot write, a catalog that no one is writing is read as it stands.
    Store(std::filesystem::path file, bool writable, int busy_timeout_ms);
    // Closes the connections (the last connection of all processes removes
    // SQLite's -wal and -shm), then removes the writers file if no process
    // uses it.
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    const std::filesystem::path &file() const { return file_; }
    bool writable() const { return writable_; }
    // The catalog's format version (schema.h); a writable store is always
    // at the newest.
    int32_t format_version() const { return format_version_; }
    FileId id() const { return id_; }
    sql::Connection &main() { return *main_; }

    // A connection for an entry handle, from the pool or new.
    std::unique_ptr<sql::Connection> acquire();
    // Takes a connection back; one still in a transaction is rolled back.
    void give_back(std::unique_ptr<sql::Connection> connection);

    // The writers file (writer_lock.h), opened on first use. Writable
    // stores only.
    LockFile &locks();
    // After a commit: folds the write-ahead log into the file and empties
    // it, unless a reader still needs it (then it waits for another time:
    // this never waits).
    void settle(sql::Connection &c);
    // Room kept for deletions on a full disk: blocks allocated past the end
    // of the catalog file (not part of it, invisible to SQLite). Kept after
    // every settle that emptied the log; given back to the file system when
    // a deletion finds the disk full. Release answers whether it freed any.
    void keep_reserve();
    bool release_reserve();

    // ------------------------------------------------------------ queries --
    // Each runs on the connection given, inside the caller's transaction or
    // on its own.

    // Entry rows, with their attributes when the catalog's format keeps them.
    std::optional<EntryRow> entry(sql::Connection &c, const EntryKey &key) const;
    std::vector<EntryInfo> entries(sql::Connection &c) const;
    static std::vector<Piece> pieces(sql::Connection &c, int64_t content);
    static std::vector<EntryKey> keys(sql::Connection &c, const std::string &type_filter);
    // The chunk's bytes, valid until `statement` is reset.
    static sql::Statement &chunk_statement(sql::Connection &c);

    static void put_entry(sql::Connection &c, const EntryKey &key, const EntryRow &row);
    static void delete_entry_row(sql::Connection &c, const EntryKey &key);
    // Removes a content's pieces and their chunks.
    static void drop_content(sql::Connection &c, int64_t content);
    // Stores one chunk of a staging content, replacing the piece of the
    // same ordinal (and its chunk, which only that piece used).
    static int64_t stage_piece(sql::Connection &c, int64_t content, const Piece &piece,
                               std::span<const uint8_t> bytes, int64_t replaced_chunk);
    // Moves the pieces staged under `staged` into `content`, dropping the
    // chunks of the pieces they replace.
    static void merge_content(sql::Connection &c, int64_t staged, int64_t content);

    // Registers a writer of `key` and returns its content id.
    static int64_t add_writer(sql::Connection &c, const EntryKey &key);
    static void remove_writer(sql::Connection &c, int64_t content);
    // Within a write transaction: removes what dead writers of `key` (of
    // every entry when null) left behind, and tells whether a live writer of
    // it remains.
    bool reclaim_dead_writers(sql::Connection &c, const EntryKey *key);

    // A write through this store failed or was abandoned (so a catalog made
    // for it and left empty is not wanted).
    void note_failed_write() { failed_write_ = true; }
    bool failed_write() const { return failed_write_; }

    // Removes a catalog that holds no entry and no writer, unless another
    // process uses it for writing. Never fails.
    static void remove_if_empty(const std::filesystem::path &file);
    // True when the catalog holds no entry and no writer.
    static bool empty(sql::Connection &c);

    // Problems found by a full check (empty when the catalog is sound).
    std::vector<std::string> check();

private:
    std::unique_ptr<sql::Connection> open_connection();

    std::filesystem::path file_;
    bool writable_;
    sql::Connection::Access access_;
    int busy_timeout_ms_;
    int32_t format_version_ = 0;
    pid_t owner_;
    std::optional<LockFile> lock_file_;
    bool failed_write_ = false;
    FileId id_;
    std::unique_ptr<sql::Connection> main_;
    std::vector<std::unique_ptr<sql::Connection>> idle_;
};

}  // namespace zefhost::catalog
