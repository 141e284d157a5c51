#include "sqlite_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <iterator>
#include <map>
#include <set>

#include "catalog_error.h"
#include "chunk.h"
#include "entry_layout.h"
#include "schema.h"

namespace zefhost::catalog {

namespace {

constexpr size_t kIdleConnections = 4;
// Enough log for deleting any entry: the pages a deletion changes are its
// rows' and the free-list's, not the entry's data.
constexpr off_t kReserveBytes = 512 * 1024;

// The queries of entry rows and pieces as each format version holds them
// (index: version - 1); what an older version lacks reads as unknown.
#define ZEF_ENTRY_V1 "content, description, created, modified, blocks, bytes, longest, "
#define ZEF_ENTRY_V2 ZEF_ENTRY_V1 "record_format, lrecl, encoding, "
#define ZEF_ENTRY_QUERIES(columns)                                                  \
    "SELECT " columns " FROM entries WHERE name = ?1 AND type = ?2",                \
        "SELECT name, type, " columns " FROM entries ORDER BY name, type"
#define ZEF_PIECES_QUERY(columns)                                                          \
    "SELECT p.ordinal, p.first_block, p.block_count, p.bytes, p.longest, p.chunk, "        \
    "CASE typeof(c.data) WHEN 'blob' THEN length(c.data) ELSE -1 END, " columns " "       \
    "FROM pieces AS p LEFT JOIN chunks AS c ON c.id = p.chunk WHERE p.content = ?1 ORDER BY p.ordinal"
struct Queries {
    const char *entry;
    const char *entries;
    const char *pieces;
};
const Queries kQueries[] = {
    {ZEF_ENTRY_QUERIES(ZEF_ENTRY_V1 "NULL, NULL, NULL, NULL, NULL, NULL, NULL"), ZEF_PIECES_QUERY("NULL, 0")},
    {ZEF_ENTRY_QUERIES(ZEF_ENTRY_V2 "NULL, NULL, NULL, NULL"), ZEF_PIECES_QUERY("NULL, 0")},
    {ZEF_ENTRY_QUERIES(ZEF_ENTRY_V2 "checksum, stored_bytes, file_time, file_mode"),
     ZEF_PIECES_QUERY("p.checksum, p.codec")},
};
#undef ZEF_PIECES_QUERY
#undef ZEF_ENTRY_QUERIES
#undef ZEF_ENTRY_V2
#undef ZEF_ENTRY_V1
static_assert(std::size(kQueries) == kFormatVersion);

const Queries &queries(int32_t format_version) {
    return kQueries[std::clamp(format_version, kOldestFormatVersion, kFormatVersion) - 1];
}

// The written-with columns that follow an entry row's.
std::optional<VersionAttributes> attributes_from(const sql::Statement &s, int first) {
    if (!s.is_integer(first) || !s.is_integer(first + 1) || !s.is_text(first + 2)) return std::nullopt;
    std::optional<VersionAttributes> a = checked_attributes(s.integer(first), s.integer(first + 1), s.text(first + 2));
    if (a && s.is_integer(first + 5)) a->file_time = s.integer(first + 5);
    if (a && s.is_integer(first + 6)) a->file_mode = checked_file_mode(s.integer(first + 6));
    return a;
}

Checksum checksum_from(const sql::Statement &s, int column) {
    if (s.is_null(column)) return Checksum{};
    std::span<const uint8_t> bytes = s.is_blob(column) ? s.blob(column) : std::span<const uint8_t>();
    return Checksum::stored(bytes.data(), bytes.size(), false);
}

// An entry row read through entry_columns(), from column `first`.
EntryRow row_from(const sql::Statement &s, int first) {
    EntryRow row;
    row.content = s.integer(first);
    auto description = s.blob(first + 1);
    row.description.assign(description.begin(), description.end());
    row.created = s.integer(first + 2);
    row.modified = s.integer(first + 3);
    row.blocks = s.integer(first + 4);
    row.bytes = s.integer(first + 5);
    row.longest = s.integer(first + 6);
    row.attributes = attributes_from(s, first + 7);
    row.checksum = checksum_from(s, first + 10);
    row.stored_bytes = s.is_integer(first + 11) ? s.integer(first + 11) : -1;
    return row;
}

}  // namespace

namespace {

bool may_write(const std::filesystem::path &path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

std::filesystem::path beside(const std::filesystem::path &file, const char *suffix) {
    std::filesystem::path path = file;
    path += suffix;
    return path;
}

sql::Connection::Access access_for(const std::filesystem::path &file, bool writable) {
    using Access = sql::Connection::Access;
    if (writable) return Access::read_write;
    bool directory = may_write(file.parent_path().empty() ? "." : file.parent_path());
    if (directory && may_write(file)) return Access::read_write;
    // SQLite cannot make its -wal and -shm files here. With no -wal the
    // file holds every committed entry and can be read as it stands; with
    // one, someone is writing, and SQLite reads through it if it can.
    std::error_code ec;
    if (!directory && !std::filesystem::exists(beside(file, "-wal"), ec)) return Access::immutable;
    return Access::read_only;
}

}  // namespace


// ------------------------------------------------------------------ session --

SqliteSession::~SqliteSession() {
    release_chunk();
    rollback();
}

void SqliteSession::begin(Kind kind) {
    sql::Connection &c = *connection_;
    c.refuse_if_foreign();
    durable_ = kind == Kind::durable_write;
    // SQLite lets the safety level change only outside a transaction.
    if (durable_) c.exec("PRAGMA synchronous=FULL");
    int rc = sqlite3_exec(c.handle(), kind == Kind::read ? "BEGIN" : "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        rollback();
        c.fail(rc, "begin");
    }
    if (kind != Kind::read && written_) {
        // A catalog removed (or replaced) while this connection was open is
        // still there for it, and SQLite commits into the unlinked file as
        // if nothing had happened: a version closed there would be lost,
        // reported as written. Removal unlinks the file while it holds the
        // write lock, so under the lock the name tells the truth.
        struct stat st {};
        if (::stat(c.path().c_str(), &st) != 0 || FileId{st.st_dev, st.st_ino} != *written_) {
            rollback();
            fail(zef::kCatalogMissing, "catalog file " + c.path().string() + " was removed while it was open");
        }
    }
    if (kind == Kind::read && format_version_ < kFormatVersion) {
        // A writer elsewhere may have brought the catalog up to date since
        // this session looked, and written what only the new columns
        // describe (checksums, compressed chunks): read in this
        // transaction, whose snapshot the header's read begins.
        try {
            sql::Use version(c.cached("PRAGMA user_version"));
            int64_t found = version->step() ? version->integer(0) : 0;
            format_version_ = static_cast<int32_t>(std::clamp<int64_t>(found, format_version_, kFormatVersion));
        } catch (...) {
            rollback();
            throw;
        }
    }
}

void SqliteSession::commit() {
    connection_->refuse_if_foreign();
    int rc = sqlite3_exec(connection_->handle(), "COMMIT", nullptr, nullptr, nullptr);
    // A failed COMMIT may leave the transaction open; the caller's rollback
    // ends it.
    if (rc != SQLITE_OK) connection_->fail(rc, "commit");
    rollback();
}

// Ends a transaction still open and puts the connection back to its
// everyday safety level.
void SqliteSession::rollback() noexcept {
    if (connection_->foreign()) return;
    if (connection_->in_transaction())
        sqlite3_exec(connection_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    if (durable_) sqlite3_exec(connection_->handle(), "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    durable_ = false;
}

std::optional<EntryRow> SqliteSession::entry(const EntryKey &key) {
    sql::Use s(connection_->cached(queries(format_version_).entry));
    s->bind(1, key.name).bind(2, key.type);
    if (!s->step()) return std::nullopt;
    return row_from(*s, 0);
}

std::vector<EntryInfo> SqliteSession::entries() {
    sql::Use s(connection_->cached(queries(format_version_).entries));
    std::vector<EntryInfo> out;
    while (s->step()) out.push_back(EntryInfo{EntryKey{s->text(0), s->text(1)}, row_from(*s, 2)});
    return out;
}

std::vector<EntryKey> SqliteSession::keys(const std::string &type_filter) {
    sql::Use s(connection_->cached("SELECT name, type FROM entries WHERE ?1 IS NULL OR type = ?1 "
                                   "ORDER BY name, type"));
    if (!type_filter.empty()) s->bind(1, type_filter);
    std::vector<EntryKey> out;
    while (s->step()) out.push_back(EntryKey{s->text(0), s->text(1)});
    return out;
}

std::vector<Piece> SqliteSession::pieces(int64_t content) {
    // typeof() and length() of a blob are read from the row's header: the
    // chunk itself is not loaded. A chunk that is not a blob counts as missing.
    sql::Use s(connection_->cached(queries(format_version_).pieces));
    s->bind(1, content);
    std::vector<Piece> out;
    while (s->step()) {
        Piece p{s->integer(0), s->integer(1), s->integer(2), s->integer(3), s->integer(4), s->integer(5),
                s->integer(6), Checksum{}, kChunkPlain};
        p.checksum = checksum_from(*s, 7);
        // A codec this code does not know is kept as it is: the chunk is
        // then refused as damaged when it is read.
        p.codec = static_cast<int32_t>(std::clamp<int64_t>(s->integer(8), INT32_MIN, INT32_MAX));
        out.push_back(p);
    }
    return out;
}

std::optional<std::span<const uint8_t>> SqliteSession::load_chunk(int64_t chunk, std::span<const Piece>) {
    release_chunk();
    chunk_ = &connection_->cached("SELECT data FROM chunks WHERE id = ?1");
    chunk_->bind(1, chunk);
    // Straight from SQLite's copy of the row, valid until the reset.
    if (!chunk_->step()) return std::nullopt;
    return chunk_->blob(0);
}

void SqliteSession::release_chunk() noexcept {
    if (chunk_ != nullptr) chunk_->reset();
    chunk_ = nullptr;
}

void SqliteSession::put_entry(const EntryKey &key, const EntryRow &row) {
    sql::Use s(connection_->cached("INSERT OR REPLACE INTO entries(name, type, content, description, created, "
                                   "modified, blocks, bytes, longest, record_format, lrecl, encoding, "
                                   "checksum, stored_bytes, file_time, file_mode) "
                                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16)"));
    s->bind(1, key.name).bind(2, key.type).bind(3, row.content);
    s->bind_blob(4, row.description.data(), row.description.size());
    s->bind(5, row.created).bind(6, row.modified).bind(7, row.blocks).bind(8, row.bytes);
    s->bind(9, row.longest);
    // What is not known stays NULL (unbound parameters are NULL).
    if (const std::optional<VersionAttributes> &a = row.attributes) {
        s->bind(10, static_cast<int64_t>(a->record_format));
        s->bind(11, a->lrecl).bind(12, a->encoding);
        if (a->file_time) s->bind(15, *a->file_time);
        if (a->file_mode) s->bind(16, static_cast<int64_t>(*a->file_mode));
    }
    if (row.checksum.present()) s->bind_blob(13, row.checksum.bytes.data(), row.checksum.bytes.size());
    if (row.stored_bytes >= 0) s->bind(14, row.stored_bytes);
    s->run();
}

void SqliteSession::delete_entry_row(const EntryKey &key) {
    sql::Use s(connection_->cached("DELETE FROM entries WHERE name = ?1 AND type = ?2"));
    s->bind(1, key.name).bind(2, key.type).run();
}

void SqliteSession::drop_content(int64_t content) {
    {
        sql::Use s(connection_->cached("DELETE FROM chunks WHERE id IN (SELECT chunk FROM pieces WHERE content = ?1)"));
        s->bind(1, content).run();
    }
    sql::Use s(connection_->cached("DELETE FROM pieces WHERE content = ?1"));
    s->bind(1, content).run();
}

int64_t SqliteSession::stage_piece(int64_t content, const Piece &piece, std::span<const uint8_t> bytes,
                                   int64_t replaced_chunk) {
    sql::Connection &c = *connection_;
    int64_t chunk = 0;
    {
        sql::Use s(c.cached("INSERT INTO chunks(data) VALUES(?1)"));
        s->bind_blob(1, bytes.data(), bytes.size()).run();
        chunk = c.last_insert_rowid();
    }
    if (replaced_chunk != 0) {
        sql::Use s(c.cached("DELETE FROM chunks WHERE id = ?1"));
        s->bind(1, replaced_chunk).run();
    }
    sql::Use s(c.cached("INSERT OR REPLACE INTO pieces(content, ordinal, first_block, block_count, "
                        "bytes, longest, chunk, checksum, codec) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"));
    s->bind(1, content).bind(2, piece.ordinal).bind(3, piece.first_block);
    s->bind(4, piece.block_count).bind(5, piece.bytes).bind(6, piece.longest).bind(7, chunk);
    if (piece.checksum.present()) s->bind_blob(8, piece.checksum.bytes.data(), piece.checksum.bytes.size());
    s->bind(9, int64_t{piece.codec}).run();
    return chunk;
}

void SqliteSession::merge_content(int64_t staged, int64_t content) {
    sql::Connection &c = *connection_;
    {
        sql::Use s(c.cached("DELETE FROM chunks WHERE id IN (SELECT old.chunk FROM pieces AS old "
                            "JOIN pieces AS new ON new.ordinal = old.ordinal "
                            "WHERE old.content = ?1 AND new.content = ?2)"));
        s->bind(1, content).bind(2, staged).run();
    }
    {
        sql::Use s(c.cached("INSERT OR REPLACE INTO pieces(content, ordinal, first_block, block_count, "
                            "bytes, longest, chunk, checksum, codec) SELECT ?1, ordinal, first_block, "
                            "block_count, bytes, longest, chunk, checksum, codec FROM pieces WHERE content = ?2"));
        s->bind(1, content).bind(2, staged).run();
    }
    sql::Use s(c.cached("DELETE FROM pieces WHERE content = ?1"));
    s->bind(1, staged).run();
}

int64_t SqliteSession::add_writer(const EntryKey &key) {
    sql::Use s(connection_->cached("INSERT INTO writers(name, type, pid, started) VALUES(?1, ?2, ?3, ?4)"));
    s->bind(1, key.name).bind(2, key.type).bind(3, static_cast<int64_t>(getpid()));
    s->bind(4, now_microseconds()).run();
    return connection_->last_insert_rowid();
}

void SqliteSession::remove_writer(int64_t content) {
    sql::Use s(connection_->cached("DELETE FROM writers WHERE content = ?1"));
    s->bind(1, content).run();
}

std::vector<int64_t> SqliteSession::writers(const EntryKey *key) {
    sql::Use s(key ? connection_->cached("SELECT content FROM writers WHERE name = ?1 AND type = ?2")
                   : connection_->cached("SELECT content FROM writers"));
    if (key) s->bind(1, key->name).bind(2, key->type);
    std::vector<int64_t> contents;
    while (s->step()) contents.push_back(s->integer(0));
    return contents;
}

bool SqliteSession::empty() {
    sql::Use s(connection_->cached("SELECT (SELECT count(*) FROM entries) + (SELECT count(*) FROM writers)"));
    return s->step() && s->integer(0) == 0;
}

std::vector<std::string> SqliteSession::store_problems() {
    std::vector<std::string> problems;
    sql::Use s(connection_->cached("PRAGMA quick_check"));
    while (s->step())
        if (s->text(0) != "ok") problems.push_back("store: " + s->text(0));
    return problems;
}

std::vector<int64_t> SqliteSession::piece_contents() {
    sql::Use s(connection_->cached("SELECT DISTINCT content FROM pieces"));
    std::vector<int64_t> out;
    while (s->step()) out.push_back(s->integer(0));
    return out;
}

int64_t SqliteSession::unused_chunks() {
    sql::Use s(connection_->cached("SELECT count(*) FROM chunks WHERE id NOT IN (SELECT chunk FROM pieces)"));
    return s->step() ? s->integer(0) : 0;
}

int64_t SqliteSession::drop_unused_chunks() {
    sql::Use s(connection_->cached("DELETE FROM chunks WHERE id NOT IN (SELECT chunk FROM pieces)"));
    s->run();
    return sqlite3_changes64(connection_->handle());
}

std::vector<EntryKey> SqliteSession::entries_with_bad_attributes() {
    std::vector<EntryKey> out;
    if (format_version_ < 2) return out;
    sql::Use s(connection_->cached(format_version_ < 3
        ? "SELECT name, type, record_format, lrecl, encoding, NULL, NULL, NULL, NULL FROM entries "
          "WHERE record_format IS NOT NULL OR lrecl IS NOT NULL OR encoding IS NOT NULL"
        : "SELECT name, type, record_format, lrecl, encoding, NULL, NULL, file_time, file_mode FROM entries "
          "WHERE record_format IS NOT NULL OR lrecl IS NOT NULL OR encoding IS NOT NULL "
          "OR file_time IS NOT NULL OR file_mode IS NOT NULL"));
    while (s->step()) {
        std::optional<VersionAttributes> a = attributes_from(*s, 2);
        bool bad_time = !s->is_null(7) && !s->is_integer(7);
        bool bad_mode = !s->is_null(8) && !(a && a->file_mode);
        if (!a || bad_time || bad_mode) out.push_back(EntryKey{s->text(0), s->text(1)});
    }
    return out;
}

// -------------------------------------------------------------------- store --

namespace {

class FileLock final : public HeldLock {
public:
    template <typename... Args>
    explicit FileLock(Args &&...args) : lock_(std::forward<Args>(args)...) {}

private:
    ByteLock lock_;
};

}  // namespace

std::string SqliteStore::identity_of(FileId id) {
    return "file " + std::to_string(id.device) + ":" + std::to_string(id.inode);
}

SqliteStore::SqliteStore(std::filesystem::path file, bool writable, int busy_timeout_ms)
    : Store(writable, "", file.string()),
      file_(std::move(file)),
      access_(access_for(file_, writable)),
      busy_timeout_ms_(busy_timeout_ms),
      owner_(getpid()) {
    // Held before the catalog is opened, so that an empty catalog is never
    // removed under a writer (remove_if_empty).
    if (writable_) lock_file_.emplace(file_);
    // The file as its name leads now, and again once the connection is
    // open: should the catalog be removed and made anew in between, the
    // connection might hold the old file while the check before each write
    // compares with the new one.
    struct stat before {};
    bool named = ::stat(file_.c_str(), &before) == 0;
    if (writable_ && !named) fail(zef::kCatalogMissing, file_.string() + ": removed meanwhile");
    std::unique_ptr<sql::Connection> main;
    try {
        main = open_connection();
        format_version_ = verify_catalog(*main);
    } catch (const CatalogError &e) {
        // On a full disk SQLite cannot make its -shm and -wal: the reserve
        // makes the room, so that entries can still be deleted.
        main.reset();
        if (e.status() != zef::kCatalogIoFailure || access_ != sql::Connection::Access::read_write ||
            !release_reserve())
            throw;
        main = open_connection();
        format_version_ = verify_catalog(*main);
    }
    if (writable_ && format_version_ < kFormatVersion) {
        upgrade_catalog(*main);
        format_version_ = verify_catalog(*main);
    }
    if (writable_) {
        // Read, and the statement reset, before the change: SQLite refuses
        // to change the journal while a statement is still under way.
        bool wal = false;
        {
            sql::Use mode(main->cached("PRAGMA journal_mode"));
            wal = mode->step() && mode->text(0) == "wal";
        }
        if (!wal) main->exec("PRAGMA journal_mode=WAL");
    }
    struct stat st {};
    if (::stat(file_.c_str(), &st) == 0) id_ = FileId{st.st_dev, st.st_ino};
    if (!named || id_ != FileId{before.st_dev, before.st_ino})
        fail(zef::kCatalogMissing, file_.string() + ": removed or replaced while it was opened");
    identity_ = identity_of(id_);
    main_ = std::make_unique<SqliteSession>(std::move(main), format_version_, written());
}

void SqliteStore::remove_if_empty(const std::filesystem::path &file) {
    LockFile::with_sole_use(file, [&file] {
        // Looked at again under the lock: another process may have written
        // since this one looked.
        bool is_empty = false;
        {
            SqliteSession session(std::make_unique<sql::Connection>(file, sql::Connection::Access::read_write),
                                  kFormatVersion);
            is_empty = session.empty();
        }
        if (!is_empty) return;
        for (const char *suffix : {"", "-wal", "-shm", "-reserve"}) ::unlink(beside(file, suffix).c_str());
    });
}

SqliteStore::~SqliteStore() {
    idle_.clear();
    main_.reset();
    bool had_locks = lock_file_.has_value();
    lock_file_.reset();
    // A child made by fork() leaves its parent's files alone.
    if ((had_locks || access_ == sql::Connection::Access::read_write) && getpid() == owner_)
        LockFile::remove_if_unused(file_);
}

std::unique_ptr<sql::Connection> SqliteStore::open_connection() {
    auto connection = std::make_unique<sql::Connection>(file_, access_);
    configure(*connection, busy_timeout_ms_);
    // Reading through a read-write connection: nothing may write by mistake.
    if (!writable_ && access_ == sql::Connection::Access::read_write) connection->exec("PRAGMA query_only=1");
    return connection;
}

LockFile &SqliteStore::locks() {
    if (!lock_file_) lock_file_.emplace(file_);
    return *lock_file_;
}

std::unique_ptr<HeldLock> SqliteStore::lock_entry(StoreSession &, const EntryKey &key, const std::string &what,
                                                  const WaitPolicy &wait) {
    return std::make_unique<FileLock>(locks(), entry_byte(key), what, wait);
}

std::unique_ptr<HeldLock> SqliteStore::lock_writer(StoreSession &, int64_t content) {
    return std::make_unique<FileLock>(locks(), writer_byte(content), "writer " + std::to_string(content) + " is alive");
}

bool SqliteStore::writer_alive(StoreSession &, int64_t content) { return byte_held(locks(), writer_byte(content)); }

void SqliteStore::settle(StoreSession &session) {
    sql::Connection &c = static_cast<SqliteSession &>(session).connection();
    if (access_ != sql::Connection::Access::read_write || c.in_transaction() || c.foreign()) return;
    sqlite3_busy_timeout(c.handle(), 0);
    int rc = sqlite3_wal_checkpoint_v2(c.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(c.handle(), busy_timeout_ms_);
    if (rc == SQLITE_OK) keep_reserve();
}

// The reserve is a file of its own: the catalog file is never opened
// beside SQLite (closing such a descriptor would drop every lock SQLite
// holds on the file in this process), and giving the room back cannot
// touch pages that another process is writing.
void SqliteStore::keep_reserve() {
    std::filesystem::path reserve = reserve_file(file_);
    struct stat st {};
    if (::stat(reserve.c_str(), &st) == 0 && st.st_blocks * 512 >= kReserveBytes) return;
    int fd = ::open(reserve.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return;
    // Best effort: where the file system cannot, there is no reserve.
    ::fallocate(fd, 0, 0, kReserveBytes);
    ::close(fd);
}

bool SqliteStore::release_reserve() {
    std::filesystem::path reserve = reserve_file(file_);
    struct stat st {};
    if (::lstat(reserve.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_blocks == 0) return false;
    return ::unlink(reserve.c_str()) == 0;
}

std::filesystem::path reserve_file(const std::filesystem::path &catalog_file) { return beside(catalog_file, "-reserve"); }

std::unique_ptr<StoreSession> SqliteStore::acquire() {
    if (idle_.empty()) return std::make_unique<SqliteSession>(open_connection(), format_version_, written());
    auto session = std::move(idle_.back());
    idle_.pop_back();
    return session;
}

void SqliteStore::give_back(std::unique_ptr<StoreSession> session) {
    if (!session) return;
    session->release_chunk();
    session->rollback();
    if (idle_.size() < kIdleConnections) idle_.push_back(std::move(session));
}

}  // namespace zefhost::catalog
