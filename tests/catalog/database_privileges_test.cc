// A library whose database role lacks one privilege, as a role set up by
// hand often does: every request that needs it fails with the server's
// reason, the stored entries stay as they were, and what a refused writer
// leaves (its row, what it staged) is cleared by the entry's next writer.
#include <string>
#include <vector>

#include "store_requests.h"

namespace cattest {
namespace {

struct Refusal {
    const char *name;
    const char *revoke;  // run in the database before the role's library is assigned
    Op op;
    int32_t status;       // what the request answers
    const char *message;  // part of the message it leaves ("" when it succeeds)
    bool dead_writer = false;   // a writer of C.A that died, before the request
    bool catalog_left = false;  // WORK.M, made for a put that failed, stays
};

std::string row_name(const ::testing::TestParamInfo<Refusal> &info) { return info.param.name; }

// The test database as the role clerk, made by the caller.
std::string clerk_uri(const TestDatabase &database) {
    std::string uri = database.uri();
    size_t user = uri.find("user=zef");
    EXPECT_NE(user, std::string::npos) << uri;
    return user == std::string::npos ? uri : uri.replace(user, 8, "user=clerk");
}

class DatabasePrivileges : public CatalogTest, public ::testing::WithParamInterface<Refusal> {
protected:
    DatabasePrivileges() : CatalogTest(StoreKind::database) {}
};

class DatabasePrivilegesFresh : public CatalogTest {
protected:
    DatabasePrivilegesFresh() : CatalogTest(StoreKind::database) {}
};

const std::vector<Block> &stored_a() {
    static const std::vector<Block> blocks = numbered_blocks("a", 3000);
    return blocks;
}

TEST_P(DatabasePrivileges, RefusedRequestsLeaveTheCatalogAsItWas) {
    const Refusal &row = GetParam();
    write_entry("work", "c", "a", "DATA", stored_a());
    write_entry("work", "c", "b", "DATA", numbered_blocks("b", 5));
    if (row.dead_writer) {
        // Its row, and a piece it staged.
        database->sql("INSERT INTO writers(catalog, name, type, pid, client, started) "
                      "VALUES ('C', 'A', 'DATA', 1, 'gone', 0)");
        database->sql("INSERT INTO chunks(data) VALUES ('\\x00')");
        database->sql("INSERT INTO pieces SELECT max(w.content), 0, 0, 0, 0, 0, max(c.id) FROM writers AS w, chunks AS c");
    }
    database->sql("DO $$BEGIN CREATE ROLE clerk LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END$$");
    database->sql("GRANT USAGE ON SCHEMA work TO clerk; "
                  "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA work TO clerk");
    database->sql(row.revoke);

    services.deassign_library("work");
    services.assign_database_library("work", clerk_uri(*database));
    services.set_last_error("");
    int32_t status = run_request(services, row.op);
    EXPECT_EQ(status, row.status) << services.last_error();
    EXPECT_NE(services.last_error().find(row.message), std::string::npos) << services.last_error();

    // Back to the owner (whom privileges do not bind): the catalog as it
    // was before the request.
    services.deassign_library("work");
    assign_work(services);
    EXPECT_EQ(database->sql("SELECT count(*) FROM catalogs WHERE name = 'M'"), row.catalog_left ? "1" : "0");
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
    if (status != 0) {
        EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, stored_a());
        EXPECT_EQ(count_rows("c", "entries"), 2);
    }
    // A writer whose close was refused left its row and what it staged,
    // as a writer that died does: the entry's next writer clears both away.
    write_entry("work", "c", row.op == Op::write_new ? "n" : "a", "DATA", stored_a());
    EXPECT_EQ(count_rows("c", "writers"), 0);
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
    EXPECT_EQ(database->sql("SELECT count(*) FROM chunks WHERE id NOT IN (SELECT chunk FROM pieces)"), "0");
}

constexpr int32_t kIo = zef::kCatalogIoFailure;
constexpr const char *kDenied = "permission denied";

INSTANTIATE_TEST_SUITE_P(
    Database, DatabasePrivileges,
    ::testing::Values(
        // Reading.
        Refusal{"FormatTable", "REVOKE SELECT ON zef_format FROM clerk", Op::read, kIo, kDenied},
        Refusal{"CatalogRows", "REVOKE SELECT ON catalogs FROM clerk", Op::read, kIo, kDenied},
        Refusal{"EntryRows", "REVOKE SELECT ON entries FROM clerk", Op::read, kIo, kDenied},
        Refusal{"PieceRows", "REVOKE SELECT ON pieces FROM clerk", Op::read, kIo, kDenied},
        Refusal{"ChunkRows", "REVOKE SELECT ON chunks FROM clerk", Op::read, kIo, kDenied},
        Refusal{"EntryListing", "REVOKE SELECT ON entries FROM clerk", Op::list_entries, kIo, kDenied},
        Refusal{"ScanByType", "REVOKE SELECT ON entries FROM clerk", Op::scan_type, kIo, kDenied},
        Refusal{"ScanOfAll", "REVOKE SELECT ON entries FROM clerk", Op::scan_all, kIo, kDenied},
        Refusal{"Describe", "REVOKE SELECT ON entries FROM clerk", Op::describe, kIo, kDenied},
        Refusal{"Find", "REVOKE SELECT ON entries FROM clerk", Op::find, kIo, kDenied},
        Refusal{"CatalogListing", "REVOKE SELECT ON entries FROM clerk", Op::list_catalogs, kIo, kDenied},
        Refusal{"CatalogPresence", "REVOKE SELECT ON catalogs FROM clerk", Op::catalog_exists, kIo, kDenied},
        Refusal{"CheckOfPieces", "REVOKE SELECT ON pieces FROM clerk", Op::check, kIo, kDenied},
        Refusal{"CheckOfWriters", "REVOKE SELECT ON writers FROM clerk", Op::check, kIo, kDenied},
        Refusal{"FormatProbe", "REVOKE EXECUTE ON FUNCTION to_regclass(text) FROM PUBLIC", Op::read, kIo, kDenied},
        Refusal{"CheckOfChunks", "REVOKE SELECT ON chunks FROM clerk", Op::check, kIo, kDenied},
        // Writing a new entry, statement by statement.
        Refusal{"SharedPresenceLock",
                "REVOKE EXECUTE ON FUNCTION pg_advisory_lock_shared(int4, int4) FROM PUBLIC", Op::write_new, kIo,
                kDenied},
        Refusal{"EntryLock", "REVOKE EXECUTE ON FUNCTION pg_try_advisory_lock(int4, int4) FROM PUBLIC",
                Op::write_new, kIo, kDenied},
        Refusal{"WriterLock", "REVOKE EXECUTE ON FUNCTION pg_advisory_lock(int4, int4) FROM PUBLIC",
                Op::write_new, kIo, kDenied},
        // Letting go is left to the session's end.
        Refusal{"Unlocking", "REVOKE EXECUTE ON FUNCTION pg_advisory_unlock(int4, int4) FROM PUBLIC",
                Op::write_new, 0, ""},
        Refusal{"WriterRows", "REVOKE SELECT ON writers FROM clerk", Op::write_new, kIo, kDenied},
        Refusal{"CatalogRowHold", "REVOKE UPDATE ON catalogs FROM clerk", Op::write_new, kIo, kDenied},
        Refusal{"WriterInsert", "REVOKE INSERT ON writers FROM clerk", Op::write_new, kIo, kDenied},
        Refusal{"ChunkInsert", "REVOKE INSERT ON chunks FROM clerk", Op::write_new, kIo, kDenied},
        Refusal{"PieceInsert", "REVOKE INSERT ON pieces FROM clerk", Op::write_new, kIo, kDenied},
        Refusal{"EntryInsert", "REVOKE INSERT ON entries FROM clerk", Op::write_new, kIo, kDenied},
        Refusal{"WriterDelete", "REVOKE DELETE ON writers FROM clerk", Op::write_new, kIo, kDenied},
        // Replacing and appending.
        Refusal{"ReplaceChunkDelete", "REVOKE DELETE ON chunks FROM clerk", Op::replace, kIo, kDenied},
        Refusal{"ReplacePieceDelete", "REVOKE DELETE ON pieces FROM clerk", Op::replace, kIo, kDenied},
        Refusal{"ReplaceEntryUpdate", "REVOKE UPDATE ON entries FROM clerk", Op::replace, kIo, kDenied},
        Refusal{"AppendPieceUpdate", "REVOKE UPDATE ON pieces FROM clerk", Op::append, kIo, kDenied},
        Refusal{"AppendChunkDelete", "REVOKE DELETE ON chunks FROM clerk", Op::append, kIo, kDenied},
        Refusal{"AppendPieceSelect", "REVOKE SELECT ON pieces FROM clerk", Op::append, kIo, kDenied},
        // Removing an entry.
        Refusal{"RemoveEntryLock", "REVOKE EXECUTE ON FUNCTION pg_try_advisory_lock(int4, int4) FROM PUBLIC",
                Op::remove_entry, kIo, kDenied},
        Refusal{"RemoveWriterClaim", "REVOKE UPDATE ON writers FROM clerk", Op::remove_entry, kIo, kDenied},
        Refusal{"RemoveChunks", "REVOKE DELETE ON chunks FROM clerk", Op::remove_entry, kIo, kDenied},
        Refusal{"RemovePieces", "REVOKE DELETE ON pieces FROM clerk", Op::remove_entry, kIo, kDenied},
        Refusal{"RemoveEntryRow", "REVOKE DELETE ON entries FROM clerk", Op::remove_entry, kIo, kDenied},
        // A writer that died: telling whether it lives, and clearing up after it.
        Refusal{"DeadWriterProbe", "REVOKE SELECT ON pg_catalog.pg_locks FROM PUBLIC", Op::remove_entry, kIo,
                kDenied, true},
        Refusal{"DeadWriterRow", "REVOKE DELETE ON writers FROM clerk", Op::remove_entry, kIo, kDenied, true},
        Refusal{"DeadWriterContent", "REVOKE DELETE ON chunks FROM clerk", Op::replace, kIo, kDenied, true},
        // Catalogs.
        Refusal{"NewCatalogRow", "REVOKE INSERT ON catalogs FROM clerk", Op::new_catalog, kIo, kDenied},
        // The catalog made for a put that failed is removed again.
        Refusal{"NewCatalogChunks", "REVOKE INSERT ON chunks FROM clerk", Op::new_catalog, kIo, kDenied},
        // What cannot tell that the catalog is still empty, or cannot have
        // it alone, leaves it be.
        Refusal{"NewCatalogWriterRows", "REVOKE SELECT ON writers FROM clerk", Op::new_catalog, kIo, kDenied,
                false, true},
        Refusal{"NewCatalogRemovalLock",
                "REVOKE INSERT ON chunks FROM clerk; "
                "REVOKE EXECUTE ON FUNCTION pg_try_advisory_xact_lock(int4, int4) FROM PUBLIC",
                Op::new_catalog, kIo, kDenied, false, true},
        Refusal{"RemoveCatalogHold", "REVOKE UPDATE ON catalogs FROM clerk", Op::remove_catalog, kIo, kDenied},
        Refusal{"RemoveCatalogEntries", "REVOKE DELETE ON entries FROM clerk", Op::remove_catalog, kIo, kDenied},
        Refusal{"RemoveCatalogRow", "REVOKE DELETE ON catalogs FROM clerk", Op::remove_catalog, kIo, kDenied},
        Refusal{"RemoveCatalogChunks", "REVOKE DELETE ON chunks FROM clerk", Op::remove_catalog, kIo, kDenied},
        // Compaction: only the tables' owner may rewrite them.
        Refusal{"VacuumByAnotherRole", "SELECT 1", Op::vacuum, zef::kCatalogBadRequest,
                "only the owner of schema work's tables may compact them"}),
    row_name);

// A role that may not export a snapshot: a long entry, which a reader
// would read on two sessions, is read whole on one.
TEST_F(DatabasePrivilegesFresh, WithoutSnapshotsALongEntryIsReadOnOneSession) {
    std::vector<Block> blocks = numbered_blocks("l", 30000);
    write_entry("work", "c", "l", "DATA", blocks);
    database->sql("DO $$BEGIN CREATE ROLE clerk LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END$$");
    database->sql("GRANT USAGE ON SCHEMA work TO clerk; GRANT SELECT ON ALL TABLES IN SCHEMA work TO clerk; "
                  "REVOKE EXECUTE ON FUNCTION pg_export_snapshot() FROM PUBLIC");
    services.deassign_library("work");
    services.assign_database_library("work", clerk_uri(*database), /*read_only=*/true);
    EntryRead read = read_entry("work", "c", "l", "DATA");
    EXPECT_EQ(read.status, 0) << services.last_error();
    EXPECT_EQ(read.blocks, blocks);
}

// A role that may not make the library's tables: nothing of them is left.
TEST_F(DatabasePrivilegesFresh, ARoleThatCannotMakeTheTablesLeavesNoSchema) {
    database->sql("DO $$BEGIN CREATE ROLE clerk LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END$$");
    std::string clerk = clerk_uri(*database);
    struct Case {
        const char *refusal;
        const char *message;
    };
    for (const Case &c : {Case{"REVOKE CREATE ON DATABASE {} FROM clerk", "permission denied for database"},
                          Case{"GRANT CREATE ON DATABASE {} TO clerk; REVOKE EXECUTE ON FUNCTION "
                               "pg_advisory_xact_lock(int4, int4) FROM PUBLIC",
                               "permission denied for function"}}) {
        SCOPED_TRACE(c.refusal);
        std::string refusal = c.refusal;
        for (size_t at; (at = refusal.find("{}")) != std::string::npos;)
            refusal.replace(at, 2, database->sql("SELECT current_database()"));
        database->sql(refusal);
        services.deassign_library("work");
        services.assign_database_library("work", clerk);
        EXPECT_EQ(write_blocks("c", "a", zef::kMemberOutput, numbered_blocks("a", 5)), zef::kCatalogIoFailure);
        EXPECT_NE(services.last_error().find(c.message), std::string::npos) << services.last_error();
        EXPECT_EQ(database->sql("SELECT count(*) FROM pg_namespace WHERE nspname = 'work'"), "0");
        EXPECT_FALSE(services.catalog_exists("work", "c"));
    }
}

}  // namespace
}  // namespace cattest
