// The host pools through the routine words the module calls.
#include <gtest/gtest.h>

#include "zefhost/pool.h"

namespace zefhost {
namespace {

void *obtain(HostPool &pool, int64_t size, uint32_t option) {
    zef::Pool *p = pool.pool();
    return p->obtain(p, size, option);
}

void release(HostPool &pool, void *block) {
    zef::Pool *p = pool.pool();
    p->release(p, block, 0, 4);
}

TEST(HostPool, CountsBlocksAndBytesOutstanding) {
    HostPool pool("test");
    void *a = obtain(pool, 100, zef::kRecordStorage);
    void *b = obtain(pool, 28, zef::kBufferStorage);
    EXPECT_EQ(pool.blocks_outstanding(), 2);
    EXPECT_EQ(pool.bytes_outstanding(), 128);
    release(pool, a);
    EXPECT_EQ(pool.blocks_outstanding(), 1);
    EXPECT_EQ(pool.bytes_outstanding(), 28);
    release(pool, b);
    EXPECT_EQ(pool.blocks_outstanding(), 0);
    EXPECT_EQ(pool.obtains(), 2);
    EXPECT_EQ(pool.releases(), 2);
    EXPECT_EQ(pool.bad_releases(), 0);
}

TEST(HostPool, ZeroFillBitDecidesTheContents) {
    HostPool pool("test");
    struct Case {
        uint32_t option;
        uint8_t byte;
    };
    for (Case c : {Case{zef::kRecordStorage, 0}, Case{zef::kOptionBlockStorage, 0},
                   Case{zef::kBufferStorage, HostPool::kFillPattern},
                   Case{zef::kScratchStorage, HostPool::kFillPattern}}) {
        auto *block = static_cast<uint8_t *>(obtain(pool, 64, c.option));
        ASSERT_NE(block, nullptr);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], c.byte) << std::hex << c.option;
        release(pool, block);
    }
}

TEST(HostPool, RefusesTheNthObtainOnly) {
    HostPool pool("test");
    pool.refuse_nth(2);
    void *first = obtain(pool, 8, zef::kRecordStorage);
    void *second = obtain(pool, 8, zef::kRecordStorage);
    void *third = obtain(pool, 8, zef::kRecordStorage);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(pool.refusals(), 1);
    EXPECT_EQ(pool.blocks_outstanding(), 2);
    release(pool, first);
    release(pool, third);
}

TEST(HostPool, RefusesEveryObtainUntilCleared) {
    HostPool pool("test");
    pool.refuse_all(true);
    EXPECT_EQ(obtain(pool, 8, zef::kRecordStorage), nullptr);
    EXPECT_EQ(obtain(pool, 8, zef::kBufferStorage), nullptr);
    EXPECT_EQ(pool.blocks_outstanding(), 0);
    pool.refuse_all(false);
    void *block = obtain(pool, 8, zef::kRecordStorage);
    EXPECT_NE(block, nullptr);
    release(pool, block);
    EXPECT_EQ(pool.refusals(), 2);
}

TEST(HostPool, ReportsForeignAndDoubleReleases) {
    HostPool pool("test");
    HostPool other("other");
    void *block = obtain(pool, 16, zef::kRecordStorage);
    void *foreign = obtain(other, 16, zef::kRecordStorage);
    release(pool, foreign);
    release(pool, block);
    release(pool, block);
    EXPECT_EQ(pool.bad_releases(), 2);
    EXPECT_EQ(pool.blocks_outstanding(), 0);
    EXPECT_EQ(other.blocks_outstanding(), 1);  // still the other pool's
    release(other, foreign);
}

}  // namespace
}  // namespace zefhost
