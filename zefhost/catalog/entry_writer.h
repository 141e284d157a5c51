// An entry opened for output (member mode 2: the entry is replaced as a
// whole) or for append and update (mode 8: the entry is kept, or created).
//
// The writer works on a view of the entry's pieces. Blocks go into a
// working chunk in memory; full or left chunks wait in memory until about a
// megabyte has gathered, then are staged in one short transaction under the
// writer's own content id, which no reader looks at. Close makes the
// staged pieces the entry's in one durable transaction (mode 2: the old
// content is dropped; mode 8: staged pieces replace the pieces of the same
// ordinal and add new ones). Until then readers see the previous version,
// and if the process dies the staged pieces are garbage that the next
// writer of the catalog removes (the writer's lock tells it the writer is dead).
//
// A write at a position inside the entry replaces that block; at the end it
// appends. In mode 8 the handle can also read its own view.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "chunk.h"
#include "entry_handle.h"
#include "stored_chunk.h"
#include "writer_lock.h"

namespace zefhost::catalog {

class EntryWriter final : public EntryHandle {
public:
    // Takes the entry, waiting as `wait` says while another handle writes
    // it, and registers the writer; throws CatalogError(kCatalogEntryInUse)
    // when the wait ends first, or when (in mode 8, which reads
    // too) the entry's longest block is now longer than `longest_allowed`,
    // the size its caller was told (-1: none). `description` replaces the
    // entry's when given (non-empty).
    EntryWriter(std::shared_ptr<Store> store, EntryKey key, int32_t mode, std::string description,
                int64_t longest_allowed, const WaitPolicy &wait);
    // A writer destroyed without close leaves the entry as it was.
    ~EntryWriter() override;

    int32_t read(zef::TransferRequest &transfer) override;
    void write(const zef::TransferRequest &transfer) override;
    int64_t position() const override { return position_; }
    void point(int64_t position) override;
    void point_to_end() override { position_ = blocks_; }
    void close() override;

    // What this version is written with; committed with it by close (until
    // then readers see the previous version's). Unset, a replaced entry's
    // version has none and an appended one keeps the entry's.
    void set_attributes(VersionAttributes attributes) { attributes_ = std::move(attributes); }
    // The created and modified times (microseconds since the epoch) the
    // version is committed with, in place of the entry's and the close's:
    // an entry brought back from elsewhere keeps the times it had there.
    void set_times(int64_t created, int64_t modified) { times_ = std::make_pair(created, modified); }
    // The attributes of the version this writer started from (none: no
    // entry, or unknown).
    std::optional<VersionAttributes> base_attributes() const {
        return base_ ? base_->attributes : std::nullopt;
    }

private:
    struct ViewPiece {
        Piece piece;
        bool staged = false;  // its chunk belongs to this writer's content
    };
    size_t piece_of(int64_t block) const;
    void check_usable() const;
    void work_on(size_t ordinal);
    void retire_work();
    void stage_retired();
    void stage_now();
    void abandon() noexcept;

    std::unique_ptr<StoreSession> session_;
    std::unique_ptr<HeldLock> entry_lock_;  // held from open to close
    std::unique_ptr<HeldLock> lock_;        // the writer's own, while it lives
    int64_t content_ = 0;             // the staging content id
    std::optional<EntryRow> base_;    // the committed entry at open
    std::string description_;
    std::optional<VersionAttributes> attributes_;
    std::optional<std::pair<int64_t, int64_t>> times_;  // created, modified
    std::vector<ViewPiece> view_;
    int64_t blocks_ = 0;
    int64_t position_ = 0;

    ChunkEncoder encoder_;
    ChunkDecoder decoder_;
    ChunkBuilder work_;
    size_t work_ordinal_ = SIZE_MAX;  // SIZE_MAX: no working chunk
    bool work_dirty_ = false;
    std::map<size_t, std::vector<uint8_t>> retired_;  // chunk bytes by ordinal, waiting to be staged
    size_t retired_bytes_ = 0;
    bool broken_ = false;  // a staging transaction failed: only abandoning is left
    bool closed_ = false;
};

}  // namespace zefhost::catalog
