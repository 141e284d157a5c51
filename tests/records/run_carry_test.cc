// S runs served from the bytes a block left over: runs shorter than the
// leftover take no block of their own, and after a refused larger buffer a
// short run still comes from the leftover, whatever the size of the smaller
// buffer the stream gets back.
#include "records_fixture.h"

namespace records_test {
namespace {

// Bytes that tell their position: letters(0, 120) is one run of 120.
std::string letters(size_t from, size_t count) {
    std::string s;
    for (size_t i = from; i < from + count; ++i) s.push_back(static_cast<char>('a' + i % 26));
    return s;
}

class RunCarry : public RecordsTest {
protected:
    zef::StreamBlock *two_blocks_of_60() {
        store("DATA", "GIF", {{321, letters(0, 60)}, {321, letters(60, 60)}});
        assign_to("IN", "DATA", "GIF");
        return open_ok("IN", zef::kOpenInput, zef::kRecordStream);
    }
};

// Runs of 10 out of blocks of 60: one block read serves six runs, each
// picking up where the last stopped, and the seventh run reads the next block.
TEST_F(RunCarry, ShortRunsComeFromTheLeftoverWithoutReading) {
    zef::StreamBlock *in = two_blocks_of_60();
    ASSERT_NE(in, nullptr);
    int64_t reads = host.calls(zef::routine::ylmread);
    for (size_t run = 0; run < 6; ++run) {
        SCOPED_TRACE(run);
        Record r = read_record(in, 10);
        EXPECT_EQ(r.status, zef::kOk);
        EXPECT_EQ(r.length, 10);
        EXPECT_EQ(r.data, letters(run * 10, 10));
        EXPECT_EQ(host.calls(zef::routine::ylmread), reads + 1);
    }
    // The first block is used up: a run across the end of the second block
    // reads it and comes back short and whole; the next read reports the end.
    EXPECT_EQ(read_record(in, 25).data, letters(60, 25));
    EXPECT_EQ(host.calls(zef::routine::ylmread), reads + 2);
    Record tail = read_record(in, 50);
    EXPECT_EQ(tail.status, zef::kOk);
    EXPECT_EQ(tail.data, letters(85, 35));
    Record end = read_record(in, 50);
    EXPECT_EQ(end.status, zef::kEndOfFile);
    EXPECT_EQ(end.length, 0);
    EXPECT_EQ(close(in), zef::kOk);
    expect_clean();
}

// A refused larger buffer leaves the stream without one; the next, shorter
// run gets a buffer of just its own size and is served from the leftover
// even though that leftover starts well inside the block.
TEST_F(RunCarry, ShortRunAfterARefusedGrowthComesFromTheLeftover) {
    for (int64_t second : {10, 35, 50}) {
        SCOPED_TRACE(second);
        zef::StreamBlock *in = two_blocks_of_60();
        ASSERT_NE(in, nullptr);
        int64_t outstanding = host.storage_pool().blocks_outstanding();
        EXPECT_EQ(read_record(in, 10).data, letters(0, 10));

        host.storage_pool().refuse_nth(1);
        Record refused = read_record(in, 100000);
        EXPECT_EQ(refused.status, zef::kNoStorage);
        EXPECT_FALSE(refused.delivered);
        EXPECT_EQ(host.storage_pool().blocks_outstanding(), outstanding - 1);  // no stream buffer now

        Record r = read_record(in, second);
        EXPECT_EQ(r.status, zef::kOk);
        EXPECT_EQ(r.data, letters(10, static_cast<size_t>(second)));
        EXPECT_EQ(host.storage_pool().blocks_outstanding(), outstanding);  // a stream buffer again
        // Reading goes on where that run stopped.
        EXPECT_EQ(read_record(in, 60).data, letters(10 + static_cast<size_t>(second), 60));
        EXPECT_EQ(close(in), zef::kOk);
        deassign_all();
    }
    expect_clean();
}

// Runs longer than a block: blocks that lie wholly inside a run go straight
// to their place in it, the block that crosses its end leaves the rest for
// the next run, and a run the end of the entry cuts short comes back whole.
TEST_F(RunCarry, LongRunsTakeWholeBlocksAndCarryTheOneThatCrossesTheirEnd) {
    // A stream that may write reads the same runs: blocks it wrote could be
    // as long as its whole record buffer, so fewer go straight to the run.
    for (uint32_t mode : {zef::kOpenInput, zef::kOpenUpdate}) {
        SCOPED_TRACE(mode);
        store("DATA", "GIF",
              {{321, letters(0, 200)}, {321, letters(200, 200)}, {321, letters(400, 120)}, {321, letters(520, 200)},
               {321, letters(720, 150)}});
        assign_to("IN", "DATA", "GIF");
        zef::StreamBlock *in = open_ok("IN", mode, zef::kRecordStream);
        ASSERT_NE(in, nullptr);
        int64_t reads = host.calls(zef::routine::ylmread);
        Record first = read_record(in, 450);
        EXPECT_EQ(first.status, zef::kOk);
        EXPECT_EQ(first.data, letters(0, 450));
        EXPECT_EQ(host.calls(zef::routine::ylmread), reads + 3);
        EXPECT_EQ(in->stream_remaining, 70);
        Record second = read_record(in, 450);
        EXPECT_EQ(second.status, zef::kOk);
        EXPECT_EQ(second.data, letters(450, 420));
        EXPECT_EQ(read_record(in, 450).status, zef::kEndOfFile);
        EXPECT_EQ(close(in), zef::kOk);
        deassign_all();
    }
    expect_clean();
}

}  // namespace
}  // namespace records_test
