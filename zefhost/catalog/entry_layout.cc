#include "entry_layout.h"

#include <string>

#include "catalog_error.h"
#include "chunk.h"
#include "stored_chunk.h"

namespace zefhost::catalog {

namespace {

[[noreturn]] void damaged(const EntryKey &key, const std::string &why) {
    fail(zef::kCatalogDamaged, "entry " + key.name + "." + key.type + " damaged: " + why);
}

std::string piece_text(const Piece &p) { return "piece " + std::to_string(p.ordinal) + " "; }

}  // namespace

void check_layout(const EntryKey &key, const EntryRow &row, const std::vector<Piece> &pieces) {
    if (row.blocks < 0 || row.bytes < 0 || row.longest < 0 || row.longest > kMaxBlockLength)
        damaged(key, "impossible totals");
    // Every sum below stays far from overflow: a piece's counts are bounded
    // by the length of a chunk the store really holds (under 2^31 bytes).
    int64_t blocks = 0, bytes = 0, longest = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece &p = pieces[i];
        if (p.ordinal != static_cast<int64_t>(i)) damaged(key, "pieces out of order");
        if (p.first_block != blocks) damaged(key, piece_text(p) + "leaves a gap or overlaps");
        if (p.chunk_bytes < 0) damaged(key, piece_text(p) + "has no chunk");
        // A plain chunk's length gives the blocks' size; a compressed one's
        // is bounded by the longest chunk a writer makes.
        int64_t packed = p.codec == kChunkPlain ? p.chunk_bytes : kLongestCompressedChunk;
        if (p.codec != kChunkPlain && p.codec != kChunkZstd) damaged(key, piece_text(p) + "is stored in an unknown form");
        if (p.block_count < 0 || p.block_count > packed / static_cast<int64_t>(kBlockHeader) || p.bytes < 0 ||
            (p.codec == kChunkPlain ? p.bytes != packed - p.block_count * static_cast<int64_t>(kBlockHeader)
                                    : p.bytes > packed - p.block_count * static_cast<int64_t>(kBlockHeader)))
            damaged(key, piece_text(p) + "disagrees with its chunk's size");
        // The longest is one of the blocks: at most their sum, at least their average.
        if (p.longest < 0 || p.longest > kMaxBlockLength || p.longest > p.bytes ||
            (p.block_count == 0 ? p.bytes != 0 : p.longest * p.block_count < p.bytes))
            damaged(key, piece_text(p) + "records an impossible longest block");
        blocks += p.block_count;
        bytes += p.bytes;
        if (p.longest > longest) longest = p.longest;
    }
    if (blocks != row.blocks || bytes != row.bytes || longest != row.longest)
        damaged(key, "totals disagree with its pieces");
    // The pieces' checksums are the version's: a changed one (or a piece
    // swapped for another) is caught before any chunk is read.
    if (row.checksum.kept != Checksum::Kept::none && !row.checksum.matches(content_checksum(pieces)))
        fail(zef::kCatalogIoFailure, "entry " + key.name + "." + key.type + ": its pieces do not match its checksum");
}

std::optional<StoredEntry> checked_entry(StoreSession &session, const EntryKey &key) {
    std::optional<EntryRow> row = session.entry(key);
    if (!row) return std::nullopt;
    std::vector<Piece> pieces = session.pieces(row->content);
    StoredEntry stored{std::move(*row), std::move(pieces)};
    check_layout(key, stored.row, stored.pieces);
    return stored;
}

void check_chunk(const EntryKey &key, const Piece &piece, std::span<const uint8_t> bytes) {
    if (static_cast<int64_t>(bytes.size()) != packed_bytes(piece))
        damaged(key, piece_text(piece) + "chunk changed size");
    ChunkReader reader;
    reader.reset(bytes);
    int64_t count = 0, payload = 0, longest = 0;
    while (!reader.at_end()) {
        Block b = reader.next();
        ++count;
        payload += b.length;
        if (b.length > longest) longest = b.length;
    }
    if (count != piece.block_count || payload != piece.bytes || longest != piece.longest)
        damaged(key, piece_text(piece) + "chunk disagrees with its piece");
}

}  // namespace zefhost::catalog
