// Entry open: names, lookup, the requests handed to the host, open_count.
#include "stream/stream_fixture.h"

namespace stream_test {
namespace {

class EntryOpen : public StreamTest {};

TEST_F(EntryOpen, Smoke) {
    ASSERT_EQ(assign_entry("OUT", "cat.entry.source"), zef::kOk);
    Opened out = open("OUT", zef::kOpenOutput);
    ASSERT_EQ(out.status, zef::kOk) << insert();
    EXPECT_EQ(field(out.stream->full_name, out.stream->full_name_length), "TESTLIB.CAT.ENTRY.SOURCE");
    EXPECT_EQ(close(out.stream), zef::kOk);
    expect_clean();
}

}  // namespace
}  // namespace stream_test
