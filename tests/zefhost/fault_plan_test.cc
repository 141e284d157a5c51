// The sweeps' fault plans: the nth host call of any routine that answers a
// status, and the nth obtain from any of the host's pools; and the odd
// answers a test plans for one routine.
#include <gtest/gtest.h>

#include <string>

#include "vector_call.h"
#include "zefhost/catalog/services.h"
#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"

namespace zefhost {
namespace {

using testing::through_vector;

constexpr int32_t kPlanned = static_cast<int32_t>(0x8001B0FF);

int32_t lookup(Host &host) {
    void *block = nullptr;
    return through_vector<zef::proto::yxam2am>(host, zef::routine::yxam2am)("NOSUCH  ", &block, nullptr);
}

// Routines that answer no status neither count nor take the planned failure.
TEST(FaultPlan, NthCallOfAnyRoutineThatAnswersAStatus) {
    Host host;
    host.fail_nth_call(2, kPlanned);
    int64_t before = host.calls_answering();
    EXPECT_EQ(lookup(host), kUnknownMethod);
    char buffer[255];
    through_vector<zef::proto::ypmstr>(host, zef::routine::ypmstr)(buffer, 255, 566, 1);
    EXPECT_EQ(host.injected_failures(), 0);
    EXPECT_EQ(lookup(host), kPlanned);
    EXPECT_EQ(host.injected_failures(), 1);
    EXPECT_EQ(host.last_injected().slot, zef::routine::yxam2am.slot);
    EXPECT_EQ(lookup(host), kUnknownMethod);  // once only
    EXPECT_EQ(host.calls_answering(), before + 3);

    host.fail_nth_call(1, kPlanned);
    host.fail_nth_call(0, 0);  // cancelled
    EXPECT_EQ(lookup(host), kUnknownMethod);
}

TEST(FaultPlan, NthObtainFromAnyPool) {
    Host host;
    host.refuse_nth_obtain(3);
    zef::Pool *storage = host.storage_pool().pool();
    zef::Pool *owner = host.owner_pool().pool();
    void *a = storage->obtain(storage, 8, zef::kRecordStorage);
    void *b = owner->obtain(owner, 8, zef::kRecordStorage);
    EXPECT_EQ(storage->obtain(storage, 8, zef::kRecordStorage), nullptr);
    void *c = owner->obtain(owner, 8, zef::kRecordStorage);
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(host.storage_refusal().refusals, 1);
    EXPECT_EQ(host.storage_refusal().obtains, 4);
    storage->release(storage, a, 0, 4);
    owner->release(owner, b, 0, 4);
    owner->release(owner, c, 0, 4);
}

// The planned call does its work and changes one answer, once; the calls
// before it and after it answer as usual.
TEST(FaultPlan, OddAnswersComeOnTheNthCallOnly) {
    Host host;
    auto ypmstr = [&] {
        char buffer[255];
        return through_vector<zef::proto::ypmstr>(host, zef::routine::ypmstr)(buffer, 255, 566, 2);
    };
    const int32_t usual = ypmstr();
    ASSERT_GT(usual, 0);
    host.answer_oddly(zef::routine::ypmstr, -1, 2);
    EXPECT_EQ(ypmstr(), usual);
    EXPECT_EQ(ypmstr(), -1);
    EXPECT_EQ(ypmstr(), usual);

    auto ytraknp = through_vector<zef::proto::ytraknp>(host, zef::routine::ytraknp);
    host.answer_oddly(zef::routine::ytraknp, 1);
    zef::TaskRecord *bare = ytraknp(Host::kTaskKey, nullptr);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->access, nullptr);
    host.answer_oddly(zef::routine::ytraknp, 0);
    EXPECT_EQ(through_vector<zef::proto::ytraknp>(host, zef::routine::ytraknp)(Host::kTaskKey, nullptr),
              nullptr);
    EXPECT_EQ(through_vector<zef::proto::ytraknp>(host, zef::routine::ytraknp)(Host::kTaskKey, nullptr),
              host.task_record());

    zef::NamePart parts[4];
    int32_t count = 0;
    host.answer_oddly(zef::routine::znamdiv, -2);
    ASSERT_EQ(through_vector<zef::proto::znamdiv>(host, zef::routine::znamdiv)(
                  0, "lib.cat", 7, &count, 4, &parts[0], &parts[1], &parts[2], &parts[3]),
              0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(parts[2].length, -2);
    EXPECT_EQ(parts[3].length, -2);
    EXPECT_EQ(parts[0].length, 0);  // fields no part went to stay empty
}

TEST(FaultPlan, CallsThroughClosedHandlesAreCounted) {
    Host host;
    int marker = 0;
    EXPECT_EQ(through_vector<zef::proto::ylclose>(host, zef::routine::ylclose)(&marker, 0),
              zef::kCatalogBadRequest);
    EXPECT_EQ(host.catalogs().stale_handles(), 1);
}

}  // namespace
}  // namespace zefhost
