// What each version was written with: set on the open writer, committed
// with the version at close, kept by an append that says nothing; and
// catalogs of the format before it still open and read.
#include <sqlite3.h>

#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/chunk.h"
#include "zefhost/catalog/schema.h"
#include "support.h"
#include "support/catalog_sql.h"

namespace cattest {
namespace {

using zefhost::catalog::CatalogError;
using zefhost::catalog::VersionAttributes;

using zeftest::file_sql;

template <typename Base>
class WithStoredAttributes : public Base {
protected:
    std::optional<VersionAttributes> stored(std::string_view name, std::string_view type = "SOURCE") {
        auto row = this->services.entry_row("work", "attrs", name, type);
        EXPECT_TRUE(row.has_value()) << name;
        return row ? row->attributes : std::nullopt;
    }
};
using VersionAttributesTest = WithStoredAttributes<CatalogTest>;
class StoredAttributes : public WithStoredAttributes<BothStores> {};
ZEF_ON_BOTH_STORES(StoredAttributes);

TEST_P(StoredAttributes, AWritersAttributesBecomeTheEntrysAtItsClose) {
    const VersionAttributes fixed{0x08, 81, "latin1", {}, {}};
    const VersionAttributes stream{0x02, 1 << 20, "", {}, {}};
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "attrs", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "a", "SOURCE", zef::kMemberOutput, &entry), 0);
    // Set in any spelling of the name; nothing is there before the close.
    EXPECT_EQ(services.set_written_attributes("Work", "ATTRS", "a", "source", fixed), std::nullopt);
    ASSERT_EQ(write_block(entry, {145, "x"}), 0);
    EXPECT_FALSE(services.entry_row("work", "attrs", "A", "SOURCE").has_value());
    ASSERT_EQ(close_entry(entry), 0);
    EXPECT_EQ(stored("A"), fixed);

    // A new writer sees the version's; what it sets shows only once it closes.
    ASSERT_EQ(open_entry(cat, "a", "SOURCE", zef::kMemberAppend, &entry), 0);
    EXPECT_EQ(services.set_written_attributes("work", "attrs", "A", "SOURCE", stream), fixed);
    EXPECT_EQ(stored("A"), fixed);
    ASSERT_EQ(close_entry(entry), 0);
    EXPECT_EQ(stored("A"), stream);

    // An append that says nothing keeps them; a replacement that says
    // nothing has none.
    ASSERT_EQ(open_entry(cat, "a", "SOURCE", zef::kMemberAppend, &entry), 0);
    ASSERT_EQ(write_block(entry, {145, "y"}), 0);
    ASSERT_EQ(close_entry(entry), 0);
    EXPECT_EQ(stored("A"), stream);
    ASSERT_EQ(open_entry(cat, "a", "SOURCE", zef::kMemberOutput, &entry), 0);
    ASSERT_EQ(close_entry(entry), 0);
    EXPECT_EQ(stored("A"), std::nullopt);

    // Only an open writer takes them: not a reader, not another entry.
    ASSERT_EQ(open_entry(cat, "a", "SOURCE", zef::kMemberInput, &entry), 0);
    for (const char *type : {"SOURCE", "LOG"}) {
        try {
            services.set_written_attributes("work", "attrs", "A", type, fixed);
            ADD_FAILURE() << "taken with no writer open";
        } catch (const CatalogError &e) {
            EXPECT_EQ(e.status(), zef::kCatalogBadRequest);
        }
    }
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    EXPECT_FALSE(services.entry_row("work", "attrs", "nothing", "SOURCE").has_value());
    EXPECT_TRUE(services.check_catalog("work", "attrs").empty());
}

TEST_F(VersionAttributesTest, ValuesOutOfRangeInTheStoreAreNotKnown) {
    write_entry("work", "attrs", "good", "SOURCE", {{145, "x"}});
    const std::filesystem::path file = catalog_path("attrs");
    struct Case {
        const char *what;
        const char *values;  // record_format, lrecl, encoding
        bool known;
    };
    const Case cases[] = {
        {"plain", "8, 80, 'latin1'", true},
        {"no encoding", "2, 1048576, ''", true},
        {"an unknown format bit", "64, 80, ''", false},
        {"a negative length", "8, -1, ''", false},
        {"a length beyond any record", "8, 1099511627776, ''", false},
        {"options hidden in the encoding", "8, 80, 'latin1 MOD'", false},
        {"a long encoding", "8, 80, 'abcdefghijklmnopq'", false},
        {"a text for a number", "'F', 80, ''", false},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(file_sql(file, std::string("UPDATE entries SET (record_format, lrecl, encoding) = (") + c.values + ")"),
                  "")
            << c.what;
        EXPECT_EQ(stored("GOOD").has_value(), c.known) << c.what;
        EXPECT_EQ(read_entry("work", "attrs", "good", "SOURCE").blocks.size(), 1u) << c.what;
        EXPECT_EQ(services.check_catalog("work", "attrs").size(), c.known ? 0u : 1u) << c.what;
    }
}

// The schema of the first catalog format, as catalogs written then have it.
const char *const kFirstFormatSchema = R"sql(
PRAGMA page_size=16384;
PRAGMA journal_mode=WAL;
PRAGMA application_id=1514357076;
PRAGMA user_version=1;
CREATE TABLE entries(name TEXT NOT NULL, type TEXT NOT NULL, content INTEGER NOT NULL,
    description BLOB NOT NULL, created INTEGER NOT NULL, modified INTEGER NOT NULL,
    blocks INTEGER NOT NULL, bytes INTEGER NOT NULL, longest INTEGER NOT NULL,
    PRIMARY KEY(name, type)) WITHOUT ROWID;
CREATE TABLE writers(content INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL,
    type TEXT NOT NULL, pid INTEGER NOT NULL, started INTEGER NOT NULL);
CREATE INDEX writers_by_entry ON writers(name, type);
CREATE TABLE pieces(content INTEGER NOT NULL, ordinal INTEGER NOT NULL,
    first_block INTEGER NOT NULL, block_count INTEGER NOT NULL, bytes INTEGER NOT NULL,
    longest INTEGER NOT NULL, chunk INTEGER NOT NULL, PRIMARY KEY(content, ordinal)) WITHOUT ROWID;
CREATE TABLE chunks(id INTEGER PRIMARY KEY, data BLOB NOT NULL);
)sql";

std::string hex(std::span<const uint8_t> bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// A catalog of the first format, read through a handle opened before a
// writer elsewhere brought it up to date and wrote compressed, checksummed
// chunks: the handle reads them as written, and checks them.
TEST_F(VersionAttributesTest, AReaderOpenWhileTheCatalogIsBroughtUpToDateReadsTheNewEntries) {
    const std::filesystem::path file = catalog_path("old");
    ASSERT_EQ(file_sql(file, kFirstFormatSchema), "wal");
    void *reader_cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "old", zef::kLibraryInput, &reader_cat), 0);

    services.set_compress_writes(true);
    write_entry("work", "old", "new", "DATA", numbered_blocks("n", 3000));
    ASSERT_EQ(file_sql(file, "PRAGMA user_version"), std::to_string(zefhost::catalog::kFormatVersion));
    ASSERT_EQ(open_entry(reader_cat, "new", "DATA", zef::kMemberInput, &entry), 0) << services.last_error();
    int32_t end = 0;
    EXPECT_EQ(read_rest(entry, &end), numbered_blocks("n", 3000));
    EXPECT_EQ(end, zef::kCatalogEndOfMember) << services.last_error();
    EXPECT_EQ(close_entry(entry), 0);

    // The checksums are the reader's too: a piece changed behind its back is caught.
    ASSERT_EQ(file_sql(file, "UPDATE pieces SET checksum = zeroblob(length(checksum)) WHERE ordinal = 0"), "");
    EXPECT_EQ(open_entry(reader_cat, "new", "DATA", zef::kMemberInput, &entry), zef::kCatalogIoFailure);
    EXPECT_NE(services.last_error().find("do not match its checksum"), std::string::npos) << services.last_error();
    EXPECT_EQ(close_catalog(reader_cat), 0);
}

// A catalog whose journal is not the write-ahead log (a copy restored by a
// tool that changed it) is opened for writing and put back on the log.
TEST_F(VersionAttributesTest, ACatalogOffTheWriteAheadLogIsPutBackOnItByAWriter) {
    write_entry("work", "c", "a", "DATA", numbered_blocks("a", 10));
    ASSERT_EQ(file_sql(catalog_path("c"), "PRAGMA journal_mode=DELETE"), "delete");
    void *cat = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0) << services.last_error();
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(file_sql(catalog_path("c"), "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, numbered_blocks("a", 10));
}

TEST_F(VersionAttributesTest, ACatalogOfTheFirstFormatReadsAndIsBroughtUpToDateByAWriter) {
    static_assert(zefhost::catalog::kApplicationId == 1514357076);
    const std::filesystem::path file = catalog_path("old");
    zefhost::catalog::ChunkBuilder chunk;
    chunk.append(145, "\0one", 4);
    chunk.append(145, "\0three", 6);
    ASSERT_EQ(file_sql(file, std::string(kFirstFormatSchema) +
                            "INSERT INTO chunks VALUES(1, x'" + hex(chunk.bytes()) + "');"
                            "INSERT INTO writers(content, name, type, pid, started) VALUES(7, 'X', 'Y', 1, 0);"
                            "DELETE FROM writers;"
                            "INSERT INTO pieces VALUES(7, 0, 0, 2, 10, 6, 1);"
                            "INSERT INTO entries VALUES('OLD', 'SOURCE', 7, x'', 1, 2, 2, 10, 6);"),
              "wal");

    // Read as it is, and left as it is.
    EntryRead read = read_entry("work", "old", "OLD", "SOURCE");
    ASSERT_EQ(read.status, 0);
    EXPECT_EQ(read.blocks, (std::vector<Block>{{145, std::string("\0one", 4)}, {145, std::string("\0three", 6)}}));
    auto listed = services.list_entries("work", "old");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].row.blocks, 2);
    EXPECT_FALSE(listed[0].row.attributes.has_value());
    EXPECT_TRUE(services.check_catalog("work", "old").empty());
    EXPECT_EQ(file_sql(file, "PRAGMA user_version"), "1");

    // The first writer brings the format up to date; the old entry reads on.
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "old", zef::kLibraryWrite, &cat), 0);
    EXPECT_EQ(file_sql(file, "PRAGMA user_version"), std::to_string(zefhost::catalog::kFormatVersion));
    ASSERT_EQ(open_entry(cat, "old", "SOURCE", zef::kMemberAppend, &entry), 0);
    EXPECT_EQ(services.set_written_attributes("work", "old", "old", "SOURCE", VersionAttributes{0x20, 256, "", {}, {}}),
              std::nullopt);
    ASSERT_EQ(point(entry, 0, zef::kPointToEnd), 0);
    ASSERT_EQ(write_block(entry, {145, std::string("\0four", 5)}), 0);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "old", "OLD", "SOURCE").blocks.size(), 3u);
    EXPECT_EQ(services.entry_row("work", "old", "OLD", "SOURCE")->attributes, (VersionAttributes{0x20, 256, "", {}, {}}));
    EXPECT_TRUE(services.check_catalog("work", "old").empty());

    // A format newer than this code knows is refused, not misread.
    ASSERT_EQ(file_sql(file, "PRAGMA user_version=" + std::to_string(zefhost::catalog::kFormatVersion + 1)), "");
    EXPECT_THROW(services.list_entries("work", "old"), CatalogError);
}

}  // namespace
}  // namespace cattest
