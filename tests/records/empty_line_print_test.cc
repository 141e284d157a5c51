// An empty line written without P and read back with P: the record holds
// no carriage character, so the line comes back empty with a blank
// carriage (never a byte from past the record), and the next line is read
// as usual.
#include "records_fixture.h"

namespace records_test {
namespace {

class EmptyLinePrint : public RecordsTest {};

TEST_F(EmptyLinePrint, EmptyLineReadsBackEmptyWithABlankCarriage) {
    for (uint32_t format : {unsigned{zef::kRecordPrint}, zef::kRecordPrint | zef::kRecordFixed}) {
        SCOPED_TRACE(format);
        assign_to("LINES", "TEXT", "SOURCE", "lrecl=20");
        zef::StreamBlock *out = open_ok("LINES", zef::kOpenOutput);
        ASSERT_NE(out, nullptr);
        zef::RoutineTable *table = routine_table(out);
        EXPECT_EQ(write_with(table->write, out, ""), zef::kOk);
        EXPECT_EQ(write_with(table->write, out, "1next"), zef::kOk);
        EXPECT_EQ(close(out), zef::kOk);
        ASSERT_EQ(stored("TEXT", "SOURCE").size(), 2u);
        EXPECT_EQ(stored("TEXT", "SOURCE").at(0).bytes.size(), 1u);

        zef::StreamBlock *in = open_ok("LINES", zef::kOpenInput, format);
        ASSERT_NE(in, nullptr);
        table = routine_table(in);
        Record empty = read_with(table->read, in);
        EXPECT_EQ(empty.status, zef::kOk);
        EXPECT_TRUE(empty.delivered);
        EXPECT_EQ(empty.carriage, ' ');
        if (format & zef::kRecordFixed) {
            EXPECT_EQ(empty.data, std::string(static_cast<size_t>(empty.length), ' '));
        } else {
            EXPECT_EQ(empty.length, 0);
        }
        Record next = read_with(table->read, in);
        EXPECT_EQ(next.status, zef::kOk);
        EXPECT_EQ(next.carriage, '1');
        EXPECT_EQ(next.data.substr(0, 4), "next");
        EXPECT_EQ(read_with(table->read, in).status, zef::kEndOfFile);
        EXPECT_EQ(close(in), zef::kOk);
        ASSERT_EQ(deassign("LINES"), zef::kOk);
    }
    expect_clean();
}

}  // namespace
}  // namespace records_test
