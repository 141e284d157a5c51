// The existence test and deletion of a fileref's target.
#include "directory/catalog_fixture.h"

namespace catalog_test {
namespace {

class ExistsTest : public CatalogTest {
protected:
    void SetUp() override {
        put_entry("LIB", "prog", "source", {{"x"}});
        put_entry("LIB", "notes", "catams", {{"x"}});
        put_entry("LIB", "page", "html", {{"x"}});
        start = mark();
    }
    int32_t exists(std::string_view fileref) { return exists_slot(Name8(fileref), nullptr); }
    int32_t erase(std::string_view fileref) { return delete_slot(Name8(fileref), nullptr); }
};

TEST_F(ExistsTest, TargetsOfTwoThreeAndFourPartNames) {
    struct Case {
        std::string_view physical;
        int32_t status;
        int64_t finds;  // ylmfind calls
    };
    const Case cases[] = {
        {"work.lib", zef::kOk, 0},
        {"Work.Lib", zef::kOk, 0},  // a catalog is passed as typed
        {"work.lib.notes", zef::kOk, 1},
        {"work.lib.prog.zef", zef::kOk, 1},
        {"WORK.LIB.Prog.Source", zef::kOk, 1},
        {"work.lib.page.html", zef::kOk, 1},
        {"work.lib.prog", zef::kEntryMissing, 1},  // PROG.CATAMS
        {"work.lib.page.gif", zef::kEntryMissing, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.physical);
        ASSERT_EQ(assign("T", c.physical), zef::kOk);
        int64_t finds = calls(zef::routine::ylmfind);
        int64_t closes = calls(zef::routine::ylclose);
        EXPECT_EQ(exists("t"), c.status);
        EXPECT_EQ(calls(zef::routine::ylmfind) - finds, c.finds);
        EXPECT_EQ(calls(zef::routine::ylclose) - closes, 1);
        EXPECT_EQ(host.catalogs().open_catalogs(), 0u);
    }
    EXPECT_EQ(deassign("T"), zef::kOk);
    expect_pools_back();
}

TEST_F(ExistsTest, MissingEntryCarriesTheTypeAsInsert) {
    ASSERT_EQ(assign("T", "work.lib.prog.zef"), zef::kOk);
    ASSERT_EQ(assign("U", "work.lib.gone"), zef::kOk);
    EXPECT_EQ(exists("T"), zef::kOk);
    EXPECT_EQ(exists("U"), zef::kEntryMissing);
    ASSERT_EQ(host.last_inserts().size(), 2u);
    EXPECT_EQ(host.last_inserts()[0], std::string("\x08\0\0\0", 4));
    EXPECT_EQ(host.last_inserts()[1], "CATAMS  ");

    ASSERT_EQ(erase("T"), zef::kOk);
    EXPECT_EQ(exists("T"), zef::kEntryMissing);
    EXPECT_EQ(host.last_inserts()[1], "SOURCE  ");
}

TEST_F(ExistsTest, MissingCatalogIsNotClosed) {
    ASSERT_EQ(assign("T", "work.nocat.prog"), zef::kOk);
    ASSERT_EQ(assign("C", "work.nocat"), zef::kOk);
    EXPECT_EQ(exists("T"), zef::kCatalogMissing);
    EXPECT_EQ(exists("C"), zef::kCatalogMissing);
    EXPECT_EQ(calls(zef::routine::ylclose), 0);
    // Input mode never makes the catalog.
    EXPECT_FALSE(std::filesystem::exists(work.path() / "nocat.zcat"));
}

TEST_F(ExistsTest, NamePartsThatFormNoTarget) {
    for (std::string_view physical : {"library99.lib.prog", "work.lib.prog.sourcesxy", "work"}) {
        SCOPED_TRACE(physical);
        ASSERT_EQ(assign("T", physical), zef::kOk);
        EXPECT_EQ(exists("T"), zef::kNameUnsuitable);
        EXPECT_EQ(inserts(), std::vector<std::string>{message(5)});
        EXPECT_EQ(erase("T"), zef::kNameUnsuitable);
    }
    EXPECT_EQ(calls(zef::routine::ylopen), 0);
}

TEST_F(ExistsTest, LookupFollowsTheOneRule) {
    ASSERT_EQ(assign("T", "work.lib.page.html"), zef::kOk);
    EXPECT_EQ(exists("t"), zef::kOk);
    EXPECT_EQ(calls(zef::routine::yxal2am), 0);

    host.know_fileref("NOSUCH  ", block());
    EXPECT_EQ(exists("nosuch"), zef::kFilerefNotAssigned);
    EXPECT_EQ(calls(zef::routine::yxal2am), 1);
    EXPECT_EQ(inserts(), std::vector<std::string>{"NOSUCH  "});
    EXPECT_EQ(erase("nosuch"), zef::kFilerefNotAssigned);
    EXPECT_EQ(calls(zef::routine::yxal2am), 2);

    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(exists("T"), zefhost::kUnknownMethod);
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(erase("T"), zefhost::kUnknownMethod);
    EXPECT_EQ(calls(zef::routine::ylopen), 1);
}

TEST_F(ExistsTest, FoundThroughTheSecondBlock) {
    zef::AccessMethodBlock *other = nullptr;
    int32_t status = -1;
    module.construct(&other, &status);
    ASSERT_EQ(status, 0);
    constexpr char kOtherMethod[8] = {'Z', 'E', 'F', 'O', 'T', 'H', 'E', 'R'};
    host.register_method_block(kOtherMethod, other);
    Name8 name("ELSEWHER");
    ASSERT_EQ(assign_slot(name, nullptr, kOtherMethod, "work.lib.page.html", 18, nullptr), 0);
    host.know_fileref("ELSEWHER", other);

    EXPECT_EQ(exists("elsewher"), zef::kOk);
    EXPECT_EQ(calls(zef::routine::yxal2am), 1);
    EXPECT_EQ(erase("elsewher"), zef::kOk);
    EXPECT_EQ(exists("elsewher"), zef::kEntryMissing);

    zef::FilerefRecord *r = other->fileref_list;
    other->fileref_list = nullptr;
    host.storage_pool().release(r);
}

TEST_F(ExistsTest, HostFailuresAfterTheOpenCloseTheCatalog) {
    ASSERT_EQ(assign("T", "work.lib.prog.source"), zef::kOk);
    host.fail_call(zef::routine::ylmfind, zef::kCatalogIoFailure);
    EXPECT_EQ(exists("T"), zef::kCatalogIoFailure);
    EXPECT_EQ(host.catalogs().open_catalogs(), 0u);

    host.fail_call(zef::routine::ylclose, zef::kCatalogIoFailure);
    EXPECT_EQ(exists("T"), zef::kCatalogIoFailure);
    host.fail_call(zef::routine::ylopen, 0x1234);  // any nonzero status ends the test
    EXPECT_EQ(exists("T"), 0x1234);
    EXPECT_EQ(calls(zef::routine::ylclose), 2);
    EXPECT_EQ(deassign("T"), zef::kOk);
    expect_pools_back();
}

TEST_F(ExistsTest, DeleteRemovesTheEntryAndKeepsTheLibraryMode) {
    ASSERT_EQ(assign("T", "work.lib.prog.zef"), zef::kOk);
    zef::FilerefRecord *r = record("T");
    r->library_request.library_mode = zef::kLibraryInput;  // as the latest open left it

    EXPECT_EQ(erase("t"), zef::kOk);
    EXPECT_EQ(entry_names("LIB"), (std::vector<std::string>{"NOTES.CATAMS", "PAGE.HTML"}));
    EXPECT_EQ(r->library_request.library_mode, zef::kLibraryInput);
    EXPECT_EQ(field(r->library_request.libref, 8), "WORK    ");
    EXPECT_EQ(field(r->entry_request.entry_name, 4), "PROG");
    EXPECT_EQ(field(r->entry_request.entry_type, 8), "SOURCE  ");
    EXPECT_EQ(host.catalogs().open_catalogs(), 0u);

    // Gone now: the host's answer comes back, the catalog closed again.
    EXPECT_EQ(erase("T"), zef::kCatalogEntryMissing);
    EXPECT_EQ(host.catalogs().open_catalogs(), 0u);
    EXPECT_EQ(r->library_request.library_mode, zef::kLibraryInput);

    host.fail_call(zef::routine::ylopen, zef::kCatalogIoFailure);
    EXPECT_EQ(erase("T"), zef::kCatalogIoFailure);
    EXPECT_EQ(r->library_request.library_mode, zef::kLibraryInput);
    EXPECT_EQ(deassign("T"), zef::kOk);
    expect_pools_back();
}

TEST_F(ExistsTest, DeleteRefusesACatalogAndReportsTheClose) {
    ASSERT_EQ(assign("C", "work.lib"), zef::kOk);
    EXPECT_EQ(erase("C"), zef::kNameUnsuitable);
    EXPECT_EQ(calls(zef::routine::ylopen), 0);
    EXPECT_EQ(entry_names("LIB").size(), 3u);

    ASSERT_EQ(assign("P", "work.lib.page.html"), zef::kOk);
    host.fail_call(zef::routine::ylmdel, zef::kCatalogEntryInUse);
    EXPECT_EQ(erase("P"), zef::kCatalogEntryInUse);
    EXPECT_EQ(entry_names("LIB").size(), 3u);
    EXPECT_EQ(host.catalogs().open_catalogs(), 0u);

    // The entry is gone, but the failed close is what the caller hears.
    ASSERT_EQ(assign("T", "work.lib.notes"), zef::kOk);
    host.fail_call(zef::routine::ylclose, zef::kCatalogIoFailure);
    EXPECT_EQ(erase("T"), zef::kCatalogIoFailure);
    EXPECT_EQ(entry_names("LIB"), (std::vector<std::string>{"PAGE.HTML", "PROG.SOURCE"}));
}

}  // namespace
}  // namespace catalog_test
