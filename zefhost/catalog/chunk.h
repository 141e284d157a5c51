// Blocks packed into chunks. An entry's blocks are stored many to a row: a
// chunk is the blocks laid end to end, each as a 2-byte record code, a
// 4-byte length (both little-endian) and the bytes. A chunk is closed once it
// passes kChunkTarget bytes, so a stream of small blocks costs one row per
// ~64 KiB, and a block larger than that sits in a chunk of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zefhost::catalog {

inline constexpr size_t kBlockHeader = 6;
inline constexpr size_t kChunkTarget = 64 * 1024;
// The longest block the store takes (SQLite's default limit on one value is
// 1,000,000,000 bytes; a chunk holds at least one block).
inline constexpr int64_t kMaxBlockLength = 256 * 1024 * 1024;

struct Block {
    uint16_t code;
    uint32_t length;
    const uint8_t *data;
};

// Reads the blocks of a stored chunk in order. The bytes belong to the caller.
class ChunkReader {
public:
    void reset(std::span<const uint8_t> bytes) {
        next_ = bytes.data();
        end_ = bytes.data() + bytes.size();
    }
    bool at_end() const { return next_ == end_; }
    // The next block; throws CatalogError(kCatalogDamaged) if the bytes do
    // not hold one.
    Block next();
    // The next block, as next() finds it, without moving past it; pass()
    // then moves past the block peek() gave.
    Block peek() const;
    void pass(const Block &block) { next_ = block.data + block.length; }
    // Passes over `count` blocks.
    void skip(int64_t count);

private:
    const uint8_t *next_ = nullptr;
    const uint8_t *end_ = nullptr;
};

// A chunk being written or updated: its bytes and where each block starts.
class ChunkBuilder {
public:
    ChunkBuilder();
    void clear();
    // Takes a stored chunk for update; throws CatalogError(kCatalogDamaged)
    // unless it holds exactly `expected_blocks` well-formed blocks.
    void load(std::span<const uint8_t> bytes, int64_t expected_blocks);
    void append(uint16_t code, const void *data, uint32_t length);
    void replace(size_t index, uint16_t code, const void *data, uint32_t length);

    Block block(size_t index) const;
    size_t block_count() const { return offsets_.size(); }
    bool empty() const { return offsets_.empty(); }
    bool full() const { return bytes_.size() >= kChunkTarget; }
    std::span<const uint8_t> bytes() const { return bytes_; }
    // Hands the bytes over and starts empty; refused memory leaves them here.
    std::vector<uint8_t> release_bytes();
    // Sum of the blocks' lengths and the longest one.
    int64_t payload_bytes() const { return payload_; }
    int64_t longest() const { return longest_; }

private:
    void recount();

    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> offsets_;
    int64_t payload_ = 0;
    int64_t longest_ = 0;
};

}  // namespace zefhost::catalog
