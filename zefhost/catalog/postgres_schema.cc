#include "postgres_schema.h"

#include <string>

#include "catalog_error.h"
#include "postgres_store.h"

namespace zefhost::catalog {

namespace {

const char *const kTables = R"sql(
CREATE TABLE zef_format(version integer NOT NULL);
CREATE TABLE settings(
    name text PRIMARY KEY,
    value text NOT NULL
);
CREATE TABLE catalogs(
    name text PRIMARY KEY,
    created bigint NOT NULL
);
CREATE TABLE entries(
    catalog text NOT NULL REFERENCES catalogs(name),
    name text NOT NULL,
    type text NOT NULL,
    content bigint NOT NULL,
    description bytea NOT NULL,
    created bigint NOT NULL,
    modified bigint NOT NULL,
    blocks bigint NOT NULL,
    bytes bigint NOT NULL,
    longest bigint NOT NULL,
    record_format bigint,
    lrecl bigint,
    encoding text,
    checksum bytea,
    stored_bytes bigint,
    file_time bigint,
    file_mode bigint,
    PRIMARY KEY(catalog, name, type)
);
CREATE TABLE writers(
    content bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    catalog text NOT NULL REFERENCES catalogs(name),
    name text NOT NULL,
    type text NOT NULL,
    pid integer NOT NULL,
    client text NOT NULL,
    started bigint NOT NULL
);
CREATE INDEX writers_by_entry ON writers(catalog, name, type);
CREATE TABLE pieces(
    content bigint NOT NULL,
    ordinal bigint NOT NULL,
    first_block bigint NOT NULL,
    block_count bigint NOT NULL,
    bytes bigint NOT NULL,
    longest bigint NOT NULL,
    chunk bigint NOT NULL,
    checksum bytea,
    codec integer NOT NULL DEFAULT 0,
    PRIMARY KEY(content, ordinal)
);
CREATE TABLE chunks(
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    data bytea NOT NULL
);
-- Chunks are packed blocks, mostly of data that compresses badly or is
-- already compressed (or compressed by the writer): kept out of line as
-- they are, read and written without a compression pass.
ALTER TABLE chunks ALTER COLUMN data SET STORAGE EXTERNAL;
)sql";

// From version 1: checksums, the space a version takes, the file a version
// was put from, compressed chunks (none for what is there), and the
// library's settings.
const char *const kUpgradeFrom1 = R"sql(
ALTER TABLE entries ADD COLUMN IF NOT EXISTS checksum bytea,
    ADD COLUMN IF NOT EXISTS stored_bytes bigint,
    ADD COLUMN IF NOT EXISTS file_time bigint,
    ADD COLUMN IF NOT EXISTS file_mode bigint;
ALTER TABLE pieces ADD COLUMN IF NOT EXISTS checksum bytea,
    ADD COLUMN IF NOT EXISTS codec integer NOT NULL DEFAULT 0;
CREATE TABLE IF NOT EXISTS settings(
    name text PRIMARY KEY,
    value text NOT NULL
);
)sql";

// Runs `change` in one transaction that holds the schema's lock for makers
// and upgraders, so that two processes never change its tables at once.
template <typename Change>
void under_schema_lock(pg::Connection &connection, const std::string &schema, Change change) {
    LockKeys keys = catalog_presence_keys(schema, "");
    connection.exec("BEGIN");
    try {
        connection.run("SELECT pg_advisory_xact_lock($1::int4, $2::int4)", {keys.space, keys.object});
        change();
        connection.exec("COMMIT");
    } catch (...) {
        connection.try_exec("ROLLBACK");
        throw;
    }
}

}  // namespace

int32_t database_format_version(pg::Connection &connection, const std::string &schema) {
    pg::Result there = connection.run("SELECT to_regclass(format('%I.zef_format', $1::text)) IS NOT NULL", {schema});
    if (there.rows() != 1 || there.text(0, 0) != "t") return 0;
    pg::Result version = connection.run("SELECT max(version) FROM zef_format");
    if (version.rows() != 1 || version.is_null(0, 0)) return -1;
    return static_cast<int32_t>(version.integer(0, 0));
}

void check_database_format(int32_t version, const std::string &schema, const std::string &shown) {
    if (version >= kOldestDatabaseFormatVersion && version <= kDatabaseFormatVersion) return;
    fail(zef::kCatalogDamaged, shown + ": schema " + schema + " holds tables of " +
                                   (version < 0 ? std::string("no known format")
                                                : "format version " + std::to_string(version)) +
                                   "; this zefhost reads format versions " +
                                   std::to_string(kOldestDatabaseFormatVersion) + " to " +
                                   std::to_string(kDatabaseFormatVersion) + " only");
}

void ensure_database_tables(pg::Connection &connection, const std::string &schema, const std::string &shown) {
    int32_t version = database_format_version(connection, schema);
    if (version == 0) {
        // One maker at a time; whoever comes second finds the tables made.
        under_schema_lock(connection, schema, [&] {
            connection.exec(("CREATE SCHEMA IF NOT EXISTS " + pg::quoted_identifier(schema)).c_str());
            if (database_format_version(connection, schema) == 0) {
                connection.exec(kTables);
                connection.run("INSERT INTO zef_format(version) VALUES($1)", {int64_t{kDatabaseFormatVersion}});
            }
        });
        version = database_format_version(connection, schema);
    }
    check_database_format(version, schema, shown);
}

void upgrade_database_tables(pg::Connection &connection, const std::string &schema) {
    // One upgrader at a time, as one maker; the second finds it done.
    under_schema_lock(connection, schema, [&] {
        if (database_format_version(connection, schema) == 1) {
            connection.exec(kUpgradeFrom1);
            connection.run("UPDATE zef_format SET version = $1", {int64_t{kDatabaseFormatVersion}});
        }
    });
}

}  // namespace zefhost::catalog
