// Directories on answers a host may give that the stand-in gives only when a
// test plans them: a message length out of range, a task without record or
// access record, directory entries claiming impossible name lengths.
#include "directory/catalog_fixture.h"

namespace catalog_test {
namespace {

// yldread answering the entry's name length as `odd_name_length` instead.
int16_t odd_name_length = 0;
zef::proto::yldread real_yldread = nullptr;

int32_t yldread_with_odd_length(void *scan, void *entry_area, int32_t zero) {
    int32_t status = real_yldread(scan, entry_area, zero);
    if (status == 0) static_cast<zef::DirectoryEntryArea *>(entry_area)->name_length = odd_name_length;
    return status;
}

class OddHostAnswers : public CatalogTest {};

TEST_F(OddHostAnswers, RefusalMessageLengthsAreKeptInsideTheBuffer) {
    ASSERT_EQ(assign("ENTRY", "work.cat.entry"), zef::kOk);
    const std::string text = message_text(2);
    zef::DirectoryHandle *handle = nullptr;

    host.answer_oddly(zef::routine::ypmstr, -4);
    EXPECT_EQ(dir_open_slot(&handle, Name8("ENTRY"), nullptr), zef::kNameUnsuitable);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{""});

    host.answer_oddly(zef::routine::ypmstr, 100000);
    EXPECT_EQ(dir_open_slot(&handle, Name8("ENTRY"), nullptr), zef::kNameUnsuitable);
    ASSERT_EQ(host.last_inserts().size(), 1u);
    EXPECT_EQ(host.last_inserts()[0].size(), 256u);
    EXPECT_EQ(host.last_inserts()[0].substr(0, text.size()), text);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(deassign("ENTRY"), zef::kOk);
    expect_pools_back();
}

// A task the host cannot describe is taken as allowed to write, even where
// the real task is input only.
TEST_F(OddHostAnswers, TaskWithoutRecordOrAccessMayWrite) {
    make_catalog("C");
    ASSERT_EQ(assign("C", "work.c"), zef::kOk);
    host.set_task_access(1);
    watch_catalog_opens();
    for (int64_t odd : {0, 1}) {
        SCOPED_TRACE(odd);
        host.answer_oddly(zef::routine::ytraknp, odd);
        zef::DirectoryHandle *handle = open_directory("C");
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(last_catalog_open.request.library_mode, zef::kLibraryWrite);
        EXPECT_EQ(dir_close_slot(handle), zef::kOk);
    }
    EXPECT_EQ(deassign("C"), zef::kOk);
    expect_pools_back();
}

// Whatever length an entry claims, a member name is 0 to 32 bytes of the area.
TEST_F(OddHostAnswers, ClaimedNameLengthsAreBoundedByTheArea) {
    put_entry("LIB", std::string(32, 'N'), "log", {{"x"}});
    ASSERT_EQ(assign("LIB", "work.lib"), zef::kOk);
    real_yldread = reinterpret_cast<zef::proto::yldread>(host.routine(zef::routine::yldread));
    host.set_routine(zef::routine::yldread, reinterpret_cast<void *>(&yldread_with_odd_length));
    zef::DirectoryHandle *handle = open_directory("LIB");
    ASSERT_NE(handle, nullptr);
    for (auto [claimed, listed] : {std::pair<int16_t, std::string>{-5, ".LOG"},
                                   {99, std::string(32, 'N') + ".LOG"}}) {
        SCOPED_TRACE(claimed);
        odd_name_length = claimed;
        EXPECT_EQ(list_members(handle), std::vector<std::string>{listed});
    }
    EXPECT_EQ(dir_close_slot(handle), zef::kOk);
    EXPECT_EQ(deassign("LIB"), zef::kOk);
    expect_pools_back();
    expect_nothing_open();
}

}  // namespace
}  // namespace catalog_test
