// Requests the catalog services refuse, and how: missing libraries,
// catalogs and entries, wrong modes and handles, files that are not
// catalogs, read-only libraries; and the directory scan.
#include <sqlite3.h>

#include <fstream>

#include "support.h"

namespace cattest {
namespace {

namespace r = zef::routine;
namespace p = zef::proto;

class CatalogRequests : public BothStores {};
ZEF_ON_BOTH_STORES(CatalogRequests);
// What only a library of catalog files has: files that are not catalogs,
// directories to assign.
using CatalogFileRequests = CatalogTest;

TEST_P(CatalogRequests, MissingLibraryCatalogAndEntry) {
    void *cat = reinterpret_cast<void *>(1);
    EXPECT_EQ(open_catalog("nolib", "c", zef::kLibraryInput, &cat), zef::kCatalogLibraryNotAssigned);
    EXPECT_EQ(cat, nullptr);
    EXPECT_EQ(open_catalog("", "c", zef::kLibraryWrite, &cat), zef::kCatalogLibraryNotAssigned);
    EXPECT_EQ(open_catalog("work", "absent", zef::kLibraryInput, &cat), zef::kCatalogMissing);
    EXPECT_FALSE(services.catalog_exists("work", "absent")) << "input must not create";

    ASSERT_EQ(open_catalog("work", "made", zef::kLibraryWrite, &cat), 0);
    EXPECT_TRUE(services.catalog_exists("work", "made"));
    void *entry = reinterpret_cast<void *>(1);
    EXPECT_EQ(open_entry(cat, "absent", "DATA", zef::kMemberInput, &entry), zef::kCatalogEntryMissing);
    EXPECT_EQ(entry, nullptr);
    EXPECT_EQ(open_entry(cat, "", "DATA", zef::kMemberInput, &entry), zef::kCatalogEntryMissing);
    EXPECT_EQ(remove(cat, "absent", "DATA"), zef::kCatalogEntryMissing);
    EXPECT_EQ(close_catalog(cat), 0);
    // Once created, input finds it.
    ASSERT_EQ(open_catalog("work", "MADE", zef::kLibraryInput, &cat), 0);
    EXPECT_EQ(close_catalog(cat), 0);

    EXPECT_TRUE(services.deassign_library("WORK"));
    EXPECT_EQ(open_catalog("work", "made", zef::kLibraryInput, &cat), zef::kCatalogLibraryNotAssigned);
    EXPECT_FALSE(services.deassign_library("work"));
}

TEST_P(CatalogRequests, WrongModesAndRequestsAreRefused) {
    write_entry("work", "c", "e", "DATA", {{1, "x"}});
    void *in = nullptr, *out = nullptr, *reader = nullptr, *writer = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &in), 0);
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &out), 0);
    ASSERT_EQ(open_entry(in, "e", "DATA", zef::kMemberInput, &reader), 0);
    ASSERT_EQ(open_entry(out, "w", "DATA", zef::kMemberOutput, &writer), 0);
    Block block;
    struct Case {
        const char *what;
        std::function<int32_t()> request;
    };
    const std::vector<Case> cases = {
        {"library mode 3", [&] { return open_catalog("work", "c", 3, &entry); }},
        {"catalog name with a slash", [&] { return open_catalog("work", "../c", zef::kLibraryWrite, &entry); }},
        {"empty catalog name", [&] { return open_catalog("work", "", zef::kLibraryWrite, &entry); }},
        {"member mode 4", [&] { return open_entry(out, "e", "DATA", 4, &entry); }},
        {"output on an input catalog", [&] { return open_entry(in, "e", "DATA", zef::kMemberOutput, &entry); }},
        {"update on an input catalog", [&] { return open_entry(in, "e", "DATA", zef::kMemberAppend, &entry); }},
        {"output with an empty entry name", [&] { return open_entry(out, "", "DATA", zef::kMemberOutput, &entry); }},
        {"write on an input entry", [&] { return write_block(reader, {1, "no"}); }},
        {"read on an output entry", [&] { return read_block(writer, block); }},
        {"delete through an input catalog", [&] { return remove(in, "e", "DATA"); }},
        {"negative block length", [&] {
             zef::TransferRequest t{};
             t.buffer = block.bytes.data();
             t.length = -1;
             return call<p::ylmwrit>(r::ylmwrit, writer, static_cast<void *>(&t));
         }},
        {"write from no buffer", [&] {
             zef::TransferRequest t{};
             t.length = 5;
             return call<p::ylmwrit>(r::ylmwrit, writer, static_cast<void *>(&t));
         }},
        {"no transfer request", [&] { return call<p::ylmread>(r::ylmread, reader, nullptr); }},
        {"no note cell", [&] { return call<p::ylmnote>(r::ylmnote, reader, nullptr); }},
        {"entry name longer than 32", [&] {
             zef::MemberRequest m = member_request(out, "e", "DATA", zef::kMemberOutput);
             m.entry_name_length = 40;
             return call<p::ylmopen>(r::ylmopen, static_cast<void *>(&m), &entry);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        entry = nullptr;
        EXPECT_EQ(c.request(), zef::kCatalogBadRequest) << services.last_error();
        EXPECT_EQ(entry, nullptr);
    }
    EXPECT_EQ(close_entry(writer), 0);
    EXPECT_EQ(close_entry(reader), 0);
    EXPECT_EQ(close_catalog(out), 0);
    EXPECT_EQ(close_catalog(in), 0);
}

TEST_P(CatalogRequests, StaleAndForeignHandlesAreRefusedNotFollowed) {
    void *cat = nullptr, *entry = nullptr, *scan = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberOutput, &entry), 0);
    ASSERT_EQ(call<p::yldopen>(r::yldopen, cat, "ALL     ", 0, &scan), 0);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(call<p::yldclos>(r::yldclos, scan), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    int foreign = 7;
    zef::DirectoryEntryArea area{};
    Block block;
    int64_t position = 0;
    for (void *handle : {entry, static_cast<void *>(&foreign), static_cast<void *>(nullptr)}) {
        EXPECT_EQ(close_entry(handle), zef::kCatalogBadRequest);
        EXPECT_EQ(read_block(handle, block), zef::kCatalogBadRequest);
        EXPECT_EQ(write_block(handle, {1, "x"}), zef::kCatalogBadRequest);
        EXPECT_EQ(note(handle, &position), zef::kCatalogBadRequest);
        EXPECT_EQ(point(handle, 0), zef::kCatalogBadRequest);
    }
    for (void *handle : {cat, static_cast<void *>(&foreign), static_cast<void *>(nullptr)}) {
        EXPECT_EQ(close_catalog(handle), zef::kCatalogBadRequest);
        EXPECT_EQ(open_entry(handle, "e", "DATA", zef::kMemberInput, &entry), zef::kCatalogBadRequest);
        EXPECT_EQ(find(handle, "e", "DATA"), zef::kCatalogBadRequest);
        EXPECT_EQ(call<p::yldopen>(r::yldopen, handle, "ALL     ", 0, &scan), zef::kCatalogBadRequest);
    }
    EXPECT_EQ(call<p::yldread>(r::yldread, scan, static_cast<void *>(&area), 0), zef::kCatalogBadRequest);
    EXPECT_EQ(call<p::yldclos>(r::yldclos, scan), zef::kCatalogBadRequest);
}

TEST_F(CatalogFileRequests, FilesThatAreNotCatalogsAreReportedDamaged) {
    struct Case {
        const char *what;
        std::function<void(const std::filesystem::path &)> make;
    };
    const std::vector<Case> cases = {
        {"text file", [](const std::filesystem::path &f) { std::ofstream(f) << "just some text, long enough to be no header at all\n"; }},
        {"empty file", [](const std::filesystem::path &f) { std::ofstream{f}; }},
        {"SQLite database that is not a catalog", [](const std::filesystem::path &f) {
             sqlite3 *db = nullptr;
             sqlite3_open(f.c_str(), &db);
             sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         }},
        {"catalog of a later format", [this](const std::filesystem::path &f) {
             write_entry("work", "template", "e", "DATA", {});
             std::filesystem::copy_file(catalog_path("template"), f);
             sqlite3 *db = nullptr;
             sqlite3_open(f.c_str(), &db);
             sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         }},
        {"catalog with a table dropped", [this](const std::filesystem::path &f) {
             write_entry("work", "template2", "e", "DATA", {});
             std::filesystem::copy_file(catalog_path("template2"), f);
             sqlite3 *db = nullptr;
             sqlite3_open(f.c_str(), &db);
             sqlite3_exec(db, "DROP TABLE pieces", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         }},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = "bad" + std::to_string(n++);
        c.make(dir.path() / (name + ".zcat"));
        for (int32_t mode : {zef::kLibraryInput, zef::kLibraryWrite}) {
            void *cat = nullptr;
            EXPECT_EQ(open_catalog("work", name, mode, &cat), zef::kCatalogDamaged) << services.last_error();
            EXPECT_EQ(cat, nullptr);
        }
    }
    std::filesystem::create_directory(dir.path() / "folder.zcat");
    void *cat = nullptr;
    EXPECT_EQ(open_catalog("work", "folder", zef::kLibraryWrite, &cat), zef::kCatalogDamaged);
}

TEST_P(CatalogRequests, ADamagedChunkIsReportedNotDelivered) {
    write_entry("work", "c", "e", "DATA", numbered_blocks("d", 100));
    if (kind == StoreKind::database) {
        database->sql("UPDATE chunks SET data = substring(data from 1 for 500)");
    } else {
        sqlite3 *db = nullptr;
        sqlite3_open(catalog_path("c").c_str(), &db);
        sqlite3_exec(db, "UPDATE chunks SET data = substr(data, 1, 500)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    // The chunk's size no longer agrees with its piece: refused at open.
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
    EXPECT_EQ(open_entry(cat, "e", "DATA", zef::kMemberInput, &entry), zef::kCatalogDamaged);
    EXPECT_EQ(entry, nullptr);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_FALSE(services.check_catalog("work", "c").empty());
}

TEST_P(CatalogRequests, ReadOnlyLibrariesServeReadsOnly) {
    write_entry("work", "c", "e", "DATA", {{1, "x"}});
    services.deassign_library("work");
    assign_work(services, /*read_only=*/true);
    void *cat = nullptr, *entry = nullptr;
    EXPECT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), zef::kCatalogBadRequest);
    EXPECT_EQ(open_catalog("work", "new", zef::kLibraryWrite, &cat), zef::kCatalogBadRequest);
    EXPECT_FALSE(services.catalog_exists("work", "new"));
    EXPECT_EQ(read_entry("work", "c", "e", "DATA").blocks, (std::vector<Block>{{1, "x"}}));
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
    EXPECT_EQ(open_entry(cat, "e", "DATA", zef::kMemberOutput, &entry), zef::kCatalogBadRequest);
    EXPECT_EQ(remove(cat, "e", "DATA"), zef::kCatalogBadRequest);
    EXPECT_EQ(close_catalog(cat), 0);
}

TEST_F(CatalogFileRequests, LibraryAssignment) {
    EXPECT_THROW(services.assign_library("toolongname", dir.path()), zefhost::catalog::CatalogError);
    EXPECT_THROW(services.assign_library("x", dir.path() / "missing"), zefhost::catalog::CatalogError);
    services.assign_library("tmp", dir.path() / "made" / "here", false, /*create_directory=*/true);
    EXPECT_EQ(services.library_directory("TMP"), dir.path() / "made" / "here");
    write_entry("tmp", "c", "e", "DATA", {{1, "x"}});
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "made" / "here" / "c.zcat"));
}

TEST_P(CatalogRequests, DirectoryScanInNameThenTypeOrderFromAViewTakenAtOpen) {
    for (auto [name, type] : std::vector<std::pair<const char *, const char *>>{
             {"beta", "LOG"}, {"alpha", "SOURCE"}, {"beta", "HTML"}, {"a", "OUTPUT"}, {"alpha", "CSV"}})
        write_entry("work", "dir", name, type, {{145, name}});
    void *cat = nullptr, *scan = nullptr, *filtered = nullptr;
    ASSERT_EQ(open_catalog("work", "dir", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(call<p::yldopen>(r::yldopen, cat, "ALL     ", 0, &scan), 0);
    ASSERT_EQ(call<p::yldopen>(r::yldopen, cat, "log     ", 0, &filtered), 0);
    // Changes after the open do not show in the scan.
    EXPECT_EQ(remove(cat, "a", "OUTPUT"), 0);
    write_entry("work", "dir", "zeta", "LOG", {{145, "z"}});
    std::vector<std::string> seen;
    zef::DirectoryEntryArea area;
    int32_t status;
    while ((status = call<p::yldread>(r::yldread, scan, static_cast<void *>(&area), 0)) == 0)
        seen.push_back(std::string(area.name, static_cast<size_t>(area.name_length)) + "|" +
                       std::string(area.type, 8));
    EXPECT_EQ(status, zef::kCatalogEndOfDirectory);
    EXPECT_EQ(call<p::yldread>(r::yldread, scan, static_cast<void *>(&area), 0), zef::kCatalogEndOfDirectory);
    EXPECT_EQ(seen, (std::vector<std::string>{"A|OUTPUT  ", "ALPHA|CSV     ", "ALPHA|SOURCE  ",
                                              "BETA|HTML    ", "BETA|LOG     "}));
    ASSERT_EQ(call<p::yldread>(r::yldread, filtered, static_cast<void *>(&area), 0), 0);
    EXPECT_EQ(std::string(area.name, 32), "BETA" + std::string(28, ' '));
    EXPECT_EQ(call<p::yldread>(r::yldread, filtered, static_cast<void *>(&area), 0), zef::kCatalogEndOfDirectory);
    EXPECT_EQ(call<p::yldclos>(r::yldclos, scan), 0);
    EXPECT_EQ(call<p::yldclos>(r::yldclos, filtered), 0);
    // An empty catalog ends at once.
    void *empty = nullptr;
    ASSERT_EQ(open_catalog("work", "empty", zef::kLibraryWrite, &empty), 0);
    ASSERT_EQ(call<p::yldopen>(r::yldopen, empty, "ALL     ", 0, &scan), 0);
    EXPECT_EQ(call<p::yldread>(r::yldread, scan, static_cast<void *>(&area), 0), zef::kCatalogEndOfDirectory);
    EXPECT_EQ(call<p::yldclos>(r::yldclos, scan), 0);
    EXPECT_EQ(close_catalog(empty), 0);
    EXPECT_EQ(close_catalog(cat), 0);
}

TEST_P(CatalogRequests, InformationRecordsGetAHostWord) {
    void *cat = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    zef::InformationRecord record{};
    record.item_count = 1;
    ASSERT_EQ(call<p::ylinfsy>(r::ylinfsy, cat, static_cast<void *>(&record)), 0);
    EXPECT_NE(record.host_word, 0u);
    EXPECT_EQ(record.item_count, 1);
    EXPECT_EQ(call<p::ylinfsy>(r::ylinfsy, cat, nullptr), zef::kCatalogBadRequest);
    ASSERT_EQ(close_catalog(cat), 0);
    // A stream ends its record after its catalog is closed: still 0.
    EXPECT_EQ(call<p::ylinfsr>(r::ylinfsr, cat, reinterpret_cast<void *>(record.host_word)), 0);
}

TEST_P(CatalogRequests, PlannedHostFailuresAnswerWithoutDoingTheWork) {
    host.fail_call(r::ylopen, zef::kCatalogIoFailure);
    void *cat = nullptr;
    EXPECT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), zef::kCatalogIoFailure);
    EXPECT_FALSE(services.catalog_exists("work", "c"));
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    EXPECT_EQ(host.calls(r::ylopen), 2);
    EXPECT_EQ(close_catalog(cat), 0);
}

TEST_P(CatalogRequests, AnEntryReplacedBetweenDescribeAndOpenIsNotDeliveredIntoAShortBuffer) {
    write_entry("work", "c", "e", "DATA", {{1, "short"}});
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
    int64_t size = 0;
    ASSERT_EQ(describe(cat, "e", "DATA", &size), 0);
    EXPECT_EQ(size, 5);
    write_entry("work", "c", "e", "DATA", {{1, std::string(4000, 'L')}});
    EXPECT_EQ(open_entry(cat, "e", "DATA", zef::kMemberInput, &entry), zef::kCatalogEntryInUse);
    // Described again, the open goes through.
    ASSERT_EQ(describe(cat, "e", "DATA", &size), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberInput, &entry), 0);
    Block block;
    EXPECT_EQ(read_block(entry, block, static_cast<size_t>(size)), 0);
    EXPECT_EQ(block.bytes.size(), 4000u);
    EXPECT_EQ(close_entry(entry), 0);
    EXPECT_EQ(close_catalog(cat), 0);
    // An update reads too, so it is held to the described size as well.
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(describe(cat, "e", "DATA", &size), 0);
    write_entry("work", "c", "e", "DATA", {{1, std::string(9000, 'M')}});
    EXPECT_EQ(open_entry(cat, "e", "DATA", zef::kMemberAppend, &entry), zef::kCatalogEntryInUse);
    EXPECT_EQ(close_catalog(cat), 0);
}

}  // namespace
}  // namespace cattest
