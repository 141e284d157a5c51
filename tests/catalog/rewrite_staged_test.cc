// A writer that goes back over blocks it has written: blocks of a piece it
// set aside (not yet stored) and of pieces it already stored are replaced
// in place, and the entry reads back with exactly those blocks changed.
#include <string>
#include <vector>

#include "support.h"

namespace cattest {
namespace {

class RewriteStaged : public BothStores {};

TEST_P(RewriteStaged, BlocksWrittenEarlierAreReplacedInPlace) {
    // Past the amount a writer gathers before it stores pieces (a megabyte).
    std::vector<Block> blocks = numbered_blocks("w", 30000);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberOutput, &entry), 0);
    int64_t first = 0, middle = 0, late = 0;
    ASSERT_EQ(note(entry, &first), 0);
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (i == 15000) {
            ASSERT_EQ(note(entry, &middle), 0);
        }
        if (i == 29000) {
            ASSERT_EQ(note(entry, &late), 0);
        }
        ASSERT_EQ(write_block(entry, blocks[i]), 0);
    }
    // A piece just set aside, then stored ones, the first of them twice.
    const std::vector<std::pair<int64_t, size_t>> rewrites = {{late, 29000}, {first, 0}, {middle, 15000},
                                                              {first, 0}};
    for (size_t n = 0; n < rewrites.size(); ++n) {
        auto [position, index] = rewrites[n];
        blocks[index] = Block{322, "rewritten " + std::to_string(n)};
        blocks[index].bytes.resize(80, '.');
        ASSERT_EQ(point(entry, position), 0);
        ASSERT_EQ(write_block(entry, blocks[index]), 0) << services.last_error();
    }
    ASSERT_EQ(point(entry, 0, zef::kPointToEnd), 0);
    ASSERT_EQ(write_block(entry, Block{322, "last"}), 0);
    blocks.push_back(Block{322, "last"});
    ASSERT_EQ(close_entry(entry), 0) << services.last_error();
    ASSERT_EQ(close_catalog(cat), 0);

    EntryRead read = read_entry("work", "c", "e", "DATA");
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.blocks.size(), blocks.size());
    EXPECT_TRUE(read.blocks == blocks);
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{}) << "a replaced chunk left behind";
}

ZEF_ON_BOTH_STORES(RewriteStaged);

}  // namespace
}  // namespace cattest
