// A host that stops offering the variable lookup between parsing the options
// and the open: the open binds no NBYTE variable and logs nothing, and runs
// take the count each read asks for.
#include "stream/stream_fixture.h"

namespace stream_test {
namespace {

class NbyteWithoutLookup : public StreamTest {};

TEST_F(NbyteWithoutLookup, RunsTakeTheCountOfEachRead) {
    store_entry("C", "RUNS", "CSV", {"0123456789"});
    host.set_variable("COUNT", 4);
    ASSERT_EQ(assign_entry("RUNS", "c.runs.csv"), zef::kOk);
    zefhost::ParsedOptions parsed = parse("recfm=s nbyte=count", 0);
    ASSERT_EQ(parsed.status, zef::kOk);

    host.offer_variable_lookup(false);
    int64_t lookups = host.variables().lookups();
    size_t logged = host.log().size();
    Opened in;
    in.request.open_mode = zef::kOpenInput;
    in.request.option_block = parsed.block.get();
    in.status = open_slot(&in.stream, Name8("RUNS"), nullptr, &in.request);
    in.options = std::move(parsed.block);
    ASSERT_EQ(in.status, zef::kOk);
    EXPECT_EQ(host.variables().lookups(), lookups);
    EXPECT_EQ(host.log().size(), logged);

    EXPECT_EQ(read(in.stream, 3).data, "012");
    EXPECT_EQ(read(in.stream, 6).data, "345678");
    EXPECT_EQ(close(in.stream), zef::kOk);
    in.options.take();  // the stream released the block it was given
    expect_clean();
}

}  // namespace
}  // namespace stream_test
