// Compacting catalogs on both stores: the space of deleted and replaced
// versions and of a killed writer's staging comes back, a reader in
// another process keeps reading what it opened while the compaction says
// it must wait, and a live writer is left alone.
#include <signal.h>
#include <sys/resource.h>

#include "support.h"
#include "zefhost/catalog/catalog_error.h"

namespace cattest {
namespace {

using zefhost::catalog::CatalogError;
using Compaction = zefhost::catalog::LibraryStore::Compaction;

// What a compacted catalog holding one small entry may take beyond the
// same catalog compacted before large entries came and went.
constexpr int64_t kSmallBound = 64 * 1024;

class CatalogVacuum : public BothStores {
protected:
    // The status a compaction ends with (0: done), its message in `said`.
    int32_t vacuum_status(std::string_view catalog) {
        try {
            last = services.vacuum_catalog("work", catalog);
            return 0;
        } catch (const CatalogError &e) {
            said = e.what();
            return e.status();
        }
    }
    // A catalog holding `small` only, compacted: what it then takes.
    int64_t compacted_baseline(std::string_view catalog) {
        write_entry("work", catalog, "small", "DATA", small);
        EXPECT_EQ(vacuum_status(catalog), 0) << said;
        return last.after;
    }
    void delete_entry(std::string_view catalog, std::string_view name) {
        void *cat = nullptr;
        ASSERT_EQ(open_catalog("work", catalog, zef::kLibraryWrite, &cat), 0);
        EXPECT_EQ(remove(cat, name, "DATA"), 0);
        EXPECT_EQ(close_catalog(cat), 0);
    }
    void expect_sound(std::string_view catalog) {
        EXPECT_EQ(read_entry("work", catalog, "small", "DATA").blocks, small);
        EXPECT_EQ(services.check_catalog("work", catalog), std::vector<std::string>{});
    }

    const std::vector<Block> small = numbered_blocks("small", 3);
    Compaction last;
    std::string said;
};
ZEF_ON_BOTH_STORES(CatalogVacuum);

TEST_P(CatalogVacuum, DeletedAndReplacedVersionsComeBackToTheSizeOfTheCatalogWithoutThem) {
    int64_t baseline = compacted_baseline("big");
    // Two large entries, one of them replaced once, then both deleted.
    write_entry("work", "big", "one", "DATA", numbered_blocks("one", 25000, 100));
    write_entry("work", "big", "one", "DATA", numbered_blocks("one again", 25000, 100));
    write_entry("work", "big", "two", "DATA", numbered_blocks("two", 25000, 100));
    delete_entry("big", "one");
    delete_entry("big", "two");

    ASSERT_EQ(vacuum_status("big"), 0) << said;
    EXPECT_EQ(last.shared, kind == StoreKind::database);
    // A catalog file keeps the freed pages until compacted; the server may
    // have tidied some of its tables meanwhile.
    if (kind == StoreKind::directory) {
        EXPECT_GE(last.before, baseline + 5 * 1000 * 1000);
    }
    EXPECT_GE(last.before, last.after);
    EXPECT_LE(last.after, baseline + kSmallBound) << "before " << last.before;
    EXPECT_EQ(last.collected.dead_writers, 0);
    expect_sound("big");
    if (kind == StoreKind::directory) {
        EXPECT_FALSE(std::filesystem::exists(catalog_path("big").string() + "-wal"));
        EXPECT_EQ(std::filesystem::file_size(catalog_path("big")), static_cast<uintmax_t>(last.after));
    }
}

TEST_P(CatalogVacuum, AKilledWritersStagedPiecesAreGivenBack) {
    int64_t baseline = compacted_baseline("crash");
    Child writer([](const Child::Channel &channel) {
        void *cat = nullptr, *entry = nullptr;
        if (open_catalog("work", "crash", zef::kLibraryWrite, &cat) != 0) return 10;
        if (open_entry(cat, "lost", "DATA", zef::kMemberOutput, &entry) != 0) return 11;
        for (int i = 0;; ++i) {
            std::string text = "lost " + std::to_string(i);
            text.resize(100, '.');
            if (write_block(entry, Block{322, text}) != 0) return 12;
            // About 3 MB staged: the writer stages a megabyte at a time.
            if (i == 30000) channel.send('s');
        }
    });
    ASSERT_EQ(writer.channel().receive(), 's');
    writer.kill();
    EXPECT_EQ(writer.wait(), 128 + SIGKILL);
    EXPECT_EQ(count_rows("crash", "writers"), 1);

    ASSERT_EQ(vacuum_status("crash"), 0) << said;
    EXPECT_EQ(last.collected.dead_writers, 1);
    EXPECT_EQ(count_rows("crash", "writers"), 0);
    if (kind == StoreKind::directory) {
        EXPECT_GE(last.before, baseline + 2 * 1000 * 1000);
    }
    EXPECT_LE(last.after, baseline + kSmallBound) << "before " << last.before;
    EXPECT_EQ(read_entry("work", "crash", "lost", "DATA").status, zef::kCatalogEntryMissing);
    expect_sound("crash");
}

TEST_P(CatalogVacuum, AReaderInAnotherProcessKeepsItsBytesAndTheCompactionSaysItMustWait) {
    const auto kept = numbered_blocks("kept", 20000);
    write_entry("work", "shared", "small", "DATA", small);
    write_entry("work", "shared", "kept", "DATA", kept);
    write_entry("work", "shared", "old", "DATA", numbered_blocks("old", 20000));
    delete_entry("shared", "old");

    Child reader([&kept](const Child::Channel &channel) {
        void *cat = nullptr, *entry = nullptr;
        if (open_catalog("work", "shared", zef::kLibraryInput, &cat) != 0) return 10;
        if (open_entry(cat, "kept", "DATA", zef::kMemberInput, &entry) != 0) return 11;
        Block first;
        if (read_block(entry, first) != 0) return 12;
        channel.send('r');
        if (channel.receive() != 'g') return 13;
        std::vector<Block> all{first};
        for (Block &b : read_rest(entry)) all.push_back(std::move(b));
        if (close_entry(entry) != 0 || close_catalog(cat) != 0) return 14;
        return all == kept ? 0 : 15;
    });
    ASSERT_EQ(reader.channel().receive(), 'r');
    services.set_busy_timeout(std::chrono::milliseconds(300));
    EXPECT_EQ(vacuum_status("shared"), zef::kCatalogEntryInUse);
    EXPECT_NE(said.find("vacuum must wait"), std::string::npos) << said;
    reader.channel().send('g');
    EXPECT_EQ(reader.wait(), 0);

    // Once the reader is done, the compaction goes through.
    services.set_busy_timeout(std::chrono::milliseconds(10000));
    ASSERT_EQ(vacuum_status("shared"), 0) << said;
    EXPECT_EQ(read_entry("work", "shared", "kept", "DATA").blocks, kept);
    expect_sound("shared");
}

TEST_P(CatalogVacuum, ALiveWriterIsLeftAloneAndTheCompactionRefused) {
    write_entry("work", "busy", "small", "DATA", small);
    const auto written = numbered_blocks("live", 20000);
    Child writer([&written](const Child::Channel &channel) {
        void *cat = nullptr, *entry = nullptr;
        if (open_catalog("work", "busy", zef::kLibraryWrite, &cat) != 0) return 10;
        if (open_entry(cat, "live", "DATA", zef::kMemberOutput, &entry) != 0) return 11;
        for (size_t i = 0; i < written.size(); ++i) {
            if (write_block(entry, written[i]) != 0) return 12;
            if (i == written.size() / 2) {
                channel.send('w');
                if (channel.receive() != 'g') return 13;
            }
        }
        return close_entry(entry) == 0 && close_catalog(cat) == 0 ? 0 : 14;
    });
    ASSERT_EQ(writer.channel().receive(), 'w');
    EXPECT_EQ(vacuum_status("busy"), zef::kCatalogEntryInUse);
    EXPECT_NE(said.find("is being written"), std::string::npos) << said;
    writer.channel().send('g');
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_EQ(read_entry("work", "busy", "live", "DATA").blocks, written);
    expect_sound("busy");
}

TEST_P(CatalogVacuum, AMissingCatalogOrLibraryAndAReadOnlyLibraryAreRefused) {
    EXPECT_EQ(vacuum_status("nothere"), zef::kCatalogMissing) << said;
    EXPECT_THROW(
        {
            try {
                services.vacuum_catalog("nolib", "x");
            } catch (const CatalogError &e) {
                EXPECT_EQ(e.status(), zef::kCatalogLibraryNotAssigned);
                throw;
            }
        },
        CatalogError);
    write_entry("work", "kept", "small", "DATA", small);
    assign_work(services, true);
    EXPECT_EQ(vacuum_status("kept"), zef::kCatalogBadRequest);
    EXPECT_NE(said.find("read-only"), std::string::npos) << said;
}

// The catalogs of a library in a database share its tables: a writer of
// one catalog keeps every other from being compacted, and is left alone.
class DatabaseVacuum : public CatalogTest {
protected:
    DatabaseVacuum() : CatalogTest(StoreKind::database) {}
};

TEST_F(DatabaseVacuum, AWriterOfAnotherCatalogKeepsTheSharedTablesFromBeingCompacted) {
    write_entry("work", "c", "small", "DATA", numbered_blocks("small", 3));
    Child writer([](const Child::Channel &channel) {
        void *cat = nullptr, *entry = nullptr;
        if (open_catalog("work", "other", zef::kLibraryWrite, &cat) != 0) return 10;
        if (open_entry(cat, "live", "DATA", zef::kMemberOutput, &entry) != 0) return 11;
        if (write_block(entry, Block{1, "live"}) != 0) return 12;
        channel.send('w');
        if (channel.receive() != 'g') return 13;
        return close_entry(entry) == 0 && close_catalog(cat) == 0 ? 0 : 14;
    });
    ASSERT_EQ(writer.channel().receive(), 'w');
    try {
        services.vacuum_catalog("work", "c");
        ADD_FAILURE() << "compacted under a writer";
    } catch (const CatalogError &e) {
        EXPECT_EQ(e.status(), zef::kCatalogEntryInUse);
        EXPECT_NE(std::string(e.what()).find("an entry of library WORK is being written"), std::string::npos)
            << e.what();
    }
    writer.channel().send('g');
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_EQ(read_entry("work", "other", "live", "DATA").blocks, (std::vector<Block>{{1, "live"}}));
    EXPECT_EQ(services.vacuum_catalog("work", "c").collected.dead_writers, 0);
    EXPECT_EQ(count_rows("c", "writers"), 0);
}

// A directory library's own failure: the file system refuses the log's
// growth halfway through the compaction (a file size limit, as a full
// disk would).
using CatalogFileVacuum = CatalogTest;

TEST_F(CatalogFileVacuum, AFileSystemThatFillsUpMidwayLeavesTheCatalogAsItWas) {
    const auto kept = numbered_blocks("kept", 20000);
    write_entry("work", "full", "kept", "DATA", kept);
    write_entry("work", "full", "old", "DATA", numbered_blocks("old", 20000));
    void *cat = nullptr;
    ASSERT_EQ(open_catalog("work", "full", zef::kLibraryWrite, &cat), 0);
    EXPECT_EQ(remove(cat, "old", "DATA"), 0);
    EXPECT_EQ(close_catalog(cat), 0);
    auto size = std::filesystem::file_size(catalog_path("full"));
    Child child([](const Child::Channel &) {
        ::signal(SIGXFSZ, SIG_IGN);
        // Room for the collection's log, not for the copy of 1.6 MB.
        struct rlimit rl {512 * 1024, 512 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) return 20;
        try {
            zefhost::catalog::Services::live().vacuum_catalog("work", "full");
            return 21;
        } catch (const CatalogError &e) {
            return e.status() == zef::kCatalogIoFailure ? 0 : 22;
        }
    });
    EXPECT_EQ(child.wait(), 0) << "see the child's exit codes above";
    EXPECT_EQ(std::filesystem::file_size(catalog_path("full")), size);
    EXPECT_FALSE(std::filesystem::exists(catalog_path("full").string() + "-wal"));
    EXPECT_EQ(read_entry("work", "full", "kept", "DATA").blocks, kept);
    EXPECT_EQ(services.check_catalog("work", "full"), std::vector<std::string>{});
    // With room again, it goes through.
    EXPECT_LT(services.vacuum_catalog("work", "full").after, static_cast<int64_t>(size) - 1000 * 1000);
}

}  // namespace
}  // namespace cattest
