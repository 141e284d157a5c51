// Reads at the edges: an S run that the carried bytes fill exactly, NBYTE
// values far past 32 bits, an open without mode bits, and a stream without
// a record buffer.
#include "records_fixture.h"

namespace records_test {
namespace {

std::string letters(size_t from, size_t count) {
    std::string s;
    for (size_t i = from; i < from + count; ++i) s.push_back(static_cast<char>('a' + i % 26));
    return s;
}

class ReadEdges : public RecordsTest {
protected:
    void two_blocks(std::string_view options = {}) {
        store("DATA", "GIF", {{321, letters(0, 60)}, {321, letters(60, 60)}});
        assign_to("IN", "DATA", "GIF", options);
    }
};

// 40 of the first block leave 20; a run of exactly 20 is made of them alone,
// without reading a block, and the next run starts at the second block.
TEST_F(ReadEdges, RunFilledExactlyByTheCarriedBytes) {
    two_blocks();
    zef::StreamBlock *in = open_ok("IN", zef::kOpenInput, zef::kRecordStream);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(read_record(in, 40).data, letters(0, 40));
    int64_t reads = host.calls(zef::routine::ylmread);
    Record carried = read_record(in, 20);
    EXPECT_EQ(carried.status, zef::kOk);
    EXPECT_EQ(carried.data, letters(40, 20));
    EXPECT_EQ(host.calls(zef::routine::ylmread), reads);
    EXPECT_EQ(read_record(in, 60).data, letters(60, 60));
    EXPECT_EQ(host.calls(zef::routine::ylmread), reads + 1);  // nothing was left over
    EXPECT_EQ(read_record(in, 60).status, zef::kEndOfFile);
    EXPECT_EQ(close(in), zef::kOk);
    expect_clean();
}

// NBYTE past 32 bits is refused like any count past record_limit: the log
// names the count (held to the largest 64-bit value when it is larger
// still), and the stream reads on afterwards.
TEST_F(ReadEdges, NbyteFarPastThirtyTwoBits) {
    two_blocks();
    for (double value : {2147483648.0, 4294967296.0, 1e19, 1e300}) {
        SCOPED_TRACE(value);
        host.set_variable("COUNT", value);
        zef::StreamBlock *in = open_ok("IN", zef::kOpenInput, zef::kRecordStream, "nbyte=count");
        ASSERT_NE(in, nullptr);
        size_t logged = host.log().size();
        Record r = read_record(in, 7);
        EXPECT_EQ(r.status, zef::kNbyteTooLarge);
        EXPECT_EQ(r.length, in->record_limit);
        ASSERT_EQ(host.log().size(), logged + 1);
        std::string count = value < 9.2e18 ? std::to_string(static_cast<int64_t>(value))
                                           : std::to_string(INT64_MAX);
        EXPECT_NE(host.log().back().find(count), std::string::npos) << host.log().back();
        host.set_variable("COUNT", 10);
        EXPECT_EQ(read_record(in, 7).data, letters(0, 10));
        EXPECT_EQ(close(in), zef::kOk);
    }
    expect_clean();
}

// An open request without mode bits asks the host for neither reading nor
// writing; the stand-in refuses such a member open, and the failure comes
// back with nothing left open or obtained.
TEST_F(ReadEdges, OpenWithoutModeBitsIsTheHostsToRefuse) {
    store("DATA", "GIF", {{321, letters(0, 60)}});
    assign_to("IN", "DATA", "GIF");
    Opened opened = open("IN", OpenSpec{.mode = 0});
    EXPECT_EQ(opened.status, zef::kCatalogBadRequest);
    EXPECT_EQ(opened.stream, nullptr);
    EXPECT_EQ(record("IN")->open_count, 0);
    expect_clean();
}

// A host that opens every member read-only whatever mode it is asked for,
// as a host may for a catalog opened for neither reading nor writing (a
// modeless open asks for library mode 0 and member mode 8).
void *real_member_open = nullptr;
int32_t modeless_as_input(void *member_request, void **entry) {
    auto *request = static_cast<zef::MemberRequest *>(member_request);
    request->member_mode = zef::kMemberInput;
    return reinterpret_cast<zef::proto::ylmopen>(real_member_open)(member_request, entry);
}

// With such a host and no record length in force, the stream has no record
// buffer: every read, whatever its format, says so without calling the host.
TEST_F(ReadEdges, ReadWithoutARecordBuffer) {
    host.set_default_lrecl(0);
    store("DATA", "GIF", {{321, letters(0, 60)}});
    assign_to("IN", "DATA", "GIF");
    real_member_open = host.routine(zef::routine::ylmopen);
    host.set_routine(zef::routine::ylmopen, reinterpret_cast<void *>(&modeless_as_input));
    for (uint32_t format : {0u, unsigned{zef::kRecordStream}, unsigned{zef::kRecordFixed}}) {
        SCOPED_TRACE(format);
        Opened opened = open("IN", OpenSpec{.mode = 0, .record_format = format});
        ASSERT_EQ(opened.status, zef::kOk) << insert() << " " << host.catalogs().last_error();
        zef::StreamBlock *in = opened.stream;
        int64_t reads = host.calls(zef::routine::ylmread);
        Record r = read_record(in, 10);
        EXPECT_EQ(r.status, zef::kNoStorage);
        EXPECT_EQ(r.length, 0);
        EXPECT_FALSE(r.delivered);
        EXPECT_EQ(host.calls(zef::routine::ylmread), reads);
        EXPECT_EQ(close(in), zef::kOk);
    }
    host.set_routine(zef::routine::ylmopen, real_member_open);
    EXPECT_EQ(stored("DATA", "GIF").size(), 1u);
    expect_clean();
}

}  // namespace
}  // namespace records_test
