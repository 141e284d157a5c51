// Requests with a cell or area missing, or with names and lengths out of
// range: each is refused with its status, and nothing is opened, created or
// changed by it.
#include <cstring>

#include "support.h"

namespace cattest {
namespace {

namespace r = zef::routine;
namespace p = zef::proto;

class MalformedRequests : public CatalogTest {
protected:
    void SetUp() override {
        write_entry("work", "c", "e", "DATA", {{1, "kept"}});
        ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    }
    void TearDown() override {
        EXPECT_EQ(close_catalog(cat), 0);
        EXPECT_EQ(read_entry("work", "c", "e", "DATA").blocks, (std::vector<Block>{{1, "kept"}}));
        EXPECT_EQ(services.open_entries(), 0u);
        EXPECT_EQ(services.open_catalogs(), 0u);
        CatalogTest::TearDown();
    }
    void *cat = nullptr;
};

TEST_F(MalformedRequests, MissingCellsAndAreas) {
    zef::LibraryRequest library = library_request("work", "other", zef::kLibraryWrite);
    EXPECT_EQ(call<p::ylopen>(r::ylopen, static_cast<void *>(&library), nullptr), zef::kCatalogBadRequest);
    EXPECT_FALSE(std::filesystem::exists(catalog_path("other")));

    zef::MemberRequest member = member_request(cat, "e", "DATA", zef::kMemberInput);
    EXPECT_EQ(call<p::ylmopen>(r::ylmopen, static_cast<void *>(&member), nullptr), zef::kCatalogBadRequest);
    zef::EntryRequest entry = entry_request(cat, "e", "DATA");
    EXPECT_EQ(call<p::ylminfo>(r::ylminfo, static_cast<void *>(&entry), 0, 2, nullptr), zef::kCatalogBadRequest);

    EXPECT_EQ(call<p::yldopen>(r::yldopen, cat, "ALL     ", 0, nullptr), zef::kCatalogBadRequest);
    void *scan = nullptr;
    ASSERT_EQ(call<p::yldopen>(r::yldopen, cat, nullptr, 0, &scan), 0);  // no filter: every type
    EXPECT_EQ(call<p::yldread>(r::yldread, scan, nullptr, 0), zef::kCatalogBadRequest);
    zef::DirectoryEntryArea area{};
    ASSERT_EQ(call<p::yldread>(r::yldread, scan, static_cast<void *>(&area), 0), 0);
    EXPECT_EQ(std::string(area.name, static_cast<size_t>(area.name_length)), "E");
    EXPECT_EQ(call<p::yldclos>(r::yldclos, scan), 0);
}

TEST_F(MalformedRequests, NamesAndLengthsOutOfRange) {
    void *entry = nullptr;
    int64_t size = -1;
    struct Case {
        const char *what;
        int32_t status;
        std::function<int32_t()> request;
    };
    const std::vector<Case> cases = {
        {"catalog name of 33", zef::kCatalogBadRequest, [&] {
             zef::LibraryRequest l = library_request("work", "c", zef::kLibraryWrite);
             l.catalog_name_length = 33;
             return call<p::ylopen>(r::ylopen, static_cast<void *>(&l), &entry);
         }},
        {"catalog name of -1", zef::kCatalogBadRequest, [&] {
             zef::LibraryRequest l = library_request("work", "c", zef::kLibraryWrite);
             l.catalog_name_length = -1;
             return call<p::ylopen>(r::ylopen, static_cast<void *>(&l), &entry);
         }},
        {"catalog name starting with a hyphen", zef::kCatalogBadRequest,
         [&] { return open_catalog("work", "-c", zef::kLibraryWrite, &entry); }},
        {"library name with a slash", zef::kCatalogLibraryNotAssigned,
         [&] { return open_catalog("wo/k", "c", zef::kLibraryWrite, &entry); }},
        {"entry name of -1", zef::kCatalogBadRequest, [&] {
             zef::MemberRequest m = member_request(cat, "e", "DATA", zef::kMemberInput);
             m.entry_name_length = -1;
             return call<p::ylmopen>(r::ylmopen, static_cast<void *>(&m), &entry);
         }},
        {"description of -1", zef::kCatalogBadRequest, [&] {
             zef::MemberRequest m = member_request(cat, "e", "DATA", zef::kMemberOutput, "x");
             m.description_length = -1;
             return call<p::ylmopen>(r::ylmopen, static_cast<void *>(&m), &entry);
         }},
        {"description of 257", zef::kCatalogBadRequest, [&] {
             zef::MemberRequest m = member_request(cat, "e", "DATA", zef::kMemberOutput, "x");
             m.description_length = 257;
             return call<p::ylmopen>(r::ylmopen, static_cast<void *>(&m), &entry);
         }},
        {"describe an empty name", zef::kCatalogEntryMissing, [&] { return describe(cat, "", "DATA", &size); }},
        {"find an empty name", zef::kCatalogEntryMissing, [&] { return find(cat, "", "DATA"); }},
        {"find a name of 40", zef::kCatalogBadRequest, [&] {
             zef::EntryRequest e = entry_request(cat, "e", "DATA");
             e.entry_name_length = 40;
             zef::FindRequest f{};
             std::memcpy(&f, &e, sizeof f);
             return call<p::ylmfind>(r::ylmfind, static_cast<void *>(&f));
         }},
        {"delete an empty name", zef::kCatalogEntryMissing, [&] { return remove(cat, "", "DATA"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        entry = nullptr;
        EXPECT_EQ(c.request(), c.status) << services.last_error();
        EXPECT_EQ(entry, nullptr);
    }
    EXPECT_EQ(size, -1);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "-c.zcat"));
}

}  // namespace
}  // namespace cattest
