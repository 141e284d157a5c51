// The general read (slot 18): records cut in place with P and F, S-format
// runs across blocks with the carry and NBYTE, refused counts, buffer growth,
// host failures, and counts the host reports beyond the buffer.
#include <cmath>
#include <limits>

#include "records_fixture.h"

namespace records_test {
namespace {

// Bytes that tell their position: text(0, 120) is one run of 120.
std::string text(size_t from, size_t count) {
    std::string s;
    for (size_t i = from; i < from + count; ++i) s.push_back(static_cast<char>('A' + i % 26));
    return s;
}

class RecordRead : public RecordsTest {
protected:
    // Entry DATA.GIF of two 60-byte blocks, assigned as IN with `options`.
    void two_blocks(std::string_view options = {}) {
        store("DATA", "GIF", {{321, text(0, 60)}, {321, text(60, 60)}});
        assign_to("IN", "DATA", "GIF", options);
    }
    zef::StreamBlock *open_runs(std::string_view options = {}) {
        return open_ok("IN", zef::kOpenInput, zef::kRecordStream, options);
    }
};

TEST_F(RecordRead, FixedFillsToLrecl) {
    store("DATA", "GIF", {{321, "0123456789"}, {321, "1abc"}});
    assign_to("IN", "DATA", "GIF", "lrecl=80");
    zef::StreamBlock *in = open_ok("IN", zef::kOpenInput, zef::kRecordFixed);
    char *data = nullptr;
    int64_t length = 0;
    ASSERT_EQ(read_slot(in, &data, &length, nullptr), zef::kOk);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(std::string(data, 80), "0123456789" + std::string(70, ' '));
    EXPECT_EQ(close(in), zef::kOk);

    in = open_ok("IN", zef::kOpenInput, zef::kRecordFixed | zef::kRecordPrint);
    EXPECT_EQ(zef::stream_lrecl(in), 79);
    read_record(in);
    char carriage = 0;
    ASSERT_EQ(read_slot(in, &data, &length, &carriage), zef::kOk);
    EXPECT_EQ(carriage, '1');
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::string(data, 79), "abc" + std::string(76, ' '));
    EXPECT_EQ(close(in), zef::kOk);
    expect_clean();
}

// P hands out the first byte as the carriage character; longer records are
// cut to lrecl without a status.
TEST_F(RecordRead, PrintAndLongRecords) {
    store("DATA", "GIF", {{321, "1abc"}, {321, "x"}, {321, ""}, {321, "2" + std::string(100, 'q')}});
    assign_to("IN", "DATA", "GIF", "lrecl=80");
    zef::StreamBlock *in = open_ok("IN", zef::kOpenInput, zef::kRecordPrint);
    struct Expected {
        std::string data;
        char carriage;
    } expected[] = {{"abc", '1'}, {"", 'x'}, {"", ' '}, {std::string(79, 'q'), '2'}};
    for (const Expected &e : expected) {
        Record r = read_record(in);
        EXPECT_EQ(r.status, zef::kOk);
        EXPECT_EQ(r.data, e.data);
        EXPECT_EQ(r.carriage, e.carriage);
    }
    EXPECT_EQ(read_record(in).status, zef::kEndOfFile);
    EXPECT_EQ(close(in), zef::kOk);
    expect_clean();
}

// 100 bytes from two blocks of 60: 60 + 40, then the 20 carried over, then
// the end of file.
TEST_F(RecordRead, RunsAcrossBlocks) {
    two_blocks();
    zef::StreamBlock *in = open_runs();
    Record first = read_record(in, 100);
    EXPECT_EQ(first.status, zef::kOk);
    EXPECT_EQ(first.data, text(0, 100));
    Record second = read_record(in, 100);
    EXPECT_EQ(second.status, zef::kOk);
    EXPECT_EQ(second.data, text(100, 20));
    Record end = read_record(in, 100);
    EXPECT_EQ(end.status, zef::kEndOfFile);
    EXPECT_EQ(end.length, 0);
    EXPECT_FALSE(end.delivered);
    EXPECT_EQ(close(in), zef::kOk);
    expect_clean();
}

// A wanted count of 0 takes no more than lrecl and no more than the block
// the read brings; bytes carried from the last block come first, and none
// is lost or given twice.
TEST_F(RecordRead, RunOfOneRecordLength) {
    two_blocks("lrecl=60");
    zef::StreamBlock *in = open_runs();
    struct Step {
        int64_t wanted;
        int32_t status;
        std::string data;
    } steps[] = {
        {50, zef::kOk, text(0, 50)},
        {0, zef::kOk, text(50, 60)},
        {0, zef::kOk, text(110, 10)},
        {0, zef::kEndOfFile, ""},
    };
    for (const Step &step : steps) {
        Record r = read_record(in, step.wanted);
        EXPECT_EQ(r.status, step.status);
        EXPECT_EQ(r.data, step.data);
        EXPECT_EQ(r.length, static_cast<int64_t>(step.data.size()));
    }
    EXPECT_EQ(close(in), zef::kOk);

    // The first block's bytes, at most lrecl.
    ASSERT_EQ(deassign("IN"), zef::kOk);
    assign_to("IN", "DATA", "GIF", "lrecl=40");
    in = open_runs();
    EXPECT_EQ(read_record(in, 0).data, text(0, 40));
    EXPECT_EQ(close(in), zef::kOk);
    expect_clean();
}

// The NBYTE variable sets the count of every read: 0 means record_limit,
// more than record_limit is logged and refused, and a value below 0, not a
// number or past 32 bits is refused without a copy.
TEST_F(RecordRead, NbyteCounts) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double value;
        int32_t status;
        int64_t length;
        std::string data;
        bool logged;
    } cases[] = {
        {100, zef::kOk, 100, text(0, 100), false},
        {100.9, zef::kOk, 100, text(0, 100), false},
        {0, zef::kOk, 120, text(0, 120), false},  // record_limit 256: what the entry has
        {-0.5, zef::kOk, 120, text(0, 120), false},
        {256, zef::kOk, 120, text(0, 120), false},
        {257, zef::kNbyteTooLarge, 256, "", true},
        {1e12, zef::kNbyteTooLarge, 256, "", true},
        {-3, zef::kNbyteTooLarge, 0, "", false},
        {kNan, zef::kNbyteTooLarge, 0, "", false},
    };
    two_blocks();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        host.set_variable("COUNT", c.value);
        zef::StreamBlock *in = open_runs("nbyte=count");
        ASSERT_NE(in, nullptr);
        EXPECT_EQ(in->record_limit, 256);
        size_t logged = host.log().size();
        Record r = read_record(in, 7);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.length, c.length);
        if (c.status == zef::kOk) {
            EXPECT_EQ(r.data, c.data);
        }
        EXPECT_EQ(r.delivered, c.status == zef::kOk || c.logged);
        ASSERT_EQ(host.log().size(), logged + (c.logged ? 1 : 0));
        if (c.logged) {
            EXPECT_NE(host.log().back().find(message(25)), std::string::npos);
        }
        EXPECT_EQ(close(in), zef::kOk);
    }
    expect_clean();
}

// Without NBYTE the caller's count is the wanted count; one that is negative
// or past 32 bits is refused and nothing is read.
TEST_F(RecordRead, RefusedRunCounts) {
    two_blocks();
    zef::StreamBlock *in = open_runs();
    for (int64_t wanted : {int64_t{-1}, int64_t{INT32_MIN}, int64_t{1} << 32}) {
        SCOPED_TRACE(wanted);
        Record r = read_record(in, wanted);
        EXPECT_EQ(r.status, zef::kNbyteTooLarge);
        EXPECT_EQ(r.length, 0);
        EXPECT_FALSE(r.delivered);
    }
    EXPECT_EQ(host.calls(zef::routine::ylmread), 0);
    EXPECT_EQ(read_record(in, 10).data, text(0, 10));
    EXPECT_EQ(close(in), zef::kOk);
    expect_clean();
}

// A count larger than the stream buffer grows it; when the larger buffer is
// refused the stream has none, keeps its carried bytes and grows again on
// the next read.
TEST_F(RecordRead, StreamBufferGrows) {
    std::vector<Block> blocks;
    for (size_t i = 0; i < 10; ++i) blocks.push_back({321, text(i * 300, 300)});
    store("DATA", "GIF", blocks);
    assign_to("IN", "DATA", "GIF");
    zef::StreamBlock *in = open_runs();
    int64_t outstanding = host.storage_pool().blocks_outstanding();

    EXPECT_EQ(read_record(in, 1000).data, text(0, 1000));
    EXPECT_EQ(host.storage_pool().blocks_outstanding(), outstanding);  // grown in place of the old

    host.storage_pool().refuse_nth(1);
    Record refused = read_record(in, 2000);
    EXPECT_EQ(refused.status, zef::kNoStorage);
    EXPECT_FALSE(refused.delivered);
    EXPECT_EQ(host.storage_pool().blocks_outstanding(), outstanding - 1);  // no stream buffer now

    // Nothing carried was lost.
    Record after = read_record(in, 1000);
    EXPECT_EQ(after.status, zef::kOk);
    EXPECT_EQ(after.data, text(1000, 1000));
    EXPECT_EQ(host.storage_pool().blocks_outstanding(), outstanding);
    EXPECT_EQ(close(in), zef::kOk);
    expect_clean();
}

// Each ylmread of a read failing in turn: its status comes back and nothing
// is delivered; ypmlog failing does not change the NBYTE refusal.
TEST_F(RecordRead, HostFailures) {
    struct Case {
        const char *what;
        uint32_t format;
        bool line_routine;
        int64_t wanted;
        zef::RoutineAddress at;
        int nth;
        int32_t status;
    } cases[] = {
        {"record", 0, false, 0, zef::routine::ylmread, 1, kIoFailure},
        {"line", 0, true, 0, zef::routine::ylmread, 1, kIoFailure},
        {"run, first block", zef::kRecordStream, false, 100, zef::routine::ylmread, 1, kIoFailure},
        {"run, second block", zef::kRecordStream, false, 100, zef::routine::ylmread, 2, kIoFailure},
        // The log's status is not looked at.
        {"run past NBYTE", zef::kRecordStream, false, 0, zef::routine::ypmlog, 1, zef::kNbyteTooLarge},
    };
    store("DATA", "LOG", {{145, text(0, 60)}, {145, text(60, 60)}});
    host.set_variable("COUNT", 1000);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        bool nbyte = c.at.slot == zef::routine::ypmlog.slot;
        assign_to("IN", "DATA", "LOG");
        zef::StreamBlock *in = open_ok("IN", zef::kOpenInput, c.format, nbyte ? "nbyte=count" : "");
        ASSERT_NE(in, nullptr);
        zef::fn::yxlread routine = c.line_routine ? routine_table(in)->read : read_slot;
        host.fail_call(c.at, kIoFailure, c.nth);
        Record r = read_with(routine, in, c.wanted);
        EXPECT_EQ(r.status, c.status);
        // The line read hands out its (empty) buffer whenever nothing came.
        EXPECT_EQ(r.delivered, nbyte || c.line_routine);
        EXPECT_EQ(close(in), zef::kOk);
        ASSERT_EQ(deassign("IN"), zef::kOk);
        host.clear_failures();
    }
    expect_clean();
}

// A stand-in for ylmread that reports far more bytes than the buffer holds
// (and writes only a few), or a count that is negative in its low 32 bits.
int64_t reported_count = 0;
int32_t overreporting_read(void *, void *transfer_request) {
    zefhost::HostCall call(zef::routine::ylmread);
    auto *transfer = static_cast<zef::TransferRequest *>(transfer_request);
    std::memcpy(transfer->buffer, "1abc", 4);
    transfer->length = reported_count;
    transfer->record_code = 145;
    return 0;
}

// Whatever count the host reports, no read reaches past its buffers: the
// count is held to record_buffer.
TEST_F(RecordRead, ReportedCountHeldToTheBuffer) {
    store("DATA", "LOG", {{145, "1abc"}});
    assign_to("IN", "DATA", "LOG", "lrecl=80");
    void *real_read = host.routine(zef::routine::ylmread);
    host.set_routine(zef::routine::ylmread, reinterpret_cast<void *>(&overreporting_read));
    struct Case {
        uint32_t format;
        bool line_routine;
        int64_t wanted;
    } cases[] = {
        {0, false, 0},
        {zef::kRecordFixed | zef::kRecordPrint, false, 0},
        {zef::kRecordFixed | zef::kRecordPrint, true, 0},
        {zef::kRecordStream, false, 0},
        {zef::kRecordStream, false, 500},
    };
    for (int64_t count : {int64_t{0x7FFFFFF0}, int64_t{1} << 40 | 0xFFFFFFF0}) {
        reported_count = count;
        for (const Case &c : cases) {
            // A host that keeps answering empty blocks would keep a long run waiting.
            bool empty_blocks = static_cast<int32_t>(static_cast<uint32_t>(count)) < 0;
            if (empty_blocks && c.wanted > 0) continue;
            SCOPED_TRACE(std::to_string(c.format) + (c.line_routine ? " line" : ""));
            zef::StreamBlock *in = open_ok("IN", zef::kOpenInput, c.format);
            ASSERT_NE(in, nullptr);
            zef::fn::yxlread routine = c.line_routine ? routine_table(in)->read : read_slot;
            Record r = read_with(routine, in, c.wanted);
            EXPECT_EQ(r.status, zef::kOk);
            EXPECT_GE(zef::stream_buffer_count(in), 0);
            EXPECT_LE(zef::stream_buffer_count(in), in->stream_buffer_size);
            EXPECT_LE(r.length, std::max<int64_t>(c.wanted, in->stream_buffer_size));
            EXPECT_EQ(close(in), zef::kOk);
        }
    }
    host.set_routine(zef::routine::ylmread, real_read);
    expect_clean();
}

}  // namespace
}  // namespace records_test
