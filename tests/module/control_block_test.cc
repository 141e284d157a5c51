// The constructor: the control block and the method vector it hands the
// host, and what it leaves behind when storage is refused.
#include <set>

#include "module_fixture.h"

namespace {

using ControlBlockTest = ModuleTest;

bool all_zero(const void *span, size_t size) {
    const auto *bytes = static_cast<const uint8_t *>(span);
    for (size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

TEST_F(ControlBlockTest, BlockCarriesEyecatcherNameAndAnEmptyList) {
    zef::AccessMethodBlock *block = module.control_block();
    EXPECT_EQ(std::string(block->eyecatcher, 4), "AMEC");
    EXPECT_EQ(std::string(block->method_name, 8), "ZEFXBAML");
    EXPECT_NE(block->vector, nullptr);
    EXPECT_EQ(block->fileref_list, nullptr);
    EXPECT_TRUE(all_zero(block->host_0, sizeof block->host_0));
    EXPECT_TRUE(all_zero(block->host_20, sizeof block->host_20));
    EXPECT_TRUE(all_zero(block->host_48, sizeof block->host_48));
    // The loader registered it, so the host's yxam2am finds it by name.
    EXPECT_EQ(host.methods().method_block("ZEFXBAML"), block);
}

TEST_F(ControlBlockTest, VectorHoldsTheSlotTable) {
    const zef::MethodSlot *vector = module.vector();
    void *not_supported = vector[zef::kNotSupportedSlot].routine;
    std::set<void *> others;
    for (int slot = 0; slot < zef::kSlotCount; ++slot) {
        EXPECT_EQ(vector[slot].flags, 0u) << "slot " << slot;
        switch (zef::kSlots[slot].server) {
        case zef::SlotServer::kNone:
            EXPECT_EQ(vector[slot].routine, nullptr) << "slot " << slot;
            break;
        case zef::SlotServer::kHost:
            EXPECT_EQ(vector[slot].routine, host.routine(zef::routine::wxvalid));
            break;
        case zef::SlotServer::kModule:
            if (std::string(zef::kSlots[slot].routine) == "yxlnsup") {
                EXPECT_EQ(vector[slot].routine, not_supported) << "slot " << slot;
            } else {
                EXPECT_NE(vector[slot].routine, nullptr) << "slot " << slot;
                EXPECT_NE(vector[slot].routine, not_supported) << "slot " << slot;
                EXPECT_TRUE(others.insert(vector[slot].routine).second)
                    << "slot " << slot << " repeats another slot's routine";
            }
            break;
        }
    }
    for (int slot : {5, 14, 15, 16, 17, 37})
        EXPECT_EQ(vector[slot].routine, not_supported) << "slot " << slot;
    EXPECT_EQ(vector[7].routine, host.routine(zef::routine::wxvalid));
    EXPECT_TRUE(all_zero(&vector[38], 8 * sizeof(zef::MethodSlot)));
}

TEST_F(ControlBlockTest, NotSupportedIgnoresWhateverItIsGiven) {
    for (int slot : {5, 14, 15, 16, 17, 37}) {
        EXPECT_EQ(module.slot<zef::fn::yxlnsup>(slot)(), zef::kNotSupported);
        using WithArguments = int32_t (*)(void *, const char *, int64_t, void *);
        EXPECT_EQ(module.slot<WithArguments>(slot)(nullptr, "FILEREF ", -1, &host),
                  zef::kNotSupported);
    }
}

TEST_F(ControlBlockTest, EachConstructorCallMakesItsOwnBlockAndVector) {
    zef::AccessMethodBlock *block = nullptr;
    int32_t status = -1;
    module.construct(&block, &status);
    ASSERT_EQ(status, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_NE(block, module.control_block());
    EXPECT_NE(block->vector, module.vector());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(block->vector), zef::kVectorBytes),
              std::string(reinterpret_cast<const char *>(module.vector()), zef::kVectorBytes));
    EXPECT_EQ(host.storage_pool().bytes_outstanding() >= 72 + 736, true);
}

TEST_F(ControlBlockTest, FirstStorageRefusalObtainsNothingMore) {
    zefhost::HostPool &pool = host.storage_pool();
    const int64_t obtains = pool.obtains();
    const int64_t outstanding = pool.blocks_outstanding();

    pool.refuse_nth(1);
    auto *block = reinterpret_cast<zef::AccessMethodBlock *>(&pool);  // must be cleared
    int32_t status = 0;
    module.construct(&block, &status);

    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(status, zef::kNoStorage);
    EXPECT_EQ(pool.obtains(), obtains + 1);
    EXPECT_EQ(pool.blocks_outstanding(), outstanding);
    EXPECT_EQ(pool.bad_releases(), 0);
}

TEST_F(ControlBlockTest, SecondStorageRefusalReleasesTheBlockOnce) {
    zefhost::HostPool &pool = host.storage_pool();
    const int64_t obtains = pool.obtains();
    const int64_t releases = pool.releases();
    const int64_t outstanding = pool.blocks_outstanding();

    pool.refuse_nth(2);
    zef::AccessMethodBlock *block = nullptr;
    int32_t status = 0;
    module.construct(&block, &status);

    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(status, zef::kNoStorage);
    EXPECT_EQ(pool.obtains(), obtains + 2);
    EXPECT_EQ(pool.releases(), releases + 1);
    EXPECT_EQ(pool.blocks_outstanding(), outstanding);
    EXPECT_EQ(pool.bad_releases(), 0);
    EXPECT_EQ(host.calls(zef::routine::yymheap), 1);
}

}  // namespace
