// Close: everything a stream holds goes back, the host's handles are closed
// even when one of the closes fails, and the fileref count follows.
#include "stream/stream_fixture.h"

namespace stream_test {
namespace {

class StreamClose : public StreamTest {
protected:
    // Opens a new SOURCE entry for output with an owned option block, a
    // routine table and, when asked, an information record.
    zef::StreamBlock *open_full(bool with_information) {
        EXPECT_EQ(assign_entry("FULL", "c.full.source", "lrecl=72"), zef::kOk);
        Opened out = open("FULL", {zef::kOpenOutput, 0, 0, "desc='all of it'"});
        EXPECT_EQ(out.status, zef::kOk) << insert();
        if (out.stream == nullptr) return nullptr;
        zef::RoutineTable *table = nullptr;
        EXPECT_EQ(routine_table_slot(out.stream, &table), zef::kOk);
        if (with_information) {
            zef::InformationRecord *information = nullptr;
            EXPECT_EQ(info_start_slot(out.stream, &information), zef::kOk);
            EXPECT_NE(information, nullptr);
        }
        return out.stream;
    }
};

// The catalogs open when the host is asked to end an information record.
size_t catalogs_open_at_information_end = 0;
zef::proto::ylinfsr original_ylinfsr = nullptr;
int32_t watching_ylinfsr(void *catalog, void *host_word) {
    catalogs_open_at_information_end = zefhost::Host::current().catalogs().open_catalogs();
    return original_ylinfsr(catalog, host_word);
}

TEST_F(StreamClose, ReleasesBuffersOptionsRoutineTableAndBlock) {
    zef::StreamBlock *s = open_full(false);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(write(s, "line"), zef::kOk);
    EXPECT_EQ(close(s), zef::kOk);
    EXPECT_EQ(record("FULL")->open_count, 0);
    expect_clean();
}

TEST_F(StreamClose, EndsTheInformationRecordWhileItsCatalogIsOpen) {
    original_ylinfsr = reinterpret_cast<zef::proto::ylinfsr>(host.routine(zef::routine::ylinfsr));
    host.set_routine(zef::routine::ylinfsr, reinterpret_cast<void *>(&watching_ylinfsr));
    zef::StreamBlock *s = open_full(true);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(close(s), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::ylinfsr), 1);
    EXPECT_EQ(catalogs_open_at_information_end, 1u);
    expect_clean();
}

TEST_F(StreamClose, FailingInformationEndDoesNotChangeTheStatus) {
    zef::StreamBlock *s = open_full(true);
    ASSERT_NE(s, nullptr);
    host.fail_call(zef::routine::ylinfsr, zef::kCatalogIoFailure);
    EXPECT_EQ(close(s), zef::kOk);
    expect_clean();
}

TEST_F(StreamClose, OptionBlockGoesBackEvenWhenItsFilerefCannotBeFound) {
    zef::StreamBlock *s = open_full(false);
    ASSERT_NE(s, nullptr);
    host.fail_every_call(zef::routine::yxam2am, zef::kHostNotAvailable);
    EXPECT_EQ(close(s), zef::kOk);
    host.clear_failures();
    expect_clean();
}

TEST_F(StreamClose, OptionBlockNotOwnedByTheStreamStaysWithTheCaller) {
    ASSERT_EQ(assign_entry("KEEP", "c.keep.html"), zef::kOk);
    Opened out = open("KEEP", {zef::kOpenOutput, 0, 0, "lrecl=40", zef::kNotOwned});
    ASSERT_EQ(out.status, zef::kOk);
    ASSERT_TRUE(out.options);
    int64_t owner_blocks = host.owner_pool().blocks_outstanding();
    EXPECT_EQ(close(out.stream), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), owner_blocks);
    EXPECT_EQ(out.options.get()->lrecl, 40) << "still a live block";
    out.options.reset();
    expect_clean();
}

TEST_F(StreamClose, ReleasesAFilerefDeassignedWhileOpen) {
    ASSERT_EQ(assign_entry("GOING", "c.going.log", "lrecl=80"), zef::kOk);
    Opened first = open("GOING", zef::kOpenOutput);
    Opened second = open("GOING", zef::kOpenUpdate);
    ASSERT_EQ(first.status, zef::kOk);
    ASSERT_EQ(second.status, zef::kCatalogEntryMissing) << "not there until the first closes";
    EXPECT_EQ(close(first.stream), zef::kOk);
    first = open("GOING", zef::kOpenOutput);
    second = open("GOING", zef::kOpenInput);
    ASSERT_EQ(first.status, zef::kOk);
    ASSERT_EQ(second.status, zef::kOk);

    zef::FilerefRecord *waiting = record("GOING");
    ASSERT_NE(waiting, nullptr);
    EXPECT_EQ(deassign("GOING"), zef::kStillOpen);
    EXPECT_EQ(record("GOING"), nullptr);
    EXPECT_EQ(waiting->open_count, 2);
    EXPECT_EQ(close(first.stream), zef::kOk);
    EXPECT_EQ(waiting->open_count, 1);
    EXPECT_EQ(close(second.stream), zef::kOk);  // the last: the record goes too
    expect_clean();
}

TEST_F(StreamClose, HostCloseFailuresAreReturnedAndNothingIsKept) {
    struct Case {
        zef::RoutineAddress routine;
        const char *name;
    };
    // The entry close last: the host keeps an entry whose close it refused.
    for (Case c : {Case{zef::routine::ylclose, "ylclose"}, Case{zef::routine::ylmclos, "ylmclos"}}) {
        SCOPED_TRACE(c.name);
        zef::StreamBlock *s = open_full(true);
        ASSERT_NE(s, nullptr);
        int64_t catalog_closes = host.calls(zef::routine::ylclose);
        host.fail_call(c.routine, zef::kCatalogIoFailure);
        EXPECT_EQ(close(s), zef::kCatalogIoFailure);
        EXPECT_EQ(record("FULL")->open_count, 0);
        // The catalog is closed even when the entry close failed.
        EXPECT_EQ(host.calls(zef::routine::ylclose), catalog_closes + 1);
        ASSERT_EQ(deassign("FULL"), zef::kOk);
        expect_pools_back();
    }
}

}  // namespace
}  // namespace stream_test
