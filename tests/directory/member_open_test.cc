// Member streams: the entry a member name and kind open, records read,
// written and appended through a directory, and every failure of the open
// and the close leaving nothing behind.
#include "directory/catalog_fixture.h"

namespace catalog_test {
namespace {

// The entry request the type defaults last described, seen on the host's side.
zef::EntryRequest described{};
zef::proto::ylminfo real_ylminfo = nullptr;

int32_t watching_ylminfo(void *request, int32_t zero, int32_t two, int64_t *size) {
    described = *static_cast<zef::EntryRequest *>(request);
    return real_ylminfo(request, zero, two, size);
}

class MemberOpenTest : public CatalogTest {
protected:
    zef::DirectoryHandle *dir = nullptr;
    void *dir_catalog = nullptr;  // the catalog the directory opened

    void SetUp() override {
        put_entry("LIB", "prog", "source", {{"program text"}});
        put_entry("LIB", "report", "output", {{"listing"}});
        put_entry("LIB", "report", "catams", {{"page"}});
        put_entry("LIB", "report", "log", {{"log"}});
        put_entry("LIB", "a", "b.c", {{"abc"}});
        put_entry("LIB", "x", "", {{"untyped"}});
        put_entry("LIB", "data", "longexte", {{"data"}});
        ASSERT_EQ(assign("LIB", "work.lib"), zef::kOk);
        watch_catalog_opens();
        dir = open_directory("LIB");
        ASSERT_NE(dir, nullptr);
        dir_catalog = last_catalog_open.handle;
        real_ylminfo = reinterpret_cast<zef::proto::ylminfo>(host.routine(zef::routine::ylminfo));
        host.set_routine(zef::routine::ylminfo, reinterpret_cast<void *>(&watching_ylminfo));
        described = {};
    }
    void close_directory() {
        EXPECT_EQ(dir_close_slot(dir), zef::kOk);
        dir = nullptr;
    }
    int32_t open_count() { return record("LIB")->open_count; }

    // Nothing of a failed open is left: no stream, no count, no storage
    // beyond the directory's, no entry open in the host.
    void expect_nothing_left(const OpenedMember &opened, PoolMark before) {
        EXPECT_EQ(opened.stream, nullptr);
        EXPECT_EQ(open_count(), 1);
        PoolMark now = mark();
        EXPECT_EQ(now.storage, before.storage);
        EXPECT_EQ(now.owner, before.owner);
        EXPECT_EQ(host.storage_pool().bad_releases(), 0);
        EXPECT_EQ(host.owner_pool().bad_releases(), 0);
        EXPECT_EQ(host.catalogs().open_entries(), 0u);
        EXPECT_EQ(host.catalogs().open_catalogs(), 1u);  // the directory's
    }
};

TEST_F(MemberOpenTest, NameAndKindChooseTheEntry) {
    struct Case {
        std::string member;
        std::string kind;
        std::string name;
        std::string type;
        std::string first_record;  // empty: the entry does not exist
    };
    const Case cases[] = {
        {"prog.zef", "HTML", "PROG", "SOURCE  ", "program text"},
        {"prog.ZEF", "", "PROG", "SOURCE  ", "program text"},
        {"prog", "ZEF", "PROG", "SOURCE  ", "program text"},
        {"Prog", "SOURCES", "PROG", "SOURCE  ", "program text"},
        {"prog", "zef", "PROG", "CATAMS  ", ""},  // kinds are compared as given
        {"report", "LISTING", "REPORT", "OUTPUT  ", "listing"},
        {"report", "PAGE", "REPORT", "CATAMS  ", "page"},
        {"report", "log", "REPORT", "CATAMS  ", "page"},
        {"report", "LOGFILE", "REPORT", "LOG     ", "log"},
        {"a.b.c", "LOG", "A", "B.C     ", "abc"},
        {"x.", "LOG", "X", "        ", "untyped"},
        {".html", "LOG", "", "HTML    ", ""},
        {"data.longextension", "LOG", "DATA", "LONGEXTE", "data"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.member + " / " + c.kind);
        OpenedMember in = open_member(dir, c.member, c.kind, zef::kOpenInput);
        EXPECT_EQ(described.entry_name_length, static_cast<int16_t>(c.name.size()));
        EXPECT_EQ(field(described.entry_name, c.name.size()), c.name);
        EXPECT_EQ(field(described.entry_type, 8), c.type);
        EXPECT_EQ(described.catalog_handle, dir_catalog);
        if (c.first_record.empty()) {
            EXPECT_EQ(in.status, zef::kCatalogEntryMissing);
            EXPECT_EQ(in.stream, nullptr);
            continue;
        }
        ASSERT_EQ(in.status, zef::kOk);
        EXPECT_EQ(field(last_entry_open.request.entry_type, 8), c.type);
        EXPECT_EQ(read(in.stream).data, c.first_record);
        EXPECT_EQ(member_close_slot(in.stream), zef::kOk);
    }
    EXPECT_EQ(open_count(), 1);
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, KindKeysArePrefixesTriedInOrder) {
    const std::pair<std::string, std::string> kinds[] = {
        {"QAV10", "QAV10"},  {"QAV100", "QAV10"}, {"QAV1", "QAV1"},       {"QAV11", "QAV1"},
        {"QAV9", "QAV9"},    {"QAVEVENT", "QAVEVENT"}, {"QAVDIAG", "QAVDIAG"}, {"JSON", "JS"},
        {"PSD", "PS"},       {"LOGBOOK", "LOG"},  {"LISTINGS", "OUTPUT"}, {"JAR", "JAR"},
        {"QAV", "CATAMS"},   {"", "CATAMS"},      {"Html", "CATAMS"},
    };
    for (const auto &[kind, type] : kinds) {
        SCOPED_TRACE(kind);
        OpenedMember in = open_member(dir, "nothing", kind, zef::kOpenInput);
        EXPECT_EQ(in.status, zef::kCatalogEntryMissing);
        EXPECT_EQ(field(described.entry_type, 8), Name8(type).str());
    }
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, WrittenReadAndAppendedThroughTheDirectory) {
    EXPECT_EQ(open_count(), 1);
    OpenedMember out = open_member(dir, "notes.log", "SOURCE", zef::kOpenOutput);
    ASSERT_EQ(out.status, zef::kOk);
    EXPECT_EQ(open_count(), 2);
    EXPECT_EQ(last_entry_open.request.catalog_handle, dir_catalog);  // the directory's catalog
    EXPECT_EQ(full_name(out.stream), "work.lib.NOTES.LOG");
    EXPECT_EQ(out.request.lrecl, zef::stream_lrecl(out.stream));
    for (std::string_view line : {"one", "two", "three"}) EXPECT_EQ(write(out.stream, line), 0);

    OpenedMember in = open_member(dir, "prog", "ZEF", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk);
    EXPECT_EQ(open_count(), 3);
    EXPECT_EQ(read(in.stream).data, "program text");
    EXPECT_EQ(read(in.stream).status, zef::kEndOfFile);
    EXPECT_EQ(member_close_slot(in.stream), zef::kOk);
    EXPECT_EQ(member_close_slot(out.stream), zef::kOk);
    EXPECT_EQ(open_count(), 1);
    EXPECT_EQ(entry_texts("LIB", "NOTES", "LOG"), (std::vector<std::string>{"one", "two", "three"}));

    OpenedMember more = open_member(dir, "notes", "LOG", zef::kOpenAppend);
    ASSERT_EQ(more.status, zef::kOk);
    EXPECT_EQ(calls(zef::routine::ylmpoin), 1);
    EXPECT_EQ(write(more.stream, "four"), 0);
    EXPECT_EQ(member_close_slot(more.stream), zef::kOk);
    EXPECT_EQ(entry_texts("LIB", "NOTES", "LOG"),
              (std::vector<std::string>{"one", "two", "three", "four"}));

    // The member close leaves the directory's catalog open.
    EXPECT_EQ(calls(zef::routine::ylclose), 0);
    EXPECT_EQ(list_members(dir).size(), 8u);
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, StorageRefusedAtEachRequest) {
    PoolMark before = mark();
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        host.storage_pool().refuse_nth(n);
        OpenSpec how;
        how.mode = zef::kOpenInput;
        how.options = "recfm=s";  // block, record buffer, stream buffer
        OpenedMember in = open_member(dir, "prog.source", "", how);
        EXPECT_EQ(in.status, zef::kNoStorage);
        EXPECT_EQ(host.storage_pool().refusals(), n);
        expect_nothing_left(in, before);
    }
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, HostFailuresAtEachStep) {
    PoolMark before = mark();
    struct Case {
        const char *what;
        zef::RoutineAddress at;
        int32_t status;
        uint32_t mode;
    };
    const Case cases[] = {
        {"describe", zef::routine::ylminfo, zef::kCatalogIoFailure, zef::kOpenInput},
        {"open", zef::routine::ylmopen, zef::kCatalogEntryInUse, zef::kOpenOutput},
        {"position", zef::routine::ylmpoin, zef::kCatalogIoFailure, zef::kOpenAppend},
    };
    // An owned option block is the open's whatever the outcome (the fixture
    // never releases it); one not owned is never released by the open.
    for (uint32_t flags : {0u, 0x10u}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (flags != 0 ? ", not owned" : ", owned"));
            host.fail_call(c.at, c.status);
            OpenSpec how;
            how.mode = c.mode;
            how.options = "lrecl=80";
            how.option_flags = flags;
            OpenedMember opened = open_member(dir, "prog.source", "", how);
            EXPECT_EQ(opened.status, c.status);
            expect_nothing_left(opened, before);
        }
    }
    EXPECT_EQ(entry_texts("LIB", "PROG", "SOURCE"), std::vector<std::string>{"program text"});

    // A type the entry type table does not hold cannot be written.
    OpenedMember odd = open_member(dir, "x.odd", "", {zef::kOpenOutput, 0, 0, "lrecl=80"});
    EXPECT_EQ(odd.status, zef::kNameUnsuitable);
    EXPECT_EQ(insert(), message(1));
    expect_nothing_left(odd, before);

    // The cleanup's lookup failing still leaves nothing behind.
    host.fail_call(zef::routine::ylmopen, zef::kCatalogEntryInUse);
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    int64_t lookups = calls(zef::routine::yxam2am);
    OpenedMember lost = open_member(dir, "prog.source", "", {zef::kOpenOutput, 0, 0, "lrecl=80"});
    EXPECT_EQ(lost.status, zef::kCatalogEntryInUse);
    EXPECT_EQ(calls(zef::routine::yxam2am), lookups + 2);  // the cleanup's and the release's
    expect_nothing_left(lost, before);
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, UnboundNbyteVariableReleasesTheOptions) {
    PoolMark before = mark();
    host.set_variable("COUNT", 5);
    zefhost::ParsedOptions parsed = parse("recfm=s nbyte=count");
    ASSERT_EQ(parsed.status, zef::kOk);
    host.remove_variable("COUNT");  // gone by the open
    zef::OpenRequest request{};
    request.open_mode = zef::kOpenInput;
    request.option_block = parsed.block.get();
    zef::StreamBlock *stream = nullptr;
    EXPECT_EQ(member_open_slot(&stream, dir, "prog.source", 11, Name8(""), &request),
              zef::kNbyteUnbound);
    ASSERT_FALSE(host.log().empty());
    EXPECT_EQ(host.log().back().rfind("566-73:", 0), 0u) << host.log().back();
    parsed.block.take();  // the open released it
    expect_nothing_left({zef::kNbyteUnbound, stream, request}, before);

    host.set_variable("COUNT", 5);
    OpenedMember in = open_member(dir, "prog.source", "", {zef::kOpenInput, 0, 0, "recfm=s nbyte=count"});
    ASSERT_EQ(in.status, zef::kOk);
    EXPECT_EQ(read(in.stream).data, "progr");
    EXPECT_EQ(member_close_slot(in.stream), zef::kOk);
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, NamesThatCannotBeAnEntryAndNullHandles) {
    PoolMark before = mark();
    int64_t obtains = host.storage_pool().obtains();
    const std::string too_long(33, 'N');
    for (const std::string &name : {too_long, too_long + ".log"}) {
        OpenedMember opened = open_member(dir, name, "LOG", {zef::kOpenOutput, 0, 0, "mod"});
        EXPECT_EQ(opened.status, zef::kNameUnsuitable);
        EXPECT_EQ(insert(), message(5));
        expect_nothing_left(opened, before);
    }
    EXPECT_EQ(host.storage_pool().obtains(), obtains);
    EXPECT_EQ(calls(zef::routine::ylminfo), 0);

    // 32 characters are a whole entry name.
    OpenedMember longest = open_member(dir, std::string(32, 'N') + ".log", "", zef::kOpenOutput);
    ASSERT_EQ(longest.status, zef::kOk);
    EXPECT_EQ(member_close_slot(longest.stream), zef::kOk);

    zef::StreamBlock *untouched = reinterpret_cast<zef::StreamBlock *>(0x1);
    zef::OpenRequest request{};
    EXPECT_EQ(member_open_slot(&untouched, nullptr, "x", 1, Name8("LOG"), &request), zef::kNullHandle);
    EXPECT_EQ(untouched, reinterpret_cast<zef::StreamBlock *>(0x1));
    EXPECT_EQ(member_close_slot(nullptr), zef::kNullHandle);
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, FailedCloseKeepsTheStreamWithoutBuffers) {
    OpenedMember in = open_member(dir, "prog.source", "", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk);
    host.fail_call(zef::routine::ylmclos, zef::kCatalogIoFailure);
    int64_t before = host.storage_pool().blocks_outstanding();
    EXPECT_EQ(member_close_slot(in.stream), zef::kCatalogIoFailure);
    EXPECT_LT(host.storage_pool().blocks_outstanding(), before);  // its buffers went
    EXPECT_EQ(open_count(), 2);
    EXPECT_EQ(member_close_slot(in.stream), zef::kOk);  // the host closes it this time
    EXPECT_EQ(open_count(), 1);
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, CloseEndsAnInformationListAndKeepsOptionsNotOwned) {
    OpenSpec how;
    how.mode = zef::kOpenInput;
    how.options = "lrecl=100";
    how.option_flags = zef::kNotOwned;
    zefhost::ParsedOptions parsed = parse(how.options, how.option_flags);
    zef::OpenRequest request{};
    request.open_mode = zef::kOpenInput;
    request.option_block = parsed.block.get();
    zef::StreamBlock *stream = nullptr;
    ASSERT_EQ(member_open_slot(&stream, dir, "prog.source", 11, Name8(""), &request), zef::kOk);
    EXPECT_EQ(request.lrecl, 99);  // follows the options' LRECL=100, as the stream took them

    zef::InformationRecord *items = nullptr;
    ASSERT_EQ(info_start_slot(stream, &items), zef::kOk);
    EXPECT_EQ(std::string(items->item_value, items->value_length), "work.lib.PROG.SOURCE");
    EXPECT_EQ(member_close_slot(stream), zef::kOk);
    EXPECT_EQ(calls(zef::routine::ylinfsr), 1);
    EXPECT_EQ(parsed.block.get()->lrecl, 100) << "still the caller's";
    parsed.block.reset();
    close_directory();
    expect_clean();
}

TEST_F(MemberOpenTest, DeassignedRecordGoesWithTheLastMember) {
    OpenedMember in = open_member(dir, "prog.source", "", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk);
    zef::FilerefRecord *r = record("LIB");
    EXPECT_EQ(deassign("LIB"), zef::kStillOpen);
    close_directory();
    EXPECT_EQ(r->open_count, 1);
    EXPECT_EQ(member_close_slot(in.stream), zef::kOk);  // and the record with it
    expect_clean();
}

}  // namespace
}  // namespace catalog_test
