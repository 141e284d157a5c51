// A writer that is alive is never taken for a dead one: what it staged
// stays until its close makes it the entry's.
#include <filesystem>
#include <vector>

#include "support.h"

namespace {

using namespace cattest;

class LiveWriterReclaim : public CatalogTest {};

// The writers' lock file taken away while a writer holds it (a user's
// clean-up, or a catalog file reached by another name): the next catalog
// opened for writing makes the file anew, finds no lock held in it for
// the writer's row, and collects its staged pieces as a dead writer's.
// The writer, still alive, must not then make what is left the entry's
// version: its close is refused, and the entry keeps the version before.
TEST_F(LiveWriterReclaim, AWriterTakenForDeadIsRefusedItsCloseAndTheEntryKeepsItsVersion) {
    write_entry("work", "c", "big", "DATA", {{1, "before"}});
    // More than a staging batch (1 MiB): part of it is staged before the close.
    const std::vector<Block> blocks = numbered_blocks("big", 20000, 100);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "big", "DATA", zef::kMemberOutput, &entry), 0);
    for (size_t i = 0; i + 1 < blocks.size(); ++i) ASSERT_EQ(write_block(entry, blocks[i]), 0);
    ASSERT_GT(count_rows("c", "pieces"), 1) << "nothing was staged before the close";

    std::filesystem::remove(catalog_path("c").string() + "-writers");
    // Another open for writing (here of this process; another process's is
    // the same): its housekeeping reclaims the writers it finds dead.
    void *other = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &other), 0);
    EXPECT_EQ(close_catalog(other), 0);

    ASSERT_EQ(write_block(entry, blocks.back()), 0);
    EXPECT_EQ(close_entry(entry), zef::kCatalogIoFailure);
    EXPECT_NE(services.last_error().find("BIG.DATA: its writer was taken for a dead one"), std::string::npos)
        << services.last_error();
    EXPECT_EQ(services.open_entries(), 0u);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "c", "big", "DATA").blocks, (std::vector<Block>{{1, "before"}}));
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
}

}  // namespace
