// What an entry was written with, stored in part behind the store's back
// (a column emptied by another program): the entry reads as written with
// nothing known, still delivers its blocks, and the check names it.
#include <string>
#include <vector>

#include "support.h"

namespace cattest {
namespace {

class HalfStoredAttributes : public BothStores {};

TEST_P(HalfStoredAttributes, ReadAsUnknownAndAreNamedByTheCheck) {
    struct Half {
        const char *entry;
        const char *columns;
    };
    const std::vector<Half> halves = {
        {"x", "record_format = NULL, lrecl = 80, encoding = 'latin1'"},
        {"y", "record_format = 1, lrecl = NULL, encoding = 'latin1'"},
        {"z", "record_format = 1, lrecl = 80, encoding = NULL"},
    };
    for (const Half &h : halves) write_entry("work", "c", h.entry, "DATA", numbered_blocks(h.entry, 20));
    for (const Half &h : halves)
        EXPECT_EQ(store_sql("c", std::string("UPDATE entries SET ") + h.columns + " WHERE name = upper('" + h.entry + "')"),
                  "");

    std::vector<std::string> problems = services.check_catalog("work", "c");
    EXPECT_EQ(problems.size(), halves.size());
    for (const Half &h : halves) {
        SCOPED_TRACE(h.entry);
        auto row = services.entry_row("work", "c", h.entry, "DATA");
        ASSERT_TRUE(row.has_value());
        EXPECT_FALSE(row->attributes.has_value());
        EXPECT_EQ(read_entry("work", "c", h.entry, "DATA").blocks, numbered_blocks(h.entry, 20));
        std::string told = "entry " + std::string(1, static_cast<char>(h.entry[0] - 'a' + 'A')) +
                           ".DATA: what it was written with is out of range";
        EXPECT_TRUE(std::find(problems.begin(), problems.end(), told) != problems.end()) << told;
    }
    EXPECT_EQ(services.list_entries("work", "c").size(), halves.size());
}

ZEF_ON_BOTH_STORES(HalfStoredAttributes);

}  // namespace
}  // namespace cattest
