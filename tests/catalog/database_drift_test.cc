// A database whose tables were changed by hand, or are held by another
// session: each request says what it met, with the status that fits
// (damaged, missing, busy), and gives the catalog back unchanged.
#include <libpq-fe.h>

#include <string>
#include <vector>

#include "store_requests.h"

namespace cattest {
namespace {

struct Drift {
    const char *name;
    const char *change;  // run in the database before the request
    Op op;
    int32_t status;
    const char *message;
    // Held by another session in an open transaction during the request.
    const char *held = "";
    // Added to the library's connection text for the request.
    const char *options = "";
};

std::string row_name(const ::testing::TestParamInfo<Drift> &info) { return info.param.name; }

class DatabaseDrift : public CatalogTest, public ::testing::WithParamInterface<Drift> {
protected:
    DatabaseDrift() : CatalogTest(StoreKind::database) {}
};

// A session of its own with a transaction left open, as another program's.
class OtherSession {
public:
    OtherSession(const std::string &uri, const std::string &statements) : conn_(PQconnectdb(uri.c_str())) {
        PGresult *r = PQexec(conn_, ("SET search_path TO work; BEGIN; " + statements).c_str());
        ok_ = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        if (!ok_) ADD_FAILURE() << statements << ": " << PQerrorMessage(conn_);
        PQclear(r);
    }
    ~OtherSession() { PQfinish(conn_); }
    OtherSession(const OtherSession &) = delete;
    OtherSession &operator=(const OtherSession &) = delete;

private:
    PGconn *conn_;
    bool ok_ = false;
};

TEST_P(DatabaseDrift, RequestsSayWhatTheyMet) {
    const Drift &row = GetParam();
    std::vector<Block> a = numbered_blocks("a", 3000);
    write_entry("work", "c", "a", "DATA", a);
    write_entry("work", "c", "b", "DATA", numbered_blocks("b", 5));
    std::string before = database->sql("SELECT string_agg(name || ':' || content, ',' ORDER BY name) FROM entries");
    if (*row.change) database->sql(row.change);
    services.set_busy_timeout(std::chrono::milliseconds(50));
    if (*row.options) {
        services.deassign_library("work");
        services.assign_database_library("work", database->uri() + row.options);
    }
    services.set_last_error("");
    {
        std::optional<OtherSession> other;
        if (*row.held) other.emplace(database->uri(), row.held);
        EXPECT_EQ(run_request(services, row.op), row.status) << services.last_error();
    }
    EXPECT_NE(services.last_error().find(row.message), std::string::npos) << services.last_error();
    services.deassign_library("work");
    assign_work(services);
    if (!*row.change) {
        // Only held: once let go, everything is where it was.
        EXPECT_EQ(database->sql("SELECT string_agg(name || ':' || content, ',' ORDER BY name) FROM entries"), before);
        EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, a);
        EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
        // A writer refused at its close left its row: the next writer clears it.
        write_entry("work", "c", row.op == Op::write_new ? "n" : "a", "DATA", a);
        EXPECT_EQ(count_rows("c", "writers"), 0);
        EXPECT_EQ(database->sql("SELECT count(*) FROM chunks WHERE id NOT IN (SELECT chunk FROM pieces)"), "0");
    }
}

constexpr int32_t kDamaged = zef::kCatalogDamaged;
constexpr int32_t kMissing = zef::kCatalogMissing;
constexpr int32_t kBusy = zef::kCatalogEntryInUse;

INSTANTIATE_TEST_SUITE_P(
    Database, DatabaseDrift,
    ::testing::Values(
        // Tables and columns that are gone.
        Drift{"ChunksDropped", "DROP TABLE chunks", Op::read, kDamaged, "does not exist"},
        Drift{"WritersDropped", "DROP TABLE writers", Op::write_new, kDamaged, "does not exist"},
        Drift{"ColumnDropped", "ALTER TABLE entries DROP COLUMN encoding", Op::read, kDamaged, "does not exist"},
        Drift{"PiecesDroppedBeforeCheck", "DROP TABLE pieces", Op::check, kDamaged, "does not exist"},
        // Format versions this host does not read.
        Drift{"NewerFormatRead", "UPDATE zef_format SET version = 99", Op::read, kDamaged, "format version 99"},
        Drift{"NewerFormatWrite", "UPDATE zef_format SET version = 99", Op::new_catalog, kDamaged,
              "format version 99"},
        Drift{"NewerFormatListing", "UPDATE zef_format SET version = 99", Op::list_catalogs, kDamaged,
              "this zefhost reads format version"},
        Drift{"NoFormatRow", "DELETE FROM zef_format", Op::read, kDamaged, "no known format"},
        // The schema or the catalog's row removed.
        Drift{"SchemaDropped", "SET client_min_messages = warning; DROP SCHEMA work CASCADE", Op::read, kMissing, "does not exist"},
        Drift{"SchemaDroppedListing", "SET client_min_messages = warning; DROP SCHEMA work CASCADE", Op::list_catalogs, 0, ""},
        Drift{"SchemaDroppedPresence", "SET client_min_messages = warning; DROP SCHEMA work CASCADE", Op::catalog_exists, 0, ""},
        Drift{"CatalogRowDeleted", "DELETE FROM entries; DELETE FROM catalogs", Op::read, kMissing,
              "does not exist"},
        Drift{"CatalogRowDeletedRemoval", "DELETE FROM entries; DELETE FROM catalogs", Op::remove_catalog,
              kMissing, "does not exist"},
        Drift{"SchemaDroppedVacuum", "SET client_min_messages = warning; DROP SCHEMA work CASCADE", Op::vacuum,
              kMissing, "catalog WORK.C does not exist"},
        // A library without tables has nothing to compact.
        Drift{"SchemaDroppedLibraryVacuum", "SET client_min_messages = warning; DROP SCHEMA work CASCADE",
              Op::vacuum_library, 0, ""},
        // Tables another session holds past the wait.
        Drift{"EntriesHeld", "", Op::read, kBusy, "lock timeout", "LOCK TABLE entries IN ACCESS EXCLUSIVE MODE"},
        Drift{"WritersHeld", "", Op::write_new, kBusy, "lock timeout", "LOCK TABLE writers IN EXCLUSIVE MODE"},
        Drift{"ChunksHeld", "", Op::replace, kBusy, "lock timeout", "LOCK TABLE chunks IN EXCLUSIVE MODE"},
        Drift{"CatalogRowHeld", "", Op::remove_catalog, kBusy, "lock timeout",
              "SELECT 1 FROM catalogs FOR KEY SHARE"},
        // A statement the server cancels (its own time limit) while it waits.
        Drift{"CanceledWhileHeld", "", Op::read, kBusy, "canceling statement due to statement timeout",
              "LOCK TABLE entries IN ACCESS EXCLUSIVE MODE", "&options=-c%20statement_timeout%3D20"},
        Drift{"CatalogsHeldForListing", "", Op::list_catalogs, kBusy, "lock timeout",
              "LOCK TABLE catalogs IN ACCESS EXCLUSIVE MODE"},
        // A reader's transaction keeps a table from being rewritten.
        Drift{"ChunksReadDuringVacuum", "", Op::vacuum, kBusy, "table chunks is in use by another session",
              "SELECT count(*) FROM chunks"}),
    row_name);

}  // namespace
}  // namespace cattest
