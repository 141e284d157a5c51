#include "postgres_vacuum.h"

#include "catalog_error.h"
#include "postgres_schema.h"

namespace zefhost::catalog {

namespace {

// The largest first: it gives back the most.
const char *const kTables[] = {"chunks", "pieces", "entries", "writers", "catalogs", "zef_format"};

// Whether a writer of any catalog of the library is alive: each holds its
// writer lock, and every writer lock of a schema shares its first key.
bool any_writer_alive(pg::Connection &connection, const std::string &schema) {
    pg::Result r = connection.run(
        "SELECT EXISTS (SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND granted AND objsubid = 2 "
        "AND database = (SELECT oid FROM pg_database WHERE datname = current_database()) "
        "AND classid = $1::int4::oid)",
        {writer_keys(schema, 0).space});
    return r.rows() == 1 && r.text(0, 0) == "t";
}

// VACUUM of a table whose owner one is not does nothing but warn.
bool owns_tables(pg::Connection &connection, const std::string &schema) {
    pg::Result r = connection.run(
        "SELECT coalesce(bool_and(pg_has_role(c.relowner, 'USAGE')), true) FROM pg_class AS c "
        "JOIN pg_namespace AS n ON n.oid = c.relnamespace WHERE n.nspname = $1 AND c.relkind = 'r'",
        {schema});
    return r.rows() == 1 && r.text(0, 0) == "t";
}

}  // namespace

int64_t library_table_bytes(pg::Connection &connection, const std::string &schema) {
    pg::Result r = connection.run(
        "SELECT coalesce(sum(pg_total_relation_size(c.oid)), 0)::bigint FROM pg_class AS c "
        "JOIN pg_namespace AS n ON n.oid = c.relnamespace WHERE n.nspname = $1 AND c.relkind = 'r'",
        {schema});
    return r.rows() == 1 ? r.integer(0, 0) : 0;
}

LibraryStore::Compaction vacuum_database_library(const DatabasePlace &place, std::vector<std::string> catalogs) {
    auto connection = connect(place, false);
    bool whole_library = catalogs.empty();
    int32_t version = database_format_version(*connection, place.schema);
    if (version == 0) {
        if (whole_library) return LibraryStore::Compaction{0, 0, {}, true};
        fail(zef::kCatalogMissing, "catalog " + place.library + "." + catalogs.front() + " does not exist");
    }
    check_database_format(version, place.schema, place.shown);
    if (whole_library) {
        pg::Result names = connection->run("SELECT name FROM catalogs ORDER BY name COLLATE \"C\"");
        for (int i = 0; i < names.rows(); ++i) catalogs.push_back(names.text(i, 0));
    }
    LibraryStore::Compaction done;
    done.shared = true;
    done.before = library_table_bytes(*connection, place.schema);
    for (const std::string &catalog : catalogs) {
        PostgresStore store(place, catalog, true);
        Store::Leftovers collected = store.collect_leftovers(place.library + "." + catalog);
        done.collected.dead_writers += collected.dead_writers;
        done.collected.unused_chunks += collected.unused_chunks;
    }
    // A rewrite would hold up any writer's next request beyond its wait.
    if (any_writer_alive(*connection, place.schema))
        fail(zef::kCatalogEntryInUse, "an entry of library " + place.library +
                                          " is being written (its catalogs share the tables to compact)");
    if (!owns_tables(*connection, place.schema))
        fail(zef::kCatalogBadRequest, "library " + place.library + ": only the owner of schema " + place.schema +
                                          "'s tables may compact them");
    for (const char *table : kTables) {
        // VACUUM runs outside a transaction: each table is compacted, or
        // left as it was, on its own.
        std::string statement = "VACUUM (FULL) " + pg::quoted_identifier(place.schema) + "." + table;
        try {
            connection->exec(statement.c_str());
        } catch (const CatalogError &e) {
            if (e.status() != zef::kCatalogEntryInUse) throw;
            fail(zef::kCatalogEntryInUse, "library " + place.library + "'s table " + table +
                                              " is in use by another session (a reader or a writer); vacuum must "
                                              "wait: try again when it is done");
        }
    }
    done.after = library_table_bytes(*connection, place.schema);
    return done;
}

}  // namespace zefhost::catalog
