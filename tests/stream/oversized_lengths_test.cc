// Record lengths past what a 32-bit buffer size can describe: the open asks
// the host for no buffer at all and fails as refused storage, leaving
// nothing open, no count on the fileref and nothing obtained.
#include "stream/stream_fixture.h"

namespace stream_test {
namespace {

class OversizedLengths : public StreamTest {};

TEST_F(OversizedLengths, OpenFailsAsRefusedStorageWithoutAskingForIt) {
    store_entry("C", "OLD", "CSV", {"kept"});
    ASSERT_EQ(assign_entry("OLD", "c.old.csv"), zef::kOk);
    ASSERT_EQ(assign_entry("NEW", "c.new.csv"), zef::kOk);
    PoolMark assigned = mark();
    struct Case {
        const char *fileref;
        uint32_t mode;
        const char *options;
    } cases[] = {
        // The length itself past 32 bits, for a new entry and an existing one.
        {"NEW", zef::kOpenOutput, "lrecl=3000000000"},
        {"OLD", zef::kOpenInput, "lrecl=3000000000"},
        {"NEW", zef::kOpenOutput, "recfm=s lrecl=4294967297"},
        // The largest 32-bit length, which its framing bytes carry past.
        {"NEW", zef::kOpenOutput, "lrecl=2147483647"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.fileref) + " " + c.options);
        int64_t obtains = host.storage_pool().obtains();
        Opened opened = open(c.fileref, {c.mode, 0, 0, c.options});
        EXPECT_EQ(opened.status, zef::kNoStorage);
        EXPECT_EQ(opened.stream, nullptr);
        EXPECT_EQ(record(c.fileref)->open_count, 0);
        // The control block was obtained and given back; no buffer was asked for.
        EXPECT_EQ(host.storage_pool().obtains(), obtains + 1);
        expect_nothing_open();
        expect_pools_back(assigned);
    }

    // The entry is untouched and reads as before.
    Opened in = open("OLD", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk);
    EXPECT_EQ(read(in.stream).data, "kept");
    EXPECT_EQ(close(in.stream), zef::kOk);
    expect_clean();
}

// A request's negative length is taken by its size when nothing else gives
// one; the most negative has no positive counterpart and is taken as the
// largest, which no buffer can hold.
TEST_F(OversizedLengths, MostNegativeRequestedLengthIsTakenAsTheLargest) {
    ASSERT_EQ(assign_entry("NEW", "c.new.gif"), zef::kOk);
    host.set_default_lrecl_usable(false);
    PoolMark assigned = mark();
    Opened opened = open("NEW", {zef::kOpenOutput, 0, INT64_MIN});
    EXPECT_EQ(opened.status, zef::kNoStorage);
    EXPECT_EQ(opened.stream, nullptr);
    EXPECT_EQ(record("NEW")->open_count, 0);
    expect_nothing_open();
    expect_pools_back(assigned);

    Opened usual = open("NEW", {zef::kOpenOutput, 0, -90});
    ASSERT_EQ(usual.status, zef::kOk);
    EXPECT_EQ(usual.stream->record_limit, 90);
    EXPECT_EQ(close(usual.stream), zef::kOk);
    expect_clean();
}

}  // namespace
}  // namespace stream_test
