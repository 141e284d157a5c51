// Entries whose rows a damaged or hand-edited catalog file has changed: every
// number in the file is untrusted. Each fault is answered "catalog damaged"
// at describe, at open or at the read that meets it; nothing is ever copied
// past the size the entry reported, and nothing is allocated by a recorded
// size alone.
#include <sqlite3.h>

#include <functional>

#include "zefhost/catalog/chunk.h"
#include "support.h"

namespace cattest {
namespace {

using CatalogDamage = CatalogTest;

void run_sql(const std::filesystem::path &file, const std::string &sql) {
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char *error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// Rewrites the bytes of every chunk with `edit`.
void edit_chunks(const std::filesystem::path &file, const std::function<void(std::string &)> &edit) {
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    std::vector<std::pair<int64_t, std::string>> chunks;
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(db, "SELECT id, data FROM chunks", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        chunks.emplace_back(sqlite3_column_int64(s, 0),
                            std::string(static_cast<const char *>(sqlite3_column_blob(s, 1)),
                                        static_cast<size_t>(sqlite3_column_bytes(s, 1))));
    sqlite3_finalize(s);
    sqlite3_prepare_v2(db, "UPDATE chunks SET data = ?2 WHERE id = ?1", -1, &s, nullptr);
    for (auto &[id, bytes] : chunks) {
        edit(bytes);
        sqlite3_bind_int64(s, 1, id);
        sqlite3_bind_blob(s, 2, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(s), SQLITE_DONE);
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
}

void put_length(std::string &chunk, size_t header_at, uint32_t length) {
    for (int i = 0; i < 4; ++i) chunk[header_at + 2 + static_cast<size_t>(i)] = static_cast<char>(length >> (8 * i));
}

// What describe, open and reading answer for entry e.DATA of catalog c; the
// reads use a buffer of the described size (the read support fails the test
// when a block spills past it).
struct Answers {
    int32_t described = 0;
    int32_t opened = 0;
    int32_t read_end = 0;  // the status that ended reading, when opened
    int32_t pointed = 0;   // pointing back to the start and reading again
    size_t blocks = 0;
};

Answers answers(int32_t mode) {
    Answers a;
    void *cat = nullptr, *entry = nullptr;
    if (open_catalog("work", "c", mode == zef::kMemberInput ? zef::kLibraryInput : zef::kLibraryWrite, &cat) != 0)
        ADD_FAILURE() << "catalog open";
    int64_t size = 0;
    a.described = describe(cat, "e", "DATA", &size);
    size_t buffer = static_cast<size_t>(std::max<int64_t>(size, 0));
    a.opened = open_entry(cat, "e", "DATA", mode, &entry);
    if (a.opened == 0) {
        for (;;) {
            Block block;
            int32_t status = read_block(entry, block, buffer);
            if (status != 0) {
                a.read_end = status;
                break;
            }
            ++a.blocks;
        }
        a.pointed = point(entry, 0);
        if (a.pointed == 0) {
            Block block;
            a.pointed = read_block(entry, block, buffer);
        }
        EXPECT_EQ(close_entry(entry), 0);
    }
    EXPECT_EQ(close_catalog(cat), 0);
    return a;
}

// Faults in the rows: each is found when the entry is described or opened.
TEST_F(CatalogDamage, RowsThatDisagreeAreRefusedAtDescribeAndOpen) {
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"a 2 GiB longest block", "UPDATE entries SET longest = 2147483648; UPDATE pieces SET longest = 2147483648"},
        {"a longest block shorter than a stored one",
         "UPDATE entries SET longest = 100; UPDATE pieces SET longest = 100"},
        {"a negative block count", "UPDATE entries SET blocks = blocks - 1000; "
                                   "UPDATE pieces SET block_count = block_count - 1000 WHERE ordinal = 0"},
        {"the smallest block count", "UPDATE pieces SET block_count = -9223372036854775808 WHERE ordinal = 1"},
        {"a piece starting one block late", "UPDATE pieces SET first_block = first_block + 1 WHERE ordinal = 1"},
        {"a piece out of order", "UPDATE pieces SET ordinal = 7 WHERE ordinal = 1"},
        {"a payload that is not the chunk's", "UPDATE entries SET bytes = bytes + 6; "
                                              "UPDATE pieces SET bytes = bytes + 6 WHERE ordinal = 0"},
        {"a chunk missing", "DELETE FROM chunks WHERE id = (SELECT max(id) FROM chunks)"},
        {"a chunk that is text", "UPDATE chunks SET data = 'text' WHERE id = (SELECT min(id) FROM chunks)"},
        {"a chunk cut short", "UPDATE chunks SET data = substr(data, 1, 500)"},
        {"totals larger than the pieces", "UPDATE entries SET blocks = blocks + 1"},
    };
    for (const auto &[what, sql] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove(catalog_path("c"));
        // Three pieces of 40 blocks, one block of 5000 bytes.
        auto blocks = numbered_blocks("b", 120, 1600);
        blocks[70].bytes.assign(5000, 'L');
        write_entry("work", "c", "e", "DATA", blocks);
        run_sql(catalog_path("c"), sql);
        for (int32_t mode : {zef::kMemberInput, zef::kMemberAppend}) {
            Answers a = answers(mode);
            EXPECT_EQ(a.described, zef::kCatalogDamaged) << services.last_error();
            EXPECT_EQ(a.opened, zef::kCatalogDamaged) << "mode " << mode;
        }
        EXPECT_FALSE(services.check_catalog("work", "c").empty());
    }
}

// Faults inside a chunk whose size agrees with its piece: found when the
// chunk is first read, before any of its blocks goes out. With checksums
// kept, the changed bytes fail their checksum (an I/O failure of the read);
// in a catalog written before checksums, the blocks' own checks find them.
TEST_F(CatalogDamage, AChunkThatDisagreesWithItsPieceIsRefusedBeforeItsBlocks) {
    const std::vector<std::pair<const char *, std::function<void(std::string &)>>> cases = {
        // 100 + 100 recorded as 150 + 50: the first block outgrows the reported size.
        {"a block longer than the longest", [](std::string &c) { put_length(c, 0, 150), put_length(c, 6 + 150, 50); }},
        {"a block length past the chunk", [](std::string &c) { put_length(c, 0, 0xFFFFFFF0u); }},
        {"one block where there were two", [](std::string &c) { put_length(c, 0, 206); }},
        {"one byte of data changed", [](std::string &c) { c[50] ^= 0x20; }},
    };
    for (bool checksums : {true, false}) {
        for (const auto &[what, edit] : cases) {
            SCOPED_TRACE(std::string(what) + (checksums ? " (with checksums)" : " (no checksums)"));
            std::filesystem::remove(catalog_path("c"));
            write_entry("work", "c", "e", "DATA", {{1, std::string(100, 'a')}, {2, std::string(100, 'b')}});
            edit_chunks(catalog_path("c"), edit);
            if (!checksums) run_sql(catalog_path("c"), "UPDATE entries SET checksum = NULL; UPDATE pieces SET checksum = NULL");
            // A changed data byte leaves every block whole: only a checksum sees it.
            if (!checksums && std::string(what) == "one byte of data changed") continue;
            int32_t expected = checksums ? zef::kCatalogIoFailure : zef::kCatalogDamaged;
            for (int32_t mode : {zef::kMemberInput, zef::kMemberAppend}) {
                Answers a = answers(mode);
                EXPECT_EQ(a.described, 0);
                EXPECT_EQ(a.opened, 0);
                EXPECT_EQ(a.blocks, 0u) << "mode " << mode;
                EXPECT_EQ(a.read_end, expected) << "mode " << mode;
                EXPECT_EQ(a.pointed, expected) << "mode " << mode;
            }
            EXPECT_FALSE(services.check_catalog("work", "c").empty());
        }
    }
}

// The checks cost nothing that a sound entry notices: every way of reading
// still gives back what was written.
TEST_F(CatalogDamage, SoundEntriesPassEveryCheck) {
    std::vector<Block> blocks = numbered_blocks("s", 300, 700);
    blocks[5].bytes.clear();
    blocks[200].bytes.assign(zefhost::catalog::kChunkTarget * 2, 'L');
    write_entry("work", "c", "e", "DATA", blocks);
    // Mode 8 writes at position 0: the first block is replaced in a merged piece.
    write_entry("work", "c", "e", "DATA", {{9, "replaced"}}, zef::kMemberAppend);
    blocks[0] = {9, "replaced"};
    for (int32_t mode : {zef::kMemberInput, zef::kMemberAppend}) {
        Answers a = answers(mode);
        EXPECT_EQ(a.described, 0);
        EXPECT_EQ(a.opened, 0);
        EXPECT_EQ(a.blocks, blocks.size());
        EXPECT_EQ(a.read_end, zef::kCatalogEndOfMember);
        EXPECT_EQ(a.pointed, 0);
    }
    EXPECT_EQ(read_entry("work", "c", "e", "DATA").blocks, blocks);
    EXPECT_TRUE(services.check_catalog("work", "c").empty());
}

}  // namespace
}  // namespace cattest
