// Positions: append (and MOD) opens at the end of the entry, a noted
// position brings the next read back to its record, and flush has nothing
// to do.
#include "stream/stream_fixture.h"

namespace stream_test {
namespace {

class Positions : public StreamTest {
protected:
    std::vector<std::string> read_all(std::string_view fileref) {
        std::vector<std::string> records;
        Opened in = open(fileref, zef::kOpenInput);
        EXPECT_EQ(in.status, zef::kOk);
        if (in.status != zef::kOk) return records;
        for (Read r = read(in.stream); r.status == zef::kOk; r = read(in.stream))
            records.push_back(r.data);
        EXPECT_EQ(close(in.stream), zef::kOk);
        return records;
    }
    void write_all(std::string_view fileref, const OpenSpec &how,
                   const std::vector<std::string> &records) {
        Opened out = open(fileref, how);
        ASSERT_EQ(out.status, zef::kOk) << insert();
        for (const std::string &r : records) ASSERT_EQ(write(out.stream, r), zef::kOk);
        ASSERT_EQ(close(out.stream), zef::kOk);
    }
};

TEST_F(Positions, AppendAndModWriteAfterWhatTheEntryHolds) {
    ASSERT_EQ(assign_entry("LOG", "c.journal.csv", "lrecl=80"), zef::kOk);
    write_all("LOG", {zef::kOpenOutput}, {"one", "two"});

    Opened appending = open("LOG", zef::kOpenAppend);
    ASSERT_EQ(appending.status, zef::kOk);
    int64_t position = -1;
    EXPECT_EQ(note_slot(appending.stream, &position), zef::kOk);
    EXPECT_EQ(position, 2) << "positioned after the last block";
    EXPECT_EQ(write(appending.stream, "three"), zef::kOk);
    EXPECT_EQ(close(appending.stream), zef::kOk);

    write_all("LOG", {zef::kOpenOutput, 0, 0, "mod"}, {"four"});
    EXPECT_EQ(read_all("LOG"), (std::vector<std::string>{"one", "two", "three", "four"}));

    write_all("LOG", {zef::kOpenOutput}, {"fresh"});
    EXPECT_EQ(read_all("LOG"), (std::vector<std::string>{"fresh"}));
    expect_clean();
}

TEST_F(Positions, PointReturnsToTheNotedRecord) {
    ASSERT_EQ(assign_entry("RECS", "c.recs.html", "lrecl=80"), zef::kOk);
    write_all("RECS", {zef::kOpenOutput}, {"r1", "r2", "r3", "r4"});

    Opened in = open("RECS", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk);
    EXPECT_EQ(read(in.stream).data, "r1");
    int64_t noted = -1;
    ASSERT_EQ(note_slot(in.stream, &noted), zef::kOk);
    EXPECT_EQ(read(in.stream).data, "r2");
    EXPECT_EQ(read(in.stream).data, "r3");
    ASSERT_EQ(point_slot(in.stream, noted), zef::kOk);
    EXPECT_EQ(read(in.stream).data, "r2");
    EXPECT_EQ(read(in.stream).data, "r3");
    EXPECT_EQ(read(in.stream).data, "r4");
    EXPECT_EQ(read(in.stream).status, zef::kEndOfFile);

    // A position the entry does not have is the host's to refuse.
    EXPECT_EQ(point_slot(in.stream, 99), zef::kCatalogBadRequest);
    EXPECT_EQ(close(in.stream), zef::kOk);
    expect_clean();
}

TEST_F(Positions, PointDropsStreamBytesCarriedFromTheOldPosition) {
    store_entry("C", "BYTES", "CSV", {std::string(60, 'A'), std::string(60, 'B')});
    ASSERT_EQ(assign_entry("BYTES", "c.bytes.csv", "recfm=s"), zef::kOk);
    Opened in = open("BYTES", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk);
    int64_t start = -1;
    ASSERT_EQ(note_slot(in.stream, &start), zef::kOk);
    std::string first_run = std::string(60, 'A') + std::string(40, 'B');
    EXPECT_EQ(read(in.stream, 100).data, first_run);  // 20 of the B block are carried

    ASSERT_EQ(point_slot(in.stream, start), zef::kOk);
    EXPECT_EQ(read(in.stream, 100).data, first_run);
    EXPECT_EQ(close(in.stream), zef::kOk);
    expect_clean();
}

TEST_F(Positions, NullStreamIsRefusedByEverySlot) {
    int64_t position = 0;
    EXPECT_EQ(close_slot(nullptr), zef::kNullHandle);
    EXPECT_EQ(flush_slot(nullptr), zef::kNullHandle);
    EXPECT_EQ(note_slot(nullptr, &position), zef::kNullHandle);
    EXPECT_EQ(point_slot(nullptr, position), zef::kNullHandle);

    ASSERT_EQ(assign_entry("F", "c.flush.log"), zef::kOk);
    Opened out = open("F", zef::kOpenOutput);
    ASSERT_EQ(out.status, zef::kOk);
    int64_t catalog_calls = host.calls(zef::routine::ylmwrit);
    EXPECT_EQ(flush_slot(out.stream), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::ylmwrit), catalog_calls);
    EXPECT_EQ(close(out.stream), zef::kOk);
    expect_clean();
}

}  // namespace
}  // namespace stream_test
