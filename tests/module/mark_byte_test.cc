// Every call the module makes into the host goes through the transfer
// vector and clears the vector's mark byte first.
#include "module_fixture.h"

namespace {

using MarkByteTest = ModuleTest;

TEST_F(MarkByteTest, ModuleCallsClearTheMarkByte) {
    host.set_host_encoding(true);
    char name[] = "abcdefgh";
    ASSERT_EQ(module.text().wztxxlt(2, name, name, 8), 0);  // wzstrup, vector 0
    ASSERT_EQ(host.calls(zef::routine::wzstrup), 1);

    host.storage_pool().refuse_nth(2);  // the constructor releases through yymheap, vector 39
    zef::AccessMethodBlock *block = nullptr;
    int32_t status = 0;
    module.construct(&block, &status);
    ASSERT_EQ(host.calls(zef::routine::yymheap), 1);

    EXPECT_EQ(host.unmarked_calls(), 0);
    EXPECT_EQ(host.mark_byte(0), 1);   // set again when the routine returned
    EXPECT_EQ(host.mark_byte(39), 1);
}

TEST_F(MarkByteTest, ACallThatSkipsTheVectorIsCounted) {
    char name[] = "abcdefgh";
    auto wzstrup = reinterpret_cast<zef::proto::wzstrup>(host.routine(zef::routine::wzstrup));
    wzstrup(name, 8);
    EXPECT_EQ(host.unmarked_calls(), 1);
}

}  // namespace
