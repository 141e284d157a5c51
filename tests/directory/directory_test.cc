// Directory handles: open on a catalog fileref, list members, close.
#include "directory/catalog_fixture.h"

namespace catalog_test {
namespace {

class DirectoryTest : public CatalogTest {};

TEST_F(DirectoryTest, EmptyCatalogEndsAtOnce) {
    make_catalog("EMPTY");
    ASSERT_EQ(assign("CAT", "work.empty"), zef::kOk);
    watch_catalog_opens();
    zef::DirectoryHandle *handle = open_directory("cat");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(record("CAT")->open_count, 1);
    EXPECT_EQ(last_catalog_open.request.library_mode, zef::kLibraryWrite);

    int32_t end = 0;
    EXPECT_TRUE(list_members(handle, &end).empty());
    EXPECT_EQ(end, zef::kEndOfList);
    EXPECT_EQ(calls(zef::routine::yldopen), 1);
    EXPECT_EQ(calls(zef::routine::yldclos), 1);
    EXPECT_EQ(host.catalogs().open_scans(), 0u);

    // The handle keeps the fileref upper-cased: its members carry it so.
    OpenedMember out = open_member(handle, "new", "LOG", zef::kOpenOutput);
    ASSERT_EQ(out.status, zef::kOk);
    EXPECT_EQ(field(out.stream->fileref, 8), "CAT     ");
    EXPECT_EQ(member_close_slot(out.stream), zef::kOk);

    EXPECT_EQ(dir_close_slot(handle), zef::kOk);
    EXPECT_EQ(record("CAT")->open_count, 0);
    EXPECT_EQ(host.catalogs().open_catalogs(), 0u);
    EXPECT_EQ(deassign("CAT"), zef::kOk);
    expect_pools_back();
}

TEST_F(DirectoryTest, MembersComeInNameThenTypeOrderWithExactLengths) {
    const std::string longest(32, 'Q');
    put_entry("MIXED", "middle", "log", {{"one"}});
    put_entry("MIXED", "middle", "gif", {{"GIF89a", zef::kCodeBinary}});
    put_entry("MIXED", "a", "source", {{"x"}});
    put_entry("MIXED", longest, "html", {{"<p>"}});
    put_entry("MIXED", "report", "qav10", {});
    ASSERT_EQ(assign("MIX", "work.mixed"), zef::kOk);
    zef::DirectoryHandle *handle = open_directory("MIX");
    ASSERT_NE(handle, nullptr);

    int32_t end = 0;
    std::vector<std::string> expected = {"A.SOURCE", "MIDDLE.GIF", "MIDDLE.LOG", longest + ".HTML",
                                         "REPORT.QAV10"};
    EXPECT_EQ(list_members(handle, &end), expected);
    EXPECT_EQ(end, zef::kEndOfList);
    // A fresh cell starts again from the first member.
    EXPECT_EQ(list_members(handle), expected);

    EXPECT_EQ(dir_close_slot(handle), zef::kOk);
    EXPECT_EQ(deassign("MIX"), zef::kOk);
    expect_pools_back();
}

TEST_F(DirectoryTest, EntryFilerefsAreRefusedBeforeTheCatalogIsTouched) {
    for (std::string_view physical : {"work.cat.entry", "work.cat.entry.source", "work"}) {
        SCOPED_TRACE(physical);
        ASSERT_EQ(assign("ENTRY", physical), zef::kOk);
        zef::DirectoryHandle *handle = reinterpret_cast<zef::DirectoryHandle *>(0x1);
        EXPECT_EQ(dir_open_slot(&handle, Name8("ENTRY"), nullptr), zef::kNameUnsuitable);
        EXPECT_EQ(handle, reinterpret_cast<zef::DirectoryHandle *>(0x1));
        EXPECT_EQ(inserts(), std::vector<std::string>{message_text(2).substr(0, 255)});
        EXPECT_EQ(calls(zef::routine::ylopen), 0);
        EXPECT_EQ(record("ENTRY")->open_count, 0);
        EXPECT_EQ(deassign("ENTRY"), zef::kOk);
        expect_pools_back();
    }
}

TEST_F(DirectoryTest, LongLibraryNameIsCutToEightAndPassedAsTyped) {
    TempDirectory other;
    host.catalogs().assign_library("longlibn", other.path());
    ASSERT_EQ(assign("LONG", "longLibName.Things"), zef::kOk);
    watch_catalog_opens();
    zef::DirectoryHandle *handle = open_directory("LONG");
    ASSERT_NE(handle, nullptr);
    const zef::LibraryRequest &asked = last_catalog_open.request;
    EXPECT_EQ(field(asked.libref, 8), "longLibN");
    EXPECT_EQ(asked.catalog_name_length, 6);
    EXPECT_EQ(field(asked.catalog_name, 6), "Things");
    EXPECT_EQ(dir_close_slot(handle), zef::kOk);

    ASSERT_EQ(assign("SHORT", "work.x"), zef::kOk);
    handle = open_directory("SHORT");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(field(last_catalog_open.request.libref, 8), "work    ");
    EXPECT_EQ(dir_close_slot(handle), zef::kOk);
}

TEST_F(DirectoryTest, WritingModeRefusedThenInputAccepted) {
    make_catalog("SHARED");
    TempDirectory ro;
    std::filesystem::copy(work.path() / "shared.zcat", ro.path() / "shared.zcat");
    host.catalogs().assign_library("RO", ro.path(), /*read_only=*/true);
    ASSERT_EQ(assign("SHARED", "ro.shared"), zef::kOk);

    watch_catalog_opens();
    zef::DirectoryHandle *handle = open_directory("SHARED");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(calls(zef::routine::ylopen), 2);
    EXPECT_EQ(last_catalog_open.request.library_mode, zef::kLibraryInput);
    EXPECT_EQ(dir_close_slot(handle), zef::kOk);

    // Both refused: only the second status is seen.
    ASSERT_EQ(assign("NONE", "ro.nothere"), zef::kOk);
    handle = nullptr;
    EXPECT_EQ(dir_open_slot(&handle, Name8("NONE"), nullptr), zef::kCatalogMissing);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(calls(zef::routine::ylopen), 4);
    EXPECT_EQ(record("NONE")->open_count, 0);
    EXPECT_EQ(deassign("NONE"), zef::kOk);
    EXPECT_EQ(deassign("SHARED"), zef::kOk);
    expect_pools_back();
}

TEST_F(DirectoryTest, InputOnlyTaskAsksForInputBothTimes) {
    make_catalog("C");
    ASSERT_EQ(assign("C", "work.c"), zef::kOk);
    host.set_task_access(1);
    watch_catalog_opens();
    zef::DirectoryHandle *handle = open_directory("C");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(calls(zef::routine::ylopen), 1);
    EXPECT_EQ(last_catalog_open.request.library_mode, zef::kLibraryInput);
    EXPECT_EQ(dir_close_slot(handle), zef::kOk);

    host.fail_call(zef::routine::ylopen, zef::kCatalogIoFailure);
    handle = open_directory("C");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(calls(zef::routine::ylopen), 3);
    EXPECT_EQ(last_catalog_open.request.library_mode, zef::kLibraryInput);
    EXPECT_EQ(dir_close_slot(handle), zef::kOk);
    EXPECT_EQ(deassign("C"), zef::kOk);
    expect_pools_back();
}

TEST_F(DirectoryTest, PositiveOpenStatusCountsAsSuccess) {
    ASSERT_EQ(assign("C", "work.c"), zef::kOk);
    host.fail_call(zef::routine::ylopen, 0x1C0FF);  // answered instead of opening
    zef::DirectoryHandle *handle = open_directory("C");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(calls(zef::routine::ylopen), 1);
    EXPECT_EQ(record("C")->open_count, 1);
    EXPECT_EQ(dir_close_slot(handle), zef::kCatalogBadRequest);  // the host never opened it
    EXPECT_EQ(record("C")->open_count, 0);
    EXPECT_EQ(deassign("C"), zef::kOk);
    expect_pools_back();
}

TEST_F(DirectoryTest, FailedCloseStillReleasesTheHandle) {
    make_catalog("C");
    ASSERT_EQ(assign("C", "work.c"), zef::kOk);
    zef::DirectoryHandle *handle = open_directory("C");
    ASSERT_NE(handle, nullptr);
    host.fail_call(zef::routine::ylclose, zef::kCatalogIoFailure);
    EXPECT_EQ(dir_close_slot(handle), zef::kCatalogIoFailure);
    EXPECT_EQ(record("C")->open_count, 0);
    EXPECT_EQ(deassign("C"), zef::kOk);
    expect_pools_back();
}

TEST_F(DirectoryTest, LookupAndStorageFailures) {
    zef::DirectoryHandle *handle = nullptr;
    host.methods().refuse_unknown_filerefs(true);
    EXPECT_EQ(dir_open_slot(&handle, Name8("nobody"), nullptr), zefhost::kFilerefUnknownToHost);
    host.methods().refuse_unknown_filerefs(false);
    EXPECT_EQ(dir_open_slot(&handle, Name8("nobody"), nullptr), zef::kFilerefNotAssigned);
    EXPECT_EQ(inserts(), std::vector<std::string>{"NOBODY  "});
    EXPECT_EQ(calls(zef::routine::yxal2am), 2);
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(dir_open_slot(&handle, Name8("nobody"), nullptr), zefhost::kUnknownMethod);

    make_catalog("C");
    ASSERT_EQ(assign("C", "work.c"), zef::kOk);
    start = mark();
    host.storage_pool().refuse_nth(1);
    EXPECT_EQ(dir_open_slot(&handle, Name8("C"), nullptr), zef::kNoStorage);
    EXPECT_EQ(calls(zef::routine::ylopen), 0);

    host.fail_every_call(zef::routine::ylopen, zef::kCatalogIoFailure);
    EXPECT_EQ(dir_open_slot(&handle, Name8("C"), nullptr), zef::kCatalogIoFailure);
    host.clear_failures();
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(record("C")->open_count, 0);
    expect_pools_back();
}

TEST_F(DirectoryTest, ScanFailuresComeBackAndCloseTheScan) {
    put_entry("C", "one", "log", {{"1"}});
    put_entry("C", "two", "log", {{"2"}});
    ASSERT_EQ(assign("C", "work.c"), zef::kOk);
    zef::DirectoryHandle *handle = open_directory("C");
    ASSERT_NE(handle, nullptr);
    char name[32];
    char type[8];
    int32_t length = 0;

    void *cell = nullptr;
    host.fail_call(zef::routine::yldopen, zef::kCatalogIoFailure);
    EXPECT_EQ(dir_next_slot(&cell, handle, name, &length, type), zef::kCatalogIoFailure);
    EXPECT_EQ(cell, nullptr);

    ASSERT_EQ(dir_next_slot(&cell, handle, name, &length, type), zef::kOk);
    EXPECT_EQ(std::string(name, length), "ONE");
    host.fail_call(zef::routine::yldread, zef::kCatalogIoFailure);
    EXPECT_EQ(dir_next_slot(&cell, handle, name, &length, type), zef::kCatalogIoFailure);
    EXPECT_NE(cell, nullptr);  // the stale token stays; the host scan is gone
    EXPECT_EQ(host.catalogs().open_scans(), 0u);

    EXPECT_EQ(dir_next_slot(nullptr, handle, name, &length, type), zef::kNullHandle);
    EXPECT_EQ(dir_next_slot(&cell, nullptr, name, &length, type), zef::kNullHandle);
    EXPECT_EQ(dir_close_slot(handle), zef::kOk);
}

TEST_F(DirectoryTest, NullHandlesAndTheEmptyInformationList) {
    EXPECT_EQ(dir_close_slot(nullptr), zef::kNullHandle);
    EXPECT_EQ(dir_items_start_slot(nullptr), zef::kNullHandle);
    EXPECT_EQ(dir_items_end_slot(nullptr), zef::kNullHandle);

    make_catalog("C");
    ASSERT_EQ(assign("C", "work.c"), zef::kOk);
    zef::DirectoryHandle *handle = open_directory("C");
    ASSERT_NE(handle, nullptr);
    int64_t host_calls = calls(zef::routine::ylinfsy) + calls(zef::routine::ylinfsr);
    EXPECT_EQ(dir_items_start_slot(handle), zef::kOk);
    EXPECT_EQ(dir_items_end_slot(handle), zef::kOk);
    EXPECT_EQ(calls(zef::routine::ylinfsy) + calls(zef::routine::ylinfsr), host_calls);
    EXPECT_EQ(dir_close_slot(handle), zef::kOk);
}

TEST_F(DirectoryTest, DeassignedRecordGoesWithTheLastDirectory) {
    make_catalog("C");
    ASSERT_EQ(assign("C", "work.c"), zef::kOk);
    zef::DirectoryHandle *first = open_directory("C");
    zef::DirectoryHandle *second = open_directory("C");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    zef::FilerefRecord *r = record("C");
    EXPECT_EQ(r->open_count, 2);
    EXPECT_EQ(deassign("C"), zef::kStillOpen);
    EXPECT_EQ(record("C"), nullptr);

    EXPECT_EQ(dir_close_slot(first), zef::kOk);
    EXPECT_EQ(r->open_count, 1);
    EXPECT_EQ(dir_close_slot(second), zef::kOk);  // and the record with it
    expect_pools_back();
}

}  // namespace
}  // namespace catalog_test
