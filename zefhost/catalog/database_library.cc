#include "database_library.h"

#include "libpq_loader.h"

#include "catalog_error.h"
#include "library_settings.h"
#include "postgres_schema.h"
#include "postgres_vacuum.h"

namespace zefhost::catalog {

namespace {

// The text libpq takes: a URI as it is, a keyword string without its
// "postgresql:" mark.
std::string conninfo_of(std::string_view connection) {
    if (connection.starts_with("postgresql://") || connection.starts_with("postgres://")) return std::string(connection);
    if (connection.starts_with("postgresql:")) return std::string(connection.substr(11));
    return {};
}

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string DatabaseLibrary::shown_connection(std::string_view conninfo) {
    char *error = nullptr;
    PQconninfoOption *options = pg::libpq().PQconninfoParse(std::string(conninfo).c_str(), &error);
    if (error != nullptr) pg::libpq().PQfreemem(error);
    if (options == nullptr) return {};
    std::string host, port, dbname, user;
    for (PQconninfoOption *o = options; o->keyword != nullptr; ++o) {
        if (o->val == nullptr) continue;
        std::string_view keyword = o->keyword;
        if (keyword == "host" || keyword == "hostaddr") {
            if (host.empty()) host = o->val;
        } else if (keyword == "port") {
            port = o->val;
        } else if (keyword == "dbname") {
            dbname = o->val;
        } else if (keyword == "user") {
            user = o->val;
        }
    }
    pg::libpq().PQconninfoFree(options);
    // A socket folder goes into the query, as a URI must carry it.
    bool socket = !host.empty() && host.front() == '/';
    std::string shown = "postgresql://";
    if (!user.empty()) shown += user + "@";
    if (!socket) shown += host;
    if (!port.empty()) shown += ":" + port;
    shown += "/" + dbname;
    if (socket) shown += "?host=" + host;
    return shown;
}

DatabaseLibrary::DatabaseLibrary(std::string name, std::string_view connection, bool read_only)
    : LibraryStore(std::move(name), read_only) {
    place_.conninfo = conninfo_of(connection);
    char *error = nullptr;
    PQconninfoOption *options = place_.conninfo.empty() ? nullptr : pg::libpq().PQconninfoParse(place_.conninfo.c_str(), &error);
    if (error != nullptr) pg::libpq().PQfreemem(error);
    if (options == nullptr)
        fail(zef::kCatalogLibraryNotAssigned,
             "library " + name_ + ": not a PostgreSQL connection URI or postgresql: keyword string");
    pg::libpq().PQconninfoFree(options);
    place_.shown = shown_connection(place_.conninfo);
    place_.schema = lower(name_);
    place_.library = name_;
}

std::string DatabaseLibrary::catalog_place(const std::string &catalog) const {
    return place_.shown + " (schema " + place_.schema + ") catalog " + name_ + "." + catalog;
}

std::shared_ptr<Store> DatabaseLibrary::open(const std::string &catalog, bool writing, int busy_timeout_ms,
                                             bool &created) {
    created = false;
    if (writing && read_only_) fail(zef::kCatalogBadRequest, "library " + name_ + " is read-only");
    DatabasePlace place = place_;
    place.busy_timeout_ms = busy_timeout_ms;
    for (int attempt = 0;; ++attempt) {
        try {
            return std::make_shared<PostgresStore>(place, catalog, writing);
        } catch (const CatalogError &e) {
            // A missing catalog is made for a writer (again, when it was
            // removed as empty between the making and the opening).
            if (e.status() != zef::kCatalogMissing || !writing || attempt == 2) throw;
        }
        auto connection = connect(place, false);
        ensure_database_tables(*connection, place.schema, place.shown);
        pg::Result made = connection->run(
            "INSERT INTO catalogs(name, created) VALUES($1, $2) ON CONFLICT (name) DO NOTHING RETURNING name",
            {catalog, now_microseconds()});
        if (made.rows() == 1) created = true;
    }
}

bool DatabaseLibrary::exists(const std::string &catalog) {
    auto connection = connect(place_, true);
    if (database_format_version(*connection, place_.schema) == 0) return false;
    return connection->run("SELECT 1 FROM catalogs WHERE name = $1", {catalog}).rows() == 1;
}

std::string DatabaseLibrary::catalog_identity(const std::string &catalog) {
    return PostgresStore::identity_of(place_, catalog);
}

void DatabaseLibrary::remove_if_empty(const std::string &catalog) noexcept {
    try {
        auto connection = connect(place_, false);
        LockKeys keys = catalog_presence_keys(place_.schema, catalog);
        connection->exec("BEGIN");
        // No one may have it open for writing: each such store holds the
        // presence lock shared.
        pg::Result sole =
            connection->run("SELECT pg_try_advisory_xact_lock($1::int4, $2::int4)", {keys.space, keys.object});
        if (sole.rows() == 1 && sole.text(0, 0) == "t")
            connection->run(
                "DELETE FROM catalogs WHERE name = $1 AND NOT EXISTS (SELECT 1 FROM entries WHERE catalog = $1) "
                "AND NOT EXISTS (SELECT 1 FROM writers WHERE catalog = $1)",
                {catalog});
        connection->exec("COMMIT");
    } catch (...) {
    }
}

std::vector<CatalogSummary> DatabaseLibrary::catalogs() {
    auto connection = connect(place_, true);
    std::vector<CatalogSummary> out;
    int32_t version = database_format_version(*connection, place_.schema);
    if (version == 0) return out;
    check_database_format(version, place_.schema, place_.shown);
    pg::Result r = connection->run(
        "SELECT c.name, count(e.name), coalesce(sum(e.bytes), 0), greatest(c.created, max(e.modified)) "
        "FROM catalogs AS c LEFT JOIN entries AS e ON e.catalog = c.name GROUP BY c.name, c.created "
        "ORDER BY c.name COLLATE \"C\"");
    for (int i = 0; i < r.rows(); ++i)
        out.push_back(CatalogSummary{r.text(i, 0), r.integer(i, 1), r.integer(i, 2), r.integer(i, 3)});
    return out;
}

LibraryStore::Removal DatabaseLibrary::remove_catalog(const std::string &catalog, bool with_entries, bool dry_run,
                                                      int busy_timeout_ms) {
    if (read_only_) fail(zef::kCatalogBadRequest, "library " + name_ + " is read-only");
    DatabasePlace place = place_;
    place.busy_timeout_ms = busy_timeout_ms;
    PostgresStore store(place, catalog, true);
    StoreSession &session = store.main();
    Transaction t(session, StoreSession::Kind::durable_write);
    pg::Connection &c = static_cast<PostgresSession &>(session).connection();
    // Keeps new writers out (they share-lock the row) until the catalog is gone.
    if (c.run("SELECT 1 FROM catalogs WHERE name = $1 FOR UPDATE", {catalog}).rows() == 0)
        fail(zef::kCatalogMissing, "catalog " + name_ + "." + catalog + " does not exist");
    if (store.reclaim_dead_writers(session, nullptr))
        fail(zef::kCatalogEntryInUse, "an entry of " + name_ + "." + catalog + " is being written");
    std::vector<EntryInfo> entries = session.entries();
    Removal removal{entries.size(), false};
    if ((!entries.empty() && !with_entries) || dry_run) return removal;
    for (const EntryInfo &e : entries) session.drop_content(e.row.content);
    c.run("DELETE FROM entries WHERE catalog = $1", {catalog});
    c.run("DELETE FROM catalogs WHERE name = $1", {catalog});
    t.commit();
    removal.removed = true;
    return removal;
}

LibrarySettings DatabaseLibrary::settings() {
    auto connection = connect(place_, true);
    LibrarySettings settings;
    int32_t version = database_format_version(*connection, place_.schema);
    if (version < 2) return settings;  // no schema yet, or one from before settings
    check_database_format(version, place_.schema, place_.shown);
    pg::Result r = connection->run("SELECT name, value FROM settings ORDER BY name");
    for (int i = 0; i < r.rows(); ++i)
        apply_setting(settings, r.text(i, 0), r.text(i, 1), place_.shown + " schema " + place_.schema + " settings");
    return settings;
}

void DatabaseLibrary::save_settings(const LibrarySettings &settings) {
    if (read_only_) fail(zef::kCatalogBadRequest, "library " + name_ + " is read-only");
    auto connection = connect(place_, false);
    ensure_database_tables(*connection, place_.schema, place_.shown);
    if (database_format_version(*connection, place_.schema) < kDatabaseFormatVersion)
        upgrade_database_tables(*connection, place_.schema);
    connection->exec("BEGIN");
    try {
        for (const auto &[key, value] : setting_pairs(settings))
            connection->run("INSERT INTO settings(name, value) VALUES($1, $2) "
                            "ON CONFLICT (name) DO UPDATE SET value = excluded.value",
                            {key, value});
        connection->exec("COMMIT");
    } catch (...) {
        connection->try_exec("ROLLBACK");
        throw;
    }
}

LibraryStore::Compaction DatabaseLibrary::vacuum(const std::string &catalog, int busy_timeout_ms) {
    if (read_only_) fail(zef::kCatalogBadRequest, "library " + name_ + " is read-only");
    DatabasePlace place = place_;
    place.busy_timeout_ms = busy_timeout_ms;
    return vacuum_database_library(place, catalog.empty() ? std::vector<std::string>{}
                                                          : std::vector<std::string>{catalog});
}

}  // namespace zefhost::catalog
