// A write that fails after it has begun to change the writer's chunk
// leaves that chunk half built. Such a writer takes no further write, and
// its close is refused, so that the half-built chunk never becomes the
// entry's version: the entry keeps the one it had. A request refused
// memory before it changed anything leaves the writer whole.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support.h"

namespace {

using namespace cattest;

class WriteFailure : public CatalogTest {};

// What the writer keeps for the next chunk once it sets one aside: a
// chunk's target and a little more.
constexpr size_t kChunkRoom = 64 * 1024 + 1024;

// Bytes of address space this process has mapped now.
rlim_t mapped_bytes() {
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// The soft limit on address space lowered to what is mapped now and a
// little more, and put back when the scope ends.
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(rlim_t headroom) {
        getrlimit(RLIMIT_AS, &saved_);
        rlimit capped = saved_;
        capped.rlim_cur = mapped_bytes() + headroom;
        set_ = setrlimit(RLIMIT_AS, &capped) == 0;
    }
    ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved_); }
    bool set() const { return set_; }

private:
    rlimit saved_{};
    bool set_ = false;
};

// Under a cap: blocks of `size` bytes taken until the next is refused, so
// that the next request of that size is refused too, while smaller ones
// are still met from a little room given back at the end. All of it is
// given back when the scope ends.
class MemoryTakenUp {
public:
    explicit MemoryTakenUp(size_t size) {
        void *spare = std::malloc(16 * 1024);
        while (void *block = std::malloc(size)) blocks_.push_back(block);
        std::free(spare);
    }
    ~MemoryTakenUp() {
        for (void *block : blocks_) std::free(block);
    }
    MemoryTakenUp(const MemoryTakenUp &) = delete;
    MemoryTakenUp &operator=(const MemoryTakenUp &) = delete;

private:
    std::vector<void *> blocks_;
};

// The chunk being built has a block's header when memory for its bytes is
// refused. Before the writer was marked broken, its close made that chunk
// the entry's version and returned 0; the entry then read as damaged, and
// the version before was gone.
TEST_F(WriteFailure, AWriteRefusedMemoryMidwayRefusesTheCloseAndTheEntryKeepsItsVersion) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves far more address space than any cap leaves";
#else
    write_entry("work", "c", "doc", "DATA", {{1, "before"}});
    const Block huge{1, std::string(64u << 20, 'h')};  // made (and touched) before the cap
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "doc", "DATA", zef::kMemberOutput, &entry), 0);
    ASSERT_EQ(write_block(entry, {1, "first"}), 0);
    int32_t refused = 0;
    {
        AddressSpaceCap cap(16u << 20);
        ASSERT_TRUE(cap.set());
        refused = write_block(entry, huge);
    }
    EXPECT_EQ(refused, zef::kCatalogIoFailure);
    EXPECT_EQ(services.last_error(), "out of memory");

    // Nothing more goes in, and the close leaves the entry as it was.
    EXPECT_EQ(write_block(entry, {1, "second"}), zef::kCatalogIoFailure);
    EXPECT_NE(services.last_error().find("DOC.DATA: an earlier write failed"), std::string::npos)
        << services.last_error();
    EXPECT_EQ(close_entry(entry), zef::kCatalogIoFailure);
    EXPECT_EQ(services.open_entries(), 0u);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "c", "doc", "DATA").blocks, (std::vector<Block>{{1, "before"}}));
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
    EXPECT_EQ(count_rows("c", "writers"), 0);
#endif
}

// An update that reads elsewhere sets its changed chunk aside first, and
// the writer keeps room for the next chunk; when memory for that room was
// refused, the changed chunk's bytes were already handed over and were
// lost with the failure. The read failed, but the writer went on, and its
// close made the piece empty: the entry lost its last piece's blocks, and
// the close returned 0. Now the room comes first, and the writer loses
// nothing.
TEST_F(WriteFailure, AReadRefusedMemoryWhileTheChangedChunkIsSetAsideLosesNothing) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves far more address space than any cap leaves";
#else
    std::vector<Block> blocks = numbered_blocks("kept", 1000, 200);
    write_entry("work", "c", "doc", "DATA", blocks);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "doc", "DATA", zef::kMemberAppend, &entry), 0);
    Block block;
    ASSERT_EQ(read_block(entry, block), 0);  // the read buffer made before the cap
    ASSERT_EQ(point(entry, 0, zef::kPointToEnd), 0);
    ASSERT_EQ(write_block(entry, {1, "added"}), 0);  // the last piece changed
    ASSERT_EQ(point(entry, 5), 0);
    int32_t refused = 0;
    {
        AddressSpaceCap cap(16u << 20);
        ASSERT_TRUE(cap.set());
        MemoryTakenUp taken(kChunkRoom);
        refused = read_block(entry, block);
    }
    EXPECT_EQ(refused, zef::kCatalogIoFailure);
    EXPECT_NE(services.last_error().find("out of memory"), std::string::npos) << services.last_error();

    // The same read again, and the close, find every block.
    ASSERT_EQ(read_block(entry, block), 0) << services.last_error();
    EXPECT_EQ(block, blocks[5]);
    EXPECT_EQ(close_entry(entry), 0) << services.last_error();
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(services.open_entries(), 0u);
    blocks.push_back({1, "added"});
    EXPECT_EQ(read_entry("work", "c", "doc", "DATA").blocks, blocks);
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
    EXPECT_EQ(count_rows("c", "writers"), 0);
#endif
}

// A write refused before it touches anything (a block longer than any
// entry takes) leaves the writer usable: the writes around it make the
// entry's version.
TEST_F(WriteFailure, AWriteRefusedBeforeItBeganLeavesTheWriterUsable) {
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "doc", "DATA", zef::kMemberOutput, &entry), 0);
    ASSERT_EQ(write_block(entry, {1, "first"}), 0);
    zef::TransferRequest too_long{};
    too_long.buffer = const_cast<char *>("x");
    too_long.length = int64_t{256} * 1024 * 1024 + 1;
    too_long.record_code = 1;
    EXPECT_EQ(call<zef::proto::ylmwrit>(zef::routine::ylmwrit, entry, static_cast<void *>(&too_long)),
              zef::kCatalogBadRequest);
    ASSERT_EQ(write_block(entry, {1, "second"}), 0);
    EXPECT_EQ(close_entry(entry), 0);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "c", "doc", "DATA").blocks, (std::vector<Block>{{1, "first"}, {1, "second"}}));
}

}  // namespace
