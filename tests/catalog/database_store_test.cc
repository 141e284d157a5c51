// What only a library in a database has: a server that goes away, rows
// changed behind the store's back, and catalogs as rows that are removed.
#include <cstdio>
#include <memory>

#include "support.h"
#include "support/postgres_cluster.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/postgres.h"

namespace cattest {
namespace {

class DatabaseStore : public CatalogTest {
protected:
    DatabaseStore() : CatalogTest(StoreKind::database) {}
    // Entry OLD (300 numbered blocks) in tables taken back to the first
    // format, and WORK assigned again so that nothing remembers them newer.
    void write_old_entry_in_first_format_tables() {
        write_entry("work", "c", "old", "DATA", numbered_blocks("o", 300));
        database->sql(
            "ALTER TABLE entries DROP COLUMN checksum, DROP COLUMN stored_bytes, DROP COLUMN file_time, "
            "DROP COLUMN file_mode; ALTER TABLE pieces DROP COLUMN checksum, DROP COLUMN codec; "
            "DROP TABLE settings; UPDATE zef_format SET version = 1");
        services.deassign_library("work");
        assign_work(services);
    }
};

// Tables of the first format (no checksums, file times, compression or
// settings) read as they are; the first writer brings them up to date and
// the old versions read on.
TEST_F(DatabaseStore, TablesOfTheFirstFormatReadAndAreBroughtUpToDateByAWriter) {
    write_old_entry_in_first_format_tables();

    EXPECT_EQ(read_entry("work", "c", "old", "DATA").blocks, numbered_blocks("o", 300));
    EXPECT_FALSE(services.entry_row("work", "c", "old", "DATA")->checksum.present());
    EXPECT_FALSE(services.library_settings("work").compress);
    EXPECT_EQ(services.verify_catalog("work", "c").entries.at(0).state,
              zefhost::catalog::EntryVerdict::State::unchecked);
    EXPECT_EQ(database->sql("SELECT version FROM zef_format"), "1");

    write_entry("work", "c", "new", "DATA", numbered_blocks("n", 10));
    EXPECT_EQ(database->sql("SELECT version FROM zef_format"), "2");
    EXPECT_TRUE(services.entry_row("work", "c", "new", "DATA")->checksum.present());
    EXPECT_EQ(read_entry("work", "c", "old", "DATA").blocks, numbered_blocks("o", 300));
    EXPECT_TRUE(services.check_catalog("work", "c").empty());
}

// A catalog's row deleted by hand while a handle of it is open: the next
// writer finds it missing and leaves nothing in the tables.
TEST_F(DatabaseStore, AWriterOfACatalogRemovedBehindItsHandleIsRefused) {
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "gone", zef::kLibraryWrite, &cat), 0);
    database->sql("DELETE FROM catalogs WHERE name = 'GONE'");
    EXPECT_EQ(open_entry(cat, "a", "DATA", zef::kMemberOutput, &entry), zef::kCatalogMissing);
    EXPECT_NE(services.last_error().find("catalog GONE was removed"), std::string::npos) << services.last_error();
    EXPECT_EQ(services.open_entries(), 0u);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(database->sql("SELECT count(*) FROM writers"), "0");
    EXPECT_EQ(database->sql("SELECT count(*) FROM entries"), "0");
    EXPECT_FALSE(services.catalog_exists("work", "gone"));
}

TEST_F(DatabaseStore, CatalogsAreRemovedAsADirectoryLibraryRemovesThem) {
    using zefhost::catalog::CatalogError;
    EXPECT_THROW(services.remove_catalog("work", "none", true), CatalogError);
    write_entry("work", "c", "a", "DATA", numbered_blocks("a", 2000));
    write_entry("work", "c", "b", "DATA", numbered_blocks("b", 10));
    write_entry("work", "other", "a", "DATA", numbered_blocks("o", 10));
    auto kept = services.remove_catalog("work", "c", false);
    EXPECT_EQ(kept.entries, 2u);
    EXPECT_FALSE(kept.removed);
    auto dry = services.remove_catalog("work", "c", true, /*dry_run=*/true);
    EXPECT_FALSE(dry.removed);
    EXPECT_TRUE(services.catalog_exists("work", "c"));

    // Not while one of its entries is being written.
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "a", "DATA", zef::kMemberAppend, &entry), 0);
    try {
        services.remove_catalog("work", "c", true);
        ADD_FAILURE() << "removed under a writer";
    } catch (const CatalogError &e) {
        EXPECT_EQ(e.status(), zef::kCatalogEntryInUse) << e.what();
    }
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);

    auto removed = services.remove_catalog("work", "c", true);
    EXPECT_TRUE(removed.removed);
    EXPECT_EQ(removed.entries, 2u);
    EXPECT_FALSE(services.catalog_exists("work", "c"));
    EXPECT_EQ(database->sql("SELECT count(*) FROM pieces"), "1") << "only the other catalog's piece is left";
    EXPECT_EQ(read_entry("work", "other", "a", "DATA").blocks, numbered_blocks("o", 10));
    std::vector<std::string> names;
    for (const auto &summary : services.list_catalogs("work")) names.push_back(summary.name);
    EXPECT_EQ(names, std::vector<std::string>{"OTHER"});

    services.deassign_library("work");
    assign_work(services, /*read_only=*/true);
    EXPECT_THROW(services.remove_catalog("work", "other", true), CatalogError);
    EXPECT_TRUE(services.catalog_exists("work", "other"));
}

TEST_F(DatabaseStore, RowsChangedBehindTheStoresBackAreFoundByTheCheck) {
    write_entry("work", "c", "e", "DATA", numbered_blocks("e", 3000));
    write_entry("work", "c", "f", "DATA", numbered_blocks("f", 10));
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
    database->sql("INSERT INTO pieces VALUES (999999, 0, 0, 1, 1, 1, 999999)");
    database->sql("INSERT INTO chunks(data) VALUES ('\\x00')");
    database->sql("UPDATE entries SET record_format = 4096, lrecl = 80, encoding = 'x' WHERE name = 'F'");
    database->sql("UPDATE entries SET longest = 5 WHERE name = 'E'");
    std::vector<std::string> problems = services.check_catalog("work", "c");
    auto told = [&](const std::string &what) {
        return std::any_of(problems.begin(), problems.end(),
                           [&](const std::string &p) { return p.find(what) != std::string::npos; });
    };
    EXPECT_TRUE(told("pieces of unknown content 999999"));
    EXPECT_TRUE(told("chunks that no piece uses"));
    EXPECT_TRUE(told("entry F.DATA: what it was written with is out of range"));
    EXPECT_TRUE(told("entry E.DATA damaged"));
    // What the check found is refused, not delivered.
    EXPECT_EQ(read_entry("work", "c", "e", "DATA").status, zef::kCatalogDamaged);
    auto row = services.entry_row("work", "c", "f", "DATA");
    ASSERT_TRUE(row.has_value());
    EXPECT_FALSE(row->attributes.has_value());
}

// A server of its own, stopped while a reader and a writer are open.
TEST_F(DatabaseStore, AServerThatGoesAwayFailsEveryRequestCleanly) {
    auto server = std::make_unique<zeftest::PostgresCluster>();
    services.assign_database_library("gone", server->uri());
    write_entry("gone", "c", "e", "DATA", numbered_blocks("e", 40000));
    void *in = nullptr, *out = nullptr, *reader = nullptr, *writer = nullptr;
    ASSERT_EQ(open_catalog("gone", "c", zef::kLibraryInput, &in), 0);
    ASSERT_EQ(open_catalog("gone", "c", zef::kLibraryWrite, &out), 0);
    ASSERT_EQ(open_entry(in, "e", "DATA", zef::kMemberInput, &reader), 0);
    ASSERT_EQ(open_entry(out, "w", "DATA", zef::kMemberOutput, &writer), 0);
    Block block;
    ASSERT_EQ(read_block(reader, block), 0);
    server.reset();

    int32_t status = 0;
    for (int i = 0; i < 40000 && status == 0; ++i) status = read_block(reader, block);
    EXPECT_EQ(status, zef::kCatalogIoFailure) << services.last_error();
    for (const Block &b : numbered_blocks("w", 20000))
        if ((status = write_block(writer, b)) != 0) break;
    if (status == 0) status = close_entry(writer);
    else EXPECT_EQ(close_entry(writer), zef::kCatalogIoFailure);
    EXPECT_EQ(status, zef::kCatalogIoFailure) << services.last_error();
    EXPECT_EQ(close_entry(reader), 0);
    int64_t size = 0;
    EXPECT_EQ(describe(in, "e", "DATA", &size), zef::kCatalogIoFailure);
    EXPECT_EQ(remove(out, "e", "DATA"), zef::kCatalogIoFailure);
    EXPECT_EQ(close_catalog(in), 0);
    EXPECT_EQ(close_catalog(out), 0);

    void *cat = nullptr;
    EXPECT_EQ(open_catalog("gone", "c", zef::kLibraryInput, &cat), zef::kCatalogIoFailure);
    EXPECT_NE(services.last_error().find("cannot connect"), std::string::npos) << services.last_error();
    EXPECT_EQ(open_catalog("gone", "new", zef::kLibraryWrite, &cat), zef::kCatalogIoFailure);
    EXPECT_THROW(services.list_catalogs("gone"), zefhost::catalog::CatalogError);
}

// Tables of the first format, read through a handle opened before a writer
// elsewhere brought them up to date and wrote compressed chunks: the
// handle reads them as written, not as damaged.
TEST_F(DatabaseStore, AReaderOpenWhileTheTablesAreBroughtUpToDateReadsTheNewEntries) {
    write_old_entry_in_first_format_tables();
    void *reader_cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &reader_cat), 0);
    ASSERT_EQ(open_entry(reader_cat, "old", "DATA", zef::kMemberInput, &entry), 0);
    EXPECT_EQ(read_rest(entry), numbered_blocks("o", 300));
    ASSERT_EQ(close_entry(entry), 0);

    services.set_compress_writes(true);
    write_entry("work", "c", "new", "DATA", numbered_blocks("n", 3000));
    ASSERT_EQ(database->sql("SELECT version FROM zef_format"), "2");
    ASSERT_NE(database->sql("SELECT count(*) FROM pieces WHERE codec <> 0"), "0");

    ASSERT_EQ(open_entry(reader_cat, "new", "DATA", zef::kMemberInput, &entry), 0) << services.last_error();
    int32_t end = 0;
    EXPECT_EQ(read_rest(entry, &end), numbered_blocks("n", 3000));
    EXPECT_EQ(end, zef::kCatalogEndOfMember) << services.last_error();
    EXPECT_EQ(close_entry(entry), 0);
    EXPECT_EQ(close_catalog(reader_cat), 0);
}

// Each text is a statement of its own, however it was built: texts made
// one after another in the same buffer, as a query built for each call may
// be, run as written, and a text met again runs as before.
TEST_F(DatabaseStore, StatementsAreKnownByTheirTextWhereverItLies) {
    zefhost::catalog::pg::Connection connection(zeftest::PostgresCluster::shared().uri(), "test");
    char text[128];
    for (int round = 0; round < 2; ++round) {
        for (int i = 1; i <= 3; ++i) {
            std::snprintf(text, sizeof text, "SELECT %d + $1::int AS built_for_this_call", i);
            EXPECT_EQ(connection.run(text, {int64_t{10 * round}}).integer(0, 0), i + 10 * round) << text;
        }
    }
}

}  // namespace
}  // namespace cattest
