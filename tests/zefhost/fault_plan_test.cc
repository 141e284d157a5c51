// The sweeps' fault plans: the nth host call of any routine that answers a
// status, and the nth obtain from any of the host's pools.
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

TEST(FaultPlan, CallsThroughClosedHandlesAreCounted) {
    Host host;
    int marker = 0;
    EXPECT_EQ(through_vector<zef::proto::ylclose>(host, zef::routine::ylclose)(&marker, 0),
              zef::kCatalogBadRequest);
    EXPECT_EQ(host.catalogs().stale_handles(), 1);
}

}  // namespace
}  // namespace zefhost
