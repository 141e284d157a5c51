// A read request that fails keeps the reader where it was: the next read
// delivers the block at its position, never one from a chunk it let go of,
// nor the block after one it skipped.
#include "support.h"

namespace cattest {
namespace {

namespace r = zef::routine;
namespace p = zef::proto;

std::vector<Block> text_blocks(int count) { return numbered_blocks("line of text", count, 200); }

class ReadFailure : public BothStores {
protected:
    // Flips one byte of every chunk of the entry past its first piece, in
    // the store's own tables.
    void damage_all_but_first_piece(std::string_view name) {
        std::string content = store_sql("c", "SELECT content FROM entries WHERE name = '" + std::string(name) + "'");
        ASSERT_FALSE(content.empty());
        std::string where = "id IN (SELECT chunk FROM pieces WHERE content = " + content + " AND ordinal > 0)";
        std::string result =
            kind == StoreKind::directory
                ? store_sql("c", "UPDATE chunks SET data = CAST(substr(data, 1, 40) || x'5A' || substr(data, 42) "
                                 "AS BLOB) WHERE " + where)
                : store_sql("c", "UPDATE chunks SET data = set_byte(data, 40, 90) WHERE " + where);
        ASSERT_EQ(result, "");
    }
};
ZEF_ON_BOTH_STORES(ReadFailure);

// Pointing at a block whose chunk fails its checksum is refused; the chunk
// read before was let go of on the way. Before the reader kept track of
// that, its next read handed out bytes from memory that no longer held
// that chunk (another chunk's, or freed), with status 0.
TEST_P(ReadFailure, AFailedPointLeavesTheReaderAtItsPosition) {
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        services.set_compress_writes(compress);
        const std::vector<Block> blocks = text_blocks(1000);
        write_entry("work", "c", "e", "DATA", blocks);
        ASSERT_EQ(store_sql("c", "SELECT count(*) FROM pieces WHERE content = (SELECT content FROM entries)"), "4");
        damage_all_but_first_piece("E");

        void *cat = nullptr, *entry = nullptr;
        ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
        ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberInput, &entry), 0);
        Block block;
        for (int i = 0; i < 3; ++i) ASSERT_EQ(read_block(entry, block), 0);
        EXPECT_EQ(point(entry, 900), zef::kCatalogIoFailure);
        EXPECT_NE(services.last_error().find("entry E.DATA: piece 2"), std::string::npos) << services.last_error();

        int64_t at = -1;
        EXPECT_EQ(note(entry, &at), 0);
        EXPECT_EQ(at, 3);
        ASSERT_EQ(read_block(entry, block), 0) << services.last_error();
        EXPECT_EQ(block, blocks[3]);
        // On to the end of the sound piece, then the damaged one refuses the read.
        int32_t end = 0;
        std::vector<Block> rest = read_rest(entry, &end);
        EXPECT_EQ(end, zef::kCatalogIoFailure);
        ASSERT_FALSE(rest.empty());
        EXPECT_EQ(rest, std::vector<Block>(blocks.begin() + 4, blocks.begin() + 4 + static_cast<ptrdiff_t>(rest.size())));

        // A point to a sound block, and one to the end, go on as ever.
        EXPECT_EQ(point(entry, 1), 0);
        ASSERT_EQ(read_block(entry, block), 0);
        EXPECT_EQ(block, blocks[1]);
        EXPECT_EQ(point(entry, 900), zef::kCatalogIoFailure);
        EXPECT_EQ(point(entry, 0, zef::kPointToEnd), 0);
        EXPECT_EQ(read_block(entry, block), zef::kCatalogEndOfMember);
        EXPECT_EQ(close_entry(entry), 0);
        EXPECT_EQ(close_catalog(cat), 0);
        EXPECT_EQ(services.open_entries(), 0u);
        ASSERT_EQ(services.remove_catalog("work", "c", true).removed, true);
    }
}

// A read with no buffer for a block that has bytes is refused before the
// reader moves on: it used to pass over the block, so the next read
// delivered the one after it while note still named the first, and at the
// end of the piece a sound entry read as damaged.
TEST_P(ReadFailure, AReadRefusedForWantOfABufferPassesOverNothing) {
    const std::vector<Block> blocks = text_blocks(5);
    write_entry("work", "c", "e", "DATA", blocks);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberInput, &entry), 0);
    Block block;
    ASSERT_EQ(read_block(entry, block), 0);
    zef::TransferRequest no_buffer{};
    EXPECT_EQ(call<p::ylmread>(r::ylmread, entry, static_cast<void *>(&no_buffer)), zef::kCatalogBadRequest);
    EXPECT_EQ(services.last_error(), "read into no buffer");
    int64_t at = -1;
    EXPECT_EQ(note(entry, &at), 0);
    EXPECT_EQ(at, 1);
    int32_t end = 0;
    EXPECT_EQ(read_rest(entry, &end), std::vector<Block>(blocks.begin() + 1, blocks.end()));
    EXPECT_EQ(end, zef::kCatalogEndOfMember) << services.last_error();
    EXPECT_EQ(close_entry(entry), 0);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(services.open_entries(), 0u);
}

}  // namespace
}  // namespace cattest
