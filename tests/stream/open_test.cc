// Entry open: finding the fileref, the checks and normalising of the name
// parts, what the host is handed, and the count of open streams.
#include <tuple>

#include "stream/stream_fixture.h"

namespace stream_test {
namespace {

class EntryOpen : public StreamTest {};

TEST_F(EntryOpen, FillsTheBlockAndTheHostRequestsFromTheFileref) {
    ASSERT_EQ(assign("OUT", "testlib.Sales.Report.html", "desc='quarterly'"), zef::kOk);
    watch_catalog_opens();
    Opened out = open("out", zef::kOpenOutput);
    ASSERT_EQ(out.status, zef::kOk) << insert();
    zef::StreamBlock *s = out.stream;

    // The name at the head of the block, which the host's option release
    // receives at the close.
    EXPECT_EQ(field(s->fileref, 8), "OUT     ");
    EXPECT_EQ(record("OUT")->open_count, 1);
    EXPECT_EQ(full_name(s), "TESTLIB.SALES.REPORT.HTML");

    const zef::LibraryRequest &library = last_catalog_open.request;
    EXPECT_EQ(field(library.libref, 8), "TESTLIB ");
    EXPECT_EQ(field(library.catalog_name, library.catalog_name_length), "SALES");
    EXPECT_EQ(library.library_mode, zef::kLibraryWrite);
    EXPECT_NE(last_catalog_open.handle, nullptr);

    const zef::MemberRequest &member = last_entry_open.request;
    EXPECT_EQ(member.catalog_handle, last_catalog_open.handle);
    EXPECT_EQ(field(member.entry_name, member.entry_name_length), "REPORT");
    EXPECT_EQ(field(member.entry_type, 8), "HTML    ");
    EXPECT_EQ(member.flag_word, 0x4u);
    EXPECT_EQ(member.value_512, 512);
    EXPECT_EQ(member.member_mode, zef::kMemberOutput);
    EXPECT_EQ(field(member.description, member.description_length), "quarterly");
    EXPECT_NE(last_entry_open.handle, nullptr);

    EXPECT_EQ(close(s), zef::kOk);
    EXPECT_EQ(host.catalogs().list_entries(kLibrary, "SALES").at(0).row.description, "quarterly");
    expect_clean();
}

TEST_F(EntryOpen, LibraryModeFollowsTheOpenAndIsKeptInTheFilerefRecord) {
    ASSERT_EQ(assign_entry("F", "cat.entry.source"), zef::kOk);
    watch_catalog_opens();
    Opened out = open("F", zef::kOpenOutput);
    ASSERT_EQ(out.status, zef::kOk);
    EXPECT_EQ(last_catalog_open.request.library_mode, zef::kLibraryWrite);
    EXPECT_EQ(record("F")->library_request.library_mode, zef::kLibraryWrite);
    EXPECT_EQ(close(out.stream), zef::kOk);
    Opened in = open("F", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk) << insert();
    EXPECT_EQ(last_catalog_open.request.library_mode, zef::kLibraryInput);
    EXPECT_EQ(record("F")->library_request.library_mode, zef::kLibraryInput);
    EXPECT_EQ(close(in.stream), zef::kOk);
    expect_clean();
}

TEST_F(EntryOpen, ThreePartNameOpensCatamsAndZefOpensSource) {
    ASSERT_EQ(assign_entry("THREE", "cat.notes"), zef::kOk);
    ASSERT_EQ(assign_entry("ZEF", "cat.prog.zef"), zef::kOk);
    ASSERT_EQ(assign_entry("ZEFLOWER", "cat.prog2.Zef"), zef::kOk);
    watch_catalog_opens();
    for (auto [name, type, full] :
         {std::tuple{"THREE", "CATAMS  ", "TESTLIB.CAT.NOTES.CATAMS"},
          std::tuple{"ZEF", "SOURCE  ", "TESTLIB.CAT.PROG.SOURCE"},
          std::tuple{"ZEFLOWER", "SOURCE  ", "TESTLIB.CAT.PROG2.SOURCE"}}) {
        Opened out = open(name, zef::kOpenOutput);
        ASSERT_EQ(out.status, zef::kOk) << name << insert();
        EXPECT_EQ(field(last_entry_open.request.entry_type, 8), type) << name;
        EXPECT_EQ(full_name(out.stream), full);
        EXPECT_EQ(close(out.stream), zef::kOk);
    }
    std::vector<std::string> types;
    for (const auto &info : host.catalogs().list_entries(kLibrary, "CAT")) types.push_back(info.key.type);
    EXPECT_EQ(types, (std::vector<std::string>{"CATAMS", "SOURCE", "SOURCE"}));
    expect_clean();
}

TEST_F(EntryOpen, NamesThatCannotNameAnEntryAreRefusedWithTheirMessage) {
    struct Case {
        const char *physical;
        int32_t message;
    };
    for (Case c : {Case{"testlib.cat", 4}, Case{"longerlib.cat.entry.source", 5},
                   Case{"testlib.cat.entry.longtypes", 5}, Case{"testlib..entry.source", 5}}) {
        ASSERT_EQ(assign("BAD", c.physical), zef::kOk) << c.physical;
        int64_t obtains = host.storage_pool().obtains();
        host.clear_inserts();
        Opened bad = open("BAD", zef::kOpenOutput);
        EXPECT_EQ(bad.status, zef::kNameUnsuitable) << c.physical;
        EXPECT_EQ(bad.stream, nullptr);
        EXPECT_EQ(insert(), message(c.message)) << c.physical;
        EXPECT_EQ(host.calls(zef::routine::ylopen), 0) << c.physical;
        EXPECT_EQ(host.storage_pool().obtains(), obtains + 1) << "only the block";
        EXPECT_EQ(record("BAD")->open_count, 0);
        ASSERT_EQ(deassign("BAD"), zef::kOk);
    }
    expect_clean();
}

TEST_F(EntryOpen, UnassignedFilerefGivesItsUpperCasedNameAfterOneRetry) {
    // The host knows the name through a control block whose list lacks it.
    host.know_fileref("NOSUCH", control_block());
    Opened missing = open("nosuch", zef::kOpenInput);
    EXPECT_EQ(missing.status, zef::kFilerefNotAssigned);
    EXPECT_EQ(missing.stream, nullptr);
    EXPECT_EQ(insert(), "NOSUCH  ");
    EXPECT_EQ(host.calls(zef::routine::yxal2am), 1);

    // A name the host cannot resolve either: its status comes back as it is.
    host.methods().refuse_unknown_filerefs(true);
    Opened unknown = open("OTHER", zef::kOpenInput);
    EXPECT_LT(unknown.status, 0);
    EXPECT_NE(unknown.status, zef::kFilerefNotAssigned);
    EXPECT_EQ(host.calls(zef::routine::yxal2am), 2);
    expect_clean();
}

TEST_F(EntryOpen, NameAskedInLowerCaseFindsTheFilerefAssignedInUpperCase) {
    ASSERT_EQ(assign_entry("MIXED", "cat.entry.log"), zef::kOk);
    Opened found = open("mixed", zef::kOpenOutput);
    ASSERT_EQ(found.status, zef::kOk);
    EXPECT_EQ(field(found.stream->fileref, 8), "MIXED   ");
    EXPECT_EQ(close(found.stream), zef::kOk);
    expect_clean();
}

TEST_F(EntryOpen, EachOpenIsCountedOnTheFilerefUntilItCloses) {
    ASSERT_EQ(assign_entry("TWICE", "cat.entry.gif"), zef::kOk);
    Opened out = open("TWICE", zef::kOpenOutput);
    ASSERT_EQ(out.status, zef::kOk);
    ASSERT_EQ(write(out.stream, "GIF89a"), zef::kOk);
    ASSERT_EQ(close(out.stream), zef::kOk);

    Opened first = open("TWICE", zef::kOpenInput);
    Opened second = open("TWICE", zef::kOpenInput);
    ASSERT_EQ(first.status, zef::kOk);
    ASSERT_EQ(second.status, zef::kOk);
    EXPECT_NE(first.stream, second.stream);
    EXPECT_EQ(record("TWICE")->open_count, 2);
    EXPECT_EQ(close(first.stream), zef::kOk);
    EXPECT_EQ(record("TWICE")->open_count, 1);
    EXPECT_EQ(read(second.stream).data, "GIF89a");
    EXPECT_EQ(close(second.stream), zef::kOk);
    EXPECT_EQ(record("TWICE")->open_count, 0);
    expect_clean();
}

}  // namespace
}  // namespace stream_test
