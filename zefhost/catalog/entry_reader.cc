#include "entry_reader.h"

#include <algorithm>
#include <cstring>

#include "catalog_error.h"
#include "entry_layout.h"

namespace zefhost::catalog {

EntryReader::EntryReader(std::shared_ptr<Store> store, EntryKey key, int64_t longest_allowed)
    : EntryHandle(std::move(store), std::move(key), zef::kMemberInput) {
    session_ = store_->acquire();
    try {
        session_->begin(StoreSession::Kind::read);
        std::optional<StoredEntry> stored = checked_entry(*session_, key_);
        if (!stored) fail(zef::kCatalogEntryMissing, "no entry " + key_.name + "." + key_.type);
        if (longest_allowed >= 0 && stored->row.longest > longest_allowed)
            fail(zef::kCatalogEntryInUse, "entry " + key_.name + "." + key_.type +
                                              " was replaced after it was described");
        pieces_ = std::move(stored->pieces);
        blocks_ = stored->row.blocks;
    } catch (...) {
        release();
        throw;
    }
}

EntryReader::~EntryReader() { release(); }

void EntryReader::release() {
    if (session_) store_->give_back(std::move(session_));
}

// Makes piece `index` the one being read, from its first block.
void EntryReader::load_piece(size_t index) {
    const Piece &piece = pieces_[index];
    // The chunks of the pieces that follow, for a store that fetches ahead.
    std::optional<std::span<const uint8_t>> bytes =
        session_->load_chunk(piece.chunk, std::span<const Piece>(pieces_).subspan(index + 1));
    if (!bytes) fail(zef::kCatalogDamaged, "entry " + key_.name + "." + key_.type + ": chunk missing");
    // Checked whole before its first block goes out: every block then fits
    // the size the entry reported, and reading on or pointing back within
    // it can only find what this check saw.
    reader_.reset(decoder_.decode(key_, piece, *bytes));
    left_in_piece_ = piece.block_count;
    next_piece_ = index + 1;
}

int32_t EntryReader::read(zef::TransferRequest &transfer) {
    // A point that failed let go of the chunk being read: the reader finds
    // its place again before it reads on.
    if (lost_place_) point(position_);
    while (left_in_piece_ == 0) {
        if (!reader_.at_end()) fail(zef::kCatalogDamaged, "chunk holds more blocks than its piece");
        if (next_piece_ >= pieces_.size()) {
            transfer.length = 0;
            transfer.record_code = 0;
            return zef::kCatalogEndOfMember;
        }
        load_piece(next_piece_);
    }
    // Looked at before the reader moves past it: a read refused here
    // passes over nothing. (Not by moving a copy of the reader and storing
    // it back: loading the copy whole straight after next() stored half of
    // it stalled every read.)
    Block block = reader_.peek();
    if (block.length > 0 && transfer.buffer == nullptr)
        fail(zef::kCatalogBadRequest, "read into no buffer");
    reader_.pass(block);
    if (block.length > 0) std::memcpy(transfer.buffer, block.data, block.length);
    transfer.length = block.length;
    transfer.record_code = block.code;
    --left_in_piece_;
    ++position_;
    return 0;
}

void EntryReader::write(const zef::TransferRequest &) {
    fail(zef::kCatalogBadRequest, "write to an entry opened for input");
}

void EntryReader::point(int64_t position) {
    if (position < 0 || position > blocks_)
        fail(zef::kCatalogBadRequest, "position " + std::to_string(position) + " outside the entry");
    if (position == blocks_) {
        session_->release_chunk();
        reader_.reset({});
        left_in_piece_ = 0;
        next_piece_ = pieces_.size();
        position_ = blocks_;
        lost_place_ = false;
        return;
    }
    // The piece holding the block: the last whose first block is not after it.
    auto after = std::upper_bound(pieces_.begin(), pieces_.end(), position,
                                  [](int64_t p, const Piece &piece) { return p < piece.first_block; });
    if (after == pieces_.begin()) fail(zef::kCatalogDamaged, "entry has no first piece");
    size_t index = static_cast<size_t>(after - pieces_.begin()) - 1;
    try {
        load_piece(index);
        int64_t skip = position - pieces_[index].first_block;
        if (skip >= left_in_piece_) fail(zef::kCatalogDamaged, "pieces leave a gap");
        reader_.skip(skip);
        left_in_piece_ -= skip;
    } catch (...) {
        // The store let go of the chunk being read when it was asked for
        // the new one, and what was read of that may be gone too: nothing
        // is read from either until the reader finds its place again.
        reader_.reset({});
        left_in_piece_ = 0;
        lost_place_ = true;
        throw;
    }
    position_ = position;
    lost_place_ = false;
}

void EntryReader::close() { release(); }

}  // namespace zefhost::catalog
