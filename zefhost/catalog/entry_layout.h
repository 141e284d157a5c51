// What a stored entry must look like before anything of it is handed out.
// Every number in a catalog file is untrusted: a damaged or hand-edited file
// may hold any value in any row. An entry is used only when its row, its
// pieces and the sizes of their chunks agree with one another, so that no
// size the store reports, allocates by or copies with comes from one field
// alone. Each check throws CatalogError(kCatalogDamaged).
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "names.h"
#include "store.h"

namespace zefhost::catalog {

// The row and its pieces form one content: pieces numbered from 0, each
// starting where the one before ended, each plain chunk as long as its
// blocks and their headers (a compressed one no longer than any chunk a
// writer makes), totals and the longest block as the pieces add up to, no
// block longer than kMaxBlockLength, and the pieces' checksums those the
// row's checksum was made from (kCatalogIoFailure when not).
void check_layout(const EntryKey &key, const EntryRow &row, const std::vector<Piece> &pieces);

// An entry's committed row and its pieces, read on `session` (inside the caller's
// transaction, so that both come from one snapshot) and checked as above;
// nullopt when the entry does not exist.
struct StoredEntry {
    EntryRow row;
    std::vector<Piece> pieces;
};
std::optional<StoredEntry> checked_entry(StoreSession &session, const EntryKey &key);

// A piece's packed blocks (as stored_chunk.h gives them back) are exactly
// its blocks: the recorded count, payload and longest block, nothing cut
// and nothing left over.
void check_chunk(const EntryKey &key, const Piece &piece, std::span<const uint8_t> bytes);

}  // namespace zefhost::catalog
