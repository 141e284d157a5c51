// A stream that got no record buffer (a host that opens a modeless request
// for reading, with no record length in force): the line routines and the
// P write, which all build or take the record in that buffer, refuse with
// 0x80000803 without calling the host, and the entry stays as it was.
#include "records_fixture.h"

namespace records_test {
namespace {

void *real_member_open = nullptr;
int32_t modeless_as_input(void *member_request, void **entry) {
    auto *request = static_cast<zef::MemberRequest *>(member_request);
    request->member_mode = zef::kMemberInput;
    return reinterpret_cast<zef::proto::ylmopen>(real_member_open)(member_request, entry);
}

class NoRecordBuffer : public RecordsTest {
protected:
    zef::StreamBlock *open_modeless(std::string_view fileref, uint32_t format) {
        real_member_open = host.routine(zef::routine::ylmopen);
        host.set_routine(zef::routine::ylmopen, reinterpret_cast<void *>(&modeless_as_input));
        Opened opened = open(fileref, OpenSpec{.mode = 0, .record_format = format});
        host.set_routine(zef::routine::ylmopen, real_member_open);
        EXPECT_EQ(opened.status, zef::kOk) << insert() << " " << host.catalogs().last_error();
        return opened.stream;
    }
};

TEST_F(NoRecordBuffer, LineRoutinesAndPrintWriteRefuse) {
    host.set_default_lrecl(0);
    const std::vector<Block> lines = {{zef::kCodeLine, "first line"}};
    const std::vector<Block> picture = {{321, "GIF89a"}};
    store("TEXT", "SOURCE", lines);
    store("PIC", "GIF", picture);
    assign_to("LINES", "TEXT", "SOURCE");
    assign_to("BYTES", "PIC", "GIF");

    for (uint32_t format : {0u, unsigned{zef::kRecordPrint}}) {
        SCOPED_TRACE(format);
        zef::StreamBlock *in = open_modeless("LINES", format);
        ASSERT_NE(in, nullptr);
        zef::RoutineTable *table = routine_table(in);
        ASSERT_NE(table, nullptr);
        ASSERT_NE(table->read, read_slot) << "a line type reads through the line routine";
        int64_t reads = host.calls(zef::routine::ylmread);
        int64_t writes = host.calls(zef::routine::ylmwrit);
        Record r = read_with(table->read, in);
        EXPECT_EQ(r.status, zef::kNoStorage);
        EXPECT_EQ(r.length, 0);
        EXPECT_FALSE(r.delivered);
        EXPECT_EQ(write_with(table->write, in, "new line"), zef::kNoStorage);
        EXPECT_EQ(host.calls(zef::routine::ylmread), reads);
        EXPECT_EQ(host.calls(zef::routine::ylmwrit), writes);
        EXPECT_EQ(close(in), zef::kOk);
    }

    zef::StreamBlock *bytes_in = open_modeless("BYTES", zef::kRecordPrint);
    ASSERT_NE(bytes_in, nullptr);
    int64_t writes = host.calls(zef::routine::ylmwrit);
    EXPECT_EQ(write_with(write_slot, bytes_in, "text", '1'), zef::kNoStorage);
    EXPECT_EQ(host.calls(zef::routine::ylmwrit), writes);
    EXPECT_EQ(close(bytes_in), zef::kOk);

    EXPECT_EQ(stored("TEXT", "SOURCE"), lines);
    EXPECT_EQ(stored("PIC", "GIF"), picture);
    expect_clean();
}

}  // namespace
}  // namespace records_test
