// yxlhh2p (slot 33) and yxlhp2h (slot 34): an option block turned into a
// flat 368-byte image the host can keep, and an image turned back into a
// live option block of a given owner.
#include <cstring>

#include "host/chains.h"
#include "zefxbaml/abi.h"
#include "zefxbaml/exports.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zef {

namespace {

constexpr int32_t kImageLength = static_cast<int32_t>(kOptionBlockSize);

// The owner given, or the current task's owner record (null when there is
// no current task).
OwnerRecord *owner_or_current(OwnerRecord *owner) {
    return owner != nullptr ? owner : host::current_owner();
}

void *obtain_option_storage(OwnerRecord *owner) {
    return vmalcp_handler(owner->pool, kOptionBlockSize, kOptionBlockStorage);
}

}  // namespace

// Copies the option block, all 368 bytes of it, into a new image from the
// owner's pool (null owner: the current task's) and hands the image out
// through *image_out, its length (always 368) through *image_length; the
// host owns the image. Returns 0; 0x80000803 when the pool refuses (image
// null, length 368) or there is no current owner (nothing is written);
// 0x80001025 for a null block.
int32_t yxlhh2p(void *, OwnerRecord *owner, OptionBlock *block, void **image_out,
                int32_t *image_length) {
    if (block == nullptr) return kNullHandle;
    owner = owner_or_current(owner);
    if (owner == nullptr) return kNoStorage;
    *image_length = kImageLength;
    void *image = obtain_option_storage(owner);
    *image_out = image;
    if (image == nullptr) return kNoStorage;
    std::memcpy(image, block, kOptionBlockSize);
    return kOk;
}

// Makes a live option block of `owner` (null: the current task's owner)
// from an image of exactly 368 bytes: the image's bytes, with the owner
// field naming the new owner. The block is the caller's, released like any
// option block (yxlhbfr). Returns 0 with *block_out set; 0x8000100D for
// another length and 0x80000803 when no storage comes, both without
// obtaining anything or writing *block_out; 0x80001025 for a null image.
int32_t yxlhp2h(void *, OwnerRecord *owner, const void *image, int32_t image_length,
                OptionBlock **block_out) {
    if (image_length != kImageLength) return kImageWrongLength;
    if (image == nullptr) return kNullHandle;
    owner = owner_or_current(owner);
    if (owner == nullptr) return kNoStorage;
    auto *block = static_cast<OptionBlock *>(obtain_option_storage(owner));
    if (block == nullptr) return kNoStorage;
    std::memcpy(block, image, kOptionBlockSize);
    block->owner = owner;
    *block_out = block;
    return kOk;
}

}  // namespace zef
