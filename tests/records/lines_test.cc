// The line routines of SOURCE, LOG and OUTPUT, reached through the routine
// table: what they store, how they read back with and without ATTR and P,
// the records of other codes, and F filling on both sides.
#include "records_fixture.h"

namespace records_test {
namespace {

class LineRecords : public RecordsTest {};

std::string with_zero(std::string_view rest) { return std::string(1, '\0') + std::string(rest); }

// "hello" written with carriage request 3, then read back.
TEST_F(LineRecords, WrittenAndReadThroughTheTable) {
    struct Case {
        bool attr;
        uint32_t format;
        std::string stored;
        std::string read;
        char carriage;
    } cases[] = {
        {false, 0, with_zero("hello"), "hello", ' '},
        {false, zef::kRecordPrint, with_zero("1hello"), "hello", '1'},
        // With ATTR the leading byte stays part of the data.
        {true, 0, with_zero("hello"), with_zero("hello"), ' '},
        {true, zef::kRecordPrint, with_zero("1hello"), "1hello", '1'},
    };
    for (const char *type : {"SOURCE", "LOG", "OUTPUT"}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(type) + (c.attr ? " attr" : "") + (c.format ? " P" : ""));
            std::string options = c.attr ? "lrecl=80 attr" : "lrecl=80";
            assign_to("LINES", "TEXT", type, options);
            zef::StreamBlock *out = open_ok("LINES", zef::kOpenOutput, c.format);
            ASSERT_NE(out, nullptr);
            zef::RoutineTable *table = routine_table(out);
            EXPECT_EQ(write_with(table->write, out, "hello", 3), zef::kOk);
            EXPECT_EQ(close(out), zef::kOk);
            EXPECT_EQ(stored("TEXT", type), (std::vector<Block>{{145, c.stored}}));

            zef::StreamBlock *in = open_ok("LINES", zef::kOpenInput, c.format);
            ASSERT_NE(in, nullptr);
            table = routine_table(in);
            Record r = read_with(table->read, in);
            EXPECT_EQ(r.status, zef::kOk);
            EXPECT_EQ(r.data, c.read);
            EXPECT_EQ(r.carriage, c.carriage);
            EXPECT_EQ(read_with(table->read, in).status, zef::kEndOfFile);
            EXPECT_EQ(close(in), zef::kOk);
            ASSERT_EQ(deassign("LINES"), zef::kOk);
        }
    }
    expect_clean();
}

// Plain lines as most streams read them: every length up to the longest a
// line of lrecl=80 holds (79: the control byte takes one), the empty line,
// and a reading lrecl shorter than the lines, which cuts the text handed out
// while buffer_count keeps the whole text's length.
TEST_F(LineRecords, PlainLinesOfEveryLengthAndAShorterLrecl) {
    const std::string lines[] = {"", "a", "hello world", std::string(79, 'x'), ""};
    assign_to("LINES", "TEXT", "SOURCE", "lrecl=80");
    zef::StreamBlock *out = open_ok("LINES", zef::kOpenOutput, 0);
    ASSERT_NE(out, nullptr);
    for (const std::string &line : lines) EXPECT_EQ(write_with(routine_table(out)->write, out, line), zef::kOk);
    EXPECT_EQ(close(out), zef::kOk);
    ASSERT_EQ(deassign("LINES"), zef::kOk);

    for (int64_t lrecl : {80, 5}) {
        SCOPED_TRACE("lrecl " + std::to_string(lrecl));
        assign_to("LINES", "TEXT", "SOURCE", "lrecl=" + std::to_string(lrecl));
        zef::StreamBlock *in = open_ok("LINES", zef::kOpenInput, 0);
        ASSERT_NE(in, nullptr);
        ASSERT_EQ(zef::stream_lrecl(in), lrecl - 1);
        zef::fn::yxlread read = routine_table(in)->read;
        for (const std::string &line : lines) {
            Record r = read_with(read, in);
            EXPECT_EQ(r.status, zef::kOk);
            EXPECT_TRUE(r.delivered);
            EXPECT_EQ(r.data, line.substr(0, static_cast<size_t>(lrecl - 1)));
            EXPECT_EQ(r.carriage, ' ');
            EXPECT_EQ(in->buffer_count, static_cast<int32_t>(line.size()));
        }
        Record end = read_with(read, in);
        EXPECT_EQ(end.status, zef::kEndOfFile);
        EXPECT_EQ(end.length, 0);
        EXPECT_EQ(close(in), zef::kOk);
        ASSERT_EQ(deassign("LINES"), zef::kOk);
    }
    expect_clean();
}

TEST_F(LineRecords, CarriageRequests) {
    assign_to("LOG", "RUN", "LOG", "lrecl=80");
    zef::StreamBlock *out = open_ok("LOG", zef::kOpenOutput, zef::kRecordPrint);
    zef::RoutineTable *table = routine_table(out);
    for (int32_t request : {3, 2, 1, 0}) EXPECT_EQ(write_with(table->write, out, "x", request), zef::kOk);
    EXPECT_EQ(close(out), zef::kOk);
    EXPECT_EQ(stored("RUN", "LOG"), (std::vector<Block>{{145, with_zero("1x")},
                                                        {145, with_zero("2x")},
                                                        {145, with_zero(" x")},
                                                        {145, with_zero(" x")}}));
    expect_clean();
}

// Records of the other codes met on reading: 186 has two framing bytes,
// 187 and any other code hold their text in the first half; with ATTR the
// record's last byte follows the text.
TEST_F(LineRecords, RecordsOfOtherCodes) {
    using namespace std::string_literals;
    struct Case {
        uint16_t code;
        bool attr;
        std::string record;
        std::string read;
    } cases[] = {
        {186, false, "\0\0abc"s, "\0ab"s},
        {186, true, "\0\0abc"s, "\0\0abc"s},
        {187, false, "abcdefgh", "bc"},
        {187, true, "abcdefgh", "abch"},
        {322, false, "abcdefgh", "bcd"},
        {322, true, "abcdefgh", "abch"},
        // One byte: nothing but framing.
        {186, false, "a", ""},
        {187, false, "a", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + (c.attr ? " attr " : " ") + c.record);
        store("MIXED", "SOURCE", {{c.code, c.record}});
        assign_to("SRC", "MIXED", "SOURCE", c.attr ? "attr" : "");
        zef::StreamBlock *in = open_ok("SRC", zef::kOpenInput);
        ASSERT_NE(in, nullptr);
        Record r = read_with(routine_table(in)->read, in);
        EXPECT_EQ(r.status, zef::kOk);
        EXPECT_TRUE(r.delivered);
        EXPECT_EQ(r.data, c.read);
        EXPECT_EQ(zef::stream_record_code(in), c.code);
        EXPECT_EQ(close(in), zef::kOk);
        ASSERT_EQ(deassign("SRC"), zef::kOk);
    }
    expect_clean();
}

// The line read fills one blank fewer than lrecl; the line write pads the
// text to the whole record sent.
TEST_F(LineRecords, FixedFill) {
    store("TEXT", "LOG", {{145, with_zero("abc")}});
    assign_to("LOG", "TEXT", "LOG", "lrecl=80");
    zef::StreamBlock *in = open_ok("LOG", zef::kOpenInput, zef::kRecordFixed);
    ASSERT_EQ(zef::stream_lrecl(in), 79);
    char *data = nullptr;
    int64_t length = 0;
    ASSERT_EQ(routine_table(in)->read(in, &data, &length, nullptr), zef::kOk);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::string(data, 78), "abc" + std::string(75, ' '));
    EXPECT_EQ(static_cast<uint8_t>(data[78]), zefhost::HostPool::kFillPattern);
    EXPECT_EQ(close(in), zef::kOk);

    struct Case {
        uint32_t format;
        std::string stored;
    } cases[] = {
        {zef::kRecordFixed, with_zero("abc") + std::string(76, ' ')},
        {zef::kRecordFixed | zef::kRecordPrint, with_zero("1abc") + std::string(75, ' ')},
    };
    for (const Case &c : cases) {
        zef::StreamBlock *out = open_ok("LOG", zef::kOpenOutput, c.format);
        EXPECT_EQ(write_with(routine_table(out)->write, out, "abc", 3), zef::kOk);
        EXPECT_EQ(close(out), zef::kOk);
        EXPECT_EQ(stored("TEXT", "LOG"), (std::vector<Block>{{145, c.stored}}));
    }
    expect_clean();
}

// With ATTR a line's lrecl equals the record sent, which leaves no room for
// the leading zero byte at full length: the text is cut and says so.
TEST_F(LineRecords, AttrLineAtFullLengthIsCut) {
    assign_to("LOG", "TEXT", "LOG", "lrecl=80 attr");
    for (uint32_t format : {0u, static_cast<uint32_t>(zef::kRecordFixed)}) {
        SCOPED_TRACE(format);
        zef::StreamBlock *out = open_ok("LOG", zef::kOpenOutput, format);
        ASSERT_EQ(zef::stream_lrecl(out), 80);
        zef::RoutineTable *table = routine_table(out);
        EXPECT_EQ(write_with(table->write, out, std::string(80, 'w')), zef::kRecordTruncated);
        EXPECT_EQ(write_with(table->write, out, std::string(79, 'v')), zef::kOk);
        EXPECT_EQ(close(out), zef::kOk);
        EXPECT_EQ(stored("TEXT", "LOG"), (std::vector<Block>{{145, with_zero(std::string(79, 'w'))},
                                                             {145, with_zero(std::string(79, 'v'))}}));
    }
    expect_clean();
}

TEST_F(LineRecords, NullStream) {
    assign_to("LOG", "TEXT", "LOG");
    zef::StreamBlock *out = open_ok("LOG", zef::kOpenOutput);
    zef::RoutineTable *table = routine_table(out);
    EXPECT_EQ(write_with(table->write, nullptr, "x"), zef::kNullHandle);
    EXPECT_EQ(read_with(table->read, nullptr).status, zef::kNullHandle);
    EXPECT_EQ(close(out), zef::kOk);
    expect_clean();
}

}  // namespace
}  // namespace records_test
