#include "sqlite_vacuum.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "catalog_error.h"
#include "sqlite_store.h"
#include "writer_lock.h"

namespace zefhost::catalog {

namespace {

int64_t file_bytes(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

// Where SQLite makes the temporary database that VACUUM builds: the first
// of these that is a directory it may write and search.
std::filesystem::path temporary_directory() {
    std::vector<const char *> candidates{std::getenv("SQLITE_TMPDIR"), std::getenv("TMPDIR"), "/var/tmp",
                                         "/usr/tmp", "/tmp"};
    for (const char *candidate : candidates) {
        struct stat st {};
        if (candidate == nullptr || ::stat(candidate, &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (::access(candidate, W_OK | X_OK) == 0) return candidate;
    }
    return ".";
}

struct Room {
    unsigned long file_system = 0;
    int64_t free = 0;
};

Room room_in(const std::filesystem::path &directory) {
    struct statvfs vfs {};
    // Unknown: SQLite's own failure is then the answer.
    if (::statvfs(directory.c_str(), &vfs) != 0) return Room{0, INT64_MAX / 4};
    return Room{vfs.f_fsid, static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize)};
}

int64_t pragma_integer(sql::Connection &c, const char *pragma) {
    sql::Use s(c.cached(pragma));
    return s->step() ? s->integer(0) : 0;
}

std::string mib(int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

// VACUUM writes a copy of the catalog's data twice: into a temporary
// database, then into the write-ahead log beside the catalog. Each with a
// margin for the log's frame headers and the pages of the schema.
void require_room(sql::Connection &c, const std::filesystem::path &file, const std::string &name) {
    int64_t page = pragma_integer(c, "PRAGMA page_size");
    int64_t data = page * (pragma_integer(c, "PRAGMA page_count") - pragma_integer(c, "PRAGMA freelist_count"));
    int64_t copy = data + data / 64 + (1 << 20);
    std::filesystem::path directory = file.parent_path().empty() ? "." : file.parent_path();
    std::filesystem::path temporary = temporary_directory();
    Room beside = room_in(directory), scratch = room_in(temporary);
    bool shared = beside.file_system == scratch.file_system;
    auto refuse = [&](const std::filesystem::path &where, int64_t needed, int64_t free) {
        fail(zef::kCatalogIoFailure, "not enough free space to compact " + name + ": it needs about " + mib(needed) +
                                         " free in " + where.string() + ", which has " + mib(free) +
                                         "; nothing was changed");
    };
    if (shared && beside.free < 2 * copy) refuse(directory, 2 * copy, beside.free);
    if (beside.free < copy) refuse(directory, copy, beside.free);
    if (scratch.free < copy) refuse(temporary, copy, scratch.free);
}

// Folds the write-ahead log into the file and truncates it. Readers of
// other processes that still need the log keep it from doing so: it tries
// again until the busy timeout passes, without waiting inside SQLite,
// which would hold every writer up meanwhile. Throws
// CatalogError(kCatalogEntryInUse) with `what` when the time passes first.
void fold_log(sql::Connection &c, int busy_timeout_ms, const std::string &what) {
    auto try_fold = [&c] {
        int rc = sqlite3_wal_checkpoint_v2(c.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        if (rc == SQLITE_OK) return true;
        if ((rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED) c.fail(rc, "checkpoint");
        return false;
    };
    sqlite3_busy_timeout(c.handle(), 0);
    try {
        wait_for_turn(WaitPolicy{std::chrono::milliseconds(busy_timeout_ms), {}}, what, try_fold);
    } catch (...) {
        sqlite3_busy_timeout(c.handle(), busy_timeout_ms);
        throw;
    }
    sqlite3_busy_timeout(c.handle(), busy_timeout_ms);
}

}  // namespace

int64_t catalog_file_bytes(const std::filesystem::path &file) {
    return file_bytes(file.string()) + file_bytes(file.string() + "-wal");
}

LibraryStore::Compaction vacuum_catalog_file(const std::filesystem::path &file, const std::string &name,
                                             int busy_timeout_ms) {
    SqliteStore store(file, true, busy_timeout_ms);
    LibraryStore::Compaction done;
    done.before = catalog_file_bytes(file);
    done.collected = store.collect_leftovers(name);
    sql::Connection &c = store.main_connection();
    // A log that cannot be folded in means another process reads an older
    // state of the catalog: a compaction could not shrink the file.
    fold_log(c, busy_timeout_ms, "catalog " + name + " is in use by another process that reads an older state "
                                 "of it; vacuum must wait: try again when that process is done");
    require_room(c, file, name);
    if (int rc = sqlite3_exec(c.handle(), "VACUUM", nullptr, nullptr, nullptr); rc != SQLITE_OK) {
        std::string why = sqlite3_errmsg(c.handle());
        // The compaction was rolled back; what it wrote into the log goes
        // (now, or with the next writer's checkpoint).
        sqlite3_busy_timeout(c.handle(), 0);
        sqlite3_wal_checkpoint_v2(c.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        sqlite3_busy_timeout(c.handle(), busy_timeout_ms);
        if ((rc & 0xFF) == SQLITE_FULL)
            fail(zef::kCatalogIoFailure, "the disk filled up while compacting " + name + "; the catalog is as it was");
        if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED)
            fail(zef::kCatalogEntryInUse, "catalog " + name + " is being written by another process; vacuum "
                                          "must wait: try again when it is done");
        fail(sql::status_for(rc), file.string() + ": " + why);
    }
    fold_log(c, busy_timeout_ms, "catalog " + name + " was compacted, but another process still reads it, so "
                                 "its file cannot shrink yet; vacuum must wait: try again when that process is done");
    store.keep_reserve();
    done.after = catalog_file_bytes(file);
    return done;
}

}  // namespace zefhost::catalog
