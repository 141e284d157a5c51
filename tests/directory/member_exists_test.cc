// Member existence: the entry name and type a member name stands for, and
// the host's answer for them.
#include "directory/catalog_fixture.h"

namespace catalog_test {
namespace {

// The find request the module last passed to ylmfind, seen on the host's side.
zef::FindRequest searched{};
zef::proto::ylmfind real_ylmfind = nullptr;

int32_t watching_ylmfind(void *request) {
    searched = *static_cast<zef::FindRequest *>(request);
    return real_ylmfind(request);
}

class MemberExistsTest : public CatalogTest {
protected:
    zef::DirectoryHandle *handle = nullptr;
    void *dir_catalog = nullptr;  // the catalog the directory opened

    void SetUp() override {
        put_entry("LIB", "prog", "source", {{"x"}});
        put_entry("LIB", "report", "log", {{"x"}});
        put_entry("LIB", "x", "", {{"x"}});
        put_entry("LIB", std::string(32, 'L'), "html", {{"x"}});
        ASSERT_EQ(assign("LIB", "work.lib"), zef::kOk);
        watch_catalog_opens();
        handle = open_directory("LIB");
        ASSERT_NE(handle, nullptr);
        dir_catalog = last_catalog_open.handle;
        real_ylmfind = reinterpret_cast<zef::proto::ylmfind>(host.routine(zef::routine::ylmfind));
        host.set_routine(zef::routine::ylmfind, reinterpret_cast<void *>(&watching_ylmfind));
        searched = {};
    }
    void TearDown() override {
        EXPECT_EQ(dir_close_slot(handle), zef::kOk);
        EXPECT_EQ(deassign("LIB"), zef::kOk);
        expect_pools_back();
    }
    int32_t exists(std::string_view name, std::string_view type) {
        Name8 type8(type);
        return member_exists_slot(handle, name.data(), static_cast<int32_t>(name.size()), type8);
    }
};

TEST_F(MemberExistsTest, NameAndTypeAsSearched) {
    struct Case {
        std::string name;
        std::string_view type;
        int32_t status;
        std::string searched_name;
        std::string searched_type;
    };
    const std::string longest(32, 'L');
    const Case cases[] = {
        {"prog.zef", "HTML", zef::kOk, "PROG", "SOURCE  "},
        {"PROG.Source", "", zef::kOk, "PROG", "SOURCE  "},
        {"prog", "zef", zef::kOk, "PROG", "SOURCE  "},
        {"report", "LOG", zef::kOk, "REPORT", "LOG     "},
        {"report", "log", zef::kOk, "REPORT", "LOG     "},
        {"report", "LISTING", zef::kCatalogEntryMissing, "REPORT", "LISTING "},
        {"report.logbook.old", "LOG", zef::kCatalogEntryMissing, "REPORT", "LOGBOOK."},
        {"x.", "LOG", zef::kOk, "X", "        "},
        {"missing", "LOG", zef::kCatalogEntryMissing, "MISSING", "LOG     "},
        {longest + ".html", "", zef::kOk, longest, "HTML    "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name + " / " + std::string(c.type));
        EXPECT_EQ(exists(c.name, c.type), c.status);
        const zef::FindRequest &find = searched;
        EXPECT_EQ(find.catalog_handle, dir_catalog);
        ASSERT_EQ(find.entry_name_length, static_cast<int16_t>(c.searched_name.size()));
        EXPECT_EQ(field(find.entry_name, c.searched_name.size()), c.searched_name);
        EXPECT_EQ(field(find.entry_type, 8), c.searched_type);
    }
    EXPECT_EQ(calls(zef::routine::ylmfind), static_cast<int64_t>(std::size(cases)));
}

TEST_F(MemberExistsTest, OverlongOrNegativeNamesAreRefused) {
    const std::string too_long(33, 'L');
    for (const std::string &name : {too_long, too_long + ".html"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(exists(name, "HTML"), zef::kNameUnsuitable);
        EXPECT_EQ(inserts(), std::vector<std::string>{message(5)});
    }
    EXPECT_EQ(member_exists_slot(handle, "x", -1, Name8("LOG")), zef::kNameUnsuitable);
    EXPECT_EQ(calls(zef::routine::ylmfind), 0);
    // The part after the dot may be any length: it is cut to 8.
    EXPECT_EQ(exists("prog.sourcecodefile", ""), zef::kCatalogEntryMissing);
    EXPECT_EQ(field(searched.entry_type, 8), "SOURCECO");
}

TEST_F(MemberExistsTest, HostStatusesComeBackUnchanged) {
    host.fail_call(zef::routine::ylmfind, zef::kCatalogIoFailure);
    EXPECT_EQ(exists("prog", "SOURCE"), zef::kCatalogIoFailure);
    host.fail_call(zef::routine::ylmfind, 0x1234);
    EXPECT_EQ(exists("prog", "SOURCE"), 0x1234);
    EXPECT_EQ(member_exists_slot(nullptr, "prog", 4, Name8("SOURCE")), zef::kNullHandle);
}

}  // namespace
}  // namespace catalog_test
