// What ylmopen hands out: an open entry, read as a sequence of blocks by
// index. Readers and writers share this face so that the routines treat
// every entry handle alike; the mode decides which requests are valid.
#pragma once

#include <cstdint>
#include <memory>

#include "names.h"
#include "store.h"
#include "zefxbaml/abi.h"
#include "zefxbaml/requests.h"

namespace zefhost::catalog {

class EntryHandle {
public:
    EntryHandle(std::shared_ptr<Store> store, EntryKey key, int32_t mode)
        : store_(std::move(store)), key_(std::move(key)), mode_(mode) {}
    virtual ~EntryHandle() = default;
    EntryHandle(const EntryHandle &) = delete;
    EntryHandle &operator=(const EntryHandle &) = delete;

    // Copies the next block into the transfer request's buffer and sets its
    // count and record code; at the end answers kCatalogEndOfMember with
    // count 0. Throws CatalogError.
    virtual int32_t read(zef::TransferRequest &transfer) = 0;
    // Writes the block at the position (replacing it, or appending at the end).
    virtual void write(const zef::TransferRequest &transfer) = 0;
    // The index of the next block read or written.
    virtual int64_t position() const = 0;
    // Moves to block `position` (0..block count), or to the end.
    virtual void point(int64_t position) = 0;
    virtual void point_to_end() = 0;
    // Ends the handle's work: a reader lets its snapshot go, a writer
    // commits. Called once; the handle is destroyed afterwards whatever it
    // answers.
    virtual void close() = 0;

    Store &store() { return *store_; }
    const EntryKey &key() const { return key_; }
    int32_t mode() const { return mode_; }
    bool writes() const { return mode_ != zef::kMemberInput; }

protected:
    std::shared_ptr<Store> store_;
    EntryKey key_;
    int32_t mode_;
};

}  // namespace zefhost::catalog
