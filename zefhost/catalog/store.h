// One open catalog, whatever keeps it: the store interface that the catalog
// services, readers and writers work through. A catalog is kept either in a
// SQLite file of a directory library (sqlite_store.h) or in the tables of a
// database library on a PostgreSQL server (postgres_store.h); each of those
// files holds only what differs between the two. What a catalog means is
// decided here and in the code above this interface, once for both:
//
//   entries  (name, type) -> the committed content and the entry's metadata,
//            with what the version was written with (version_attributes.h)
//   writers  one per open writer: the content id it stages under; ids are
//            handed out once and never reused
//   pieces   (content, ordinal) -> one chunk of a content: its first block
//            index, block count, payload bytes, longest block and chunk id
//   chunks   id -> the packed blocks (chunk.h)
//
// A content is the ordered list of its pieces. Readers see only contents
// that an entry row names; a writer's staged pieces sit under its own
// content id until its close makes them the entry's in one transaction.
// A writer holds its entry's lock from open to close and a lock of its own
// content while it lives; both vanish with the process (or the server
// session) that holds them, so a dead writer holds no one up, and what it
// staged is collected by the next writer that finds its lock gone.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "checksum.h"
#include "names.h"
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
    // The version's checksum (checksum.h); none for versions written before
    // catalogs kept them, or appended to one of those.
    Checksum checksum;
    // What its chunks take in the store (less than their blocks when
    // compressed); -1 when not known.
    int64_t stored_bytes = -1;
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
    Checksum checksum;         // of the chunk's packed blocks; none in older catalogs
    int32_t codec = 0;         // how the chunk row holds them: kChunkPlain or kChunkZstd
};

inline constexpr int32_t kChunkPlain = 0;
inline constexpr int32_t kChunkZstd = 1;

int64_t now_microseconds();

// One connection to the catalog's store. Every query runs inside the
// caller's transaction or on its own. Each throws CatalogError.
class StoreSession {
public:
    // read: a snapshot held until the end; write: changes that survive a
    // killed process; durable_write: changes that also survive a lost
    // machine before the commit returns.
    enum class Kind { read, write, durable_write };

    virtual ~StoreSession() = default;

    virtual void begin(Kind kind) = 0;
    virtual void commit() = 0;
    // Never fails; does nothing outside a transaction.
    virtual void rollback() noexcept = 0;
    virtual bool in_transaction() const = 0;

    // Entry rows, with their attributes when the catalog keeps them.
    virtual std::optional<EntryRow> entry(const EntryKey &key) = 0;
    // In name then type order.
    virtual std::vector<EntryInfo> entries() = 0;
    virtual std::vector<EntryKey> keys(const std::string &type_filter) = 0;
    virtual std::vector<Piece> pieces(int64_t content) = 0;
    // The chunk's bytes, valid until the next load_chunk or release_chunk of
    // this session; none when there is no such chunk. `next` names the
    // pieces whose chunks are likely to be asked for after it, in order: a
    // store that pays a round trip per request may fetch them with it.
    virtual std::optional<std::span<const uint8_t>> load_chunk(int64_t chunk,
                                                               std::span<const Piece> next = {}) = 0;
    virtual void release_chunk() noexcept = 0;

    virtual void put_entry(const EntryKey &key, const EntryRow &row) = 0;
    virtual void delete_entry_row(const EntryKey &key) = 0;
    // Removes a content's pieces and their chunks.
    virtual void drop_content(int64_t content) = 0;
    // Stores one chunk of a staging content, replacing the piece of the
    // same ordinal (and its chunk, which only that piece used).
    virtual int64_t stage_piece(int64_t content, const Piece &piece, std::span<const uint8_t> bytes,
                                int64_t replaced_chunk) = 0;
    // Moves the pieces staged under `staged` into `content`, dropping the
    // chunks of the pieces they replace.
    virtual void merge_content(int64_t staged, int64_t content) = 0;

    // Registers a writer of `key` and returns its content id.
    virtual int64_t add_writer(const EntryKey &key) = 0;
    virtual void remove_writer(int64_t content) = 0;
    // The content ids of the writers of `key` (of every entry when null).
    virtual std::vector<int64_t> writers(const EntryKey *key) = 0;
    // The same within a write transaction, each writer's row held until
    // the transaction ends: a writer found dead stays dead, and one that
    // closes meanwhile cannot have its content taken for a dead writer's.
    virtual std::vector<int64_t> claim_writers(const EntryKey *key) = 0;
    // True when the catalog holds no entry and no writer.
    virtual bool empty() = 0;

    // For a full check: what the store itself finds wrong in its own
    // structures, the contents that have pieces, the number of chunks that
    // no piece uses, and the entries whose written-with values are stored
    // but out of range.
    virtual std::vector<std::string> store_problems() = 0;
    virtual std::vector<int64_t> piece_contents() = 0;
    virtual int64_t unused_chunks() = 0;
    virtual std::vector<EntryKey> entries_with_bad_attributes() = 0;
    // Within a write transaction: removes the chunks that no piece uses
    // and answers how many went. A chunk is staged with its piece in one
    // transaction, so one that no committed piece names is no one's.
    virtual int64_t drop_unused_chunks() = 0;
};

// Begins on construction; rolls back at scope end unless committed.
class Transaction {
public:
    Transaction(StoreSession &session, StoreSession::Kind kind) : session_(session) { session.begin(kind); }
    ~Transaction() {
        if (open_) session_.rollback();
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit() {
        session_.commit();
        open_ = false;
    }

private:
    StoreSession &session_;
    bool open_ = true;
};

// What a full check found of one entry: sound (its checksum and every
// chunk's agree with its bytes), unchecked (sound as far as its blocks show,
// but written before checksums were kept) or damaged, and why.
struct EntryVerdict {
    enum class State { sound, unchecked, damaged };
    EntryKey key;
    State state = State::sound;
    std::vector<std::string> problems;
};

struct Verification {
    std::vector<EntryVerdict> entries;
    // What is wrong outside any entry: the store's own structures, leftovers.
    std::vector<std::string> catalog_problems;
};

// A lock held until destroyed (an entry's, or a writer's own).
class HeldLock {
public:
    virtual ~HeldLock() = default;
};

class Store {
public:
    virtual ~Store() = default;
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    bool writable() const { return writable_; }
    // The catalog's format version; a writable store is always at the newest.
    int32_t format_version() const { return format_version_; }
    // The same for every handle on the same catalog, however it was named.
    const std::string &identity() const { return identity_; }
    // The catalog as messages name it (never with a password).
    const std::string &shown_name() const { return shown_name_; }

    // The session for catalog-level requests (made again when the store
    // lent its own to an entry handle).
    StoreSession &main() {
        if (!main_) main_ = acquire();
        return *main_;
    }
    // A session for an entry handle, from the pool or new.
    virtual std::unique_ptr<StoreSession> acquire() = 0;
    // Takes a session back; one still in a transaction is rolled back.
    virtual void give_back(std::unique_ptr<StoreSession> session) = 0;

    // The entry's lock, waiting for it as `wait` says while another handle
    // (of any process) holds it; taken with no transaction open on
    // `session`, and held on it. Throws CatalogError(kCatalogEntryInUse)
    // when the wait ends first.
    virtual std::unique_ptr<HeldLock> lock_entry(StoreSession &session, const EntryKey &key,
                                                 const std::string &what, const WaitPolicy &wait) = 0;
    // The writer's own lock, taken at once; while it is held, the writer
    // of `content` is alive.
    virtual std::unique_ptr<HeldLock> lock_writer(StoreSession &session, int64_t content) = 0;
    virtual bool writer_alive(StoreSession &session, int64_t content) = 0;

    // Whether writers through this store keep their chunks compressed
    // (when that saves space); reading is the same either way.
    bool compress_writes() const { return compress_writes_; }
    void set_compress_writes(bool compress) { compress_writes_ = compress; }

    // After a commit: any tidying the store does then (never waits).
    virtual void settle(StoreSession &) {}
    // Room kept for deletions on a full disk, given back when a deletion
    // finds the disk full; answers whether it freed any.
    virtual bool release_reserve() { return false; }

    // Within a write transaction: removes what dead writers of `key` (of
    // every entry when null) left behind, and tells whether a live writer
    // of it remains.
    bool reclaim_dead_writers(StoreSession &session, const EntryKey *key);

    // What a compaction collects first, in one write transaction: what
    // dead writers of every entry left behind, and chunks no piece uses.
    struct Leftovers {
        int64_t dead_writers = 0;
        int64_t unused_chunks = 0;
    };
    // Throws CatalogError(kCatalogEntryInUse), collecting nothing, while a
    // writer of the catalog (named so in the message) is alive: its staging is left alone, and a
    // compaction would hold up its next write.
    Leftovers collect_leftovers(const std::string &catalog_name);

    // A write through this store failed or was abandoned (so a catalog made
    // for it and left empty is not wanted).
    void note_failed_write() { failed_write_ = true; }
    bool failed_write() const { return failed_write_; }

    // A full check: every entry's pieces and chunks read back and checked
    // against their checksums, and the store's own structures (only the
    // one entry when `only` is given).
    Verification verify(const EntryKey *only = nullptr);
    // The problems verify() finds, together (empty when the catalog is sound).
    std::vector<std::string> check();

protected:
    Store(bool writable, std::string identity, std::string shown_name)
        : writable_(writable), identity_(std::move(identity)), shown_name_(std::move(shown_name)) {}

    bool writable_;
    int32_t format_version_ = 0;
    std::string identity_;
    std::string shown_name_;
    std::unique_ptr<StoreSession> main_;

private:
    bool failed_write_ = false;
    bool compress_writes_ = false;
};

}  // namespace zefhost::catalog
