// A write that fails after it has begun to change the writer's chunk
// leaves that chunk half built. Such a writer takes no further write, and
// its close is refused, so that the half-built chunk never becomes the
// entry's version: the entry keeps the one it had.
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support.h"

namespace {

using namespace cattest;

class WriteFailure : public CatalogTest {};

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
