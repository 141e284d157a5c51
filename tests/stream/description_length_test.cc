// An option block handed to the open whose description length is out of
// range (the block comes from the caller, not only from the parser): the
// stream and the host see a length within the description field, and the
// stored entry's description is the field's text.
#include "stream/stream_fixture.h"

namespace stream_test {
namespace {

class DescriptionLength : public StreamTest {};

TEST_F(DescriptionLength, OutOfRangeLengthsAreHeldToTheField) {
    struct Case {
        const char *entry;
        int16_t length;
        int16_t kept;
        std::string stored;
    } cases[] = {
        {"LONG", 1000, 256, "quarterly"},  // the field is blank-padded past the text
        {"NEGATIVE", -4, 0, ""},
    };
    watch_catalog_opens();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        ASSERT_EQ(assign_entry("OUT", std::string("c.") + c.entry + ".html"), zef::kOk);
        zefhost::ParsedOptions parsed = parse("desc='quarterly'", 0);
        ASSERT_EQ(parsed.status, zef::kOk);
        parsed.block.get()->description_length = c.length;
        Opened out;
        out.request.open_mode = zef::kOpenOutput;
        out.request.option_block = parsed.block.get();
        out.status = open_slot(&out.stream, Name8("OUT"), nullptr, &out.request);
        ASSERT_EQ(out.status, zef::kOk) << insert();
        parsed.block.take();  // the stream owns it now
        EXPECT_EQ(last_entry_open.request.description_length, c.kept);
        EXPECT_EQ(write(out.stream, "<p>"), zef::kOk);
        EXPECT_EQ(close(out.stream), zef::kOk);
        bool found = false;
        for (const auto &entry : host.catalogs().list_entries(kLibrary, "C")) {
            if (entry.key.name != c.entry) continue;
            found = true;
            EXPECT_EQ(entry.row.description, c.stored);
        }
        EXPECT_TRUE(found);
        ASSERT_EQ(deassign("OUT"), zef::kOk);
    }
    expect_clean();
}

}  // namespace
}  // namespace stream_test
