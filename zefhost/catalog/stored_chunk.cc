#include "stored_chunk.h"

#include <zstd.h>

#include <string>

#include "catalog_error.h"
#include "entry_layout.h"

namespace zefhost::catalog {

namespace {

// Fast enough to keep up with a disk, and most of what the slower levels save.
constexpr int kCompressionLevel = 3;

std::string piece_of(const EntryKey &key, const Piece &piece) {
    return "entry " + key.name + "." + key.type + ": piece " + std::to_string(piece.ordinal);
}

}  // namespace

ChunkEncoder::~ChunkEncoder() { ZSTD_freeCCtx(context_); }

std::span<const uint8_t> ChunkEncoder::encode(std::span<const uint8_t> blocks, bool compress, Piece &piece) {
    piece.checksum = Checksum::of(blocks);
    piece.codec = kChunkPlain;
    if (!compress || blocks.empty() || static_cast<int64_t>(blocks.size()) > kLongestCompressedChunk) return blocks;
    if (context_ == nullptr) {
        context_ = ZSTD_createCCtx();
        if (context_ == nullptr) return blocks;  // no memory for it: kept as it is
        ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, kCompressionLevel);
        // The frame says its content size: a reader checks it before it
        // decodes anything.
        ZSTD_CCtx_setParameter(context_, ZSTD_c_contentSizeFlag, 1);
    }
    size_t worth = blocks.size() - blocks.size() / 8;
    buffer_.resize(ZSTD_compressBound(blocks.size()));
    size_t n = ZSTD_compress2(context_, buffer_.data(), buffer_.size(), blocks.data(), blocks.size());
    if (ZSTD_isError(n) || n >= worth) return blocks;
    piece.codec = kChunkZstd;
    return std::span<const uint8_t>(buffer_.data(), n);
}

ChunkDecoder::~ChunkDecoder() { ZSTD_freeDCtx(context_); }

std::span<const uint8_t> ChunkDecoder::decode(const EntryKey &key, const Piece &piece,
                                              std::span<const uint8_t> stored) {
    // The counts are checked with the entry's layout before any chunk is
    // read; checked again here, since sizes and buffers are reckoned from them.
    if (piece.bytes < 0 || piece.block_count < 0 || piece.bytes > kLongestChunk ||
        piece.block_count > kLongestChunk / static_cast<int64_t>(kBlockHeader) || packed_bytes(piece) > kLongestChunk)
        fail(zef::kCatalogDamaged, piece_of(key, piece) + " damaged: impossible counts");
    std::span<const uint8_t> blocks = stored;
    if (piece.codec == kChunkZstd) {
        // The piece's counts bound the buffer (a compressed chunk is never
        // longer than kLongestCompressedChunk); its size never comes from
        // the stored frame.
        auto expected = static_cast<size_t>(packed_bytes(piece));
        if (packed_bytes(piece) > kLongestCompressedChunk || static_cast<int64_t>(stored.size()) != piece.chunk_bytes ||
            ZSTD_getFrameContentSize(stored.data(), stored.size()) != expected)
            fail(zef::kCatalogIoFailure, piece_of(key, piece) + ": compressed chunk disagrees with its piece");
        if (context_ == nullptr && (context_ = ZSTD_createDCtx()) == nullptr)
            fail(zef::kCatalogIoFailure, piece_of(key, piece) + ": no memory to decompress it");
        buffer_.resize(expected);
        size_t n = ZSTD_decompressDCtx(context_, buffer_.data(), buffer_.size(), stored.data(), stored.size());
        if (ZSTD_isError(n) || n != expected)
            fail(zef::kCatalogIoFailure, piece_of(key, piece) + ": compressed chunk does not decompress");
        blocks = std::span<const uint8_t>(buffer_.data(), n);
    } else if (piece.codec != kChunkPlain) {
        fail(zef::kCatalogDamaged, piece_of(key, piece) + " damaged: stored in an unknown form");
    }
    if (piece.checksum.kept != Checksum::Kept::none && !piece.checksum.matches(Checksum::of(blocks)))
        fail(zef::kCatalogIoFailure, piece_of(key, piece) + " does not match its checksum");
    check_chunk(key, piece, blocks);
    return blocks;
}

}  // namespace zefhost::catalog
