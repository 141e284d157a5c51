// An entry opened for input. It reads inside one read transaction held for
// its whole life, on a store session of its own: the snapshot taken at open
// is what it reads to the end, whatever writers commit meanwhile, so it
// never sees half an entry nor loses chunks mid-read. Blocks are decoded
// from one chunk at a time, straight from the store's copy of it.
#pragma once

#include <memory>
#include <vector>

#include "chunk.h"
#include "entry_handle.h"
#include "stored_chunk.h"

namespace zefhost::catalog {

class EntryReader final : public EntryHandle {
public:
    // Throws CatalogError: kCatalogEntryMissing when the entry does not
    // exist; kCatalogEntryInUse when its longest block is now longer than
    // `longest_allowed` (the size its caller was told, -1 when none).
    EntryReader(std::shared_ptr<Store> store, EntryKey key, int64_t longest_allowed);
    ~EntryReader() override;

    int32_t read(zef::TransferRequest &transfer) override;
    void write(const zef::TransferRequest &transfer) override;
    int64_t position() const override { return position_; }
    void point(int64_t position) override;
    void point_to_end() override { point(blocks_); }
    void close() override;

private:
    void load_piece(size_t index);
    void release();

    std::unique_ptr<StoreSession> session_;
    std::vector<Piece> pieces_;
    int64_t blocks_ = 0;
    int64_t position_ = 0;
    size_t next_piece_ = 0;       // the piece that follows the one being read
    int64_t left_in_piece_ = 0;   // blocks of the current piece not yet read
    bool lost_place_ = false;     // a point failed: the next read points at position_ first
    ChunkDecoder decoder_;
    ChunkReader reader_;
};

}  // namespace zefhost::catalog
