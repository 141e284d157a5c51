// The constructor zefxbaml: one access-method control block with its method
// vector per call, both from the host's storage pool.
#include <cstring>

#include "host/chains.h"
#include "host/kernel.h"
#include "zefxbaml/exports.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {
namespace {

// Slot -> routine, in the order of ZEF_METHOD_SLOTS. A host slot's address
// is the host's, read from its transfer vector when a vector is filled.
#define ZEF_ROUTINE_OF_MODULE(slot, routine, request) reinterpret_cast<void *>(&zef::routine),
#define ZEF_ROUTINE_OF_HOST(slot, routine, request) nullptr,
void *const kSlotRoutines[] = {ZEF_METHOD_SLOTS(ZEF_ROUTINE_OF_MODULE, ZEF_ROUTINE_OF_HOST)};
#undef ZEF_ROUTINE_OF_MODULE
#undef ZEF_ROUTINE_OF_HOST
static_assert(sizeof kSlotRoutines / sizeof kSlotRoutines[0] == kFilledSlotCount);

// Fills slots 0 to kFilledSlotCount-1; the rest stay as the pool zeroed them.
void fill_vector(MethodSlot *vector) {
    for (int slot = 0; slot < kFilledSlotCount; ++slot) {
        vector[slot].flags = 0;
        vector[slot].routine = kSlots[slot].server == SlotServer::kHost ? host::wxvalid_address()
                                                                       : kSlotRoutines[slot];
    }
}

}  // namespace
}  // namespace zef

extern "C" {

// Makes an access-method control block ("AMEC", "ZEFXBAML") and its vector.
// On success *block_out is the block, which the host owns from then on, and
// *status 0; when storage is refused *block_out is null, *status 0x80000803,
// and nothing stays obtained. The fileref list starts empty (zero-filled).
void zefxbaml(zef::AccessMethodBlock **block_out, int32_t *status) {
    using namespace zef;
    *block_out = nullptr;
    auto *block = static_cast<AccessMethodBlock *>(
        host::obtain(sizeof(AccessMethodBlock), kRecordStorage));
    if (block == nullptr) {
        *status = kNoStorage;
        return;
    }
    std::memcpy(block->eyecatcher, kEyecatcher, sizeof block->eyecatcher);
    std::memcpy(block->method_name, kMethodName, sizeof block->method_name);

    auto *vector = static_cast<MethodSlot *>(host::obtain(kVectorBytes, kRecordStorage));
    if (vector == nullptr) {
        host::release(block);
        *status = kNoStorage;
        return;
    }
    block->vector = vector;
    fill_vector(vector);

    *block_out = block;
    *status = kOk;
}

}  // extern "C"
