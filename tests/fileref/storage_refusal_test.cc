// A whole round of option parsing, assignments and deassignments, run once
// for every single storage request refused in turn: whatever fails, nothing
// is left behind and nothing is released twice.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class StorageRefusalTest : public FilerefTest {
protected:
    zefhost::ParsedOptions parse(std::string_view text) {
        return zefhost::parse_option_statement(module, text);
    }

    // The round; each step goes on whatever the earlier ones returned. An
    // option block goes to the fileref only when the assignment took it.
    void round() {
        zefhost::ParsedOptions first = parse("lrecl=80 desc='quarterly' recfm=v");
        if (assign("CAT", "lib.cat", first.block.get()) == zef::kOk) first.block.take();
        assign_like("ENTRY", "CAT", "member");
        assign_like("COPY", "ENTRY");
        Name8 blank("");
        assign_slot(blank, nullptr, zef::kMethodName, "lib.cat.other", 13, nullptr);
        zefhost::ParsedOptions second = parse("mod desc='again'");
        if (assign("CAT", "lib.cat", second.block.get()) == zef::kOk) second.block.take();
        zefhost::ParsedOptions third = parse("attr");
        if (assign_like("COPY", "CAT", "x", third.block.get()) == zef::kOk) third.block.take();
        deassign("ENTRY");
    }

    void expect_clean_after(const std::string &what) {
        SCOPED_TRACE(what);
        deassign_all();
        expect_pools_back();
    }
};

TEST_F(StorageRefusalTest, EveryRefusalLeavesNothingBehind) {
    zefhost::HostPool *pools[] = {&host.storage_pool(), &host.scratch_pool(), &host.owner_pool()};
    int64_t obtains[3];
    for (int p = 0; p < 3; ++p) obtains[p] = pools[p]->obtains();
    round();
    for (int p = 0; p < 3; ++p) obtains[p] = pools[p]->obtains() - obtains[p];
    expect_clean_after("the round without refusals");
    ASSERT_GE(obtains[0], 4);
    ASSERT_GE(obtains[1], 2);
    ASSERT_GE(obtains[2], 3);

    for (int p = 0; p < 3; ++p) {
        for (int64_t n = 1; n <= obtains[p]; ++n) {
            int64_t refusals = pools[p]->refusals();
            pools[p]->refuse_nth(n);
            round();
            pools[p]->refuse_nth(0);
            EXPECT_EQ(pools[p]->refusals(), refusals + 1) << pools[p]->name() << " " << n;
            expect_clean_after(pools[p]->name() + " request " + std::to_string(n) + " refused");
        }
    }
}

}  // namespace
}  // namespace fileref_test
