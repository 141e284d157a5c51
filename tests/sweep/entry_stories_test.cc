// Entry streams under the sweep: every record format written and read back,
// append and update, note and point, information items and routine tables.
#include "sweep/sweep_driver.h"

namespace sweep_test {
namespace {

const std::vector<std::string> kLines = {"alpha", "beta", "gamma"};

TEST_F(SweepTest, EveryRecordFormatWrittenAndReadBack) {
    sweep({[this] { make_catalog("SWEEP"); },
           [this]() -> int32_t {
               for (std::string_view format : {"recfm=f lrecl=20", "recfm=v", "recfm=p", "lrecl=40"}) {
                   STEP(assign_with("FMT", "work.sweep.fmt.html", format));
                   zef::StreamBlock *out = nullptr;
                   STEP(open_entry("FMT", {zef::kOpenOutput}, &out));
                   STEP(write_all(out, kLines));
                   STEP(close_entry(out));
                   zef::StreamBlock *in = nullptr;
                   STEP(open_entry("FMT", {zef::kOpenInput}, &in));
                   std::vector<std::string> texts;
                   STEP(read_all(in, &texts));
                   STEP(close_entry(in));
                   if (trimmed(texts) != kLines) return kWrongResult;
                   STEP(deassign("FMT"));
               }
               return zef::kOk;
           }});
}

TEST_F(SweepTest, ByteStreamWithOptionsOfTheOpen) {
    sweep({[this] { put_entry("SWEEP", "bytes", "csv", {{std::string(60, 'A')}, {std::string(60, 'B')}}); },
           [this]() -> int32_t {
               STEP(assign_with("BYTES", "work.sweep.bytes.csv"));
               zef::StreamBlock *in = nullptr;
               // A block the caller keeps (0x10) and one the stream owns.
               STEP(open_entry("BYTES", {zef::kOpenInput, 0, 0, "recfm=s", 0x10}, &in));
               std::vector<std::string> runs;
               STEP(read_all(in, &runs, 100));
               STEP(close_entry(in));
               if (runs.size() != 2 || runs[0] != std::string(60, 'A') + std::string(40, 'B'))
                   return kWrongResult;
               STEP(open_entry("BYTES", {zef::kOpenInput, 0, 0, "recfm=s lrecl=100"}, &in));
               runs.clear();
               STEP(read_all(in, &runs, 50));
               STEP(close_entry(in));
               return runs.size() == 3 ? zef::kOk : kWrongResult;
           }});
}

TEST_F(SweepTest, AppendAndUpdate) {
    sweep({[this] { put_entry("SWEEP", "log", "log", {{std::string(" first"), 145}}); },
           [this]() -> int32_t {
               STEP(assign_with("LOG", "work.sweep.log.log", "mod"));
               zef::StreamBlock *out = nullptr;
               STEP(open_entry("LOG", {zef::kOpenOutput}, &out));
               STEP(write_all(out, {"second"}));
               STEP(close_entry(out));
               zef::StreamBlock *update = nullptr;
               STEP(open_entry("LOG", {zef::kOpenUpdate}, &update));
               STEP(write_all(update, {"third"}));
               STEP(close_entry(update));
               zef::StreamBlock *in = nullptr;
               STEP(open_entry("LOG", {zef::kOpenInput}, &in));
               std::vector<std::string> texts;
               STEP(read_all(in, &texts));
               STEP(close_entry(in));
               return texts.size() == 3 && trimmed(texts[2]) == "third" ? zef::kOk : kWrongResult;
           }});
}

TEST_F(SweepTest, NoteAndPoint) {
    sweep({[this] { put_entry("SWEEP", "recs", "html", {{"r1"}, {"r2"}, {"r3"}}); },
           [this]() -> int32_t {
               STEP(assign_with("RECS", "work.sweep.recs.html", "lrecl=80"));
               zef::StreamBlock *in = nullptr;
               STEP(open_entry("RECS", {zef::kOpenInput}, &in));
               Read first = read(in);
               STEP(first.status);
               int64_t noted = -1;
               STEP(note_slot(in, &noted));
               Read second = read(in);
               STEP(second.status);
               STEP(point_slot(in, noted));
               Read again = read(in);
               STEP(again.status);
               STEP(close_entry(in));
               return again.data == second.data && second.data == "r2" ? zef::kOk : kWrongResult;
           }});
}

TEST_F(SweepTest, RoutineTablesAndInformation) {
    sweep({[this] { put_entry("SWEEP", "prog", "source", {{std::string(" one"), 145}}); },
           [this]() -> int32_t {
               STEP(assign_with("PROG", "work.sweep.prog.source"));
               zef::StreamBlock *out = nullptr;
               STEP(open_entry("PROG", {zef::kOpenOutput}, &out));
               zef::RoutineTable *first = nullptr;
               zef::RoutineTable *second = nullptr;
               STEP(routine_table_slot(out, &first));
               STEP(routine_table_slot(out, &second));
               // The host may go on calling through the first table.
               STEP(first->write(out, "line", 4, 1));
               STEP(second->write(out, "more", 4, 1));
               zef::InformationRecord *record = nullptr;
               int32_t started = info_start_slot(out, &record);
               if (is_failure(started)) return started;
               zef::FileInformationRequest request{};
               STEP(info_slot(out, nullptr, nullptr, 0x3F, nullptr, &request));
               STEP(info_slot(nullptr, Name8("PROG"), nullptr, 0x3F, nullptr, &request));
               STEP(close_entry(out));  // ends the information record too

               zef::StreamBlock *in = nullptr;
               STEP(open_entry("PROG", {zef::kOpenInput}, &in));
               zef::RoutineTable *table = nullptr;
               STEP(routine_table_slot(in, &table));
               std::vector<std::string> texts;
               for (;;) {
                   char *data = nullptr;
                   int64_t length = 0;
                   int32_t status = table->read(in, &data, &length, nullptr);
                   if (status == zef::kEndOfFile) break;
                   STEP(status);
                   texts.emplace_back(data, static_cast<size_t>(length));
               }
               STEP(close_entry(in));
               return trimmed(texts) == std::vector<std::string>{"line", "more"} ? zef::kOk : kWrongResult;
           }});
}

}  // namespace
}  // namespace sweep_test
