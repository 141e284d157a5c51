// How a chunk is kept in the store: its packed blocks (chunk.h) as they
// are, or compressed with zstd when the writer asks for that and it saves
// space. Either way the piece carries the checksum of the packed blocks,
// so that what a reader gets back is checked, not the store's form of it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "chunk.h"
#include "names.h"
#include "store.h"

struct ZSTD_CCtx_s;
struct ZSTD_DCtx_s;

namespace zefhost::catalog {

// The longest a chunk's packed blocks can be: a chunk is closed once it
// passes kChunkTarget, so it ends with at most one block of any length.
inline constexpr int64_t kLongestChunk = int64_t{kChunkTarget} + int64_t{kBlockHeader} + kMaxBlockLength;
// The longest chunk kept compressed: a longer one (a few very long blocks)
// is kept as it is, since compressing it would hold a second copy of it in
// memory, and a reader never sizes a buffer above this from a stored frame.
inline constexpr int64_t kLongestCompressedChunk = int64_t{8} << 20;

class ChunkEncoder {
public:
    ChunkEncoder() = default;
    ~ChunkEncoder();
    ChunkEncoder(const ChunkEncoder &) = delete;
    ChunkEncoder &operator=(const ChunkEncoder &) = delete;

    // The bytes to store for `blocks`; sets the piece's checksum and codec.
    // Valid until the next encode. Compressed only when that saves at least
    // an eighth (data that is already compressed is kept as it is, and
    // costs a reader nothing to decode).
    std::span<const uint8_t> encode(std::span<const uint8_t> blocks, bool compress, Piece &piece);

private:
    ZSTD_CCtx_s *context_ = nullptr;
    std::vector<uint8_t> buffer_;
};

class ChunkDecoder {
public:
    ChunkDecoder() = default;
    ~ChunkDecoder();
    ChunkDecoder(const ChunkDecoder &) = delete;
    ChunkDecoder &operator=(const ChunkDecoder &) = delete;

    // The piece's packed blocks from its stored chunk, checked against the
    // piece (sizes, checksum, every block): valid until the next decode, or
    // as long as `stored` when it was kept as it is. Throws CatalogError:
    // kCatalogIoFailure when the stored bytes changed (they do not
    // decompress, or do not match their checksum), kCatalogDamaged when
    // blocks without a checksum do not hold together.
    std::span<const uint8_t> decode(const EntryKey &key, const Piece &piece, std::span<const uint8_t> stored);

private:
    ZSTD_DCtx_s *context_ = nullptr;
    std::vector<uint8_t> buffer_;
};

// The length of a piece's packed blocks (whatever form the store keeps
// them in), from its counts.
inline int64_t packed_bytes(const Piece &piece) {
    return piece.bytes + piece.block_count * static_cast<int64_t>(kBlockHeader);
}

}  // namespace zefhost::catalog
