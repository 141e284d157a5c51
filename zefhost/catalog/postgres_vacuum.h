// Compacting a database library: its catalogs share the schema's tables,
// so compacting one catalog rewrites the tables of all (VACUUM (FULL), a
// table at a time). Each table is locked against every other session while
// it is rewritten; a session that reads or writes it meanwhile makes the
// compaction wait, up to the busy timeout, and then give up.
#pragma once

#include <string>
#include <vector>

#include "library_store.h"
#include "postgres_store.h"

namespace zefhost::catalog {

// The bytes of the library's tables, with their indexes and out-of-line
// values (pg_total_relation_size).
int64_t library_table_bytes(pg::Connection &connection, const std::string &schema);

// Collects the leftovers of `catalogs` (every catalog of the library when
// empty), then compacts the library's tables; see LibraryStore::vacuum.
LibraryStore::Compaction vacuum_database_library(const DatabasePlace &place, std::vector<std::string> catalogs);

}  // namespace zefhost::catalog
