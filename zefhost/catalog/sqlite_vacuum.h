// Compacting a catalog file: SQLite's VACUUM rebuilds the file without the
// pages that deleted and replaced versions left free, in place (through the
// write-ahead log, so that a process that has the file open keeps reading
// and writing the same file), and a checkpoint then folds the log into the
// file and truncates both.
#pragma once

#include <filesystem>
#include <string>

#include "library_store.h"

namespace zefhost::catalog {

// The bytes a catalog file takes with its write-ahead log (the fixed
// reserve beside it and SQLite's shared-memory index are not counted).
int64_t catalog_file_bytes(const std::filesystem::path &file);

// Compacts the catalog file `file`, named `name` (LIB.CAT) in messages;
// see LibraryStore::vacuum. Refuses before it changes anything when the
// file system of the catalog, or of SQLite's temporary files, has too
// little room for a copy of the catalog's data.
LibraryStore::Compaction vacuum_catalog_file(const std::filesystem::path &file, const std::string &name,
                                             int busy_timeout_ms);

}  // namespace zefhost::catalog
