#include "entry_writer.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "catalog_error.h"
#include "entry_layout.h"
#include "stored_chunk.h"

namespace zefhost::catalog {

namespace {

// Retired chunks are staged once about this much has gathered.
constexpr size_t kStageBatch = size_t{1} << 20;

bool piece_full(const Piece &p) {
    return static_cast<size_t>(p.bytes + p.block_count * static_cast<int64_t>(kBlockHeader)) >= kChunkTarget;
}

}  // namespace

EntryWriter::EntryWriter(std::shared_ptr<Store> store, EntryKey key, int32_t mode,
                         std::string description, int64_t longest_allowed, const WaitPolicy &wait)
    : EntryHandle(std::move(store), std::move(key), mode), description_(std::move(description)) {
    session_ = store_->acquire();
    try {
        // The entry first, waiting with no transaction open, so that the
        // writer it waits for can finish.
        entry_lock_ = store_->lock_entry(*session_, key_, "entry " + key_.name + "." + key_.type +
                                                              " is being written", wait);
        Transaction t(*session_, StoreSession::Kind::write);
        if (store_->reclaim_dead_writers(*session_, &key_))
            fail(zef::kCatalogEntryInUse, "entry " + key_.name + "." + key_.type + " is being written");
        base_ = session_->entry(key_);
        if (mode_ == zef::kMemberAppend && base_ && longest_allowed >= 0 && base_->longest > longest_allowed)
            fail(zef::kCatalogEntryInUse, "entry " + key_.name + "." + key_.type +
                                              " was replaced after it was described");
        content_ = session_->add_writer(key_);
        // Locked before the row is visible, so no one ever sees the row of a
        // live writer without its lock.
        lock_ = store_->lock_writer(*session_, content_);
        if (mode_ == zef::kMemberAppend && base_) {
            // Kept blocks are read and pointed at: the pieces must hold together.
            std::vector<Piece> pieces = session_->pieces(base_->content);
            check_layout(key_, *base_, pieces);
            for (const Piece &p : pieces) view_.push_back(ViewPiece{p, false});
            blocks_ = base_->blocks;
        }
        t.commit();
    } catch (...) {
        lock_.reset();
        entry_lock_.reset();
        store_->give_back(std::move(session_));
        throw;
    }
}

EntryWriter::~EntryWriter() {
    if (!closed_) abandon();
}

void EntryWriter::check_usable() const {
    if (broken_) fail(zef::kCatalogIoFailure, "entry " + key_.name + "." + key_.type + ": an earlier write failed");
}

// The piece of the view that holds `block` (which is inside the entry).
size_t EntryWriter::piece_of(int64_t block) const {
    if (work_ordinal_ != SIZE_MAX) {
        const Piece &w = view_[work_ordinal_].piece;
        if (block >= w.first_block && block < w.first_block + w.block_count) return work_ordinal_;
    }
    auto after = std::upper_bound(view_.begin(), view_.end(), block,
                                  [](int64_t b, const ViewPiece &v) { return b < v.piece.first_block; });
    return static_cast<size_t>(after - view_.begin()) - 1;
}

// Makes piece `ordinal` the working chunk (view_.size(): a new last piece).
void EntryWriter::work_on(size_t ordinal) {
    if (ordinal == work_ordinal_) return;
    retire_work();
    if (ordinal == view_.size()) {
        view_.push_back(ViewPiece{Piece{static_cast<int64_t>(ordinal), blocks_, 0, 0, 0, 0, 0, Checksum{}, kChunkPlain}, false});
        work_.clear();
        work_dirty_ = false;
    } else if (auto waiting = retired_.find(ordinal); waiting != retired_.end()) {
        work_.load(waiting->second, view_[ordinal].piece.block_count);
        retired_bytes_ -= waiting->second.size();
        retired_.erase(waiting);
        work_dirty_ = true;  // its latest bytes are only here now
    } else {
        std::optional<std::span<const uint8_t>> bytes = session_->load_chunk(view_[ordinal].piece.chunk);
        try {
            if (!bytes) fail(zef::kCatalogDamaged, "entry " + key_.name + "." + key_.type + ": chunk missing");
            // Checked against its piece before its blocks are read or rewritten.
            work_.load(decoder_.decode(key_, view_[ordinal].piece, *bytes), view_[ordinal].piece.block_count);
        } catch (...) {
            // A chunk still held would keep its read open for the writer's
            // life, and its next staging could not begin.
            session_->release_chunk();
            throw;
        }
        session_->release_chunk();
        work_dirty_ = false;
    }
    work_ordinal_ = ordinal;
}

// Sets the working chunk aside to be staged (if it changed), and stages
// what has gathered once there is enough of it.
void EntryWriter::retire_work() {
    if (work_ordinal_ == SIZE_MAX) return;
    if (work_dirty_) {
        Piece &p = view_[work_ordinal_].piece;
        p.block_count = static_cast<int64_t>(work_.block_count());
        p.bytes = work_.payload_bytes();
        p.longest = work_.longest();
        std::vector<uint8_t> &slot = retired_[work_ordinal_];
        // Taken before anything is counted: refused memory leaves the
        // chunk in work_, and the writer as it was.
        std::vector<uint8_t> bytes = work_.release_bytes();
        retired_bytes_ -= slot.size();
        slot = std::move(bytes);
        retired_bytes_ += slot.size();
    }
    work_.clear();
    work_ordinal_ = SIZE_MAX;
    work_dirty_ = false;
    if (retired_bytes_ >= kStageBatch) stage_now();
}

// Stores the retired chunks under the writer's content, inside the
// caller's transaction.
void EntryWriter::stage_retired() {
    for (auto &[ordinal, bytes] : retired_) {
        ViewPiece &v = view_[ordinal];
        int64_t replaced = v.staged ? v.piece.chunk : 0;
        std::span<const uint8_t> stored = encoder_.encode(bytes, store_->compress_writes(), v.piece);
        v.piece.chunk = session_->stage_piece(content_, v.piece, stored, replaced);
        v.piece.chunk_bytes = static_cast<int64_t>(stored.size());
        v.staged = true;
    }
    retired_.clear();
    retired_bytes_ = 0;
}

void EntryWriter::stage_now() {
    try {
        Transaction t(*session_, StoreSession::Kind::write);
        stage_retired();
        t.commit();
    } catch (...) {
        broken_ = true;
        throw;
    }
}

int32_t EntryWriter::read(zef::TransferRequest &transfer) {
    if (mode_ == zef::kMemberOutput) fail(zef::kCatalogBadRequest, "read from an entry opened for output");
    check_usable();
    if (position_ >= blocks_) {
        transfer.length = 0;
        transfer.record_code = 0;
        return zef::kCatalogEndOfMember;
    }
    size_t ordinal = piece_of(position_);
    work_on(ordinal);
    Block block = work_.block(static_cast<size_t>(position_ - view_[ordinal].piece.first_block));
    if (block.length > 0 && transfer.buffer == nullptr)
        fail(zef::kCatalogBadRequest, "read into no buffer");
    if (block.length > 0) std::memcpy(transfer.buffer, block.data, block.length);
    transfer.length = block.length;
    transfer.record_code = block.code;
    ++position_;
    return 0;
}

void EntryWriter::write(const zef::TransferRequest &transfer) {
    check_usable();
    if (transfer.length < 0 || transfer.length > kMaxBlockLength)
        fail(zef::kCatalogBadRequest, "block length " + std::to_string(transfer.length));
    if (transfer.length > 0 && transfer.buffer == nullptr)
        fail(zef::kCatalogBadRequest, "write from no buffer");
    auto length = static_cast<uint32_t>(transfer.length);
    try {
        if (position_ == blocks_) {
            bool on_last = !view_.empty() && work_ordinal_ == view_.size() - 1;
            if (!on_last) {
                // Carry on filling the last piece (kept from the entry) while it has room.
                work_on(!view_.empty() && !piece_full(view_.back().piece) ? view_.size() - 1 : view_.size());
            }
            if (work_.full()) work_on(view_.size());
            work_.append(transfer.record_code, transfer.buffer, length);
            ++view_[work_ordinal_].piece.block_count;
            ++blocks_;
        } else {
            size_t ordinal = piece_of(position_);
            work_on(ordinal);
            work_.replace(static_cast<size_t>(position_ - view_[ordinal].piece.first_block),
                          transfer.record_code, transfer.buffer, length);
        }
    } catch (...) {
        // A failure here (memory refused while the block went in, a chunk
        // that could not be loaded or staged) may have left the working
        // chunk half changed: nothing may build on it, and the close may
        // not make it the entry's.
        broken_ = true;
        throw;
    }
    work_dirty_ = true;
    ++position_;
}

void EntryWriter::point(int64_t position) {
    if (position < 0 || position > blocks_)
        fail(zef::kCatalogBadRequest, "position " + std::to_string(position) + " outside the entry");
    position_ = position;
}

void EntryWriter::close() {
    try {
        check_usable();
        retire_work();
        Transaction t(*session_, StoreSession::Kind::durable_write);
        // A writer taken for a dead one (its lock file taken away, and a
        // new one made in its place) has lost what it staged to the
        // collection: it must not make the rest the entry's version.
        std::vector<int64_t> registered = session_->writers(&key_);
        if (std::find(registered.begin(), registered.end(), content_) == registered.end())
            fail(zef::kCatalogIoFailure, "entry " + key_.name + "." + key_.type +
                                             ": its writer was taken for a dead one and what it had written was "
                                             "collected; the entry is left as it was");
        stage_retired();
        std::optional<EntryRow> current = session_->entry(key_);
        if (current.has_value() != base_.has_value() || (current && current->content != base_->content))
            fail(zef::kCatalogEntryInUse, "entry " + key_.name + "." + key_.type + " changed under its writer");
        EntryRow row;
        int64_t now = now_microseconds();
        row.created = base_ ? base_->created : now;
        row.modified = now;
        if (times_) std::tie(row.created, row.modified) = *times_;
        row.description = !description_.empty() ? description_ : base_ ? base_->description : "";
        row.attributes = attributes_;
        if (!row.attributes && mode_ == zef::kMemberAppend && base_) row.attributes = base_->attributes;
        std::vector<Piece> pieces;
        pieces.reserve(view_.size());
        row.stored_bytes = 0;
        for (const ViewPiece &v : view_) {
            row.blocks += v.piece.block_count;
            row.bytes += v.piece.bytes;
            row.longest = std::max(row.longest, v.piece.longest);
            row.stored_bytes += v.piece.chunk_bytes;
            pieces.push_back(v.piece);
        }
        // None when a kept piece has none (it was written before checksums).
        row.checksum = content_checksum(pieces);
        if (mode_ == zef::kMemberAppend && base_) {
            session_->merge_content(content_, base_->content);
            row.content = base_->content;
        } else {
            if (base_) session_->drop_content(base_->content);
            row.content = content_;
        }
        session_->put_entry(key_, row);
        session_->remove_writer(content_);
        t.commit();
    } catch (...) {
        broken_ = true;
        abandon();
        throw;
    }
    closed_ = true;
    lock_.reset();
    store_->settle(*session_);
    entry_lock_.reset();
    store_->give_back(std::move(session_));
}

// Leaves the entry as it was: drops what was staged and the writer's row
// (if that fails too, the next writer reclaims them once the lock is gone).
void EntryWriter::abandon() noexcept {
    closed_ = true;
    store_->note_failed_write();
    if (session_) {
        try {
            session_->release_chunk();
            session_->rollback();
            Transaction t(*session_, StoreSession::Kind::write);
            session_->drop_content(content_);
            session_->remove_writer(content_);
            t.commit();
        } catch (...) {
        }
    }
    lock_.reset();
    entry_lock_.reset();
    if (session_) store_->give_back(std::move(session_));
}

}  // namespace zefhost::catalog
