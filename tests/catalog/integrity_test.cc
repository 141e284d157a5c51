// What a version carries beyond its blocks: checksums that every read
// checks, compressed chunks that read back as they were written, the file
// a version was put from, and the library's settings. Run on both stores;
// damage is made behind the store's back in its own tables.
#include <fstream>
#include <random>
#include <tuple>

#include "zefhost/catalog/catalog_error.h"
#include "support.h"

namespace cattest {
namespace {

using zefhost::catalog::Checksum;
using zefhost::catalog::EntryRow;
using zefhost::catalog::EntryVerdict;
using zefhost::catalog::LibrarySettings;
using zefhost::catalog::VersionAttributes;

// Lines that compress well, and bytes that do not.
std::vector<Block> text_blocks(int count) { return numbered_blocks("line of text", count, 200); }

std::vector<Block> noise_blocks(int count, size_t width) {
    std::mt19937 random(7);
    std::vector<Block> blocks;
    for (int i = 0; i < count; ++i) {
        std::string bytes(width, '\0');
        for (char &c : bytes) c = static_cast<char>(random());
        blocks.push_back(Block{1, bytes});
    }
    return blocks;
}

class Integrity : public BothStores {
protected:
    EntryRow row(std::string_view name, std::string_view type = "DATA") {
        std::optional<EntryRow> r = services.entry_row("work", "c", name, type);
        EXPECT_TRUE(r.has_value()) << name;
        return r.value_or(EntryRow{});
    }
    EntryVerdict::State verdict(std::string_view name, std::string_view type = "DATA") {
        auto v = services.verify_catalog("work", "c", std::pair{name, type});
        return v.entries.at(0).state;
    }
    // Flips one byte of the payload of every chunk of the entry (or of the
    // pieces `which` picks), in the store's own tables.
    void damage_chunks(std::string_view name, int at, std::string_view which = "") {
        std::string content = store_sql("c", "SELECT content FROM entries WHERE name = '" + std::string(name) + "'");
        ASSERT_FALSE(content.empty());
        std::string where = "id IN (SELECT chunk FROM pieces WHERE content = " + content + std::string(which) + ")";
        std::string result =
            kind == StoreKind::directory
                ? store_sql("c", "UPDATE chunks SET data = CAST(substr(data, 1, " + std::to_string(at) +
                                     ") || x'5A' || substr(data, " + std::to_string(at + 2) + ") AS BLOB) WHERE " +
                                     where)
                : store_sql("c", "UPDATE chunks SET data = set_byte(data, " + std::to_string(at) +
                                     ", 90) WHERE " + where);
        ASSERT_EQ(result, "");
    }
};
ZEF_ON_BOTH_STORES(Integrity);

TEST_P(Integrity, EachVersionKeepsAChecksumThatFollowsItsContent) {
    write_entry("work", "c", "e", "DATA", text_blocks(2000));
    EntryRow first = row("E");
    EXPECT_TRUE(first.checksum.present());
    EXPECT_EQ(first.checksum.text().size(), 32u);
    // Plain chunks: the store holds the blocks and their headers.
    EXPECT_EQ(first.stored_bytes, first.bytes + 6 * first.blocks);
    EXPECT_EQ(verdict("E"), EntryVerdict::State::sound);

    // The same content written again gives the same checksum; a block
    // updated in place gives another.
    write_entry("work", "c", "same", "DATA", text_blocks(2000));
    EXPECT_EQ(row("SAME").checksum, first.checksum);
    write_entry("work", "c", "e", "DATA", {{322, "changed"}}, zef::kMemberAppend);
    EntryRow updated = row("E");
    EXPECT_TRUE(updated.checksum.present());
    EXPECT_NE(updated.checksum, first.checksum);
    EntryRead read = read_entry("work", "c", "e", "DATA");
    ASSERT_EQ(read.blocks.size(), 2000u);
    EXPECT_EQ(read.blocks[0], (Block{322, "changed"}));
    EXPECT_EQ(verdict("E"), EntryVerdict::State::sound);
    EXPECT_TRUE(services.check_catalog("work", "c").empty());
}

TEST_P(Integrity, CompressedChunksReadBackAsWrittenInEveryWay) {
    services.set_compress_writes(true);
    auto text = text_blocks(3000);
    auto noise = noise_blocks(40, 5000);
    write_entry("work", "c", "text", "DATA", text);
    write_entry("work", "c", "noise", "DATA", noise);
    EntryRow t = row("TEXT");
    EXPECT_LT(t.stored_bytes * 4, t.bytes) << "numbered lines compress at least fourfold";
    // What does not compress is kept as it is.
    EntryRow n = row("NOISE");
    EXPECT_EQ(n.stored_bytes, n.bytes + 6 * n.blocks);
    EXPECT_EQ(store_sql("c", "SELECT count(DISTINCT codec) FROM pieces"), "2");

    EXPECT_EQ(read_entry("work", "c", "text", "DATA").blocks, text);
    EXPECT_EQ(read_entry("work", "c", "noise", "DATA").blocks, noise);

    // Pointing into a compressed chunk, and updating a block inside one.
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "text", "DATA", zef::kMemberAppend, &entry), 0);
    ASSERT_EQ(point(entry, 1500), 0);
    Block b;
    ASSERT_EQ(read_block(entry, b), 0);
    EXPECT_EQ(b, text[1500]);
    ASSERT_EQ(point(entry, 1500), 0);
    ASSERT_EQ(write_block(entry, Block{322, "changed"}), 0);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    text[1500] = Block{322, "changed"};
    EXPECT_EQ(read_entry("work", "c", "text", "DATA").blocks, text);
    EXPECT_EQ(verdict("TEXT"), EntryVerdict::State::sound);
    EXPECT_TRUE(services.check_catalog("work", "c").empty());

    // A chunk of one very long block is kept as it is, compressible or not;
    // a compressed piece that claims such a length is refused unread.
    write_entry("work", "c", "long", "DATA", {Block{1, std::string(9 << 20, 'z')}});
    EntryRow l = row("LONG");
    EXPECT_EQ(l.stored_bytes, l.bytes + 6);
    ASSERT_EQ(store_sql("c", "UPDATE pieces SET codec = 1 WHERE content = (SELECT content FROM entries WHERE name = 'LONG')"),
              "");
    EXPECT_EQ(read_entry("work", "c", "long", "DATA").status, zef::kCatalogDamaged);
}

// A changed byte in a chunk (plain or compressed) fails the read as an I/O
// failure before the chunk's first block goes out; verify names the entry,
// and only it.
TEST_P(Integrity, ADamagedChunkFailsItsReadAndItsVerification) {
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        services.set_compress_writes(compress);
        write_entry("work", "c", "bad", "DATA", text_blocks(400));
        write_entry("work", "c", "good", "DATA", text_blocks(400));
        damage_chunks("BAD", 40);

        void *cat = nullptr, *entry = nullptr;
        ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
        ASSERT_EQ(open_entry(cat, "bad", "DATA", zef::kMemberInput, &entry), 0);
        int32_t end = 0;
        EXPECT_TRUE(read_rest(entry, &end).empty());
        EXPECT_EQ(end, zef::kCatalogIoFailure);
        EXPECT_NE(services.last_error().find("BAD.DATA"), std::string::npos) << services.last_error();
        EXPECT_EQ(close_entry(entry), 0);
        EXPECT_EQ(close_catalog(cat), 0);

        auto v = services.verify_catalog("work", "c");
        ASSERT_EQ(v.entries.size(), 2u);
        EXPECT_EQ(v.entries[0].state, EntryVerdict::State::damaged);
        ASSERT_FALSE(v.entries[0].problems.empty());
        EXPECT_EQ(v.entries[1].state, EntryVerdict::State::sound);
        EXPECT_EQ(read_entry("work", "c", "good", "DATA").blocks, text_blocks(400));
        ASSERT_EQ(services.remove_catalog("work", "c", true).removed, true);
    }
}

// A writer that meets a damaged chunk fails that request only: it holds
// nothing of the chunk afterwards, so it goes on appending, while others
// write, and closes.
TEST_P(Integrity, AWriterThatMeetsADamagedChunkGoesOnWithTheRest) {
    // One block that fills its piece: the appended blocks start a piece of
    // their own, and nothing is loaded on the way.
    write_entry("work", "c", "bad", "DATA", {{322, std::string(70000, 'x')}});
    damage_chunks("BAD", 40);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "bad", "DATA", zef::kMemberAppend, &entry), 0);
    Block block;
    EXPECT_EQ(read_block(entry, block), zef::kCatalogIoFailure);
    write_entry("work", "c", "other", "DATA", text_blocks(10));
    ASSERT_EQ(point(entry, 0, zef::kPointToEnd), 0);
    auto more = numbered_blocks("more", 20000);  // staged on the way
    int32_t status = 0;
    for (size_t i = 0; i < more.size() && status == 0; ++i) status = write_block(entry, more[i]);
    EXPECT_EQ(status, 0) << services.last_error();
    EXPECT_EQ(close_entry(entry), 0) << services.last_error();
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(row("BAD").blocks, 1 + 20000);
}

// The pieces' checksums are vouched for by the version's: one changed, or
// a version's checksum of the wrong length, refuses the entry at its open.
TEST_P(Integrity, ChangedOrMalformedChecksumsRefuseTheEntry) {
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"a piece's checksum changed", "UPDATE pieces SET checksum = (SELECT checksum FROM entries WHERE name = 'E')"},
        {"a version's checksum cut short",
         kind == StoreKind::directory ? "UPDATE entries SET checksum = substr(checksum, 1, 8)"
                                      : "UPDATE entries SET checksum = substring(checksum from 1 for 8)"},
    };
    for (const auto &[what, sql] : cases) {
        SCOPED_TRACE(what);
        write_entry("work", "c", "e", "DATA", text_blocks(100));
        ASSERT_EQ(store_sql("c", sql), "");
        EXPECT_EQ(read_entry("work", "c", "e", "DATA").status, zef::kCatalogIoFailure);
        EXPECT_EQ(verdict("E"), EntryVerdict::State::damaged);
        EXPECT_FALSE(services.check_catalog("work", "c").empty());
    }
}

// Versions written before checksums: read as before, verified as far as
// their blocks show, and an append to one cannot vouch for the whole.
TEST_P(Integrity, VersionsWithoutChecksumsReadAndAreSaidUnchecked) {
    write_entry("work", "c", "old", "DATA", text_blocks(500));
    ASSERT_EQ(store_sql("c", "UPDATE entries SET checksum = NULL; UPDATE pieces SET checksum = NULL"), "");
    EXPECT_EQ(read_entry("work", "c", "old", "DATA").blocks, text_blocks(500));
    EXPECT_FALSE(row("OLD").checksum.present());
    EXPECT_EQ(verdict("OLD"), EntryVerdict::State::unchecked);
    write_entry("work", "c", "old", "DATA", {{322, "more"}}, zef::kMemberAppend);
    EXPECT_FALSE(row("OLD").checksum.present());
    EXPECT_EQ(verdict("OLD"), EntryVerdict::State::unchecked);
    // Replaced whole, it has one again.
    write_entry("work", "c", "old", "DATA", text_blocks(10));
    EXPECT_EQ(verdict("OLD"), EntryVerdict::State::sound);
    EXPECT_TRUE(services.check_catalog("work", "c").empty());
}

// The rows of a compressed entry changed behind the store: each is refused
// before any of its records goes out, as damage or as changed bytes.
TEST_P(Integrity, CompressedPiecesThatDoNotHoldTogetherAreRefused) {
    const std::vector<std::tuple<const char *, std::string, int32_t>> cases = {
        {"a form no writer makes", "UPDATE pieces SET codec = 7", zef::kCatalogDamaged},
        {"more bytes than the frame holds",
         "UPDATE pieces SET bytes = bytes + 6, longest = longest + 6 WHERE ordinal = 0; "
         "UPDATE entries SET bytes = bytes + 6, longest = longest + 6",
         zef::kCatalogIoFailure},
        {"more blocks than a compressed chunk can hold",
         "UPDATE pieces SET block_count = 9000000 WHERE ordinal = 0; UPDATE entries SET blocks = 9000000",
         zef::kCatalogDamaged},
        {"a frame that is not one",
         kind == StoreKind::directory ? "UPDATE chunks SET data = zeroblob(length(data))"
                                      : "UPDATE chunks SET data = decode(repeat('00', octet_length(data)), 'hex')",
         zef::kCatalogIoFailure},
    };
    services.set_compress_writes(true);
    for (const auto &[what, sql, status] : cases) {
        SCOPED_TRACE(what);
        // One record per piece, so that its counts alone describe it.
        write_entry("work", "c", "z", "DATA", {Block{1, std::string(1000, 'q')}});
        ASSERT_EQ(store_sql("c", "UPDATE entries SET checksum = NULL; UPDATE pieces SET checksum = NULL"), "");
        ASSERT_EQ(store_sql("c", "SELECT count(*) FROM pieces WHERE codec = 1"), "1");
        ASSERT_EQ(store_sql("c", sql), "");
        EXPECT_EQ(read_entry("work", "c", "z", "DATA").status, status) << services.last_error();
        EXPECT_EQ(verdict("Z"), EntryVerdict::State::damaged);
    }
    // Settings are kept only where the library may be written.
    services.deassign_library("work");
    if (kind == StoreKind::directory)
        services.assign_library("work", dir.path(), /*read_only=*/true);
    else
        services.assign_database_library("work", database->uri(), /*read_only=*/true);
    EXPECT_THROW(services.save_library_settings("work", LibrarySettings{true}), zefhost::catalog::CatalogError);
}

TEST_P(Integrity, TheFileAVersionWasPutFromIsKeptWithIt) {
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "f", "DATA", zef::kMemberOutput, &entry), 0);
    VersionAttributes put{0, 0, "", int64_t{1733650000123456789}, 0640u};
    services.set_written_attributes("work", "c", "f", "DATA", put);
    ASSERT_EQ(write_block(entry, Block{1, "x"}), 0);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(row("F").attributes, put);

    // A mode of more than permission bits is not believed, and the check says so.
    ASSERT_EQ(store_sql("c", "UPDATE entries SET file_mode = 4294967295"), "");
    ASSERT_TRUE(row("F").attributes.has_value());
    EXPECT_FALSE(row("F").attributes->file_mode.has_value());
    EXPECT_EQ(row("F").attributes->file_time, put.file_time);
    auto problems = services.check_catalog("work", "c");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("out of range"), std::string::npos) << problems[0];
}

// Compression as a library's setting: kept for every later writer, of
// this process or another; a process may still say otherwise.
TEST_P(Integrity, ALibrarysSettingDecidesCompressionUnlessTheProcessSays) {
    EXPECT_EQ(services.library_settings("work"), LibrarySettings{});
    services.save_library_settings("work", LibrarySettings{true});

    // Read back from the library, as another process finds it.
    services.deassign_library("work");
    assign_work(services);
    EXPECT_TRUE(services.library_settings("work").compress);

    write_entry("work", "c", "by_default", "DATA", text_blocks(1000));
    EXPECT_LT(row("BY_DEFAULT").stored_bytes * 4, row("BY_DEFAULT").bytes);
    services.set_compress_writes(false);
    write_entry("work", "c", "told_not", "DATA", text_blocks(1000));
    EXPECT_EQ(row("TOLD_NOT").stored_bytes, row("TOLD_NOT").bytes + 6 * row("TOLD_NOT").blocks);

    services.save_library_settings("work", LibrarySettings{false});
    EXPECT_FALSE(services.library_settings("work").compress);
}

TEST_F(CatalogTest, ASettingsFileThatDoesNotReadRefusesWritesButNotReads) {
    write_entry("work", "c", "e", "DATA", {{1, "x"}});
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"an unknown value", "compress = lz4\n"},
        {"a line without a value", "# comment\ncompress\n"},
        {"a file far too long", std::string(70000, '#')},
    };
    for (const auto &[what, text] : cases) {
        SCOPED_TRACE(what);
        {
            std::ofstream(dir.path() / "zef-library.conf") << text;
        }
        services.deassign_library("work");
        services.assign_library("work", dir.path());
        EXPECT_THROW(services.library_settings("work"), zefhost::catalog::CatalogError);
        void *cat = nullptr;
        EXPECT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), zef::kCatalogDamaged);
        EXPECT_NE(services.last_error().find("zef-library.conf"), std::string::npos) << services.last_error();
        EXPECT_EQ(read_entry("work", "c", "e", "DATA").blocks.size(), 1u);
    }
    // Keys a later version may add are passed over.
    {
        std::ofstream(dir.path() / "zef-library.conf") << "future = yes\ncompress = zstd\n";
    }
    services.deassign_library("work");
    services.assign_library("work", dir.path());
    EXPECT_TRUE(services.library_settings("work").compress);
}

}  // namespace
}  // namespace cattest
