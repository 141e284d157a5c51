// What a tool (zefcat) asks of the services with names as a person typed
// them, and catalog removals: refused with the status that says why, or
// done, on either store.
#include <functional>
#include <string>
#include <vector>

#include "support.h"
#include "zefhost/catalog/catalog_error.h"

namespace cattest {
namespace {

using zefhost::catalog::CatalogError;
using zefhost::catalog::Services;

class ToolRequests : public BothStores {};

struct Request {
    const char *what;
    std::function<void(Services &)> call;
    int32_t status;
    const char *message = "";  // part of what the refusal says
};

TEST_P(ToolRequests, AreRefusedWithTheStatusThatSaysWhy) {
    write_entry("work", "c", "a", "DATA", numbered_blocks("a", 10));
    void *cat = nullptr, *writer = nullptr;
    // An empty catalog, made on purpose.
    ASSERT_EQ(open_catalog("work", "empty", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    zefhost::catalog::VersionAttributes attributes{};
    const std::string long_name(33, 'N');
    const std::vector<Request> requests = {
        {"empty entry name", [](Services &s) { s.entry_row("work", "c", "", "DATA"); }, zef::kCatalogBadRequest},
        {"entry name too long", [&](Services &s) { s.entry_row("work", "c", long_name, "DATA"); },
         zef::kCatalogBadRequest},
        {"type too long", [](Services &s) { s.entry_row("work", "c", "a", "DATAFILES"); }, zef::kCatalogBadRequest},
        {"attributes of a bad name",
         [&](Services &s) { s.set_written_attributes("work", "c", "", "DATA", attributes); },
         zef::kCatalogBadRequest},
        {"no catalog", [](Services &s) { s.entry_row("work", "none", "a", "DATA"); }, zef::kCatalogMissing},
        {"library of no name", [&](Services &s) { s.assign_library("", dir.path()); },
         zef::kCatalogLibraryNotAssigned},
        {"database library of no name",
         [](Services &s) { s.assign_database_library(" ", "postgresql:dbname=x"); }, zef::kCatalogLibraryNotAssigned},
        {"library not assigned", [](Services &s) { s.list_entries("nolib", "c"); },
         zef::kCatalogLibraryNotAssigned},
        {"removing no catalog", [](Services &s) { s.remove_catalog("work", "none", true); }, zef::kCatalogMissing},
        {"removing a catalog under its writer",
         [&](Services &s) {
             ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
             ASSERT_EQ(open_entry(cat, "b", "DATA", zef::kMemberOutput, &writer), 0);
             s.remove_catalog("work", "c", true);
         },
         zef::kCatalogEntryInUse},
        // Attributes and times go to a writer this process has open: the
        // writer of C.B is not one of C.A.
        {"times of an entry no writer has open",
         [](Services &s) { s.set_written_times("work", "c", "a", "DATA", 1, 2); }, zef::kCatalogBadRequest,
         "no writer of entry A.DATA is open"},
        {"attributes of an entry no writer has open",
         [&](Services &s) { s.set_written_attributes("work", "c", "a", "DATA", attributes); },
         zef::kCatalogBadRequest, "no writer of entry A.DATA is open"},
        {"times in no catalog", [](Services &s) { s.set_written_times("work", "none", "b", "DATA", 1, 2); },
         zef::kCatalogBadRequest},
        {"compacting in a library of no name", [](Services &s) { s.vacuum_catalog("", "c"); },
         zef::kCatalogLibraryNotAssigned, "is not assigned"},
    };
    for (const Request &r : requests) {
        SCOPED_TRACE(r.what);
        try {
            r.call(services);
            ADD_FAILURE() << "done";
        } catch (const CatalogError &e) {
            EXPECT_EQ(e.status(), r.status) << e.what();
            EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(services.open_entries(), 1u);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(close_entry(writer), 0);
    EXPECT_EQ(close_catalog(cat), 0);

    // What was refused changed nothing; an empty catalog goes without
    // asking for its entries, one with entries only when asked.
    EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, numbered_blocks("a", 10));
    auto removal = services.remove_catalog("work", "empty", false);
    EXPECT_TRUE(removal.removed);
    EXPECT_EQ(removal.entries, 0u);
    EXPECT_FALSE(services.catalog_exists("work", "empty"));
    EXPECT_FALSE(services.remove_catalog("work", "c", false).removed);
    EXPECT_TRUE(services.remove_catalog("work", "c", true).removed);
    EXPECT_FALSE(services.catalog_exists("work", "c"));

    write_entry("work", "kept", "a", "DATA", numbered_blocks("k", 5));
    services.deassign_library("work");
    assign_work(services, /*read_only=*/true);
    try {
        services.remove_catalog("work", "kept", true);
        ADD_FAILURE() << "removed through a read-only library";
    } catch (const CatalogError &e) {
        EXPECT_EQ(e.status(), zef::kCatalogBadRequest) << e.what();
    }
    EXPECT_TRUE(services.catalog_exists("work", "kept"));
}

ZEF_ON_BOTH_STORES(ToolRequests);

}  // namespace
}  // namespace cattest
