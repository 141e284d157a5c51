#include "schema.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "catalog_error.h"

namespace zefhost::catalog {

namespace {

const char *const kSchema = R"sql(
CREATE TABLE entries(
    name TEXT NOT NULL,
    type TEXT NOT NULL,
    content INTEGER NOT NULL,
    description BLOB NOT NULL,
    created INTEGER NOT NULL,
    modified INTEGER NOT NULL,
    blocks INTEGER NOT NULL,
    bytes INTEGER NOT NULL,
    longest INTEGER NOT NULL,
    record_format INTEGER,
    lrecl INTEGER,
    encoding TEXT,
    checksum BLOB,
    stored_bytes INTEGER,
    file_time INTEGER,
    file_mode INTEGER,
    PRIMARY KEY(name, type)
) WITHOUT ROWID;
CREATE TABLE writers(
    content INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL,
    type TEXT NOT NULL,
    pid INTEGER NOT NULL,
    started INTEGER NOT NULL
);
CREATE INDEX writers_by_entry ON writers(name, type);
CREATE TABLE pieces(
    content INTEGER NOT NULL,
    ordinal INTEGER NOT NULL,
    first_block INTEGER NOT NULL,
    block_count INTEGER NOT NULL,
    bytes INTEGER NOT NULL,
    longest INTEGER NOT NULL,
    chunk INTEGER NOT NULL,
    checksum BLOB,
    codec INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY(content, ordinal)
) WITHOUT ROWID;
CREATE TABLE chunks(
    id INTEGER PRIMARY KEY,
    data BLOB NOT NULL
);
)sql";

// From version 1: what each version was written with (unknown for the
// versions already there).
const char *const kUpgradeFrom1 = R"sql(
ALTER TABLE entries ADD COLUMN record_format INTEGER;
ALTER TABLE entries ADD COLUMN lrecl INTEGER;
ALTER TABLE entries ADD COLUMN encoding TEXT;
)sql";

// From version 2: checksums, the space a version takes, the file a
// version was put from, and compressed chunks (none for what is there).
const char *const kUpgradeFrom2 = R"sql(
ALTER TABLE entries ADD COLUMN checksum BLOB;
ALTER TABLE entries ADD COLUMN stored_bytes INTEGER;
ALTER TABLE entries ADD COLUMN file_time INTEGER;
ALTER TABLE entries ADD COLUMN file_mode INTEGER;
ALTER TABLE pieces ADD COLUMN checksum BLOB;
ALTER TABLE pieces ADD COLUMN codec INTEGER NOT NULL DEFAULT 0;
)sql";

int64_t format_version(sql::Connection &connection) {
    sql::Use user_version(connection.cached("PRAGMA user_version"));
    return user_version->step() ? user_version->integer(0) : 0;
}

[[noreturn]] void not_a_catalog(const sql::Connection &connection, const std::string &why) {
    fail(zef::kCatalogDamaged, connection.path().string() + ": not a catalog: " + why);
}

void sync_directory(const std::filesystem::path &directory) {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

void configure(sql::Connection &connection, int busy_timeout_ms) {
    sqlite3_busy_timeout(connection.handle(), busy_timeout_ms);
    // NORMAL in WAL mode: a commit survives a killed process; the closes of
    // entries ask for FULL (sqlite.h) so that they also survive a lost machine.
    connection.exec("PRAGMA synchronous=NORMAL");
    // 4 MiB of page cache: a writer stages about a megabyte per
    // transaction, and a reader passes over each page of a chunk once, so
    // a larger cache only held more of a read entry in memory (16 MiB did,
    // for no gain measured in put or get).
    connection.exec("PRAGMA cache_size=-4096");
    // No memory map: a mapped catalog keeps every page a reader touched
    // resident, so reading a 100 MB entry held 115 MB; read() keeps a get at
    // about 33 MB, as fast within the noise of a loaded machine.
    connection.exec("PRAGMA mmap_size=0");
    // Checkpoint once the WAL holds about 64 MiB (not SQLite's 4 MiB), so
    // that a large entry is not copied into the database in small steps
    // while it is written, and keep the WAL file itself no larger after it.
    // Deleted rows are cleared where that costs no extra writing, but a
    // deleted entry's data pages are not rewritten with zeros: a deletion
    // then writes only the pages of its rows and the free list, so that it
    // still fits in a full disk's reserve (store.h).
    connection.exec("PRAGMA secure_delete=FAST");
    connection.exec("PRAGMA wal_autocheckpoint=4096");
    connection.exec("PRAGMA journal_size_limit=67108864");
}

int32_t verify_catalog(sql::Connection &connection) {
    int64_t application_id = 0;
    int64_t version = 0;
    int64_t tables = 0;
    try {
        sql::Use id(connection.cached("PRAGMA application_id"));
        if (id->step()) application_id = id->integer(0);
        version = format_version(connection);
        sql::Use count(connection.cached(
            "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND "
            "name IN ('entries', 'writers', 'pieces', 'chunks')"));
        if (count->step()) tables = count->integer(0);
    } catch (const CatalogError &e) {
        if (e.status() == zef::kCatalogEntryInUse) throw;
        not_a_catalog(connection, e.what());
    }
    if (application_id != kApplicationId) not_a_catalog(connection, "no catalog mark");
    if (version < kOldestFormatVersion || version > kFormatVersion)
        not_a_catalog(connection, "format version " + std::to_string(version));
    if (tables != 4) not_a_catalog(connection, "tables missing");
    return static_cast<int32_t>(version);
}

void upgrade_catalog(sql::Connection &connection) {
    sql::Transaction t(connection, sql::Transaction::Kind::durable_write);
    int64_t version = format_version(connection);
    if (version >= kFormatVersion) return;
    if (version <= 1) connection.exec(kUpgradeFrom1);
    if (version <= 2) connection.exec(kUpgradeFrom2);
    connection.exec(("PRAGMA user_version=" + std::to_string(kFormatVersion)).c_str());
    t.commit();
}

namespace {

// Removes a staging catalog and the files SQLite keeps beside it.
void remove_staging(const std::filesystem::path &staging) {
    std::error_code ec;
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        std::filesystem::path file = staging;
        file += suffix;
        std::filesystem::remove(file, ec);
    }
}

}  // namespace

void create_catalog(const std::filesystem::path &path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return;
    std::filesystem::path staging = path;
    staging += ".new-" + std::to_string(getpid());
    remove_staging(staging);
    try {
        sql::Connection connection(staging, sql::Connection::Access::create);
        // Chunks are ~64 KiB: 16 KiB pages store one in five overflow pages
        // (4 KiB pages would take seventeen, and as many WAL frames).
        // 64 KiB pages made a 100 MiB get 11% faster and a put 15% (a read
        // and a WAL frame a chunk), but a catalog's least size went from
        // 112 KiB to 448, and deleting a 100 MiB entry logs 960 KiB, not
        // 256: more than a full disk's reserve (store.h) holds.
        connection.exec("PRAGMA page_size=16384");
        connection.exec("PRAGMA journal_mode=WAL");
        connection.exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
        connection.exec(("PRAGMA user_version=" + std::to_string(kFormatVersion)).c_str());
        connection.exec("BEGIN IMMEDIATE");
        connection.exec(kSchema);
        connection.exec("COMMIT");
        // The log folded into the file here, where a failure is seen:
        // closing folds it too, but says nothing when the disk is full,
        // and the staging file, half folded, would take the catalog's
        // name without its log.
        int log = -1, folded = -1;
        int rc = sqlite3_wal_checkpoint_v2(connection.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, &log, &folded);
        if (rc != SQLITE_OK) connection.fail(rc, "checkpoint");
        if (log != folded) connection.fail(SQLITE_IOERR, "checkpoint");
    } catch (const CatalogError &e) {
        remove_staging(staging);
        // A full disk or a failing one is said as such, not as damage.
        fail(e.status() == zef::kCatalogIoFailure ? e.status() : zef::kCatalogDamaged,
             path.string() + ": cannot be created: " + e.what());
    }
    // The connection is closed: its WAL is checkpointed into the file and gone.
    int fd = ::open(staging.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    if (::link(staging.c_str(), path.c_str()) != 0 && errno != EEXIST) {
        int error = errno;
        remove_staging(staging);
        fail(zef::kCatalogDamaged,
             path.string() + ": cannot be created: " + std::strerror(error));
    }
    remove_staging(staging);
    sync_directory(path.parent_path());
}

}  // namespace zefhost::catalog
