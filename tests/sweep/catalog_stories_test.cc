// Directories, members, existence and deletion under the sweep.
#include <filesystem>

#include "sweep/sweep_driver.h"

namespace sweep_test {
namespace {

TEST_F(SweepTest, DirectoryAndMembersInEveryMode) {
    sweep({[this] {
               std::filesystem::remove(host.catalogs().catalog_file("WORK", "LIB"));
               put_entry("LIB", "prog", "source", {{std::string(" text"), 145}});
               put_entry("LIB", "page", "html", {{"<p>"}});
           },
           [this]() -> int32_t {
               STEP(assign_with("LIB", "work.lib", "lrecl=80"));
               zef::DirectoryHandle *dir = nullptr;
               STEP(open_dir("LIB", &dir));
               STEP(dir_items_start_slot(dir));
               STEP(dir_items_end_slot(dir));
               std::vector<std::string> names;
               void *cell = nullptr;
               for (;;) {
                   char name[40];
                   int32_t length = 0;
                   char type[8];
                   int32_t status = dir_next_slot(&cell, dir, name, &length, type);
                   if (status == zef::kEndOfList) break;
                   STEP(status);
                   names.emplace_back(name, static_cast<size_t>(length));
               }
               if (names.size() != 2) return kWrongResult;
               STEP(member_exists_slot(dir, "page", 4, Name8("HTML")));

               // Owned blocks on the member opens, which take them whatever
               // the outcome; one the caller keeps on the append.
               zef::StreamBlock *out = nullptr;
               STEP(open_member_of(dir, "new.html", "", {zef::kOpenOutput, 0, 0, "lrecl=40"}, &out));
               STEP(write_all(out, {"one", "two"}));
               STEP(close_member(out));
               zef::StreamBlock *more = nullptr;
               STEP(open_member_of(dir, "new", "HTML", {zef::kOpenAppend, 0, 0, "lrecl=40", 0x10}, &more));
               zef::RoutineTable *table = nullptr;
               STEP(routine_table_slot(more, &table));
               STEP(table->write(more, "three", 5, ' '));
               STEP(close_member(more));
               zef::StreamBlock *in = nullptr;
               STEP(open_member_of(dir, "new.html", "", {zef::kOpenInput, 0, 0, "recfm=v"}, &in));
               std::vector<std::string> texts;
               STEP(read_all(in, &texts));
               zef::StreamBlock *second = nullptr;
               STEP(open_member_of(dir, "prog", "SOURCE", {zef::kOpenInput}, &second));
               zef::FileInformationRequest request{};
               STEP(info_slot(second, nullptr, nullptr, 0x3F, nullptr, &request));
               STEP(close_member(second));
               STEP(close_member(in));
               STEP(close_dir(dir));
               return trimmed(texts) == std::vector<std::string>{"one", "two", "three"} ? zef::kOk
                                                                                       : kWrongResult;
           }});
}

TEST_F(SweepTest, ExistenceAndDeletion) {
    sweep({[this] { put_entry("LIB", "gone", "log", {{std::string(" x"), 145}}); },
           [this]() -> int32_t {
               STEP(assign_with("GONE", "work.lib.gone.log"));
               STEP(assign_with("CAT", "work.lib"));
               STEP(exists_slot(Name8("GONE"), nullptr));
               STEP(exists_slot(Name8("CAT"), nullptr));
               STEP(delete_slot(Name8("GONE"), nullptr));
               int32_t after = exists_slot(Name8("GONE"), nullptr);
               if (after != zef::kEntryMissing) return is_failure(after) ? after : kWrongResult;
               return zef::kOk;
           }});
}

}  // namespace
}  // namespace sweep_test
