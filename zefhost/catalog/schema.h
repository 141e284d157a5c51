// The catalog file format. A catalog is one SQLite database in WAL mode
// with 16 KiB pages, marked by its application id and format version:
//
//   entries  (name, type) -> the committed content and the entry's metadata,
//            with what the version was written with (version_attributes.h;
//            NULL when unknown)
//   writers  one row per open writer: the content id it stages under, whose
//            AUTOINCREMENT hands out every content id (never reused)
//   pieces   (content, ordinal) -> one chunk of a content: its first block
//            index, block count, payload bytes, longest block and chunk row
//   chunks   id -> the packed blocks (chunk.h)
//
// A content is the ordered list of its pieces. Readers see only contents
// that an entry row names; a writer's staged pieces sit under its own
// content id until its close makes them the entry's in one transaction.
//
// Beside "<name>.zcat" SQLite keeps "-wal" and "-shm" files while the
// catalog is in use, and writers lock bytes of "<name>.zcat-writers"
// (writer_lock.h); those go when the last process using the catalog closes
// it (sqlite_store.h). "<name>.zcat-reserve" is room kept for deletions on
// a full disk, and stays with the catalog. Only the .zcat file holds data.
#pragma once

#include <cstdint>
#include <filesystem>

#include "sqlite.h"

namespace zefhost::catalog {

inline constexpr int32_t kApplicationId = 0x5A434154;  // "ZCAT"
// Version 2 added the written-with columns of `entries`; version 3 the
// checksums, stored sizes, file times and modes, and compressed chunks. An
// older catalog opened for writing is brought to the newest at once;
// opened only for reading, it is read as it is, what it lacks unknown.
inline constexpr int32_t kFormatVersion = 3;
inline constexpr int32_t kOldestFormatVersion = 1;

// Sets the connection's everyday pragmas (busy wait, safety level, cache).
void configure(sql::Connection &connection, int busy_timeout_ms);

// Throws CatalogError(kCatalogDamaged) unless the connection's file is a
// catalog of a format this code reads (checks the file is SQLite, its marks
// and tables); its format version.
int32_t verify_catalog(sql::Connection &connection);

// Brings a catalog of an older format version to kFormatVersion, in one
// write transaction (another process may have done it meanwhile). Throws
// CatalogError.
void upgrade_catalog(sql::Connection &connection);

// Creates an empty catalog at `path` unless a file is already there. The
// catalog is built under a temporary name and linked into place, so no
// process ever sees a half-made catalog; when two processes race, one file
// wins and both use it.
void create_catalog(const std::filesystem::path &path);

}  // namespace zefhost::catalog
