// The general write (slot 19): record codes, P and F layouts, the empty
// CATAMS record, truncation and host failures; and the whole round trip of
// every writable entry type.
#include "records_fixture.h"

namespace records_test {
namespace {

class RecordWrite : public RecordsTest {};

struct TypeCode {
    const char *type;
    uint16_t code;
};

// Every type a stream may write, with the record code its records carry.
constexpr TypeCode kWritableTypes[] = {
    {"SOURCE", 145},  {"LOG", 145},      {"OUTPUT", 145},   {"HTML", 322},    {"GIF", 321},
    {"JPEG", 321},    {"PNG", 321},      {"CSS", 322},      {"WML", 322},     {"XML", 322},
    {"QAVPROJ", 322}, {"QAVDATA", 322},  {"QAVEVENT", 322}, {"QAVDIAG", 145}, {"QAVSPEC", 322},
    {"QAVLIST", 322}, {"QAVSCORE", 322}, {"QAV1", 322},     {"QAV2", 322},    {"QAV3", 322},
    {"QAV4", 322},    {"QAV5", 322},     {"QAV6", 322},     {"QAV7", 322},    {"QAV8", 322},
    {"QAV9", 322},    {"QAV10", 322},    {"XSL", 322},      {"RTF", 322},     {"PDF", 321},
    {"PS", 322},      {"CSV", 322},      {"JS", 322},       {"VBS", 322},     {"JAR", 321},
    {"CATAMS", 145},
};
static_assert(std::size(kWritableTypes) == 36);

// Assign, open for output, write three records, close, reopen, read them
// back: what the store holds carries the type's code, and the reads return
// the records as written.
TEST_F(RecordWrite, EveryWritableTypeRoundTrips) {
    const std::vector<std::string> records = {"first record", "", "a third, longer record"};
    for (const TypeCode &type : kWritableTypes) {
        SCOPED_TRACE(type.type);
        std::string name = std::string("E") + type.type;
        assign_to("OUT", name, type.type);
        zef::StreamBlock *out = open_ok("OUT", zef::kOpenOutput);
        ASSERT_NE(out, nullptr);
        for (const std::string &record : records) EXPECT_EQ(write(out, record), zef::kOk);
        EXPECT_EQ(close(out), zef::kOk);

        bool catams = std::string_view(type.type) == "CATAMS";
        std::vector<Block> expected = {{type.code, records[0]},
                                       catams ? Block{270, "1"} : Block{type.code, ""},
                                       {type.code, records[2]}};
        EXPECT_EQ(stored(name, type.type), expected);

        zef::StreamBlock *in = open_ok("OUT", zef::kOpenInput);
        ASSERT_NE(in, nullptr);
        for (size_t i = 0; i < records.size(); ++i) {
            Record r = read_record(in);
            EXPECT_EQ(r.status, zef::kOk);
            EXPECT_TRUE(r.delivered);
            EXPECT_EQ(r.data, records[i]);
            EXPECT_EQ(zef::stream_record_code(in), expected[i].code);
        }
        Record end = read_record(in);
        EXPECT_EQ(end.status, zef::kEndOfFile);
        EXPECT_EQ(end.length, 0);
        EXPECT_EQ(close(in), zef::kOk);
        ASSERT_EQ(deassign("OUT"), zef::kOk);
    }
    expect_clean();
}

// A fileref of three parts writes a CATAMS entry: an empty record goes out
// as "1" with code 270 and reads back empty; with P it is the carriage byte.
TEST_F(RecordWrite, EmptyCatamsRecord) {
    ASSERT_EQ(assign_entry("NOTES", std::string(kCatalog) + ".NOTES"), zef::kOk);
    zef::StreamBlock *out = open_ok("NOTES", zef::kOpenOutput);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(write(out, ""), zef::kOk);
    EXPECT_EQ(write(out, "x"), zef::kOk);
    EXPECT_EQ(close(out), zef::kOk);
    EXPECT_EQ(stored("NOTES", "CATAMS"), (std::vector<Block>{{270, "1"}, {145, "x"}}));

    zef::StreamBlock *in = open_ok("NOTES", zef::kOpenInput);
    Record empty = read_record(in);
    EXPECT_EQ(empty.status, zef::kOk);
    EXPECT_TRUE(empty.delivered);
    EXPECT_EQ(empty.length, 0);
    EXPECT_EQ(read_record(in).data, "x");
    EXPECT_EQ(close(in), zef::kOk);

    out = open_ok("NOTES", zef::kOpenOutput, zef::kRecordPrint);
    EXPECT_EQ(write(out, "", '1'), zef::kOk);
    EXPECT_EQ(close(out), zef::kOk);
    EXPECT_EQ(stored("NOTES", "CATAMS"), (std::vector<Block>{{145, "1"}}));
    expect_clean();
}

// What each record format stores for "abc" with carriage '1' on an entry of
// LRECL 80 (GIF: no line adjustments).
TEST_F(RecordWrite, PrintAndFixedLayouts) {
    struct Case {
        uint32_t format;
        std::string record;
    } cases[] = {
        {0, "abc"},
        {zef::kRecordFixed, "abc"},  // F alone is not padded by the general write
        {zef::kRecordPrint, "1abc"},
        {zef::kRecordPrint | zef::kRecordFixed, "1abc" + std::string(76, ' ')},
    };
    assign_to("GIF", "PICTURE", "GIF", "lrecl=80");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        zef::StreamBlock *out = open_ok("GIF", zef::kOpenOutput, c.format);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(write(out, "abc", '1'), zef::kOk);
        EXPECT_EQ(close(out), zef::kOk);
        EXPECT_EQ(stored("PICTURE", "GIF"), (std::vector<Block>{{321, c.record}}));
    }
    expect_clean();
}

// A record longer than lrecl is cut to it, written, and reported with 0x1009.
TEST_F(RecordWrite, LongRecordIsCutWithTruncationStatus) {
    assign_to("GIF", "PICTURE", "GIF", "lrecl=80");
    std::string hundred(100, 'x');
    zef::StreamBlock *out = open_ok("GIF", zef::kOpenOutput);
    EXPECT_EQ(write(out, hundred), zef::kRecordTruncated);
    EXPECT_EQ(write(out, hundred.substr(0, 80)), zef::kOk);
    EXPECT_EQ(close(out), zef::kOk);
    EXPECT_EQ(stored("PICTURE", "GIF"),
              (std::vector<Block>{{321, std::string(80, 'x')}, {321, std::string(80, 'x')}}));

    out = open_ok("GIF", zef::kOpenOutput, zef::kRecordPrint);
    EXPECT_EQ(zef::stream_lrecl(out), 79);
    EXPECT_EQ(write(out, hundred, '1'), zef::kRecordTruncated);
    EXPECT_EQ(close(out), zef::kOk);
    EXPECT_EQ(stored("PICTURE", "GIF"), (std::vector<Block>{{321, "1" + std::string(79, 'x')}}));
    expect_clean();
}

// A line type written through the general slot with P and F: lrecl is three
// short of the record sent, and the bytes past the text are blanks, not
// whatever the buffer held before.
TEST_F(RecordWrite, PrintFixedRecordIsBlankToItsEnd) {
    assign_to("SRC", "PROG", "SOURCE", "lrecl=80");
    zef::StreamBlock *out = open_ok("SRC", zef::kOpenOutput, zef::kRecordPrint | zef::kRecordFixed);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(zef::stream_lrecl(out), 77);
    EXPECT_EQ(write(out, std::string(90, 'y'), '1'), zef::kRecordTruncated);
    EXPECT_EQ(write(out, "ab", ' '), zef::kOk);
    EXPECT_EQ(close(out), zef::kOk);
    EXPECT_EQ(stored("PROG", "SOURCE"),
              (std::vector<Block>{{145, "1" + std::string(77, 'y') + "  "},
                                  {145, " ab" + std::string(77, ' ')}}));
    expect_clean();
}

// An entry opened for update whose stored blocks are shorter than the LRECL
// asked for still takes full P and F records (the open sizes the buffer for
// them; under the sanitizers any overrun would show).
TEST_F(RecordWrite, UpdateWithPrintLongerThanTheEntry) {
    store("PICTURE", "GIF", {{321, "short"}});
    assign_to("GIF", "PICTURE", "GIF", "lrecl=200");
    zef::StreamBlock *out = open_ok("GIF", zef::kOpenUpdate, zef::kRecordPrint | zef::kRecordFixed);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(zef::stream_block_length(out), 132);
    EXPECT_EQ(zef::stream_lrecl(out), 199);
    EXPECT_EQ(write(out, std::string(199, 'z'), '1'), zef::kOk);
    EXPECT_EQ(close(out), zef::kOk);
    EXPECT_EQ(stored("PICTURE", "GIF"), (std::vector<Block>{{321, "1" + std::string(199, 'z')}}));
    expect_clean();
}

// A failing ylmwrit is answered as it comes, for every write layout; the
// next record is written normally and nothing is left over.
TEST_F(RecordWrite, HostWriteFailureIsReturned) {
    struct Case {
        const char *type;
        uint32_t format;
        bool line_routine;
        Block stored;
    } cases[] = {
        {"HTML", 0, false, {322, "next"}},
        {"HTML", zef::kRecordPrint, false, {322, " next"}},
        {"CATAMS", 0, false, {145, "next"}},
        {"LOG", 0, true, {145, bytes(std::string_view("\0next", 5))}},
        {"LOG", zef::kRecordPrint | zef::kRecordFixed, true,
         {145, bytes(std::string_view("\0 next", 6)) + std::string(74, ' ')}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + std::to_string(c.format));
        assign_to("OUT", "FAILS", c.type, "lrecl=80");
        zef::StreamBlock *out = open_ok("OUT", zef::kOpenOutput, c.format);
        ASSERT_NE(out, nullptr);
        zef::fn::yxlwrit routine = c.line_routine ? routine_table(out)->write : write_slot;
        host.fail_call(zef::routine::ylmwrit, kIoFailure);
        EXPECT_EQ(write_with(routine, out, "lost"), kIoFailure);
        EXPECT_EQ(write_with(routine, out, "next"), zef::kOk);
        EXPECT_EQ(close(out), zef::kOk);
        EXPECT_EQ(stored("FAILS", c.type), std::vector<Block>{c.stored});
        ASSERT_EQ(deassign("OUT"), zef::kOk);
    }
    expect_clean();
}

TEST_F(RecordWrite, NullStream) {
    EXPECT_EQ(write(nullptr, "x"), zef::kNullHandle);
    char *data = nullptr;
    int64_t length = 0;
    EXPECT_EQ(read_slot(nullptr, &data, &length, nullptr), zef::kNullHandle);
    expect_clean();
}

}  // namespace
}  // namespace records_test
