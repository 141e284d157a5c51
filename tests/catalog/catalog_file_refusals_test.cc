// A catalog file whose statements are refused one at a time, as a full
// disk or a damaged page refuses them: a trigger added with the sqlite3
// library refuses exactly one kind of change, or another connection holds
// the file's write lock past the wait. Every request that meets the
// refusal fails with its reason, the stored entries stay as they were,
// and what a refused writer left is cleared by the entry's next writer.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "store_requests.h"

namespace cattest {
namespace {

struct FileRefusal {
    const char *name;
    const char *table;  // the table whose change is refused ("" for none)
    const char *event;  // INSERT, UPDATE or DELETE
    Op op;
    int32_t status;
    const char *message;
    bool held = false;  // another connection holds the write lock meanwhile
};

std::string row_name(const ::testing::TestParamInfo<FileRefusal> &info) { return info.param.name; }

class CatalogFileRefusals : public CatalogTest, public ::testing::WithParamInterface<FileRefusal> {};

TEST_P(CatalogFileRefusals, LeaveTheCatalogAsItWas) {
    const FileRefusal &row = GetParam();
    std::vector<Block> a = numbered_blocks("a", 3000);
    write_entry("work", "c", "a", "DATA", a);
    write_entry("work", "c", "b", "DATA", numbered_blocks("b", 5));
    if (*row.table) {
        EXPECT_EQ(store_sql("c", std::string("CREATE TRIGGER refusal BEFORE ") + row.event + " ON " + row.table +
                                     " BEGIN SELECT RAISE(ABORT, 'refused by the file'); END"),
                  "");
    }
    services.set_busy_timeout(std::chrono::milliseconds(50));
    services.set_last_error("");
    sqlite3 *holder = nullptr;
    if (row.held) {
        ASSERT_EQ(sqlite3_open(catalog_path("c").c_str(), &holder), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    EXPECT_EQ(run_request(services, row.op), row.status) << services.last_error();
    EXPECT_NE(services.last_error().find(row.message), std::string::npos) << services.last_error();
    sqlite3_close_v2(holder);  // its transaction rolls back
    if (*row.table) {
        EXPECT_EQ(store_sql("c", "DROP TRIGGER refusal"), "");
    }

    EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, a);
    EXPECT_EQ(count_rows("c", "entries"), 2);
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
    write_entry("work", "c", row.op == Op::write_new ? "n" : "a", "DATA", a);
    EXPECT_EQ(count_rows("c", "writers"), 0);
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
}

constexpr int32_t kIo = zef::kCatalogIoFailure;
constexpr const char *kRefused = "refused by the file";

INSTANTIATE_TEST_SUITE_P(
    Directory, CatalogFileRefusals,
    ::testing::Values(
        FileRefusal{"WriterInsert", "writers", "INSERT", Op::write_new, kIo, kRefused},
        FileRefusal{"ChunkInsert", "chunks", "INSERT", Op::write_new, kIo, kRefused},
        FileRefusal{"PieceInsert", "pieces", "INSERT", Op::write_new, kIo, kRefused},
        FileRefusal{"EntryInsert", "entries", "INSERT", Op::write_new, kIo, kRefused},
        FileRefusal{"WriterDelete", "writers", "DELETE", Op::write_new, kIo, kRefused},
        FileRefusal{"ReplaceEntryInsert", "entries", "INSERT", Op::replace, kIo, kRefused},
        FileRefusal{"ReplaceChunkDelete", "chunks", "DELETE", Op::replace, kIo, kRefused},
        FileRefusal{"ReplacePieceDelete", "pieces", "DELETE", Op::replace, kIo, kRefused},
        FileRefusal{"AppendPieceInsert", "pieces", "INSERT", Op::append, kIo, kRefused},
        FileRefusal{"AppendChunkDelete", "chunks", "DELETE", Op::append, kIo, kRefused},
        FileRefusal{"RemoveChunks", "chunks", "DELETE", Op::remove_entry, kIo, kRefused},
        FileRefusal{"RemovePieces", "pieces", "DELETE", Op::remove_entry, kIo, kRefused},
        FileRefusal{"RemoveEntryRow", "entries", "DELETE", Op::remove_entry, kIo, kRefused},
        // Another connection's write transaction, held past the wait.
        FileRefusal{"HeldAgainstAWriter", "", "", Op::write_new, zef::kCatalogEntryInUse, "locked", true},
        // A removal's transaction is a durable one: the message is still
        // the lock's, not that of the setting put back after it failed.
        FileRefusal{"HeldAgainstARemoval", "", "", Op::remove_entry, zef::kCatalogEntryInUse, "database is locked",
                    true},
        FileRefusal{"HeldAgainstAnAppend", "", "", Op::append, zef::kCatalogEntryInUse, "locked", true}),
    row_name);

}  // namespace
}  // namespace cattest
