// Entries through the vector: blocks and record codes come back as written,
// output replaces, append and update keep, delete removes, and the metadata
// follows.
#include <algorithm>

#include "zefhost/catalog/chunk.h"
#include "support.h"

namespace cattest {
namespace {

using zefhost::catalog::EntryInfo;

const EntryInfo *info_of(const std::vector<EntryInfo> &list, std::string_view name, std::string_view type) {
    for (const EntryInfo &e : list)
        if (e.key.name == name && e.key.type == type) return &e;
    return nullptr;
}

class CatalogEntries : public BothStores {};
ZEF_ON_BOTH_STORES(CatalogEntries);

TEST_P(CatalogEntries, BlocksComeBackWithTheirCodes) {
    struct Case {
        const char *what;
        std::vector<Block> blocks;
    };
    std::string large(zefhost::catalog::kChunkTarget * 2 + 17, 'L');
    const std::vector<Case> cases = {
        {"no blocks", {}},
        {"one empty block", {{270, ""}}},
        {"codes 0 and 65535 and binary bytes",
         {{0, std::string("a\0b", 3)}, {65535, "\xff\xfe"}, {145, " line"}}},
        {"empty blocks between others", {{145, "x"}, {145, ""}, {145, ""}, {322, "y"}}},
        {"a block larger than a chunk between small ones", {{322, "before"}, {321, large}, {322, "after"}}},
        {"many blocks over several chunks", numbered_blocks("n", 5000)},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = "case" + std::to_string(n++);
        write_entry("work", "rt", name, "DATA", c.blocks);
        EntryRead back = read_entry("work", "rt", name, "DATA");
        ASSERT_EQ(back.status, 0);
        EXPECT_EQ(back.blocks, c.blocks);
    }
    EXPECT_TRUE(services.check_catalog("work", "rt").empty());
}

TEST_P(CatalogEntries, ReadAtTheEndAnswersEndOfMemberWithCountZero) {
    write_entry("work", "rt", "one", "LOG", {{145, "only"}});
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "rt", zef::kLibraryInput, &cat), 0);
    ASSERT_EQ(open_entry(cat, "one", "LOG", zef::kMemberInput, &entry), 0);
    Block block;
    ASSERT_EQ(read_block(entry, block), 0);
    for (int again = 0; again < 2; ++again) {
        ASSERT_EQ(read_block(entry, block), zef::kCatalogEndOfMember);
        EXPECT_EQ(block.bytes.size(), 0u);
    }
    EXPECT_EQ(close_entry(entry), 0);
    EXPECT_EQ(close_catalog(cat), 0);
}

TEST_P(CatalogEntries, NamesAreMatchedWithoutRegardToCase) {
    write_entry("Work", "MixedCase", "Report", "log", {{145, "r"}});
    EXPECT_TRUE(services.catalog_exists("work", "MIXEDCASE"));
    EntryRead back = read_entry("WORK", "mixedcase", "REPORT", "LOG");
    ASSERT_EQ(back.status, 0);
    EXPECT_EQ(back.blocks.size(), 1u);
    auto list = services.list_entries("work", "MIXEDCASE");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].key.name, "REPORT");
    EXPECT_EQ(list[0].key.type, "LOG");
}

TEST_P(CatalogEntries, OutputReplacesTheWholeEntryAndKeepsItsCreation) {
    write_entry("work", "c", "e", "CSV", numbered_blocks("old", 3000));
    auto before = services.list_entries("work", "c");
    write_entry("work", "c", "e", "CSV", numbered_blocks("new", 10));
    EXPECT_EQ(read_entry("work", "c", "e", "CSV").blocks, numbered_blocks("new", 10));
    auto after = services.list_entries("work", "c");
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].row.created, before[0].row.created);
    EXPECT_GE(after[0].row.modified, before[0].row.modified);
    EXPECT_TRUE(services.check_catalog("work", "c").empty()) << "old chunks must be gone";
}

TEST_P(CatalogEntries, AppendKeepsTheEntryAndAddsAtTheEnd) {
    auto first = numbered_blocks("a", 1000);
    write_entry("work", "c", "log", "LOG", first);
    auto more = numbered_blocks("b", 1000);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "log", "LOG", zef::kMemberAppend, &entry), 0);
    ASSERT_EQ(point(entry, 0, zef::kPointToEnd), 0);
    for (const Block &b : more) ASSERT_EQ(write_block(entry, b), 0);
    // Not visible before the close.
    EXPECT_EQ(read_entry("work", "c", "log", "LOG").blocks.size(), first.size());
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    first.insert(first.end(), more.begin(), more.end());
    EXPECT_EQ(read_entry("work", "c", "log", "LOG").blocks, first);
    EXPECT_TRUE(services.check_catalog("work", "c").empty());
}

TEST_P(CatalogEntries, AppendCreatesAMissingEntry) {
    write_entry("work", "c", "fresh", "LOG", {{145, "1"}, {145, "2"}}, zef::kMemberAppend);
    EXPECT_EQ(read_entry("work", "c", "fresh", "LOG").blocks, (std::vector<Block>{{145, "1"}, {145, "2"}}));
}

TEST_P(CatalogEntries, UpdateReplacesTheBlockAtANotedPosition) {
    auto blocks = numbered_blocks("u", 2000);
    write_entry("work", "c", "upd", "DATA", blocks);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "upd", "DATA", zef::kMemberAppend, &entry), 0);
    // Read up to block 1500, note it, read on, come back and rewrite it longer.
    Block block;
    for (int i = 0; i < 1500; ++i) ASSERT_EQ(read_block(entry, block), 0);
    int64_t noted = -1;
    ASSERT_EQ(note(entry, &noted), 0);
    EXPECT_EQ(noted, 1500);
    ASSERT_EQ(read_block(entry, block), 0);
    EXPECT_EQ(block, blocks[1500]);
    ASSERT_EQ(point(entry, noted), 0);
    Block longer{145, std::string(300, 'Z')};
    ASSERT_EQ(write_block(entry, longer), 0);
    // The handle reads its own change; the next write goes to the next block.
    ASSERT_EQ(point(entry, noted), 0);
    ASSERT_EQ(read_block(entry, block), 0);
    EXPECT_EQ(block, longer);
    ASSERT_EQ(write_block(entry, Block{1, ""}), 0);
    ASSERT_EQ(point(entry, 3), 0);
    ASSERT_EQ(write_block(entry, Block{3, "three"}), 0);
    // A writer points within the entry or just past its end, nowhere else;
    // a refused point leaves the position where it was.
    EXPECT_EQ(point(entry, 2001), zef::kCatalogBadRequest);
    EXPECT_NE(services.last_error().find("position 2001 outside the entry"), std::string::npos)
        << services.last_error();
    EXPECT_EQ(point(entry, -1), zef::kCatalogBadRequest);
    ASSERT_EQ(note(entry, &noted), 0);
    EXPECT_EQ(noted, 4);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);

    blocks[1500] = longer;
    blocks[1501] = Block{1, ""};
    blocks[3] = Block{3, "three"};
    EXPECT_EQ(read_entry("work", "c", "upd", "DATA").blocks, blocks);
    auto list = services.list_entries("work", "c");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].row.blocks, 2000);
    EXPECT_EQ(list[0].row.longest, 300);
    EXPECT_TRUE(services.check_catalog("work", "c").empty());
}

TEST_P(CatalogEntries, NoteAndPointWhileReading) {
    auto blocks = numbered_blocks("p", 3000);
    write_entry("work", "c", "pt", "DATA", blocks);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
    ASSERT_EQ(open_entry(cat, "pt", "DATA", zef::kMemberInput, &entry), 0);
    Block block;
    for (int64_t position : {int64_t{2999}, int64_t{0}, int64_t{1234}, int64_t{760}, int64_t{761}}) {
        ASSERT_EQ(point(entry, position), 0);
        int64_t noted = -1;
        ASSERT_EQ(note(entry, &noted), 0);
        EXPECT_EQ(noted, position);
        ASSERT_EQ(read_block(entry, block), 0);
        EXPECT_EQ(block, blocks[static_cast<size_t>(position)]);
    }
    ASSERT_EQ(point(entry, 0, zef::kPointToEnd), 0);
    EXPECT_EQ(read_block(entry, block), zef::kCatalogEndOfMember);
    ASSERT_EQ(point(entry, 2998), 0);
    EXPECT_EQ(read_rest(entry).size(), 2u);
    EXPECT_EQ(point(entry, 3001), zef::kCatalogBadRequest);
    EXPECT_EQ(point(entry, -1), zef::kCatalogBadRequest);
    EXPECT_EQ(point(entry, 0, 1), zef::kCatalogBadRequest);
    EXPECT_EQ(close_entry(entry), 0);
    EXPECT_EQ(close_catalog(cat), 0);
}

TEST_P(CatalogEntries, DescribeReportsTheLongestBlock) {
    write_entry("work", "c", "sized", "GIF", {{321, "12"}, {321, std::string(5000, 'x')}, {321, ""}});
    write_entry("work", "c", "empty", "GIF", {});
    void *cat = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
    int64_t size = -1;
    EXPECT_EQ(describe(cat, "sized", "GIF", &size), 0);
    EXPECT_EQ(size, 5000);
    EXPECT_EQ(describe(cat, "empty", "GIF", &size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(describe(cat, "absent", "GIF", &size), zef::kCatalogEntryMissing);
    EXPECT_EQ(find(cat, "sized", "gif"), 0);
    EXPECT_EQ(find(cat, "sized", "PNG"), zef::kCatalogEntryMissing);
    EXPECT_EQ(close_catalog(cat), 0);
}

TEST_P(CatalogEntries, MetadataFollowsTheEntry) {
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "meta", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "doc", "HTML", zef::kMemberOutput, &entry, "A described entry"), 0);
    ASSERT_EQ(write_block(entry, {322, "<p>"}), 0);
    ASSERT_EQ(write_block(entry, {322, "hello"}), 0);
    ASSERT_EQ(close_entry(entry), 0);
    // Rewritten without a description: the description stays.
    ASSERT_EQ(open_entry(cat, "doc", "HTML", zef::kMemberOutput, &entry), 0);
    ASSERT_EQ(write_block(entry, {322, "<html>"}), 0);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    auto list = services.list_entries("work", "meta");
    const EntryInfo *doc = info_of(list, "DOC", "HTML");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->row.description, "A described entry");
    EXPECT_EQ(doc->row.blocks, 1);
    EXPECT_EQ(doc->row.bytes, 6);
    EXPECT_EQ(doc->row.longest, 6);
    EXPECT_GT(doc->row.created, 0);
    EXPECT_LE(doc->row.created, doc->row.modified);
}

TEST_P(CatalogEntries, DeleteRemovesTheEntryAndItsBlocks) {
    write_entry("work", "c", "gone", "DATA", numbered_blocks("g", 2000));
    write_entry("work", "c", "kept", "DATA", {{1, "k"}});
    void *cat = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    EXPECT_EQ(remove(cat, "gone", "DATA"), 0);
    EXPECT_EQ(remove(cat, "gone", "DATA"), zef::kCatalogEntryMissing);
    EXPECT_EQ(find(cat, "gone", "DATA"), zef::kCatalogEntryMissing);
    EXPECT_EQ(find(cat, "kept", "DATA"), 0);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "c", "gone", "DATA").status, zef::kCatalogEntryMissing);
    EXPECT_TRUE(services.check_catalog("work", "c").empty());
}

// A move deletes its source only if it is still the version it copied: a
// writer that closed a newer one in the meantime keeps it.
TEST_P(CatalogEntries, ADeletionHeldToOneVersionLeavesANewerOne) {
    write_entry("work", "c", "src", "DATA", {{1, "copied"}});
    write_entry("work", "c", "other", "DATA", {{1, "o"}});
    std::optional<zefhost::catalog::EntryRow> copied = services.entry_row("work", "c", "src", "DATA");
    ASSERT_TRUE(copied);
    write_entry("work", "c", "src", "DATA", {{1, "written meanwhile"}});

    void *cat = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    services.delete_only_version("work", "c", "src", "DATA", copied->content, copied->modified, copied->bytes);
    // Another entry's deletion neither meets nor ends the condition.
    EXPECT_EQ(remove(cat, "other", "DATA"), 0);
    EXPECT_FALSE(services.replaced_at_deletion());
    EXPECT_EQ(remove(cat, "src", "DATA"), zef::kCatalogEntryInUse);
    EXPECT_TRUE(services.replaced_at_deletion());
    EXPECT_NE(services.last_error().find("was replaced since it was read"), std::string::npos)
        << services.last_error();
    EXPECT_EQ(read_entry("work", "c", "src", "DATA").blocks, (std::vector<Block>{{1, "written meanwhile"}}));

    // The condition lasted for that one deletion; one for the version there
    // now lets the deletion go ahead.
    std::optional<zefhost::catalog::EntryRow> now = services.entry_row("work", "c", "src", "DATA");
    ASSERT_TRUE(now);
    services.delete_only_version("work", "c", "src", "DATA", now->content, now->modified, now->bytes);
    EXPECT_EQ(remove(cat, "src", "DATA"), 0);
    EXPECT_FALSE(services.replaced_at_deletion());

    // One dropped unmet holds back nothing later.
    write_entry("work", "c", "src", "DATA", {{1, "again"}});
    services.delete_only_version("work", "c", "src", "DATA", copied->content, copied->modified, copied->bytes);
    services.drop_deletion_condition();
    EXPECT_EQ(remove(cat, "src", "DATA"), 0);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_TRUE(services.check_catalog("work", "c").empty());
}

TEST_P(CatalogEntries, AnOpenEntryIsNotDeletedAndASecondWriterIsRefused) {
    write_entry("work", "c", "busy", "DATA", {{1, "v1"}});
    void *cat = nullptr, *reader = nullptr, *writer = nullptr, *second = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "busy", "DATA", zef::kMemberInput, &reader), 0);
    EXPECT_EQ(remove(cat, "busy", "DATA"), zef::kCatalogEntryInUse);
    ASSERT_EQ(open_entry(cat, "busy", "DATA", zef::kMemberOutput, &writer), 0);
    EXPECT_EQ(open_entry(cat, "busy", "DATA", zef::kMemberAppend, &second), zef::kCatalogEntryInUse);
    EXPECT_EQ(second, nullptr);
    // Through another catalog handle of the same file as well.
    void *other = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &other), 0);
    EXPECT_EQ(open_entry(other, "busy", "DATA", zef::kMemberOutput, &second), zef::kCatalogEntryInUse);
    ASSERT_EQ(write_block(writer, {1, "v2"}), 0);
    ASSERT_EQ(close_entry(writer), 0);
    // The reader opened before the close still reads the version it started with.
    EXPECT_EQ(read_rest(reader), (std::vector<Block>{{1, "v1"}}));
    ASSERT_EQ(close_entry(reader), 0);
    EXPECT_EQ(remove(other, "busy", "DATA"), 0);
    EXPECT_EQ(close_catalog(other), 0);
    EXPECT_EQ(close_catalog(cat), 0);
}

// An entry changed by hand behind its writer (here: made to name another
// entry's content): the writer's close is refused rather than overwrite
// what it did not read, and the entry's next writer clears what it left.
TEST_P(CatalogEntries, AWriterWhoseEntryChangedBehindItIsRefusedAtItsClose) {
    write_entry("work", "c", "a", "DATA", numbered_blocks("a", 10));
    write_entry("work", "c", "b", "DATA", numbered_blocks("b", 10));
    const std::string content = store_sql("c", "SELECT content FROM entries WHERE name = 'A'");
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "a", "DATA", zef::kMemberAppend, &entry), 0);
    ASSERT_EQ(write_block(entry, Block{1, "more"}), 0);
    ASSERT_EQ(store_sql("c", "UPDATE entries SET content = (SELECT content FROM entries WHERE name = 'B') "
                             "WHERE name = 'A'"),
              "");
    EXPECT_EQ(close_entry(entry), zef::kCatalogEntryInUse);
    EXPECT_NE(services.last_error().find("entry A.DATA changed under its writer"), std::string::npos)
        << services.last_error();
    EXPECT_EQ(services.open_entries(), 0u);
    EXPECT_EQ(close_catalog(cat), 0);

    ASSERT_EQ(store_sql("c", "UPDATE entries SET content = " + content + " WHERE name = 'A'"), "");
    EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, numbered_blocks("a", 10));
    EXPECT_EQ(read_entry("work", "c", "b", "DATA").blocks, numbered_blocks("b", 10));
    write_entry("work", "c", "a", "DATA", numbered_blocks("new", 3));
    EXPECT_EQ(count_rows("c", "writers"), 0);
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
}

TEST_P(CatalogEntries, SeveralCatalogsAndEntriesOpenAtOnce) {
    void *cats[3] = {};
    void *entries[3][2] = {};
    for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(open_catalog("work", "multi" + std::to_string(c), zef::kLibraryWrite, &cats[c]), 0);
        for (int e = 0; e < 2; ++e)
            ASSERT_EQ(open_entry(cats[c], "e" + std::to_string(e), "DATA", zef::kMemberOutput, &entries[c][e]), 0);
    }
    for (int i = 0; i < 3000; ++i)
        for (int c = 0; c < 3; ++c)
            for (int e = 0; e < 2; ++e)
                ASSERT_EQ(write_block(entries[c][e], {static_cast<uint16_t>(c * 10 + e), std::to_string(i)}), 0);
    for (int c = 0; c < 3; ++c) {
        for (int e = 0; e < 2; ++e) ASSERT_EQ(close_entry(entries[c][e]), 0);
        ASSERT_EQ(close_catalog(cats[c]), 0);
    }
    for (int c = 0; c < 3; ++c)
        for (int e = 0; e < 2; ++e) {
            auto back = read_entry("work", "multi" + std::to_string(c), "e" + std::to_string(e), "DATA");
            ASSERT_EQ(back.blocks.size(), 3000u);
            EXPECT_EQ(back.blocks[2999], (Block{static_cast<uint16_t>(c * 10 + e), "2999"}));
        }
}

TEST_P(CatalogEntries, EntriesOutliveTheirClosedCatalogHandle) {
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "late", "DATA", zef::kMemberOutput, &entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    ASSERT_EQ(write_block(entry, {5, "still works"}), 0);
    ASSERT_EQ(close_entry(entry), 0);
    EXPECT_EQ(read_entry("work", "c", "late", "DATA").blocks, (std::vector<Block>{{5, "still works"}}));
}

TEST_P(CatalogEntries, AWriterDroppedWithoutCloseLeavesTheEntryAsItWas) {
    write_entry("work", "c", "kept", "DATA", {{1, "v1"}});
    {
        zefhost::Host second_host;  // a host of its own, ended without closing anything
        assign_work(second_host.catalogs());
        void *cat = nullptr, *entry = nullptr;
        ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
        ASSERT_EQ(open_entry(cat, "kept", "DATA", zef::kMemberOutput, &entry), 0);
        for (const Block &b : numbered_blocks("lost", 30000)) ASSERT_EQ(write_block(entry, b), 0);
    }
    // The fixture's host is live again only by name: make a fresh one current.
    zefhost::Host third_host;
    assign_work(third_host.catalogs());
    EXPECT_EQ(read_entry("work", "c", "kept", "DATA").blocks, (std::vector<Block>{{1, "v1"}}));
    EXPECT_TRUE(third_host.catalogs().check_catalog("work", "c").empty());
}

}  // namespace
}  // namespace cattest

namespace cattest {
namespace {

// A long entry (read a megabyte at a time, and on a database on two server
// sessions sharing one snapshot) replaced while it is read, its version's
// chunks dropped: the reader still delivers that version, whole, also after
// pointing back into it.
TEST_P(CatalogEntries, ALongEntryIsReadWholeWhileItIsReplaced) {
    const auto v1 = numbered_blocks("v1", 40000);
    write_entry("work", "long", "e", "DATA", v1);
    void *cat = nullptr, *reader = nullptr;
    ASSERT_EQ(open_catalog("work", "long", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberInput, &reader), 0);
    std::vector<Block> got;
    Block block;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(read_block(reader, block), 0);
        got.push_back(block);
    }
    write_entry("work", "long", "e", "DATA", numbered_blocks("v2", 30000));
    EXPECT_EQ(read_entry("work", "long", "e", "DATA").blocks, numbered_blocks("v2", 30000));
    int64_t position = 0;
    ASSERT_EQ(note(reader, &position), 0);
    for (const Block &b : read_rest(reader)) got.push_back(b);
    EXPECT_EQ(got, v1);
    // Back into the middle, after the other version went too.
    void *other = nullptr;
    ASSERT_EQ(open_catalog("work", "long", zef::kLibraryWrite, &other), 0);
    ASSERT_EQ(remove(other, "e", "DATA"), zef::kCatalogEntryInUse) << "an open entry is not deleted";
    ASSERT_EQ(close_catalog(other), 0);
    ASSERT_EQ(point(reader, position), 0);
    std::vector<Block> again = read_rest(reader);
    EXPECT_EQ(again, std::vector<Block>(v1.begin() + 1000, v1.end()));
    EXPECT_EQ(close_entry(reader), 0);
    EXPECT_EQ(close_catalog(cat), 0);
}

// Chunks of every size in one entry: runs of short blocks (many to a
// chunk), and blocks of a megabyte (a chunk each, longer than the batch of
// chunks a store fetches at once) and of less. Read whole, and from points
// on either side of every change of size, each block comes back as written.
TEST_P(CatalogEntries, ChunksOfEverySizeReadWholeAndFromAnyPoint) {
    std::vector<Block> blocks;
    std::vector<int64_t> edges;
    auto run_of = [&](int count, size_t width) {
        edges.push_back(static_cast<int64_t>(blocks.size()));
        for (int i = 0; i < count; ++i) {
            std::string bytes(width, static_cast<char>('a' + blocks.size() % 26));
            bytes.replace(0, std::min<size_t>(width, 8), std::to_string(blocks.size()).substr(0, width));
            blocks.push_back(Block{static_cast<uint16_t>(blocks.size() % 7), std::move(bytes)});
        }
    };
    run_of(2000, 80);
    run_of(5, size_t{1} << 20);
    run_of(700, 300);
    run_of(3, 700 * 1024);
    run_of(40, 0);
    run_of(24, 200 * 1024);
    write_entry("work", "sizes", "e", "DATA", blocks);
    EXPECT_EQ(read_entry("work", "sizes", "e", "DATA").blocks, blocks);

    void *cat = nullptr, *reader = nullptr;
    ASSERT_EQ(open_catalog("work", "sizes", zef::kLibraryInput, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberInput, &reader), 0);
    Block block;
    for (auto edge = edges.rbegin(); edge != edges.rend(); ++edge)
        for (int64_t position : {*edge - 1, *edge, *edge + 1}) {
            if (position < 0) continue;
            ASSERT_EQ(point(reader, position), 0) << position;
            ASSERT_EQ(read_block(reader, block), 0) << position;
            EXPECT_EQ(block, blocks[static_cast<size_t>(position)]) << position;
        }
    ASSERT_EQ(point(reader, edges[1] + 2), 0);
    std::vector<Block> rest = read_rest(reader);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), blocks.begin() + edges[1] + 2, blocks.end()));
    EXPECT_EQ(rest.size(), blocks.size() - static_cast<size_t>(edges[1] + 2));
    EXPECT_EQ(close_entry(reader), 0);
    EXPECT_EQ(close_catalog(cat), 0);
}

}  // namespace
}  // namespace cattest
