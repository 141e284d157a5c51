// The control block as the module reads it: raw words at the offsets of the
// host interface, and the chains they lead to.
#include <gtest/gtest.h>

#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "vector_call.h"

namespace zefhost {
namespace {

using testing::through_vector;
using testing::word_at;

TEST(HostControlBlock, WordsLeadWhereTheInterfaceSays) {
    Host host;
    const void *gcb = host.gcb();

    auto table = word_at<void ***>(gcb, 0);
    EXPECT_EQ(table[39][33], host.routine(zef::routine::yymheap));
    EXPECT_NE(table[39][33], nullptr);
    EXPECT_NE(table[48], nullptr);
    auto marks = word_at<uint8_t *>(gcb, 8);
    for (int v = 0; v < zef::kMarkByteCount; ++v) EXPECT_EQ(marks[v], 1) << v;

    auto task_block = word_at<void *>(gcb, 32);
    auto task_context = word_at<void *>(task_block, 272);
    auto owner = word_at<void *>(task_context, 24);
    EXPECT_EQ(task_context, host.task_context());
    EXPECT_EQ(owner, host.owner_record());
    EXPECT_EQ(word_at<zef::Pool *>(owner, 40), host.owner_pool().pool());

    EXPECT_EQ(word_at<zef::Pool *>(gcb, 40), host.scratch_pool().pool());
    EXPECT_EQ(word_at<zef::Pool *>(gcb, 80), host.storage_pool().pool());
    EXPECT_NE(word_at<uint64_t>(gcb, 656), 0u);
    EXPECT_EQ(word_at<uint64_t>(gcb, 760), 0u);
}

TEST(HostControlBlock, EncodingDescriptorFollowsTheSwitch) {
    Host host;
    auto holder = word_at<void *>(host.gcb(), 104);
    auto descriptor = word_at<const uint8_t *>(holder, 24);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_EQ(descriptor[0], 0);
    host.set_host_encoding(true);
    EXPECT_NE(descriptor[0], 0);
    host.set_host_encoding(false);
    EXPECT_EQ(descriptor[0], 0);
    host.set_encoding_descriptor_present(false);
    EXPECT_EQ(word_at<const uint8_t *>(holder, 24), nullptr);
}

TEST(HostControlBlock, AttributeAnchorCarriesSwitchAndLookup) {
    Host host;
    auto anchor = word_at<void *>(host.gcb(), 192);
    EXPECT_EQ(word_at<int32_t>(anchor, 0), 0);
    host.set_assignment_switch(1);
    EXPECT_EQ(word_at<int32_t>(anchor, 0), 1);
    EXPECT_NE(word_at<zef::VariableLookup>(anchor, 8), nullptr);
    host.offer_variable_lookup(false);
    EXPECT_EQ(word_at<zef::VariableLookup>(anchor, 8), nullptr);
}

TEST(HostControlBlock, TranslationTablesTwoAndThreeChangeCase) {
    Host host;
    auto block = word_at<const uint8_t **>(host.gcb(), 216);
    for (int index = 0; index < 5; ++index)
        EXPECT_EQ(block[2 + index], host.translation().table(index)) << index;
    const uint8_t *upper = block[2 + 2];
    const uint8_t *lower = block[2 + 3];
    for (int c = 'a'; c <= 'z'; ++c) {
        EXPECT_EQ(upper[c], c - 32);
        EXPECT_EQ(lower[c - 32], c);
    }
    EXPECT_EQ(upper[0xE9], 0xC9);  // é
    EXPECT_EQ(upper['1'], '1');
    EXPECT_EQ(upper[0xF7], 0xF7);  // ÷ has no case
    // 0 and 1 are inverse transcodings (Latin-1 to EBCDIC 037 and back).
    const uint8_t *to = block[2 + 0];
    const uint8_t *from = block[2 + 1];
    EXPECT_EQ(to['A'], 0xC1);
    EXPECT_EQ(to[' '], 0x40);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(from[to[b]], b);
    EXPECT_EQ(block[2 + 4][0x07], '.');
    EXPECT_EQ(block[2 + 4]['x'], 'x');
}

TEST(HostControlBlock, TaskRecordChainReachesTheAccessWord) {
    Host host;
    auto key = through_vector<zef::proto::ytrakgt>(host, zef::routine::ytrakgt)(nullptr);
    auto *record = through_vector<zef::proto::ytraknp>(host, zef::routine::ytraknp)(key, nullptr);
    ASSERT_NE(record, nullptr);
    auto access = word_at<void *>(record, 16);
    EXPECT_EQ(word_at<int32_t>(access, 84), 0);
    host.set_task_access(1);
    EXPECT_EQ(word_at<int32_t>(access, 84), 1);
    EXPECT_EQ(through_vector<zef::proto::ytraknp>(host, zef::routine::ytraknp)(key + 1, nullptr),
              nullptr);
}

TEST(HostControlBlock, NoCurrentTaskSetsTheWordAt760) {
    Host host;
    host.set_no_current_task(true);
    EXPECT_NE(testing::word_at<uint64_t>(host.gcb(), 760), 0u);
    host.set_no_current_task(false);
    EXPECT_EQ(testing::word_at<uint64_t>(host.gcb(), 760), 0u);
}

TEST(HostControlBlock, YymheapNamesThePoolTheModuleObtainsFrom) {
    Host host;
    EXPECT_EQ(through_vector<zef::proto::yymheap>(host, zef::routine::yymheap)(),
              host.gcb()->storage_pool);
}

TEST(HostControlBlock, EveryKernelRoutineIsInstalled) {
    Host host;
    namespace r = zef::routine;
    for (zef::RoutineAddress at :
         {r::yymheap, r::ypmstr, r::ypmlog, r::ypmrlog, r::wrmksub, r::znamdiv, r::yxam2am,
          r::yxamscp, r::yxal2am, r::yxaunql, r::yxatoki, r::yxatok, r::yxatokt, r::wzrlchr,
          r::wztxcei, r::yyrn6gf, r::ytrakgt, r::ytraknp, r::wzsxcch, r::wzsxrch, r::wzstrup,
          r::wzstrlo, r::wxvalid})
        EXPECT_NE(host.routine(at), nullptr) << at.vector << "," << at.slot;
}

// ------------------------------------------------ mark bytes and faults --

TEST(HostCalls, MarkByteIsCheckedOnEntryAndSetOnReturn) {
    Host host;
    auto wxvalid = reinterpret_cast<int32_t (*)()>(host.routine(zef::routine::wxvalid));
    wxvalid();  // mark byte 0 still set: not through the vector
    EXPECT_EQ(host.unmarked_calls(), 1);

    auto through = through_vector<int32_t (*)()>(host, zef::routine::wxvalid);
    EXPECT_EQ(host.mark_byte(0), 0);
    EXPECT_EQ(through(), 0);
    EXPECT_EQ(host.mark_byte(0), 1);
    EXPECT_EQ(host.unmarked_calls(), 1);
    EXPECT_EQ(host.calls(zef::routine::wxvalid), 2);
}

TEST(HostCalls, PlannedFailureAnswersOnceOnTheNthCall) {
    Host host;
    auto ypmlog = [&] { return through_vector<zef::proto::ypmlog>(host, zef::routine::ypmlog)(566, 25, 7); };
    host.fail_call(zef::routine::ypmlog, kBadArgument, 2);
    EXPECT_EQ(ypmlog(), 0);
    EXPECT_EQ(ypmlog(), kBadArgument);
    EXPECT_EQ(ypmlog(), 0);
    EXPECT_EQ(host.log().size(), 2u);  // the failing call logged nothing
    EXPECT_EQ(host.calls(zef::routine::ypmlog), 3);
}

TEST(HostCalls, EveryCallFailsUntilCleared) {
    Host host;
    auto wzsxcch = [&] {
        char out[2] = {};
        return through_vector<zef::proto::wzsxcch>(host, zef::routine::wzsxcch)("AB", 2, out, 2, 1);
    };
    host.fail_every_call(zef::routine::wzsxcch, zef::kCatalogIoFailure);
    EXPECT_EQ(wzsxcch(), zef::kCatalogIoFailure);
    EXPECT_EQ(wzsxcch(), zef::kCatalogIoFailure);
    host.clear_failures();
    EXPECT_EQ(wzsxcch(), 0);
}

TEST(HostCalls, InnerHostIsCurrentWhileItLives) {
    Host outer;
    {
        Host inner;
        EXPECT_EQ(&Host::current(), &inner);
    }
    EXPECT_EQ(&Host::current(), &outer);
}

}  // namespace
}  // namespace zefhost
